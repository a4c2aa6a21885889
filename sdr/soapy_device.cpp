#include "sdr/soapy_device.h"

#include <SoapySDR/Device.hpp>
#include <SoapySDR/Errors.hpp>
#include <SoapySDR/Formats.hpp>

#include <cmath>
#include <exception>

namespace nimbra::sdr {

namespace {

// Stream errors in a row before the device counts as gone (one may be a hiccup).
constexpr int kStreamErrorsToFail = 3;

}  // namespace

SoapyDevice::SoapyDevice(std::string args) : args_(std::move(args)) {}

SoapyDevice::~SoapyDevice() { close(); }

bool SoapyDevice::open(const SdrSettings& s, std::string& error)
{
    close();
    try {
        device_ = SoapySDR::Device::make(args_);
    } catch (const std::exception& e) {
        error = describe() + ": " + e.what();
        device_ = nullptr;
        return false;
    }
    if (!device_) {
        error = describe() + ": no such device";
        return false;
    }
    try {
        device_->setSampleRate(SOAPY_SDR_RX, 0, s.rate);
        device_->setFrequency(SOAPY_SDR_RX, 0, s.frequencyHz);
        if (s.gainDb) {
            if (device_->hasGainMode(SOAPY_SDR_RX, 0))
                device_->setGainMode(SOAPY_SDR_RX, 0, false);
            device_->setGain(SOAPY_SDR_RX, 0, *s.gainDb);
        } else if (device_->hasGainMode(SOAPY_SDR_RX, 0)) {
            device_->setGainMode(SOAPY_SDR_RX, 0, true);
        }
        if (s.ppm != 0) {
            if (device_->hasFrequencyCorrection(SOAPY_SDR_RX, 0))
                device_->setFrequencyCorrection(SOAPY_SDR_RX, 0, s.ppm);
            else
                device_->setFrequency(SOAPY_SDR_RX, 0, "CORR", s.ppm);
        }
        if (s.biasTee)
            device_->writeSetting("biastee", "true");
        stream_ = device_->setupStream(SOAPY_SDR_RX, SOAPY_SDR_CF32);
        if (!stream_ || device_->activateStream(stream_) != 0) {
            error = describe() + ": the receive stream did not start";
            close();
            return false;
        }
    } catch (const std::exception& e) {
        error = describe() + ": " + e.what();
        close();
        return false;
    }
    rate_ = s.rate;
    streamErrors_ = 0;
    return true;
}

bool SoapyDevice::retune(double frequencyHz, std::string& error)
{
    if (!device_)
        return false;
    try {
        device_->setFrequency(SOAPY_SDR_RX, 0, frequencyHz);
    } catch (const std::exception& e) {
        error = describe() + ": " + e.what();
        return false;
    }
    return true;
}

ReadResult SoapyDevice::read(std::complex<float>* out, std::size_t max, int timeoutMs)
{
    ReadResult r;
    if (!device_ || !stream_) {
        r.status = ReadResult::Status::Failed;
        r.error = describe() + ": not open";
        return r;
    }
    void* buffers[] = {out};
    int flags = 0;
    long long timeNs = 0;
    const int n = device_->readStream(stream_, buffers, max, flags, timeNs, static_cast<long>(timeoutMs) * 1000);
    if (n >= 0) {
        streamErrors_ = 0;
        r.count = static_cast<std::size_t>(n);
        return r;
    }
    switch (n) {
    case SOAPY_SDR_TIMEOUT:
        r.status = ReadResult::Status::Timeout;
        return r;
    case SOAPY_SDR_OVERFLOW:
        // Samples were dropped; how many the driver does not say.
        r.status = ReadResult::Status::Overflow;
        return r;
    default:
        if (++streamErrors_ < kStreamErrorsToFail) {
            r.status = ReadResult::Status::Timeout;
            return r;
        }
        r.status = ReadResult::Status::Failed;
        r.error = describe() + ": " + SoapySDR::errToStr(n);
        return r;
    }
}

void SoapyDevice::close()
{
    if (device_) {
        try {
            if (stream_) {
                device_->deactivateStream(stream_);
                device_->closeStream(stream_);
            }
            SoapySDR::Device::unmake(device_);
        } catch (const std::exception&) {
            // A radio pulled from USB may throw on the way out; it is gone either way.
        }
    }
    stream_ = nullptr;
    device_ = nullptr;
}

}  // namespace nimbra::sdr
