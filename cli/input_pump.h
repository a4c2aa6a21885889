// InputPump: reads nimbra-decode's input and feeds the decode session: receiver audio (resampled
// to 48 kHz where needed) into the decoder's sample entry, or SDR IQ through the IQ receiver,
// whose finished blocks go to the decoder's block entry.
//
// In:  the options (input name, --raw/--rate/--channels, --iq).
// Out: blocks fed to the session; frames read; a note on what is read; errors as one line.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "cli/decode_session.h"
#include "cli/options.h"
#include "web/station_state.h"

namespace nimbra::cli {

class InputPump {
public:
    virtual ~InputPump() = default;
    // Reads what is available (up to a block) and feeds it. Returns the input frames read: 0 at
    // the end, -1 on a read error (error()) or when a stop request woke a wait (interrupted()).
    virtual long pump(DecodeSession& session) = 0;
    // At the end: what filters and latencies still hold.
    virtual void finish(DecodeSession& session) = 0;
    virtual double sampleRate() const = 0;
    virtual std::int64_t totalFrames() const = 0;  // -1 when unknown
    virtual std::string describe() const = 0;
    virtual const std::string& error() const = 0;
    // After the end: what was wrong with how the input ended (an IQ sample cut short), or "".
    virtual std::string endProblem() const { return ""; }
    virtual bool interrupted() const = 0;
    virtual void setStopFd(int fd) = 0;
    // What the web page shows of the input: the radio or the file, the band, the channels (copies
    // only: the page makes its documents on a thread of its own).
    virtual void report(web::InputReport& report) const;
};

// Null with `error` set (one line) when the input cannot be opened or is not what it claims.
// `note` receives the IQ receiver's notes (signal found, lost) as they come.
std::unique_ptr<InputPump> openInput(const CliOptions& options, std::string& error,
                                     std::function<void(const std::string&)> note);

}  // namespace nimbra::cli
