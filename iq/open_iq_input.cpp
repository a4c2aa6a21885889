// Opening an IQ input by name and format, with the checks that give a bad input one clear line.
#include <cstdio>
#include <unistd.h>

#include "input/frame_reader.h"
#include "iq/iq_source.h"
#include "iq/wave_iq_source.h"

namespace nimbra::iq {

namespace {

std::string rateProblem(double rate)
{
    char buf[160];
    std::snprintf(buf, sizeof buf, "a sample rate of %.0f samples/s; IQ input must be %.0f to %.0f",
                  rate, kMinIqRate, kMaxIqRate);
    return buf;
}

}  // namespace

std::unique_ptr<IqSource> openIqInput(const std::string& path, IqFormat format, double rate,
                                      std::string& error)
{
    const bool standardInput = path == "-";
    const std::string name = standardInput ? "standard input" : path;
    int fd = STDIN_FILENO;
    if (!standardInput && (fd = input::openRawPath(path, error)) < 0)
        return nullptr;
    std::unique_ptr<IqSource> source;
    if (format == IqFormat::Wave) {
        source = openWaveIq(fd, name, error);
        if (!source)
            return nullptr;
        // A --rate given with a WAVE file must agree with its header.
        if (rate > 0.0 && rate != source->sampleRate()) {
            char buf[200];
            std::snprintf(buf, sizeof buf, "--rate %.0f does not match the rate in the WAVE header (%.0f samples/s)",
                          rate, source->sampleRate());
            error = name + ": " + buf;
            return nullptr;
        }
    } else {
        source = openRawIq(fd, name, format, rate);
    }
    if (!(source->sampleRate() >= kMinIqRate && source->sampleRate() <= kMaxIqRate)) {
        error = name + ": " + rateProblem(source->sampleRate());
        return nullptr;
    }
    return source;
}

}  // namespace nimbra::iq
