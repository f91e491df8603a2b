// The player worker: paced forward and reverse play, fast play, frame
// steps and search over the recording reader, and the display path from a
// frame to the video window and the sound output.
#include <cstring>
#include <span>

#include "engine/CZoViewer2.h"
#include "engine/WorkerSupport.h"

namespace zo::engine {

using detail::PeriodUs;

void CZoViewer2::SleepMs(int ms) {
    if (pacing_ && ms > 0)
        clock_->SleepUs(static_cast<int64_t>(ms) * 1000);
}

bool CZoViewer2::Waiting(int channel) const {
    return channel < 0 || channel >= kChannels || (waitMask_ >> channel & 1u) != 0;
}

bool CZoViewer2::InterruptRequested() {
    return StopEvent().Wait(0) == 0 || commandEvent_.Wait(0) == 0;
}

uint32_t CZoViewer2::RunPlayer() {
    // The stop event was reset by Start: a Stop given before this point is
    // kept. The first command was posted by OpenRecording.
    const bool allocated = AllocateBuffers();
    waitMask_ = 0xFFFF;
    failures_ = 0;
    framesSinceSkip_ = 0;
    soundGapMs_ = kSoundGapMs;
    soundPaced_ = false;
    lastPictureUs_ = clock_->NowUs();
    exactUnavailable_ = false;
    cursorValid_ = false;
    restoreCursor_ = false;
    if (!allocated) {
        FreeBuffers();
        return 0;
    }
    waveOut_.StartRing();
    uint64_t previousMask = 0;
    const bool pinned = PinCurrentThread(1, &previousMask);

    for (;;) {
        if (StopEvent().Wait(0) == 0)
            break;
        if (commandEvent_.Wait(0) == 0) {
            // Reset before reading the code, so a command posted meanwhile
            // sets the event again and is seen in the next pass.
            commandEvent_.Reset();
            restoreCursor_ = true;
            soundPaced_ = false;  // the time per picture is measured anew
            switch (commandCode_.load(std::memory_order_relaxed)) {
                case kCommandPause: SetState(kStatePause); break;
                case kCommandPlay: SetState(kStatePlay); break;
                case kCommandPlayReverse: SetState(kStatePlayReverse); break;
                case kCommandStepForward: SetState(kStateStepForward); break;
                case kCommandStepReverse: SetState(kStateStepReverse); break;
                case kCommandSearch: SetState(kStateSearch); break;
                default: break;
            }
            continue;
        }
        waveOut_.Service();
        if (!reader_.IsOpen()) {
            platform::WaitAny({&StopEvent(), &commandEvent_}, 10);
            continue;
        }
        switch (GetState()) {
            case kStatePlay: RunPlayForward(); break;
            case kStatePlayReverse: RunPlayReverse(); break;
            case kStateStepForward: RunStepForward(); break;
            case kStateStepReverse: RunStepReverse(); break;
            case kStatePause:
                // Waits on the events rather than sleeping blind, so a
                // command is taken at once.
                platform::WaitAny({&StopEvent(), &commandEvent_}, 10);
                break;
            case kStateSearch: RunSearch(); break;
            default:
                platform::WaitAny({&StopEvent(), &commandEvent_}, 10);
                break;
        }
    }

    SetState(kStateReady);
    commandEvent_.Reset();
    SleepMs(100);
    waveOut_.StopRing();
    if (pinned)
        PinCurrentThread(previousMask, nullptr);
    FreeBuffers();
    return 1;
}

bool CZoViewer2::PacingDue(bool exactReverse) {
    if (!pacing_)
        return true;
    const double speed = GetSpeed();
    if (speed >= 8.0 && !exactReverse)
        return true;
    const int r = reader_.Interval() & 0x7F;
    const int64_t period = picturePeriodUs_;
    int64_t waitMs = 0;
    if (r >= 2 && r <= 29)
        waitMs = static_cast<int64_t>(2.0 * r * period / speed) / 1000;
    else
        waitMs = static_cast<int64_t>(period * (r + 1) / speed) / 1000;
    if (waitMs > 1)
        waitMs -= 1;
    // Sound sets the pace while it really plays: forward at x1 with sound of
    // the selected channel reaching the output. Pictures read meanwhile
    // count towards the gap that ends it.
    if (reader_.HasAudio() && speed == 1.0 && GetState() == kStatePlay && soundGapMs_ < kSoundGapMs) {
        if (!SpreadUnderSound())
            return false;
        soundGapMs_ += static_cast<int>(waitMs);
        return true;
    }
    soundPaced_ = false;
    const int64_t now = clock_->NowUs();
    if (now < lastPictureUs_)
        return true;
    const int64_t elapsedMs = (now - lastPictureUs_) / 1000;
    if (elapsedMs < waitMs) {
        clock_->SleepUs((waitMs - elapsedMs) * 1000);
        return false;
    }
    return true;
}

// Sound sets the pace by making the worker wait when its output is full, so
// the pictures read between two sound frames would come at once and a window
// could show only the last of them. They are spread instead: each waits for
// three quarters of the time per picture measured over the last second,
// which keeps them ahead of the sound (the sound still sets the pace) and
// leaves the rest of the wait to the next sound frame.
bool CZoViewer2::SpreadUnderSound() {
    const int64_t now = clock_->NowUs();
    if (!soundPaced_ || now < soundPaceWindowUs_) {
        soundPaced_ = true;
        soundPaceIntervalUs_ = 0;
        soundPaceWindowUs_ = now;
        soundPacePictures_ = 0;
    } else if (now - soundPaceWindowUs_ >= kSoundPaceWindowUs && soundPacePictures_ >= 2) {
        // A stall (a slow disk, a device that stopped taking sound) says
        // nothing of the pace: no spreading beyond 10 pictures a second.
        const int64_t interval = (now - soundPaceWindowUs_) / soundPacePictures_;
        soundPaceIntervalUs_ = interval <= kSoundPaceMaxIntervalUs ? interval : 0;
        soundPaceWindowUs_ = now;
        soundPacePictures_ = 0;
    }
    if (soundPaceIntervalUs_ <= 0 || now < lastPictureUs_)
        return true;
    const int64_t due = lastPictureUs_ + soundPaceIntervalUs_ * 3 / 4;
    if (now >= due)
        return true;
    clock_->SleepUs(due - now);
    return false;
}

void CZoViewer2::ClearWindowAfterDiskFailure() {
    if (reader_.GetPosition() > media::kBlockSize)
        window_.ResetPictures();
}

void CZoViewer2::StepOverUnreadableBlock(uint64_t positionBefore, bool forward) {
    ClearWindowAfterDiskFailure();
    const uint64_t position = reader_.GetPosition();
    if (position != positionBefore)
        return;  // the reader moved on by itself (damaged block, frame boundary)
    const uint64_t block = position / media::kBlockSize;
    if (forward) {
        if ((block + 1) * media::kBlockSize < reader_.GetSize())
            reader_.SetPosition((block + 1) * media::kBlockSize);
    } else if (position > 0) {
        reader_.SetPosition(block * media::kBlockSize);
    }
}

void CZoViewer2::RunPlayForward() {
    if (!PacingDue())
        return;
    const double speed = GetSpeed();
    if (speed >= 8.0) {
        waitMask_ = 0xFFFF;
        if (framesSinceSkip_ >= kFramesPerSkip) {
            reader_.SetPosition(reader_.GetPosition() + static_cast<uint64_t>(speed) * kSkipUnitBytes);
            framesSinceSkip_ = 0;
            SleepMs(8);
        }
    }
    const uint64_t before = reader_.GetPosition();
    const int length = reader_.ReadNextFrame(std::span<uint8_t>(frame_.get(), kFrameBytes));
    if (length > 0) {
        failures_ = 0;
        if (!reader_.IsAudio()) {
            lastPictureUs_ = clock_->NowUs();
            if (soundPaced_)
                ++soundPacePictures_;
            if (!vdec_.ParseHeader(frame_.get(), static_cast<size_t>(length)))
                return;  // dropped
            const int channel = vdec_.GetChannel();
            if (Waiting(channel) && !vdec_.IsKey() && !ExactForward()) {
                SleepMs(10);
                return;
            }
        }
        Display(length);
        return;
    }
    ++failures_;
    const uint64_t position = reader_.GetPosition();
    const uint64_t size = reader_.GetSize();
    if (!reader_.RawDisk()) {
        if (failures_ > kFileFailureLimit) {
            SetState(kStatePause);
            failures_ = 0;
        } else if (GetRepeat() && position + media::kBlockSize > size) {
            reader_.SetPosition(0);
        }
        return;
    }
    if (failures_ <= kDiskForwardFailureLimit && position + media::kBlockSize <= size) {
        StepOverUnreadableBlock(before, true);
        return;
    }
    failures_ = 0;
    if (GetRepeat())
        reader_.SetPosition(0);
    else
        SetState(kStatePause);
}

void CZoViewer2::RunPlayReverse() {
    waitMask_ = 0xFFFF;
    // Exact Steps: every picture up to x8, rebuilt; beyond, key pictures.
    const bool exact = GetSpeed() <= 8.0 && ExactStepsReady();
    if (exact)
        RestoreCursor();
    if (!PacingDue(exact))
        return;
    const double speed = GetSpeed();
    if (!exact && speed >= 8.0 && framesSinceSkip_ >= kFramesPerSkip) {
        const uint64_t skip = static_cast<uint64_t>(speed) * kSkipUnitBytes;
        const uint64_t position = reader_.GetPosition();
        reader_.SetPosition(position > skip ? position - skip : 0);
        framesSinceSkip_ = 0;
        SleepMs(8);
    }
    const uint64_t before = reader_.GetPosition();
    const int length = reader_.ReadPrevFrame(std::span<uint8_t>(frame_.get(), kFrameBytes));
    if (length > 0) {
        failures_ = 0;
        if (reader_.IsAudio())
            return;
        lastPictureUs_ = clock_->NowUs();
        if (!vdec_.ParseHeader(frame_.get(), static_cast<size_t>(length)))
            return;
        if (exact) {
            ShowExact();
            return;
        }
        if (Waiting(vdec_.GetChannel()) && !vdec_.IsKey()) {
            if (speed >= 8.0)
                SleepMs(10);
            return;
        }
        Display(length);
        return;
    }
    ++failures_;
    if (!reader_.RawDisk()) {
        if (failures_ > kFileFailureLimit) {
            SetState(kStatePause);
            failures_ = 0;
        }
        return;
    }
    if (failures_ > kDiskReverseFailureLimit || reader_.GetPosition() == 0) {
        SetState(kStatePause);
        failures_ = 0;
        return;
    }
    StepOverUnreadableBlock(before, false);
}

void CZoViewer2::RunStepForward() {
    const uint64_t before = reader_.GetPosition();
    const int length = reader_.ReadNextFrame(std::span<uint8_t>(frame_.get(), kFrameBytes));
    if (length == 0) {
        if (reader_.RawDisk()) {
            StepOverUnreadableBlock(before, true);
        }
        SetState(kStatePause);
        return;
    }
    if (reader_.IsAudio())
        return;  // the step goes on in the next pass
    if (!vdec_.ParseHeader(frame_.get(), static_cast<size_t>(length)))
        return;
    const int channel = vdec_.GetChannel();
    if (Waiting(channel) && !vdec_.IsKey()) {
        if (!ExactForward())
            return;
        // Exact Steps: rebuilt from its key picture, or passed over.
        Display(length);
        if (!Waiting(channel))
            SetState(kStatePause);
        return;
    }
    // Shown before the state says Pause, so whoever waits for the Pause
    // finds the picture there.
    Display(length);
    SetState(kStatePause);
}

void CZoViewer2::RunStepReverse() {
    waitMask_ = 0xFFFF;
    const bool exact = ExactStepsReady();
    if (exact)
        RestoreCursor();
    const uint64_t before = reader_.GetPosition();
    const int length = reader_.ReadPrevFrame(std::span<uint8_t>(frame_.get(), kFrameBytes));
    if (length == 0) {
        if (reader_.RawDisk()) {
            StepOverUnreadableBlock(before, false);
        }
        SetState(kStatePause);
        return;
    }
    if (reader_.IsAudio())
        return;
    if (!vdec_.ParseHeader(frame_.get(), static_cast<size_t>(length)))
        return;
    if (exact) {
        // The previous picture of a channel on the current page; one that
        // cannot be rebuilt is passed over.
        const int channel = vdec_.GetChannel();
        if (!window_.IsVisible(channel) && !(vdec_.IsDual() && window_.IsVisible(vdec_.DualChannel())))
            return;
        if (ShowExact())
            SetState(kStatePause);
        return;
    }
    if (!vdec_.IsKey()) {
        SleepMs(1);
        return;
    }
    Display(length);
    SetState(kStatePause);
}

void CZoViewer2::RunSearch() {
    waitMask_ = 0xFFFF;
    int length = 0;
    // A target the reader refuses (at or beyond the end, or an empty
    // recording) is not searched from the previous start position.
    if (reader_.SetStartPosition(searchTarget_.load(std::memory_order_relaxed)))
        length = reader_.ReadFirstFrame(std::span<uint8_t>(frame_.get(), kFrameBytes));
    if (length > 0) {
        // Steps back from here start before the frame found, shown or not.
        cursor_ = reader_.GetPosition();
        cursorValid_ = true;
        Display(length);
    }
    else if (reader_.RawDisk())
        ClearWindowAfterDiskFailure();
    SetState(kStatePause);
}

void CZoViewer2::PlaySound(int length) {
    int pcmBytes = 0;
    adec_.Decode(std::span<const uint8_t>(frame_.get(), static_cast<size_t>(length)),
                 std::span<uint8_t>(audio_.get(), kAudioBytes), pcmBytes);
    if (pcmBytes <= 0)
        return;
    size_t offset = 0;
    for (;;) {
        size_t placed = 0;
        const auto result = waveOut_.Write(
            std::span<const uint8_t>(audio_.get() + offset, static_cast<size_t>(pcmBytes) - offset), placed);
        offset += placed;
        if (result == render::CZoWaveOut::WriteResult::NoDevice)
            return;  // no device: dropped, and the pictures keep their own pace
        if (result == render::CZoWaveOut::WriteResult::Written)
            break;
        // Full: wait for the device to make room, unless the user wants
        // something else or the speed or state changed.
        if (!pacing_ || InterruptRequested() || GetSpeed() != 1.0 || GetState() != kStatePlay)
            break;
        clock_->SleepUs(5000);
        waveOut_.Service();
    }
    soundGapMs_ = 0;
}

void CZoViewer2::Display(int length) {
    if (reader_.IsAudio()) {
        if (GetSpeed() == 1.0 && GetState() == kStatePlay && reader_.Channel() == SelectedAudioChannel())
            PlaySound(length);
        else
            ++framesSinceSkip_;
        // Sound is never taken for a picture.
        return;
    }
    ++framesSinceSkip_;
    if (!vdec_.ParseHeader(frame_.get(), static_cast<size_t>(length)))
        return;
    const int channel = vdec_.GetChannel();
    if (channel < 0 || channel >= kChannels)
        return;
    bool rebuilt = false;
    if (Waiting(channel)) {
        if (!vdec_.IsKey()) {
            if (!ExactForward() || !RebuildWaiting(channel, length))
                return;
            rebuilt = true;
        }
        waitMask_ &= ~(1u << channel);
    }
    uint8_t* picture = pictures_.get() + static_cast<size_t>(channel) * kPictureBytes;
    if (!rebuilt && !vdec_.DecodePicture(frame_.get(), static_cast<size_t>(length), picture))
        return;
    cursor_ = reader_.GetPosition();
    cursorValid_ = true;
    // Exact Steps keep some of forward play's pictures as starting points of
    // steps back (the last frame of a recording rests behind its fill: its
    // start is not known from its length).
    if (cursor_ < reader_.GetSize() && GetState() != kStatePlayReverse && GetState() != kStateStepReverse &&
        ExactStepsReady())
        exact_.KeepForward(channel, ExactPictures::StartFromForwardRest(cursor_, static_cast<size_t>(length)),
                           picture, reader_, vdec_);
    const int width = static_cast<int>(vdec_.GetWidth());
    const int height = static_cast<int>(vdec_.GetHeight());
    picturePeriodUs_ = PeriodUs(height, vdec_.VideoCode());
    if (vdec_.IsDual()) {
        SplitDual(picture, width, height);
        if (!vdec_.HideLeft())
            ShowDecoded(channel, leftHalf_.get(), width / 2, height);
        if (!vdec_.HideRight())
            ShowDecoded(vdec_.DualChannel(), rightHalf_.get(), width / 2, height);
        return;
    }
    ShowDecoded(channel, picture, width, height);
}

void CZoViewer2::ShowDecoded(int channel, const uint8_t* picture, int widthPx, int heightPx) {
    ShowDecodedAt(channel, picture, widthPx, heightPx, reader_.Time());
}

void CZoViewer2::ShowDecodedAt(int channel, const uint8_t* picture, int widthPx, int heightPx,
                               const media::CalendarTime& time) {
    const int shown = window_.ShowPicture(channel, time, picture, widthPx, heightPx);
    if (pictureObserver_)
        pictureObserver_(channel, time, picture, widthPx, heightPx, shown);
}

void CZoViewer2::SplitDual(const uint8_t* picture, int widthPx, int heightPx) {
    const uint8_t* src = picture;
    uint8_t* left = leftHalf_.get();
    uint8_t* right = rightHalf_.get();
    const int half = widthPx / 2;
    for (int y = 0; y < heightPx; ++y, src += widthPx, left += half, right += half) {
        std::memcpy(left, src, static_cast<size_t>(half));
        std::memcpy(right, src + half, static_cast<size_t>(half));
    }
    const int quarter = widthPx / 4;
    for (int plane = 0; plane < 2; ++plane) {
        for (int y = 0; y < heightPx / 2; ++y, src += widthPx / 2, left += quarter, right += quarter) {
            std::memcpy(left, src, static_cast<size_t>(quarter));
            std::memcpy(right, src + quarter, static_cast<size_t>(quarter));
        }
    }
}

// ---- Exact Steps ----------------------------------------------------------------

bool CZoViewer2::ExactStepsReady() {
    if (!GetExactSteps() || exactUnavailable_)
        return false;
    if (!exact_.Allocate()) {
        exactUnavailable_ = true;  // key pictures only for the rest of this run
        return false;
    }
    return true;
}

bool CZoViewer2::ExactForward() {
    const int state = GetState();
    const bool applies = state == kStateStepForward || state == kStateSearch ||
                         (state == kStatePlay && GetSpeed() < 8.0);
    return applies && ExactStepsReady();
}

void CZoViewer2::RestoreCursor() {
    if (!restoreCursor_)
        return;
    restoreCursor_ = false;
    if (cursorValid_ && reader_.GetPosition() != cursor_)
        reader_.SetPosition(cursor_);
}

bool CZoViewer2::ShowExact() {
    const int channel = vdec_.GetChannel();
    const uint64_t rest = reader_.GetPosition();
    const ExactPictures::Picture* picture =
        exact_.Get(reader_, vdec_, channel, ExactPictures::StartFromBackwardRest(rest), vdec_.IsKey(), StopEvent());
    // Reading backward goes on before this picture, whatever the rebuild read.
    reader_.SetPosition(rest);
    cursor_ = rest;
    cursorValid_ = true;
    if (picture == nullptr)
        return false;
    ++framesSinceSkip_;
    ShowPictureOf(channel, *picture);
    return true;
}

void CZoViewer2::ShowPictureOf(int channel, const ExactPictures::Picture& picture) {
    picturePeriodUs_ = PeriodUs(picture.heightPx, picture.videoCode);
    if (picture.dual) {
        SplitDual(picture.data, picture.widthPx, picture.heightPx);
        if (!picture.hideLeft)
            ShowDecodedAt(channel, leftHalf_.get(), picture.widthPx / 2, picture.heightPx, picture.time);
        if (!picture.hideRight)
            ShowDecodedAt(picture.dualChannel, rightHalf_.get(), picture.widthPx / 2, picture.heightPx, picture.time);
        return;
    }
    ShowDecodedAt(channel, picture.data, picture.widthPx, picture.heightPx, picture.time);
}

bool CZoViewer2::RebuildWaiting(int channel, int length) {
    const uint64_t rest = reader_.GetPosition();
    // The last frame of a finished recording rests at the end behind its
    // fill, so its start is not known from its length.
    if (rest >= reader_.GetSize())
        return false;
    const ExactPictures::Picture* picture = exact_.Get(
        reader_, vdec_, channel, ExactPictures::StartFromForwardRest(rest, static_cast<size_t>(length)), false,
        StopEvent());
    reader_.SetPosition(rest);
    // The rebuild parsed other frames: the header is this frame's again.
    if (!vdec_.ParseHeader(frame_.get(), static_cast<size_t>(length)) || picture == nullptr)
        return false;
    std::memcpy(pictures_.get() + static_cast<size_t>(channel) * kPictureBytes, picture->data,
                codec::DecodedPictureBytes(picture->widthPx, picture->heightPx));
    return true;
}

}  // namespace zo::engine
