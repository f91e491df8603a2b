#include "synth/DvrSim.h"

#include "synth/SimSupport.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

namespace zo::synth {

namespace {

constexpr uint8_t kControlStart[4] = {0x00, 0x00, 0x01, 0xFE};
constexpr int kLoginCode = 0x81;
constexpr int kKeyCode = 0x85;
constexpr int kLogoutCode = 0x86;
constexpr size_t kOversizeBytes = media::kMaxFrameSize + 8868;  // 140000
constexpr size_t kOverlongControlBytes = 1536;
constexpr int64_t kLoginWaitLimitMs = 30000;   // for the client's login request
constexpr int64_t kHoldAfterRefusalMs = 10000;  // for the client to close after a refusal
constexpr int64_t kResyncBehindUs = 1000000;   // a stream further behind than this starts its schedule afresh

using FaultInfo = sim::FaultInfo<DvrFault>;
using sim::WaitReadable;

constexpr FaultInfo kFaults[] = {
    {DvrFault::None, "none", "behaves well"},
    {DvrFault::Silence, "silence", "stops sending after --fault-after frames of a connection, keeping it open"},
    {DvrFault::Reset, "reset", "resets the connection (TCP RST) after --fault-after frames of it"},
    {DvrFault::Slow, "slow", "sends every byte on its own, --slow-gap microseconds apart"},
    {DvrFault::SplitStartCodes, "split-start-codes", "splits every frame's start code over two sends"},
    {DvrFault::OversizeFrames, "oversize-frames", "pads every --fault-every-th picture beyond 131072 bytes"},
    {DvrFault::OverlongControl, "overlong-control",
     "puts a 1536-byte message 8 into the middle of every --fault-every-th frame"},
    {DvrFault::Garbage, "garbage",
     "sends bytes that begin no frame (00 00 01 FB, random) before the stream and after every frame"},
    {DvrFault::WrongReplyStartCode, "wrong-reply-start-code", "answers the login with start code 00 00 01 FD"},
    {DvrFault::RefuseTooManyClients, "refuse-too-many", "refuses every login: code 2, reason 1 (\"Too many client.\")"},
    {DvrFault::RefuseIncorrectPassword, "refuse-password",
     "refuses every login: code 2, reason 2 (\"Incorrect password.\")"},
    {DvrFault::RefuseBadNetwork, "refuse-bad-network", "refuses every login: code 4, reason 3 (\"Bad network\")"},
    {DvrFault::RefuseUnknownReason, "refuse-unknown", "refuses every login: code 4, reason 9 (\"Unkown error.\")"},
    {DvrFault::NoLoginReply, "no-login-reply", "reads the login and never answers it"},
    {DvrFault::Flood, "flood", "streams as fast as the connection takes it, ignoring the clock"},
};

constexpr std::array<DvrFault, std::size(kFaults)> MakeFaultList() {
    std::array<DvrFault, std::size(kFaults)> list{};
    for (size_t i = 0; i < list.size(); ++i)
        list[i] = kFaults[i].fault;
    return list;
}
constexpr auto kFaultList = MakeFaultList();

int64_t RealMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void AppendHex4(std::vector<uint8_t>& out, unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, "%04X", value & 0xFFFF);
    out.insert(out.end(), text, text + 4);
}

std::vector<uint8_t> Reply(int code, int reason = -1) {
    std::vector<uint8_t> out(kControlStart, kControlStart + 4);
    AppendHex4(out, reason < 0 ? 12 : 16);
    AppendHex4(out, static_cast<unsigned>(code));
    if (reason >= 0)
        AppendHex4(out, static_cast<unsigned>(reason));
    return out;
}

std::string_view ReasonText(int reason) {
    switch (reason) {
    case 1:
        return "Too many client.";
    case 2:
        return "Incorrect password.";
    case 3:
        return "Bad network";
    default:
        return "Unkown error.";
    }
}

std::string Prefix(int connection) { return "connection " + std::to_string(connection) + ": "; }

bool EqualIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        const auto up = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; };
        if (up(a[i]) != up(b[i]))
            return false;
    }
    return true;
}

// Printable form of bytes from a client, for the log.
std::string Printable(std::string_view bytes) {
    std::string out;
    for (char c : bytes)
        out += c >= 0x20 && c < 0x7F ? c : '.';
    return out;
}

}  // namespace

std::string_view DvrFaultName(DvrFault fault) { return sim::FaultName(kFaults, fault); }

std::string_view DvrFaultDescription(DvrFault fault) { return sim::FaultDescription(kFaults, fault); }

bool DvrFaultFromName(std::string_view name, DvrFault& fault) { return sim::FaultFromName(kFaults, name, fault); }

std::span<const DvrFault> AllDvrFaults() { return kFaultList; }

int ParseHex4(const char* text) {
    int value = 0;
    for (int i = 0; i < 4; ++i) {
        const char c = text[i];
        int digit = 0;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else if (c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else
            return -1;
        value = value * 16 + digit;
    }
    return value;
}

void ClientMessageParser::Feed(const uint8_t* data, size_t size) { pending_.insert(pending_.end(), data, data + size); }

bool ClientMessageParser::Next(Message& out) {
    out = Message{};
    const auto start = std::search(pending_.begin(), pending_.end(), kControlStart, kControlStart + 4);
    const size_t at = static_cast<size_t>(start - pending_.begin());
    if (start == pending_.end()) {
        // Keep the last three bytes: they may begin a message.
        if (pending_.size() <= 3)
            return false;
        out.skipped = pending_.size() - 3;
        pending_.erase(pending_.begin(), pending_.end() - 3);
        return true;
    }
    if (at > 0) {
        out.skipped = at;
        pending_.erase(pending_.begin(), start);
        return true;
    }
    if (pending_.size() < 12)
        return false;
    const char* head = reinterpret_cast<const char*>(pending_.data());
    const int length = ParseHex4(head + 4);
    const int code = ParseHex4(head + 8);
    if (length < 12 || static_cast<size_t>(length) > kMaxMessageBytes || code < 0) {
        // Not a message head: drop its start code and look for the next.
        out.skipped = 4;
        pending_.erase(pending_.begin(), pending_.begin() + 4);
        return true;
    }
    if (pending_.size() < static_cast<size_t>(length))
        return false;
    out.code = code;
    out.body.assign(head + 12, head + length);
    pending_.erase(pending_.begin(), pending_.begin() + length);
    return true;
}

struct DvrSim::Connection {
    int fd = -1;
    int id = 0;
    ClientMessageParser parser;
    bool peerGone = false;
    bool loggedOut = false;
    bool silent = false;
    bool loginSeen = false;
    std::string digest;
    uint64_t frames = 0;    // frames sent on this connection
    uint64_t pictures = 0;  // pictures among them
    std::string closeReason = "client closed";
};

DvrSim::DvrSim(DvrSimOptions options)
    : options_(std::move(options)), clock_(options_.clock ? options_.clock : &platform::DefaultClock()) {}

DvrSim::~DvrSim() { Stop(); }

bool DvrSim::Start() {
    if (thread_.joinable()) {
        error_ = "the simulated DVR runs already";
        return false;
    }
    loop_ = options_.loop ? options_.loop : MakeLiveLoop(options_.loopOptions);
    if (!loop_ || loop_->frames.empty()) {
        error_ = "nothing to stream";
        return false;
    }
    uint16_t bound = 0;
    listenFd_ = sim::ListenLoopback(options_.port, bound);
    if (listenFd_ < 0) {
        error_ = "cannot listen on 127.0.0.1:" + std::to_string(options_.port) + ": " + std::strerror(errno);
        return false;
    }
    port_ = bound;
    counter_ = options_.firstCounter;
    stop_ = false;
    thread_ = std::thread([this] { Serve(); });
    return true;
}

void DvrSim::Stop() {
    stop_ = true;
    if (thread_.joinable())
        thread_.join();
    if (listenFd_ >= 0) {
        ::close(listenFd_);
        listenFd_ = -1;
    }
}

void DvrSim::Serve() {
    int nextId = 1;
    while (!Stopping()) {
        if (!WaitReadable(listenFd_, 50))
            continue;
        sockaddr_in peer{};
        socklen_t size = sizeof peer;
        const int fd = ::accept4(listenFd_, reinterpret_cast<sockaddr*>(&peer), &size, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        const int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        const int id = nextId++;
        char from[INET_ADDRSTRLEN] = {};
        ::inet_ntop(AF_INET, &peer.sin_addr, from, sizeof from);
        DvrEvent e;
        e.kind = DvrEventKind::Connected;
        e.connection = id;
        e.text = Prefix(id) + "connected from " + from + ":" + std::to_string(ntohs(peer.sin_port));
        Log(std::move(e));
        Session(fd, id);
    }
}

void DvrSim::Session(int fd, int id) {
    Connection c;
    c.fd = fd;
    c.id = id;
    if (Login(c) == Outcome::Continue)
        Stream(c);
    if (Stopping() && !c.peerGone && c.closeReason == "client closed")
        c.closeReason = "the DVR stopped";
    if (c.fd >= 0) {
        ::shutdown(c.fd, SHUT_RDWR);
        ::close(c.fd);
    }
    DvrEvent e;
    e.kind = DvrEventKind::Disconnected;
    e.connection = id;
    e.text = Prefix(id) + "closed (" + c.closeReason + ")";
    Log(std::move(e));
}

DvrSim::Outcome DvrSim::Pump(Connection& c) {
    // Each receive is parsed before the next, so what is kept stays within
    // one message; a client that sends without pause cannot hold the stream
    // up for more than a few receives.
    uint8_t buffer[4096];
    for (int reads = 0; reads < 16 && !c.peerGone; ++reads) {
        const ssize_t n = ::recv(c.fd, buffer, sizeof buffer, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            break;
        if (n <= 0) {
            c.peerGone = true;
            break;
        }
        c.parser.Feed(buffer, static_cast<size_t>(n));
        HandleMessages(c);
    }
    if (c.peerGone)
        return Outcome::PeerGone;
    return Stopping() ? Outcome::Stopped : Outcome::Continue;
}

void DvrSim::HandleMessages(Connection& c) {
    ClientMessageParser::Message m;
    while (c.parser.Next(m)) {
        DvrEvent e;
        e.connection = c.id;
        if (m.code == kLoginCode && m.body.size() == 32 && !c.loginSeen) {
            c.loginSeen = true;
            c.digest = m.body;
            continue;  // logged with its answer
        }
        if (m.code == kKeyCode && m.body.size() == 4 && ParseHex4(m.body.data()) >= 0) {
            e.kind = DvrEventKind::Key;
            e.value = ParseHex4(m.body.data());
            e.text = Prefix(c.id) + "key " + std::to_string(e.value);
        } else if (m.code == kLogoutCode && m.body.empty()) {
            e.kind = DvrEventKind::Logout;
            e.text = Prefix(c.id) + "logout";
            c.loggedOut = true;
        } else if (m.code < 0) {
            e.kind = DvrEventKind::BadRequest;
            e.value = static_cast<int>(m.skipped);
            e.text = Prefix(c.id) + std::to_string(m.skipped) + " bytes that are no message skipped";
        } else {
            char code[8];
            std::snprintf(code, sizeof code, "%04X", m.code);
            e.kind = DvrEventKind::BadRequest;
            e.value = m.code;
            e.text = Prefix(c.id) + "message " + code + " of " + std::to_string(m.body.size() + 12) +
                     " bytes not understood: \"" + Printable(m.body) + "\"";
        }
        Log(std::move(e));
    }
}

bool DvrSim::SendAll(Connection& c, const uint8_t* data, size_t size) {
    while (size > 0) {
        if (Stopping() || c.fd < 0)
            return false;
        const ssize_t n = ::send(c.fd, data, size, MSG_NOSIGNAL);
        if (n > 0) {
            data += n;
            size -= static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            pollfd p{c.fd, POLLOUT, 0};
            ::poll(&p, 1, 20);
            continue;
        }
        c.peerGone = true;
        return false;
    }
    return true;
}

void DvrSim::Hold(Connection& c, int64_t limitMs) {
    const int64_t start = RealMs();
    while (!Stopping() && !c.peerGone && (limitMs < 0 || RealMs() - start < limitMs)) {
        WaitReadable(c.fd, 20);
        Pump(c);
    }
}

DvrSim::Outcome DvrSim::Login(Connection& c) {
    const int64_t start = RealMs();
    while (!c.loginSeen) {
        WaitReadable(c.fd, 20);
        const Outcome o = Pump(c);
        if (o != Outcome::Continue)
            return o;
        if (RealMs() - start > kLoginWaitLimitMs) {
            c.closeReason = "no login request";
            return Outcome::PeerGone;
        }
    }
    DvrEvent e;
    e.kind = DvrEventKind::Login;
    e.connection = c.id;
    e.digest = c.digest;
    const std::string head = Prefix(c.id) + "login digest " + Printable(c.digest) + " ";
    const DvrFault fault = options_.fault;
    if (fault == DvrFault::NoLoginReply) {
        e.text = head + "not answered";
        Log(std::move(e));
        Hold(c, -1);
        return Outcome::PeerGone;
    }
    if (fault == DvrFault::WrongReplyStartCode) {
        std::vector<uint8_t> reply = Reply(3);
        reply[3] = 0xFD;
        e.value = 3;
        e.text = head + "answered with start code 00 00 01 FD";
        Log(std::move(e));  // before the answer, so the log is complete when the client knows
        SendAll(c, reply.data(), reply.size());
        Hold(c, kHoldAfterRefusalMs);
        c.closeReason = "after a wrong reply";
        return Outcome::PeerGone;
    }
    for (int i = 0; i < options_.loginWaits; ++i) {
        const std::vector<uint8_t> wait = Reply(1);
        if (!SendAll(c, wait.data(), wait.size()))
            return Outcome::PeerGone;
        Hold(c, options_.loginWaitGapMs);
        if (c.peerGone || Stopping())
            return Outcome::PeerGone;
    }
    int code = 3, reason = -1;
    switch (fault) {
    case DvrFault::RefuseTooManyClients:
        code = 2, reason = 1;
        break;
    case DvrFault::RefuseIncorrectPassword:
        code = 2, reason = 2;
        break;
    case DvrFault::RefuseBadNetwork:
        code = 4, reason = 3;
        break;
    case DvrFault::RefuseUnknownReason:
        code = 4, reason = 9;
        break;
    default:
        if (!EqualIgnoringCase(c.digest, LoginDigest(options_.password)))
            code = 2, reason = 2;
        break;
    }
    const std::vector<uint8_t> reply = Reply(code, reason);
    e.value = code;
    e.reason = reason < 0 ? 0 : reason;
    const std::string waits =
        options_.loginWaits > 0 ? " after " + std::to_string(options_.loginWaits) + " wait replies" : "";
    if (code == 3)
        e.text = head + "accepted" + waits;
    else
        e.text = head + "refused with code " + std::to_string(code) + " reason " + std::to_string(reason) + " (\"" +
                 std::string(ReasonText(reason)) + "\")" + waits;
    Log(std::move(e));  // before the answer, so the log is complete when the client knows
    if (!SendAll(c, reply.data(), reply.size()))
        return Outcome::PeerGone;
    if (code != 3) {
        Hold(c, kHoldAfterRefusalMs);
        c.closeReason = "after the refusal";
        return Outcome::PeerGone;
    }
    // The client reads the accepting reply on its own; what comes with it in
    // the same receive would be lost.
    Hold(c, options_.acceptPauseMs);
    if (c.peerGone || Stopping())
        return Outcome::PeerGone;
    if (!SendControl(c, 8, options_.statusValues))
        return Outcome::PeerGone;
    return Outcome::Continue;
}

bool DvrSim::SendControl(Connection& c, int code, std::span<const uint16_t> values, size_t totalLength) {
    std::vector<uint8_t> message(kControlStart, kControlStart + 4);
    const size_t natural = 12 + 4 * values.size();
    const size_t total = std::max(natural, totalLength);
    AppendHex4(message, static_cast<unsigned>(total));
    AppendHex4(message, static_cast<unsigned>(code));
    for (uint16_t v : values)
        AppendHex4(message, v);
    message.resize(total, '0');
    DvrEvent e;
    e.kind = DvrEventKind::ControlSent;
    e.connection = c.id;
    e.value = code;
    e.text = Prefix(c.id) + "sent message " + std::to_string(code);
    if (!values.empty()) {
        e.text += " (";
        for (size_t i = 0; i < values.size(); ++i) {
            if (i > 0)
                e.text += ' ';
            e.text += std::to_string(values[i]);
        }
        e.text += ")";
    }
    if (total > natural)
        e.text += " of " + std::to_string(total) + " bytes";
    Log(std::move(e));  // before the message, as with the login answer
    return SendAll(c, message.data(), message.size());
}

bool DvrSim::TakeTrigger(TriggerKind kind) {
    std::lock_guard lock(mutex_);
    for (auto it = triggers_.begin(); it != triggers_.end(); ++it)
        if (it->kind == kind) {
            triggers_.erase(it);
            return true;
        }
    return false;
}

bool DvrSim::RunControlTriggers(Connection& c) {
    for (;;) {
        Trigger t;
        {
            std::lock_guard lock(mutex_);
            auto it = std::find_if(triggers_.begin(), triggers_.end(), [](const Trigger& x) {
                return x.kind == TriggerKind::Status7 || x.kind == TriggerKind::Status8 || x.kind == TriggerKind::Drop;
            });
            if (it == triggers_.end())
                return true;
            t = *it;
            triggers_.erase(it);
        }
        if (t.kind == TriggerKind::Status7 && !SendControl(c, 7, std::span<const uint16_t>(t.values, 1)))
            return false;
        if (t.kind == TriggerKind::Status8 && !SendControl(c, 8, t.values))
            return false;
        if (t.kind == TriggerKind::Drop) {
            SendControl(c, 11, {});
            c.closeReason = "the DVR dropped the client";
            return false;
        }
    }
}

bool DvrSim::SendFrame(Connection& c, const std::vector<uint8_t>& wire, size_t frameBytes, const LiveFrame& frame,
                       int counter) {
    const DvrFault fault = options_.fault;
    const uint8_t* data = wire.data();
    const size_t size = wire.size();
    bool ok = true;
    if (fault == DvrFault::Slow) {
        for (size_t i = 0; ok && i < size; ++i) {
            ok = SendAll(c, data + i, 1);
            if (ok && i % 64 == 63)
                ok = RunControlTriggers(c);
            clock_->SleepUs(options_.slowByteGapUs);
        }
    } else if (fault == DvrFault::SplitStartCodes) {
        const size_t first = 1 + c.frames % 3;
        ok = SendAll(c, data, first);
        // Apart in time, so that the two pieces arrive in two receives.
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        ok = ok && SendAll(c, data + first, size - first);
    } else {
        size_t middle = SIZE_MAX;
        if (fault == DvrFault::OverlongControl && options_.faultEveryFrames > 0 &&
            c.frames % static_cast<uint64_t>(options_.faultEveryFrames) ==
                static_cast<uint64_t>(options_.faultEveryFrames) - 1)
            middle = size / 2;
        const size_t chunk = std::max<size_t>(options_.chunkBytes, 1);
        for (size_t at = 0; ok && at < size;) {
            size_t n = std::min(chunk, size - at);
            if (at < middle && at + n > middle)
                n = middle - at;
            ok = SendAll(c, data + at, n);
            at += n;
            if (ok && at == middle)
                ok = SendControl(c, 8, options_.statusValues, kOverlongControlBytes);
            if (ok && at < size)
                ok = RunControlTriggers(c);
        }
    }
    if (!ok)
        return false;
    SentFrame s;
    s.connection = c.id;
    s.kind = frame.kind;
    s.channel = frame.channel;
    s.key = frame.key;
    s.pictureCounter = counter;
    s.length = static_cast<uint32_t>(size);
    if (options_.recordLimit > 0 || options_.onFrameSent) {
        s.md5 = Md5Hex(data, size);
        // A receiver drops the garbage after the frame.
        s.deliveredMd5 = frame.kind == media::FrameKind::Sound
                             ? Md5Hex(data + 6, frameBytes > 6 ? frameBytes - 6 : 0)
                             : (frameBytes == size ? s.md5 : Md5Hex(data, frameBytes));
    }
    s.oversize = frameBytes > media::kMaxFrameSize;
    s.sentUs = clock_->NowUs();
    Record(std::move(s));
    return true;
}

void DvrSim::Stream(Connection& c) {
    const LiveLoop& loop = *loop_;
    const DvrFault fault = options_.fault;
    std::vector<uint8_t> wire;
    wire.reserve(kOversizeBytes + 64);
    auto garbage = [this](std::vector<uint8_t>& out) {
        // Bytes that begin no frame: an audio start code the client does not
        // take for one, then a few bytes that are never zero.
        out.insert(out.end(), {0x00, 0x00, 0x01, 0xFB});
        garbageSeed_ = garbageSeed_ * 1103515245u + 12345u;
        const int n = 1 + static_cast<int>((garbageSeed_ >> 16) % 40);
        for (int i = 0; i < n; ++i) {
            garbageSeed_ = garbageSeed_ * 1103515245u + 12345u;
            out.push_back(static_cast<uint8_t>(1 + (garbageSeed_ >> 16) % 255));
        }
    };
    if (fault == DvrFault::Garbage) {
        std::vector<uint8_t> lead;
        garbage(lead);
        if (!SendAll(c, lead.data(), lead.size()))
            return;
    }
    int64_t loopStartUs = clock_->NowUs();
    int64_t nextStatusUs = loopStartUs + options_.statusEveryMs * 1000ll;
    uint64_t pass = 0;
    size_t position = 0;
    for (;;) {
        if (Pump(c) != Outcome::Continue)
            return;
        if (c.loggedOut) {
            c.closeReason = "after the logout";
            return;
        }
        if (!RunControlTriggers(c))
            return;
        if (TakeTrigger(TriggerKind::Reset) ||
            (fault == DvrFault::Reset && c.frames == static_cast<uint64_t>(options_.faultAfterFrames))) {
            const linger hard{1, 0};
            ::setsockopt(c.fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
            ::close(c.fd);
            c.fd = -1;
            DvrEvent e;
            e.kind = DvrEventKind::Reset;
            e.connection = c.id;
            e.text = Prefix(c.id) + "reset after " + std::to_string(c.frames) + " frames";
            Log(std::move(e));
            c.closeReason = "reset by the DVR";
            return;
        }
        if (!c.silent && (TakeTrigger(TriggerKind::Silent) ||
                          (fault == DvrFault::Silence && c.frames == static_cast<uint64_t>(options_.faultAfterFrames)))) {
            c.silent = true;
            DvrEvent e;
            e.kind = DvrEventKind::Silent;
            e.connection = c.id;
            e.text = Prefix(c.id) + "silent after " + std::to_string(c.frames) + " frames";
            Log(std::move(e));
        }
        if (c.silent) {
            WaitReadable(c.fd, 20);
            continue;
        }
        const LiveFrame& frame = loop.frames[position];
        if (fault != DvrFault::Flood) {
            const int64_t now = clock_->NowUs();
            if (options_.statusEveryMs > 0 && now >= nextStatusUs) {
                if (!SendControl(c, 7, std::span<const uint16_t>(&options_.statusValues[4], 1)))
                    return;
                nextStatusUs = now + options_.statusEveryMs * 1000ll;
            }
            const int64_t due = loopStartUs + static_cast<int64_t>(pass) * loop.durationUs + frame.dueUs;
            if (due > now) {
                clock_->SleepUs(std::min<int64_t>(due - now, 10000));
                continue;
            }
            if (now - due > kResyncBehindUs)
                loopStartUs += now - due;  // far behind (slow sends): no burst to catch up
        }
        wire.assign(frame.bytes.begin(), frame.bytes.end());
        int counter = -1;
        if (frame.kind == media::FrameKind::Video) {
            counter = counter_++;
            SetLivePictureCounter(wire.data(), static_cast<uint16_t>(counter));
            if (fault == DvrFault::OversizeFrames && options_.faultEveryFrames > 0 &&
                c.pictures % static_cast<uint64_t>(options_.faultEveryFrames) ==
                    static_cast<uint64_t>(options_.faultEveryFrames) - 1) {
                wire.resize(kOversizeBytes, 0x55);
            }
            ++c.pictures;
        }
        const size_t frameBytes = wire.size();
        if (fault == DvrFault::Garbage)
            garbage(wire);
        if (!SendFrame(c, wire, frameBytes, frame, counter))
            return;
        ++c.frames;
        if (++position == loop.frames.size()) {
            position = 0;
            ++pass;
        }
    }
}

void DvrSim::SendStatusValue(uint16_t value) {
    Trigger t;
    t.kind = TriggerKind::Status7;
    t.values[0] = value;
    std::lock_guard lock(mutex_);
    triggers_.push_back(t);
}

void DvrSim::SendStatusValues(const uint16_t values[5]) {
    Trigger t;
    t.kind = TriggerKind::Status8;
    std::copy(values, values + 5, t.values);
    std::lock_guard lock(mutex_);
    triggers_.push_back(t);
}

void DvrSim::SendDrop() {
    std::lock_guard lock(mutex_);
    triggers_.push_back(Trigger{TriggerKind::Drop, {}});
}

void DvrSim::GoSilent() {
    std::lock_guard lock(mutex_);
    triggers_.push_back(Trigger{TriggerKind::Silent, {}});
}

void DvrSim::ResetNow() {
    std::lock_guard lock(mutex_);
    triggers_.push_back(Trigger{TriggerKind::Reset, {}});
}

void DvrSim::Log(DvrEvent event) {
    {
        std::lock_guard lock(mutex_);
        events_.push_back(event);
    }
    changed_.notify_all();
    if (options_.onEvent)
        options_.onEvent(event);
}

void DvrSim::Record(SentFrame frame) {
    {
        std::lock_guard lock(mutex_);
        frame.index = sentCount_++;
        if (sent_.size() < options_.recordLimit)
            sent_.push_back(frame);
    }
    changed_.notify_all();
    if (options_.onFrameSent)
        options_.onFrameSent(frame);
}

std::vector<DvrEvent> DvrSim::Events() const {
    std::lock_guard lock(mutex_);
    return events_;
}

int DvrSim::Count(DvrEventKind kind) const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(std::count_if(events_.begin(), events_.end(), [&](const DvrEvent& e) { return e.kind == kind; }));
}

std::vector<int> DvrSim::Keys() const {
    std::lock_guard lock(mutex_);
    std::vector<int> keys;
    for (const DvrEvent& e : events_)
        if (e.kind == DvrEventKind::Key)
            keys.push_back(e.value);
    return keys;
}

bool DvrSim::WaitForEvents(DvrEventKind kind, int count, int64_t timeoutMs) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
        return std::count_if(events_.begin(), events_.end(), [&](const DvrEvent& e) { return e.kind == kind; }) >= count;
    });
}

std::vector<SentFrame> DvrSim::SentFrames() const {
    std::lock_guard lock(mutex_);
    return sent_;
}

uint64_t DvrSim::SentCount() const {
    std::lock_guard lock(mutex_);
    return sentCount_;
}

bool DvrSim::WaitForSentFrames(uint64_t count, int64_t timeoutMs) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return sentCount_ >= count; });
}

}  // namespace zo::synth
