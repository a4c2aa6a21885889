// RotctldClient: a rotator behind Hamlib's rotctld, in its TCP protocol: "P AZ EL\n" moves it
// and is answered "RPRT 0\n" (a negative code when refused: out of limits, say); "p\n" is
// answered with the azimuth and the elevation, one per line.
//
// In:  rotctld's host and port (default 4533).
// Out: whether a command was taken, the rotator's position, errors as text. Blocking calls with
//      timeouts, for the rotator's own thread (rotator.h).
#pragma once

#include <optional>
#include <string>

#include "station/rotator_policy.h"

namespace nimbra::station {

struct RotctldAddress {
    std::string host = "localhost";
    int port = 4533;
};

// "HOST[:PORT]"; false with `error` otherwise.
bool parseRotctldAddress(const std::string& text, RotctldAddress& address, std::string& error);

class RotctldClient {
public:
    static constexpr int kTimeoutMs = 3000;

    explicit RotctldClient(RotctldAddress address) : address_(std::move(address)) {}
    ~RotctldClient();

    bool connected() const { return fd_ >= 0; }
    bool connect(std::string& error);
    void close();
    // "P az el": true when rotctld answered RPRT 0; `reply` holds what it said.
    bool move(const Pointing& p, std::string& reply, std::string& error);
    // "p": the rotator's position, or none with `error`.
    std::optional<Pointing> position(std::string& error);
    std::string describe() const { return "rotctld " + address_.host + ":" + std::to_string(address_.port); }

private:
    bool sendLine(const std::string& line, std::string& error);
    bool readLine(std::string& line, std::string& error);

    RotctldAddress address_;
    int fd_ = -1;
    std::string buffer_;
};

}  // namespace nimbra::station
