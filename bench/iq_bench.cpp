// The SDR receiver's throughput on one core, as a multiple of real time: raw IQ bytes converted,
// the band conditioned, channelized and searched, every sonde probed, filtered, detected,
// clocked, framed and decoded into fixes by its own decoder, from a fresh receiver each time
// (so the search and the acquisitions are in every figure).
//
// The bands are synthesized flights (a PTU and a GPS block every second, the idle carrier
// between them) at Eb/N0 12 dB, quantised as the SDR delivers them:
//   - one sonde at 2.4 MS/s unsigned 8-bit (rtl_sdr), deviation 3.6 or 80 kHz, and at 192 kS/s
//     signed 16-bit;
//   - three sondes at 2.4 MS/s unsigned 8-bit, a dongle's DC offset and I/Q imbalance with them;
//   - eight sondes across 10 MS/s signed 16-bit (the whole 1676-1682 MHz band at once, as an
//     Airspy or a HackRF gives it).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <limits>
#include <map>
#include <memory>
#include <vector>

#include "iq/band_receiver.h"
#include "iq/iq_format.h"
#include "sondes/sonde_decoders.h"
#include "synth/band.h"
#include "synth/dongle.h"

namespace {

constexpr double kSeconds = 6.0;

struct Recording {
    nimbra::iq::IqFormat format;
    double rate;
    int sondes = 0;
    std::vector<unsigned char> bytes;
    std::size_t samples = 0;
    double seconds = 0.0;
};

struct BandCase {
    double rate;
    nimbra::iq::IqFormat format;
    std::vector<std::pair<double, double>> sondes;  // offset, deviation
    bool dirty = false;
};

// The case's band as the SDR tool writes it, in memory.
const Recording& recording(int key, const BandCase& c)
{
    static std::map<int, Recording> made;
    auto it = made.find(key);
    if (it != made.end())
        return it->second;
    nimbra::synth::BandSettings band;
    band.sampleRate = c.rate;
    band.durationS = kSeconds;
    band.ebN0Db = 12.0;
    for (std::size_t i = 0; i < c.sondes.size(); ++i) {
        nimbra::synth::BandSonde s;
        s.flight.transmitterId = static_cast<std::uint16_t>(0x1A2B + i);
        s.offsetHz = c.sondes[i].first;
        s.deviationHz = c.sondes[i].second;
        s.levelDb = -1.0 * double(i % 3);
        band.sondes.push_back(s);
    }
    nimbra::synth::DongleSettings faults;
    if (c.dirty) {
        faults.dcI = faults.dcQ = 0.02;
        faults.iqGainDb = 0.5;
        faults.iqPhaseDeg = 3.0;
    }
    nimbra::synth::Band b(band);
    const nimbra::synth::Dongle dongle(faults, b.meanPower());
    Recording r;
    r.format = c.format;
    r.rate = c.rate;
    r.sondes = static_cast<int>(c.sondes.size());
    const bool eightBit = c.format == nimbra::iq::IqFormat::Cu8;
    r.bytes.reserve(b.totalSamples() * (eightBit ? 2 : 4));
    while (b.rendered() < b.totalSamples()) {
        std::vector<std::complex<float>> z = b.render(1 << 20);
        dongle.apply(z);
        for (const auto& v : z)
            for (float x : {v.real(), v.imag()}) {
                if (eightBit) {
                    r.bytes.push_back(static_cast<unsigned char>(std::clamp(std::nearbyint(double(x) * 128.0 + 127.5), 0.0, 255.0)));
                } else {
                    const auto s16 =
                        static_cast<std::int16_t>(std::clamp(std::nearbyint(double(x) * 32768.0), -32768.0, 32767.0));
                    r.bytes.push_back(static_cast<unsigned char>(s16 & 0xFF));
                    r.bytes.push_back(static_cast<unsigned char>((s16 >> 8) & 0xFF));
                }
            }
        r.samples += z.size();
    }
    r.seconds = double(r.samples) / c.rate;
    return made.emplace(key, std::move(r)).first->second;
}

const std::vector<BandCase>& cases()
{
    using nimbra::iq::IqFormat;
    static const std::vector<BandCase> all = {
        {2400000.0, IqFormat::Cu8, {{-250000.0, 3600.0}}},
        {2400000.0, IqFormat::Cu8, {{-250000.0, 80000.0}}},
        {192000.0, IqFormat::Cs16, {{20000.0, 3600.0}}},
        {2400000.0, IqFormat::Cu8, {{-700000.0, 3600.0}, {150000.0, 3600.0}, {560000.0, 3600.0}}, true},
        {10000000.0, IqFormat::Cs16,
         {{-4300000.0, 3600.0}, {-3100000.0, 3600.0}, {-2000000.0, 3600.0}, {-900000.0, 3600.0},
          {400000.0, 3600.0}, {1500000.0, 3600.0}, {2700000.0, 3600.0}, {3900000.0, 3600.0}}},
    };
    return all;
}

void BM_BandReceiver(benchmark::State& state)
{
    const int key = static_cast<int>(state.range(0));
    const BandCase& c = cases()[static_cast<std::size_t>(key)];
    const Recording& r = recording(key, c);
    const std::size_t perSample = nimbra::iq::bytesPerIqSample(r.format);
    constexpr std::size_t kBlock = 65536;  // samples per read, as nimbra-decode reads a file
    std::vector<std::complex<float>> samples(kBlock);
    std::size_t fixes = 0;
    for (auto _ : state) {
        nimbra::iq::BandReceiver receiver(r.rate);
        nimbra::SondeDecoders decoders([](nimbra::Decoder& d) { d.setClock([] { return std::int64_t{1700000000000}; }); },
                                       {}, std::nullopt, false);
        receiver.setBlockSink([&](int channel, const nimbra::DemodBlock& b, std::int64_t period, double hz) {
            decoders.feedBlock(channel, b, period, hz);
        });
        for (std::size_t i = 0; i < r.samples; i += kBlock) {
            const std::size_t n = std::min(kBlock, r.samples - i);
            nimbra::iq::convertIq(r.format, r.bytes.data() + i * perSample, n, samples.data());
            receiver.process(samples.data(), n);
            fixes += decoders.release(receiver.settledPeriod()).fixes.size();
        }
        receiver.finish();
        fixes += decoders.release(std::numeric_limits<std::int64_t>::max()).fixes.size();
    }
    const double perRun = double(fixes) / double(state.iterations());
    if (perRun < double(r.sondes) * (kSeconds - 2.0))
        state.SkipWithError("fixes missing: the receiver did not decode every sonde");
    state.counters["sondes"] = r.sondes;
    state.counters["fixes"] = perRun;
    state.counters["x_real_time"] =
        benchmark::Counter(r.seconds * double(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["MS/s"] =
        benchmark::Counter(double(r.samples) * double(state.iterations()) * 1e-6, benchmark::Counter::kIsRate);
}

}  // namespace

BENCHMARK(BM_BandReceiver)
    ->ArgName("case")
    ->DenseRange(0, 4)
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
