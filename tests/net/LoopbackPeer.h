// A minimal TCP peer on 127.0.0.1 for tests of the receiver thread: the test
// itself plays the DVR or the DDNS server on the accepted connection. Every
// wait is bounded.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <span>
#include <thread>
#include <vector>

namespace zo::net::test {

// Generous limit of every wait, for a loaded machine under sanitizers.
inline constexpr int kWaitMs = 20000;

// Polls `done` until it holds or `ms` pass.
template <class Predicate>
bool WaitUntil(Predicate done, int ms = kWaitMs) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

class Connection {
public:
    explicit Connection(int fd = -1) : fd_(fd) {
        if (fd_ >= 0) {
            const int one = 1;
            ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        }
    }
    ~Connection() { Close(); }
    Connection(Connection&& o) noexcept : fd_(o.fd_) { o.fd_ = -1; }
    Connection& operator=(Connection&& o) noexcept {
        Close();
        fd_ = o.fd_;
        o.fd_ = -1;
        return *this;
    }
    bool Valid() const { return fd_ >= 0; }
    void Close() {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
    }

    bool Send(std::span<const uint8_t> bytes) {
        size_t at = 0;
        while (at < bytes.size()) {
            const ssize_t n = ::send(fd_, bytes.data() + at, bytes.size() - at, MSG_NOSIGNAL);
            if (n <= 0)
                return false;
            at += static_cast<size_t>(n);
        }
        return true;
    }

    // Exactly `n` bytes, or what came before the peer closed or the wait ended.
    std::vector<uint8_t> Receive(size_t n, int ms = kWaitMs) {
        std::vector<uint8_t> out;
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (out.size() < n) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
            if (left.count() <= 0)
                break;
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(left.count())) <= 0)
                break;
            uint8_t buffer[4096];
            const ssize_t got = ::recv(fd_, buffer, std::min(sizeof buffer, n - out.size()), 0);
            if (got <= 0)
                break;
            out.insert(out.end(), buffer, buffer + got);
        }
        return out;
    }

    // True once the other side has closed (a read gives end of stream).
    bool WaitForClose(int ms = kWaitMs) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
            if (left.count() <= 0)
                return false;
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(left.count())) <= 0)
                return false;
            uint8_t buffer[4096];
            const ssize_t got = ::recv(fd_, buffer, sizeof buffer, 0);
            if (got <= 0)
                return true;
        }
    }

private:
    int fd_ = -1;
};

class Listener {
public:
    Listener() {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const int one = 1;
        ::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = 0;
        if (::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(fd_, 4) != 0) {
            ::close(fd_);
            fd_ = -1;
            return;
        }
        socklen_t len = sizeof a;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
    }
    ~Listener() { Close(); }
    Listener(const Listener&) = delete;
    Listener& operator=(const Listener&) = delete;

    int Port() const { return port_; }
    bool Valid() const { return fd_ >= 0; }
    void Close() {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
    }

    // The next connection, or an invalid one after `ms`.
    Connection Accept(int ms = kWaitMs) {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, ms) <= 0)
            return Connection();
        return Connection(::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC));
    }

private:
    int fd_ = -1;
    int port_ = 0;
};

}  // namespace zo::net::test
