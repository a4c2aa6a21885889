// A SoapySDR test radio ("driver=nimbratest"): it plays a recorded band at its real rate, as a
// radio would deliver it, and can be pulled from its USB port on demand. The tests load it with
// SOAPY_SDR_PLUGIN_PATH (and SOAPY_SDR_ROOT=/nonexistent, so that no real driver is probed).
//
// Device arguments:
//   file=PATH      the band: unsigned 8-bit I/Q (rtl_sdr's cu8) at the rate the station sets
//   log=PATH       every setting made on the device is appended here, one per line
//   fail_at=S      S seconds after the device was first made, the radio is pulled out: an open
//   fail_for=S     stream gives stream errors, and making the device fails, for S seconds; then
//                  it is back, and plays on at the band's position of that moment
//
// The band plays on the wall clock from the first make, so a device made again after a failure
// goes on where a live band would be; the samples of the time in between are lost.
#include <SoapySDR/Device.hpp>
#include <SoapySDR/Errors.hpp>
#include <SoapySDR/Formats.hpp>
#include <SoapySDR/Registry.hpp>

#include <chrono>
#include <complex>
#include <cstdio>
#include <fstream>
#include <map>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// When each band file was first made into a device: the band's clock.
std::mutex gMutex;
std::map<std::string, Clock::time_point> gStarted;

double secondsSince(const std::string& file)
{
    std::lock_guard<std::mutex> lock(gMutex);
    auto it = gStarted.find(file);
    if (it == gStarted.end())
        it = gStarted.emplace(file, Clock::now()).first;
    return std::chrono::duration<double>(Clock::now() - it->second).count();
}

double number(const SoapySDR::Kwargs& args, const char* key, double otherwise)
{
    const auto it = args.find(key);
    return it == args.end() ? otherwise : std::stod(it->second);
}

class TestRadio : public SoapySDR::Device {
public:
    explicit TestRadio(const SoapySDR::Kwargs& args)
        : file_(args.at("file")), log_(args.count("log") ? args.at("log") : ""),
          failAt_(number(args, "fail_at", -1.0)), failFor_(number(args, "fail_for", 0.0))
    {
        std::ifstream in(file_, std::ios::binary);
        band_.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        if (band_.empty())
            throw std::runtime_error("nimbratest: no band in " + file_);
        record("made");
    }

    std::string getDriverKey() const override { return "nimbratest"; }
    std::string getHardwareKey() const override { return "nimbratest"; }
    size_t getNumChannels(const int) const override { return 1; }

    void setSampleRate(const int, const size_t, const double rate) override
    {
        rate_ = rate;
        record("rate " + std::to_string(static_cast<long long>(rate)));
    }
    double getSampleRate(const int, const size_t) const override { return rate_; }
    void setFrequency(const int, const size_t, const double hz, const SoapySDR::Kwargs&) override
    {
        record("frequency " + std::to_string(static_cast<long long>(hz)));
    }
    void setFrequency(const int, const size_t, const std::string& name, const double value,
                      const SoapySDR::Kwargs&) override
    {
        record("frequency " + name + " " + std::to_string(value));
    }
    bool hasGainMode(const int, const size_t) const override { return true; }
    void setGainMode(const int, const size_t, const bool automatic) override
    {
        record(std::string("gain mode ") + (automatic ? "auto" : "manual"));
    }
    void setGain(const int, const size_t, const double db) override { record("gain " + std::to_string(db)); }
    bool hasFrequencyCorrection(const int, const size_t) const override { return true; }
    void setFrequencyCorrection(const int, const size_t, const double ppm) override
    {
        record("correction " + std::to_string(ppm));
    }
    void writeSetting(const std::string& key, const std::string& value) override { record(key + " " + value); }
    std::vector<std::string> getStreamFormats(const int, const size_t) const override { return {SOAPY_SDR_CF32}; }

    SoapySDR::Stream* setupStream(const int, const std::string& format, const std::vector<size_t>&,
                                  const SoapySDR::Kwargs&) override
    {
        if (format != SOAPY_SDR_CF32)
            throw std::runtime_error("nimbratest: CF32 only");
        return reinterpret_cast<SoapySDR::Stream*>(this);
    }
    void closeStream(SoapySDR::Stream*) override {}
    int activateStream(SoapySDR::Stream*, const int, const long long, const size_t) override
    {
        position_ = static_cast<std::size_t>(secondsSince(file_) * rate_);
        return 0;
    }

    int readStream(SoapySDR::Stream*, void* const* buffs, const size_t numElems, int& flags, long long& timeNs,
                   const long timeoutUs) override
    {
        flags = 0;
        timeNs = 0;
        const double now = secondsSince(file_);
        if (failAt_ >= 0.0 && now >= failAt_)
            dead_ = true;  // pulled out: this device is gone for good
        if (dead_) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            return SOAPY_SDR_STREAM_ERROR;
        }
        // What the band's clock has made since the last read, at most what fits.
        const auto due = static_cast<std::size_t>(now * rate_);
        if (due <= position_) {
            const double wait = std::min(double(timeoutUs) * 1e-6, double(numElems) / rate_);
            std::this_thread::sleep_for(std::chrono::duration<double>(wait));
            if (static_cast<std::size_t>(secondsSince(file_) * rate_) <= position_)
                return SOAPY_SDR_TIMEOUT;
        }
        const std::size_t available = static_cast<std::size_t>(secondsSince(file_) * rate_) - position_;
        const std::size_t n = std::min(numElems, available);
        auto* out = static_cast<std::complex<float>*>(buffs[0]);
        const std::size_t samples = band_.size() / 2;
        for (std::size_t i = 0; i < n; ++i) {
            const std::size_t k = (position_ + i) % samples;  // the band plays round
            out[i] = {(float(band_[2 * k]) - 127.5f) / 128.0f, (float(band_[2 * k + 1]) - 127.5f) / 128.0f};
        }
        position_ += n;
        return static_cast<int>(n);
    }

private:
    void record(const std::string& line)
    {
        if (log_.empty())
            return;
        std::lock_guard<std::mutex> lock(gMutex);
        std::ofstream(log_, std::ios::app) << line << "\n";
    }

    std::string file_, log_;
    double failAt_, failFor_;
    std::vector<unsigned char> band_;
    double rate_ = 2400000.0;
    std::size_t position_ = 0;
    bool dead_ = false;
};

SoapySDR::KwargsList findRadio(const SoapySDR::Kwargs& args)
{
    if (!args.count("file") || (args.count("driver") && args.at("driver") != "nimbratest"))
        return {};
    SoapySDR::Kwargs found = args;
    found["driver"] = "nimbratest";
    found["label"] = "Nimbra test radio";
    return {found};
}

SoapySDR::Device* makeRadio(const SoapySDR::Kwargs& args)
{
    if (!args.count("file"))
        throw std::runtime_error("nimbratest: needs file=PATH");
    const double failAt = number(args, "fail_at", -1.0), failFor = number(args, "fail_for", 0.0);
    const double now = secondsSince(args.at("file"));
    if (failAt >= 0.0 && now >= failAt && now < failAt + failFor)
        throw std::runtime_error("nimbratest: no such device (unplugged)");
    SoapySDR::Kwargs after = args;
    if (failAt >= 0.0 && now >= failAt + failFor)
        after.erase("fail_at");  // plugged in again: it stays
    return new TestRadio(after);
}

const SoapySDR::Registry registerRadio("nimbratest", &findRadio, &makeRadio, SOAPY_SDR_ABI_VERSION);

}  // namespace
