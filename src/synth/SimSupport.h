// Pieces the simulated DVR and DDNS server share: a listening socket on
// 127.0.0.1, a readiness wait, and the name table of their fault modes.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <string_view>

namespace zo::synth::sim {

// Listens on 127.0.0.1:`port` (0: any free port); `bound` is the port
// taken. The socket, or -1 with errno set.
inline int ListenLoopback(uint16_t port, uint16_t& bound) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    const int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    socklen_t size = sizeof address;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, 8) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        const int error = errno;
        ::close(fd);
        errno = error;
        return -1;
    }
    bound = ntohs(address.sin_port);
    return fd;
}

inline bool WaitReadable(int fd, int timeoutMs) {
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, timeoutMs) > 0;
}

// One fault mode with its command-line name and its line of help.
template <class Fault>
struct FaultInfo {
    Fault fault;
    std::string_view name;
    std::string_view description;
};

template <class Fault, size_t N>
std::string_view FaultName(const FaultInfo<Fault> (&table)[N], Fault fault) {
    for (const auto& f : table)
        if (f.fault == fault)
            return f.name;
    return "none";
}

template <class Fault, size_t N>
std::string_view FaultDescription(const FaultInfo<Fault> (&table)[N], Fault fault) {
    for (const auto& f : table)
        if (f.fault == fault)
            return f.description;
    return "";
}

template <class Fault, size_t N>
bool FaultFromName(const FaultInfo<Fault> (&table)[N], std::string_view name, Fault& fault) {
    for (const auto& f : table)
        if (f.name == name) {
            fault = f.fault;
            return true;
        }
    return false;
}

}  // namespace zo::synth::sim
