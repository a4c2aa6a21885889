// connectTcp: a TCP connection to a host and port that gives up after a timeout, for the
// clients of a station's network devices (an rtl_tcp server, rotctld), each on a thread of its
// own that must stay stoppable: a blocking connect to a host that does not answer would hold
// that thread for minutes.
//
// In:  the host (a name or an address), the port, the timeout.
// Out: a connected non-blocking socket with TCP_NODELAY, or -1 with the reason as text
//      ("Connection refused", "no answer", the resolver's message).
#pragma once

#include <string>

namespace nimbra::net {

int connectTcp(const std::string& host, int port, int timeoutMs, std::string& why);

// Waits for `events` (POLLIN, POLLOUT) on fd for up to `ms`; true when ready.
bool waitFor(int fd, short events, int ms);

}  // namespace nimbra::net
