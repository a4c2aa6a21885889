// The receiver channel models: the audio model's noise level against the matched-filter bit error
// rate, and the radio model's levels, polarity, continuity across pieces and error rate.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "synth/audio_channel.h"
#include "synth/channel_rf.h"
#include "synth/random.h"

using namespace nimbra::synth;

namespace {

std::vector<std::uint8_t> randomBits(std::size_t count, std::uint64_t seed)
{
    Random random(seed);
    std::vector<std::uint8_t> bits(count);
    for (auto& b : bits)
        b = static_cast<std::uint8_t>(random.next() >> 63);
    return bits;
}

// Integrate and dump over whole 5-sample bits starting at sample `delay`; 1 when the sum is
// negative (a mark is the low level). Returns the number of wrong bits among bits [skip, n-skip).
int countErrors(const std::vector<float>& audio, const std::vector<std::uint8_t>& bits, int delay,
                std::size_t skip)
{
    int errors = 0;
    for (std::size_t k = skip; k + skip < bits.size(); ++k) {
        double sum = 0.0;
        for (int i = 0; i < 5; ++i)
            sum += static_cast<double>(audio[k * 5 + static_cast<std::size_t>(delay + i)]);
        errors += (sum < 0.0 ? 1 : 0) != bits[k];
    }
    return errors;
}

}  // namespace

TEST(ChannelModel, AudioModelMatchesTheMatchedFilterErrorRate)
{
    // Antipodal levels, perfect timing, no filter: the bit error rate is Q(sqrt(2 Eb/N0)),
    // Q(sqrt(2 x 10^0.6)) = Q(2.822) = 2.388e-3 at 6 dB. 500,000 bits give about 1,194 errors
    // (standard deviation 35), so a 10 % band is more than three deviations wide.
    const auto bits = randomBits(500000, 6);
    AudioChannelSettings settings;
    settings.ebN0Db = 6.0;
    settings.seed = 60;
    AudioChannel channel(settings);
    const std::vector<float> audio = channel.render(bits, 5.0);
    ASSERT_EQ(audio.size(), bits.size() * 5);
    const double rate = countErrors(audio, bits, 0, 0) / static_cast<double>(bits.size());
    EXPECT_NEAR(rate, 2.388e-3, 0.1 * 2.388e-3);
}

TEST(ChannelModel, RadioModelGivesMarksLowAndSpacesHighAtTheDeviation)
{
    // Long runs let the filters settle: the discriminator then reads the tone's frequency,
    // -3.6 kHz for a mark and +3.6 kHz for a space, scaled to -amplitude and +amplitude.
    std::vector<std::uint8_t> bits;
    for (int run = 0; run < 6; ++run)
        bits.insert(bits.end(), 20, static_cast<std::uint8_t>(run % 2 == 0 ? 1 : 0));
    RfChannelSettings settings;
    settings.amplitude = 10000.0;
    RfChannel channel(settings);
    const std::vector<float> audio = channel.render(bits, 5.0);
    ASSERT_EQ(audio.size(), bits.size() * 5);
    for (int run = 0; run < 6; ++run) {
        const float expected = run % 2 == 0 ? -10000.0f : 10000.0f;
        const std::size_t middle = static_cast<std::size_t>(run) * 100 + 70;  // late in the run
        EXPECT_NEAR(audio[middle], expected, 100.0f) << "run " << run;
    }

    // Inverted, every sample changes sign.
    settings.invert = true;
    RfChannel inverted(settings);
    const std::vector<float> negative = inverted.render(bits, 5.0);
    for (std::size_t i = 0; i < audio.size(); ++i)
        ASSERT_FLOAT_EQ(negative[i], -audio[i]);
}

TEST(ChannelModel, RadioModelRenderedInPiecesIsOneContinuousSignal)
{
    // A fractional bit length (4.992 samples) and a break inside an idle run: the second piece
    // must continue the carrier phase, the filters, the noise and the bit clock.
    auto bits = randomBits(400, 3);
    for (std::size_t i = 180; i < 220; ++i)
        bits[i] = 1;
    RfChannelSettings settings;
    settings.ebN0Db = 12.0;
    settings.seed = 5;
    RfChannel whole(settings);
    const std::vector<float> once = whole.render(bits, 4.992);

    RfChannel pieces(settings);
    std::vector<float> joined = pieces.render({bits.begin(), bits.begin() + 200}, 4.992);
    const std::vector<float> rest = pieces.render({bits.begin() + 200, bits.end()}, 4.992);
    joined.insert(joined.end(), rest.begin(), rest.end());

    ASSERT_EQ(joined.size(), once.size());
    for (std::size_t i = 0; i < once.size(); ++i)
        ASSERT_NEAR(joined[i], once[i], 1e-2f) << "sample " << i;
}

TEST(ChannelModel, RadioModelErrorRateIsThatOfALimiterDiscriminator)
{
    // A limiter-discriminator with integrate-and-dump (modulation index 0.75, 19.2 kHz IF) errs
    // about once in 1,000 bits at 10.6 dB and once in 10,000 at 12 dB: some 3 dB worse than the
    // matched filter, far better than the 2.4e-3 the matched filter has at 6 dB being all there
    // is. The filters delay the signal by about four samples.
    const auto bits = randomBits(150000, 9);
    RfChannelSettings settings;
    settings.ebN0Db = 10.6;
    settings.seed = 106;
    RfChannel channel(settings);
    const std::vector<float> audio = channel.render(bits, 5.0);
    const double rate = countErrors(audio, bits, 4, 10) / static_cast<double>(bits.size() - 20);
    EXPECT_GT(rate, 3e-4);
    EXPECT_LT(rate, 3e-3);
}
