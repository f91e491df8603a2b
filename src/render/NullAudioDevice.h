// NullAudioDevice: an AudioDevice with no sound, for tests. By default it
// plays perfectly in the time of a platform::Clock (a ManualClock makes that
// exact); it can be told to play only when asked (Advance), to stall, or to
// fail to open, to prepare, to start or to report its position. It can keep
// the bytes it played, so a test can hear what the ring gave out.
//
// Threads: any; every member is guarded by one lock.
#pragma once

#include <mutex>
#include <vector>

#include "platform/Clock.h"
#include "render/AudioDevice.h"

namespace zo::render {

class NullAudioDevice final : public AudioDevice {
public:
    enum class Pace {
        Clock,   // plays avgBytesPerSec in the clock's time
        Manual,  // plays only what Advance asks for
        Stalled  // never plays
    };

    // `clock` paces Pace::Clock; nullptr means the system clock.
    explicit NullAudioDevice(platform::Clock* clock = nullptr);

    bool Open(const codec::WaveFormat& format) override;
    void Close() override;
    bool IsOpen() const override;
    bool PrepareLoop(uint8_t* ring, size_t ringBytes) override;
    bool StartLoop() override;
    void StopLoop() override;
    bool IsLooping() const override;
    void LockRing() override;
    void UnlockRing() override;
    bool Pause() override;
    bool Resume() override;
    bool PlayPositionBytes(uint64_t& bytes) const override;
    void SetVolume(uint16_t level) override;
    uint16_t Volume() const override;

    // Misbehaviour.
    void SetPace(Pace pace);
    void FailOpen(bool fail);
    void FailPrepare(bool fail);
    void FailStart(bool fail);
    void FailPosition(bool fail);

    // Plays `bytes` more of the loop now, unless paused, stalled or without
    // a loop.
    void Advance(uint64_t bytes);

    // Keeps every byte played from now on (up to `limitBytes`).
    void CapturePlayed(size_t limitBytes);
    std::vector<uint8_t> Played() const;

    bool IsPaused() const;
    int OpenCount() const;        // successful opens
    int LoopStarts() const;       // successful StartLoop calls
    int LoopStops() const;        // StopLoop calls that ended a loop
    codec::WaveFormat Format() const;

private:
    void CatchUp() const;                    // caller holds mutex_
    void PlayLocked(uint64_t bytes) const;  // caller holds mutex_

    platform::Clock* clock_;
    mutable std::recursive_mutex mutex_;  // guards everything below; LockRing holds it too
    codec::WaveFormat format_;
    bool open_ = false;
    uint8_t* ring_ = nullptr;
    size_t ringBytes_ = 0;
    bool looping_ = false;
    bool paused_ = false;
    Pace pace_ = Pace::Clock;
    bool failOpen_ = false, failPrepare_ = false, failStart_ = false, failPosition_ = false;
    mutable uint64_t positionBytes_ = 0;
    mutable int64_t pacedUntilUs_ = 0;  // clock time up to which Pace::Clock has played
    mutable int64_t pacedRemainderUs_ = 0;
    uint16_t volume_ = 0xFFFF;
    int openCount_ = 0, loopStarts_ = 0, loopStops_ = 0;
    bool capture_ = false;
    size_t captureLimit_ = 0;
    mutable std::vector<uint8_t> played_;
};

}  // namespace zo::render
