#include "media/CZoFile.h"

#include "media/StartCodeScan.h"
#include "platform/OutputFile.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zo::media {
namespace {

constexpr size_t kNone = SIZE_MAX;
constexpr uint64_t kMaxSaveBytes = 0x40000000;  // 1 GiB

// Register after shifting the last byte of 00 00 01 F8..FD (reading forward).
inline bool IsForwardStart(uint32_t reg) { return reg - 0x000001F8u <= 5u; }
// Register after shifting the first 00 of a start code (reading backward):
// F8 01 00 00 to FD 01 00 00.
inline bool IsBackwardStart(uint32_t reg) {
    return (reg & 0x00FFFFFFu) == 0x00010000u && (reg >> 24) - 0xF8u <= 5u;
}

// Shifts the data bytes d[from..4095] into `reg` in order and returns the
// index of the first byte after which the register holds a start code, or
// kBlockSize. On return `reg` is the register after the last byte shifted.
size_t ScanUp(const uint8_t* d, size_t from, uint32_t& reg) {
    size_t i = from;
    // The first three tests involve bytes carried in the register.
    const size_t carriedEnd = std::min(from + 3, kBlockSize);
    for (; i < carriedEnd; ++i) {
        reg = (reg << 8) | d[i];
        if (IsForwardStart(reg))
            return i;
    }
    if (i >= kBlockSize)
        return kBlockSize;
    const size_t j = FindStartForward()(d, i, kBlockSize);
    if (j < kBlockSize) {
        reg = 0x00000100u | d[j];
        return j;
    }
    reg = (uint32_t{d[4092]} << 24) | (uint32_t{d[4093]} << 16) | (uint32_t{d[4094]} << 8) | d[4095];
    return kBlockSize;
}

// Shifts d[top], d[top-1], ..., d[8] into `reg` (walking backward) and returns
// the index of the first byte after which the register holds a start code
// seen from behind, or kNone.
size_t ScanDown(const uint8_t* d, size_t top, uint32_t& reg) {
    if (top < kBlockHeaderSize)
        return kNone;
    size_t k = top + 1;
    const size_t carriedLow = top >= kBlockHeaderSize + 2 ? top - 2 : kBlockHeaderSize;
    while (k > carriedLow) {
        --k;
        reg = (reg << 8) | d[k];
        if (IsBackwardStart(reg))
            return k;
    }
    if (k == kBlockHeaderSize)
        return kNone;
    const size_t q = FindStartBackward()(d, kBlockHeaderSize, k + 2);
    if (q != kNoStartCode) {
        reg = (uint32_t{d[q + 3]} << 24) | (uint32_t{d[q + 2]} << 16) | (uint32_t{d[q + 1]} << 8) | d[q];
        return q;
    }
    reg = (uint32_t{d[11]} << 24) | (uint32_t{d[10]} << 16) | (uint32_t{d[9]} << 8) | d[8];
    return kNone;
}

}  // namespace

CZoFile::CZoFile(platform::MessagePort* messages)
    : messages_(messages ? messages : &platform::DefaultMessagePort()), window_(kWindowBlocks * kBlockSize), collection_(kMaxFrameSize) {
    collection_[0] = 0x00;
    collection_[1] = 0x00;
    collection_[2] = 0x01;
    collection_[3] = 0xF8;
}

CZoFile::~CZoFile() { Close(); }

int CZoFile::SetFormat(int videoCode) {
    if (videoCode != videoCode_)
        ForgetWindow();  // its headers were decoded for the other format
    videoCode_ = videoCode;
    return 1;
}

int CZoFile::Open(const std::string& path, bool rawDisk) {
    if (IsOpen())
        Close();
    std::string actual = path;
    std::string device;
    if (ResolvePhysicalDrivePath(path, diskRoots_, device)) {
        if (device.empty())
            return 0;
        actual = device;
    }
    OpenStatus status = OpenStatus::CannotOpen;
    std::unique_ptr<FileSource> source = FileSource::Open(actual, status);
    if (status == OpenStatus::NoSize) {
        messages_->Show("Open Error");
        return 0;
    }
    if (!source)
        return 0;
    return OpenSource(std::move(source), path, rawDisk);
}

int CZoFile::OpenSource(std::unique_ptr<ByteSource> source, const std::string& name, bool rawDisk) {
    if (IsOpen())
        Close();
    if (!source)
        return 0;
    source_ = std::move(source);
    view_.reset();
    origin_ = 0;
    rawDisk_ = rawDisk;
    channelBits_ = 0;
    size_.store(source_->Size(), std::memory_order_relaxed);
    SetPositionValue(0);
    name_ = name;
    // A new source shows no time until one of its blocks has been read.
    timeSeconds_.store(-1, std::memory_order_relaxed);
    ForgetWindow();
    registerValid_ = false;
    ResetFrame();
    return 1;
}

int CZoFile::Close() {
    view_.reset();
    source_.reset();
    origin_ = 0;
    size_.store(0, std::memory_order_relaxed);
    SetPositionValue(0);
    startPosition_ = 0;
    name_.clear();
    hasAudio_ = false;
    channelBits_ = 0;
    ForgetWindow();
    registerValid_ = false;
    return 1;
}

int CZoFile::SetGridOrigin(uint32_t origin) {
    if (!IsOpen() || origin >= kBlockSize)
        return 0;
    if (origin != origin_) {
        view_.reset();
        if (origin != 0)
            view_ = std::make_unique<GridSource>(*source_, origin);
        origin_ = origin;
        size_.store(Source()->Size(), std::memory_order_relaxed);
        SetPositionValue(0);
        startPosition_ = 0;
        timeSeconds_.store(-1, std::memory_order_relaxed);
        ForgetWindow();
        registerValid_ = false;
        ResetFrame();
    }
    return 1;
}

uint32_t CZoFile::FindGridOrigin() {
    if (!IsOpen())
        return 0;
    SetGridOrigin(FindBlockGridOrigin(*source_, rawDisk_));
    return origin_;
}

int CZoFile::SetPosition(uint64_t position) {
    const uint64_t size = GetSize();
    if (position >= size)
        position = size == 0 ? 0 : size - 1;
    SetPositionValue(position);
    return 1;
}

int CZoFile::SetStartPosition(uint64_t position) {
    const uint64_t size = GetSize();
    if (size == 0 || position >= size)
        return 0;
    startPosition_ = position;
    return 1;
}

CalendarTime CZoFile::Time() const {
    const int64_t seconds = timeSeconds_.load(std::memory_order_relaxed);
    if (seconds < 0) {
        CalendarTime initial;  // year 2000, month 1, day 0, hour 1: not a valid time
        initial.year = 2000;
        initial.month = 1;
        initial.hour = 1;
        return initial;
    }
    return CalendarFromUnixSeconds(static_cast<uint32_t>(seconds));
}

int CZoFile::GetTime(CalendarTime& time) const {
    if (!IsOpen())
        return 0;
    const CalendarTime t = Time();
    if (t.year < 1900 || t.month < 1 || t.month > 12 || t.day < 1 || t.day > 31 || t.hour > 23 ||
        t.minute > 59 || t.second > 59)
        return 0;
    time = t;
    return 1;
}

void CZoFile::ResetFrame() {
    collecting_ = false;
    collected_ = 0;
}

CZoFile::BlockState CZoFile::LoadBlock(uint64_t index, const uint8_t*& data) {
    if (index < windowFirst_ || index - windowFirst_ >= windowCount_) {
        // A miss just below the window continues a backward read: the new
        // window ends one block after it, where a backward read rests when a
        // start code straddles the boundary. Any other miss starts the
        // window at the block.
        uint64_t first = index;
        if (windowCount_ > 0 && index + 1 == windowFirst_)
            first = index >= kWindowBlocks - 2 ? index - (kWindowBlocks - 2) : 0;
        windowCount_ = 0;
        windowDecoded_ = 0;
        const ByteSource& source = *Source();
        const int64_t got = source.ReadAt(first * kBlockSize, window_.data(), window_.size());
        size_t count = got > 0 ? static_cast<size_t>(got) / kBlockSize : 0;  // complete blocks only
        if (index - first >= count) {
            // An error inside the window, or its end: the block alone, as if
            // read by itself, so a damaged area costs no more than its blocks.
            first = index;
            count = source.ReadAt(index * kBlockSize, window_.data(), kBlockSize) ==
                            static_cast<int64_t>(kBlockSize)
                        ? 1
                        : 0;
            if (count == 0)
                return BlockState::Missing;  // not kept: a later read may find it complete
        }
        windowFirst_ = first;
        windowCount_ = count;
    }
    const size_t i = static_cast<size_t>(index - windowFirst_);
    uint8_t* bytes = window_.data() + i * kBlockSize;
    if (!(windowDecoded_ & (1u << i))) {
        windowHeaders_[i] = DecodeStoredBlock(bytes, videoCode_, rawDisk_);
        windowDecoded_ |= 1u << i;
    }
    const BlockHeader* slot = &windowHeaders_[i];
    data = bytes;
    // Interval and channel bits come from every header read, the time only
    // from one whose check byte matches.
    interval_ = slot->interval;
    channelBits_ = slot->channelBits;
    if (!slot->valid)
        return BlockState::Damaged;
    timeSeconds_.store(slot->timeSeconds, std::memory_order_relaxed);
    return BlockState::Good;
}

int CZoFile::ReadNextFrame(std::span<uint8_t> frame) {
    const int length = DeliverForward(frame);
    if (length == 0)
        isAudio_ = false;
    else if (isAudio_)
        hasAudio_ = true;
    return length;
}

int CZoFile::DeliverForward(std::span<uint8_t> frame) {
    if (!IsOpen() || frame.size() < kMaxFrameSize)
        return 0;
    ResetFrame();  // every read starts a fresh frame
    const uint64_t position = GetPosition();
    uint64_t block = position / kBlockSize;
    size_t offset = position % kBlockSize;
    if (offset < kBlockHeaderSize)
        offset = kBlockHeaderSize;  // offsets 0-7 hold no stream bytes
    // The register carries over only if this read continues the stream
    // exactly where the last forward scan stopped.
    const bool continues = registerValid_ && registerNext_ == block * kBlockSize + offset;
    uint32_t reg = continues ? shiftRegister_ : 0xFFFFFFFFu;
    registerValid_ = false;

    const uint8_t* data = nullptr;
    BlockState state = LoadBlock(block, data);
    if (state == BlockState::Missing) {
        ResetFrame();
        registerValid_ = continues;  // nothing was shifted
        return 0;
    }
    if (state == BlockState::Damaged) {
        SetPositionValue((block + 1) * kBlockSize);
        ResetFrame();
        return 0;
    }

    for (;;) {
        const size_t match = ScanUp(data, offset, reg);
        const size_t end = match == kBlockSize ? kBlockSize : match + 1;
        if (collecting_ && static_cast<size_t>(collected_) < kMaxFrameSize) {
            const size_t n = std::min(end - offset, kMaxFrameSize - static_cast<size_t>(collected_));
            std::memcpy(collection_.data() + collected_, data + offset, n);
            collected_ += static_cast<int>(n);
        }
        if (match != kBlockSize) {
            const uint8_t code = data[match];
            offset = match + 1;
            if (!collecting_) {
                // The frame begins.
                collecting_ = true;
                collected_ = 4;
                collection_[3] = code;
                continue;
            }
            // The frame ends where the next start code begins.
            const uint8_t ownCode = collection_[3];
            const bool sound = ownCode >= 0xFA;
            if (sound && collected_ <= 10) {
                // A sound frame without payload is not a frame: the start
                // code just found begins the next one.
                collected_ = 4;
                collection_[3] = code;
                continue;
            }
            collecting_ = false;
            if (sound) {
                isAudio_ = true;
                channel_ = ownCode - 0xFA;
                collected_ -= 10;
                std::memcpy(frame.data(), collection_.data() + 6, static_cast<size_t>(collected_));
            } else {
                isAudio_ = false;
                channel_ = ReaderVideoChannel(videoCode_, collection_[4]);
                collected_ -= 4;
                std::memcpy(frame.data(), collection_.data(), static_cast<size_t>(collected_));
            }
            collection_[3] = code;
            // Rest on the first byte of the start code just found, three
            // stream bytes back, which may lie in the previous block.
            uint64_t rest = 0;
            if (match >= kBlockHeaderSize + 3)
                rest = block * kBlockSize + match - 3;
            else if (block > 0)
                rest = (block - 1) * kBlockSize + kBlockSize - (kBlockHeaderSize + 3 - match);
            else
                rest = kBlockHeaderSize;
            SetPositionValue(rest);
            frameLength_ = collected_;
            return collected_;
        }

        // On to the next block.
        const bool zeroTail = data[kBlockSize - 1] == 0;
        ++block;
        state = LoadBlock(block, data);
        if (state == BlockState::Missing) {
            // End of data; a later read from here continues the register
            // (the source may have grown).
            SetPositionValue(block * kBlockSize);
            shiftRegister_ = reg;
            registerValid_ = true;
            registerNext_ = block * kBlockSize + kBlockHeaderSize;
            // A finished recording ends on a whole block completed with zero
            // fill: its last frame is whole and is delivered without the
            // fill. Otherwise (a block still being written) the frame in
            // progress is lost.
            const int length = zeroTail && block * kBlockSize == GetSize() ? DeliverLast(frame) : 0;
            ResetFrame();
            return length;
        }
        if (state == BlockState::Damaged) {
            ResetFrame();
            SetPositionValue((block + 1) * kBlockSize);
            return 0;
        }
        offset = kBlockHeaderSize;
    }
}

int CZoFile::DeliverLast(std::span<uint8_t> frame) {
    if (!collecting_)
        return 0;
    size_t n = static_cast<size_t>(collected_);
    while (n > 4 && collection_[n - 1] == 0)
        --n;
    const uint8_t code = collection_[3];
    collecting_ = false;
    if (code >= 0xFA) {
        if (n <= 6)
            return 0;
        isAudio_ = true;
        channel_ = code - 0xFA;
        n -= 6;
        std::memcpy(frame.data(), collection_.data() + 6, n);
    } else {
        if (n <= 4)
            return 0;
        isAudio_ = false;
        channel_ = ReaderVideoChannel(videoCode_, collection_[4]);
        std::memcpy(frame.data(), collection_.data(), n);
    }
    frameLength_ = static_cast<int>(n);
    return frameLength_;
}

uint64_t CZoFile::RestInside(uint64_t block, size_t match) const {
    // Four stream bytes into the delivered frame, just after its start code.
    uint64_t rest = block * kBlockSize + match + 4;
    if (match + 4 >= kBlockSize) {
        rest = (block + 1) * kBlockSize + kBlockHeaderSize + (match + 4 - kBlockSize);
        if (rest > GetSize())
            rest = (block + 1) * kBlockSize;
    }
    return rest;
}

int CZoFile::ReadLastFrameAt(uint64_t start, std::span<uint8_t> frame) {
    const uint64_t size = GetSize();
    SetPositionValue(start);
    registerValid_ = false;
    ResetFrame();
    const int length = DeliverForward(frame);
    registerValid_ = false;
    ResetFrame();
    if (length > 0 && GetPosition() == size)
        return length;
    return 0;
}

int CZoFile::ReadPrevFrame(std::span<uint8_t> frame) {
    if (!IsOpen() || frame.size() < kMaxFrameSize)
        return 0;
    // A frame is collected within one read only: a read that ended at
    // position 0 must not leave its partial frame to the next one.
    ResetFrame();
    registerValid_ = false;
    uint32_t reg = 0xFFFFFFFFu;
    uint64_t position = GetPosition();
    if (position == 0)
        return 0;
    --position;
    uint64_t block = position / kBlockSize;
    size_t top = position % kBlockSize;
    const uint8_t* data = nullptr;
    BlockState state = LoadBlock(block, data);
    if (state != BlockState::Good) {
        SetPositionValue(block * kBlockSize);
        ResetFrame();
        return 0;
    }
    // From the very end of a finished recording (whole blocks, zero fill at
    // the end) the first frame wanted is the last one, as a forward read
    // delivers it.
    const uint64_t size = GetSize();
    bool fromEnd = position + 2 == size && size % kBlockSize == 0 && data[kBlockSize - 1] == 0;

    for (;;) {
        const size_t match = ScanDown(data, top, reg);
        if (top >= kBlockHeaderSize && collecting_ && static_cast<size_t>(collected_) < kMaxFrameSize) {
            // Bytes [low, top] were shifted; they fill the collection from its end.
            const size_t low = match == kNone ? kBlockHeaderSize : match;
            const size_t room = kMaxFrameSize - static_cast<size_t>(collected_);
            const size_t n = std::min(top - low + 1, room);
            std::memcpy(collection_.data() + room - n, data + top + 1 - n, n);
            collected_ += static_cast<int>(n);
        }
        if (match != kNone) {
            const uint8_t code = static_cast<uint8_t>(reg >> 24);
            top = match - 1;  // match >= 8, so top >= 7
            if (!collecting_ && fromEnd) {
                fromEnd = false;
                const int length = ReadLastFrameAt(block * kBlockSize + match, frame);
                if (length > 0) {
                    SetPositionValue(RestInside(block, match));
                    return length;
                }
                // Not a whole last frame after all: read backward as always.
                LoadBlock(block, data);
            }
            if (!collecting_) {
                // The bytes before this start code are the frame wanted.
                collecting_ = true;
                collected_ = 0;
                continue;
            }
            const bool sound = code >= 0xFA;
            if (sound && collected_ <= 6) {
                // Sound frame without payload: skip it, and look for the frame before.
                collected_ = 0;
                continue;
            }
            collecting_ = false;
            const uint8_t* first = collection_.data() + kMaxFrameSize - collected_;
            if (sound) {
                isAudio_ = true;
                channel_ = code - 0xFA;
                collected_ -= 6;
            } else {
                isAudio_ = false;
                channel_ = collected_ > 4 ? ReaderVideoChannel(videoCode_, first[4]) : 0;
            }
            std::memcpy(frame.data(), collection_.data() + kMaxFrameSize - collected_,
                        static_cast<size_t>(collected_));
            SetPositionValue(RestInside(block, match));
            frameLength_ = collected_;
            return collected_;
        }

        // On to the previous block.
        if (block == 0) {
            SetPositionValue(0);
            return 0;
        }
        --block;
        SetPositionValue(block * kBlockSize + kBlockSize - 1);
        state = LoadBlock(block, data);
        if (state == BlockState::Missing) {
            ResetFrame();
            return 0;
        }
        if (state == BlockState::Damaged) {
            SetPositionValue(block * kBlockSize);
            ResetFrame();
            return 0;
        }
        top = kBlockSize - 1;
    }
}

int CZoFile::ReadFirstFrame(std::span<uint8_t> frame) {
    ResetFrame();
    const uint64_t size = GetSize();
    if (size == 0 || startPosition_ >= size - 1)
        return 0;
    SetPositionValue(startPosition_);
    for (;;) {
        const int length = ReadNextFrame(frame);
        if (length == 0 || !isAudio_)
            return length;
    }
}

int CZoFile::SaveRange(uint64_t start, uint64_t end, const std::string& outputPath, std::string* error) const {
    auto fail = [&](const std::string& why) {
        if (error)
            *error = why;
        return 0;
    };
    const uint64_t size = GetSize();
    if (!IsOpen() || start >= end || start >= size || end >= size)
        return 0;
    const uint64_t first = start / kBlockSize * kBlockSize;
    const uint64_t last = (end + kBlockSize - 1) / kBlockSize * kBlockSize;
    if (last - first > kMaxSaveBytes)
        return 0;
    // Never overwrite the recording being read.
    uint64_t sourceDevice = 0, sourceInode = 0;
    struct stat existing {};
    if (source_->Identity(sourceDevice, sourceInode) && ::stat(outputPath.c_str(), &existing) == 0 &&
        static_cast<uint64_t>(existing.st_dev) == sourceDevice &&
        static_cast<uint64_t>(existing.st_ino) == sourceInode)
        return 0;

    // Written beside the target and renamed over it only when complete, so
    // a failed save leaves no partial file and an existing file untouched.
    platform::OutputFile out;
    if (!out.Open(outputPath))
        return fail(out.Error());
    uint8_t block[kBlockSize];
    for (uint64_t offset = first; offset < last; offset += kBlockSize) {
        const int64_t got = Source()->ReadAt(offset, block, kBlockSize);
        // The final block of a source whose size is no multiple of 4096 is
        // written with the bytes it has; nothing is invented.
        if (got < 0 || (got < static_cast<int64_t>(kBlockSize) && offset + static_cast<uint64_t>(got) < size))
            return fail(name_ + ": cannot read the block at byte " + std::to_string(offset));
        if (rawDisk_)
            SwapBytePairs(block, static_cast<size_t>(got));
        if (!out.Write(block, static_cast<size_t>(got)))
            return fail(out.Error());
        if (got < static_cast<int64_t>(kBlockSize))
            break;
    }
    return out.Commit() ? 1 : fail(out.Error());
}

}  // namespace zo::media
