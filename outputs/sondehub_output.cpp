#include "outputs/sondehub_output.h"

#include "flight/local_plane.h"

#include <algorithm>
#include <cmath>

namespace nimbra::outputs {

namespace {

Clock::duration seconds(double s)
{
    return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(s));
}

// The first line of the server's text, at most 200 characters.
std::string firstLine(const std::string& text)
{
    std::string line = text.substr(0, text.find_first_of("\r\n"));
    if (line.size() > 200)
        line = line.substr(0, 200) + "...";
    return line;
}

}  // namespace

std::unique_ptr<SondeHubOutput> SondeHubOutput::create(const SondeHubSettings& settings, StateSink sink,
                                                       std::string& error)
{
    std::unique_ptr<SondeHubOutput> out(new SondeHubOutput(settings, std::move(sink)));
    if (!out->spool_.open(settings.spool, error))
        return nullptr;
    out->start();
    return out;
}

SondeHubOutput::SondeHubOutput(const SondeHubSettings& settings, StateSink sink)
    : OutputWorker("SondeHub", std::move(sink)), settings_(settings), listenerUrl_(listenerUrlFor(settings.url))
{
}

SondeHubOutput::~SondeHubOutput() { stop(); }

void SondeHubOutput::accept(const FlightFix& fix, const FixContext& context)
{
    std::string error;
    const std::string object = telemetryObject(fix, context, settings_.identity, uploaderNow());
    const SondeHubSpool::Appended result = spool_.append(context.serial, fix.record.timeCounter, object, error);
    if (result == SondeHubSpool::Appended::Failed)
        ++failed_;  // not journaled: this fix cannot be uploaded
    bool report = false;
    {
        std::lock_guard<std::mutex> lock(wakeMutex_);
        // A disk that stays full is reported once, not once a fix.
        if (!error.empty() && error != lastSpoolError_) {
            spoolError_ = lastSpoolError_ = error;
            report = true;
        } else if (error.empty()) {
            lastSpoolError_.clear();
        }
    }
    if (report)
        wake();
}

void SondeHubOutput::wake()
{
    {
        std::lock_guard<std::mutex> lock(wakeMutex_);
        woken_ = true;
    }
    wakeUp_.notify_all();
}

void SondeHubOutput::waitUntil(Clock::time_point t)
{
    std::unique_lock<std::mutex> lock(wakeMutex_);
    wakeUp_.wait_until(lock, capped(t), [&] { return woken_; });
    woken_ = false;
}

std::string SondeHubOutput::answerText(const HttpAnswer& answer) const
{
    if (answer.status == 0)
        return "no answer from " + settings_.url + " (" + answer.error + ")";
    return "server error " + std::to_string(answer.status);
}

bool SondeHubOutput::sendBatch()
{
    const SondeHubSpool::Batch batch = spool_.nextBatch(kBatchObjects, kBatchBytes);
    if (batch.count == 0)
        return true;
    const HttpAnswer answer = http_.put(settings_.url, batch.body, true, [this] { return deadlinePassed(); });
    SondeHubSpool::Outcome outcome = SondeHubSpool::Outcome::Failed;
    if (answer.status >= 200 && answer.status < 300)
        outcome = SondeHubSpool::Outcome::Delivered;
    else if (answer.status >= 400 && answer.status < 500)
        outcome = SondeHubSpool::Outcome::Refused;
    std::size_t firstFailures = 0;
    std::string error;
    if (!spool_.complete(batch, outcome, firstFailures, error))
        report(error, true);
    switch (outcome) {
    case SondeHubSpool::Outcome::Delivered:
        sent_ += batch.count;
        failures_ = 0;
        setState("sending to " + settings_.url, false);
        if (answer.status != 200 && !answer.text.empty())
            report("the server accepted with a remark (" + std::to_string(answer.status) + "): " +
                       firstLine(answer.text), false);
        if (!spool_.compact(error))
            report(error, true);
        return true;
    case SondeHubSpool::Outcome::Refused: {
        rejected_ += batch.count;
        failures_ = 0;
        const std::string text = firstLine(answer.text);
        setState("the server refuses telemetry (" + std::to_string(answer.status) + "); not retried", true);
        if (text != lastRefusal_) {
            report("the server says: " + (text.empty() ? std::string("(no text)") : text), true);
            lastRefusal_ = text;
        }
        return true;
    }
    case SondeHubSpool::Outcome::Failed:
        retried_ += firstFailures;
        ++failures_;
        setState(answerText(answer) + "; retrying", true);
        return false;
    }
    return false;
}

Uploader SondeHubOutput::uploaderNow() const
{
    Uploader u = settings_.uploader;
    if (settings_.livePosition)
        if (auto live = settings_.livePosition())
            u.position = live;
    return u;
}

void SondeHubOutput::announceChaseCar()
{
    const Uploader u = uploaderNow();
    const Clock::time_point now = Clock::now();
    const double nowS = std::chrono::duration<double>(now.time_since_epoch()).count();
    // Looked at every few seconds; never uploaded while the car's position is unknown.
    nextListener_ = now + std::chrono::seconds(5);
    const std::optional<formats::Station> at = settings_.livePosition ? settings_.livePosition() : std::nullopt;
    if (!chaseSchedule_.due(at, nowS))
        return;
    const HttpAnswer answer = http_.put(listenerUrl_, listenerObject(u, true), false, [this] { return deadlinePassed(); });
    if (answer.status >= 200 && answer.status < 300) {
        chaseSchedule_.uploaded(*at, nowS);
        ++chaseUploads_;
    } else if (answer.status >= 400 && answer.status < 500) {
        report("the server refuses the chase car's position (" + std::to_string(answer.status) +
                   "): " + firstLine(answer.text),
               true);
        chaseSchedule_.uploaded(*at, nowS);
    }
}

void SondeHubOutput::announceStation()
{
    if (settings_.chase && settings_.livePosition) {
        announceChaseCar();
        return;
    }
    const Uploader uploader = uploaderNow();
    if (!uploader.position) {
        // A station waiting for its GPS's first fix is looked at again in a minute.
        nextListener_ = settings_.livePosition ? Clock::now() + std::chrono::minutes(1) : Clock::time_point::max();
        return;
    }
    const HttpAnswer answer =
        http_.put(listenerUrl_, listenerObject(uploader), false, [this] { return deadlinePassed(); });
    if (answer.status >= 200 && answer.status < 300) {
        nextListener_ = Clock::now() + std::chrono::hours(1);
    } else if (answer.status >= 400 && answer.status < 500) {
        report("the server refuses the station position (" + std::to_string(answer.status) +
                   "): " + firstLine(answer.text),
               true);
        nextListener_ = Clock::now() + std::chrono::hours(1);
    } else {
        // Tried again with the next batch's retry rhythm, at most once a minute.
        nextListener_ = Clock::now() + std::chrono::minutes(1);
    }
}

void SondeHubOutput::run()
{
    const double interval = std::max(0.01, settings_.intervalS);
    const double retryBase = std::min(5.0, interval / 3.0);
    const double retryMax = std::min(120.0, 8.0 * interval);
    if (spool_.recovered() > 0)
        report(std::to_string(spool_.recovered()) + " fixes from an earlier run wait in " + spool_.folder(), false);
    if (spool_.damagedLines() > 0)
        report(std::to_string(spool_.damagedLines()) + " damaged lines of the spool journal skipped", true);
    nextListener_ = Clock::now();
    // What an earlier run left goes out at once.
    Clock::time_point nextSend = Clock::now() + (spool_.recovered() > 0 ? Clock::duration(0) : seconds(interval));
    for (;;) {
        {
            std::string error;
            {
                std::lock_guard<std::mutex> lock(wakeMutex_);
                error.swap(spoolError_);
            }
            if (!error.empty())
                report(error, true);
        }
        if (finishing() && (spool_.waiting() == 0 || deadlinePassed()))
            return;
        const Clock::time_point now = Clock::now();
        if (now >= nextListener_ && !finishing())
            announceStation();
        if (spool_.waiting() > 0 && (now >= nextSend || (finishing() && failures_ == 0))) {
            bool ok = true;
            while (ok && spool_.waiting() > 0 && !deadlinePassed())
                ok = sendBatch();
            const double delay = ok ? interval
                                    : std::min(retryMax, retryBase * std::pow(2.0, std::min(failures_ - 1, 30)));
            nextSend = Clock::now() + seconds(delay);
            continue;
        }
        waitUntil(std::min(nextSend, nextListener_));
    }
}

}  // namespace nimbra::outputs
