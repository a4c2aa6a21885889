// The SDR receiver's throughput on one core, as a multiple of real time: raw IQ bytes converted,
// searched for the sonde, filtered, decimated, detected, clocked, framed and decoded into fixes,
// from a fresh receiver each time (so the search and the lock are in every figure).
//
// The signal is a synthesized flight (a PTU and a GPS block every second, the idle carrier
// between them) at Eb/N0 12 dB, off the tuning as a sonde usually is: 2.4 MS/s unsigned 8-bit
// (rtl_sdr) with deviations of 3.6 and 80 kHz, and 192 kS/s signed 16-bit.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "decoder/decoder.h"
#include "iq/iq_format.h"
#include "iq/band_receiver.h"
#include "synth/channel_iq.h"
#include "synth/flight.h"
#include "synth/iq_writer.h"

namespace {

constexpr int kSeconds = 6;

struct Recording {
    nimbra::iq::IqFormat format;
    double rate;
    std::vector<unsigned char> bytes;
    std::size_t samples = 0;
    double seconds = 0.0;
};

// The flight's IQ as the SDR tool writes it (through the synthesizer's writer, into memory).
const Recording& recording(double rate, double deviation, double offset)
{
    static std::map<std::pair<double, double>, Recording> made;
    const auto key = std::make_pair(rate, deviation);
    auto it = made.find(key);
    if (it != made.end())
        return it->second;
    nimbra::synth::FlightSettings flight;
    flight.gpsBlocks = kSeconds;
    const nimbra::synth::Flight f = nimbra::synth::makeFlight(flight);
    nimbra::synth::IqChannelSettings s;
    s.sampleRate = rate;
    s.deviationHz = deviation;
    s.offsetHz = offset;
    s.ebN0Db = 12.0;
    nimbra::synth::IqChannel channel(s);
    const auto z = channel.render(f.line.bits(), flight.samplesPerBit);
    Recording r;
    r.format = rate > 1e6 ? nimbra::iq::IqFormat::Cu8 : nimbra::iq::IqFormat::Cs16;
    r.rate = rate;
    r.samples = z.size();
    r.seconds = double(z.size()) / rate;
    const double gain = nimbra::synth::iqGainFor(channel.noiseSigma(flight.samplesPerBit));
    const bool eightBit = r.format == nimbra::iq::IqFormat::Cu8;
    for (const auto& v : z) {
        for (float x : {v.real(), v.imag()}) {
            const double q = double(x) * gain;
            if (eightBit) {
                r.bytes.push_back(static_cast<unsigned char>(std::clamp(std::nearbyint(q * 128.0 + 127.5), 0.0, 255.0)));
            } else {
                const auto s16 = static_cast<std::int16_t>(std::clamp(std::nearbyint(q * 32768.0), -32768.0, 32767.0));
                r.bytes.push_back(static_cast<unsigned char>(s16 & 0xFF));
                r.bytes.push_back(static_cast<unsigned char>((s16 >> 8) & 0xFF));
            }
        }
    }
    return made.emplace(key, std::move(r)).first->second;
}

void BM_IqReceiver(benchmark::State& state)
{
    const double rate = double(state.range(0));
    const double deviation = double(state.range(1));
    const Recording& r = recording(rate, deviation, rate > 1e6 ? -250000.0 : 20000.0);
    const std::size_t perSample = nimbra::iq::bytesPerIqSample(r.format);
    constexpr std::size_t kBlock = 65536;  // samples per read, as nimbra-decode reads a file
    std::vector<std::complex<float>> samples(kBlock);
    int fixes = 0;
    for (auto _ : state) {
        nimbra::iq::BandReceiver receiver(rate);
        auto decoder = std::make_unique<nimbra::Decoder>();
        decoder->setClock([] { return std::int64_t{1700000000000}; });
        decoder->setFixListener([&fixes](const nimbra::FixRecord&) { ++fixes; });
        receiver.setBlockSink([&](int, const nimbra::DemodBlock& b, std::int64_t period, double) { decoder->ProcessBlock(b, period); });
        for (std::size_t i = 0; i < r.samples; i += kBlock) {
            const std::size_t n = std::min(kBlock, r.samples - i);
            nimbra::iq::convertIq(r.format, r.bytes.data() + i * perSample, n, samples.data());
            receiver.process(samples.data(), n);
        }
        receiver.finish();
        decoder->decodedDisplayText.takeAll();
    }
    if (fixes < static_cast<int>(state.iterations()) * (kSeconds - 1))
        state.SkipWithError("fixes missing: the receiver did not decode the flight");
    state.counters["x_real_time"] =
        benchmark::Counter(r.seconds * double(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["MS/s"] =
        benchmark::Counter(double(r.samples) * double(state.iterations()) * 1e-6, benchmark::Counter::kIsRate);
}

}  // namespace

BENCHMARK(BM_IqReceiver)
    ->ArgNames({"rate", "deviation"})
    ->Args({2400000, 3600})
    ->Args({2400000, 80000})
    ->Args({192000, 3600})
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
