// Fuzz target: nimbra-decode's input path, from the bytes of a file through its reader (libsndfile,
// the raw 16-bit reader or an IQ reader), the resampler or the IQ receiver, and the decode session
// to the decoded lines.
//
// In:  an 8-byte header, then the file's bytes.
//   0     bit 0: raw reading (as --raw / standard input) instead of libsndfile;
//         bits 1-2: demodulator; bit 3 --filter; bit 4 --invert; bit 5 --bad-crc;
//         bit 6 --psu and --calibration; bit 7 --start-time (the clock then follows the samples)
//   1     channel to decode: 1 + (value mod 4); a channel the file lacks is refused by the reader
//   2     raw channel count: 1 + (value mod 4)
//   3-6   raw sample rate (little-endian): 0 means 48000, any other value is brought into
//         8000 to 10,000,000 samples/s (for IQ: 48,000 to 3,200,000). nimbra-decode accepts
//         rates from 1000, but a few kilobytes at such a rate resample to minutes of audio,
//         which under the sanitizers takes longer than the fuzzer's timeout and finds nothing
//         the rates from 8000 do not.
//   7     input: value mod 6; 0 audio as above, 1-5 --iq cu8, cs8, cs16, cf32, wav
// The file is handed over as a real file (a memfd) and pumped exactly as nimbra-decode's main
// loop pumps its input (cli/input_pump.h); the lines and fixes are taken after every block.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "cli/decode_session.h"
#include "cli/input_pump.h"
#include "cli/options.h"
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
    nimbra::fuzz::FuzzInput in(data, size);
    const std::uint8_t flags = in.byte();
    const int channel = 1 + in.byte() % 4;
    const int rawChannels = 1 + in.byte() % 4;
    const std::uint32_t rawRate = in.u32();
    const int input = in.byte() % 6;

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
    if (o.raw) {
        o.rate = rawRate == 0 ? 48000.0 : 8000.0 + rawRate % 9992001u;
        o.channels = rawChannels;
        o.channel = channel <= rawChannels ? channel : 1;
    }
    if (input > 0) {
        static const nimbra::iq::IqFormat formats[] = {nimbra::iq::IqFormat::Cu8, nimbra::iq::IqFormat::Cs8,
                                                       nimbra::iq::IqFormat::Cs16, nimbra::iq::IqFormat::Cf32,
                                                       nimbra::iq::IqFormat::Wave};
        o = CliOptions();
        o.iqFormat = formats[input - 1];
        if (*o.iqFormat != nimbra::iq::IqFormat::Wave)
            o.rate = 48000.0 + rawRate % 3152001u;
    }

    const int fd = fileWith(in.rest(), in.restSize());
    if (fd < 0)
        return 0;
    o.input = "/proc/self/fd/" + std::to_string(fd);
    std::string error;
    std::unique_ptr<InputPump> pump = openInput(o, error, [](const std::string&) {});
    ::close(fd);
    if (!pump) {
        FUZZ_CHECK(!error.empty());  // a refused file always says why
        return 0;
    }
    DecodeSession session(o);
    while (true) {
        const long n = pump->pump(session);
        if (n < 0) {
            FUZZ_CHECK(!pump->error().empty());
            break;
        }
        if (n == 0)
            break;
        session.takeLines();
        session.takeNewFixes();
    }
    pump->finish(session);
    session.takeLines();
    return 0;
}
