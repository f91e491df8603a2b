#include "render/NullAudioDevice.h"

#include <algorithm>

namespace zo::render {

using Lock = std::lock_guard<std::recursive_mutex>;

NullAudioDevice::NullAudioDevice(platform::Clock* clock) : clock_(clock ? clock : &platform::DefaultClock()) {}

void NullAudioDevice::CatchUp() const {
    const int64_t nowUs = clock_->NowUs();
    const int64_t elapsedUs = nowUs - pacedUntilUs_;
    pacedUntilUs_ = nowUs;
    if (pace_ != Pace::Clock || !looping_ || paused_ || elapsedUs <= 0)
        return;
    const int64_t scaled = elapsedUs * static_cast<int64_t>(format_.avgBytesPerSec) + pacedRemainderUs_;
    pacedRemainderUs_ = scaled % 1000000;
    PlayLocked(static_cast<uint64_t>(scaled / 1000000));
}

void NullAudioDevice::PlayLocked(uint64_t bytes) const {
    if (capture_ && ring_ && ringBytes_) {
        for (uint64_t i = 0; i < bytes && played_.size() < captureLimit_; ++i)
            played_.push_back(ring_[(positionBytes_ + i) % ringBytes_]);
    }
    positionBytes_ += bytes;
}

bool NullAudioDevice::Open(const codec::WaveFormat& format) {
    Lock lock(mutex_);
    if (failOpen_)
        return false;
    format_ = format;
    open_ = true;
    looping_ = false;
    paused_ = false;
    ring_ = nullptr;
    ringBytes_ = 0;
    positionBytes_ = 0;
    pacedUntilUs_ = clock_->NowUs();
    pacedRemainderUs_ = 0;
    ++openCount_;
    return true;
}

void NullAudioDevice::Close() {
    Lock lock(mutex_);
    StopLoop();
    open_ = false;
}

bool NullAudioDevice::IsOpen() const {
    Lock lock(mutex_);
    return open_;
}

bool NullAudioDevice::PrepareLoop(uint8_t* ring, size_t ringBytes) {
    Lock lock(mutex_);
    if (!open_ || failPrepare_ || !ring || ringBytes == 0)
        return false;
    ring_ = ring;
    ringBytes_ = ringBytes;
    return true;
}

bool NullAudioDevice::StartLoop() {
    Lock lock(mutex_);
    if (!open_ || !ring_ || looping_ || failStart_)
        return false;
    looping_ = true;
    paused_ = false;
    positionBytes_ = 0;
    pacedUntilUs_ = clock_->NowUs();
    pacedRemainderUs_ = 0;
    ++loopStarts_;
    return true;
}

void NullAudioDevice::StopLoop() {
    Lock lock(mutex_);
    if (looping_)
        ++loopStops_;
    looping_ = false;
    paused_ = false;
    ring_ = nullptr;
    ringBytes_ = 0;
    positionBytes_ = 0;
}

bool NullAudioDevice::IsLooping() const {
    Lock lock(mutex_);
    return looping_;
}

void NullAudioDevice::LockRing() {
    mutex_.lock();
}

void NullAudioDevice::UnlockRing() {
    mutex_.unlock();
}

bool NullAudioDevice::Pause() {
    Lock lock(mutex_);
    if (!open_)
        return false;
    CatchUp();
    paused_ = true;
    return true;
}

bool NullAudioDevice::Resume() {
    Lock lock(mutex_);
    if (!open_)
        return false;
    CatchUp();
    paused_ = false;
    return true;
}

bool NullAudioDevice::PlayPositionBytes(uint64_t& bytes) const {
    Lock lock(mutex_);
    if (!open_ || failPosition_)
        return false;
    CatchUp();
    bytes = positionBytes_;
    return true;
}

void NullAudioDevice::SetVolume(uint16_t level) {
    Lock lock(mutex_);
    volume_ = level;
}

uint16_t NullAudioDevice::Volume() const {
    Lock lock(mutex_);
    return volume_;
}

void NullAudioDevice::SetPace(Pace pace) {
    Lock lock(mutex_);
    CatchUp();
    pace_ = pace;
}

void NullAudioDevice::FailOpen(bool fail) {
    Lock lock(mutex_);
    failOpen_ = fail;
}

void NullAudioDevice::FailPrepare(bool fail) {
    Lock lock(mutex_);
    failPrepare_ = fail;
}

void NullAudioDevice::FailStart(bool fail) {
    Lock lock(mutex_);
    failStart_ = fail;
}

void NullAudioDevice::FailPosition(bool fail) {
    Lock lock(mutex_);
    failPosition_ = fail;
}

void NullAudioDevice::Advance(uint64_t bytes) {
    Lock lock(mutex_);
    CatchUp();
    if (looping_ && !paused_ && pace_ != Pace::Stalled)
        PlayLocked(bytes);
}

void NullAudioDevice::CapturePlayed(size_t limitBytes) {
    Lock lock(mutex_);
    capture_ = true;
    captureLimit_ = limitBytes;
    played_.clear();
    played_.reserve(limitBytes);
}

std::vector<uint8_t> NullAudioDevice::Played() const {
    Lock lock(mutex_);
    CatchUp();
    return played_;
}

bool NullAudioDevice::IsPaused() const {
    Lock lock(mutex_);
    return paused_;
}

int NullAudioDevice::OpenCount() const {
    Lock lock(mutex_);
    return openCount_;
}

int NullAudioDevice::LoopStarts() const {
    Lock lock(mutex_);
    return loopStarts_;
}

int NullAudioDevice::LoopStops() const {
    Lock lock(mutex_);
    return loopStops_;
}

codec::WaveFormat NullAudioDevice::Format() const {
    Lock lock(mutex_);
    return format_;
}

}  // namespace zo::render
