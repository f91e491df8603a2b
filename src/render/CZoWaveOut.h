// CZoWaveOut: plays decoded PCM through one 8192-byte ring that the sound
// device loops without end. The worker writes ahead of the device's play
// position and pauses the device while fewer than 1024 bytes are queued, so
// playback starts, and resumes after a gap, only with sound in hand; at
// most 7168 bytes are ever queued (1024 bytes of head room). Both sides are
// counted in 64-bit bytes since the loop started, so nothing wraps.
//
// Threads: Open, Close and the volume operations run on the user-interface
// thread, and Open/Close only while no worker runs; StartRing, StopRing,
// Write and Service run on the worker. No lock is taken here: the device
// guards its side of the ring (AudioDevice::LockRing).
#pragma once

#include <cstdint>
#include <memory>
#include <span>

#include "codec/CZoAdec.h"
#include "platform/MessagePort.h"
#include "render/AudioDevice.h"

namespace zo::render {

class CZoWaveOut {
public:
    static constexpr int kRingBytes = 8192;
    static constexpr int kLowWaterBytes = 1024;  // paused below this many queued bytes
    static constexpr int kHeadRoomBytes = 1024;  // never filled
    static constexpr int kMaxQueuedBytes = kRingBytes - kHeadRoomBytes;

    enum class WriteResult {
        Written,  // every byte is in the ring
        Full,     // not all of it fits now: wait a little and write the rest
        NoDevice  // no device to play it: drop the sound
    };

    // `messages` shows the failure texts (nullptr: the default port);
    // `device` is the backend (nullptr: SDL2).
    explicit CZoWaveOut(platform::MessagePort* messages = nullptr, std::unique_ptr<AudioDevice> device = nullptr);
    ~CZoWaveOut();
    CZoWaveOut(const CZoWaveOut&) = delete;
    CZoWaveOut& operator=(const CZoWaveOut&) = delete;

    // Stops any loop, closes the open device, clears the ring to the
    // format's silence, resets the counts and opens the device for `format`.
    // 1, or 0 after "Sound device open error !".
    int Open(const codec::WaveFormat& format);
    // Stops any loop and releases the device. Always 1.
    int Close();

    // Starts the ring looping from a silent, empty ring. A ring that already
    // loops is stopped first, so exactly one plays. 1; 0 after
    // "Preapre Header Error !" (the device cannot take the ring) or
    // "Sound out fail !" (it cannot start it).
    int StartRing();
    // Stops the loop: the device goes silent and the ring is emptied. A
    // worker calls it when it ends. Always 1.
    int StopRing();

    // Places PCM in the ring at the write position; `placedBytes` says how
    // much of `pcm` went in. A block that fits whole beside the queued bytes
    // and the head room goes in whole (Written); otherwise nothing goes in
    // (Full), except when the block could never fit whole (more than 7168
    // bytes) or the device is paused (so no room would come): then as much
    // as fits goes in, in whole sample frames, and the caller writes the
    // rest later. NoDevice when there is no device or its position cannot
    // be read; nothing is placed.
    WriteResult Write(std::span<const uint8_t> pcm, size_t& placedBytes);

    // Measures the queue: skips the written position up to a device that
    // has played past the data, pauses the device below 1024 queued bytes
    // and resumes it from 1024. The first pause after a start puts the write
    // position at the play position.
    void Service();

    // The device's own level (left channel).
    uint16_t GetDeviceVolume() const;
    // Stores (level & 0xFFFF) in both halves and, unless muted, sets the
    // device to it.
    void SetVolume(uint32_t level);
    uint32_t GetVolume() const { return volume_ & 0xFFFFu; }
    // Muted: device level 0; unmuted: the stored level. The stored level is kept.
    void SetMute(int mute);
    int GetMute() const { return mute_; }

    // State, for the worker and for tests.
    bool IsOpen() const { return device_->IsOpen(); }
    bool IsPaused() const { return paused_ != 0; }
    uint64_t BytesWritten() const { return bytesWritten_; }
    uint64_t QueuedBytes() const { return queuedBytes_; }
    uint32_t WriteIndex() const { return static_cast<uint32_t>(bytesWritten_ % kRingBytes); }
    const codec::WaveFormat& Format() const { return format_; }
    AudioDevice& Device() { return *device_; }

private:
    uint8_t Silence() const { return format_.bitsPerSample == 8 ? 0x80 : 0x00; }
    void ResetRing();  // counts to 0, flags to a fresh start, ring silent
    bool ReadPosition(uint64_t& position) const;
    void CopyIn(const uint8_t* data, size_t bytes);

    platform::MessagePort* messages_;
    std::unique_ptr<AudioDevice> device_;
    codec::WaveFormat format_;
    std::unique_ptr<uint8_t[]> ring_;  // kRingBytes, made with the object
    uint64_t bytesWritten_ = 0;        // since the loop started; comparable with the play position
    uint64_t queuedBytes_ = 0;         // written and not yet played, as last measured
    int paused_ = 0;                   // this object paused the device
    int firstPause_ = 1;               // no pause since the loop started
    uint32_t volume_ = 0;              // the level in both 16-bit halves
    int mute_ = 0;
};

}  // namespace zo::render
