#pragma once

// The benchmarks' own servers listen on 127.0.0.1, on a port the system picks.

#include <arpa/inet.h>
#include <cstdio>
#include <cstdlib>
#include <netinet/in.h>
#include <sys/socket.h>

namespace bench {

// A listening socket on 127.0.0.1; `port` receives its port. Ends the program (with `program` in
// the message) when the system refuses one.
inline int listenOnLoopback(const char *program, int &port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
        ::listen(fd, 64) != 0 || ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) != 0) {
        std::fprintf(stderr, "%s: cannot listen on 127.0.0.1\n", program);
        std::exit(1);
    }
    port = ntohs(address.sin_port);
    return fd;
}

} // namespace bench
