#include "station/rotator.h"

#include <chrono>
#include <cstdio>

namespace nimbra::station {

namespace {

constexpr double kTickS = 0.25;

double steadyNow()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

std::string angles(const Pointing& p)
{
    char text[40];
    std::snprintf(text, sizeof text, "%.1f/%.1f", p.azimuth, p.elevation);
    return text;
}

}  // namespace

Rotator::Rotator(RotctldAddress address, RotatorSettings settings) : client_(std::move(address)), policy_(settings) {}

Rotator::~Rotator() { stop(); }

void Rotator::start()
{
    if (!thread_.joinable())
        thread_ = std::thread([this] { run(); });
}

void Rotator::stop()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable())
        thread_.join();
}

void Rotator::follow(const Pointing& target, double timeS)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        target_ = target;
        targetS_ = timeS;
        status_.target = target;
    }
    wake_.notify_one();
}

void Rotator::followNothing()
{
    std::lock_guard<std::mutex> lock(mutex_);
    target_.reset();
    status_.target.reset();
}

RotatorStatus Rotator::status() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return status_;
}

std::string Rotator::describe() const
{
    const RotatorStatus s = status();
    std::string text = client_.describe() + ": " + (s.connected ? "connected" : "not connected");
    if (s.target)
        text += ", target " + angles(*s.target);
    if (s.commanded)
        text += ", sent " + angles(*s.commanded) + (s.refused ? "" : " (" + s.lastReply + ")");
    if (s.refused)
        text += ", refused " + angles(*s.refused) + " (" + s.lastReply + ")";
    if (s.position)
        text += ", at " + angles(*s.position);
    if (!s.problem.empty() && !s.refused)
        text += "; " + s.problem;
    return text;
}

void Rotator::note(const std::string& text, bool problem)
{
    if (notes_)
        notes_(text, problem);
}

void Rotator::run()
{
    double nextConnect = 0.0, backoff = 1.0, nextPoll = 0.0, retryAfter = 0.0;
    // The kind of problem last reported: each is reported once, however often it is tried again
    // (a refusal of a target that moves is the same refusal).
    std::string reported;
    auto problem = [&](const std::string& kind, const std::string& text) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            // Without "rotctld HOST:PORT: ", which describe() puts first already.
            const std::string prefix = client_.describe() + ": ";
            status_.problem = text.compare(0, prefix.size(), prefix) == 0 ? text.substr(prefix.size()) : text;
            status_.connected = client_.connected();
        }
        if (kind != reported)
            note(text + "; trying again", true);
        reported = kind;
    };
    for (;;) {
        std::optional<Pointing> target;
        double targetS = 0.0;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            wake_.wait_for(lock, std::chrono::duration<double>(kTickS), [this] { return stopping_; });
            if (stopping_)
                break;
            target = target_;
            targetS = targetS_;
        }
        const double now = steadyNow();
        std::string error;
        if (!client_.connected()) {
            if (now < nextConnect)
                continue;
            if (!client_.connect(error)) {
                problem(error, error);
                nextConnect = now + backoff;
                backoff = std::min(10.0, backoff * 2.0);
                continue;
            }
            backoff = 1.0;
            policy_.forget();
            {
                std::lock_guard<std::mutex> lock(mutex_);
                status_.connected = true;
                status_.problem.clear();
            }
            note(client_.describe() + ": connected", false);
            reported.clear();
        }
        if (now >= retryAfter) {
            if (const auto command = policy_.decide(now, target, targetS)) {
                std::string reply;
                const bool taken = client_.move(*command, reply, error);
                {
                    std::lock_guard<std::mutex> lock(mutex_);
                    status_.lastReply = reply;
                    status_.connected = client_.connected();
                }
                if (taken) {
                    policy_.sent(*command, now);
                    std::lock_guard<std::mutex> lock(mutex_);
                    status_.commanded = command;
                    status_.refused.reset();
                    ++status_.commands;
                    status_.problem.clear();
                    reported.clear();
                } else {
                    if (error.empty()) {
                        std::lock_guard<std::mutex> lock(mutex_);
                        status_.refused = command;
                    }
                    if (error.empty())
                        problem("refused " + reply, client_.describe() + ": refused P " + angles(*command) + " (" + reply + ")");
                    else
                        problem(error, error);
                    retryAfter = now + policy_.settings().intervalS;
                }
            }
        }
        if (client_.connected() && now >= nextPoll) {
            nextPoll = now + kPollS;
            const auto at = client_.position(error);
            if (!at && !client_.connected()) {
                problem(error, error);
                continue;
            }
            std::lock_guard<std::mutex> lock(mutex_);
            if (at)
                status_.position = at;
            status_.connected = client_.connected();
        }
    }
    client_.close();
}

}  // namespace nimbra::station
