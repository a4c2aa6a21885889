#include "sensitivity_band.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <fstream>
#include <functional>
#include <limits>
#include <mutex>
#include <thread>

#include "block/crc16.h"
#include "iq/band_receiver.h"
#include "iq/iq_format.h"
#include "sensitivity_figures.h"
#include "sondes/sonde_decoders.h"
#include "synth/band.h"
#include "synth/dongle.h"
#include "synth/serial_line.h"
#include "synth/telemetry_blocks.h"

namespace sensitivity {

namespace {

namespace fs = std::filesystem;

constexpr double kRate = 2400000.0;
constexpr double kTunedHz = 1680e6;
constexpr double kSamplesPerBit = 5.0;  // 9,600 bit/s
constexpr std::uint16_t kFirst = 0x4E21, kSecond = 0x4E22;

// The band as rtl_sdr delivers it: rendered, the dongle's faults, unsigned 8 bits, read back.
class DongleStream {
public:
    DongleStream(const nimbra::synth::BandSettings& band, const nimbra::synth::DongleSettings& faults)
        : band_(band), dongle_(faults, band_.meanPower()), receiver_(band.sampleRate)
    {
    }

    nimbra::iq::BandReceiver& receiver() { return receiver_; }
    nimbra::synth::Band& band() { return band_; }

    // Renders and decodes up to sample `end` (or the band's end).
    void runTo(std::size_t end)
    {
        end = std::min(end, band_.totalSamples());
        while (band_.rendered() < end) {
            std::vector<std::complex<float>> z = band_.render(std::min<std::size_t>(65536, end - band_.rendered()));
            dongle_.apply(z);
            bytes_.resize(2 * z.size());
            for (std::size_t i = 0; i < z.size(); ++i) {
                const double v[2] = {double(z[i].real()), double(z[i].imag())};
                for (int k = 0; k < 2; ++k)
                    bytes_[2 * i + k] =
                        static_cast<unsigned char>(std::clamp(std::nearbyint(v[k] * 128.0 + 127.5), 0.0, 255.0));
            }
            const double t0 = threadSeconds();
            nimbra::iq::convertIq(nimbra::iq::IqFormat::Cu8, bytes_.data(), z.size(), z.data());
            receiver_.process(z.data(), z.size());
            cpuSeconds += threadSeconds() - t0;
        }
    }

    double cpuSeconds = 0.0;

private:
    nimbra::synth::Band band_;
    nimbra::synth::Dongle dongle_;
    nimbra::iq::BandReceiver receiver_;
    std::vector<unsigned char> bytes_;
};

// Where a sonde offset `hz` from the tuning shows through a crystal `ppm` off.
double apparent(double hz, double ppm) { return (hz - ppm * 1e-6 * kTunedHz) / (1.0 + ppm * 1e-6); }

bool checksumGood(const nimbra::DemodBlock& b)
{
    if (b.length < 3)
        return false;
    const auto n = static_cast<std::size_t>(b.length - 2);
    return nimbra::crc16Xmodem(b.bytes, n) == static_cast<std::uint16_t>((b.bytes[n] << 8) | b.bytes[n + 1]);
}

std::vector<std::uint8_t> lineOf(const Block& block)
{
    nimbra::synth::SerialLine line;
    nimbra::synth::sendBlock(line, block);
    line.addIdle(kIdleBits);
    return line.bits();
}

struct PointPlan {
    bool dirty = false;
    double ebN0Db = 0.0;  // of the first sonde
    double ppm = 0.0;
};

struct PointResult {
    CurvePoint first, second;
    int wrong = 0;
    double cpuSeconds = 0.0, signalSeconds = 0.0;
};

// One point: blocks back to back for each sonde, after a second of random bits, until both
// sondes' success is known to +-3 %.
PointResult runPoint(const PointPlan& plan, std::uint64_t seed, int maxBlocks)
{
    nimbra::synth::BandSettings band;
    band.sampleRate = kRate;
    band.durationS = 1e6;
    band.ebN0Db = plan.ebN0Db;
    band.samplesPerBit = kSamplesPerBit;
    band.ppm = plan.ppm;
    band.seed = seed;
    nimbra::synth::Random random(seed ^ 0x5D5);
    std::vector<std::uint8_t> lead(9600);
    for (auto& b : lead)
        b = static_cast<std::uint8_t>(random.next() >> 63);
    const double firstHz = -350000.0;
    nimbra::synth::BandSonde a;
    a.flight.samplesPerBit = kSamplesPerBit;
    a.offsetHz = firstHz;
    a.bits = lead;
    band.sondes.push_back(a);
    nimbra::synth::DongleSettings faults;
    if (plan.dirty) {
        nimbra::synth::BandSonde b = a;
        b.offsetHz = firstHz + 300000.0;
        b.levelDb = -3.0;
        band.sondes.push_back(b);
        band.spurs.push_back({apparent(firstHz, plan.ppm) + 100000.0, 20.0});
        faults.dcI = faults.dcQ = 0.02;
        faults.iqGainDb = 0.5;
        faults.iqPhaseDeg = 3.0;
    }
    const int sondes = static_cast<int>(band.sondes.size());
    DongleStream stream(band, faults);
    std::vector<std::vector<Block>> sent(static_cast<std::size_t>(sondes));
    PointResult r;
    r.first.ebN0Db = plan.ebN0Db;
    r.second.ebN0Db = plan.ebN0Db - 3.0;
    stream.receiver().setBlockSink([&](int, const nimbra::DemodBlock& b, std::int64_t, double) {
        if (!checksumGood(b))
            return;
        const int transmitter = (b.bytes[4] << 8) | b.bytes[5];
        const int index = (b.bytes[6] << 8) | b.bytes[7];
        const int k = transmitter == kFirst ? 0 : transmitter == kSecond ? 1 : -1;
        const bool right = k >= 0 && k < sondes && index < static_cast<int>(sent[std::size_t(k)].size()) &&
                           b.length == static_cast<int>(sent[std::size_t(k)][std::size_t(index)].size()) &&
                           std::memcmp(b.bytes, sent[std::size_t(k)][std::size_t(index)].data(), std::size_t(b.length)) == 0;
        if (!right)
            ++r.wrong;
        else
            ++(k == 0 ? r.first.good : r.second.good);
    });
    for (;;) {
        for (int i = 0; i < kBatch; ++i)
            for (int k = 0; k < sondes; ++k) {
                sent[std::size_t(k)].push_back(
                    makeBlock(random, static_cast<int>(sent[std::size_t(k)].size()), k == 0 ? kFirst : kSecond));
                stream.band().appendBits(std::size_t(k), lineOf(sent[std::size_t(k)].back()));
            }
        stream.runTo(stream.band().covered());
        const int n = static_cast<int>(sent[0].size());
        bool known = n >= kMinBlocks;
        known = known && halfWidth(r.first.good, n) <= kHalfWidth;
        if (sondes > 1)
            known = known && halfWidth(r.second.good, n) <= kHalfWidth;
        if (n >= maxBlocks || known)
            break;
    }
    for (int k = 0; k < sondes; ++k)
        stream.band().appendBits(std::size_t(k), std::vector<std::uint8_t>(4800, 1));
    stream.runTo(stream.band().covered());
    stream.receiver().finish();
    r.first.blocks = r.second.blocks = static_cast<int>(sent[0].size());
    r.cpuSeconds = stream.cpuSeconds;
    r.signalSeconds = double(stream.band().rendered()) / kRate;
    return r;
}

struct TrialPlan {
    bool rising = false;
    std::uint64_t seed = 0;
    double level90Db = 8.7;
};

struct TrialResult {
    bool rightTones = false;  // the channel follows the sonde's frequency and deviation at the end
    int extra = 0;
    bool fix = false;
    double delay = 0.0;
    int wrong = 0;
};

// One acquisition trial on a 2.4 MS/s dongle band with its DC spike.
TrialResult runTrial(const TrialPlan& plan)
{
    nimbra::synth::Random random(plan.seed * 7919 + 17);
    nimbra::synth::BandSettings band;
    band.sampleRate = kRate;
    band.ppm = (2.0 * random.uniform() - 1.0) * 100.0;
    band.seed = plan.seed;
    nimbra::synth::BandSonde s;
    s.flight.transmitterId = static_cast<std::uint16_t>(0x1000 + plan.seed % 0x1000);
    s.offsetHz = (2.0 * random.uniform() - 1.0) * 900000.0;
    s.onS = 0.5 + 3.5 * random.uniform();
    double aboveS = 0.0;  // the signal stands above the 90 % level from here on
    if (plan.rising) {
        // From 16 dB below its level to 4 dB above it over 30 s.
        band.ebN0Db = plan.level90Db + 4.0;
        s.riseDb = 20.0;
        s.riseS = 30.0;
        aboveS = s.onS + 30.0 * 16.0 / 20.0;
        band.durationS = s.onS + 34.0;
    } else {
        band.ebN0Db = plan.level90Db + 2.0 + 4.0 * random.uniform();
        aboveS = s.onS;
        band.durationS = s.onS + 8.0;
    }
    band.sondes.push_back(s);
    nimbra::synth::DongleSettings faults;
    faults.dcI = faults.dcQ = 0.02;
    DongleStream stream(band, faults);
    const auto& expected = stream.band().expected();
    TrialResult r;
    const double where = apparent(s.offsetHz, band.ppm), deviation = s.deviationHz / (1.0 + band.ppm * 1e-6);
    auto right = [&](double hz, double dev) {
        return std::fabs(hz - where) < 1000.0 && std::fabs(dev - deviation) < 300.0;
    };
    // Channels anywhere but on the sonde.
    stream.receiver().setEventSink([&](const nimbra::iq::ChannelEvent& e) {
        if (e.kind == nimbra::iq::ChannelEvent::Kind::TakenUp && std::fabs(e.frequencyHz - where) > 20000.0)
            ++r.extra;
    });
    // The first GPS block sent wholly above the 90 % level (a block lasts some 0.16 s).
    double firstBlockS = aboveS;
    for (const auto& f : expected)
        if (f.endTimeS - 0.2 >= aboveS) {
            firstBlockS = f.endTimeS;
            break;
        }
    // The receiver's clock runs 1 + ppm fast against true time.
    const double clock = 1.0 + band.ppm * 1e-6;
    nimbra::SondeDecoders decoders([](nimbra::Decoder&) {}, {}, std::nullopt, false);
    stream.receiver().setBlockSink([&](int channel, const nimbra::DemodBlock& b, std::int64_t period, double hz) {
        decoders.feedBlock(channel, b, period, hz);
    });
    stream.runTo(stream.band().totalSamples());
    // The tones the channel follows by the end, the signal well above the 90 % level.
    for (const nimbra::iq::ChannelStatus& c : stream.receiver().channels())
        r.rightTones = r.rightTones || right(c.frequencyHz, c.deviationHz);
    stream.receiver().finish();
    for (const nimbra::FlightFix& f : decoders.release(std::numeric_limits<std::int64_t>::max()).fixes) {
        bool sentIt = false;
        for (const auto& e : expected)
            sentIt = sentIt || (e.transmitterId == f.record.transmitterId && e.timeCounter == f.record.timeCounter &&
                                static_cast<float>(nimbra::synth::rawToDegrees(e.latitudeRaw)) == f.record.latitude);
        if (!sentIt) {
            ++r.wrong;
            continue;
        }
        const double endS = double(f.record.sampleIndex) / 48000.0 / clock;
        if (endS < aboveS)
            continue;
        if (!r.fix) {
            r.fix = true;
            r.delay = std::max(0.0, endS - firstBlockS);
        }
    }
    return r;
}

FalseChannelRun falseChannelHour(double seconds)
{
    FalseChannelRun run;
    run.seconds = seconds;
    nimbra::synth::BandSettings band;
    band.sampleRate = kRate;
    band.durationS = seconds;
    band.ebN0Db = 10.0;  // the noise a sonde at 0 dB would see at 10 dB
    band.seed = 3601;
    band.spurs = {{-610000.0, 10.0}, {230000.0, 20.0}, {870000.0, 30.0}};
    nimbra::synth::DongleSettings faults;
    faults.dcI = 0.04;
    faults.dcQ = -0.03;
    faults.iqGainDb = 0.5;
    faults.iqPhaseDeg = 3.0;
    DongleStream stream(band, faults);
    stream.receiver().setBlockSink([&](int, const nimbra::DemodBlock& b, std::int64_t, double) {
        ++(checksumGood(b) ? run.good : run.bad);
    });
    const auto step = static_cast<std::size_t>(60.0 * kRate);
    for (std::size_t at = 0; at < stream.band().totalSamples(); at += step) {
        stream.runTo(at + step);
        std::fprintf(stderr, "false channels: %4.0f min, %d channels\n", double(at + step) / kRate / 60.0,
                     stream.receiver().channelsTakenUp());
    }
    stream.receiver().finish();
    run.channels = stream.receiver().channelsTakenUp();
    return run;
}

// Runs `count` jobs on `jobs` threads.
void inParallel(int jobs, std::size_t count, const std::function<void(std::size_t)>& job)
{
    std::atomic<std::size_t> next{0};
    auto worker = [&] {
        for (std::size_t i; (i = next++) < count;)
            job(i);
    };
    std::vector<std::thread> threads;
    for (int j = 1; j < jobs; ++j)
        threads.emplace_back(worker);
    worker();
    for (auto& t : threads)
        t.join();
}

double ninetyOf(const Curve& c)
{
    std::vector<double> e, p;
    for (const CurvePoint& q : c.points) {
        e.push_back(q.ebN0Db);
        p.push_back(q.success());
    }
    return measuredCrossing(e, p, 0.9);
}

double fiftyOf(const Curve& c)
{
    std::vector<double> e, p;
    for (const CurvePoint& q : c.points) {
        e.push_back(q.ebN0Db);
        p.push_back(q.success());
    }
    return measuredCrossing(e, p, 0.5);
}

AcquisitionTrials trials(const char* kind, bool rising, const BandOptions& o, double level90Db, std::uint64_t seedBase)
{
    AcquisitionTrials t;
    t.kind = kind;
    t.trials = o.trials;
    t.level90Db = level90Db;
    std::vector<TrialResult> results(static_cast<std::size_t>(o.trials));
    std::mutex m;
    int done = 0;
    inParallel(o.jobs, results.size(), [&](std::size_t i) {
        results[i] = runTrial({rising, seedBase + i, level90Db});
        std::lock_guard<std::mutex> lock(m);
        if (++done % 20 == 0)
            std::fprintf(stderr, "%s: %d of %d trials\n", kind, done, o.trials);
    });
    for (const TrialResult& r : results) {
        t.rightTones += r.rightTones;
        t.extraChannels += r.extra;
        t.wrong += r.wrong;
        if (!r.fix) {
            ++t.withoutFix;
            continue;
        }
        t.delays.push_back(r.delay);
        t.late += r.delay > 3.0;
    }
    return t;
}

}  // namespace

BandResults runBandSweeps(const BandOptions& o)
{
    BandResults r;
    const double step = o.quick ? 1.0 : 0.5;
    std::vector<PointPlan> plans;
    for (int dirty = 0; dirty < 2; ++dirty)
        for (double e = 6.0; e <= 14.0 + 1e-9; e += step)
            plans.push_back({dirty == 1, e, dirty ? (plans.size() % 2 ? 60.0 : -60.0) : 0.0});
    std::vector<PointResult> points(plans.size());
    inParallel(o.jobs, plans.size(), [&](std::size_t i) {
        points[i] = runPoint(plans[i], 9100000 + 1000 * i, o.maxBlocks);
        std::fprintf(stderr, "(band) %s %4.1f dB: %5.1f %% %s (%d wrong)\n", plans[i].dirty ? "dirty" : "clean",
                     plans[i].ebN0Db, 100.0 * points[i].first.success(),
                     plans[i].dirty ? (std::to_string(100.0 * points[i].second.success()) + " % second").c_str() : "",
                     points[i].wrong);
    });
    Curve clean{"clean band, the sonde alone", {}}, dirtyFirst{"dirty band, the sonde", {}},
        dirtySecond{"dirty band, the second sonde (3 dB weaker)", {}};
    for (std::size_t i = 0; i < plans.size(); ++i) {
        r.wrongBlocks += points[i].wrong;
        r.cpuSeconds += points[i].cpuSeconds;
        r.signalSeconds += points[i].signalSeconds;
        (plans[i].dirty ? dirtyFirst : clean).points.push_back(points[i].first);
        r.blocksJudged += points[i].first.blocks;
        if (plans[i].dirty) {
            dirtySecond.points.push_back(points[i].second);
            r.blocksJudged += points[i].second.blocks;
        }
    }
    std::sort(dirtySecond.points.begin(), dirtySecond.points.end(),
              [](const CurvePoint& a, const CurvePoint& b) { return a.ebN0Db < b.ebN0Db; });
    r.curves = {clean, dirtyFirst, dirtySecond};
    const double level90 = std::isnan(ninetyOf(clean)) ? 8.7 : ninetyOf(clean);
    r.switchOn = trials("switching on", false, o, level90, 500000);
    r.rising = trials("rising", true, o, level90, 600000);
    r.wrongBlocks += r.switchOn.wrong + r.rising.wrong;
    if (o.falseChannelSeconds > 0.0)
        r.falseChannels = falseChannelHour(o.falseChannelSeconds);
    r.wrongBlocks += r.falseChannels.good;
    return r;
}

namespace {

std::string figure(double v)
{
    if (std::isnan(v))
        return "not reached";
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.1f", v);
    return buf;
}

void writeTrials(std::ostream& f, const AcquisitionTrials& t)
{
    std::vector<double> d = t.delays;
    std::sort(d.begin(), d.end());
    auto at = [&](double q) { return d.empty() ? std::nan("") : d[static_cast<std::size_t>(q * double(d.size() - 1))]; };
    char line[320];
    std::snprintf(line, sizeof line, "| %s | %d | %d | %d | %d | %s / %s / %s s | %d | %d |\n", t.kind.c_str(), t.trials,
                  t.rightTones, t.extraChannels, t.withoutFix, figure(at(0.5)).c_str(), figure(at(0.9)).c_str(),
                  figure(d.empty() ? std::nan("") : d.back()).c_str(), t.late, t.wrong);
    f << line;
}

}  // namespace

void writeBandSection(std::ostream& f, const BandResults& r)
{
    const Curve& clean = r.curves[0];
    f << "## The band receiver on bands as dongles deliver them\n\n"
      << "2.4 MS/s quantised to unsigned 8 bits (rtl_sdr's cu8), deviation 3.6 kHz. The dirty band: "
         "a DC offset of 2 % of full scale, I/Q imbalance 0.5 dB and 3 degrees, the crystal 60 ppm off "
         "(fast and slow in turn), a spur 20 dB above the sonde 100 kHz from it, a second sonde 3 dB "
         "weaker 300 kHz away; each sonde against its own Eb/N0. Blocks as in the cases above.\n\n"
      << "![Block success on a clean and a dirty band](sensitivity-band.png)\n\n"
      << "| curve | 50 % (dB) | 90 % (dB) | 90 % against the clean band |\n|---|---|---|---|\n";
    const double reference = ninetyOf(clean);
    for (const Curve& c : r.curves) {
        const double n = ninetyOf(c);
        char line[256];
        std::snprintf(line, sizeof line, "| %s | %s | %s | %s |\n", c.name.c_str(), figure(fiftyOf(c)).c_str(),
                      figure(n).c_str(),
                      &c == &clean ? "" : (std::isnan(n) ? std::string("-") : (n - reference >= 0 ? "+" : "") + figure(n - reference) + " dB").c_str());
        f << line;
    }
    f << "\n**Acquisition** (2.4 MS/s cu8 with a 2 % DC spike; offset within +-900 kHz and crystal "
         "within +-100 ppm at random; the 90 % level is the clean band's, "
      << figure(r.switchOn.level90Db)
      << " dB): switching on at a random time at 2 to 6 dB above that level; rising 20 dB over 30 s "
         "to 4 dB above it. The delay runs from the end of the first block sent above the level to "
         "the end of the first fix decoded.\n\n"
      << "| sondes | trials | on the right frequency and deviation at the end | channels elsewhere | without a fix | delay "
         "median / 90 % / worst | later than 3 s | wrong fixes |\n|---|---|---|---|---|---|---|---|\n";
    writeTrials(f, r.switchOn);
    writeTrials(f, r.rising);
    char line[400];
    std::snprintf(line, sizeof line,
                  "\n**False channels**: %.0f minutes of a band with a DC offset of 4 %% and 3 %% of full scale, "
                  "I/Q imbalance, spurs 10, 20 and 30 dB above a sonde's level and no sonde: %d channels taken "
                  "up, %d blocks with a good checksum, %d bad.\n\n",
                  r.falseChannels.seconds / 60.0, r.falseChannels.channels, r.falseChannels.good, r.falseChannels.bad);
    f << line;
    std::snprintf(line, sizeof line,
                  "**Wrong blocks**: %d accepted over the whole band sweep (%d blocks sent on the curves, every "
                  "fix of the trials and every block of the false-channel run judged).\n\n"
                  "The receiver ran at %.0f times real time over the curves (thread CPU time, one or two sondes, "
                  "signal making not counted).\n\n",
                  r.wrongBlocks, r.blocksJudged, r.cpuSeconds > 0.0 ? r.signalSeconds / r.cpuSeconds : 0.0);
    f << line;
    f << "| curve | Eb/N0 (dB) | blocks | intact (%) |\n|---|---|---|---|\n";
    for (const Curve& c : r.curves)
        for (const CurvePoint& p : c.points) {
            std::snprintf(line, sizeof line, "| %s | %.1f | %d | %.1f |\n", c.name.c_str(), p.ebN0Db, p.blocks,
                          100.0 * p.success());
            f << line;
        }
    f << "\n";
}

bool plotBand(const fs::path& dataDir, const fs::path& png, const BandResults& r)
{
    std::string plot = theoryPlot();
    for (std::size_t i = 0; i < r.curves.size(); ++i) {
        const fs::path data = dataDir / ("band-" + std::to_string(i) + ".dat");
        std::ofstream d(data);
        for (const CurvePoint& p : r.curves[i].points)
            d << p.ebN0Db << " " << p.success() << "\n";
        plot += ", '" + data.string() + "' using 1:2 with linespoints lw 2 title '" + r.curves[i].name + "'";
    }
    const fs::path script = dataDir / "band.gp";
    std::ofstream g(script);
    gnuplotHeader(g, png.string(), 900, 520, 1);
    g << "set title 'Band receiver, 2.4 MS/s cu8, deviation 3.6 kHz'\nset xrange [4:16]\n" << plot << "\n";
    return runGnuplot(g, script.string());
}

}  // namespace sensitivity
