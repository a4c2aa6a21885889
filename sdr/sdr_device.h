// SdrDevice: a software-defined radio as the station drives it, whatever carries its samples:
// rtl_tcp over the network (rtl_tcp_device.h) or SoapySDR's drivers (soapy_device.h).
//
// In:  the settings (frequency, rate, gain, frequency correction, bias tee), set on the device
//      through its own protocol when it is opened; later retunes.
// Out: complex samples, full scale 1, in blocks; each read says whether the device lost samples
//      before them (overflow) or failed (the device must be opened again).
#pragma once

#include <complex>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace nimbra::sdr {

struct SdrSettings {
    double frequencyHz = 1680e6;
    double rate = 2400000.0;
    std::optional<double> gainDb;  // none: automatic gain
    int ppm = 0;                   // frequency correction
    bool biasTee = false;
};

struct ReadResult {
    enum class Status { Ok, Timeout, Overflow, Failed };
    Status status = Status::Ok;
    std::size_t count = 0;      // samples delivered
    std::uint64_t lost = 0;     // samples the device says it dropped before them (0: unknown)
    std::string error;          // with Failed
};

class SdrDevice {
public:
    virtual ~SdrDevice() = default;
    // Connects, sets everything in `settings` and starts the stream. False with `error`.
    virtual bool open(const SdrSettings& settings, std::string& error) = 0;
    // Moves the tuning (between reads); false with `error` when the device refused.
    virtual bool retune(double frequencyHz, std::string& error) = 0;
    // Up to `max` samples, waiting at most `timeoutMs` for the first.
    virtual ReadResult read(std::complex<float>* out, std::size_t max, int timeoutMs) = 0;
    virtual void close() = 0;
    // "rtl_tcp 127.0.0.1:1234", "SoapySDR driver=rtlsdr", for notes and the page.
    virtual std::string describe() const = 0;
};

}  // namespace nimbra::sdr
