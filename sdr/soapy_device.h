// SoapyDevice: any radio SoapySDR drives (RTL-SDR, Airspy, HackRF, SDRplay, LimeSDR, ...),
// through libsoapysdr.
//
// In:  a SoapySDR device string ("driver=rtlsdr,serial=..."); the settings.
// Out: the first receive channel's samples as complex floats (CF32).
//
// Settings go through SoapySDR's own calls: the sample rate and frequency; automatic gain
// (setGainMode) or a fixed gain in dB; the frequency correction where the driver has it
// (setFrequencyCorrection), else its "CORR" frequency component; the bias tee through the
// "biastee" setting. SoapySDR has no end-of-stream: readStream times out while it waits, reports
// an overflow where samples were dropped, and a stream error when the radio is gone (pulled from
// USB); a failed device must be made again.
#pragma once

#include <string>

#include "sdr/sdr_device.h"

namespace SoapySDR {
class Device;
class Stream;
}  // namespace SoapySDR

namespace nimbra::sdr {

class SoapyDevice : public SdrDevice {
public:
    explicit SoapyDevice(std::string args);
    ~SoapyDevice() override;

    bool open(const SdrSettings& settings, std::string& error) override;
    bool retune(double frequencyHz, std::string& error) override;
    ReadResult read(std::complex<float>* out, std::size_t max, int timeoutMs) override;
    void close() override;
    std::string describe() const override { return "SoapySDR " + args_; }

private:
    std::string args_;
    SoapySDR::Device* device_ = nullptr;
    SoapySDR::Stream* stream_ = nullptr;
    int streamErrors_ = 0;  // in a row
    double rate_ = 0.0;
};

}  // namespace nimbra::sdr
