// ReceiverFeed: the SDR receiver between an IQ input and the decode session: its blocks to the
// sondes' decoders, its notes (a sonde taken up, acquired again, lost) to standard error, a lost
// sonde's decoder dropped, and the session told which blocks can no longer be preceded.
//
// In:  the input's rate and the options (tuning, --max-sondes); samples; the session.
// Out: the session fed; one line per channel event, with the frequency in MHz when the tuning is
//      known.
#pragma once

#include <complex>
#include <functional>
#include <string>

#include "cli/decode_session.h"
#include "cli/options.h"
#include "iq/band_receiver.h"
#include "web/station_state.h"

namespace nimbra::cli {

// A channel event as one line for standard error.
std::string describeEvent(const iq::ChannelEvent& event, double tunedHz);

class ReceiverFeed {
public:
    ReceiverFeed(double rate, const CliOptions& options, std::function<void(const std::string&)> note);

    // The session the receiver's blocks go to (the pump is given it on every call).
    void bind(DecodeSession& session);
    void process(const std::complex<float>* samples, std::size_t count) { receiver_.process(samples, count); }
    void settle(DecodeSession& session) { session.setSettled(receiver_.settledPeriod()); }
    void finish(DecodeSession& session);
    // The radio is tuned elsewhere now: the receiver starts afresh there.
    void retuned(double tunedHz, DecodeSession& session);
    iq::BandReceiver& receiver() { return receiver_; }
    double tunedHz() const { return tunedHz_; }
    // The web page's view of the receiver: its channels and the band's spectrum (at most
    // StationState::kSpectrumPoints points: each the strongest of the bins it stands for).
    void report(web::InputReport& report, double bandLowHz, double bandHighHz) const;

private:
    iq::BandReceiver receiver_;
    double tunedHz_;
    std::function<void(const std::string&)> note_;
};

}  // namespace nimbra::cli
