#include "station/rotctld_client.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "net/tcp_connect.h"

namespace nimbra::station {

bool parseRotctldAddress(const std::string& text, RotctldAddress& a, std::string& error)
{
    a = RotctldAddress();
    const auto colon = text.rfind(':');
    a.host = colon == std::string::npos ? text : text.substr(0, colon);
    if (colon != std::string::npos) {
        char* end = nullptr;
        const long port = std::strtol(text.c_str() + colon + 1, &end, 10);
        if (colon + 1 >= text.size() || *end != '\0' || port < 1 || port > 65535) {
            error = "--rotator: the port must be a number from 1 to 65535, got '" + text + "'";
            return false;
        }
        a.port = static_cast<int>(port);
    }
    if (a.host.empty() || a.host.find_first_of("/ ") != std::string::npos) {
        error = "--rotator: expected HOST[:PORT] of a rotctld, got '" + text + "'";
        return false;
    }
    return true;
}

RotctldClient::~RotctldClient() { close(); }

void RotctldClient::close()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    buffer_.clear();
}

bool RotctldClient::connect(std::string& error)
{
    close();
    std::string why;
    fd_ = net::connectTcp(address_.host, address_.port, kTimeoutMs, why);
    if (fd_ < 0)
        error = describe() + ": " + why;
    return fd_ >= 0;
}

bool RotctldClient::sendLine(const std::string& line, std::string& error)
{
    std::size_t done = 0;
    while (done < line.size()) {
        const ssize_t n = ::send(fd_, line.data() + done, line.size() - done, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno == EAGAIN && net::waitFor(fd_, POLLOUT, kTimeoutMs))
            continue;
        if (n <= 0) {
            error = describe() + ": " + std::strerror(errno);
            close();
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool RotctldClient::readLine(std::string& line, std::string& error)
{
    for (;;) {
        const auto nl = buffer_.find('\n');
        if (nl != std::string::npos) {
            line = buffer_.substr(0, nl);
            buffer_.erase(0, nl + 1);
            return true;
        }
        if (!net::waitFor(fd_, POLLIN, kTimeoutMs)) {
            error = describe() + ": no answer";
            close();
            return false;
        }
        char chunk[256];
        const ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
        if (n < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (n <= 0) {
            error = describe() + (n == 0 ? ": rotctld closed the connection" : ": " + std::string(std::strerror(errno)));
            close();
            return false;
        }
        buffer_.append(chunk, static_cast<std::size_t>(n));
    }
}

bool RotctldClient::move(const Pointing& p, std::string& reply, std::string& error)
{
    if (fd_ < 0 && !connect(error))
        return false;
    char line[64];
    std::snprintf(line, sizeof line, "P %.1f %.1f\n", p.azimuth, p.elevation);
    if (!sendLine(line, error) || !readLine(reply, error))
        return false;
    return reply == "RPRT 0";
}

std::optional<Pointing> RotctldClient::position(std::string& error)
{
    if (fd_ < 0 && !connect(error))
        return std::nullopt;
    std::string az, el;
    if (!sendLine("p\n", error) || !readLine(az, error))
        return std::nullopt;
    if (az.compare(0, 4, "RPRT") == 0) {
        error = describe() + ": the rotator cannot say where it is (" + az + ")";
        return std::nullopt;
    }
    if (!readLine(el, error))
        return std::nullopt;
    char* end1 = nullptr;
    char* end2 = nullptr;
    Pointing p{std::strtod(az.c_str(), &end1), std::strtod(el.c_str(), &end2)};
    if (*end1 != '\0' || *end2 != '\0') {
        error = describe() + ": an answer that is not a position: '" + az + "', '" + el + "'";
        return std::nullopt;
    }
    return p;
}

}  // namespace nimbra::station
