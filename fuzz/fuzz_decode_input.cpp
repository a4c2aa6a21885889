// Fuzz target: nimbra-decode's input path, from the bytes of a file through its reader (libsndfile
// or the raw 16-bit reader), the resampler and the decode session to the decoded lines.
//
// In:  an 8-byte header, then the file's bytes.
//   0     bit 0: raw reading (as --raw / standard input) instead of libsndfile;
//         bits 1-2: demodulator; bit 3 --filter; bit 4 --invert; bit 5 --bad-crc;
//         bit 6 --psu and --calibration; bit 7 --start-time (the clock then follows the samples)
//   1     channel to decode: 1 + (value mod 4); a channel the file lacks is refused by the reader
//   2     raw channel count: 1 + (value mod 4)
//   3-6   raw sample rate (little-endian): 0 means 48000, any other value is brought into
//         1000 to 10,000,000 samples/s, the range nimbra-decode's --rate accepts
//   7     unused
// The file is handed over as a real file (a memfd), read in blocks exactly as nimbra-decode's
// main loop reads it, resampled when its rate is not 48,000 Hz, and decoded; the lines and fixes
// are taken after every block.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "cli/decode_session.h"
#include "cli/options.h"
#include "input/resampler.h"
#include "input/sample_source.h"
#include "fuzz/fuzz_check.h"
#include "fuzz/fuzz_input.h"

namespace {

// A file descriptor holding `size` bytes, positioned at the start.
int fileWith(const std::uint8_t* data, std::size_t size)
{
    const int fd = memfd_create("fuzz-input", MFD_CLOEXEC);
    if (fd < 0)
        return -1;
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd, data + done, size - done);
        if (n <= 0) {
            ::close(fd);
            return -1;
        }
        done += static_cast<std::size_t>(n);
    }
    ::lseek(fd, 0, SEEK_SET);
    return fd;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using namespace nimbra::cli;
    using namespace nimbra::input;
    nimbra::fuzz::FuzzInput in(data, size);
    const std::uint8_t flags = in.byte();
    const int channel = 1 + in.byte() % 4;
    const int rawChannels = 1 + in.byte() % 4;
    const std::uint32_t rawRate = in.u32();
    in.byte();

    CliOptions o;
    o.raw = (flags & 1) != 0;
    o.demodType = ((flags >> 1) & 3) % 3;
    o.filter = (flags & 8) != 0;
    o.invert = (flags & 16) != 0;
    o.badCrc = (flags & 32) != 0;
    o.psu = o.calibration = (flags & 64) != 0;
    if (flags & 128)
        o.startTimeMs = 1796623200000LL;
    o.channel = channel;

    const int fd = fileWith(in.rest(), in.restSize());
    if (fd < 0)
        return 0;
    std::string error;
    std::unique_ptr<SampleSource> source;
    if (o.raw) {
        const double rate = rawRate == 0 ? 48000.0 : 1000.0 + rawRate % 9999001u;
        source = openRawSource(fd, "fuzz input", rate, rawChannels,
                               channel - 1 < rawChannels ? channel - 1 : 0);
    } else {
        source = openAudioFile("/proc/self/fd/" + std::to_string(fd), channel, error);
        ::close(fd);
    }
    if (!source) {
        FUZZ_CHECK(!error.empty());  // a refused file always says why
        return 0;
    }

    const double inputRate = source->sampleRate();
    std::unique_ptr<Resampler> resampler;
    if (inputRate != DecodeSession::kSampleRate) {
        resampler = std::make_unique<Resampler>(inputRate, DecodeSession::kSampleRate);
        if (!resampler->ok())
            return 0;
    }
    DecodeSession session(o);
    constexpr std::size_t kBlockFrames = 65536;  // as nimbra-decode reads files
    std::vector<float> input, resampled;
    while (true) {
        input.clear();
        const long n = source->read(input, kBlockFrames);
        if (n < 0) {
            FUZZ_CHECK(!source->error().empty());
            break;
        }
        if (n == 0)
            break;
        FUZZ_CHECK(static_cast<std::size_t>(n) == input.size());
        if (resampler) {
            resampled.clear();
            resampler->process(input, resampled);
            session.feed(resampled);
        } else {
            session.feed(input);
        }
        session.takeLines();
        session.takeNewFixes();
    }
    if (resampler) {
        resampled.clear();
        resampler->finish(resampled);
        session.feed(resampled);
    }
    session.takeLines();
    return 0;
}
