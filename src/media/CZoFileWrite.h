// CZoFileWrite: records live frames into a local recording file.
//
// Live frames arrive in the network header layout (video code 2, with its
// big-endian picture counter). The writer converts each picture header to
// the layout of the file's video code, derives the record interval from the
// picture counters, starts the file at the first key picture and lays the
// frames into 4096-byte blocks with time stamps and check bytes, so that
// CZoFile, the player and the export read the file like any other
// recording. Under file code 0 the blocks carry that generation's 8-byte
// calendar record instead of a checked header, with video and sound in
// blocks of their own.
//
// Threads: one lock guards every field. The live-view worker calls
// WriteVideoFrame and WriteSoundFrame (and StopRecording when it ends); the
// user-interface thread calls Init, StartRecording, StopRecording,
// IsRecording and the progress getters. A write that races a stop either
// lands before the stop completes the file or is refused after it.
//
// Blocks are assembled in the writer's own buffers and written whole, so the
// file on disk always ends on a block boundary while recording. Nothing is
// allocated per frame. When a write fails (disk full), recording stops: the
// file is cut back to the last whole block written, every block before it
// stays readable, and the failure is kept as the last error text (and shown
// as "Record Write Error" on the message port, if one was given).
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "media/CZoBufferList.h"
#include "media/RecordingFormat.h"
#include "platform/MessagePort.h"

namespace zo::media {

// Where the writer's bytes go: a file by default, memory or a failing device
// in tests. Results are 0 for success or an errno value. Used by one thread
// at a time (the writer calls it under its lock).
class RecordingSink {
public:
    virtual ~RecordingSink() = default;
    // Creates `path` for writing. EEXIST when the file exists and the sink
    // does not replace files.
    virtual int Create(const std::string& path) = 0;
    // Writes all `size` bytes, or fails (ENOSPC for a full disk); after a
    // failure part of the bytes may have been written.
    virtual int Write(const uint8_t* data, size_t size) = 0;
    // Cuts the file to `size` bytes.
    virtual int Truncate(uint64_t size) = 0;
    // Flushes the file to the device.
    virtual int Sync() = 0;
    // Closes the file; no effect if none is open.
    virtual int Close() = 0;
};

// A file written with write(2). Exclusive mode never replaces a file that
// exists (Create gives EEXIST); Replace mode truncates it, and also opens
// devices such as /dev/full.
class FileSink final : public RecordingSink {
public:
    enum class Mode { Exclusive, Replace };
    explicit FileSink(Mode mode = Mode::Exclusive) : mode_(mode) {}
    ~FileSink() override;
    FileSink(const FileSink&) = delete;
    FileSink& operator=(const FileSink&) = delete;

    int Create(const std::string& path) override;
    int Write(const uint8_t* data, size_t size) override;
    int Truncate(uint64_t size) override;
    int Sync() override;
    int Close() override;

private:
    Mode mode_;
    int fd_ = -1;
};

// The local wall-clock time as seconds since 1970-01-01 00:00:00 of the
// local calendar, counted as if it were universal time. Readers break block
// times down with no zone shift, so block times written this way show the
// local time of recording, as the recorder's own recordings do.
class LocalTimeSource {
public:
    virtual ~LocalTimeSource() = default;
    virtual int64_t LocalSecondsNow() = 0;
};

// time(2) shifted by the zone offset of localtime_r, looked up again only
// when the second changes. One caller at a time.
class SystemLocalTime final : public LocalTimeSource {
public:
    int64_t LocalSecondsNow() override;

private:
    int64_t lastUtc_ = INT64_MIN;
    int64_t offset_ = 0;
};

// Progress of the current (or last) recording.
struct FileWriteStats {
    uint64_t bytesWritten = 0;        // bytes in the file, whole blocks
    uint64_t videoFramesWritten = 0;  // pictures stored
    uint64_t soundFramesWritten = 0;  // sound frames stored
    uint64_t framesDropped = 0;       // frames handed in while recording and not stored
    uint64_t framesBeforeKey = 0;     // of those, the ones before the first key picture
};

class CZoFileWrite {
public:
    // `sink`: nullptr means an exclusive FileSink. `clock`: nullptr means the
    // system's local time. `messages`: receives "Record Write Error" when a
    // write fails while recording; nullptr shows nothing (the caller reads
    // GetLastErrorText). The clock and the port must outlive the writer.
    explicit CZoFileWrite(std::unique_ptr<RecordingSink> sink = nullptr, LocalTimeSource* clock = nullptr,
                          platform::MessagePort* messages = nullptr);
    // Completes a recording still running.
    virtual ~CZoFileWrite();
    CZoFileWrite(const CZoFileWrite&) = delete;
    CZoFileWrite& operator=(const CZoFileWrite&) = delete;

    // User-interface thread, while not recording. `sourceCode`: header layout
    // of the frames handed in (2 for live frames); `fileCode`: video code of
    // the file written; `channelCount`: panes of the live view (1..16).
    // 1, or 0 for a code outside 0..6, a channel count outside 1..16, or
    // while recording (nothing changes then).
    int Init(int sourceCode, int fileCode, int channelCount);

    // User-interface thread. Creates the file and begins recording; the file
    // begins with the first key picture that arrives. When `path` exists, the
    // first free name "<stem>-2<ext>", "<stem>-3<ext>", ... is used instead,
    // so a second recording within the same second never replaces the
    // first; GetPath gives the name chosen. 1 on success; 0 when already
    // recording (the running recording goes on) or the file cannot be
    // created, with the reason in GetLastErrorText.
    int StartRecording(const std::string& path);
    // User-interface thread. StartRecording in `folder` with the name of
    // the current local time, "%Y%m%d-%H%M%S" followed by ".ZRF".
    int StartRecordingInFolder(const std::string& folder);

    // Any thread (user-interface thread or live-view worker). Completes the
    // last block with zero fill, writes it, flushes and closes the file.
    // 1 when a recording was completed; 0 when none was running or the
    // completion failed (the reason in GetLastErrorText).
    int StopRecording();

    // Any thread; never waits for the lock. 1 while a file is open.
    int IsRecording() const { return recording_.load(std::memory_order_acquire) ? 1 : 0; }

    // Live-view worker. Stores one video frame (start code included, header
    // in the source layout) with its header converted to the file's layout.
    // The caller's bytes are not changed. 1 if stored; 0 when not recording,
    // before the first key picture, for a frame that is not a picture of at
    // most 131072 bytes, or when the write failed (recording then stops).
    // A stored frame waits in the block being filled until the block is
    // full; a write failure later loses that block.
    int WriteVideoFrame(const uint8_t* frame, size_t length);
    int WriteVideoFrame(const CZoSample& sample);

    // Live-view worker. Stores one sound frame of audio channel 0: `data` are
    // the samples without any header, as the network source queues them.
    // 1 if stored; 0 when not recording, before the first key picture, for
    // no samples or more than fit a frame, or when the write failed.
    int WriteSoundFrame(const uint8_t* data, size_t length);
    int WriteSoundFrame(const CZoSample& sample);

    // Any thread. The file of the current or last recording ("" before the
    // first), the last failure ("" when none), and the progress counters.
    std::string GetPath() const;
    std::string GetLastErrorText() const;
    FileWriteStats GetStats() const;

    // Any thread. The record interval currently written into block headers.
    int GetInterval() const;

    // The file name of a recording started at `localSeconds` (see
    // LocalTimeSource): "%Y%m%d-%H%M%S.ZRF", for example 20090314-123456.ZRF.
    static std::string RecordingFileName(int64_t localSeconds);

private:
    struct Block {
        uint8_t bytes[kBlockSize] = {};
        size_t fill = 0;  // 0: no block begun
    };

    // The locked halves; `mutex_` is held.
    void PrepareCall();
    bool Lay(Block& block, bool sound, const uint8_t* data, size_t size);
    bool FlushBlock(Block& block, bool sound);
    void CompleteBlock(Block& block, bool sound);
    int StopLocked();
    void FailLocked(int error, const char* what);
    void UpdateInterval(uint16_t counter);
    int DropLocked(bool beforeKey);

    std::unique_ptr<RecordingSink> sink_;
    SystemLocalTime systemTime_;
    LocalTimeSource* clock_;
    platform::MessagePort* messages_;

    mutable std::mutex mutex_;  // guards everything below; recording_ is written only under it
    int sourceCode_ = kVideoZON;
    int fileCode_ = kVideoZOC;
    int channelCount_ = 8;
    bool haveCounter_ = false;  // a counter has been seen since recording began
    uint16_t counter_ = 0;      // picture counter of the last frame
    int interval_ = 1;          // record interval of the blocks begun now (bits 0-6 used)
    uint32_t callSeconds_ = 0;  // block time of the current call
    std::atomic<bool> recording_{false};
    bool started_ = false;  // a key picture has been stored
    bool storedAny_ = false;
    bool failed_ = false;   // a write failure stopped recording and is not yet shown
    Block block_;           // file codes 1..6: the block being filled
    Block videoBlock_;      // file code 0: the video block being filled
    Block soundBlock_;      // file code 0: the sound block being filled
    std::string path_;
    std::string lastError_;
    FileWriteStats stats_;
};

}  // namespace zo::media
