// A sink that keeps what the stream splitter hands on, and the pieces of
// test streams: live pictures, sound frames, control messages.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "net/StreamSplitter.h"
#include "net/WireFormat.h"
#include "synth/FrameMaker.h"

namespace zo::net::test {

struct Handed {
    enum Kind { Video, Audio, Control } kind;
    std::vector<uint8_t> bytes;
    friend bool operator==(const Handed&, const Handed&) = default;
};

class CollectingSink final : public StreamSink {
public:
    void OnVideoFrame(std::span<const uint8_t> f) override { out.push_back({Handed::Video, {f.begin(), f.end()}}); }
    void OnAudioFrame(std::span<const uint8_t> p) override { out.push_back({Handed::Audio, {p.begin(), p.end()}}); }
    void OnControlMessage(std::span<const uint8_t> m) override {
        out.push_back({Handed::Control, {m.begin(), m.end()}});
    }
    std::vector<Handed> out;
};

// A control message with `code` and four-hex-digit `fields`; `total` < 0
// writes its true length.
inline std::vector<uint8_t> ControlMessage(int code, std::vector<int> fields = {}, int total = -1) {
    std::vector<uint8_t> m(12 + 4 * fields.size());
    WriteControlHeader(m.data(), total < 0 ? static_cast<int>(m.size()) : total, code);
    for (size_t i = 0; i < fields.size(); ++i)
        WriteHexField(m.data() + 12 + 4 * i, fields[i]);
    return m;
}

// A code-2 live picture with placeholder slices.
inline std::vector<uint8_t> LivePicture(synth::Rng& rng, bool key, size_t bytesPerSlice = 64) {
    synth::PictureLayout l;
    l.videoCode = 2;
    l.key = key;
    l.quantiser = 5;
    l.slices = 14;
    l.bytesPerSlice = bytesPerSlice;
    l.pictureCounter = static_cast<int>(rng.Below(65536));
    return synth::MakeVideoFrame(l, rng);
}

// A sound frame of audio channel 0 with a tone payload of `samples` bytes.
inline std::vector<uint8_t> SoundFrame(size_t samples, uint64_t first = 0) {
    std::vector<uint8_t> payload;
    synth::AppendToneSpcm8(payload, 440.0, 16000, first, samples);
    return synth::MakeSoundFrame(0, payload);
}

// What the splitter hands on for a frame as it stands in the stream.
inline Handed Expected(const std::vector<uint8_t>& frame) {
    if (frame[3] == 0xFA)
        return {Handed::Audio, {frame.begin() + 6, frame.end()}};
    if (frame[3] == 0xFE)
        return {Handed::Control, frame};
    return {Handed::Video, frame};
}

inline void Append(std::vector<uint8_t>& out, const std::vector<uint8_t>& bytes) {
    out.insert(out.end(), bytes.begin(), bytes.end());
}

// A start code and one byte: hands on the frame before it.
inline std::vector<uint8_t> Terminator() {
    return {0x00, 0x00, 0x01, 0xF8, 0x80};
}

}  // namespace zo::net::test
