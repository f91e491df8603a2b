#include "render/SdlAudioDevice.h"

#include <algorithm>
#include <cstring>

namespace zo::render {

SdlAudioDevice::~SdlAudioDevice() {
    Close();
    if (subsystemUp_)
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

bool SdlAudioDevice::Open(const codec::WaveFormat& format) {
    Close();
    if (!subsystemUp_) {
        if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0)
            return false;
        subsystemUp_ = true;
    }
    if (format.formatTag != 1 || format.channels == 0 || format.samplesPerSec == 0 ||
        (format.bitsPerSample != 8 && format.bitsPerSample != 16))
        return false;

    SDL_AudioSpec want;
    SDL_zero(want);
    want.freq = static_cast<int>(format.samplesPerSec);
    want.format = format.bitsPerSample == 16 ? AUDIO_S16LSB : AUDIO_U8;
    want.channels = static_cast<Uint8>(std::min<uint16_t>(format.channels, 8));
    // About 16 to 32 ms a callback: small steps against the 1024-byte marks
    // of the ring, long enough that a late wake-up of SDL's thread costs
    // little of the rate.
    Uint16 frames = 64;
    while (frames * 2u <= format.samplesPerSec / 32u && frames < 4096)
        frames = static_cast<Uint16>(frames * 2);
    want.samples = frames;
    want.callback = &SdlAudioDevice::Callback;
    want.userdata = this;
    SDL_AudioSpec have;
    SDL_zero(have);
    // No changes allowed: SDL converts to the device's format itself, so the
    // callback always sees the ring's format.
    const SDL_AudioDeviceID id = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (id == 0)
        return false;
    device_ = id;
    sixteenBit_ = format.bitsPerSample == 16;
    callbackFrames_ = have.samples;
    positionBytes_.store(0, std::memory_order_relaxed);
    return true;  // SDL opens a device paused
}

void SdlAudioDevice::Close() {
    if (!device_)
        return;
    SDL_CloseAudioDevice(device_);  // joins SDL's audio thread
    device_ = 0;
    ring_ = nullptr;
    ringBytes_ = 0;
    looping_ = false;
    positionBytes_.store(0, std::memory_order_relaxed);
}

bool SdlAudioDevice::PrepareLoop(uint8_t* ring, size_t ringBytes) {
    if (!device_ || !ring || ringBytes == 0)
        return false;
    SDL_LockAudioDevice(device_);
    const bool ok = !looping_;
    if (ok) {
        ring_ = ring;
        ringBytes_ = ringBytes;
    }
    SDL_UnlockAudioDevice(device_);
    return ok;
}

bool SdlAudioDevice::StartLoop() {
    if (!device_)
        return false;
    SDL_LockAudioDevice(device_);
    const bool ok = ring_ && !looping_;
    if (ok) {
        looping_ = true;
        positionBytes_.store(0, std::memory_order_relaxed);
    }
    SDL_UnlockAudioDevice(device_);
    if (ok)
        SDL_PauseAudioDevice(device_, 0);
    return ok;
}

void SdlAudioDevice::StopLoop() {
    if (!device_)
        return;
    SDL_PauseAudioDevice(device_, 1);
    SDL_LockAudioDevice(device_);
    looping_ = false;
    ring_ = nullptr;
    ringBytes_ = 0;
    positionBytes_.store(0, std::memory_order_relaxed);
    SDL_UnlockAudioDevice(device_);
}

bool SdlAudioDevice::IsLooping() const {
    if (!device_)
        return false;
    SDL_LockAudioDevice(device_);
    const bool looping = looping_;
    SDL_UnlockAudioDevice(device_);
    return looping;
}

void SdlAudioDevice::LockRing() {
    if (device_)
        SDL_LockAudioDevice(device_);
}

void SdlAudioDevice::UnlockRing() {
    if (device_)
        SDL_UnlockAudioDevice(device_);
}

// SDL pauses and resumes under its device lock, so once Pause returns no
// callback is running and the position stands still.
bool SdlAudioDevice::Pause() {
    if (!device_)
        return false;
    SDL_PauseAudioDevice(device_, 1);
    return true;
}

bool SdlAudioDevice::Resume() {
    if (!device_)
        return false;
    SDL_PauseAudioDevice(device_, 0);
    return true;
}

bool SdlAudioDevice::PlayPositionBytes(uint64_t& bytes) const {
    if (!device_)
        return false;
    bytes = positionBytes_.load(std::memory_order_relaxed);
    return true;
}

void SdlAudioDevice::Callback(void* self, Uint8* stream, int len) {
    static_cast<SdlAudioDevice*>(self)->Fill(stream, len > 0 ? static_cast<size_t>(len) : 0);
}

void SdlAudioDevice::Fill(uint8_t* out, size_t bytes) {
    if (!looping_ || !ring_) {
        std::memset(out, sixteenBit_ ? 0 : 0x80, bytes);
        return;
    }
    const uint64_t position = positionBytes_.load(std::memory_order_relaxed);
    size_t at = static_cast<size_t>(position % ringBytes_);
    for (size_t done = 0; done < bytes;) {
        const size_t n = std::min(bytes - done, ringBytes_ - at);
        std::memcpy(out + done, ring_ + at, n);
        done += n;
        at = (at + n) % ringBytes_;
    }
    positionBytes_.store(position + bytes, std::memory_order_relaxed);

    ApplyVolume(out, bytes, sixteenBit_, volume_.load(std::memory_order_relaxed));
}

void SdlAudioDevice::ApplyVolume(uint8_t* pcm, size_t bytes, bool sixteenBit, uint16_t level) {
    if (level == 0xFFFF)
        return;
    const int32_t scale = level;
    if (sixteenBit) {
        for (size_t i = 0; i + 1 < bytes; i += 2) {
            const auto s = static_cast<int16_t>(static_cast<uint16_t>(pcm[i] | (pcm[i + 1] << 8)));
            const auto v = static_cast<uint16_t>(static_cast<int16_t>(s * scale / 0xFFFF));
            pcm[i] = static_cast<uint8_t>(v & 0xFF);
            pcm[i + 1] = static_cast<uint8_t>(v >> 8);
        }
    } else {
        for (size_t i = 0; i < bytes; ++i)
            pcm[i] = static_cast<uint8_t>(128 + (static_cast<int32_t>(pcm[i]) - 128) * scale / 0xFFFF);
    }
}

}  // namespace zo::render
