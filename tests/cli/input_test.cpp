// nimbra-decode's input path on the inputs that fuzzing once found crashing it: split reads, NaN
// samples, rates outside the resampler's range. They run in every build and, with the rest of
// the tests, under AddressSanitizer and UndefinedBehaviorSanitizer, where the faults showed.
#include <gtest/gtest.h>

#include <sys/mman.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "cli/decode_session.h"
#include "cli/options.h"
#include "input/sample_source.h"
#include "synth/synthesize.h"

namespace {

using nimbra::input::SampleSource;

void writeAll(int fd, const void* data, std::size_t size)
{
    const auto* p = static_cast<const unsigned char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd, p, size);
        ASSERT_GT(n, 0);
        p += n;
        size -= static_cast<std::size_t>(n);
    }
}

// A mono 32-bit float WAVE file in memory, its header claiming `rate` samples/s.
std::vector<unsigned char> floatWave(const std::vector<float>& samples, std::uint32_t rate = 48000)
{
    const std::uint32_t dataBytes = static_cast<std::uint32_t>(samples.size() * 4);
    std::vector<unsigned char> w;
    auto put = [&w](const void* p, std::size_t n) {
        w.insert(w.end(), static_cast<const unsigned char*>(p),
                 static_cast<const unsigned char*>(p) + n);
    };
    auto u32 = [&put](std::uint32_t v) { put(&v, 4); };
    auto u16 = [&put](std::uint16_t v) { put(&v, 2); };
    put("RIFF", 4);
    u32(36 + dataBytes);
    put("WAVEfmt ", 8);
    u32(16);
    u16(3);  // IEEE float
    u16(1);
    u32(rate);
    u32(rate * 4);
    u16(4);
    u16(32);
    put("data", 4);
    u32(dataBytes);
    put(samples.data(), dataBytes);
    return w;
}

// Opens `wave` through libsndfile as nimbra-decode does.
std::unique_ptr<SampleSource> openWave(const std::vector<unsigned char>& wave, std::string& error)
{
    const int fd = memfd_create("wave", MFD_CLOEXEC);
    if (fd < 0)
        return nullptr;
    writeAll(fd, wave.data(), wave.size());
    std::unique_ptr<SampleSource> source =
        nimbra::input::openAudioFile("/proc/self/fd/" + std::to_string(fd), 1, error);
    ::close(fd);
    return source;
}

}  // namespace

// Found by fuzz_decode_input: the first read of the raw reader copied its (empty) leftover of a
// partial frame from a null pointer. The leftover logic itself: a sample split across two reads
// of a pipe is joined, and an odd last byte is not a sample.
TEST(CliInput, RawReaderJoinsSamplesSplitAcrossReadsAndDropsAnOddLastByte)
{
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    std::unique_ptr<SampleSource> source =
        nimbra::input::openRawSource(fds[0], "pipe", 48000.0, 1, 0);
    const unsigned char first[] = {0x01, 0x00, 0x02};  // sample 1, then half of sample 2
    writeAll(fds[1], first, sizeof first);
    std::vector<float> out;
    EXPECT_EQ(source->read(out, 16), 1);
    const unsigned char second[] = {0x80, 0xFF, 0x7F, 0x05};  // 0x8002, 0x7FFF, a lone byte
    writeAll(fds[1], second, sizeof second);
    ::close(fds[1]);
    EXPECT_EQ(source->read(out, 16), 2);
    EXPECT_EQ(source->read(out, 16), 0);
    EXPECT_EQ(out, (std::vector<float>{1.0f, -32766.0f, 32767.0f}));
}

// Found by fuzz_decode_input: a float recording holding NaN reached an undefined float-to-int
// conversion. NaN now decodes as silence, and a block after it still decodes.
TEST(CliInput, NaNInAFloatFileDecodesAsSilence)
{
    nimbra::synth::FlightSettings flight;
    flight.gpsBlocks = 1;
    flight.sendPtu = false;
    const nimbra::synth::Recording rec = nimbra::synth::synthesizeFlight(flight, {});
    // NaN, a spike of infinities (clipped to full scale), NaN again, then the recording: the
    // silence after the spike lets the slicer settle on the idle level before the block.
    const float nan = std::numeric_limits<float>::quiet_NaN();
    std::vector<float> samples(2000, nan);
    samples.push_back(std::numeric_limits<float>::infinity());
    samples.push_back(-std::numeric_limits<float>::infinity());
    samples.insert(samples.end(), 2000, nan);
    for (std::int16_t s : rec.samples)
        samples.push_back(static_cast<float>(s) / 32768.0f);

    std::string error;
    std::unique_ptr<SampleSource> source = openWave(floatWave(samples), error);
    ASSERT_TRUE(source) << error;

    nimbra::cli::CliOptions options;
    nimbra::cli::DecodeSession session(options);
    std::vector<float> block;
    while (source->read(block, 65536) > 0) {
        session.feed(block);
        block.clear();
    }
    ASSERT_EQ(block.size(), 0u);
    const std::vector<std::string> lines = session.takeLines();
    ASSERT_EQ(lines.size(), 1u);
    // The line after its 21-character time stamp.
    EXPECT_EQ(lines[0].substr(21), nimbra::synth::expectedLineTail(rec.flight.fixes[0]));
    EXPECT_EQ(session.goodPackets(), 1);
    EXPECT_EQ(session.badPackets(), 0);
}

// Found by fuzz_decode_input: a header claiming a sample rate of a few samples a second made the
// resampler turn every sample into thousands (rate 1: 48,000), so that a file of kilobytes
// needed gigabytes and ended in std::bad_alloc. File rates get the range --rate accepts.
TEST(CliInput, AFileRateOutsideTheRateRangeIsRefusedWithItsReason)
{
    const std::vector<float> samples(4800, 0.25f);
    for (std::uint32_t rate : {1u, 256u, 999u, 10000001u}) {
        std::string error;
        EXPECT_FALSE(openWave(floatWave(samples, rate), error)) << rate;
        EXPECT_NE(error.find("gives a sample rate of " + std::to_string(rate) + " samples/s"),
                  std::string::npos)
            << error;
    }
    for (std::uint32_t rate : {1000u, 44100u, 10000000u}) {
        std::string error;
        std::unique_ptr<SampleSource> source = openWave(floatWave(samples, rate), error);
        ASSERT_TRUE(source) << rate << ": " << error;
        EXPECT_EQ(source->sampleRate(), rate);
    }
}
