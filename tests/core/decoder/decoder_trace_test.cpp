// What the decoder shows besides its lines, held fixed: the scope rings, the automatic threshold
// and the display values of TelemetryState, sampled every 100 ms of a synthesized flight for
// every demodulator, polarity and filter setting, folded into one fingerprint per setting. The
// fingerprints were taken from the decoder as it decoded before its stages were separated; the
// golden outputs of nimbra-decode hold the lines, this holds what the window draws and labels.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "decoder/decoder.h"
#include "synth/synthesize.h"

namespace nimbra {
namespace {

class Fingerprint {
public:
    void add(std::uint32_t v)
    {
        for (int i = 0; i < 4; ++i) {
            hash_ ^= (v >> (8 * i)) & 0xFFu;
            hash_ *= 0x100000001B3ull;
        }
    }
    void add(int v) { add(static_cast<std::uint32_t>(v)); }
    void add(float v)
    {
        std::uint32_t bits;
        std::memcpy(&bits, &v, sizeof bits);
        add(bits);
    }
    std::uint64_t value() const { return hash_; }

private:
    std::uint64_t hash_ = 0xCBF29CE484222325ull;
};

void addDisplayState(Fingerprint& f, const Decoder& d)
{
    for (int i = 0; i < ScopeBuffer::kSize; ++i) {
        f.add(d.scope.sample[i].load());
        f.add(d.scope.decision[i].load());
    }
    f.add(d.scope.writeIndex.load());
    f.add(d.scope.hold.load());
    f.add(d.params.threshold.load());
    const TelemetryState& t = d.telemetry;
    f.add(static_cast<int>(t.transmitterId.load()));
    f.add(static_cast<int>(t.timeCounter.load()));
    f.add(t.latitude.load());
    f.add(t.longitude.load());
    f.add(t.altitude.load());
    f.add(t.latitudeAbs.load());
    f.add(static_cast<int>(t.latitudeHemisphere.load()));
    f.add(t.longitudeAbs.load());
    f.add(static_cast<int>(t.longitudeHemisphere.load()));
    f.add(t.azimuth.load());
    f.add(t.elevation.load());
    f.add(t.range.load());
    f.add(t.ascent.load());
    f.add(t.velocity.load());
    f.add(t.direction.load());
    f.add(t.goodPackets.load());
    f.add(t.badPackets.load());
}

std::vector<std::int16_t> flight(double ebN0Db, std::uint64_t seed)
{
    synth::FlightSettings settings;
    settings.gpsBlocks = 8;
    synth::AudioChannelSettings audio;
    audio.ebN0Db = ebN0Db;
    audio.lowPassHz = 7000.0;
    audio.seed = seed;
    return synth::synthesizeFlight(settings, audio).samples;
}

std::uint64_t fingerprintOf(const std::vector<std::int16_t>& samples, int demodType, int invert,
                            int filter)
{
    auto d = std::make_unique<Decoder>();
    d->setClock([] { return std::int64_t{1796537865000}; });
    d->params.demodType = demodType;
    d->params.invertSignal = invert;
    d->params.doFiltering = filter;
    d->params.displayPsuData = 1;
    Fingerprint f;
    constexpr std::size_t kStep = 4800;
    for (std::size_t i = 0; i < samples.size(); i += kStep) {
        d->ProcessSamples(samples.data() + i, std::min(kStep, samples.size() - i));
        addDisplayState(f, *d);
        // The window clears the hold flag after each repaint.
        d->scope.hold.store(0);
    }
    const std::string text = d->decodedDisplayText.takeAll();
    for (char c : text)
        f.add(static_cast<int>(static_cast<unsigned char>(c)));
    return f.value();
}

TEST(DecoderTrace, ScopeThresholdAndLabelsAreAsBefore)
{
    const std::vector<std::int16_t> clean = flight(20.0, 2026);
    const std::vector<std::int16_t> noisy = flight(9.0, 7);
    struct Case {
        const std::vector<std::int16_t>* samples;
        const char* name;
    };
    const Case signals[] = {{&clean, "clean"}, {&noisy, "noisy"}};
    std::string got;
    for (const Case& c : signals)
        for (int demod = 0; demod < 4; ++demod)
            for (int invert = 0; invert < 2; ++invert)
                for (int filter = 0; filter < 2; ++filter) {
                    char line[96];
                    std::snprintf(line, sizeof line, "%s demod %d invert %d filter %d: %016llx\n",
                                  c.name, demod, invert, filter,
                                  static_cast<unsigned long long>(
                                      fingerprintOf(*c.samples, demod, invert, filter)));
                    got += line;
                }
    const char* const expected =
        "clean demod 0 invert 0 filter 0: 896eee621634eb81\n"
        "clean demod 0 invert 0 filter 1: 282da2a2d447e609\n"
        "clean demod 0 invert 1 filter 0: 9504bbec25c104d0\n"
        "clean demod 0 invert 1 filter 1: c2c2ef2189a52e36\n"
        "clean demod 1 invert 0 filter 0: 39bfd93e51f24784\n"
        "clean demod 1 invert 0 filter 1: da532d199098a329\n"
        "clean demod 1 invert 1 filter 0: 6d241b7cf725c5c1\n"
        "clean demod 1 invert 1 filter 1: a23d7b2d741b5f3a\n"
        "clean demod 2 invert 0 filter 0: 888c66a2f95d1849\n"
        "clean demod 2 invert 0 filter 1: e9ab5e51af5aa5d7\n"
        "clean demod 2 invert 1 filter 0: b8843cc7ae4d594a\n"
        "clean demod 2 invert 1 filter 1: 0221ee2eed3abf3c\n"
        "clean demod 3 invert 0 filter 0: d9b14ef6e59a13cd\n"
        "clean demod 3 invert 0 filter 1: e9ab5e51af5aa5d7\n"
        "clean demod 3 invert 1 filter 0: 853655aa91fba172\n"
        "clean demod 3 invert 1 filter 1: 0221ee2eed3abf3c\n"
        "noisy demod 0 invert 0 filter 0: c10c7171a96550c1\n"
        "noisy demod 0 invert 0 filter 1: 076972042c556384\n"
        "noisy demod 0 invert 1 filter 0: 99287aa9317612fd\n"
        "noisy demod 0 invert 1 filter 1: 2f3d052fdbd38d51\n"
        "noisy demod 1 invert 0 filter 0: 0cbcb19dbaa3d825\n"
        "noisy demod 1 invert 0 filter 1: 4509c9c7d16ae580\n"
        "noisy demod 1 invert 1 filter 0: 18ba7e872e2804f4\n"
        "noisy demod 1 invert 1 filter 1: edd57346dd4fbaa5\n"
        "noisy demod 2 invert 0 filter 0: 2bca10187b9f68d6\n"
        "noisy demod 2 invert 0 filter 1: afda962962a604b7\n"
        "noisy demod 2 invert 1 filter 0: 933afa73f94f9dc8\n"
        "noisy demod 2 invert 1 filter 1: 8cd06a7a291f8506\n"
        "noisy demod 3 invert 0 filter 0: efb9c3a59e8b6073\n"
        "noisy demod 3 invert 0 filter 1: afda962962a604b7\n"
        "noisy demod 3 invert 1 filter 0: a5659f689ad48c45\n"
        "noisy demod 3 invert 1 filter 1: 8cd06a7a291f8506\n";
    EXPECT_EQ(got, expected);
}

}  // namespace
}  // namespace nimbra
