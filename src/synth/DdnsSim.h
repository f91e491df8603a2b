// A simulated DDNS server on 127.0.0.1: answers the query 55 AA 55 AA +
// eight-byte DVR name with 55 AA 55 AA, the DVR's IPv4 address (network
// order) and its port (little-endian), or misbehaves as DdnsFault says.
// Every query is logged. A name that is not the DVR's gets no answer: the
// connection is closed.
//
// Threads: Start and Stop belong to the owner; the queries and waits may be
// called from any thread; onQuery runs on the server's thread.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace zo::synth {

enum class DdnsFault {
    None,
    WrongMagic,  // the answer begins with AA 55 AA 55
    WrongPort,   // the answer gives the DVR's address with a port nothing listens on
    NoReply,     // reads the query and never answers
};

std::string_view DdnsFaultName(DdnsFault fault);
std::string_view DdnsFaultDescription(DdnsFault fault);
bool DdnsFaultFromName(std::string_view name, DdnsFault& fault);
std::span<const DdnsFault> AllDdnsFaults();

struct DdnsQuery {
    int connection = 0;
    std::string name;     // the name field up to its first zero byte
    bool wellFormed = false;  // 12 bytes beginning with 55 AA 55 AA
    bool answered = false;
    std::string text;     // one line saying what happened
};

struct DdnsSimOptions {
    uint16_t port = 0;              // 0: ephemeral
    std::string name = "DVR000";    // compared as the client sends it: cut or zero-padded to 8 bytes
    uint32_t dvrAddress = 0x7F000001;  // host order; 127.0.0.1
    uint16_t dvrPort = 0;
    DdnsFault fault = DdnsFault::None;
    std::function<void(const DdnsQuery&)> onQuery;
};

class DdnsSim {
public:
    explicit DdnsSim(DdnsSimOptions options = {});
    ~DdnsSim();
    DdnsSim(const DdnsSim&) = delete;
    DdnsSim& operator=(const DdnsSim&) = delete;

    bool Start();
    void Stop();
    uint16_t Port() const { return port_.load(); }
    const std::string& Error() const { return error_; }

    std::vector<DdnsQuery> Queries() const;
    bool WaitForQueries(size_t count, int64_t timeoutMs) const;

    // The 12-byte request a client sends for `name`.
    static std::vector<uint8_t> Request(std::string_view name);

private:
    void Serve();
    void Answer(int fd, int id);
    void Log(DdnsQuery query);

    DdnsSimOptions options_;
    std::string error_;
    int listenFd_ = -1;
    uint16_t unusedPort_ = 0;
    std::atomic<uint16_t> port_{0};
    std::atomic<bool> stop_{false};
    std::thread thread_;

    mutable std::mutex mutex_;  // guards queries_
    mutable std::condition_variable changed_;
    std::vector<DdnsQuery> queries_;
};

}  // namespace zo::synth
