// Throughput of the Sync demodulator on one core: samples per second and the multiple of real
// time (48,000 samples/s), through the decoder's per-sample entry.
//
// Signals: a synthesized flight (a PTU and a GPS block every second, 9,615 bit/s) through the
// radio channel model, strong (20 dB) and near the demodulator's limit (12 dB), where failed
// checksums send it through its repair; and white noise, where it only searches.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "decoder/decoder.h"
#include "synth/channel_rf.h"
#include "synth/random.h"
#include "synth/synthesize.h"

namespace {

constexpr double kSampleRate = 48000.0;
constexpr int kSeconds = 20;

std::vector<std::int16_t> radioFlight(double ebN0Db)
{
    nimbra::synth::FlightSettings flight;
    flight.gpsBlocks = kSeconds;
    nimbra::synth::RfChannelSettings rf;
    rf.ebN0Db = ebN0Db;
    rf.seed = 2027;
    nimbra::synth::RfChannel channel(rf);
    return nimbra::synth::synthesizeFlight(flight, channel).samples;
}

const std::vector<std::int16_t>& signal(int kind)
{
    static const std::vector<std::int16_t> strong = radioFlight(20.0);
    static const std::vector<std::int16_t> weak = radioFlight(12.0);
    static const std::vector<std::int16_t> noise = [] {
        nimbra::synth::Random random(7);
        std::vector<std::int16_t> v(static_cast<std::size_t>(kSeconds * kSampleRate));
        for (auto& s : v)
            s = static_cast<std::int16_t>(4000.0 * random.gaussian());
        return v;
    }();
    return kind == 0 ? strong : (kind == 1 ? weak : noise);
}

// Argument: 0 strong flight, 1 weak flight, 2 noise.
void BM_SyncDemod(benchmark::State& state)
{
    const std::vector<std::int16_t>& samples = signal(static_cast<int>(state.range(0)));
    auto decoder = std::make_unique<nimbra::Decoder>();
    decoder->params.demodType = 3;
    decoder->setClock([] { return std::int64_t{0}; });
    for (auto _ : state) {
        decoder->ProcessSamples(samples.data(), samples.size());
        decoder->decodedDisplayText.takeAll();
    }
    const double n = double(samples.size()) * double(state.iterations());
    state.SetItemsProcessed(static_cast<std::int64_t>(n));
    state.counters["x_realtime"] = benchmark::Counter(n / kSampleRate, benchmark::Counter::kIsRate);
    state.counters["good_blocks_per_pass"] =
        double(decoder->telemetry.goodPackets.load()) / double(state.iterations());
}
BENCHMARK(BM_SyncDemod)->ArgName("signal")->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
