#include "engine/CZoViewer2.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include "media/BlockScan.h"
#include "media/RecordingFormat.h"
#include "media/TimeLocator.h"

namespace zo::engine {

namespace {

// Picture period by decoded height and video code: codes 0 and 2 record
// whole frames, the others fields.
int PeriodUs(int height, int videoCode) {
    const bool frames = videoCode == media::kVideoZO4 || videoCode == media::kVideoZON;
    if (height == 224)
        return frames ? 33333 : 16666;
    return frames ? 40000 : 20000;
}

std::unique_ptr<uint8_t[]> TryAllocate(size_t bytes) {
    return std::unique_ptr<uint8_t[]>(new (std::nothrow) uint8_t[bytes]);
}

double RoundToTenth(double value) { return std::round(value * 10.0) / 10.0; }

}  // namespace

CZoViewer2::CZoViewer2() : CZoViewer2(Ports{}) {}

CZoViewer2::CZoViewer2(Ports ports)
    : messages_(ports.messages ? ports.messages : &platform::DefaultMessagePort()),
      clock_(ports.clock ? ports.clock : &platform::DefaultClock()),
      reader_(messages_),
      net_(clock_, ports.parent),
      window_(messages_, ports.parent),
      waveOut_(messages_, std::move(ports.audioDevice)),
      recorder_(nullptr, nullptr, messages_) {}

CZoViewer2::~CZoViewer2() {
    net_.Stop();
    StopWorker();
    reader_.Close();
    waveOut_.Close();
}

const char* CZoViewer2::StateText(int state) {
    switch (state) {
        case kStateStop: return "STOP ";
        case kStatePlay:
        case kStatePlayReverse: return "PLAY ";
        case kStateStepForward: return "STEPF";
        case kStateStepReverse: return "STEPR";
        case kStatePause: return "PAUSE";
        case kStateSearch: return "SEARCH";
        default: return "READY";
    }
}

// ---- Set-up and mode ----------------------------------------------------------

int CZoViewer2::Create(int widthPx, int heightPx, int videoCode, int audioCode, int channelCount, int sampleRate,
                       int audioChannelCount) {
    if (channelCount >= 10)
        splitCount_ = 16;
    else if (channelCount >= 5)
        splitCount_ = 9;
    else if (channelCount >= 2)
        splitCount_ = 4;
    else
        splitCount_ = 1;
    videoCode_ = videoCode;
    audioCode_ = audioCode;
    channelCount_ = channelCount;
    sampleRate_ = sampleRate;
    audioChannelCount_ = audioChannelCount;
    window_.SetCellCount(splitCount_);
    window_.SetUseDirectDraw(false);
    reader_.SetFormat(videoCode_);
    vdec_.Init(videoCode_);
    recorder_.Init(media::kVideoZON, videoCode_, channelCount_);
    ReopenSound();
    window_.OnSize(widthPx, heightPx);
    // The initial mode is NetViewer: one cell, no titles.
    window_.SetCellCount(1);
    window_.SetOverlayEnabled(false);
    return 1;
}

void CZoViewer2::ReopenSound() {
    codec::WaveFormat format;
    adec_.SetFormat(audioCode_, sampleRate_, &format);
    waveOut_.Open(format);
}

int CZoViewer2::SetMode(int mode, int splitCount) {
    if (mode != kModePlayer && mode != kModeNetViewer)
        return 0;
    // Whatever worker runs ends before the sound device or the reader change
    // under it; a live source still connecting is stopped as well as one
    // that is logged in.
    if (net_.HasThread() || mode_ == kModeNetViewer)
        Disconnect();
    StopWorker();
    ReopenSound();
    if (mode == kModePlayer) {
        if (static_cast<unsigned>(splitCount) <= 16u)
            splitCount_ = splitCount;
        vdec_.Init(videoCode_);
        window_.SetCellCount(splitCount_);
        window_.SetOverlayEnabled(true);
    } else {
        if (reader_.IsOpen())
            CloseRecording();
        vdec_.Init(media::kVideoZON);
        window_.SetCellCount(1);
        window_.SetOverlayEnabled(false);
    }
    window_.ResetPictures();
    mode_ = mode;
    return 1;
}

// ---- Recording ------------------------------------------------------------------

int CZoViewer2::OpenRecording(const std::string& path, int disk) {
    CloseRecording();
    if (!reader_.Open(path, disk != 0))
        return 0;
    return OpenRecordingSource(nullptr, path, disk);
}

int CZoViewer2::OpenRecordingSource(std::unique_ptr<media::ByteSource> source, const std::string& name, int disk) {
    if (source) {
        CloseRecording();
        if (!reader_.OpenSource(std::move(source), name, disk != 0))
            return 0;
    }
    if (!reader_.IsOpen())
        return 0;
    window_.ResetPictures();
    speed_.store(1.0, std::memory_order_relaxed);
    fastPlay_ = false;
    // Play starts at the first valid block: a DVR disk begins with the
    // recorder's own area, which the failure limits would not get past. The
    // search is bounded (256 MiB) so that opening stays quick. A disk image
    // may start inside a block: play reads on its block grid.
    reader_.FindGridOrigin();
    if (const media::ByteSource* bytes = reader_.Source()) {
        constexpr uint64_t kFirstBlockSearch = 256ull << 20;
        const uint64_t first = media::FindNextValidBlock(*bytes, reader_.VideoCode(), reader_.RawDisk(), 0, nullptr,
                                                         kFirstBlockSearch);
        if (first != media::kNoBlock)
            reader_.SetPosition(first);
    }
    // The first command is posted before the worker exists, so a command
    // the user gives at once is never overwritten by it.
    PostCommand(kCommandPlay);
    if (Start(kPriorityAboveNormal) != 1) {
        commandEvent_.Reset();
        reader_.Close();
        return 0;
    }
    return 1;
}

int CZoViewer2::CloseRecording() {
    // The worker ends before the reader it reads closes.
    StopWorker();
    if (reader_.IsOpen()) {
        reader_.Close();
        window_.ResetPictures();
    }
    SetState(kStateReady);
    return 1;
}

void CZoViewer2::StopWorker() {
    Stop();
    state_.store(kStateReady, std::memory_order_relaxed);
}

int CZoViewer2::GetFrameTime(media::CalendarTime& time) const {
    if (GetState() == kStateReady)
        return 0;
    return reader_.GetTime(time);
}

int CZoViewer2::SaveRange(uint64_t start, uint64_t end, const std::string& path) const {
    return reader_.SaveRange(start, end, path);
}

// ---- Transport ------------------------------------------------------------------

void CZoViewer2::PostCommand(int code) {
    commandCode_.store(code, std::memory_order_relaxed);
    commandEvent_.Set();
}

namespace {

// Play and PlayReverse: the magnitude, at most x8; 0 means x1.
double PlaySpeed(double speed) {
    speed = std::fabs(speed);
    if (speed > 8.0)
        return 8.0;
    return speed == 0.0 ? 1.0 : speed;
}

// Fast Forward and Fast Rewind: doubles while already playing that way at
// x8 or more, else x8; beyond x128 back to x1.
double FastSpeed(double speed, bool playingThatWay) {
    speed = playingThatWay && speed >= 8.0 ? speed * 2.0 : 8.0;
    return speed > 128.0 ? 1.0 : speed;
}

}  // namespace

int CZoViewer2::Play(double speed) {
    speed_.store(PlaySpeed(speed), std::memory_order_relaxed);
    fastPlay_ = false;
    PostCommand(kCommandPlay);
    return 1;
}

int CZoViewer2::PlayReverse(double speed) {
    speed_.store(PlaySpeed(speed), std::memory_order_relaxed);
    fastPlay_ = false;
    PostCommand(kCommandPlayReverse);
    return 1;
}

int CZoViewer2::FastForward() {
    const double speed = FastSpeed(GetSpeed(), GetState() == kStatePlay);
    speed_.store(speed, std::memory_order_relaxed);
    fastPlay_ = speed >= 8.0;
    PostCommand(kCommandPlay);
    return 1;
}

int CZoViewer2::FastRewind() {
    const double speed = FastSpeed(GetSpeed(), GetState() == kStatePlayReverse);
    speed_.store(speed, std::memory_order_relaxed);
    fastPlay_ = speed >= 8.0;
    PostCommand(kCommandPlayReverse);
    return 1;
}

int CZoViewer2::Pause() {
    PostCommand(kCommandPause);
    return 1;
}

int CZoViewer2::NextFrame() {
    PostCommand(kCommandStepForward);
    return 1;
}

int CZoViewer2::PrevFrame() {
    PostCommand(kCommandStepReverse);
    return 1;
}

int CZoViewer2::Seek(uint64_t position) {
    searchTarget_.store(position, std::memory_order_relaxed);
    PostCommand(kCommandSearch);
    return 1;
}

int CZoViewer2::SearchTime(uint32_t seconds, uint64_t* position) {
    const media::ByteSource* source = reader_.Source();
    if (source == nullptr)
        return 0;
    media::TimeLocator locator(*source, reader_.VideoCode(), reader_.RawDisk());
    const media::TimeLocator::Result found = locator.Find(seconds);
    if (!found.Found())
        return 0;
    if (position)
        *position = found.Position();
    return Seek(found.Position());
}

void CZoViewer2::ApplyFineSpeed() {
    const int state = GetState();
    if ((state == kStatePlay || state == kStatePlayReverse) && !fastPlay_)
        speed_.store(fineSpeed_, std::memory_order_relaxed);
}

void CZoViewer2::SpeedNormal() {
    fineSpeed_ = 1.0;
    ApplyFineSpeed();
}

void CZoViewer2::SpeedUp() {
    fineSpeed_ = RoundToTenth(std::min(8.0, fineSpeed_ + 0.1));
    ApplyFineSpeed();
}

void CZoViewer2::SpeedDown() {
    fineSpeed_ = RoundToTenth(std::max(0.1, fineSpeed_ - 0.1));
    ApplyFineSpeed();
}

int CZoViewer2::SelectedAudioChannel() const {
    int cellsPerPage = 0;
    int page = 0;
    window_.GetLayout(cellsPerPage, page);
    if (cellsPerPage == 1 && page >= 0 && page < audioChannelCount_)
        return page;
    return 0;
}

// ---- Live view --------------------------------------------------------------------

int CZoViewer2::StartLive() {
    if (Start(kPriorityAboveNormal) != 1 || net_.Start() != 1) {
        lastError_ = net_.GetLastErrorText();
        if (lastError_.empty())
            lastError_ = "Already Connected";
        net_.Stop();
        StopWorker();
        return 0;
    }
    return 1;
}

int CZoViewer2::Connect(const std::string& address, int port, const std::string& password) {
    return ConnectWith([&] { return net_.SetDvrAddress(address, port, password); });
}

int CZoViewer2::ConnectByName(const std::string& ddnsServer, int ddnsPort, const std::string& dvrName,
                              const std::string& password) {
    return ConnectWith([&] { return net_.SetDdnsAddress(ddnsServer, ddnsPort, dvrName, password); });
}

int CZoViewer2::ConnectWith(const std::function<int()>& setAddress) {
    if (mode_ != kModeNetViewer)
        SetMode(kModeNetViewer, -1);
    if (HasThread() || !setAddress()) {
        lastError_ = net_.GetLastErrorText();
        if (lastError_.empty())
            lastError_ = "Already Connected";
        return 0;
    }
    // Only now: a running live worker owns the decoder.
    vdec_.Init(media::kVideoZON);
    return StartLive();
}

int CZoViewer2::Disconnect() {
    net_.Stop();
    StopWorker();
    return 1;
}

int CZoViewer2::StartRecording(const std::string& path) {
    if (recorder_.IsRecording())
        recorder_.StopRecording();
    return recorder_.StartRecording(path);
}

int CZoViewer2::StartRecordingInFolder(const std::string& folder) {
    if (recorder_.IsRecording())
        recorder_.StopRecording();
    return recorder_.StartRecordingInFolder(folder);
}

uint32_t CZoViewer2::RunLive() {
    const bool allocated = AllocateBuffers();
    liveAudio_ = TryAllocate(net::CZoNetSource::kAudioSampleBytes);
    if (!allocated || !liveAudio_) {
        FreeBuffers();
        return 0;
    }
    waveOut_.StartRing();
    media::CZoOutputBuffer& videoQueue = net_.GetVideoQueue();
    media::CZoOutputBuffer& audioQueue = net_.GetAudioQueue();
    platform::Event* events[] = {&StopEvent(), &videoQueue.GetDataEvent(), &audioQueue.GetDataEvent()};
    // The sound output is measured at least this often, also while frames
    // keep arriving.
    constexpr int64_t kServiceUs = 5000;
    int64_t lastServiceUs = clock_->NowUs();
    for (;;) {
        int woke = platform::WaitAny(std::span<platform::Event* const>(events, 3), 5);
        if (woke == 0)
            break;
        if (woke == 1) {
            media::CZoSample sample;
            sample.data = frame_.get();
            sample.capacity = static_cast<uint32_t>(kFrameBytes);
            if (videoQueue.GetSample(sample))
                ShowLivePicture(sample);
            // The wait prefers video; sound waiting as well gets its turn
            // now, so a steady stream of pictures cannot starve it.
            if (audioQueue.GetDataEvent().Wait(0) == 0)
                woke = 2;
        }
        if (woke == 2) {
            media::CZoSample sample;
            sample.data = liveAudio_.get();
            sample.capacity = net::CZoNetSource::kAudioSampleBytes;
            if (audioQueue.GetSample(sample))
                PlayLiveSound(sample);
        }
        const int64_t now = clock_->NowUs();
        if (woke == platform::kWaitTimeout || now - lastServiceUs >= kServiceUs) {
            waveOut_.Service();
            lastServiceUs = now;
        }
    }
    if (recorder_.IsRecording())
        recorder_.StopRecording();
    waveOut_.StopRing();
    FreeBuffers();
    return 1;
}

void CZoViewer2::ShowLivePicture(media::CZoSample& sample) {
    const size_t length = sample.length;
    if (!vdec_.ParseHeader(sample.data, length))
        return;
    const int channel = vdec_.GetChannel();
    if (channel < 0 || channel >= kChannels)
        return;
    uint8_t* picture = pictures_.get() + static_cast<size_t>(channel) * kPictureBytes;
    if (!vdec_.DecodePicture(sample.data, length, picture))
        return;
    const int width = static_cast<int>(vdec_.GetWidth());
    const int height = static_cast<int>(vdec_.GetHeight());
    picturePeriodUs_ = PeriodUs(height, vdec_.VideoCode());
    const int shown = window_.ShowPicture(channel, sample.time, picture, width, height);
    if (pictureObserver_)
        pictureObserver_(channel, sample.time, picture, width, height, shown);
    if (recorder_.IsRecording())
        recorder_.WriteVideoFrame(sample);
}

void CZoViewer2::PlayLiveSound(media::CZoSample& sample) {
    media::CZoOutputBuffer& videoQueue = net_.GetVideoQueue();
    int pcmBytes = 0;
    adec_.Decode(std::span<const uint8_t>(sample.data, sample.length), std::span<uint8_t>(audio_.get(), kAudioBytes),
                 pcmBytes);
    size_t offset = 0;
    while (pcmBytes > 0 && offset < static_cast<size_t>(pcmBytes)) {
        size_t placed = 0;
        const auto result = waveOut_.Write(
            std::span<const uint8_t>(audio_.get() + offset, static_cast<size_t>(pcmBytes) - offset), placed);
        offset += placed;
        if (result != render::CZoWaveOut::WriteResult::Full)
            break;  // written, or no device (dropped)
        if (StopEvent().Wait(0) == 0)
            break;
        // The DVR's sound arrives as fast as it plays, so the ring can stay
        // full for a while: pictures that come meanwhile are shown (and
        // recorded) rather than left to overflow their queue.
        while (videoQueue.GetDataEvent().Wait(0) == 0) {
            media::CZoSample picture;
            picture.data = frame_.get();
            picture.capacity = static_cast<uint32_t>(kFrameBytes);
            if (!videoQueue.GetSample(picture))
                break;
            ShowLivePicture(picture);
        }
        clock_->SleepUs(5000);
        waveOut_.Service();
    }
    if (recorder_.IsRecording())
        recorder_.WriteSoundFrame(sample);
}

// ---- Worker ---------------------------------------------------------------------

bool CZoViewer2::AllocateBuffers() {
    frame_ = TryAllocate(kFrameBytes);
    pictures_ = TryAllocate(kChannels * kPictureBytes);
    leftHalf_ = TryAllocate(kHalfPictureBytes);
    rightHalf_ = TryAllocate(kHalfPictureBytes);
    audio_ = TryAllocate(kAudioBytes);
    if (pictures_) {
        // Black: luma 0, chroma 128, as in the largest picture size.
        for (int c = 0; c < kChannels; ++c) {
            uint8_t* picture = pictures_.get() + static_cast<size_t>(c) * kPictureBytes;
            std::memset(picture, 0, 640 * 272);
            std::memset(picture + 640 * 272, 128, kPictureBytes - 640 * 272);
        }
    }
    return frame_ && pictures_ && leftHalf_ && rightHalf_ && audio_;
}

void CZoViewer2::FreeBuffers() {
    frame_.reset();
    pictures_.reset();
    leftHalf_.reset();
    rightHalf_.reset();
    audio_.reset();
    liveAudio_.reset();
}

void CZoViewer2::SetState(int state) {
    if (state_.exchange(state, std::memory_order_relaxed) != state && stateObserver_)
        stateObserver_(state);
}

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

uint32_t CZoViewer2::Run() {
    if (mode_ != kModePlayer)
        return RunLive();

    // The stop event was reset by Start: a Stop given before this point is
    // kept. The first command was posted by OpenRecording.
    const bool allocated = AllocateBuffers();
    waitMask_ = 0xFFFF;
    failures_ = 0;
    framesSinceSkip_ = 0;
    soundGapMs_ = kSoundGapMs;
    lastPictureUs_ = clock_->NowUs();
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

bool CZoViewer2::PacingDue() {
    if (!pacing_)
        return true;
    const double speed = GetSpeed();
    if (speed >= 8.0)
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
        soundGapMs_ += static_cast<int>(waitMs);
        return true;
    }
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

void CZoViewer2::ClearWindowAfterDiskFailure() {
    if (reader_.GetPosition() > media::kBlockSize)
        window_.ResetPictures();
}

void CZoViewer2::StepOverUnreadableBlock(uint64_t positionBefore, bool forward) {
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
            if (!vdec_.ParseHeader(frame_.get(), static_cast<size_t>(length)))
                return;  // dropped
            const int channel = vdec_.GetChannel();
            if (Waiting(channel) && !vdec_.IsKey()) {
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
        ClearWindowAfterDiskFailure();
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
    if (!PacingDue())
        return;
    const double speed = GetSpeed();
    if (speed >= 8.0 && framesSinceSkip_ >= kFramesPerSkip) {
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
    ClearWindowAfterDiskFailure();
    StepOverUnreadableBlock(before, false);
}

void CZoViewer2::RunStepForward() {
    const uint64_t before = reader_.GetPosition();
    const int length = reader_.ReadNextFrame(std::span<uint8_t>(frame_.get(), kFrameBytes));
    if (length == 0) {
        if (reader_.RawDisk()) {
            ClearWindowAfterDiskFailure();
            StepOverUnreadableBlock(before, true);
        }
        SetState(kStatePause);
        return;
    }
    if (reader_.IsAudio())
        return;  // the step goes on in the next pass
    if (!vdec_.ParseHeader(frame_.get(), static_cast<size_t>(length)))
        return;
    if (Waiting(vdec_.GetChannel()) && !vdec_.IsKey())
        return;
    // Shown before the state says Pause, so whoever waits for the Pause
    // finds the picture there.
    Display(length);
    SetState(kStatePause);
}

void CZoViewer2::RunStepReverse() {
    waitMask_ = 0xFFFF;
    const uint64_t before = reader_.GetPosition();
    const int length = reader_.ReadPrevFrame(std::span<uint8_t>(frame_.get(), kFrameBytes));
    if (length == 0) {
        if (reader_.RawDisk()) {
            ClearWindowAfterDiskFailure();
            StepOverUnreadableBlock(before, false);
        }
        SetState(kStatePause);
        return;
    }
    if (reader_.IsAudio())
        return;
    if (!vdec_.ParseHeader(frame_.get(), static_cast<size_t>(length)))
        return;
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
    if (length > 0)
        Display(length);
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
    if (Waiting(channel)) {
        if (!vdec_.IsKey())
            return;
        waitMask_ &= ~(1u << channel);
    }
    uint8_t* picture = pictures_.get() + static_cast<size_t>(channel) * kPictureBytes;
    if (!vdec_.DecodePicture(frame_.get(), static_cast<size_t>(length), picture))
        return;
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
    const media::CalendarTime time = reader_.Time();
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

}  // namespace zo::engine
