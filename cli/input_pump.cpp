#include "cli/input_pump.h"

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <vector>

#include "formats/frequency_text.h"
#include "input/resampler.h"
#include "input/sample_source.h"
#include "iq/band_receiver.h"
#include "iq/iq_source.h"

namespace nimbra::cli {

namespace {

// Pipes deliver what has arrived; a file is read in blocks of this many frames.
constexpr std::size_t kBlockFrames = 65536;

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

// What the receiver tells of its channels, as one line for standard error.
std::string describeEvent(const iq::ChannelEvent& e, double tunedHz)
{
    char where[96];
    if (std::isfinite(tunedHz))
        std::snprintf(where, sizeof where, "%s MHz (%+.1f kHz)", formats::formatMhz(tunedHz + e.frequencyHz).c_str(),
                      e.frequencyHz / 1000.0);
    else
        std::snprintf(where, sizeof where, "%+.1f kHz", e.frequencyHz / 1000.0);
    char text[256];
    switch (e.kind) {
    case iq::ChannelEvent::Kind::TakenUp:
        std::snprintf(text, sizeof text, "channel %d: sonde at %s, deviation +-%.1f kHz, %.1f dB above the noise",
                      e.channel, where, e.deviationHz / 1000.0, e.levelDb);
        break;
    case iq::ChannelEvent::Kind::Reacquired:
        std::snprintf(text, sizeof text, "channel %d: acquired again at %s, deviation +-%.1f kHz", e.channel, where,
                      e.deviationHz / 1000.0);
        break;
    case iq::ChannelEvent::Kind::Lost:
        std::snprintf(text, sizeof text, "channel %d: sonde at %s lost (%s) after %d good blocks", e.channel, where,
                      e.reason.c_str(), e.goodBlocks);
        break;
    }
    return text;
}

class IqPump : public InputPump {
public:
    IqPump(std::unique_ptr<iq::IqSource> source, const CliOptions& options, std::function<void(const std::string&)> note)
        : source_(std::move(source)), receiver_(source_->sampleRate(), settingsOf(options)),
          tunedHz_(options.tunedHz.value_or(std::nan(""))), note_(std::move(note)),
          name_(options.input == "-" ? "standard input" : options.input),
          bytesPerSample_(iq::bytesPerIqSample(*options.iqFormat))
    {
    }

    long pump(DecodeSession& session) override
    {
        bind(session);
        samples_.clear();
        const long n = source_->read(samples_, kBlockFrames);
        if (n > 0)
            receiver_.process(samples_.data(), samples_.size());
        session.setSettled(receiver_.settledPeriod());
        return n;
    }

    void finish(DecodeSession& session) override
    {
        bind(session);
        receiver_.finish();
        session.setSettled(receiver_.settledPeriod());
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

private:
    static iq::ReceiverSettings settingsOf(const CliOptions& o)
    {
        iq::ReceiverSettings s;
        s.maxSondes = o.maxSondes;
        return s;
    }

    void bind(DecodeSession& session)
    {
        receiver_.setBlockSink([&session](int channel, const DemodBlock& block, std::int64_t period, double hz) {
            session.feedBlock(channel, block, period, hz);
        });
        receiver_.setEventSink([this, &session](const iq::ChannelEvent& e) {
            if (note_)
                note_(describeEvent(e, tunedHz_));
            if (e.kind == iq::ChannelEvent::Kind::Lost)
                session.dropChannel(e.channel);
        });
    }

    std::unique_ptr<iq::IqSource> source_;
    iq::BandReceiver receiver_;
    double tunedHz_;
    std::function<void(const std::string&)> note_;
    std::string name_;
    std::size_t bytesPerSample_;
    std::vector<std::complex<float>> samples_;
};

}  // namespace

std::unique_ptr<InputPump> openInput(const CliOptions& o, std::string& error,
                                     std::function<void(const std::string&)> note)
{
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
