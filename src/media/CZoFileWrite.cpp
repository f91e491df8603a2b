#include "media/CZoFileWrite.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <utility>

namespace zo::media {
namespace {

constexpr const char* kWriteErrorText = "Record Write Error";

// The two bytes after a sound start code that every reader skips; 0xFF can
// never join a start code.
constexpr uint8_t kSoundFrameHeader[6] = {0x00, 0x00, 0x01, 0xFA, 0xFF, 0xFF};

constexpr size_t kMaxSoundPayload = kMaxFrameSize - sizeof(kSoundFrameHeader);

// Names tried after the given one is taken: "<stem>-2<ext>" up to this.
constexpr int kMaxNameSuffix = 999;

bool IsPictureStartCode(const uint8_t* frame) {
    return frame[0] == 0x00 && frame[1] == 0x00 && frame[2] == 0x01 && (frame[3] == 0xF8 || frame[3] == 0xF9);
}

bool HasKeyBit(int code) { return code == kVideoZO4 || code == kVideoZON; }

uint32_t ClampSeconds(int64_t s) {
    return s < 0 ? 0u : s > int64_t{UINT32_MAX} ? UINT32_MAX : static_cast<uint32_t>(s);
}

std::string ErrorText(const char* what, const std::string& path, int error) {
    std::string text(what);
    text += ' ';
    text += path;
    text += ": ";
    text += std::strerror(error);
    return text;
}

// "dir/name.ZRF" -> "dir/name-<n>.ZRF"; the extension is the part after the
// last dot of the last path component.
std::string WithSuffix(const std::string& path, int n) {
    const size_t slash = path.find_last_of('/');
    const size_t dot = path.find_last_of('.');
    const size_t cut = dot != std::string::npos && (slash == std::string::npos || dot > slash + 1) ? dot : path.size();
    return path.substr(0, cut) + "-" + std::to_string(n) + path.substr(cut);
}

}  // namespace

// ---------------------------------------------------------------------------
// FileSink

FileSink::~FileSink() { Close(); }

int FileSink::Create(const std::string& path) {
    Close();
    const int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (mode_ == Mode::Exclusive ? O_EXCL : O_TRUNC);
    const int fd = ::open(path.c_str(), flags, 0644);
    if (fd < 0)
        return errno;
    fd_ = fd;
    return 0;
}

int FileSink::Write(const uint8_t* data, size_t size) {
    if (fd_ < 0)
        return EBADF;
    while (size > 0) {
        const ssize_t n = ::write(fd_, data, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (n == 0)
            return EIO;
        data += n;
        size -= static_cast<size_t>(n);
    }
    return 0;
}

int FileSink::Truncate(uint64_t size) {
    if (fd_ < 0)
        return EBADF;
    if (::ftruncate(fd_, static_cast<off_t>(size)) != 0)
        return errno;
    if (::lseek(fd_, static_cast<off_t>(size), SEEK_SET) < 0)
        return errno;
    return 0;
}

int FileSink::Sync() {
    if (fd_ < 0)
        return EBADF;
    // Devices and pipes cannot be synced; that is no failure of the data.
    if (::fsync(fd_) != 0 && errno != EINVAL && errno != EROFS)
        return errno;
    return 0;
}

int FileSink::Close() {
    if (fd_ < 0)
        return 0;
    const int result = ::close(fd_) == 0 ? 0 : errno;
    fd_ = -1;
    return result;
}

// ---------------------------------------------------------------------------
// SystemLocalTime

int64_t SystemLocalTime::LocalSecondsNow() {
    const int64_t utc = static_cast<int64_t>(::time(nullptr));
    if (utc != lastUtc_) {
        const time_t t = static_cast<time_t>(utc);
        struct tm local {};
        offset_ = ::localtime_r(&t, &local) ? static_cast<int64_t>(local.tm_gmtoff) : 0;
        lastUtc_ = utc;
    }
    return utc + offset_;
}

// ---------------------------------------------------------------------------
// CZoFileWrite

CZoFileWrite::CZoFileWrite(std::unique_ptr<RecordingSink> sink, LocalTimeSource* clock,
                           platform::MessagePort* messages)
    : sink_(sink ? std::move(sink) : std::make_unique<FileSink>()),
      clock_(clock ? clock : &systemTime_),
      messages_(messages) {}

CZoFileWrite::~CZoFileWrite() {
    std::lock_guard lock(mutex_);
    StopLocked();
}

int CZoFileWrite::Init(int sourceCode, int fileCode, int channelCount) {
    if (sourceCode < 0 || sourceCode >= kVideoCodeCount || fileCode < 0 || fileCode >= kVideoCodeCount ||
        channelCount < 1 || channelCount > 16)
        return 0;
    std::lock_guard lock(mutex_);
    if (recording_.load(std::memory_order_relaxed))
        return 0;
    sourceCode_ = sourceCode;
    fileCode_ = fileCode;
    channelCount_ = channelCount;
    return 1;
}

std::string CZoFileWrite::RecordingFileName(int64_t localSeconds) {
    const CalendarTime t = CalendarFromUnixSeconds(ClampSeconds(localSeconds));
    char name[40];
    std::snprintf(name, sizeof name, "%04u%02u%02u-%02u%02u%02u.ZRF", unsigned{t.year}, unsigned{t.month},
                  unsigned{t.day}, unsigned{t.hour}, unsigned{t.minute}, unsigned{t.second});
    return name;
}

int CZoFileWrite::StartRecordingInFolder(const std::string& folder) {
    int64_t now = 0;
    {
        std::lock_guard lock(mutex_);
        now = clock_->LocalSecondsNow();
    }
    std::string path = folder.empty() ? std::string("./") : folder;
    if (path.back() != '/')
        path += '/';
    return StartRecording(path + RecordingFileName(now));
}

int CZoFileWrite::StartRecording(const std::string& path) {
    std::lock_guard lock(mutex_);
    if (recording_.load(std::memory_order_relaxed)) {
        lastError_ = "already recording to " + path_;
        return 0;
    }
    std::string chosen = path;
    int error = sink_->Create(chosen);
    for (int n = 2; error == EEXIST && n <= kMaxNameSuffix; ++n) {
        chosen = WithSuffix(path, n);
        error = sink_->Create(chosen);
    }
    if (error != 0) {
        lastError_ = ErrorText("cannot create", chosen, error);
        return 0;
    }
    path_ = std::move(chosen);
    lastError_.clear();
    stats_ = {};
    block_.fill = 0;
    videoBlock_.fill = 0;
    soundBlock_.fill = 0;
    started_ = false;
    storedAny_ = false;
    failed_ = false;
    haveCounter_ = false;
    interval_ = 1;
    recording_.store(true, std::memory_order_release);
    return 1;
}

int CZoFileWrite::StopRecording() {
    bool show = false;
    int result = 0;
    {
        std::lock_guard lock(mutex_);
        result = StopLocked();
        show = std::exchange(failed_, false);
    }
    if (show && messages_)
        messages_->Show(kWriteErrorText);
    return result;
}

int CZoFileWrite::StopLocked() {
    if (!recording_.load(std::memory_order_relaxed))
        return 0;
    PrepareCall();
    if (fileCode_ == kVideoZO4) {
        CompleteBlock(videoBlock_, false);
        CompleteBlock(soundBlock_, true);
    } else {
        CompleteBlock(block_, false);
    }
    if (!recording_.load(std::memory_order_relaxed))
        return 0;  // the last block could not be written; FailLocked closed the file
    if (const int error = sink_->Sync(); error != 0) {
        FailLocked(error, "cannot flush");
        return 0;
    }
    const int error = sink_->Close();
    recording_.store(false, std::memory_order_release);
    if (error != 0) {
        lastError_ = ErrorText("cannot close", path_, error);
        failed_ = true;
        return 0;
    }
    return 1;
}

// Zero fill up to the end of a begun block, then writes it.
void CZoFileWrite::CompleteBlock(Block& block, bool sound) {
    if (block.fill == 0 || !recording_.load(std::memory_order_relaxed))
        return;
    std::memset(block.bytes + block.fill, 0, kBlockSize - block.fill);
    block.fill = kBlockSize;
    FlushBlock(block, sound);
}

void CZoFileWrite::FailLocked(int error, const char* what) {
    lastError_ = ErrorText(what, path_, error);
    lastError_ += " (recording stopped)";
    // Cut a block written in part, so the file ends on the last whole block.
    sink_->Truncate(stats_.bytesWritten);
    sink_->Sync();
    sink_->Close();
    recording_.store(false, std::memory_order_release);
    failed_ = true;
}

void CZoFileWrite::PrepareCall() { callSeconds_ = ClampSeconds(clock_->LocalSecondsNow()); }

bool CZoFileWrite::FlushBlock(Block& block, bool sound) {
    if (fileCode_ == kVideoZO4) {
        // This generation's calendar record, of the call that fills the block.
        const CalendarTime t = CalendarFromUnixSeconds(callSeconds_);
        uint8_t* r = block.bytes;
        r[0] = static_cast<uint8_t>((t.year + 48) & 0xFF);
        r[1] = static_cast<uint8_t>(t.month + (sound ? 0x80 : 0));
        r[2] = static_cast<uint8_t>(t.day);
        r[3] = static_cast<uint8_t>(t.hour);
        r[4] = static_cast<uint8_t>(t.minute);
        r[5] = static_cast<uint8_t>(t.second);
        r[6] = static_cast<uint8_t>(interval_ & 0x7F);
        r[7] = 1;
    }
    block.fill = 0;
    if (const int error = sink_->Write(block.bytes, kBlockSize); error != 0) {
        FailLocked(error, "cannot write");
        return false;
    }
    stats_.bytesWritten += kBlockSize;
    return true;
}

// Appends stream bytes to `block`, beginning a block (with the header of
// this call) where none is begun and writing each block as it fills.
bool CZoFileWrite::Lay(Block& block, bool sound, const uint8_t* data, size_t size) {
    while (size > 0) {
        if (block.fill == 0) {
            if (fileCode_ != kVideoZO4)
                EncodeBlockHeader(callSeconds_, 1, static_cast<uint8_t>(interval_ & 0x7F), fileCode_, block.bytes);
            block.fill = kBlockHeaderSize;
        }
        const size_t n = std::min(size, kBlockSize - block.fill);
        std::memcpy(block.bytes + block.fill, data, n);
        block.fill += n;
        data += n;
        size -= n;
        if (block.fill == kBlockSize && !FlushBlock(block, sound))
            return false;
    }
    return true;
}

// The step of the picture counter since the frame before, counted modulo
// 2^16 so that a wrap from 65535 to 0 is a step of 1. A step of 0 (a repeated
// counter) records as 1; a step that no 7-bit interval holds (a counter
// that went backwards or restarted, or a gap of more than 127 pictures)
// keeps the interval of before.
void CZoFileWrite::UpdateInterval(uint16_t counter) {
    if (haveCounter_) {
        const int step = static_cast<uint16_t>(counter - counter_);
        if (step <= 1)
            interval_ = 1;
        else if (step <= 0x7F)
            interval_ = step;
    }
    counter_ = counter;
    haveCounter_ = true;
}

int CZoFileWrite::DropLocked(bool beforeKey) {
    ++stats_.framesDropped;
    if (beforeKey)
        ++stats_.framesBeforeKey;
    return 0;
}

int CZoFileWrite::WriteVideoFrame(const CZoSample& sample) {
    if (!sample.data || (sample.capacity != 0 && sample.length > sample.capacity))
        return 0;
    return WriteVideoFrame(sample.data, sample.length);
}

int CZoFileWrite::WriteVideoFrame(const uint8_t* frame, size_t length) {
    bool show = false;
    int result = 0;
    {
        std::lock_guard lock(mutex_);
        if (!recording_.load(std::memory_order_relaxed))
            return 0;
        const bool fromNetwork = sourceCode_ == kVideoZON;
        const size_t headerBytes = fromNetwork ? 7 : 5;
        if (!frame || length < headerBytes || length > kMaxFrameSize || !IsPictureStartCode(frame))
            return DropLocked(false);
        PrepareCall();

        const bool key = HasKeyBit(sourceCode_) ? (frame[4] & 0x80) != 0 : frame[3] == 0xF9;
        uint8_t header[7];
        std::memcpy(header, frame, headerBytes);
        if (fromNetwork) {
            UpdateInterval(static_cast<uint16_t>(frame[5] << 8 | frame[6]));
            // The start code says key or update picture in every other layout:
            // set from the key bit both ways.
            header[3] = key ? 0xF9 : 0xF8;
            if (HasKeyBit(fileCode_)) {
                // Same bit layout; the channel bits are not used in this one.
                header[4] = static_cast<uint8_t>(frame[4] & 0xF8);
            } else {
                // Quantiser from bits 3-6 to bits 4-7; channel 0, as the live
                // view shows every network picture.
                header[4] = static_cast<uint8_t>((frame[4] << 1) & 0xF0);
                // Code 5 reads byte 5 as its dual-picture byte: no dual picture.
                if (fileCode_ == kVideoZOT3)
                    header[5] &= 0x07;
            }
        }
        if (key)
            started_ = true;
        if (!storedAny_) {
            if (!started_)
                return DropLocked(true);
            if (interval_ > 15)
                interval_ = 1;
        }
        if (!started_)
            return DropLocked(true);

        Block& block = fileCode_ == kVideoZO4 ? videoBlock_ : block_;
        if (Lay(block, false, header, headerBytes) && Lay(block, false, frame + headerBytes, length - headerBytes)) {
            storedAny_ = true;
            ++stats_.videoFramesWritten;
            result = 1;
        } else {
            DropLocked(false);
        }
        show = std::exchange(failed_, false);
    }
    if (show && messages_)
        messages_->Show(kWriteErrorText);
    return result;
}

int CZoFileWrite::WriteSoundFrame(const CZoSample& sample) {
    if (!sample.data || (sample.capacity != 0 && sample.length > sample.capacity))
        return 0;
    return WriteSoundFrame(sample.data, sample.length);
}

int CZoFileWrite::WriteSoundFrame(const uint8_t* data, size_t length) {
    bool show = false;
    int result = 0;
    {
        std::lock_guard lock(mutex_);
        if (!recording_.load(std::memory_order_relaxed))
            return 0;
        if (!started_)
            return DropLocked(true);
        if (!data || length == 0 || length > kMaxSoundPayload)
            return DropLocked(false);
        PrepareCall();
        bool laid = false;
        if (fileCode_ == kVideoZO4)
            laid = Lay(soundBlock_, true, data, length);
        else
            laid = Lay(block_, true, kSoundFrameHeader, sizeof kSoundFrameHeader) && Lay(block_, true, data, length);
        if (laid) {
            ++stats_.soundFramesWritten;
            result = 1;
        } else {
            DropLocked(false);
        }
        show = std::exchange(failed_, false);
    }
    if (show && messages_)
        messages_->Show(kWriteErrorText);
    return result;
}

std::string CZoFileWrite::GetPath() const {
    std::lock_guard lock(mutex_);
    return path_;
}

std::string CZoFileWrite::GetLastErrorText() const {
    std::lock_guard lock(mutex_);
    return lastError_;
}

FileWriteStats CZoFileWrite::GetStats() const {
    std::lock_guard lock(mutex_);
    return stats_;
}

int CZoFileWrite::GetInterval() const {
    std::lock_guard lock(mutex_);
    return interval_;
}

}  // namespace zo::media
