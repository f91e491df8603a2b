#include "synth/DdnsSim.h"

#include "synth/SimSupport.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>

namespace zo::synth {

namespace {

constexpr uint8_t kMagic[4] = {0x55, 0xAA, 0x55, 0xAA};
constexpr size_t kRequestBytes = 12;
constexpr int64_t kQueryWaitMs = 10000;

using FaultInfo = sim::FaultInfo<DdnsFault>;
using sim::ListenLoopback;
using sim::WaitReadable;

constexpr FaultInfo kFaults[] = {
    {DdnsFault::None, "none", "answers the DVR's name with its address and port"},
    {DdnsFault::WrongMagic, "wrong-magic", "answers beginning with AA 55 AA 55 instead of 55 AA 55 AA"},
    {DdnsFault::WrongPort, "wrong-port", "answers with 127.0.0.1 and a port nothing listens on"},
    {DdnsFault::NoReply, "no-reply", "reads the query and never answers"},
};

constexpr std::array<DdnsFault, std::size(kFaults)> kFaultList = {DdnsFault::None, DdnsFault::WrongMagic,
                                                                  DdnsFault::WrongPort, DdnsFault::NoReply};

int64_t RealMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

}  // namespace

std::string_view DdnsFaultName(DdnsFault fault) { return sim::FaultName(kFaults, fault); }

std::string_view DdnsFaultDescription(DdnsFault fault) { return sim::FaultDescription(kFaults, fault); }

bool DdnsFaultFromName(std::string_view name, DdnsFault& fault) { return sim::FaultFromName(kFaults, name, fault); }

std::span<const DdnsFault> AllDdnsFaults() { return kFaultList; }

std::vector<uint8_t> DdnsSim::Request(std::string_view name) {
    std::vector<uint8_t> out(kMagic, kMagic + 4);
    for (size_t i = 0; i < 8; ++i)
        out.push_back(i < name.size() ? static_cast<uint8_t>(name[i]) : 0);
    return out;
}

DdnsSim::DdnsSim(DdnsSimOptions options) : options_(std::move(options)) {}

DdnsSim::~DdnsSim() { Stop(); }

bool DdnsSim::Start() {
    if (thread_.joinable()) {
        error_ = "the simulated DDNS server runs already";
        return false;
    }
    uint16_t bound = 0;
    listenFd_ = ListenLoopback(options_.port, bound);
    if (listenFd_ < 0) {
        error_ = "cannot listen on 127.0.0.1:" + std::to_string(options_.port) + ": " + std::strerror(errno);
        return false;
    }
    // A port that was free a moment ago, for the wrong answer.
    const int probe = ListenLoopback(0, unusedPort_);
    if (probe >= 0)
        ::close(probe);
    port_ = bound;
    stop_ = false;
    thread_ = std::thread([this] { Serve(); });
    return true;
}

void DdnsSim::Stop() {
    stop_ = true;
    if (thread_.joinable())
        thread_.join();
    if (listenFd_ >= 0) {
        ::close(listenFd_);
        listenFd_ = -1;
    }
}

void DdnsSim::Serve() {
    int nextId = 1;
    while (!stop_) {
        if (!WaitReadable(listenFd_, 50))
            continue;
        const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        Answer(fd, nextId++);
        ::shutdown(fd, SHUT_RDWR);
        ::close(fd);
    }
}

void DdnsSim::Answer(int fd, int id) {
    DdnsQuery q;
    q.connection = id;
    const std::string head = "ddns " + std::to_string(id) + ": ";
    uint8_t request[kRequestBytes] = {};
    size_t got = 0;
    const int64_t start = RealMs();
    bool closed = false;
    while (got < kRequestBytes && !stop_ && !closed && RealMs() - start < kQueryWaitMs) {
        if (!WaitReadable(fd, 20))
            continue;
        const ssize_t n = ::recv(fd, request + got, kRequestBytes - got, 0);
        if (n > 0)
            got += static_cast<size_t>(n);
        else if (n == 0 || (errno != EAGAIN && errno != EINTR))
            closed = true;
    }
    if (stop_)
        return;
    q.wellFormed = got == kRequestBytes && std::equal(kMagic, kMagic + 4, request);
    const size_t nameEnd = std::find(request + 4, request + std::max<size_t>(got, 4), 0) - request;
    q.name.assign(reinterpret_cast<const char*>(request) + 4, nameEnd > 4 ? nameEnd - 4 : 0);
    if (!q.wellFormed) {
        q.text = head + "bad query of " + std::to_string(got) + " bytes";
        Log(std::move(q));
        return;
    }
    const std::vector<uint8_t> expected = Request(options_.name);
    if (!std::equal(expected.begin(), expected.end(), request)) {
        q.text = head + "query for unknown name '" + q.name + "' not answered";
        Log(std::move(q));
        return;
    }
    if (options_.fault == DdnsFault::NoReply) {
        q.text = head + "query for '" + q.name + "' not answered";
        Log(std::move(q));
        while (!stop_ && RealMs() - start < 60000) {
            if (WaitReadable(fd, 20)) {
                uint8_t sink[256];
                const ssize_t n = ::recv(fd, sink, sizeof sink, 0);
                if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR))
                    break;
            }
        }
        return;
    }
    const uint16_t port = options_.fault == DdnsFault::WrongPort ? unusedPort_ : options_.dvrPort;
    std::vector<uint8_t> reply(kMagic, kMagic + 4);
    if (options_.fault == DdnsFault::WrongMagic)
        reply = {0xAA, 0x55, 0xAA, 0x55};
    const uint32_t address = options_.dvrAddress;
    reply.insert(reply.end(), {static_cast<uint8_t>(address >> 24), static_cast<uint8_t>(address >> 16),
                               static_cast<uint8_t>(address >> 8), static_cast<uint8_t>(address),
                               static_cast<uint8_t>(port), static_cast<uint8_t>(port >> 8)});
    // Two bytes past the fields, which a client ignores.
    reply.insert(reply.end(), {0xEE, 0xEE});
    size_t sent = 0;
    while (sent < reply.size() && !stop_) {
        const ssize_t n = ::send(fd, reply.data() + sent, reply.size() - sent, MSG_NOSIGNAL);
        if (n > 0) {
            sent += static_cast<size_t>(n);
        } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            pollfd p{fd, POLLOUT, 0};
            ::poll(&p, 1, 20);
        } else {
            break;
        }
    }
    q.answered = sent == reply.size();
    char where[INET_ADDRSTRLEN] = {};
    const in_addr a{htonl(address)};
    ::inet_ntop(AF_INET, &a, where, sizeof where);
    q.text = head + "query for '" + q.name + "' answered " + (options_.fault == DdnsFault::WrongMagic ? "wrongly " : "") +
             where + ":" + std::to_string(port);
    Log(std::move(q));
}

void DdnsSim::Log(DdnsQuery query) {
    {
        std::lock_guard lock(mutex_);
        queries_.push_back(query);
    }
    changed_.notify_all();
    if (options_.onQuery)
        options_.onQuery(query);
}

std::vector<DdnsQuery> DdnsSim::Queries() const {
    std::lock_guard lock(mutex_);
    return queries_;
}

bool DdnsSim::WaitForQueries(size_t count, int64_t timeoutMs) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return queries_.size() >= count; });
}

}  // namespace zo::synth
