// Local sockets for the output tests: a UDP receiver on a free port of 127.0.0.1, and a TCP port
// that nobody listens on.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

namespace nimbra::outputs::test {

// Binds the socket `fd` to a free port of 127.0.0.1; returns the port.
inline int bindLoopback(int fd)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    return ntohs(a.sin_port);
}

class UdpReceiver {
public:
    UdpReceiver() : fd_(::socket(AF_INET, SOCK_DGRAM, 0)), port_(bindLoopback(fd_)) {}
    ~UdpReceiver() { ::close(fd_); }
    UdpReceiver(const UdpReceiver&) = delete;
    UdpReceiver& operator=(const UdpReceiver&) = delete;

    int port() const { return port_; }
    // The next datagram, or "" after `timeoutMs` without one.
    std::string receive(int timeoutMs = 5000)
    {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, timeoutMs) != 1)
            return {};
        char buf[65536];
        const ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
        return n > 0 ? std::string(buf, static_cast<std::size_t>(n)) : std::string();
    }
    // Takes what has arrived; returns how many datagrams arrived in all.
    int count()
    {
        while (!receive(0).empty())
            ++count_;
        return count_;
    }

private:
    int fd_;
    int port_;
    int count_ = 0;
};

// A TCP port of 127.0.0.1 that refuses connections: bound, then closed again.
inline int refusingTcpPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    const int port = bindLoopback(fd);
    ::close(fd);
    return port;
}

}  // namespace nimbra::outputs::test
