// CZoNetSource: the live source of the network viewer.
//
// Its receiver thread connects over TCP to a DVR (directly, or after asking
// a DDNS server for the DVR's address), logs in with the MD5 digest of the
// password, receives the DVR's stream, splits it (StreamSplitter) and puts
// video frames and sound frames into two sample queues for the engine's
// live-view worker. Control messages of the DVR become notifications on the
// notification port; a stream that falls silent for longer than the timeout
// is closed and connected again without a notification; Stop says goodbye
// to a logged-in DVR with the logout message.
//
// Calling order: SetNotifyWindow once; then for each connection
// SetDvrAddress or SetDdnsAddress, Start, ... , Stop.
//
// Threads: every operation is for the owner's thread (the user-interface
// thread) unless its comment says otherwise. The receiver thread alone
// connects, receives, writes the flags, the state, the status values and the
// counters, and is the only producer of the two queues. The queues lock
// themselves; their consumer (the live-view worker) may be any one thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "platform/CZoThread.h"
#include "media/CZoBufferList.h"
#include "net/StreamSplitter.h"
#include "platform/Clock.h"
#include "platform/NotificationPort.h"

namespace zo::net {

// Notifications posted to the notify window, both parameters 0.
inline constexpr int WM_DVR_STATUS = 10856;        // control message 7 or 8 stored status values
inline constexpr int WM_DVR_DISCONNECTED = 10857;  // control message 11: the DVR drops this client
inline constexpr int WM_DVR_NO_RESPONSE = 10858;   // never posted by the source
inline constexpr int WM_DVR_LOGIN_FAILED = 10859;  // the DDNS query or the login failed; the thread has ended

// Progress of the connection (GetConnectState).
enum ConnectState : int {
    Idle = 0,            // not running, or between attempts
    ConnectingDvr = 1,   // connecting to the DVR
    LoggingIn = 2,       // login request sent, waiting for the reply
    Online = 3,          // logged in and receiving
    ConnectingDdns = 4,  // connecting to the DDNS server
    QueryingDdns = 5,    // DDNS request sent, waiting for the reply
    DdnsResolved = 6,    // the DDNS server answered; the DVR connection comes next
};

// Counts since construction, for recording tools and tests.
struct NetCounters {
    uint64_t videoQueued = 0;        // video frames put into the video queue
    uint64_t videoDroppedFull = 0;   // video frames dropped because the queue was full
    uint64_t videoDroppedTooLong = 0;  // video frames longer than 131072 bytes
    uint64_t audioQueued = 0;
    uint64_t audioDroppedFull = 0;
    uint64_t audioDroppedTooLong = 0;  // sound payloads longer than 4096 bytes
    uint64_t controlMessages = 0;      // control messages handled
    uint64_t controlTooLong = 0;       // control messages longer than 1024 bytes, skipped
    uint64_t bytesReceived = 0;        // stream bytes given to the splitter
    uint64_t garbageBytes = 0;         // stream bytes outside any frame or message, dropped
    uint64_t connectFailures = 0;      // connection attempts that failed (DVR or DDNS server)
    uint64_t reconnections = 0;        // silent streams closed to connect again
    uint64_t logins = 0;               // logins accepted
};

// Why the last connection attempt failed (GetConnectFailure).
enum class ConnectFailure : int {
    None = 0,       // no attempt has failed since the last connection
    HostNotFound,   // the host name could not be resolved, or the DDNS server is not a dotted address
    Refused,        // nothing listens at the address and port
    Unreachable,    // no route to the host or its network, or another system error
    TimedOut,       // no answer within the timeout
};

class CZoNetSource final : public platform::CZoThread, private StreamSink {
public:
    static constexpr uint32_t kDefaultTimeoutMs = 7000;
    static constexpr int kQueueSamples = 16;
    static constexpr uint32_t kVideoSampleBytes = 131072;
    static constexpr uint32_t kAudioSampleBytes = 4096;
    static constexpr size_t kReceiveBytes = 131072;  // one receive while streaming
    static constexpr size_t kReplyReceiveBytes = 32768;  // one receive of a login or DDNS reply
    static constexpr uint32_t kDefaultReplyWaitMs = 5000;
    static constexpr uint32_t kReconnectPauseMs = 1000;

    // `clock` measures the timeouts (nullptr: the system clock); waits on
    // sockets and pauses are real time. `notify` receives the notifications
    // (nullptr: none until SetNotifyWindow).
    explicit CZoNetSource(platform::Clock* clock = nullptr, platform::NotificationPort* notify = nullptr);
    // Stops the receiver thread (with the logout if logged in).
    ~CZoNetSource() override;

    // The port that receives the notifications. Only while the thread is
    // not running.
    void SetNotifyWindow(platform::NotificationPort* notify);

    // Stores the DVR's host (dotted IPv4 or a name, resolved by getaddrinfo
    // at each connection), its TCP port and the password; clears use DDNS.
    // 1; 0 (nothing stored) while the receiver thread exists.
    int SetDvrAddress(const std::string& host, int port, const std::string& password);
    // Stores the DDNS server (dotted IPv4, no lookup), its port, the DVR's
    // registered name and the password; sets use DDNS. 1; 0 (nothing stored)
    // while the receiver thread exists.
    int SetDdnsAddress(const std::string& server, int port, const std::string& dvrName,
                       const std::string& password);

    // Starts the receiver thread at above-normal priority. 1 if started; 0
    // if a thread exists (even one that has ended after a failed login: Stop
    // first) or the thread cannot be created.
    int Start();
    // Sets the stop event and waits until the receiver thread has ended;
    // a logged-in connection gets the logout message first. Ends within
    // about 100 ms at any stage (a host name lookup excepted). Returns 1.
    int Stop();

    // 1 while the DVR has accepted the login and the connection is open.
    // Any thread.
    int IsLoggedIn() const { return loggedIn_.load(std::memory_order_acquire); }
    // 0..6 (ConnectState). Any thread.
    int GetConnectState() const { return connectState_.load(std::memory_order_acquire); }

    // Sends the key command with the low 8 bits of `keyCode` once. 1 if the
    // 16 bytes went out in one send; 0 if not logged in (nothing sent) or
    // the send failed or would have blocked. No error text is set. Any one
    // thread at a time besides the receiver (the user-interface thread).
    int SendKey(int keyCode);

    // Text of the last failure that has one. Any thread.
    std::string GetLastErrorText() const;

    // Why the last connection attempt failed; None once a connection is
    // made. The receiver retries every kind (a refusal once a second), so
    // callers that want to give up on a refusal or an unknown host at once
    // watch this. Any thread.
    ConnectFailure GetConnectFailure() const {
        return static_cast<ConnectFailure>(connectFailure_.load(std::memory_order_acquire));
    }
    // True if that failed attempt was to the DDNS server. Any thread.
    bool ConnectFailureWasDdns() const { return connectFailureDdns_.load(std::memory_order_acquire); }

    // The connection timeout in milliseconds (default 7000): for connecting,
    // for each reply, and for a silent stream. Any thread, at any time; it
    // takes effect at the next comparison.
    void SetTimeout(uint32_t ms) { timeoutMs_.store(ms, std::memory_order_relaxed); }
    uint32_t GetTimeout() const { return timeoutMs_.load(std::memory_order_relaxed); }

    // Length of one wait for a login or DDNS reply (default 5000 ms): the
    // timeout is compared when such a wait ends empty. For tests and tools
    // that want quick failures. Any thread.
    void SetReplyWaitMs(uint32_t ms) { replyWaitMs_.store(ms, std::memory_order_relaxed); }

    // The queues of complete video frames (start code included, time stamp
    // 2006-01-01 10:00:00) and of sound payloads (no start code, no time).
    // The references stay valid for the object's life; their consumer
    // calls GetDataEvent and GetSample on its own thread.
    media::CZoOutputBuffer& GetVideoQueue() { return videoQueue_; }
    media::CZoOutputBuffer& GetAudioQueue() { return audioQueue_; }

    // The five DVR status values of control messages 8 (values 0..3 and 4)
    // and 7 (value 4); zero until announced. Opaque values of the DVR. Any
    // thread.
    void GetDvrStatus(uint16_t values[5]) const;

    // The DVR host and port in use: as set, or as the DDNS server answered.
    // Any thread.
    std::string GetDvrHost() const;
    int GetDvrPort() const;

    // Snapshot of the counters. Any thread.
    NetCounters GetCounters() const;

protected:
    uint32_t Run() override;

private:
    enum class Outcome { Ok, Failed, Stopped };
    enum class WaitResult { Ready, Timeout, Error, Stopped };

    // StreamSink, on the receiver thread.
    void OnVideoFrame(std::span<const uint8_t> frame) override;
    void OnAudioFrame(std::span<const uint8_t> payload) override;
    void OnControlMessage(std::span<const uint8_t> message) override;

    void FeedStream(const uint8_t* data, size_t size);
    bool Connect(bool ddns);
    bool ConnectFailed(bool ddns, ConnectFailure kind, std::string_view text);  // false
    Outcome Login();
    Outcome QueryDdns();
    WaitResult WaitReadable(int fd, uint32_t ms);
    bool SendAll(int fd, const uint8_t* data, size_t size);
    void CloseDvr();
    void CloseDdns();
    void SetError(std::string_view text);
    void SetState(int state) { connectState_.store(state, std::memory_order_release); }
    void Post(int message);
    int64_t NowMs() const { return clock_->NowMs(); }
    bool Pause(int64_t ms);  // true if the stop event ended it

    platform::Clock* clock_;
    platform::NotificationPort* notify_ = nullptr;

    // Connection settings: written by the setters while no thread runs; the
    // DVR host and port are replaced by the receiver after a DDNS answer.
    mutable std::mutex settingsMutex_;  // guards dvrHost_, dvrPort_, lastError_
    std::string dvrHost_;
    int dvrPort_ = 0;
    std::string lastError_;
    std::string password_;
    bool useDdns_ = false;
    std::string dvrName_;
    std::string ddnsServer_;
    int ddnsPort_ = 0;
    bool ddnsResolved_ = false;  // receiver thread only

    // The DVR socket is replaced and closed by the receiver under
    // socketMutex_; SendKey sends on it under the same lock so it never
    // sends on a closed or reused descriptor. The receiver reads it unlocked.
    std::mutex socketMutex_;
    int dvrSocket_ = -1;
    int ddnsSocket_ = -1;  // receiver thread only

    std::atomic<int> loggedIn_{0};
    std::atomic<int> connectState_{Idle};
    std::atomic<int> connectFailure_{0};
    std::atomic<bool> connectFailureDdns_{false};
    std::atomic<uint32_t> timeoutMs_{kDefaultTimeoutMs};
    std::atomic<uint32_t> replyWaitMs_{kDefaultReplyWaitMs};
    std::atomic<uint16_t> status_[5] = {};

    struct AtomicCounters {
        std::atomic<uint64_t> videoQueued{0}, videoDroppedFull{0};
        std::atomic<uint64_t> audioQueued{0}, audioDroppedFull{0};
        std::atomic<uint64_t> controlMessages{0};
        std::atomic<uint64_t> bytesReceived{0}, reconnections{0}, logins{0};
        std::atomic<uint64_t> videoTooLong{0}, audioTooLong{0}, controlTooLong{0};
        std::atomic<uint64_t> garbageBytes{0}, connectFailures{0};
    };
    AtomicCounters counters_;

    StreamSplitter splitter_;
    std::unique_ptr<uint8_t[]> receive_;  // kReceiveBytes, also collects login replies
    media::CZoBufferList videoQueue_;
    media::CZoBufferList audioQueue_;
};

}  // namespace zo::net
