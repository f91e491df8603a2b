// Small decodable recordings for engine tests. Every picture is grey with
// its top-left macroblock at a level that names the picture, so a test can
// tell from a shown picture which frame of the recording it was.
#pragma once

#include <cstdint>
#include <cstring>
#include <map>
#include <vector>

#include "media/RecordingFormat.h"
#include "synth/FrameMaker.h"
#include "synth/RecordingBuilder.h"
#include "synth/VideoEncoder.h"

namespace zo::test {

struct ClipFrame {
    bool sound = false;
    int channel = 0;     // camera channel, or audio channel for sound
    bool key = false;
    int mark = 0;        // level of the top-left macroblock, 16..235
    uint64_t filePosition = 0;  // file offset of the frame's start code
    uint32_t time = 0;
};

struct Clip {
    std::vector<uint8_t> bytes;
    std::vector<ClipFrame> frames;
    int height = 224;

    // Index of the first video frame with this mark, or -1.
    int FrameOfMark(int mark) const {
        for (size_t i = 0; i < frames.size(); ++i)
            if (!frames[i].sound && frames[i].mark == mark)
                return static_cast<int>(i);
        return -1;
    }
};

// Level of the top-left pixel of a shown picture (planar, luma first).
inline int MarkOf(const uint8_t* picture) { return picture[0]; }

class ClipMaker {
public:
    explicit ClipMaker(int videoCode = media::kVideoZOC, int height = 224, bool rawDisk = false)
        : videoCode_(videoCode), height_(height), rawDisk_(rawDisk), builder_(videoCode, rawDisk),
          picture_(static_cast<size_t>(640) * height * 3 / 2) {
        builder_.SetTime(1237034096);  // 2009-03-14 12:34:56
        builder_.SetChannelBits(0xFFFF);
    }

    void SetInterval(uint8_t interval) { builder_.SetInterval(interval); }
    void SetTime(uint32_t seconds) { builder_.SetTime(seconds); }

    // A picture of `channel`; its mark is returned (a new one each call
    // unless `mark` is given).
    int Picture(int channel, bool key, int mark = 0) {
        if (mark == 0)
            mark = NextMark();
        // A key picture does not depend on what came before: encode each
        // channel and mark once (code 2 pictures carry a counter: always).
        const int cacheKey = channel * 256 + mark;
        if (key && videoCode_ != media::kVideoZON) {
            auto found = keyFrames_.find(cacheKey);
            if (found != keyFrames_.end()) {
                frame_ = found->second;
                Add(false, channel, key, mark);
                return mark;
            }
        }
        std::memset(picture_.data(), 128, static_cast<size_t>(640) * height_);
        std::memset(picture_.data() + static_cast<size_t>(640) * height_, 128,
                    static_cast<size_t>(640) * height_ / 2);
        for (int y = 0; y < 16; ++y)
            std::memset(picture_.data() + static_cast<size_t>(y) * 640, mark, 16);
        synth::PictureHeader header;
        header.videoCode = videoCode_;
        header.channel = channel;
        header.pictureCounter = counter_++;
        frame_.clear();
        encoder_.Encode(picture_.data(), height_, key, header, frame_);
        if (key && videoCode_ != media::kVideoZON)
            keyFrames_[cacheKey] = frame_;
        Add(false, channel, key, mark);
        return mark;
    }

    // A code-5 dual picture: the left half shows `left` with mark
    // `leftMark` at its top left, the right half `right` with `rightMark`.
    void DualPicture(int left, int right, bool key, int leftMark, int rightMark, bool hideLeft = false,
                     bool hideRight = false) {
        std::memset(picture_.data(), 128, picture_.size());
        for (int y = 0; y < 16; ++y) {
            std::memset(picture_.data() + static_cast<size_t>(y) * 640, leftMark, 16);
            std::memset(picture_.data() + static_cast<size_t>(y) * 640 + 320, rightMark, 16);
        }
        synth::PictureHeader header;
        header.videoCode = media::kVideoZOT3;
        header.channel = left;
        header.dual = true;
        header.dualChannel = right;
        header.hideLeft = hideLeft;
        header.hideRight = hideRight;
        frame_.clear();
        encoder_.Encode(picture_.data(), height_, key, header, frame_);
        Add(false, left, key, leftMark);
    }

    // A sound frame of `samples` 8-bit samples on `audioChannel`.
    void Sound(int audioChannel, size_t samples) {
        std::vector<uint8_t> payload;
        synth::AppendToneSpcm8(payload, 440, 16000, soundSamples_, samples);
        soundSamples_ += samples;
        frame_ = synth::MakeSoundFrame(audioChannel, payload);
        Add(true, audioChannel, false, 0);
    }

    // Ends the recording: the zero fill that completes the last block lets
    // the reader deliver the last frame like every other.
    Clip Finish() {
        builder_.Finish();
        clip_.bytes = builder_.Bytes();
        clip_.height = height_;
        const auto& records = builder_.Frames();
        for (size_t i = 0; i < clip_.frames.size() && i < records.size(); ++i)
            clip_.frames[i].filePosition = synth::RecordingBuilder::FileOffset(records[i].stream);
        return clip_;
    }

private:
    int NextMark() {
        const int mark = 16 + (nextMark_ * 3) % 219;  // 73 marks, 3 apart so updates code them
        nextMark_ += 1;
        return mark;
    }

    void Add(bool sound, int channel, bool key, int mark) {
        builder_.AddFrame(frame_);
        ClipFrame f;
        f.sound = sound;
        f.channel = channel;
        f.key = key;
        f.mark = mark;
        f.time = builder_.Time();
        clip_.frames.push_back(f);
    }

    int videoCode_;
    int height_;
    bool rawDisk_;
    synth::RecordingBuilder builder_;
    synth::VideoEncoder encoder_;
    std::vector<uint8_t> picture_;
    std::vector<uint8_t> frame_;
    Clip clip_;
    std::map<int, std::vector<uint8_t>> keyFrames_;
    int nextMark_ = 0;
    int counter_ = 0;
    uint64_t soundSamples_ = 0;
};

}  // namespace zo::test
