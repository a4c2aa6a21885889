#include "outputs/udp_output.h"

#include <cerrno>
#include <cstring>
#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

#include "outputs/chase_message.h"

namespace nimbra::outputs {

UdpOutput::UdpOutput(HostPort target, std::string model, std::string stationName, std::size_t capacity,
                     StateSink sink)
    : OutputWorker("UDP", std::move(sink)),
      target_(std::move(target)),
      model_(std::move(model)),
      stationName_(std::move(stationName)),
      queue_(capacity)
{
    start();
}

UdpOutput::~UdpOutput()
{
    stop();
    if (socket_ >= 0)
        ::close(socket_);
}

void UdpOutput::accept(const FlightFix& fix, const FixContext& context)
{
    queue_.push(chaseMessage(fix, context, model_, stationName_));
}

bool UdpOutput::resolve()
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo* found = nullptr;
    const std::string port = std::to_string(target_.port);
    const int rc = ::getaddrinfo(target_.host.c_str(), port.c_str(), &hints, &found);
    if (rc != 0 || !found) {
        setState("cannot look up " + target_.host + " (" + ::gai_strerror(rc) + ")", true);
        return false;
    }
    Destination d;
    std::memcpy(&d.address, found->ai_addr, found->ai_addrlen);
    d.length = found->ai_addrlen;
    d.family = found->ai_family;
    ::freeaddrinfo(found);
    if (socket_ < 0 || !destination_ || destination_->family != d.family) {
        if (socket_ >= 0)
            ::close(socket_);
        socket_ = ::socket(d.family, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        if (socket_ < 0) {
            setState(std::string("cannot open a socket (") + std::strerror(errno) + ")", true);
            return false;
        }
        const int on = 1;
        ::setsockopt(socket_, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
    }
    destination_ = d;
    return true;
}

void UdpOutput::send(const std::string& datagram)
{
    if ((!destination_ || socket_ < 0) && !resolve()) {
        ++failed_;
        return;
    }
    const ssize_t n = ::sendto(socket_, datagram.data(), datagram.size(), 0,
                               reinterpret_cast<const sockaddr*>(&destination_->address), destination_->length);
    if (n == static_cast<ssize_t>(datagram.size())) {
        ++sent_;
        setState("sending to " + describe(target_), false);
        return;
    }
    ++failed_;
    setState("cannot send to " + describe(target_) + " (" + std::strerror(errno) + ")", true);
    // Looked up again before the next datagram: the address may have changed.
    destination_.reset();
}

void UdpOutput::run()
{
    for (;;) {
        // Read before the queue is drained: every fix queued before the finish is then sent.
        const bool stopNow = finishing();
        while (auto datagram = queue_.tryPop()) {
            send(*datagram);
            if (deadlinePassed())
                return;
        }
        if (stopNow)
            return;
        queue_.waitUntil(Clock::now() + std::chrono::seconds(1));
    }
}

}  // namespace nimbra::outputs
