// The live worker: pictures and sound from the network source's queues to
// the window, the sound output and the local recorder.
#include <cstring>
#include <span>

#include "engine/CZoViewer2.h"
#include "engine/WorkerSupport.h"

namespace zo::engine {

using detail::PeriodUs;
using detail::TryAllocate;

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

}  // namespace zo::engine
