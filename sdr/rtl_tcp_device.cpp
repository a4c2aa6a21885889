#include "sdr/rtl_tcp_device.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstring>

#include "net/tcp_connect.h"

namespace nimbra::sdr {

namespace {

constexpr std::uint8_t kFrequency = 0x01, kRate = 0x02, kGainMode = 0x03, kGain = 0x04, kCorrection = 0x05,
                       kAgc = 0x08, kBiasTee = 0x0e;

}  // namespace

RtlTcpDevice::RtlTcpDevice(std::string host, int port) : host_(std::move(host)), port_(port) {}

RtlTcpDevice::~RtlTcpDevice() { close(); }

std::string RtlTcpDevice::describe() const { return "rtl_tcp " + host_ + ":" + std::to_string(port_); }

std::vector<std::uint8_t> RtlTcpDevice::command(std::uint8_t code, std::uint32_t parameter)
{
    return {code, static_cast<std::uint8_t>(parameter >> 24), static_cast<std::uint8_t>(parameter >> 16),
            static_cast<std::uint8_t>(parameter >> 8), static_cast<std::uint8_t>(parameter)};
}

bool RtlTcpDevice::send(std::uint8_t code, std::uint32_t parameter, std::string& error)
{
    const std::vector<std::uint8_t> c = command(code, parameter);
    std::size_t done = 0;
    while (done < c.size()) {
        if (!net::waitFor(fd_, POLLOUT, kConnectMs)) {
            error = describe() + ": the server does not take commands";
            return false;
        }
        const ssize_t n = ::send(fd_, c.data() + done, c.size() - done, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            error = describe() + ": " + std::strerror(errno);
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool RtlTcpDevice::open(const SdrSettings& s, std::string& error)
{
    close();
    std::string why;
    fd_ = net::connectTcp(host_, port_, kConnectMs, why);
    if (fd_ < 0) {
        error = describe() + ": " + why;
        return false;
    }
    // The greeting.
    std::uint8_t greeting[12];
    std::size_t have = 0;
    while (have < sizeof greeting) {
        if (!net::waitFor(fd_, POLLIN, kConnectMs)) {
            error = describe() + ": no greeting from the server";
            close();
            return false;
        }
        const ssize_t n = ::recv(fd_, greeting + have, sizeof greeting - have, 0);
        if (n < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (n <= 0) {
            error = describe() + ": the server closed the connection";
            close();
            return false;
        }
        have += static_cast<std::size_t>(n);
    }
    if (std::memcmp(greeting, "RTL0", 4) != 0) {
        error = describe() + ": not an rtl_tcp server (no RTL0 greeting)";
        close();
        return false;
    }
    const bool manual = s.gainDb.has_value();
    const bool ok = send(kRate, static_cast<std::uint32_t>(std::lround(s.rate)), error) &&
                    send(kFrequency, static_cast<std::uint32_t>(std::llround(s.frequencyHz)), error) &&
                    send(kCorrection, static_cast<std::uint32_t>(static_cast<std::int32_t>(s.ppm)), error) &&
                    send(kGainMode, manual ? 1u : 0u, error) &&
                    (!manual || send(kGain, static_cast<std::uint32_t>(std::lround(*s.gainDb * 10.0)), error)) &&
                    send(kAgc, 0, error) && send(kBiasTee, s.biasTee ? 1u : 0u, error);
    if (!ok) {
        close();
        return false;
    }
    odd_ = -1;
    silentMs_ = 0;
    return true;
}

bool RtlTcpDevice::retune(double frequencyHz, std::string& error)
{
    return fd_ >= 0 && send(kFrequency, static_cast<std::uint32_t>(std::llround(frequencyHz)), error);
}

ReadResult RtlTcpDevice::read(std::complex<float>* out, std::size_t max, int timeoutMs)
{
    ReadResult r;
    if (fd_ < 0) {
        r.status = ReadResult::Status::Failed;
        r.error = describe() + ": not connected";
        return r;
    }
    if (!net::waitFor(fd_, POLLIN, timeoutMs)) {
        silentMs_ += timeoutMs;
        if (silentMs_ >= kStallMs) {
            r.status = ReadResult::Status::Failed;
            r.error = describe() + ": no samples for " + std::to_string(kStallMs / 1000) + " s";
            return r;
        }
        r.status = ReadResult::Status::Timeout;
        return r;
    }
    bytes_.resize(2 * max);
    const ssize_t n = ::recv(fd_, bytes_.data(), bytes_.size() - (odd_ >= 0 ? 1 : 0), 0);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) {
        r.status = ReadResult::Status::Timeout;
        return r;
    }
    if (n <= 0) {
        r.status = ReadResult::Status::Failed;
        r.error = describe() + (n == 0 ? ": the server closed the connection" : ": " + std::string(std::strerror(errno)));
        return r;
    }
    silentMs_ = 0;
    std::size_t i = 0;
    auto value = [](std::uint8_t b) { return (float(b) - 127.5f) / 128.0f; };
    if (odd_ >= 0) {
        out[r.count++] = {value(static_cast<std::uint8_t>(odd_)), value(bytes_[0])};
        odd_ = -1;
        i = 1;
    }
    for (; i + 1 < static_cast<std::size_t>(n); i += 2)
        out[r.count++] = {value(bytes_[i]), value(bytes_[i + 1])};
    if (i < static_cast<std::size_t>(n))
        odd_ = bytes_[i];
    return r;
}

void RtlTcpDevice::close()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

}  // namespace nimbra::sdr
