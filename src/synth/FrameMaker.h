// Frames for test and demo recordings: video frames with the header layout of
// any video code and placeholder slices of the right count, and sound frames.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace zo::synth {

// Small, fast, seedable generator (splitmix64) so content is reproducible.
class Rng {
public:
    explicit Rng(uint64_t seed) : state_(seed) {}
    uint64_t Next() {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // Uniform in [0, bound).
    uint32_t Below(uint32_t bound) { return static_cast<uint32_t>((Next() >> 32) * bound >> 32); }

private:
    uint64_t state_;
};

struct PictureLayout {
    int videoCode = 6;
    int channel = 0;
    bool key = true;
    int quantiser = 4;
    int slices = 14;            // 14: 640x224, 17: 640x272
    size_t bytesPerSlice = 64;  // placeholder payload after each slice header byte
    int pictureCounter = 0;     // code 2
    bool dual = false;          // code 5
    int dualChannel = 0;
    bool hideLeft = false;
    bool hideRight = false;
};

// Appends a video frame: start code (F9 for key pictures, F8 otherwise),
// header byte A (and B or the counter), then `slices` slice codes, each
// followed by its row number and payload bytes free of 00 00 sequences.
void AppendVideoFrame(std::vector<uint8_t>& out, const PictureLayout& layout, Rng& rng);
std::vector<uint8_t> MakeVideoFrame(const PictureLayout& layout, Rng& rng);

// Appends a sound frame of `audioChannel` (0..3): start code, the two bytes
// readers skip, then the payload.
void AppendSoundFrame(std::vector<uint8_t>& out, int audioChannel, std::span<const uint8_t> payload);
std::vector<uint8_t> MakeSoundFrame(int audioChannel, std::span<const uint8_t> payload);

// 8-bit signed PCM of a sine tone, with no zero bytes (so it can never form a
// start code): `count` samples at `rate` Hz from sample `first` on.
void AppendToneSpcm8(std::vector<uint8_t>& out, double frequencyHz, int rate, uint64_t first, size_t count);

}  // namespace zo::synth
