// SdrPump: nimbra-decode's input when it drives the radio itself (--sdr): the device kept
// running on its own thread (sdr/device_runner.h), the band covered window by window where the
// radio is narrower than it (sdr/band_scan.h), and the samples through the receiver to the
// session. The radio failing never ends the run: it is opened again, and the receiver is told
// of the break so that no block is spliced across it.
//
// In:  the options (--sdr, --freq, --rate, --gain, --ppm, --bias-tee, --band, --max-sondes).
// Out: the session fed; notes on standard error (the device's state, each window the radio moves
//      to, the channels); status() for the web page.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "cli/input_pump.h"
#include "cli/receiver_feed.h"
#include "sdr/band_scan.h"
#include "sdr/device_runner.h"

namespace nimbra::cli {

class SdrPump : public InputPump {
public:
    static constexpr double kDefaultRate = 2400000.0;

    SdrPump(const CliOptions& options, std::function<void(const std::string&)> note);
    ~SdrPump() override;

    // Waits up to a fifth of a second for the radio's samples: returns how many came, or -1 with
    // interrupted() set when none did (the caller's loop then looks at its stop flag). A live
    // radio has no end: 0 never comes.
    long pump(DecodeSession& session) override;
    void finish(DecodeSession& session) override;
    double sampleRate() const override { return rate_; }
    std::int64_t totalFrames() const override { return -1; }
    std::string describe() const override;
    const std::string& error() const override { return error_; }
    bool interrupted() const override { return true; }
    void setStopFd(int) override {}

    void report(web::InputReport& report) const override;
    sdr::DeviceStatus deviceStatus() const { return runner_->status(); }
    const sdr::BandScan& scan() const { return scan_; }
    iq::BandReceiver& receiver() { return feed_.receiver(); }

private:
    double rate_;
    sdr::BandScan scan_;
    std::unique_ptr<sdr::DeviceRunner> runner_;
    ReceiverFeed feed_;
    std::function<void(const std::string&)> note_;
    std::string error_;
    double bandSeconds_ = 0.0;  // of samples decoded, the scan's clock
};

}  // namespace nimbra::cli
