// RtlTcpDevice: an RTL-SDR behind an rtl_tcp server, in rtl_tcp's own protocol.
//
// In:  the server's host and port; the settings.
// Out: the server's unsigned 8-bit I/Q stream (127.5 is zero) as complex samples.
//
// The protocol (rtl-sdr's rtl_tcp): the server greets with 12 bytes, "RTL0", the tuner type and
// its number of gains (big-endian 32-bit); then it streams interleaved I/Q bytes, no framing.
// Commands are 5 bytes: one command byte, a big-endian 32-bit parameter: 0x01 frequency (Hz),
// 0x02 sample rate, 0x03 gain mode (0 automatic, 1 manual), 0x04 gain (tenths of a dB),
// 0x05 frequency correction (ppm, signed), 0x08 the RTL chip's AGC, 0x0e bias tee. A closed
// connection, a bad greeting or a stream that stops for kStallMs fails the device.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sdr/sdr_device.h"

namespace nimbra::sdr {

class RtlTcpDevice : public SdrDevice {
public:
    static constexpr int kConnectMs = 3000;
    static constexpr int kStallMs = 3000;

    RtlTcpDevice(std::string host, int port);
    ~RtlTcpDevice() override;

    bool open(const SdrSettings& settings, std::string& error) override;
    bool retune(double frequencyHz, std::string& error) override;
    ReadResult read(std::complex<float>* out, std::size_t max, int timeoutMs) override;
    void close() override;
    std::string describe() const override;

    // The command bytes rtl_tcp gets for each setting, for the tests.
    static std::vector<std::uint8_t> command(std::uint8_t code, std::uint32_t parameter);

private:
    bool send(std::uint8_t code, std::uint32_t parameter, std::string& error);

    std::string host_;
    int port_;
    int fd_ = -1;
    std::vector<std::uint8_t> bytes_;
    int odd_ = -1;       // an I byte whose Q has not come yet
    int silentMs_ = 0;   // waited since the last byte
};

}  // namespace nimbra::sdr
