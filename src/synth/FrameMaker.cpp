#include "synth/FrameMaker.h"

#include <cmath>
#include <numbers>

#include "media/RecordingFormat.h"

namespace zo::synth {

void AppendVideoFrame(std::vector<uint8_t>& out, const PictureLayout& layout, Rng& rng) {
    const int q = layout.quantiser & 15;
    out.push_back(0x00);
    out.push_back(0x00);
    out.push_back(0x01);
    out.push_back(layout.key ? 0xF9 : 0xF8);
    switch (layout.videoCode) {
    case media::kVideoZO4:
        out.push_back(static_cast<uint8_t>((layout.key ? 0x80 : 0) | (q << 3) | (layout.channel & 7)));
        break;
    case media::kVideoZON:
        out.push_back(static_cast<uint8_t>((layout.key ? 0x80 : 0) | (q << 3)));
        out.push_back(static_cast<uint8_t>(layout.pictureCounter >> 8));
        out.push_back(static_cast<uint8_t>(layout.pictureCounter));
        break;
    default:
        out.push_back(static_cast<uint8_t>((q << 4) | (layout.channel & 15)));
        break;
    }
    if (layout.videoCode == media::kVideoZOT3) {
        uint8_t b = 0;
        if (layout.dual)
            b = static_cast<uint8_t>(0x80 | ((layout.dualChannel & 15) << 3) | (layout.hideLeft ? 4 : 0) |
                                     (layout.hideRight ? 2 : 0));
        out.push_back(b);
    }
    for (int row = 0; row < layout.slices; ++row) {
        out.push_back(0x00);
        out.push_back(0x00);
        out.push_back(0x01);
        out.push_back(static_cast<uint8_t>((row << 3) | (rng.Next() & 7)));
        for (size_t i = 0; i < layout.bytesPerSlice; i += 8) {
            uint64_t bits = rng.Next();
            for (size_t k = 0; k < 8 && i + k < layout.bytesPerSlice; ++k, bits >>= 8) {
                const uint8_t byte = static_cast<uint8_t>(bits);
                out.push_back(byte == 0 ? 0x55 : byte);
            }
        }
    }
}

std::vector<uint8_t> MakeVideoFrame(const PictureLayout& layout, Rng& rng) {
    std::vector<uint8_t> out;
    AppendVideoFrame(out, layout, rng);
    return out;
}

void AppendSoundFrame(std::vector<uint8_t>& out, int audioChannel, std::span<const uint8_t> payload) {
    out.push_back(0x00);
    out.push_back(0x00);
    out.push_back(0x01);
    out.push_back(static_cast<uint8_t>(0xFA + (audioChannel & 3)));
    // The two bytes every reader skips: 0xFF, which cannot join a start code.
    out.push_back(0xFF);
    out.push_back(0xFF);
    out.insert(out.end(), payload.begin(), payload.end());
}

std::vector<uint8_t> MakeSoundFrame(int audioChannel, std::span<const uint8_t> payload) {
    std::vector<uint8_t> out;
    AppendSoundFrame(out, audioChannel, payload);
    return out;
}

void AppendToneSpcm8(std::vector<uint8_t>& out, double frequencyHz, int rate, uint64_t first, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        const double t = static_cast<double>(first + i) / rate;
        const int s = static_cast<int>(std::lround(90.0 * std::sin(2.0 * std::numbers::pi * frequencyHz * t)));
        const uint8_t byte = static_cast<uint8_t>(static_cast<int8_t>(s));
        out.push_back(byte == 0 ? 1 : byte);
    }
}

}  // namespace zo::synth
