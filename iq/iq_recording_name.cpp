#include "iq/iq_recording_name.h"

#include <algorithm>
#include <cctype>
#include <regex>

#include "iq/iq_source.h"

namespace nimbra::iq {

namespace {

std::string lower(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

// A radiosonde band's frequency somewhere in the name, if one is there.
std::optional<double> frequencyToken(const std::string& name)
{
    static const std::regex token(R"((?:^|[^0-9.])(\d+(?:\.\d+)?)\s*(mhz|m|hz)(?![a-z]))", std::regex::icase);
    for (std::sregex_iterator it(name.begin(), name.end(), token), end; it != end; ++it) {
        const double v = std::stod((*it)[1].str());
        const std::string unit = lower((*it)[2].str());
        const double hz = unit == "hz" ? v : v * 1e6;
        if (hz >= 100e6 && hz <= 7e9)
            return hz;
    }
    return std::nullopt;
}

}  // namespace

IqRecordingGuess guessIqRecording(const std::string& path)
{
    IqRecordingGuess g;
    const std::string name = path.substr(path.find_last_of('/') == std::string::npos ? 0 : path.find_last_of('/') + 1);
    const std::string low = lower(name);
    std::smatch m;
    static const std::regex gqrx(R"(^gqrx_\d{8}_\d{6}_(\d+)_(\d+)_fc\.raw$)", std::regex::icase);
    static const std::regex sdrpp(R"(^baseband_(\d+)Hz_\d\d-\d\d-\d\d_\d\d-\d\d-\d{4}\.wav$)", std::regex::icase);
    static const std::regex sdrsharp(R"(^SDRSharp_\d{8}_\d{6}Z_(\d+)Hz_IQ\.wav$)", std::regex::icase);
    if (std::regex_match(name, m, gqrx)) {
        g.program = "gqrx";
        g.format = IqFormat::Cf32;
        g.tunedHz = std::stod(m[1].str());
        g.rate = std::stod(m[2].str());
        return g;
    }
    if (std::regex_match(name, m, sdrpp)) {
        g.program = "SDR++";
        g.tunedHz = std::stod(m[1].str());
    } else if (std::regex_match(name, m, sdrsharp)) {
        g.program = "SDR#";
        g.tunedHz = std::stod(m[1].str());
    } else {
        g.tunedHz = frequencyToken(name);
    }
    const auto dot = low.find_last_of('.');
    const std::string ext = dot == std::string::npos ? "" : low.substr(dot + 1);
    if (ext == "wav") {
        g.format = IqFormat::Wave;
        std::string error;
        if (const auto source = openIqInput(path, IqFormat::Wave, 0.0, error))
            g.rate = source->sampleRate();
    } else if (ext == "fc32") {
        g.format = IqFormat::Cf32;
    } else if (const auto f = parseIqFormat(ext)) {
        g.format = f;
    }
    return g;
}

}  // namespace nimbra::iq
