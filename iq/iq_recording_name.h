// What an IQ recording's name and header tell of it, as SDR programs write them:
//   gqrx     gqrx_YYYYMMDD_HHMMSS_FREQ_RATE_fc.raw       32-bit float I/Q, frequency and rate
//   SDR++    baseband_FREQHz_HH-MM-SS_DD-MM-YYYY.wav     two-channel WAVE, frequency
//   SDR#     SDRSharp_YYYYMMDD_HHMMSSZ_FREQHz_IQ.wav     two-channel WAVE, frequency
// and the extensions .cu8, .cs8, .cs16, .cf32 (.fc32) and .wav for the sample format; any other
// name may still carry the frequency as a token such as "1680.5MHz", "1680M" or "1680000000Hz".
// A WAVE file's rate comes from its header.
//
// In:  the path (only the file name is looked at; a WAVE's header is read).
// Out: what is known; the rest is for the user to say.
#pragma once

#include <optional>
#include <string>

#include "iq/iq_format.h"

namespace nimbra::iq {

struct IqRecordingGuess {
    std::optional<IqFormat> format;
    std::optional<double> rate;       // samples/s
    std::optional<double> tunedHz;    // the centre frequency
    std::string program;              // "gqrx", "SDR++", "SDR#", or ""
};

IqRecordingGuess guessIqRecording(const std::string& path);

}  // namespace nimbra::iq
