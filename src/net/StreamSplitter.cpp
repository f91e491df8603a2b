#include "net/StreamSplitter.h"

#include <algorithm>
#include <cstring>

#include "net/WireFormat.h"

namespace zo::net {

namespace {

// F8..FF: the frame start codes and the ones that begin no frame the
// client takes (FB..FD, FF). Slice codes stay below these.
constexpr bool IsSplitterCode(uint8_t c) {
    return c >= 0xF8;
}

constexpr bool IsGarbageCode(uint8_t c) {
    return c == 0xFB || c == 0xFC || c == 0xFD || c == 0xFF;
}

constexpr size_t kRunSaturation = 4;

}  // namespace

StreamSplitter::StreamSplitter(StreamSink* sink)
    : sink_(sink),
      video_(new uint8_t[kVideoCapacity]()),
      audio_(new uint8_t[kAudioCapacity]()),
      control_(new uint8_t[kControlCapacity]()) {
    std::memcpy(video_.get(), kControlStartCode, 3);
    video_[3] = 0xF8;
    std::memcpy(control_.get(), kControlStartCode, 4);
    controlBytes_ = 4;
}

// The index j >= from of the last byte of the next start code that the
// splitter acts on, or `size`. Bytes before d[0] come from last4_.
size_t StreamSplitter::NextStartCode(const uint8_t* d, size_t from, size_t size) const {
    auto before = [&](ptrdiff_t k) -> uint8_t {
        return k >= 0 ? d[k] : static_cast<uint8_t>(last4_ >> (8 * (-k - 1)));
    };
    size_t j = from;
    for (; j < size && j < 3; ++j) {
        const auto s = static_cast<ptrdiff_t>(j);
        if (IsSplitterCode(d[j]) && before(s - 1) == 0x01 && before(s - 2) == 0 && before(s - 3) == 0)
            return j;
    }
    // From here on the three bytes before j are all in d: look for the 01.
    size_t p = j - 1;
    while (j < size) {
        const void* hit = std::memchr(d + p, 0x01, size - 1 - p);
        if (!hit)
            return size;
        p = static_cast<size_t>(static_cast<const uint8_t*>(hit) - d);
        if (IsSplitterCode(d[p + 1]) && d[p - 1] == 0 && d[p - 2] == 0)
            return p + 1;
        ++p;
        if (p + 1 >= size)
            return size;
    }
    return size;
}

void StreamSplitter::Feed(const uint8_t* data, size_t size) {
    if (size == 0)
        return;
    HandOnCompleted();  // the first byte after an ending start code has come
    size_t i = 0;
    while (i < size) {
        const size_t j = NextStartCode(data, i, size);
        const size_t end = j < size ? j + 1 : size;
        Deliver(data + i, end - i);
        i = end;
        if (j < size) {
            OnStartCode(data[j]);
            if (i < size)
                HandOnCompleted();
        }
    }
    for (size_t k = size > 4 ? size - 4 : 0; k < size; ++k)
        last4_ = (last4_ << 8) | data[k];
}

void StreamSplitter::Deliver(const uint8_t* d, size_t n) {
    while (n > 0) {
        if (mode_ == Mode::Video || mode_ == Mode::Audio) {
            DeliverMedia(d, n);
            return;
        }
        if (mode_ == Mode::None) {
            // Outside any frame: dropped. The bytes of the start code that
            // ends this stretch are taken out of the count again.
            runBytes_ = std::min(runBytes_ + n, kRunSaturation);
            counters_.garbageBytes += n;
            return;
        }
        // Control: byte by byte up to the length field, then in bulk.
        size_t take = 1;
        if (controlBytes_ >= 8)
            take = std::min(n, controlTotal_ - controlBytes_);
        if (controlBytes_ < kControlCapacity) {
            const size_t k = std::min(take, kControlCapacity - controlBytes_);
            std::memcpy(control_.get() + controlBytes_, d, k);
        }
        controlBytes_ += take;
        runBytes_ = std::min(runBytes_ + take, kRunSaturation);
        d += take;
        n -= take;
        if (controlBytes_ == 8)
            controlTotal_ = static_cast<size_t>(ReadHexField(control_.get() + 4));
        if (controlBytes_ >= 8 && controlBytes_ >= controlTotal_)
            EndControl();
    }
}

void StreamSplitter::DeliverMedia(const uint8_t* d, size_t n) {
    runBytes_ = std::min(runBytes_ + n, kRunSaturation);
    if (mode_ == Mode::Video) {
        const size_t pos = 4 + videoBytes_;
        if (pos < kVideoCapacity)
            std::memcpy(video_.get() + pos, d, std::min(n, kVideoCapacity - pos));
        videoBytes_ += n;
        return;
    }
    // Sound: the first two bytes after the start code are not kept.
    const size_t skip = audioBytes_ < 2 ? std::min(n, 2 - audioBytes_) : 0;
    const size_t kept = n - skip;
    if (kept > 0) {
        const size_t pos = audioBytes_ + skip - 2;
        if (pos < kAudioCapacity)
            std::memcpy(audio_.get() + pos, d + skip, std::min(kept, kAudioCapacity - pos));
    }
    audioBytes_ += n;
}

void StreamSplitter::EndControl() {
    const size_t length = controlBytes_;
    const bool tooLong = controlTotal_ > kControlCapacity;
    mode_ = previousMode_ == Mode::Control ? Mode::None : previousMode_;
    runBytes_ = 0;
    controlBytes_ = 4;
    controlTotal_ = 0;
    if (tooLong)
        ++counters_.controlTooLong;
    else if (sink_)
        sink_->OnControlMessage(std::span<const uint8_t>(control_.get(), length));
}

void StreamSplitter::OnStartCode(uint8_t code) {
    // The start code's bytes that went into the frame being collected are
    // not part of it: take them out again.
    const size_t inFrame = std::min(runBytes_, kRunSaturation);
    if (mode_ == Mode::Video)
        videoBytes_ -= std::min(inFrame, videoBytes_);
    else if (mode_ == Mode::Audio)
        audioBytes_ -= std::min(inFrame, audioBytes_);
    else if (mode_ == Mode::None)
        counters_.garbageBytes -= std::min<uint64_t>(inFrame, counters_.garbageBytes);
    runBytes_ = 0;

    if (IsGarbageCode(code)) {
        // Ends the open frame like a frame start code; what follows up to
        // the next start code is dropped.
        if (videoOpen_) {
            videoComplete_ = true;
            completedVideoCode_ = videoCode_;
            videoOpen_ = false;
        }
        if (audioOpen_) {
            audioComplete_ = true;
            audioOpen_ = false;
        }
        previousMode_ = Mode::None;
        mode_ = Mode::None;
        counters_.garbageBytes += 4;
        return;
    }

    if (code == 0xFE) {
        if (mode_ != Mode::Control)
            previousMode_ = mode_;
        mode_ = Mode::Control;
        controlBytes_ = 4;
        controlTotal_ = 0;
        return;
    }
    previousMode_ = mode_;
    if (code == 0xFA) {
        if (audioOpen_)
            audioComplete_ = true;
        else if (!audioComplete_)
            audioBytes_ = 0;
        if (videoOpen_) {
            videoComplete_ = true;
            completedVideoCode_ = videoCode_;
            videoOpen_ = false;
        }
        audioOpen_ = true;
        mode_ = Mode::Audio;
        return;
    }
    if (videoOpen_) {
        videoComplete_ = true;
        completedVideoCode_ = videoCode_;
    } else if (!videoComplete_) {
        videoBytes_ = 0;
    }
    if (audioOpen_) {
        audioComplete_ = true;
        audioOpen_ = false;
    }
    videoOpen_ = true;
    videoCode_ = code;
    mode_ = Mode::Video;
}

void StreamSplitter::HandOnCompleted() {
    if (videoComplete_) {
        const size_t length = 4 + videoBytes_;
        if (length > kVideoCapacity) {
            ++counters_.videoTooLong;
        } else if (sink_) {
            video_[3] = completedVideoCode_;
            sink_->OnVideoFrame(std::span<const uint8_t>(video_.get(), length));
        }
        videoBytes_ = 0;
        videoComplete_ = false;
    }
    if (audioComplete_) {
        const size_t length = audioBytes_ > 2 ? audioBytes_ - 2 : 0;
        if (length > kAudioCapacity)
            ++counters_.audioTooLong;
        else if (sink_)
            sink_->OnAudioFrame(std::span<const uint8_t>(audio_.get(), length));
        audioBytes_ = 0;
        audioComplete_ = false;
    }
}

}  // namespace zo::net
