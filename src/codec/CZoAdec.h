// CZoAdec: turns the payload of one sound frame into linear PCM and
// describes that PCM as a wave format, so the sound output can be opened for
// it. It keeps no history; every frame is converted by itself.
//
// Threads: SetFormat belongs to the owner and is not called while another
// thread decodes; Decode only reads the stored code and may run on a worker.
#pragma once

#include <cstdint>
#include <span>

namespace zo::codec {

// Sound format codes of recordings.
inline constexpr int kAudioUPCM8 = 1;   // unsigned 8-bit, copied
inline constexpr int kAudioSPCM8 = 2;   // signed 8-bit, made unsigned
inline constexpr int kAudioUPCM16 = 3;  // 16-bit, copied
inline constexpr int kAudioSPCM16 = 4;  // signed 16-bit little-endian, copied
inline constexpr int kAudioALAW = 5;    // G.711 A-law, expanded to 16-bit
inline constexpr int kAudioMLAW = 6;    // G.711 mu-law, expanded to 16-bit

// Description of linear PCM for the sound output.
struct WaveFormat {
    uint16_t formatTag = 1;  // 1: PCM
    uint16_t channels = 1;
    uint32_t samplesPerSec = 0;
    uint32_t avgBytesPerSec = 0;
    uint16_t blockAlign = 1;  // bytes per sample frame
    uint16_t bitsPerSample = 8;
    uint16_t extraSize = 0;

    friend bool operator==(const WaveFormat&, const WaveFormat&) = default;
};

// The G.711 expansions to 16-bit linear (A-law full scale +/-32256, mu-law
// +/-32124), indexed by the coded byte.
extern const int16_t kAlawToLinear[256];
extern const int16_t kMulawToLinear[256];

class CZoAdec {
public:
    CZoAdec() = default;

    // Stores the code and the rate. With `format`, fills it (PCM, mono, the
    // rate, 16 bits for codes 3 to 6 and 8 bits otherwise) and returns 1;
    // without one returns 0, the values stored all the same.
    int SetFormat(int audioCode, int sampleRate, WaveFormat* format);

    // Converts `payload` by the stored code into `output` and sets
    // `outputBytes` to the bytes written: the payload length for codes 1 to
    // 4, twice it for codes 5 and 6. Returns 1 when the whole payload was
    // converted. Never writes past `output`: a frame whose PCM does not fit
    // is converted as far as whole samples fit, `outputBytes` says how far,
    // and the result is 0. With a code outside 1 to 6 nothing is written,
    // `outputBytes` is 0 and the result 0.
    int Decode(std::span<const uint8_t> payload, std::span<uint8_t> output, int& outputBytes) const;

    int AudioCode() const { return audioCode_; }
    int SampleRate() const { return sampleRate_; }
    // Bytes of PCM that `payloadBytes` of payload become under the stored
    // code (0 for an unknown code).
    int OutputBytesFor(int payloadBytes) const;

private:
    int audioCode_ = kAudioUPCM8;
    int sampleRate_ = 8000;
};

}  // namespace zo::codec
