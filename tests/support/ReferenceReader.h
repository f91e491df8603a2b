// A byte-at-a-time model of the recording reader: one 32-bit register, one
// byte per step, every rule spelled out. The production reader scans whole
// blocks at once; tests require both to agree on every result.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

#include "media/RecordingFormat.h"

namespace zo::test {

class ReferenceReader {
public:
    ReferenceReader(std::vector<uint8_t> bytes, int videoCode, bool rawDisk)
        : bytes_(std::move(bytes)), videoCode_(videoCode), rawDisk_(rawDisk), collection_(media::kMaxFrameSize) {
        collection_[2] = 1;
        collection_[3] = 0xF8;
    }

    uint64_t position = 0;
    bool isAudio = false;
    bool hasAudio = false;
    int channel = 0;
    int interval = 0;
    int channelBits = 0;
    int64_t timeSeconds = -1;
    std::vector<uint8_t> frame;

    uint64_t Size() const { return bytes_.size(); }
    void SetPosition(uint64_t p) { position = p >= Size() ? (Size() ? Size() - 1 : 0) : p; }

    int ReadNext() {
        const int n = Forward();
        if (n == 0)
            isAudio = false;
        else if (isAudio)
            hasAudio = true;
        return n;
    }

    int ReadFirst(uint64_t start) {
        collecting_ = false;
        collected_ = 0;
        if (Size() == 0 || start >= Size() - 1)
            return 0;
        position = start;
        for (;;) {
            const int n = ReadNext();
            if (n == 0 || !isAudio)
                return n;
        }
    }

    int ReadPrev() {
        collecting_ = false;  // a frame lives within one read
        collected_ = 0;
        regValid_ = false;
        reg_ = 0xFFFFFFFFu;
        if (position == 0)
            return 0;
        --position;
        int state = Load(position / 4096);
        if (state != kGood) {
            position = position / 4096 * 4096;
            Reset();
            return 0;
        }
        // From the very end of a finished recording the last frame comes first.
        bool fromEnd = position + 2 == Size() && Size() % 4096 == 0 && block_[4095] == 0;
        for (;;) {
            const size_t off = position % 4096;
            if (off >= 8) {
                reg_ = (reg_ << 8) | block_[off];
                if (collecting_ && collected_ < media::kMaxFrameSize) {
                    collection_[media::kMaxFrameSize - 1 - collected_] = block_[off];
                    ++collected_;
                }
                if ((reg_ & 0x00FFFFFFu) == 0x00010000u && (reg_ >> 24) >= 0xF8 && (reg_ >> 24) <= 0xFD) {
                    const uint8_t code = static_cast<uint8_t>(reg_ >> 24);
                    if (!collecting_ && fromEnd) {
                        fromEnd = false;
                        const uint64_t start = position;
                        const uint32_t savedReg = reg_;
                        const int n = Forward();
                        regValid_ = false;
                        if (n > 0 && position == Size()) {
                            position = RestFrom(start);
                            return n;
                        }
                        position = start;
                        reg_ = savedReg;
                        Reset();
                        Load(position / 4096);
                    }
                    if (!collecting_) {
                        collecting_ = true;
                        collected_ = 0;
                    } else if (code >= 0xFA && collected_ <= 6) {
                        collected_ = 0;  // empty sound frame: skipped
                    } else {
                        collecting_ = false;
                        size_t n = collected_;
                        const uint8_t* first = collection_.data() + media::kMaxFrameSize - n;
                        if (code >= 0xFA) {
                            isAudio = true;
                            channel = code - 0xFA;
                            n -= 6;
                        } else {
                            isAudio = false;
                            channel = n > 4 ? media::ReaderVideoChannel(videoCode_, first[4]) : 0;
                        }
                        frame.assign(collection_.end() - static_cast<long>(n), collection_.end());
                        position = RestFrom(position);
                        return static_cast<int>(n);
                    }
                }
            }
            if (position == 0)
                return 0;
            --position;
            if (position % 4096 == 4095) {
                state = Load(position / 4096);
                if (state == kMissing) {
                    Reset();
                    return 0;
                }
                if (state == kDamaged) {
                    position = position / 4096 * 4096;
                    Reset();
                    return 0;
                }
            }
        }
    }

private:
    enum { kMissing, kDamaged, kGood };

    void Reset() {
        collecting_ = false;
        collected_ = 0;
    }

    int Load(uint64_t index) {
        if ((index + 1) * 4096 > Size())
            return kMissing;
        std::memcpy(block_, bytes_.data() + index * 4096, 4096);
        const media::BlockHeader h = media::DecodeStoredBlock(block_, videoCode_, rawDisk_);
        interval = h.interval;
        channelBits = h.channelBits;
        if (!h.valid)
            return kDamaged;
        timeSeconds = h.timeSeconds;
        return kGood;
    }

    int Forward() {
        Reset();
        uint64_t next = position % 4096 < 8 ? position / 4096 * 4096 + 8 : position;
        const bool continues = regValid_ && regNext_ == next;
        if (!continues)
            reg_ = 0xFFFFFFFFu;
        regValid_ = false;
        int state = Load(position / 4096);
        if (state == kMissing) {
            Reset();
            regValid_ = continues;
            return 0;
        }
        if (state == kDamaged) {
            position = (position / 4096 + 1) * 4096;
            Reset();
            return 0;
        }
        for (;;) {
            const size_t off = position % 4096;
            if (off >= 8) {
                reg_ = (reg_ << 8) | block_[off];
                if (collecting_ && collected_ < media::kMaxFrameSize)
                    collection_[collected_++] = block_[off];
                if (reg_ >= 0x1F8u && reg_ <= 0x1FDu) {
                    const uint8_t code = static_cast<uint8_t>(reg_);
                    if (!collecting_) {
                        collecting_ = true;
                        collected_ = 4;
                        collection_[3] = code;
                    } else if (collection_[3] >= 0xFA && collected_ <= 10) {
                        collected_ = 4;
                        collection_[3] = code;
                    } else {
                        collecting_ = false;
                        const uint8_t own = collection_[3];
                        size_t n = collected_;
                        if (own >= 0xFA) {
                            isAudio = true;
                            channel = own - 0xFA;
                            n -= 10;
                            frame.assign(collection_.begin() + 6, collection_.begin() + 6 + static_cast<long>(n));
                        } else {
                            isAudio = false;
                            channel = media::ReaderVideoChannel(videoCode_, collection_[4]);
                            n -= 4;
                            frame.assign(collection_.begin(), collection_.begin() + static_cast<long>(n));
                        }
                        collection_[3] = code;
                        // Three stream bytes back: the start code's first byte.
                        uint64_t p = position;
                        for (int k = 0; k < 3; ++k) {
                            if (p % 4096 == 8)
                                p -= 9;
                            else
                                --p;
                        }
                        position = p;
                        return static_cast<int>(n);
                    }
                }
            }
            ++position;
            if (position % 4096 == 0) {
                state = Load(position / 4096);
                if (state == kMissing) {
                    // A finished recording (whole blocks, zero fill at the
                    // end) delivers its last frame without the fill.
                    const int n = collecting_ && position == Size() && block_[4095] == 0 ? Last() : 0;
                    Reset();
                    regValid_ = true;
                    regNext_ = position + 8;
                    return n;
                }
                if (state == kDamaged) {
                    position += 4096;
                    Reset();
                    return 0;
                }
                position += 8;
            }
        }
    }

    // Four stream bytes forward from a start code's first byte.
    uint64_t RestFrom(uint64_t p) const {
        for (int k = 0; k < 4; ++k) {
            ++p;
            if (p % 4096 == 0)
                p += 8;
        }
        if (p > Size() && p % 4096 == 8)
            p -= 8;
        return p;
    }

    int Last() {
        size_t n = collected_;
        while (n > 4 && collection_[n - 1] == 0)
            --n;
        const uint8_t own = collection_[3];
        if (own >= 0xFA) {
            if (n <= 6)
                return 0;
            isAudio = true;
            channel = own - 0xFA;
            frame.assign(collection_.begin() + 6, collection_.begin() + static_cast<long>(n));
            return static_cast<int>(n - 6);
        }
        if (n <= 4)
            return 0;
        isAudio = false;
        channel = media::ReaderVideoChannel(videoCode_, collection_[4]);
        frame.assign(collection_.begin(), collection_.begin() + static_cast<long>(n));
        return static_cast<int>(n);
    }

    std::vector<uint8_t> bytes_;
    int videoCode_;
    bool rawDisk_;
    uint8_t block_[4096] = {};
    std::vector<uint8_t> collection_;
    size_t collected_ = 0;
    bool collecting_ = false;
    uint32_t reg_ = 0xFFFFFFFFu;
    bool regValid_ = false;
    uint64_t regNext_ = 0;
};

}  // namespace zo::test
