#include "cli/input_pump.h"

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <vector>

#include "cli/receiver_feed.h"
#include "cli/sdr_pump.h"
#include "input/resampler.h"
#include "input/sample_source.h"
#include "iq/iq_source.h"

namespace nimbra::cli {

namespace {

// Pipes deliver what has arrived; a file is read in blocks of this many frames.
constexpr std::size_t kBlockFrames = 65536;

}  // namespace

void InputPump::report(web::InputReport& report) const
{
    report.device.name = describe();
    report.device.state = totalFrames() >= 0 ? "file" : "stream";
}

namespace {

class AudioPump : public InputPump {
public:
    AudioPump(std::unique_ptr<input::SampleSource> source, std::unique_ptr<input::Resampler> resampler)
        : source_(std::move(source)), resampler_(std::move(resampler))
    {
    }

    long pump(DecodeSession& session) override
    {
        input_.clear();
        const long n = source_->read(input_, kBlockFrames);
        if (n <= 0)
            return n;
        if (resampler_) {
            resampled_.clear();
            resampler_->process(input_, resampled_);
            session.feed(resampled_);
        } else {
            session.feed(input_);
        }
        return n;
    }

    void finish(DecodeSession& session) override
    {
        if (!resampler_)
            return;
        resampled_.clear();
        resampler_->finish(resampled_);
        session.feed(resampled_);
    }

    double sampleRate() const override { return source_->sampleRate(); }
    std::int64_t totalFrames() const override { return source_->totalFrames(); }
    std::string describe() const override
    {
        return source_->describe() + "; " + (resampler_ ? "resampled to 48000 Hz" : "48000 Hz, not resampled");
    }
    const std::string& error() const override { return source_->error(); }
    bool interrupted() const override { return source_->interrupted(); }
    void setStopFd(int fd) override { source_->setStopFd(fd); }

private:
    std::unique_ptr<input::SampleSource> source_;
    std::unique_ptr<input::Resampler> resampler_;
    std::vector<float> input_, resampled_;
};

class IqPump : public InputPump {
public:
    IqPump(std::unique_ptr<iq::IqSource> source, const CliOptions& options, std::function<void(const std::string&)> note)
        : source_(std::move(source)), feed_(source_->sampleRate(), options, std::move(note)),
          name_(options.input == "-" ? "standard input" : options.input),
          bytesPerSample_(iq::bytesPerIqSample(*options.iqFormat))
    {
    }

    long pump(DecodeSession& session) override
    {
        feed_.bind(session);
        samples_.clear();
        const long n = source_->read(samples_, kBlockFrames);
        if (n > 0)
            feed_.process(samples_.data(), samples_.size());
        feed_.settle(session);
        return n;
    }

    void finish(DecodeSession& session) override
    {
        feed_.bind(session);
        feed_.finish(session);
    }

    double sampleRate() const override { return source_->sampleRate(); }
    std::int64_t totalFrames() const override { return source_->totalFrames(); }
    std::string describe() const override { return source_->describe() + "; searching the band for sondes"; }
    const std::string& error() const override { return source_->error(); }
    // The samples before the cut are decoded; the cut itself is bad input.
    std::string endProblem() const override
    {
        const std::size_t cut = source_->droppedAtEnd();
        if (cut == 0)
            return "";
        return name_ + ": the input ends inside a sample: its last " + std::to_string(cut) + " of " +
               std::to_string(bytesPerSample_) + " bytes were left out (everything before them was decoded)";
    }
    bool interrupted() const override { return source_->interrupted(); }
    void setStopFd(int fd) override { source_->setStopFd(fd); }
    void report(web::InputReport& report) const override
    {
        InputPump::report(report);
        feed_.report(report, 0.0, 0.0);
    }

private:
    std::unique_ptr<iq::IqSource> source_;
    ReceiverFeed feed_;
    std::string name_;
    std::size_t bytesPerSample_;
    std::vector<std::complex<float>> samples_;
};

}  // namespace

std::unique_ptr<InputPump> openInput(const CliOptions& o, std::string& error,
                                     std::function<void(const std::string&)> note)
{
    if (o.sdr.device)
        return std::make_unique<SdrPump>(o, std::move(note));
    if (o.iqFormat) {
        auto source = iq::openIqInput(o.input, *o.iqFormat, o.rate.value_or(0.0), error);
        if (!source)
            return nullptr;
        return std::make_unique<IqPump>(std::move(source), o, std::move(note));
    }
    std::unique_ptr<input::SampleSource> source;
    const double rawRate = o.rate.value_or(48000.0);
    const int rawChannels = o.channels.value_or(1);
    if (o.input == "-")
        source = input::openRawSource(STDIN_FILENO, "standard input", rawRate, rawChannels, o.channel - 1);
    else if (o.raw)
        source = input::openRawFile(o.input, rawRate, rawChannels, o.channel - 1, error);
    else
        source = input::openAudioFile(o.input, o.channel, error);
    if (!source)
        return nullptr;
    std::unique_ptr<input::Resampler> resampler;
    if (source->sampleRate() != DecodeSession::kSampleRate) {
        resampler = std::make_unique<input::Resampler>(source->sampleRate(), DecodeSession::kSampleRate);
        if (!resampler->ok()) {
            error = resampler->error();
            return nullptr;
        }
    }
    return std::make_unique<AudioPump>(std::move(source), std::move(resampler));
}

}  // namespace nimbra::cli
