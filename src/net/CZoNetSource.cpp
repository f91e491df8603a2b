#include "net/CZoNetSource.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>

#include "net/WireFormat.h"

namespace zo::net {

namespace {

// The fixed time stamp of every live video frame: 2006-01-01 10:00:00, a Sunday.
constexpr media::CalendarTime kLiveFrameTime{2006, 1, 0, 1, 10, 0, 0, 0};

// Longest single wait, so that Stop is seen quickly at every stage.
constexpr int kWaitSliceMs = 100;
constexpr int kIdleSleepMs = 5;

std::string SystemText(int error) {
    return std::system_category().message(error);
}

void CloseFd(int& fd) {
    if (fd >= 0) {
        ::shutdown(fd, SHUT_RDWR);
        ::close(fd);
        fd = -1;
    }
}

bool SetNonBlocking(int fd, bool on) {
    const int flags = ::fcntl(fd, F_GETFL, 0);
    if (flags < 0)
        return false;
    return ::fcntl(fd, F_SETFL, on ? (flags | O_NONBLOCK) : (flags & ~O_NONBLOCK)) == 0;
}

}  // namespace

CZoNetSource::CZoNetSource(platform::Clock* clock, platform::NotificationPort* notify)
    : clock_(clock ? clock : &platform::DefaultClock()),
      notify_(notify),
      splitter_(this),
      receive_(new uint8_t[kReceiveBytes]),
      videoQueue_("Default", clock_),
      audioQueue_("Default", clock_) {
    videoQueue_.Allocate(kVideoSampleBytes, kQueueSamples);
    audioQueue_.Allocate(kAudioSampleBytes, kQueueSamples);
}

CZoNetSource::~CZoNetSource() {
    Stop();
}

void CZoNetSource::SetNotifyWindow(platform::NotificationPort* notify) {
    if (!HasThread())
        notify_ = notify;
}

int CZoNetSource::SetDvrAddress(const std::string& host, int port, const std::string& password) {
    if (HasThread())
        return 0;
    std::lock_guard lock(settingsMutex_);
    dvrHost_ = host;
    dvrPort_ = port;
    password_ = password;
    useDdns_ = false;
    return 1;
}

int CZoNetSource::SetDdnsAddress(const std::string& server, int port, const std::string& dvrName,
                                 const std::string& password) {
    if (HasThread())
        return 0;
    std::lock_guard lock(settingsMutex_);
    ddnsServer_ = server;
    ddnsPort_ = port;
    dvrName_ = dvrName;
    password_ = password;
    useDdns_ = true;
    return 1;
}

int CZoNetSource::Start() {
    return CZoThread::Start(kPriorityAboveNormal) == 1 ? 1 : 0;
}

int CZoNetSource::Stop() {
    CZoThread::Stop();
    return 1;
}

int CZoNetSource::SendKey(int keyCode) {
    if (!IsLoggedIn())
        return 0;
    const auto command = BuildKeyCommand(keyCode);
    std::lock_guard lock(socketMutex_);
    if (dvrSocket_ < 0)
        return 0;
    const ssize_t sent = ::send(dvrSocket_, command.data(), command.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    return sent == static_cast<ssize_t>(command.size()) ? 1 : 0;
}

std::string CZoNetSource::GetLastErrorText() const {
    std::lock_guard lock(settingsMutex_);
    return lastError_;
}

void CZoNetSource::GetDvrStatus(uint16_t values[5]) const {
    for (int i = 0; i < 5; ++i)
        values[i] = status_[i].load(std::memory_order_relaxed);
}

std::string CZoNetSource::GetDvrHost() const {
    std::lock_guard lock(settingsMutex_);
    return dvrHost_;
}

int CZoNetSource::GetDvrPort() const {
    std::lock_guard lock(settingsMutex_);
    return dvrPort_;
}

NetCounters CZoNetSource::GetCounters() const {
    NetCounters c;
    const auto& a = counters_;
    c.videoQueued = a.videoQueued.load(std::memory_order_relaxed);
    c.videoDroppedFull = a.videoDroppedFull.load(std::memory_order_relaxed);
    c.videoDroppedTooLong = a.videoTooLong.load(std::memory_order_relaxed);
    c.audioQueued = a.audioQueued.load(std::memory_order_relaxed);
    c.audioDroppedFull = a.audioDroppedFull.load(std::memory_order_relaxed);
    c.audioDroppedTooLong = a.audioTooLong.load(std::memory_order_relaxed);
    c.controlMessages = a.controlMessages.load(std::memory_order_relaxed);
    c.controlTooLong = a.controlTooLong.load(std::memory_order_relaxed);
    c.bytesReceived = a.bytesReceived.load(std::memory_order_relaxed);
    c.reconnections = a.reconnections.load(std::memory_order_relaxed);
    c.logins = a.logins.load(std::memory_order_relaxed);
    c.garbageBytes = a.garbageBytes.load(std::memory_order_relaxed);
    c.connectFailures = a.connectFailures.load(std::memory_order_relaxed);
    return c;
}

void CZoNetSource::SetError(std::string_view text) {
    std::lock_guard lock(settingsMutex_);
    lastError_.assign(text);
}

void CZoNetSource::Post(int message) {
    if (notify_)
        notify_->Post(message, 0, 0);
}

bool CZoNetSource::Pause(int64_t ms) {
    return ms > 0 && StopEvent().Wait(ms) == 0;
}

void CZoNetSource::CloseDvr() {
    std::lock_guard lock(socketMutex_);
    CloseFd(dvrSocket_);
    loggedIn_.store(0, std::memory_order_release);
}

void CZoNetSource::CloseDdns() {
    CloseFd(ddnsSocket_);
}

// ---- receiver thread ----

uint32_t CZoNetSource::Run() {
    // The stop event was reset by Start before this thread began; resetting
    // it here would lose a Stop that came first.
    int64_t lastDataMs = NowMs();
    while (!StopEvent().IsSet()) {
        if (useDdns_ && !ddnsResolved_) {
            SetState(ConnectingDdns);
            const int64_t attemptMs = NowMs();
            if (!Connect(true)) {
                SetState(Idle);
                Pause(kReconnectPauseMs - (NowMs() - attemptMs));
                continue;
            }
            SetState(QueryingDdns);
            const Outcome query = QueryDdns();
            if (query != Outcome::Ok) {
                SetState(Idle);
                if (query == Outcome::Failed)
                    Post(WM_DVR_LOGIN_FAILED);
                break;
            }
            SetState(DdnsResolved);
            lastDataMs = NowMs();
        }
        if (!IsLoggedIn()) {
            SetState(ConnectingDvr);
            const int64_t attemptMs = NowMs();
            if (!Connect(false)) {
                SetState(Idle);
                // A refused connection fails at once; do not hammer the DVR.
                Pause(kReconnectPauseMs - (NowMs() - attemptMs));
                continue;
            }
            SetState(LoggingIn);
            const Outcome login = Login();
            if (login != Outcome::Ok) {
                SetState(Idle);
                if (login == Outcome::Failed)
                    Post(WM_DVR_LOGIN_FAILED);
                break;
            }
            SetState(Online);
            lastDataMs = NowMs();
        }
        if (NowMs() - lastDataMs > static_cast<int64_t>(GetTimeout()) && IsLoggedIn() && dvrSocket_ >= 0) {
            // Silence (or a connection the DVR closed): connect again.
            CloseDvr();
            counters_.reconnections.fetch_add(1, std::memory_order_relaxed);
            Pause(kReconnectPauseMs);
            continue;
        }
        pollfd p{dvrSocket_, POLLIN, 0};
        const int ready = ::poll(&p, 1, 1);
        if (ready < 0)
            continue;
        if (ready == 0) {
            Pause(kIdleSleepMs);
            continue;
        }
        const ssize_t n = ::recv(dvrSocket_, receive_.get(), kReceiveBytes, 0);
        if (n <= 0) {
            // Closed by the DVR or failed: shows as silence.
            Pause(kIdleSleepMs);
            continue;
        }
        FeedStream(receive_.get(), static_cast<size_t>(n));
        lastDataMs = NowMs();
    }
    if (StopEvent().IsSet() && IsLoggedIn() && dvrSocket_ >= 0) {
        const auto logout = BuildLogout();
        std::lock_guard lock(socketMutex_);
        (void)::send(dvrSocket_, logout.data(), logout.size(), MSG_NOSIGNAL);
    }
    CloseDvr();
    CloseDdns();
    ddnsResolved_ = false;
    SetState(Idle);
    return 0;
}

bool CZoNetSource::ConnectFailed(bool ddns, ConnectFailure kind, std::string_view text) {
    SetError(text);
    connectFailureDdns_.store(ddns, std::memory_order_relaxed);
    connectFailure_.store(static_cast<int>(kind), std::memory_order_release);
    counters_.connectFailures.fetch_add(1, std::memory_order_relaxed);
    return false;
}

bool CZoNetSource::Connect(bool ddns) {
    int& sock = ddns ? ddnsSocket_ : dvrSocket_;
    if (sock >= 0) {
        SetError(kTextAlreadyConnected);
        std::lock_guard lock(socketMutex_);
        ::shutdown(sock, SHUT_RD);
        ::close(sock);
        sock = -1;
        return false;
    }

    sockaddr_in address{};
    address.sin_family = AF_INET;
    std::string host;
    int port = 0;
    {
        std::lock_guard lock(settingsMutex_);
        host = ddns ? ddnsServer_ : dvrHost_;
        port = ddns ? ddnsPort_ : dvrPort_;
    }
    address.sin_port = htons(static_cast<uint16_t>(port));

    if (ddns) {
        if (::inet_pton(AF_INET, host.c_str(), &address.sin_addr) != 1)
            return ConnectFailed(ddns, ConnectFailure::HostNotFound,
                                 "The DDNS server \"" + host + "\" is not an IPv4 address.");
    } else {
        addrinfo hints{};
        hints.ai_family = AF_INET;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo* found = nullptr;
        const int looked = ::getaddrinfo(host.c_str(), nullptr, &hints, &found);
        if (looked != 0 || !found) {
            if (found)
                ::freeaddrinfo(found);
            const std::string why = looked == EAI_SYSTEM ? SystemText(errno)
                                    : looked != 0        ? std::string(::gai_strerror(looked))
                                                         : std::string("no IPv4 address");
            return ConnectFailed(ddns, ConnectFailure::HostNotFound,
                                 "Cannot find the host \"" + host + "\": " + why + ".");
        }
        address.sin_addr = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr;
        ::freeaddrinfo(found);
    }
    // Refused: nothing listens there. Time-outs are retried; anything else
    // (no route, no network) fails like a refusal.
    auto failed = [&](int& fd, int error) {
        CloseFd(fd);
        const ConnectFailure kind = error == ECONNREFUSED ? ConnectFailure::Refused
                                    : error == ETIMEDOUT  ? ConnectFailure::TimedOut
                                                          : ConnectFailure::Unreachable;
        return ConnectFailed(ddns, kind, SystemText(error));
    };

    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return failed(fd, errno);
    if (!SetNonBlocking(fd, true))
        return failed(fd, errno);

    const int64_t startMs = NowMs();
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 && errno != EINPROGRESS)
        return failed(fd, errno);
    while (!StopEvent().IsSet()) {
        pollfd p{fd, POLLIN | POLLOUT, 0};
        const int ready = ::poll(&p, 1, kWaitSliceMs);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            return failed(fd, errno);
        }
        if (ready == 0) {
            if (NowMs() - startMs > static_cast<int64_t>(GetTimeout()))
                return failed(fd, ETIMEDOUT);
            continue;
        }
        int pending = 0;
        socklen_t length = sizeof pending;
        if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &pending, &length) != 0)
            return failed(fd, errno);
        if (pending != 0)
            return failed(fd, pending);  // refused or unreachable: the system's text
        if (!SetNonBlocking(fd, false))
            return failed(fd, errno);
        connectFailure_.store(static_cast<int>(ConnectFailure::None), std::memory_order_release);
        if (ddns) {
            ddnsSocket_ = fd;
        } else {
            std::lock_guard lock(socketMutex_);
            dvrSocket_ = fd;
        }
        return true;
    }
    CloseFd(fd);
    if (ddns)
        ddnsResolved_ = false;
    else
        loggedIn_.store(0, std::memory_order_release);
    return false;
}

CZoNetSource::WaitResult CZoNetSource::WaitReadable(int fd, uint32_t ms) {
    int64_t waited = 0;
    while (waited < static_cast<int64_t>(ms)) {
        if (StopEvent().IsSet())
            return WaitResult::Stopped;
        const int step = static_cast<int>(std::min<int64_t>(kWaitSliceMs, ms - waited));
        pollfd p{fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, step);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            return WaitResult::Error;
        }
        if (ready > 0)
            return (p.revents & POLLNVAL) ? WaitResult::Error : WaitResult::Ready;
        waited += step;
    }
    return StopEvent().IsSet() ? WaitResult::Stopped : WaitResult::Timeout;
}

bool CZoNetSource::SendAll(int fd, const uint8_t* data, size_t size) {
    while (size > 0) {
        const ssize_t sent = ::send(fd, data, size, MSG_NOSIGNAL);
        if (sent < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += sent;
        size -= static_cast<size_t>(sent);
    }
    return true;
}

CZoNetSource::Outcome CZoNetSource::Login() {
    const auto request = BuildLoginRequest(password_);
    if (!SendAll(dvrSocket_, request.data(), request.size())) {
        SetError(SystemText(errno));
        CloseDvr();
        return Outcome::Failed;
    }
    // Replies are collected in the receive buffer until one decides; a reply
    // is at most 65535 bytes, so a receive always has room.
    uint8_t* buffer = receive_.get();
    size_t have = 0;
    const int64_t startMs = NowMs();
    for (;;) {
        const WaitResult wait = WaitReadable(dvrSocket_, replyWaitMs_.load(std::memory_order_relaxed));
        if (wait == WaitResult::Stopped) {
            CloseDvr();
            return Outcome::Stopped;
        }
        if (wait == WaitResult::Error) {
            CloseDvr();
            return Outcome::Failed;
        }
        if (wait == WaitResult::Timeout) {
            if (NowMs() - startMs > static_cast<int64_t>(GetTimeout())) {
                SetError(kTextNoResponse);
                CloseDvr();
                return Outcome::Failed;
            }
            continue;
        }
        const size_t room = std::min(kReplyReceiveBytes, kReceiveBytes - have);
        const ssize_t n = ::recv(dvrSocket_, buffer + have, room, 0);
        if (n <= 0) {
            // The DVR closed the connection (or it failed) without a reply.
            SetError(kTextLoginError);
            CloseDvr();
            return Outcome::Failed;
        }
        have += static_cast<size_t>(n);
        const LoginReply reply = ConsumeLoginReplies(std::span<const uint8_t>(buffer, have));
        switch (reply.kind) {
        case LoginReplyKind::Incomplete:
        case LoginReplyKind::Wait:
            std::memmove(buffer, buffer + reply.consumed, have - reply.consumed);
            have -= reply.consumed;
            continue;
        case LoginReplyKind::Error:
            SetError(kTextLoginError);
            CloseDvr();
            return Outcome::Failed;
        case LoginReplyKind::Refused:
            SetError(RefusalText(reply.reason));
            CloseDvr();
            return Outcome::Failed;
        case LoginReplyKind::Accepted:
            loggedIn_.store(1, std::memory_order_release);
            counters_.logins.fetch_add(1, std::memory_order_relaxed);
            if (have > reply.consumed) {
                // The stream has begun in the same receive.
                FeedStream(buffer + reply.consumed, have - reply.consumed);
            }
            return Outcome::Ok;
        }
    }
}

CZoNetSource::Outcome CZoNetSource::QueryDdns() {
    const auto request = BuildDdnsRequest(dvrName_);
    if (!SendAll(ddnsSocket_, request.data(), request.size())) {
        SetError(SystemText(errno));
        CloseDdns();
        ddnsResolved_ = false;
        return Outcome::Failed;
    }
    uint8_t reply[kDdnsReplySize];
    size_t have = 0;
    const int64_t startMs = NowMs();
    auto fail = [&](std::string_view text) {
        if (!text.empty())
            SetError(text);
        CloseDdns();
        ddnsResolved_ = false;
        return Outcome::Failed;
    };
    for (;;) {
        const WaitResult wait = WaitReadable(ddnsSocket_, replyWaitMs_.load(std::memory_order_relaxed));
        if (wait == WaitResult::Stopped) {
            CloseDdns();
            ddnsResolved_ = false;
            return Outcome::Stopped;
        }
        if (wait == WaitResult::Error)
            return fail({});
        if (wait == WaitResult::Timeout) {
            if (NowMs() - startMs > static_cast<int64_t>(GetTimeout()))
                return fail(have > 0 ? kTextDdnsLoginError : kTextNoResponse);  // a short reply is a wrong one
            continue;
        }
        const ssize_t n = ::recv(ddnsSocket_, reply + have, sizeof reply - have, 0);
        if (n <= 0)
            return fail(kTextDdnsLoginError);
        have += static_cast<size_t>(n);
        const DdnsReply answer = ParseDdnsReply(std::span<const uint8_t>(reply, have));
        if (answer.kind == DdnsReplyKind::Error)
            return fail(kTextDdnsLoginError);
        if (answer.kind == DdnsReplyKind::Resolved) {
            {
                std::lock_guard lock(settingsMutex_);
                dvrHost_ = DottedAddress(answer.address);
                dvrPort_ = answer.port;
            }
            CloseDdns();
            ddnsResolved_ = true;
            return Outcome::Ok;
        }
    }
}

// ---- stream sink, on the receiver thread ----

void CZoNetSource::FeedStream(const uint8_t* data, size_t size) {
    counters_.bytesReceived.fetch_add(size, std::memory_order_relaxed);
    splitter_.Feed(data, size);
    const StreamSplitter::Counters& c = splitter_.GetCounters();
    counters_.videoTooLong.store(c.videoTooLong, std::memory_order_relaxed);
    counters_.audioTooLong.store(c.audioTooLong, std::memory_order_relaxed);
    counters_.controlTooLong.store(c.controlTooLong, std::memory_order_relaxed);
    counters_.garbageBytes.store(c.garbageBytes, std::memory_order_relaxed);
}

void CZoNetSource::OnVideoFrame(std::span<const uint8_t> frame) {
    media::CZoSample record;
    record.data = const_cast<uint8_t*>(frame.data());  // PutSample only reads it
    record.length = static_cast<uint32_t>(frame.size());
    record.capacity = record.length;
    record.time = kLiveFrameTime;
    if (videoQueue_.PutSample(record))
        counters_.videoQueued.fetch_add(1, std::memory_order_relaxed);
    else
        counters_.videoDroppedFull.fetch_add(1, std::memory_order_relaxed);
}

void CZoNetSource::OnAudioFrame(std::span<const uint8_t> payload) {
    media::CZoSample record;
    record.data = const_cast<uint8_t*>(payload.data());
    record.length = static_cast<uint32_t>(payload.size());
    record.capacity = record.length;
    if (audioQueue_.PutSample(record))
        counters_.audioQueued.fetch_add(1, std::memory_order_relaxed);
    else
        counters_.audioDroppedFull.fetch_add(1, std::memory_order_relaxed);
}

void CZoNetSource::OnControlMessage(std::span<const uint8_t> message) {
    counters_.controlMessages.fetch_add(1, std::memory_order_relaxed);
    const int code = ReadHexFieldAt(message, 8);
    if (code == kCodeStatusOne) {
        status_[4].store(static_cast<uint16_t>(ReadHexFieldAt(message, 12)), std::memory_order_relaxed);
        Post(WM_DVR_STATUS);
    } else if (code == kCodeStatusAll) {
        for (int i = 0; i < 5; ++i)
            status_[i].store(static_cast<uint16_t>(ReadHexFieldAt(message, 12 + 4 * static_cast<size_t>(i))),
                             std::memory_order_relaxed);
        Post(WM_DVR_STATUS);
    } else if (code == kCodeDisconnect) {
        Post(WM_DVR_DISCONNECTED);
    }
}

}  // namespace zo::net
