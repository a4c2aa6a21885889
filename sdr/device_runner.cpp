#include "sdr/device_runner.h"

#include <algorithm>
#include <chrono>
#include <cstdio>

namespace nimbra::sdr {

namespace {

constexpr std::size_t kReadSamples = 16384;
constexpr int kReadTimeoutMs = 200;

}  // namespace

const char* stateName(DeviceStatus::State state)
{
    switch (state) {
    case DeviceStatus::State::Connecting:
        return "connecting";
    case DeviceStatus::State::Running:
        return "running";
    case DeviceStatus::State::Reconnecting:
        return "reconnecting";
    case DeviceStatus::State::Stopped:
        return "stopped";
    }
    return "";
}

DeviceRunner::DeviceRunner(std::unique_ptr<SdrDevice> device, const SdrSettings& settings, double queueSeconds)
    : device_(std::move(device)), settings_(settings),
      maxQueued_(static_cast<std::size_t>(std::max(1.0, queueSeconds * settings.rate)))
{
    status_.device = device_->describe();
    status_.tunedHz = settings.frequencyHz;
}

DeviceRunner::~DeviceRunner() { stop(); }

void DeviceRunner::start()
{
    if (!thread_.joinable())
        thread_ = std::thread([this] { run(); });
}

void DeviceRunner::stop()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    ready_.notify_all();
    if (thread_.joinable())
        thread_.join();
}

void DeviceRunner::note(const std::string& text)
{
    if (notes_)
        notes_(text);
}

bool DeviceRunner::sleepFor(double seconds)
{
    std::unique_lock<std::mutex> lock(mutex_);
    return !wake_.wait_for(lock, std::chrono::duration<double>(seconds), [this] { return stopping_; });
}

void DeviceRunner::retune(double frequencyHz)
{
    std::lock_guard<std::mutex> lock(mutex_);
    retuneTo_ = frequencyHz;
}

DeviceStatus DeviceRunner::status() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return status_;
}

void DeviceRunner::push(std::vector<std::complex<float>>&& samples, bool gap, std::uint64_t lost)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        // The decoder fell behind: the oldest chunks make way, and what follows them is a gap.
        while (!queue_.empty() && queued_ + samples.size() > maxQueued_) {
            queued_ -= queue_.front().samples.size();
            status_.lost += queue_.front().samples.size();
            // What was lost before the dropped chunk is lost before whatever comes next now.
            lostPending_ += queue_.front().samples.size() + queue_.front().lostBefore;
            gapPending_ = true;
            queue_.pop_front();
            if (!queue_.empty()) {
                queue_.front().gapBefore = true;
                queue_.front().lostBefore += lostPending_;
                gapPending_ = false;
                lostPending_ = 0;
            }
        }
        SampleChunk c;
        c.gapBefore = gap || gapPending_;
        c.lostBefore = lost + lostPending_;
        gapPending_ = false;
        lostPending_ = 0;
        c.tunedHz = status_.tunedHz;
        c.samples = std::move(samples);
        queued_ += c.samples.size();
        status_.samples += c.samples.size();
        queue_.push_back(std::move(c));
    }
    ready_.notify_one();
}

bool DeviceRunner::pop(SampleChunk& chunk, int timeoutMs)
{
    std::unique_lock<std::mutex> lock(mutex_);
    if (!ready_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return !queue_.empty() || stopping_; }) ||
        queue_.empty())
        return false;
    chunk = std::move(queue_.front());
    queue_.pop_front();
    queued_ -= chunk.samples.size();
    return true;
}

void DeviceRunner::run()
{
    double backoff = 0.5;
    bool everOpened = false;
    bool gap = false;
    std::string lastProblem;  // a failure is noted once, not at every attempt
    auto failing = std::chrono::steady_clock::now();
    std::vector<std::complex<float>> buffer(kReadSamples);
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (stopping_)
                break;
            settings_.frequencyHz = status_.tunedHz;
        }
        std::string error;
        if (!device_->open(settings_, error)) {
            {
                std::lock_guard<std::mutex> lock(mutex_);
                status_.state = everOpened ? DeviceStatus::State::Reconnecting : DeviceStatus::State::Connecting;
                status_.problem = error;
                status_.nextAttemptS = backoff;
            }
            if (error != lastProblem) {
                if (lastProblem.empty())
                    failing = std::chrono::steady_clock::now();
                note(error + "; trying again every " + std::to_string(static_cast<int>(kMaxBackoffS)) + " s at most");
                lastProblem = error;
            }
            if (!sleepFor(backoff))
                break;
            backoff = std::min(kMaxBackoffS, backoff * 2.0);
            continue;
        }
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (everOpened)
                ++status_.reconnects;
            status_.state = DeviceStatus::State::Running;
            status_.problem.clear();
        }
        if (everOpened) {
            char text[96];
            std::snprintf(text, sizeof text, ": connected again after %.1f s",
                          std::chrono::duration<double>(std::chrono::steady_clock::now() - failing).count());
            note(device_->describe() + text);
        } else {
            note(device_->describe() + ": connected");
        }
        lastProblem.clear();
        everOpened = true;
        backoff = 0.5;
        for (;;) {
            double retune = 0.0;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                if (stopping_)
                    break;
                retune = retuneTo_;
                retuneTo_ = 0.0;
            }
            if (retune > 0.0) {
                if (device_->retune(retune, error)) {
                    std::lock_guard<std::mutex> lock(mutex_);
                    status_.tunedHz = retune;
                    gap = true;
                } else {
                    note(error);
                }
            }
            const ReadResult r = device_->read(buffer.data(), buffer.size(), kReadTimeoutMs);
            if (r.status == ReadResult::Status::Failed) {
                {
                    std::lock_guard<std::mutex> lock(mutex_);
                    status_.state = DeviceStatus::State::Reconnecting;
                    status_.problem = r.error;
                }
                note(r.error + "; reconnecting");
                lastProblem = r.error;
                failing = std::chrono::steady_clock::now();
                device_->close();
                gap = true;
                break;
            }
            if (r.status == ReadResult::Status::Overflow) {
                std::lock_guard<std::mutex> lock(mutex_);
                ++status_.overflows;
                status_.lost += r.lost;
                gap = true;
            }
            if (r.count > 0) {
                push(std::vector<std::complex<float>>(buffer.begin(), buffer.begin() + static_cast<long>(r.count)), gap,
                     r.lost);
                gap = false;
            }
        }
    }
    device_->close();
    std::lock_guard<std::mutex> lock(mutex_);
    status_.state = DeviceStatus::State::Stopped;
}

}  // namespace nimbra::sdr
