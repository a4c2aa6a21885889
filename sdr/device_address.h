// DeviceAddress: nimbra-decode's --sdr DEVICE: rtl_tcp://HOST[:PORT] (default port 1234) for an
// rtl_tcp server, anything else a SoapySDR device string ("driver=rtlsdr",
// "driver=airspy,serial=...": key=value pairs separated by commas).
#pragma once

#include <memory>
#include <string>

#include "sdr/sdr_device.h"

namespace nimbra::sdr {

struct DeviceAddress {
    enum class Kind { RtlTcp, Soapy };
    Kind kind = Kind::Soapy;
    std::string host;      // rtl_tcp
    int port = 1234;
    std::string soapyArgs; // SoapySDR
};

// False with `error` (one line) when the text is neither.
bool parseDeviceAddress(const std::string& text, DeviceAddress& address, std::string& error);

// A device for the address, not yet opened.
std::unique_ptr<SdrDevice> makeDevice(const DeviceAddress& address);

}  // namespace nimbra::sdr
