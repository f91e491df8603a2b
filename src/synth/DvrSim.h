// A simulated DVR on 127.0.0.1 for tests, demos and `zrf dvr-sim`: it takes
// a client's login (the password's MD5 digest as 32 hex characters), answers
// wait / accept / refuse, streams live pictures and sound in real time,
// sends the control messages 7 (status value), 8 (status values) and 11
// (drop), takes key commands and the logout, and can misbehave in each of
// the ways of DvrFault.
//
// Connections are served one at a time, in the order they arrive; a client
// that connects while another is served waits in the listen queue.
//
// What it received is kept in an event log and every frame it sent in a
// frame record (index, connection, camera, kind, picture counter, md5), so a
// test can check what a client made of the stream.
//
// Threads: Start, Stop and the option setters belong to the owner. The
// triggers (SendStatusValue, ..., ResetNow), the log and record queries and
// the waits may be called from any thread. The callbacks of the options run
// on the simulator's thread and must not call Stop.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "media/RecordingFormat.h"
#include "platform/Clock.h"
#include "synth/LiveStream.h"

namespace zo::synth {

enum class DvrFault {
    None,
    Silence,              // after faultAfterFrames frames of a connection, sends nothing more on it
    Reset,                // after faultAfterFrames frames of a connection, resets it (TCP RST)
    Slow,                 // every byte in a send of its own, slowByteGapUs apart
    SplitStartCodes,      // every frame's start code split across two sends, 1, 2 or 3 bytes in the first
    OversizeFrames,       // every faultEveryFrames-th picture padded beyond 131072 bytes
    OverlongControl,      // every faultEveryFrames frames, a message 8 of 1536 bytes in the middle of a frame
    Garbage,              // bytes that start no frame (00 00 01 FB.., random) before the stream and after every frame
    WrongReplyStartCode,  // the login reply begins with 00 00 01 FD
    RefuseTooManyClients, // refuses every login, code 2 reason 1 "Too many client."
    RefuseIncorrectPassword,  // refuses every login, code 2 reason 2 "Incorrect password."
    RefuseBadNetwork,     // refuses every login, code 4 reason 3 "Bad network"
    RefuseUnknownReason,  // refuses every login, code 4 reason 9 ("Unkown error.")
    NoLoginReply,         // reads the login and never answers
    Flood,                // streams as fast as the connection takes it, ignoring the clock
};

// The names used by `zrf dvr-sim --fault` ("none", "silence", ...).
std::string_view DvrFaultName(DvrFault fault);
// One line for `--help` and the documentation.
std::string_view DvrFaultDescription(DvrFault fault);
bool DvrFaultFromName(std::string_view name, DvrFault& fault);
std::span<const DvrFault> AllDvrFaults();

enum class DvrEventKind {
    Connected,     // a client connected
    Login,         // a login request: digest as received, and the answer, logged just before it goes out
    Key,           // a key command: value
    Logout,        // a logout message
    BadRequest,    // bytes from the client that are no message the DVR knows
    ControlSent,   // the DVR sends control message `value` (7, 8 or 11); logged just before it goes out
    Silent,        // the DVR fell silent on the connection
    Reset,         // the DVR reset the connection
    Disconnected,  // the connection ended
};

struct DvrEvent {
    DvrEventKind kind = DvrEventKind::Connected;
    int connection = 0;    // 1, 2, ... in order of arrival
    int value = 0;         // Key: key code; Login: reply code (3 accepted, 2/4 refused, 1 wait, 0 none); ControlSent: code
    int reason = 0;        // Login refused: the reason code sent
    std::string digest;    // Login: the 32 characters received
    std::string text;      // one line saying what happened
};

struct SentFrame {
    uint64_t index = 0;    // 0, 1, ... over the simulator's life
    int connection = 0;
    media::FrameKind kind = media::FrameKind::Video;
    int channel = 0;       // camera of a picture; 0 for sound
    bool key = false;
    int pictureCounter = -1;  // -1 for sound
    uint32_t length = 0;   // bytes from the start code to the next start code (trailing garbage included)
    std::string md5;       // of those bytes
    // md5 of what a receiver hands on: the frame's own bytes (trailing
    // garbage left out) for a picture, those after the 6-byte header for sound.
    std::string deliveredMd5;
    bool oversize = false; // longer than a frame may be
    int64_t sentUs = 0;    // clock time when its last byte was sent
};

struct DvrSimOptions {
    uint16_t port = 0;          // 0: an ephemeral port (see Port())
    std::string password;       // the bytes whose MD5 a login must carry
    DvrFault fault = DvrFault::None;
    int faultAfterFrames = 30;  // Silence, Reset
    int faultEveryFrames = 10;  // OversizeFrames, OverlongControl
    int slowByteGapUs = 50;     // Slow
    int loginWaits = 0;         // "wait" replies before the verdict
    int loginWaitGapMs = 300;   // between them
    int acceptPauseMs = 100;    // after the accepting reply, before the stream
    int statusEveryMs = 0;      // message 7 this often while streaming; 0: never
    uint16_t statusValues[5] = {1, 0, 0, 0, 1};  // message 8 sent after the accept
    uint16_t firstCounter = 0;  // picture counter of the first picture; it runs on over connections
    size_t chunkBytes = 4096;   // sends of a frame; control messages go between them
    size_t recordLimit = 200000;  // frames kept in the frame record (later ones only counted)
    // Frames to stream; nullptr: made from loopOptions by Start.
    std::shared_ptr<const LiveLoop> loop;
    LiveLoopOptions loopOptions;
    platform::Clock* clock = nullptr;  // paces the stream; nullptr: the system clock
    std::function<void(const DvrEvent&)> onEvent;
    std::function<void(const SentFrame&)> onFrameSent;
};

class DvrSim {
public:
    explicit DvrSim(DvrSimOptions options = {});
    ~DvrSim();
    DvrSim(const DvrSim&) = delete;
    DvrSim& operator=(const DvrSim&) = delete;

    // Listens on 127.0.0.1 and starts serving. false and Error() when the
    // port cannot be bound or the simulator runs already.
    bool Start();
    // Ends the connection being served and joins the thread.
    void Stop();
    uint16_t Port() const { return port_.load(); }
    const std::string& Error() const { return error_; }

    // Before Start only.
    void SetFault(DvrFault fault) { options_.fault = fault; }
    void SetPassword(std::string password) { options_.password = std::move(password); }

    // Triggers for the connection being streamed, carried out at its next
    // send boundary (control messages may land inside a frame). A trigger
    // given while nothing streams is kept for the next stream.
    void SendStatusValue(uint16_t value);           // message 7
    void SendStatusValues(const uint16_t values[5]);  // message 8
    void SendDrop();                                // message 11, then the DVR closes the connection
    void GoSilent();                                // at the next frame boundary
    void ResetNow();                                // at the next frame boundary

    // The event log.
    std::vector<DvrEvent> Events() const;
    int Count(DvrEventKind kind) const;
    std::vector<int> Keys() const;  // key codes in the order received
    // Waits (real time) until at least `count` events of `kind` are logged.
    bool WaitForEvents(DvrEventKind kind, int count, int64_t timeoutMs) const;

    // The frame record.
    std::vector<SentFrame> SentFrames() const;
    uint64_t SentCount() const;  // every frame sent, recorded or not
    bool WaitForSentFrames(uint64_t count, int64_t timeoutMs) const;

private:
    enum class TriggerKind { Status7, Status8, Drop, Silent, Reset };
    struct Trigger {
        TriggerKind kind = TriggerKind::Status7;
        uint16_t values[5] = {};
    };
    enum class Outcome { Continue, PeerGone, Stopped };
    struct Connection;

    void Serve();
    void Session(int fd, int id);
    Outcome Login(Connection& c);
    void Stream(Connection& c);
    // Waits until the client closes (or the DVR stops, or `limitMs` passes),
    // still logging what it sends.
    void Hold(Connection& c, int64_t limitMs);

    Outcome Pump(Connection& c);  // reads and logs what the client sent, without blocking
    void HandleMessages(Connection& c);
    bool SendAll(Connection& c, const uint8_t* data, size_t size);
    bool SendControl(Connection& c, int code, std::span<const uint16_t> values, size_t totalLength = 0);
    // Sends one frame's wire bytes (`frameBytes` of frame, then any garbage)
    // and records it.
    bool SendFrame(Connection& c, const std::vector<uint8_t>& wire, size_t frameBytes, const LiveFrame& frame,
                   int counter);
    // Carries out pending control triggers; false if the connection ended.
    bool RunControlTriggers(Connection& c);
    bool TakeTrigger(TriggerKind kind);
    void Log(DvrEvent event);
    void Record(SentFrame frame);
    bool Stopping() const { return stop_.load(); }

    DvrSimOptions options_;
    platform::Clock* clock_;
    std::shared_ptr<const LiveLoop> loop_;
    std::string error_;
    int listenFd_ = -1;
    std::atomic<uint16_t> port_{0};
    std::atomic<bool> stop_{false};
    std::thread thread_;
    uint16_t counter_ = 0;   // picture counter, on the simulator's thread only
    uint32_t garbageSeed_ = 1;

    mutable std::mutex mutex_;  // guards everything below
    mutable std::condition_variable changed_;
    std::vector<DvrEvent> events_;
    std::vector<SentFrame> sent_;
    uint64_t sentCount_ = 0;
    std::deque<Trigger> triggers_;
};

// Parses what a client sends a DVR: messages 00 00 01 FE, total length and
// code as four hex digits each, and the body. Bytes are hostile: anything
// that is not a well-formed message is skipped up to the next 00 00 01 FE.
class ClientMessageParser {
public:
    struct Message {
        int code = -1;          // -1: bytes that were skipped
        std::string body;       // bytes after the 12-byte head
        size_t skipped = 0;     // for code -1: how many bytes
    };
    static constexpr size_t kMaxMessageBytes = 1024;

    // Appends bytes; complete messages (and skipped stretches) come out of Next.
    void Feed(const uint8_t* data, size_t size);
    bool Next(Message& out);

private:
    std::vector<uint8_t> pending_;
};

// Four hex digits as the protocol writes them; -1 if any is not a hex digit.
int ParseHex4(const char* text);

}  // namespace zo::synth
