// Decoder throughput on one core: samples per second and the multiple of real time
// (48,000 samples/s) for each demodulator, filter off and on, and for reading a file's 16-bit
// samples and converting them to float alone (the floor any file decoding stands on).
//
// The signal is a synthesized flight (a PTU and a GPS block every second) with light noise and a
// receiver low-pass, so the Pattern demodulator spends its time as it would on a real recording:
// searching between blocks, holding off over the blocks it has captured.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "decoder/decoder.h"
#include "synth/synthesize.h"
#include "synth/wav_file.h"

namespace {

constexpr double kSampleRate = 48000.0;
constexpr int kSeconds = 20;

const std::vector<std::int16_t>& flightSamples()
{
    static const std::vector<std::int16_t> samples = [] {
        nimbra::synth::FlightSettings flight;
        flight.gpsBlocks = kSeconds;
        nimbra::synth::AudioChannelSettings audio;
        audio.ebN0Db = 20.0;
        audio.lowPassHz = 7000.0;
        audio.seed = 2026;
        return nimbra::synth::synthesizeFlight(flight, audio).samples;
    }();
    return samples;
}

void setRates(benchmark::State& state, std::size_t samplesPerIteration)
{
    const double samples = double(samplesPerIteration) * double(state.iterations());
    state.SetItemsProcessed(static_cast<std::int64_t>(samples));
    state.counters["x_realtime"] = benchmark::Counter(samples / kSampleRate, benchmark::Counter::kIsRate);
}

// Arguments: demodType, doFiltering.
void BM_Decode(benchmark::State& state)
{
    const std::vector<std::int16_t>& samples = flightSamples();
    auto decoder = std::make_unique<nimbra::Decoder>();
    const int demodType = static_cast<int>(state.range(0));
    decoder->params.demodType = demodType;
    decoder->params.doFiltering = static_cast<int>(state.range(1));
    // The synthesizer sends a 1 bit as the low level, which the slicers expect; the Pattern
    // demodulator reads a positive sum as a 1 bit (the Sync demodulator takes either).
    decoder->params.invertSignal = demodType == 2 ? 1 : 0;
    decoder->setClock([] { return std::int64_t{0}; });
    for (auto _ : state) {
        decoder->ProcessSamples(samples.data(), samples.size());
        decoder->decodedDisplayText.takeAll();
    }
    setRates(state, samples.size());
    state.counters["good_blocks_per_pass"] = double(decoder->telemetry.goodPackets.load()) / double(state.iterations());
}
BENCHMARK(BM_Decode)
    ->ArgNames({"demod", "filter"})
    ->Args({0, 0})
    ->Args({1, 0})
    ->Args({2, 0})
    ->Args({3, 0})
    ->Args({0, 1})
    ->Args({1, 1})
    ->Args({2, 1})
    ->Args({3, 1})
    ->Unit(benchmark::kMillisecond);

// The Pattern demodulator's worst case: noise only, so the header test runs at every sample.
void BM_PatternSearchNoise(benchmark::State& state)
{
    std::vector<std::int16_t> samples(48000 * 5);
    std::uint32_t x = 12345;
    for (std::int16_t& v : samples) {
        x = x * 1664525u + 1013904223u;
        v = static_cast<std::int16_t>(static_cast<int>(x >> 20) - 2048);  // uniform, +-2048
    }
    auto decoder = std::make_unique<nimbra::Decoder>();
    decoder->params.demodType = 2;
    for (auto _ : state)
        decoder->ProcessSamples(samples.data(), samples.size());
    setRates(state, samples.size());
}
BENCHMARK(BM_PatternSearchNoise)->Unit(benchmark::kMillisecond);

// Reads the raw file in 1,000,000-byte chunks, as file decoding does, and converts to float.
void BM_ReadAndConvert(benchmark::State& state)
{
    const std::vector<std::int16_t>& samples = flightSamples();
    const std::string path = "/tmp/nimbra_bench_" + std::to_string(::getpid()) + ".wav";
    std::string error;
    if (!nimbra::synth::writeWaveMono16(path, samples, 48000, error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    std::vector<std::int16_t> chunk(500000);
    std::vector<float> converted(chunk.size());
    std::size_t total = 0;
    for (auto _ : state) {
        std::FILE* f = std::fopen(path.c_str(), "rb");
        if (!f) {
            state.SkipWithError("cannot open the file");
            break;
        }
        total = 0;
        std::size_t got;
        while ((got = std::fread(chunk.data(), sizeof(std::int16_t), chunk.size(), f)) > 0) {
            for (std::size_t i = 0; i < got; ++i)
                converted[i] = static_cast<float>(chunk[i]);
            benchmark::DoNotOptimize(converted.data());
            benchmark::ClobberMemory();
            total += got;
        }
        std::fclose(f);
    }
    std::remove(path.c_str());
    setRates(state, total);
}
BENCHMARK(BM_ReadAndConvert)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
