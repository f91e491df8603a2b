#include "render/CZoWaveOut.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "render/SdlAudioDevice.h"

namespace zo::render {

CZoWaveOut::CZoWaveOut(platform::MessagePort* messages, std::unique_ptr<AudioDevice> device)
    : messages_(messages ? messages : &platform::DefaultMessagePort()),
      device_(device ? std::move(device) : std::make_unique<SdlAudioDevice>()),
      ring_(new (std::nothrow) uint8_t[kRingBytes]) {
    if (!ring_)
        messages_->Show("m_pWavQ Allocation Failed");
    else
        std::memset(ring_.get(), 0, kRingBytes);
}

CZoWaveOut::~CZoWaveOut() {
    Close();
}

void CZoWaveOut::ResetRing() {
    bytesWritten_ = 0;
    queuedBytes_ = 0;
    paused_ = 0;
    firstPause_ = 1;
    if (ring_) {
        device_->LockRing();
        std::memset(ring_.get(), Silence(), kRingBytes);
        device_->UnlockRing();
    }
}

int CZoWaveOut::Open(const codec::WaveFormat& format) {
    // A device reopened on a mode change must not keep playing the old loop.
    device_->StopLoop();
    device_->Close();
    format_ = format;
    ResetRing();
    if (!ring_)
        return 0;
    if (!device_->Open(format)) {
        messages_->Show("Sound device open error !");
        return 0;
    }
    return 1;
}

int CZoWaveOut::Close() {
    device_->StopLoop();
    device_->Close();
    paused_ = 0;
    return 1;
}

int CZoWaveOut::StartRing() {
    if (device_->IsLooping())
        device_->StopLoop();
    ResetRing();
    if (!ring_ || !device_->PrepareLoop(ring_.get(), kRingBytes)) {
        messages_->Show("Preapre Header Error !");
        return 0;
    }
    if (!device_->StartLoop()) {
        device_->StopLoop();
        messages_->Show("Sound out fail !");
        return 0;
    }
    return 1;
}

int CZoWaveOut::StopRing() {
    device_->StopLoop();
    ResetRing();
    return 1;
}

bool CZoWaveOut::ReadPosition(uint64_t& position) const {
    if (!device_->PlayPositionBytes(position))
        return false;
    if (format_.blockAlign != 1)
        position &= ~uint64_t{1};
    return true;
}

void CZoWaveOut::CopyIn(const uint8_t* data, size_t bytes) {
    device_->LockRing();
    size_t at = static_cast<size_t>(bytesWritten_ % kRingBytes);
    for (size_t done = 0; done < bytes;) {
        const size_t n = std::min(bytes - done, static_cast<size_t>(kRingBytes) - at);
        std::memcpy(ring_.get() + at, data + done, n);
        done += n;
        at = (at + n) % kRingBytes;
    }
    device_->UnlockRing();
    bytesWritten_ += bytes;
}

CZoWaveOut::WriteResult CZoWaveOut::Write(std::span<const uint8_t> pcm, size_t& placedBytes) {
    placedBytes = 0;
    uint64_t position = 0;
    if (!ring_ || !device_->IsOpen() || !ReadPosition(position))
        return WriteResult::NoDevice;
    if (bytesWritten_ < position) {
        // The device has played past the data: write where it plays now, not
        // into ring bytes it will reach only after a whole loop.
        bytesWritten_ = position;
        queuedBytes_ = 0;
    } else {
        queuedBytes_ = bytesWritten_ - position;
    }
    const uint64_t length = pcm.size();
    if (length == 0)
        return WriteResult::Written;
    if (queuedBytes_ + length + kHeadRoomBytes <= kRingBytes) {
        CopyIn(pcm.data(), pcm.size());
        placedBytes = pcm.size();
        return WriteResult::Written;
    }
    // A playing device makes room for a block of at most 7168 bytes; a
    // longer block, or any block while the device is paused, would wait for
    // ever, so it goes in piece by piece.
    if (length <= static_cast<uint64_t>(kMaxQueuedBytes) && !paused_)
        return WriteResult::Full;
    uint64_t room = queuedBytes_ < kMaxQueuedBytes ? kMaxQueuedBytes - queuedBytes_ : 0;
    room = std::min(room, length);
    const uint64_t frameBytes = std::max<uint16_t>(format_.blockAlign, 1);
    room -= room % frameBytes;
    if (room > 0) {
        CopyIn(pcm.data(), static_cast<size_t>(room));
        placedBytes = static_cast<size_t>(room);
        queuedBytes_ += room;
    }
    return WriteResult::Full;
}

void CZoWaveOut::Service() {
    uint64_t position = 0;
    if (!ring_ || !device_->IsOpen() || !ReadPosition(position))
        return;
    if (bytesWritten_ < position) {
        queuedBytes_ = 0;
        bytesWritten_ = position;
    } else {
        queuedBytes_ = bytesWritten_ - position;
    }
    if (queuedBytes_ < static_cast<uint64_t>(kLowWaterBytes) && !paused_) {
        device_->Pause();
        if (ReadPosition(position) && firstPause_) {
            bytesWritten_ = position;
            firstPause_ = 0;
        }
        paused_ = 1;
    } else if (queuedBytes_ >= static_cast<uint64_t>(kLowWaterBytes) && paused_) {
        if (device_->Resume())
            paused_ = 0;
    }
}

uint16_t CZoWaveOut::GetDeviceVolume() const {
    return device_->Volume();
}

void CZoWaveOut::SetVolume(uint32_t level) {
    const uint32_t l = level & 0xFFFFu;
    volume_ = l | (l << 16);
    if (!mute_)
        device_->SetVolume(static_cast<uint16_t>(l));
}

void CZoWaveOut::SetMute(int mute) {
    mute_ = mute;
    device_->SetVolume(mute ? 0 : static_cast<uint16_t>(volume_ & 0xFFFFu));
}

}  // namespace zo::render
