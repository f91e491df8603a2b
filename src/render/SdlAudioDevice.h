// SdlAudioDevice: the AudioDevice of the product, on the SDL2 audio
// subsystem (nothing else of SDL is used). SDL's audio thread pulls sound
// through a callback that copies the ring from the play position onwards,
// wrapping at its end, scales it by the volume and advances the position;
// pausing and resuming pause the SDL device. With SDL_AUDIODRIVER=dummy it
// plays in real time without a sound card.
//
// Threads: as AudioDevice. The callback runs under SDL's device lock, which
// LockRing takes; the position and the volume are atomics.
#pragma once

#include <SDL2/SDL.h>

#include <atomic>

#include "render/AudioDevice.h"

namespace zo::render {

class SdlAudioDevice final : public AudioDevice {
public:
    SdlAudioDevice() = default;
    ~SdlAudioDevice() override;
    SdlAudioDevice(const SdlAudioDevice&) = delete;
    SdlAudioDevice& operator=(const SdlAudioDevice&) = delete;

    bool Open(const codec::WaveFormat& format) override;
    void Close() override;
    bool IsOpen() const override { return device_ != 0; }
    bool PrepareLoop(uint8_t* ring, size_t ringBytes) override;
    bool StartLoop() override;
    void StopLoop() override;
    bool IsLooping() const override;
    void LockRing() override;
    void UnlockRing() override;
    bool Pause() override;
    bool Resume() override;
    bool PlayPositionBytes(uint64_t& bytes) const override;
    void SetVolume(uint16_t level) override { volume_.store(level, std::memory_order_relaxed); }
    uint16_t Volume() const override { return volume_.load(std::memory_order_relaxed); }

    // Sample frames SDL asks for per callback (after Open).
    int CallbackFrames() const { return callbackFrames_; }

    // Scales PCM by `level` (0..65535; 65535 leaves it unchanged): unsigned
    // 8-bit around 128, or signed 16-bit little-endian.
    static void ApplyVolume(uint8_t* pcm, size_t bytes, bool sixteenBit, uint16_t level);

private:
    static void Callback(void* self, Uint8* stream, int len);
    void Fill(uint8_t* out, size_t bytes);

    bool subsystemUp_ = false;
    SDL_AudioDeviceID device_ = 0;
    bool sixteenBit_ = false;
    int callbackFrames_ = 0;

    // Guarded by SDL's device lock (the callback runs under it).
    uint8_t* ring_ = nullptr;
    size_t ringBytes_ = 0;
    bool looping_ = false;

    std::atomic<uint64_t> positionBytes_{0};  // written under the device lock
    std::atomic<uint16_t> volume_{0xFFFF};
};

}  // namespace zo::render
