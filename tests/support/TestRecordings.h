// Builders of small recordings for reader tests, with the frames a reader
// must deliver from them.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "media/ByteSource.h"
#include "media/CZoFile.h"
#include "synth/FrameMaker.h"
#include "synth/RecordingBuilder.h"

namespace zo::test {

struct Expected {
    std::vector<uint8_t> bytes;  // what a read delivers
    bool sound = false;
    int channel = 0;
};

// What reads deliver for frame `i` of a builder's stream (not the last frame).
inline Expected ExpectedFrame(const synth::RecordingBuilder& b, size_t i) {
    const auto& f = b.Frames()[i];
    const auto& s = b.Stream();
    Expected e;
    e.sound = f.kind == media::FrameKind::Sound;
    e.channel = f.channel;
    const uint64_t from = f.stream + (e.sound ? 6 : 0);
    e.bytes.assign(s.begin() + static_cast<long>(from), s.begin() + static_cast<long>(f.stream + f.length));
    return e;
}

// The last frame of a finished recording as a reader delivers it: without
// the zero fill that completes the last block.
inline Expected ExpectedLastFrame(const synth::RecordingBuilder& b) {
    Expected e = ExpectedFrame(b, b.Frames().size() - 1);
    const size_t keep = e.sound ? 0 : 4;
    while (e.bytes.size() > keep && e.bytes.back() == 0)
        e.bytes.pop_back();
    return e;
}

// A video frame with placeholder slices, of `payload` bytes or so.
inline std::vector<uint8_t> Video(int code, int channel, bool key, size_t perSlice, synth::Rng& rng) {
    synth::PictureLayout layout;
    layout.videoCode = code;
    layout.channel = channel;
    layout.key = key;
    layout.bytesPerSlice = perSlice;
    return synth::MakeVideoFrame(layout, rng);
}

inline std::vector<uint8_t> Sound(int audioChannel, size_t samples, uint64_t first = 0) {
    std::vector<uint8_t> payload;
    synth::AppendToneSpcm8(payload, 500, 16000, first, samples);
    return synth::MakeSoundFrame(audioChannel, payload);
}

inline std::unique_ptr<media::ByteSource> Memory(const std::vector<uint8_t>& bytes) {
    return std::make_unique<media::MemorySource>(bytes);
}

// Counts ReadAt calls of the source it wraps.
class CountingSource final : public media::ByteSource {
public:
    CountingSource(std::vector<uint8_t> bytes, int* counter) : inner_(std::move(bytes)), counter_(counter) {}
    uint64_t Size() const override { return inner_.Size(); }
    int64_t ReadAt(uint64_t offset, void* buffer, size_t length) const override {
        ++*counter_;
        return inner_.ReadAt(offset, buffer, length);
    }

private:
    media::MemorySource inner_;
    int* counter_;
};

}  // namespace zo::test
