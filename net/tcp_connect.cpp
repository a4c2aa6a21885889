#include "net/tcp_connect.h"

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace nimbra::net {

bool waitFor(int fd, short events, int ms)
{
    pollfd p{fd, events, 0};
    int r;
    do
        r = ::poll(&p, 1, ms);
    while (r < 0 && errno == EINTR);
    return r > 0;
}

int connectTcp(const std::string& host, int port, int timeoutMs, std::string& why)
{
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (const int r = ::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found); r != 0) {
        why = gai_strerror(r);
        return -1;
    }
    why = "no address";
    int connected = -1;
    for (addrinfo* a = found; a && connected < 0; a = a->ai_next) {
        const int fd = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, a->ai_protocol);
        if (fd < 0)
            continue;
        int r = ::connect(fd, a->ai_addr, a->ai_addrlen);
        if (r < 0 && errno == EINPROGRESS && waitFor(fd, POLLOUT, timeoutMs)) {
            int soError = 0;
            socklen_t len = sizeof soError;
            ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &soError, &len);
            r = soError == 0 ? 0 : -1;
            errno = soError;
        }
        if (r == 0) {
            connected = fd;
        } else {
            why = errno == EINPROGRESS ? "no answer" : std::strerror(errno);
            ::close(fd);
        }
    }
    ::freeaddrinfo(found);
    if (connected >= 0) {
        const int one = 1;
        ::setsockopt(connected, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    }
    return connected;
}

}  // namespace nimbra::net
