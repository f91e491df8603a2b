// Splits the DVR's live byte stream into video frames, sound frames and
// control messages.
//
// Start codes 00 00 01 F8 and F9 begin a video frame, 00 00 01 FA a sound
// frame, 00 00 01 FE a control message. 00 00 01 FB, FC, FD and FF begin no
// frame the client takes (a recording would read FB..FD as sound of other
// channels): they end the open frame like a frame start code, and they and
// the bytes after them up to the next start code are dropped and counted.
// Any other byte sequence (slice codes included) is frame content. A frame
// runs to the next start code of these and is handed on when the first byte
// after that start code arrives. A control message is delimited by its total
// length and may stand inside a frame: it is handled and the frame goes on
// with its bytes unchanged. Bytes before the first start code are dropped
// and counted too.
//
// What is handed on:
// - a video frame: its own start code and content, at most 131072 bytes;
// - a sound frame: its content without the start code and without the two
//   bytes after it, at most 4096 bytes;
// - a control message: its bytes from its start code on, when all of them
//   are in; messages longer than 1024 bytes are skipped.
// Longer frames are dropped and counted.
//
// The state lives across Feed calls, so any chunking of the same bytes gives
// the same output. Buffers are allocated once, at construction.
//
// Threads: one thread at a time (the network receiver); not locked.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

namespace zo::net {

class StreamSink {
public:
    virtual ~StreamSink() = default;
    // A whole video frame, start code included.
    virtual void OnVideoFrame(std::span<const uint8_t> frame) = 0;
    // The content of a sound frame (may be empty).
    virtual void OnAudioFrame(std::span<const uint8_t> payload) = 0;
    // A control message of at most 1024 bytes, start code included; shorter
    // than 12 bytes when its total length said so (a total below 8 ends it
    // after 8 bytes).
    virtual void OnControlMessage(std::span<const uint8_t> message) = 0;
};

class StreamSplitter {
public:
    static constexpr size_t kVideoCapacity = 131072;  // start code included
    static constexpr size_t kAudioCapacity = 4096;
    static constexpr size_t kControlCapacity = 1024;

    struct Counters {
        uint64_t videoTooLong = 0;    // video frames longer than 131072 bytes, dropped
        uint64_t audioTooLong = 0;    // sound payloads longer than 4096 bytes, dropped
        uint64_t controlTooLong = 0;  // control messages longer than 1024 bytes, skipped
        uint64_t garbageBytes = 0;    // bytes outside any frame or message, dropped
    };

    // `sink` may be null (everything is then dropped) and is set later.
    explicit StreamSplitter(StreamSink* sink = nullptr);
    StreamSplitter(const StreamSplitter&) = delete;
    StreamSplitter& operator=(const StreamSplitter&) = delete;

    void SetSink(StreamSink* sink) { sink_ = sink; }

    // Processes `size` more bytes of the stream; hands on what they complete.
    void Feed(const uint8_t* data, size_t size);
    void Feed(std::span<const uint8_t> bytes) { Feed(bytes.data(), bytes.size()); }

    const Counters& GetCounters() const { return counters_; }

private:
    enum class Mode : uint8_t { None, Video, Audio, Control };

    size_t NextStartCode(const uint8_t* d, size_t from, size_t size) const;
    void Deliver(const uint8_t* d, size_t n);
    void DeliverMedia(const uint8_t* d, size_t n);
    void OnStartCode(uint8_t code);
    void HandOnCompleted();
    void EndControl();

    StreamSink* sink_ = nullptr;
    std::unique_ptr<uint8_t[]> video_;    // start code + content
    std::unique_ptr<uint8_t[]> audio_;    // content after the two skipped bytes
    std::unique_ptr<uint8_t[]> control_;  // start code + message

    uint32_t last4_ = 0xFFFFFFFFu;  // the last four bytes of the stream
    Mode mode_ = Mode::None;
    Mode previousMode_ = Mode::None;  // mode to resume after a control message
    // Bytes given to the current mode since it was entered (saturates), so
    // that the bytes of a start code that went into a frame can be taken out.
    size_t runBytes_ = 0;
    bool videoOpen_ = false;
    bool audioOpen_ = false;
    bool videoComplete_ = false;  // waits for the next byte to be handed on
    bool audioComplete_ = false;
    uint8_t videoCode_ = 0xF8;        // start code of the frame being collected
    uint8_t completedVideoCode_ = 0;  // start code of the completed frame
    size_t videoBytes_ = 0;           // content bytes after the start code
    size_t audioBytes_ = 0;           // bytes after the start code, the two skipped ones included
    size_t controlBytes_ = 0;         // bytes of the message so far, start code included
    size_t controlTotal_ = 0;         // its total length, once 8 bytes are in
    Counters counters_;
};

}  // namespace zo::net
