#include "engine/CZoViewer2.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "media/BlockScan.h"
#include "media/RecordingFormat.h"
#include "media/TimeLocator.h"
#include "engine/WorkerSupport.h"

namespace zo::engine {

using detail::TryAllocate;

namespace {

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
    exact_.Free();
}

void CZoViewer2::SetState(int state) {
    if (state_.exchange(state, std::memory_order_relaxed) != state && stateObserver_)
        stateObserver_(state);
}

uint32_t CZoViewer2::Run() { return mode_ == kModePlayer ? RunPlayer() : RunLive(); }

}  // namespace zo::engine
