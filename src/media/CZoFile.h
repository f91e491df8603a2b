// CZoFile: reads a recording, frame by frame, forward or backward from any
// byte position, from a recording file, a raw DVR disk (byte pairs swapped)
// or a disk image. It keeps no index: every operation works on the blocks
// around the position, so a seek costs one block read whatever the size.
//
// Threads: reads, seeks and Open/Close belong to one thread. GetPosition,
// GetSize and GetTime may be called from any thread for display. SaveRange
// may run on another thread while reads go on; it reads with pread through
// the same source and never disturbs the read position.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "media/BlockGrid.h"
#include "media/ByteSource.h"
#include "media/Disks.h"
#include "media/RecordingFormat.h"
#include "platform/MessagePort.h"

namespace zo::media {

class CZoFile {
public:
    // `messages` receives "Open Error"; nullptr means the default port.
    explicit CZoFile(platform::MessagePort* messages = nullptr);
    virtual ~CZoFile();
    CZoFile(const CZoFile&) = delete;
    CZoFile& operator=(const CZoFile&) = delete;

    // Sets the video code (byte order of the block time, channel bits of
    // header byte A). Always 1.
    int SetFormat(int videoCode);

    // Opens a recording file, a disk image or a block device. `\\.\PHYSICALDRIVEn`
    // opens the n-th disk of the disk list. Returns 1, or 0: silently when the
    // path cannot be opened, with "Open Error" when its size cannot be read.
    int Open(const std::string& path, bool rawDisk);
    // Opens an already opened byte source (memory, tests, fuzzers).
    int OpenSource(std::unique_ptr<ByteSource> source, const std::string& name, bool rawDisk);
    int Close();

    // The block grid (media/BlockGrid.h). A source opens with its first block
    // at byte 0. SetGridOrigin makes the reader read the blocks that start
    // `origin` bytes into the source (0..4095): from then on positions and
    // size count from there, and the position is 0. FindGridOrigin finds the
    // origin by the block scan (it reads the start of the source) and sets
    // it; it returns the origin. Whole-source readers call it after opening.
    int SetGridOrigin(uint32_t origin);
    uint32_t FindGridOrigin();
    int IsOpen() const { return source_ != nullptr; }

    uint64_t GetSize() const { return size_.load(std::memory_order_relaxed); }
    uint64_t GetPosition() const { return position_.load(std::memory_order_relaxed); }
    // A position at or beyond the end becomes size - 1 (0 for an empty source). Always 1.
    int SetPosition(uint64_t position);
    // 0 and no change if the source is empty or `position` is not below its size; else 1.
    int SetStartPosition(uint64_t position);

    // Each read fills `frame` (at least kMaxFrameSize bytes) and returns the
    // frame length, or 0 for no frame.
    int ReadFirstFrame(std::span<uint8_t> frame);
    int ReadNextFrame(std::span<uint8_t> frame);
    int ReadPrevFrame(std::span<uint8_t> frame);

    // 1 and the time of the last valid block header, if there is one.
    int GetTime(CalendarTime& time) const;

    // Writes the blocks covering [start, end] as an ordinary recording file
    // (swapped back for a raw disk). 0 if out of range, over 1 GiB, the
    // output is the source itself or a special file (link, device, FIFO), or
    // a read or write fails; `error` then says why. Nothing partial is left.
    int SaveRange(uint64_t start, uint64_t end, const std::string& outputPath, std::string* error = nullptr) const;

    // Properties of the last read.
    const std::string& Name() const { return name_; }
    bool HasAudio() const { return hasAudio_; }
    bool IsAudio() const { return isAudio_; }
    int Channel() const { return channel_; }
    int FrameLength() const { return frameLength_; }
    int Interval() const { return interval_; }
    int ChannelBits() const { return channelBits_; }
    CalendarTime Time() const;
    int VideoCode() const { return videoCode_; }
    bool RawDisk() const { return rawDisk_; }

    // The open source as the reader sees it, from the block grid's origin on
    // (nullptr when closed), for block-level searches.
    const ByteSource* Source() const { return view_ ? view_.get() : source_.get(); }
    // Bytes before the first block of the grid (0 unless an image starts
    // inside a block).
    uint32_t GridOrigin() const { return origin_; }

    // Where `\\.\PHYSICALDRIVEn` paths are looked up (tests point it at a fake tree).
    void SetDiskRoots(DiskRoots roots) { diskRoots_ = std::move(roots); }

private:
    enum class BlockState { Missing, Damaged, Good };

    // Reads (or finds in the cache) block `index`, decoded; applies its header
    // to interval, channelBits and time as every block read does.
    BlockState LoadBlock(uint64_t index, const uint8_t*& data);
    void ResetFrame();
    void SetPositionValue(uint64_t p) { position_.store(p, std::memory_order_relaxed); }
    int DeliverForward(std::span<uint8_t> frame);
    // The frame in progress at the end of a finished recording, padding off.
    int DeliverLast(std::span<uint8_t> frame);
    // The last frame of a finished recording when its start code begins at
    // `start`, read forward; 0 if what follows is not that.
    int ReadLastFrameAt(uint64_t start, std::span<uint8_t> frame);
    // Where a backward read rests after delivering the frame whose start
    // code begins at offset `match` of `block`.
    uint64_t RestInside(uint64_t block, size_t match) const;
    int DeliverBackward(std::span<uint8_t> frame, uint8_t code);

    platform::MessagePort* messages_;
    DiskRoots diskRoots_;
    std::unique_ptr<ByteSource> source_;
    std::unique_ptr<GridSource> view_;  // the source from the origin on, when it is not 0
    std::string name_;
    std::atomic<uint64_t> size_{0};
    std::atomic<uint64_t> position_{0};
    bool hasAudio_ = false;
    int interval_ = 0;
    bool isAudio_ = false;
    int channelBits_ = 0;
    int frameLength_ = 0;
    int channel_ = 0;
    int collected_ = 0;
    // Seconds of the last valid block header, or -1 before there is one.
    std::atomic<int64_t> timeSeconds_{-1};
    int videoCode_ = kVideoZOC;
    bool rawDisk_ = false;
    uint32_t origin_ = 0;
    uint64_t startPosition_ = 0;

    // The 32-bit start-code register and where it stands: it holds the four
    // stream bytes before `registerNext_` when `registerValid_` (forward
    // only); any other read starts it afresh, all bits set.
    uint32_t shiftRegister_ = 0xFFFFFFFFu;
    bool registerValid_ = false;
    uint64_t registerNext_ = 0;

    bool collecting_ = false;

    // Read-ahead window: up to kWindowBlocks consecutive complete blocks,
    // read with one call, ahead of the block asked for when reading forward
    // and behind it when reading backward. Headers are decoded (and raw-disk
    // byte pairs swapped) once, on a block's first use.
    static constexpr size_t kWindowBlocks = 16;
    void ForgetWindow() { windowCount_ = 0; }
    std::vector<uint8_t> window_;  // kWindowBlocks x kBlockSize bytes
    BlockHeader windowHeaders_[kWindowBlocks];
    uint32_t windowDecoded_ = 0;  // bit i: block i's header is decoded
    uint64_t windowFirst_ = 0;    // index of the window's first block
    size_t windowCount_ = 0;      // complete blocks in the window
    std::vector<uint8_t> collection_;  // kMaxFrameSize bytes
};

}  // namespace zo::media
