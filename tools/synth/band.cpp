#include "synth/band.h"

#include <algorithm>
#include <cmath>

namespace nimbra::synth {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr std::size_t kBitPiece = 4800;     // line bits rendered at a time: half a second
constexpr std::size_t kEnvelopeStep = 64;   // samples between evaluations of a sonde's level
constexpr std::size_t kRotorResync = 1024;  // samples between exact restarts of a spur's phase

}  // namespace

double bandNoiseSigma(const BandSettings& s)
{
    if (!s.ebN0Db)
        return 0.0;
    const double perBit = s.samplesPerBit * s.sampleRate / kSampleRate;
    return std::sqrt(perBit / (2.0 * std::pow(10.0, *s.ebN0Db / 10.0)));
}

// One sonde: its flight's line through an IqChannel at the true sample rate, times its envelope.
struct Band::Source {
    BandSonde sonde;
    double trueRate = 0.0;
    std::unique_ptr<IqChannel> channel;
    std::vector<std::uint8_t> bits;
    std::size_t nextBit = 0;
    std::vector<std::complex<float>> pending;  // rendered, not yet handed out
    std::size_t pendingStart = 0;
    bool ownBits = false;

    std::size_t available() const { return pending.size() - pendingStart; }

    void renderMore()
    {
        std::vector<std::uint8_t> piece;
        if (nextBit < bits.size()) {
            const std::size_t end = std::min(bits.size(), nextBit + kBitPiece);
            piece.assign(bits.begin() + static_cast<long>(nextBit), bits.begin() + static_cast<long>(end));
            nextBit = end;
        } else {
            piece.assign(kBitPiece, 1);  // idle after the flight's last block
        }
        if (pendingStart > 0) {
            pending.erase(pending.begin(), pending.begin() + static_cast<long>(pendingStart));
            pendingStart = 0;
        }
        const auto z = channel->render(piece, sonde.flight.samplesPerBit);
        pending.insert(pending.end(), z.begin(), z.end());
    }

    // Amplitude at true time t, switch-on and -off aside.
    double amplitudeAt(double t) const
    {
        double db = sonde.levelDb;
        if (sonde.riseS > 0.0 && t < sonde.onS + sonde.riseS)
            db -= sonde.riseDb * (1.0 - std::max(0.0, t - sonde.onS) / sonde.riseS);
        if (sonde.fadePeriodS > 0.0)
            db -= sonde.fadeDepthDb * 0.5 * (1.0 - std::cos(2.0 * kPi * t / sonde.fadePeriodS));
        return std::pow(10.0, db / 20.0);
    }
};

Band::Band(const BandSettings& settings) : settings_(settings), noise_(settings.seed)
{
    const double epsilon = settings_.ppm * 1e-6;
    total_ = static_cast<std::size_t>(std::floor(settings_.durationS * settings_.sampleRate));
    sigma_ = bandNoiseSigma(settings_);
    for (const BandSonde& s : settings_.sondes) {
        auto source = std::make_unique<Source>();
        source->sonde = s;
        source->trueRate = settings_.sampleRate * (1.0 + epsilon);
        FlightSettings flight = s.flight;
        // The sonde starts its telemetry when it is switched on: a quarter second of idle, then
        // a block every half second, as many as the band has room for.
        flight.leadInS = std::max(0.0, s.onS) + flight.leadInS;
        const double end = std::min(settings_.durationS, s.offS);
        const int room = std::max(0, static_cast<int>(std::ceil(end - flight.leadInS)) + 1);
        if (flight.plan.empty())
            flight.gpsBlocks = std::min(flight.gpsBlocks, room);
        else if (flight.plan.size() > static_cast<std::size_t>(room))
            flight.plan.resize(static_cast<std::size_t>(room));
        if (!s.bits.empty()) {
            source->bits = s.bits;
            source->ownBits = true;
        } else {
            const Flight f = makeFlight(flight);
            source->bits = f.line.bits();
            for (const ExpectedFix& fix : f.fixes)
                if (fix.endTimeS <= end)
                    expected_.push_back(fix);
        }
        IqChannelSettings c;
        c.sampleRate = source->trueRate;
        c.offsetHz = s.offsetHz - epsilon * settings_.tunedHz;
        c.driftHzPerS = s.driftHzPerS;
        c.deviationHz = s.deviationHz;
        source->channel = std::make_unique<IqChannel>(c);
        sources_.push_back(std::move(source));
    }
    std::stable_sort(expected_.begin(), expected_.end(),
                     [](const ExpectedFix& a, const ExpectedFix& b) { return a.endTimeS < b.endTimeS; });
}

Band::~Band() = default;

void Band::appendBits(std::size_t sonde, const std::vector<std::uint8_t>& bits)
{
    Source& s = *sources_.at(sonde);
    s.bits.insert(s.bits.end(), bits.begin(), bits.end());
}

std::size_t Band::covered() const
{
    std::size_t n = total_;
    for (const auto& s : sources_)
        if (s->ownBits)
            // A sample short of the last bit's end, so that rounding never asks for idle beyond.
            n = std::min(n, static_cast<std::size_t>(std::max(
                                0.0, std::floor(double(s->bits.size()) * s->sonde.flight.samplesPerBit * s->trueRate /
                                                kSampleRate) - 1.0)));
    return n;
}

double Band::meanPower() const
{
    double p = 2.0 * sigma_ * sigma_;
    for (const auto& s : sources_)
        p += std::pow(10.0, s->sonde.levelDb / 10.0);
    for (const Spur& spur : settings_.spurs)
        p += std::pow(10.0, spur.levelDb / 10.0);
    return p;
}

std::vector<std::complex<float>> Band::render(std::size_t count)
{
    count = std::min(count, total_ - position_);
    std::vector<std::complex<double>> sum(count);

    for (auto& source : sources_) {
        while (source->available() < count)
            source->renderMore();
        const std::complex<float>* z = source->pending.data() + source->pendingStart;
        const double on = source->sonde.onS, off = source->sonde.offS;
        // The level is taken every kEnvelopeStep samples of the band (not of the call), so that
        // pieces of any size give the same samples.
        double a = 0.0;
        for (std::size_t k = 0; k < count; ++k) {
            const std::size_t n = position_ + k;
            if (k == 0 || n % kEnvelopeStep == 0)
                a = source->amplitudeAt(double(n - n % kEnvelopeStep) / source->trueRate);
            const double t = double(n) / source->trueRate;
            if (t >= on && t < off)
                sum[k] += a * std::complex<double>(z[k]);
        }
        source->pendingStart += count;
    }

    spurRotors_.resize(settings_.spurs.size());
    for (std::size_t i = 0; i < settings_.spurs.size(); ++i) {
        const Spur& spur = settings_.spurs[i];
        const double a = std::pow(10.0, spur.levelDb / 20.0);
        const double w = 2.0 * kPi * spur.offsetHz / settings_.sampleRate;
        const std::complex<double> step = std::polar(1.0, w);
        std::complex<double>& rotor = spurRotors_[i];
        for (std::size_t k = 0; k < count; ++k) {
            const std::size_t n = position_ + k;
            if (n % kRotorResync == 0)
                rotor = std::polar(a, std::remainder(w * double(n), 2.0 * kPi));
            sum[k] += rotor;
            rotor *= step;
        }
    }

    std::vector<std::complex<float>> out(count);
    for (std::size_t k = 0; k < count; ++k) {
        std::complex<double> z = sum[k];
        if (sigma_ > 0.0) {
            const double re = noise_.gaussian();
            z += std::complex<double>(sigma_ * re, sigma_ * noise_.gaussian());
        }
        out[k] = {static_cast<float>(z.real()), static_cast<float>(z.imag())};
    }
    position_ += count;
    return out;
}

}  // namespace nimbra::synth
