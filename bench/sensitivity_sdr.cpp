#include "sensitivity_sdr.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <fstream>
#include <functional>
#include <limits>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

#include "decoder/decoder.h"
#include "demod/demod_type.h"
#include "iq/iq_format.h"
#include "iq/band_receiver.h"
#include "sensitivity_figures.h"
#include "synth/channel_iq.h"
#include "synth/channel_rf.h"
#include "synth/serial_line.h"
#include "synth/synthesize.h"

namespace sensitivity {

namespace {

namespace fs = std::filesystem;

constexpr double kSamplesPerBit = 5.0;  // 9,600 bit/s
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr std::int64_t kClockMs = 1700000000000;

// A receiver fed one continuous stream of line bits; its blocks are judged against those sent.
class Stream {
public:
    virtual ~Stream() = default;
    virtual void feed(const std::vector<std::uint8_t>& bits) = 0;
    virtual void finish() = 0;

    std::function<void(const nimbra::PacketEvent&)> listener;
    double cpuSeconds = 0.0;

protected:
    std::unique_ptr<nimbra::Decoder> makeDecoder()
    {
        auto d = std::make_unique<nimbra::Decoder>();
        d->params.demodType = nimbra::kSyncDemod;
        d->setClock([] { return kClockMs; });
        d->setDiagnosticSink([](const char*) {});
        d->setPacketListener([this](const nimbra::PacketEvent& e) {
            if (listener)
                listener(e);
        });
        return d;
    }
};

// The SDR receiver on the synthesizer's IQ channel.
class IqStream : public Stream {
public:
    explicit IqStream(const nimbra::synth::IqChannelSettings& s)
        : channel_(s), receiver_(s.sampleRate), decoder_(makeDecoder())
    {
        receiver_.setBlockSink([this](int, const nimbra::DemodBlock& b, std::int64_t period, double) {
            decoder_->ProcessBlock(b, period);
        });
    }
    void feed(const std::vector<std::uint8_t>& bits) override
    {
        const auto z = channel_.render(bits, kSamplesPerBit);
        const double t0 = threadSeconds();
        receiver_.process(z.data(), z.size());
        decoder_->decodedDisplayText.takeAll();
        cpuSeconds += threadSeconds() - t0;
    }
    void finish() override { receiver_.finish(); }

private:
    nimbra::synth::IqChannel channel_;
    nimbra::iq::BandReceiver receiver_;
    std::unique_ptr<nimbra::Decoder> decoder_;
};

// The Sync demodulator on the radio channel model's discriminator audio.
class DiscriminatorStream : public Stream {
public:
    explicit DiscriminatorStream(const nimbra::synth::RfChannelSettings& s) : channel_(s), decoder_(makeDecoder()) {}
    void feed(const std::vector<std::uint8_t>& bits) override
    {
        const auto pcm = nimbra::synth::toPcm16(channel_.render(bits, kSamplesPerBit));
        const double t0 = threadSeconds();
        decoder_->ProcessSamples(pcm.data(), pcm.size());
        decoder_->decodedDisplayText.takeAll();
        cpuSeconds += threadSeconds() - t0;
    }
    void finish() override
    {
        feed(std::vector<std::uint8_t>(3200, 1));  // the last block out of every buffer
    }

private:
    nimbra::synth::RfChannel channel_;
    std::unique_ptr<nimbra::Decoder> decoder_;
};

using StreamMaker = std::function<std::unique_ptr<Stream>(double ebN0Db, std::uint64_t seed)>;

struct CurvePlan {
    std::string caseKey;
    std::string name;
    StreamMaker make;
    double fromDb, toDb, stepDb;
};

// One point: blocks back to back (each after its two sync characters, 20 idle bits between),
// after a second of data for the receiver to find the signal, until success is known to +-3 %.
CurvePoint runPoint(const StreamMaker& make, double ebN0Db, std::uint64_t seed, int maxBlocks)
{
    CurvePoint p;
    p.ebN0Db = ebN0Db;
    std::unique_ptr<Stream> stream = make(ebN0Db, seed);
    nimbra::synth::Random random(seed ^ 0x5D5);
    std::vector<Block> sent;
    stream->listener = [&](const nimbra::PacketEvent& e) {
        if (!e.crcGood)
            return;
        const int id = e.length > 8 ? e.bytes[6] * 256 + e.bytes[7] : -1;
        const bool right = id >= 0 && id < static_cast<int>(sent.size()) &&
                           e.length == static_cast<int>(sent[id].size()) &&
                           std::memcmp(e.bytes, sent[id].data(), sent[id].size()) == 0;
        ++(right ? p.good : p.wrong);
    };
    std::vector<std::uint8_t> lead(9600);
    for (auto& b : lead)
        b = static_cast<std::uint8_t>(random.next() >> 63);
    stream->feed(lead);
    for (;;) {
        for (int b = 0; b < kBatch; ++b) {
            sent.push_back(makeBlock(random, static_cast<int>(sent.size())));
            nimbra::synth::SerialLine line;
            nimbra::synth::sendBlock(line, sent.back());
            line.addIdle(kIdleBits);
            stream->feed(line.bits());
        }
        const int n = static_cast<int>(sent.size());
        if (n >= maxBlocks || (n >= kMinBlocks && halfWidth(p.good, n) <= kHalfWidth))
            break;
    }
    stream->feed(std::vector<std::uint8_t>(4800, 1));
    stream->finish();
    p.blocks = static_cast<int>(sent.size());
    p.cpuSeconds = stream->cpuSeconds;
    p.signalSeconds = (9600.0 + p.blocks * (kLineBitsPerBlock + kIdleBits) + 4800.0) / 9600.0;
    return p;
}

// Points from low to high Eb/N0; past two points where every block came through, the rest would
// say nothing new.
Curve runCurve(const CurvePlan& plan, int maxBlocks, std::uint64_t seedBase)
{
    Curve c;
    c.name = plan.name;
    int perfect = 0;
    int i = 0;
    for (double e = plan.fromDb; e <= plan.toDb + 1e-9 && perfect < 2; e += plan.stepDb, ++i) {
        c.points.push_back(runPoint(plan.make, e, seedBase + 1000 * std::uint64_t(i), maxBlocks));
        const CurvePoint& p = c.points.back();
        perfect = p.good == p.blocks ? perfect + 1 : 0;
        std::fprintf(stderr, "(%s) %-40s %5.1f dB %5d blocks %5.1f %% (%d wrong)\n", plan.caseKey.c_str(),
                     plan.name.c_str(), e, p.blocks, 100.0 * p.success(), p.wrong);
    }
    return c;
}

nimbra::synth::IqChannelSettings iqChannel(double rate, double deviation, double offset)
{
    nimbra::synth::IqChannelSettings s;
    s.sampleRate = rate;
    s.deviationHz = deviation;
    s.offsetHz = offset;
    return s;
}

StreamMaker iqMaker(nimbra::synth::IqChannelSettings s)
{
    return [s](double ebN0Db, std::uint64_t seed) mutable -> std::unique_ptr<Stream> {
        s.ebN0Db = ebN0Db;
        s.seed = seed;
        return std::make_unique<IqStream>(s);
    };
}

// The Sync demodulator on flights through the audio channel: the share of GPS fixes decoded.
FixRate audioFixRate(double ebN0Db, std::uint64_t seedBase)
{
    FixRate r;
    r.ebN0Db = ebN0Db;
    for (std::uint64_t seed = seedBase; r.sent < 1500; ++seed) {
        nimbra::synth::FlightSettings flight;
        flight.gpsBlocks = 100;
        nimbra::synth::AudioChannelSettings audio;
        audio.ebN0Db = ebN0Db;
        audio.seed = seed;
        const nimbra::synth::Recording rec = nimbra::synth::synthesizeFlight(flight, audio);
        std::map<unsigned, std::int32_t> latitudeOf;
        for (const auto& fix : rec.flight.fixes)
            latitudeOf[fix.timeCounter] = fix.latitudeRaw;
        auto d = std::make_unique<nimbra::Decoder>();
        d->params.demodType = nimbra::kSyncDemod;
        d->setClock([] { return kClockMs; });
        d->setDiagnosticSink([](const char*) {});
        d->setFixListener([&](const nimbra::FixRecord& fix) {
            const auto it = latitudeOf.find(fix.timeCounter);
            const bool right = it != latitudeOf.end() &&
                               fix.latitude == static_cast<float>(nimbra::synth::rawToDegrees(it->second));
            if (right)
                latitudeOf.erase(it);
            ++(right ? r.decoded : r.wrong);
            r.repaired += fix.bitsRepaired != 0;
        });
        d->ProcessSamples(rec.samples.data(), rec.samples.size());
        d->decodedDisplayText.takeAll();
        r.sent += static_cast<long>(rec.flight.fixes.size());
    }
    std::fprintf(stderr, "audio channel %4.1f dB: %ld of %ld fixes\n", ebN0Db, r.decoded, r.sent);
    return r;
}

// An hour of IQ noise through the SDR receiver, quantised to 8 bits as an RTL dongle gives it.
NoiseRun iqNoise(double seconds)
{
    NoiseRun run;
    run.input = "IQ, 2.4 MS/s cu8, no carrier (Gaussian noise at 25 % of full scale)";
    run.seconds = seconds;
    constexpr double kRate = 2400000.0;
    nimbra::synth::IqChannelSettings s;
    s.sampleRate = kRate;
    s.carrier = false;
    s.ebN0Db = 10.0;
    s.seed = 3600;
    nimbra::synth::IqChannel channel(s);
    const double gain = 0.25 / channel.noiseSigma(kSamplesPerBit);
    nimbra::iq::BandReceiver receiver(kRate);
    auto d = std::make_unique<nimbra::Decoder>();
    d->setClock([] { return kClockMs; });
    d->setDiagnosticSink([](const char*) {});
    d->setPacketListener([&run](const nimbra::PacketEvent& e) { ++(e.crcGood ? run.good : run.bad); });
    receiver.setBlockSink([&](int, const nimbra::DemodBlock& b, std::int64_t period, double) { d->ProcessBlock(b, period); });
    const std::vector<std::uint8_t> bits(9600, 1);
    std::vector<unsigned char> bytes;
    std::vector<std::complex<float>> z;
    for (double t = 0.0; t < seconds; t += 1.0) {
        const auto x = channel.render(bits, kSamplesPerBit);
        bytes.resize(2 * x.size());
        for (std::size_t i = 0; i < x.size(); ++i) {
            const double v[2] = {double(x[i].real()), double(x[i].imag())};
            for (int k = 0; k < 2; ++k)
                bytes[2 * i + k] = static_cast<unsigned char>(std::clamp(std::nearbyint(v[k] * gain * 128.0 + 127.5), 0.0, 255.0));
        }
        z.resize(x.size());
        nimbra::iq::convertIq(nimbra::iq::IqFormat::Cu8, bytes.data(), x.size(), z.data());
        receiver.process(z.data(), z.size());
        d->decodedDisplayText.takeAll();
    }
    receiver.finish();
    run.locks = receiver.channelsTakenUp();
    std::fprintf(stderr, "noise: %s: %g s, %d locks, %d good, %d bad blocks\n", run.input.c_str(), seconds,
                 run.locks, run.good, run.bad);
    return run;
}

}  // namespace

SdrResults runSdrSweeps(const SdrOptions& o)
{
    const double step = o.quick ? 1.0 : 0.5;
    std::vector<CurvePlan> plans;
    for (double offset : {0.0, 20000.0})
        plans.push_back({"a", offset == 0.0 ? "IQ receiver, carrier at 0 kHz" : "IQ receiver, carrier at +20 kHz",
                         iqMaker(iqChannel(192000.0, 3600.0, offset)), 6.0, 12.0, step});
    for (double offset : {0.0, -300000.0})
        plans.push_back({"b", offset == 0.0 ? "IQ receiver, carrier at 0 kHz" : "IQ receiver, carrier at -300 kHz",
                         iqMaker(iqChannel(2400000.0, 80000.0, offset)), 8.0, 15.0, step});
    plans.push_back({"b", "Sync on discriminator audio, 200 kHz IF",
                     [](double ebN0Db, std::uint64_t seed) -> std::unique_ptr<Stream> {
                         nimbra::synth::RfChannelSettings s;
                         s.deviationHz = 80000.0;
                         s.ifBandwidthHz = 200000.0;
                         s.ebN0Db = ebN0Db;
                         s.seed = seed;
                         return std::make_unique<DiscriminatorStream>(s);
                     },
                     14.0, 32.0, 1.0});
    {
        nimbra::synth::IqChannelSettings drifting = iqChannel(192000.0, 3600.0, 20000.0);
        drifting.driftHzPerS = 300.0;
        drifting.driftSpanHz = 10000.0;
        plans.push_back({"c", "IQ receiver, drift 300 Hz/s", iqMaker(drifting), 6.0, 12.0, step});
    }

    std::vector<Curve> curves(plans.size());
    std::atomic<std::size_t> next{0};
    auto worker = [&] {
        for (std::size_t i; (i = next++) < plans.size();)
            curves[i] = runCurve(plans[i], o.maxBlocks, 7000000 + 100000 * std::uint64_t(i));
    };
    std::vector<std::thread> threads;
    for (int j = 1; j < o.jobs; ++j)
        threads.emplace_back(worker);
    worker();
    for (auto& t : threads)
        t.join();

    SdrResults r;
    r.maxBlocks = o.maxBlocks;
    const char* titles[] = {"(a) deviation 3.6 kHz, IQ at 192 kS/s",
                            "(b) deviation 80 kHz, IQ at 2.4 MS/s; discriminator audio through a 200 kHz IF",
                            "(c) as (a) at +20 kHz, the carrier drifting at 300 Hz/s"};
    const char* keys[] = {"a", "b", "c"};
    for (int k = 0; k < 3; ++k) {
        SdrCase c;
        c.key = keys[k];
        c.title = titles[k];
        for (std::size_t i = 0; i < plans.size(); ++i)
            if (plans[i].caseKey == c.key)
                c.curves.push_back(curves[i]);
        r.cases.push_back(c);
    }
    for (double e = 6.0; e <= 9.0 + 1e-9; e += step)
        r.audioFixes.push_back(audioFixRate(e, 9000000 + std::uint64_t(e * 100)));
    if (o.noiseSeconds > 0)
        r.noise.push_back(iqNoise(o.noiseSeconds));
    return r;
}

namespace {

double curveCrossing(const Curve& c, double target)
{
    std::vector<double> ebN0, success;
    for (const CurvePoint& p : c.points) {
        ebN0.push_back(p.ebN0Db);
        success.push_back(p.success());
    }
    return measuredCrossing(ebN0, success, target);
}

std::string fixed(double v, int decimals = 1)
{
    if (std::isnan(v))
        return "n/a";
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
    return buf;
}

const Curve* findCurve(const SdrResults& r, const std::string& key, const std::string& prefix)
{
    for (const SdrCase& c : r.cases)
        if (c.key == key)
            for (const Curve& curve : c.curves)
                if (curve.name.compare(0, prefix.size(), prefix) == 0)
                    return &curve;
    return nullptr;
}

std::string dataFile(const SdrCase& c, std::size_t i) { return "sdr_" + c.key + "_" + std::to_string(i) + ".dat"; }

}  // namespace

void writeSdrSections(std::ostream& f, const SdrResults& r)
{
    const double mf90 = crossing(matchedLimit, 0.9), nc90 = crossing(nonCoherent, 0.9);
    f << "## SDR input\n\n"
      << "How weak a signal the IQ receiver (`nimbra-decode --iq`) still reads: the search for the "
         "tones, the channel filter and decimation, the tone detector and the Sync stage it shares "
         "with the audio path, on the synthesizer's IQ channel.\n\n"
      << "![Block success against Eb/N0, SDR input](sensitivity-sdr.png)\n\n"
      << "- **Channel** (`nimbra-synth --channel iq`): continuous-phase FSK with rectangular "
         "frequency pulses at 9,600 bit/s, a mark at carrier - deviation and a space at carrier + "
         "deviation, unit carrier power plus complex white Gaussian noise with E|w|^2 = (samples "
         "per bit) / (Eb/N0) per sample, float samples. Each point starts with a second of data "
         "for the search; the receiver starts from nothing at every point (search, lock, loops).\n"
      << "- **Blocks** as above: 3,000 line bits each, 20 idle bits between; success is the "
         "bytes exactly as sent. Points from low to high Eb/N0 (0.5 dB apart; 1 dB for the "
         "discriminator), 100 to " << r.maxBlocks << " blocks each until success is known to "
         "+-3 % (near 50 % that takes about 1,070), stopping after two points without a lost "
         "block.\n"
      << "- **Theory**: the matched-filter limit (antipodal signalling, " << fixed(mf90)
      << " dB for 90 %) and non-coherent orthogonal FSK (" << fixed(nc90)
      << " dB for 90 %). Continuous-phase FSK decided over several bits can pass the first: at "
         "h = 0.75 its minimum distance over five bits is 2.42 Eb against 2 for antipodal bits.\n\n";

    f << "| case | receiver | 50 % (dB) | 90 % (dB) | target | met |\n|---|---|---|---|---|---|\n";
    const Curve* a20 = findCurve(r, "a", "IQ receiver, carrier at +20");
    const Curve* disc = findCurve(r, "b", "Sync on discriminator");
    const double disc90 = disc ? curveCrossing(*disc, 0.9) : kNaN;
    long accepted = 0, wrong = 0;
    for (const SdrCase& c : r.cases) {
        for (const Curve& curve : c.curves) {
            const double p50 = curveCrossing(curve, 0.5), p90 = curveCrossing(curve, 0.9);
            const double last = curve.points.empty() ? 0.0 : curve.points.back().ebN0Db;
            std::string target, met;
            const bool iq = curve.name.compare(0, 2, "IQ") == 0;
            if (c.key == "a") {
                target = "90 % at <= 10.0 dB (stretch 9.5)";
                met = std::isnan(p90) ? "no" : (p90 <= 9.5 ? "yes, stretch too" : (p90 <= 10.0 ? "yes" : "no"));
            } else if (c.key == "b" && iq) {
                target = "90 % at <= " + fixed(nc90 + 0.5) + " dB (non-coherent FSK + 0.5 dB)" +
                         " and >= 6 dB better than the discriminator";
                const bool near = !std::isnan(p90) && p90 <= nc90 + 0.5;
                const double gap = std::isnan(disc90) ? kNaN : disc90 - p90;
                met = std::string(near ? "within 0.5 dB: yes (" : "within 0.5 dB: no (") + fixed(p90 - nc90) +
                      " dB from the theory); 6 dB: " + (!std::isnan(gap) && gap >= 6.0 ? "yes (" : "no (") +
                      fixed(gap) + " dB better)";
            } else if (c.key == "c") {
                const double ref = a20 ? curveCrossing(*a20, 0.9) : kNaN;
                target = "<= 0.5 dB lost against (a) at +20 kHz";
                met = std::isnan(p90) || std::isnan(ref) ? "no" : (p90 - ref <= 0.5 ? "yes (" : "no (") + fixed(p90 - ref, 2) + " dB)";
            }
            f << "| " << c.key << " | " << curve.name << " | " << db(p50, last) << " | " << db(p90, last)
              << " | " << target << " | " << met << " |\n";
            for (const CurvePoint& p : curve.points) {
                accepted += p.good + p.wrong;
                wrong += p.wrong;
            }
        }
    }
    f << "\nWrong blocks accepted over these curves: " << wrong << " of " << accepted << " accepted.\n\n";

    f << "Multiple of real time of the receiver in this sweep (thread CPU time, one core, signal "
         "making not counted; `iq_bench` measures the receiver on its own):\n\n"
      << "| case | receiver | x real time |\n|---|---|---|\n";
    for (const SdrCase& c : r.cases) {
        for (const Curve& curve : c.curves) {
            double cpu = 0.0, signal = 0.0;
            for (const CurvePoint& p : curve.points) {
                cpu += p.cpuSeconds;
                signal += p.signalSeconds;
            }
            f << "| " << c.key << " | " << curve.name << " | " << fixed(cpu > 0.0 ? signal / cpu : kNaN, 0) << " |\n";
        }
    }
    f << "\n";

    if (!r.audioFixes.empty()) {
        f << "## Sync demodulator on the audio channel\n\n"
          << "GPS fixes of 100-second flights (`nimbra-synth`, audio channel: two levels and white "
             "Gaussian noise, 4.992 samples per bit, no receiver filter; GPS blocks of 1,500 line "
             "bits) that the Sync demodulator decodes, against the targets of 90 % at 8 dB and "
             "50 % at 7 dB. Here a block's errors are Gaussian, not clicks: the block is read again "
             "on its settled timing and its single wrong bit found among its least reliable ones.\n\n"
          << "| Eb/N0 (dB) | fixes sent | decoded | repaired | wrong |\n|---|---|---|---|---|\n";
        for (const FixRate& x : r.audioFixes)
            f << "| " << fixed(x.ebN0Db) << " | " << x.sent << " | " << fixed(100.0 * double(x.decoded) / double(x.sent))
              << " % | " << x.repaired << " | " << x.wrong << " |\n";
        f << "\n";
    }

    if (!r.noise.empty()) {
        f << "Noise alone, SDR receiver:\n\n| input | duration | locks | blocks accepted | blocks counted bad |\n"
             "|---|---|---|---|---|\n";
        for (const NoiseRun& n : r.noise)
            f << "| " << n.input << " | " << static_cast<long>(n.seconds / 60.0) << " min | " << n.locks << " | "
              << n.good << " | " << n.bad << " |\n";
        f << "\n";
    }

    for (const SdrCase& c : r.cases) {
        f << "### " << c.title << ": percentage of blocks intact\n\n";
        for (const Curve& curve : c.curves) {
            f << curve.name << ":\n\n| Eb/N0 (dB) | blocks | intact | wrong |\n|---|---|---|---|\n";
            for (const CurvePoint& p : curve.points)
                f << "| " << fixed(p.ebN0Db) << " | " << p.blocks << " | " << fixed(100.0 * p.success()) << " | "
                  << p.wrong << " |\n";
            f << "\n";
        }
    }
}

bool plotSdr(const fs::path& dataDir, const fs::path& png, const SdrResults& r)
{
    for (const SdrCase& c : r.cases) {
        for (std::size_t i = 0; i < c.curves.size(); ++i) {
            std::ofstream d(dataDir / dataFile(c, i));
            for (const CurvePoint& p : c.curves[i].points)
                d << p.ebN0Db << ' ' << p.success() << '\n';
        }
    }
    const fs::path script = dataDir / "sensitivity-sdr.gp";
    std::ofstream g(script);
    gnuplotHeader(g, png.string(), 1500, 560, r.cases.size());
    static const char* const colours[] = {"#0072b2", "#d55e00", "#009e73", "#e69f00"};
    for (const SdrCase& c : r.cases) {
        double hi = 13.0;
        for (const Curve& curve : c.curves)
            if (!curve.points.empty())
                hi = std::max(hi, curve.points.back().ebN0Db + 1.0);
        g << "set xrange [6:" << hi << "]\n"
          << "set title '" << c.title << "'\n"
          << theoryPlot();
        for (std::size_t i = 0; i < c.curves.size(); ++i)
            g << ", '" << (dataDir / dataFile(c, i)).string() << "' with linespoints lw 2 pt 7 ps 0.6 lc rgb '"
              << colours[i % 4] << "' title '" << c.curves[i].name << "'";
        g << "\n";
    }
    return runGnuplot(g, script.string());
}

}  // namespace sensitivity
