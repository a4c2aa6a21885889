#include "sdr/device_address.h"

#include <cstdlib>

#include "sdr/rtl_tcp_device.h"
#include "sdr/soapy_device.h"

namespace nimbra::sdr {

bool parseDeviceAddress(const std::string& text, DeviceAddress& address, std::string& error)
{
    const std::string scheme = "rtl_tcp://";
    if (text.compare(0, scheme.size(), scheme) == 0) {
        std::string rest = text.substr(scheme.size());
        if (!rest.empty() && rest.back() == '/')
            rest.pop_back();
        address.kind = DeviceAddress::Kind::RtlTcp;
        address.port = 1234;
        std::string host = rest;
        const auto colon = rest.rfind(':');
        // [v6]:port, host:port, or a host alone.
        if (!rest.empty() && rest.front() == '[') {
            const auto close = rest.find(']');
            if (close == std::string::npos) {
                error = "--sdr " + text + ": expected rtl_tcp://HOST[:PORT]";
                return false;
            }
            host = rest.substr(1, close - 1);
            if (close + 1 < rest.size()) {
                if (rest[close + 1] != ':') {
                    error = "--sdr " + text + ": expected rtl_tcp://HOST[:PORT]";
                    return false;
                }
                rest = rest.substr(close + 1);
            } else {
                rest.clear();
            }
        } else if (colon != std::string::npos) {
            host = rest.substr(0, colon);
            rest = rest.substr(colon);
        } else {
            rest.clear();
        }
        if (!rest.empty()) {
            char* end = nullptr;
            const long port = std::strtol(rest.c_str() + 1, &end, 10);
            if (rest.size() < 2 || *end != '\0' || port < 1 || port > 65535) {
                error = "--sdr " + text + ": the port must be a number from 1 to 65535";
                return false;
            }
            address.port = static_cast<int>(port);
        }
        if (host.empty() || host.find_first_of("/?#@ ") != std::string::npos) {
            error = "--sdr " + text + ": expected rtl_tcp://HOST[:PORT]";
            return false;
        }
        address.host = host;
        return true;
    }
    if (text.find("://") != std::string::npos) {
        error = "--sdr " + text + ": expected rtl_tcp://HOST[:PORT] or a SoapySDR device string such as driver=rtlsdr";
        return false;
    }
    // key=value,...: every item has its '='.
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t comma = std::min(text.find(',', start), text.size());
        const std::string item = text.substr(start, comma - start);
        if (item.find('=') == std::string::npos || item.front() == '=') {
            error = "--sdr " + text + ": a SoapySDR device string is key=value,... (driver=rtlsdr), got '" + item + "'";
            return false;
        }
        start = comma + 1;
    }
    if (text.empty()) {
        error = "--sdr needs a device: rtl_tcp://HOST[:PORT] or a SoapySDR device string such as driver=rtlsdr";
        return false;
    }
    address.kind = DeviceAddress::Kind::Soapy;
    address.soapyArgs = text;
    return true;
}

std::unique_ptr<SdrDevice> makeDevice(const DeviceAddress& address)
{
    if (address.kind == DeviceAddress::Kind::RtlTcp)
        return std::make_unique<RtlTcpDevice>(address.host, address.port);
    return std::make_unique<SoapyDevice>(address.soapyArgs);
}

}  // namespace nimbra::sdr
