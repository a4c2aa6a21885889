// UdpOutput: the chase-map message of every fix as one UDP datagram to HOST:PORT (a broadcast
// address is allowed).
//
// In:  fixes through accept() (decoding thread): the message is made there and queued.
// Out: datagrams sent by the worker thread, in order. A datagram that cannot be sent is counted
//      as failed and not retried: a chase map wants the latest position, not a late one. The host
//      name is looked up again after a failure, so a station that boots before its network
//      recovers once the network is there.
#pragma once

#include <optional>
#include <string>
#include <sys/socket.h>

#include "outputs/addresses.h"
#include "outputs/bounded_queue.h"
#include "outputs/output.h"

namespace nimbra::outputs {

class UdpOutput : public OutputWorker {
public:
    UdpOutput(HostPort target, std::string model, std::string stationName, std::size_t capacity, StateSink sink);
    ~UdpOutput() override;

    void accept(const FlightFix& fix, const FixContext& context) override;

private:
    void run() override;
    void wake() override { queue_.wake(); }
    std::uint64_t waitingCount() const override { return queue_.size(); }
    std::uint64_t droppedCount() const override { return queue_.dropped(); }

    bool resolve();
    void send(const std::string& datagram);

    const HostPort target_;
    const std::string model_;
    const std::string stationName_;
    BoundedQueue<std::string> queue_;
    struct Destination {
        sockaddr_storage address{};
        socklen_t length = 0;
        int family = AF_INET;
    };
    // Worker thread only.
    int socket_ = -1;
    std::optional<Destination> destination_;
};

}  // namespace nimbra::outputs
