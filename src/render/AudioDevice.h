// The sound device under CZoWaveOut: it plays one caller-owned ring in an
// endless loop and reports how many bytes it has played since the loop was
// handed to it. Backends: SdlAudioDevice (the product) and NullAudioDevice
// (tests).
//
// Threads: Open, Close and the volume belong to the user-interface thread,
// the loop, pause, resume and the position to the worker that plays; the
// backend may read the ring on a thread of its own, so every write into the
// ring is made between LockRing and UnlockRing.
#pragma once

#include <cstddef>
#include <cstdint>

#include "codec/CZoAdec.h"

namespace zo::render {

class AudioDevice {
public:
    virtual ~AudioDevice() = default;

    // Opens the device for `format`, paused, with no loop. false if it cannot.
    virtual bool Open(const codec::WaveFormat& format) = 0;
    // Ends the loop and releases the device. Harmless when closed.
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;

    // Makes `ring` (`ringBytes`, owned by the caller and kept alive until
    // StopLoop or Close) the loop to play. false when closed.
    virtual bool PrepareLoop(uint8_t* ring, size_t ringBytes) = 0;
    // Starts playing the prepared loop from its first byte, with the play
    // position at 0. false when nothing is prepared or a loop already plays.
    virtual bool StartLoop() = 0;
    // Stops the loop (the device goes silent) and forgets it; the position
    // returns to 0. Harmless without a loop.
    virtual void StopLoop() = 0;
    virtual bool IsLooping() const = 0;

    // Holds and lets go of the playing side while the ring is written.
    virtual void LockRing() = 0;
    virtual void UnlockRing() = 0;

    // Stops and restarts playback without losing the position.
    virtual bool Pause() = 0;
    virtual bool Resume() = 0;

    // Bytes of the loop played since StartLoop. false when closed.
    virtual bool PlayPositionBytes(uint64_t& bytes) const = 0;

    // Output level 0..65535.
    virtual void SetVolume(uint16_t level) = 0;
    virtual uint16_t Volume() const = 0;
};

}  // namespace zo::render
