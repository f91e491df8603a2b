// An engine on virtual time with a silent sound device, recording every
// picture it hands to the video window and every state it enters.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "engine/CZoViewer2.h"
#include "engine/EngineRecordings.h"
#include "media/ByteSource.h"
#include "platform/Clock.h"
#include "platform/MessagePort.h"
#include "platform/NotificationPort.h"
#include "render/NullAudioDevice.h"

namespace zo::test {

struct ShownPicture {
    int channel = 0;
    int mark = 0;
    int rightEdge = 0;  // luma of the picture's first row, column width/2 (dual halves)
    int widthPx = 0;
    int heightPx = 0;
    int64_t atUs = 0;  // clock time
    uint64_t digest = 0;  // of the whole planar picture, when the harness keeps digests
    media::CalendarTime time;
    int shown = 0;
};

// Waits up to `limit` of real time for `done`; true if it came.
inline bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds limit = std::chrono::seconds(90)) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

class EngineHarness {
public:
    // `clock` nullptr: virtual time.
    explicit EngineHarness(platform::Clock* clock = nullptr, int channels = 4, int videoCode = media::kVideoZOC)
        : clock_(clock ? clock : &manual_) {
        auto device = std::make_unique<render::NullAudioDevice>(clock_);
        device_ = device.get();
        engine::CZoViewer2::Ports ports;
        ports.messages = &messages_;
        ports.parent = &notifications_;
        ports.clock = clock_;
        ports.audioDevice = std::move(device);
        engine_ = std::make_unique<engine::CZoViewer2>(std::move(ports));
        engine_->Create(640, 448, videoCode, 2, channels, 16000, 4);
        engine_->SetMode(engine::CZoViewer2::kModePlayer, -1);
        engine_->SetLayout(engine_->GetSplitCount(), 0);
        engine_->SetPictureObserver([this](int channel, const media::CalendarTime& time, const uint8_t* picture,
                                           int widthPx, int heightPx, int shown) {
            ShownPicture p;
            p.channel = channel;
            p.mark = MarkOf(picture);
            p.rightEdge = picture[widthPx / 2];
            p.widthPx = widthPx;
            p.heightPx = heightPx;
            p.atUs = clock_->NowUs();
            p.time = time;
            p.shown = shown;
            if (keepDigests_) {
                // FNV-1a over every byte of the planar picture.
                uint64_t hash = 1469598103934665603ull;
                const size_t bytes = static_cast<size_t>(widthPx) * static_cast<size_t>(heightPx) * 3 / 2;
                for (size_t i = 0; i < bytes; ++i)
                    hash = (hash ^ picture[i]) * 1099511628211ull;
                p.digest = hash;
            }
            std::lock_guard lock(mutex_);
            shown_.push_back(p);
        });
        engine_->SetStateObserver([this](int state) {
            std::lock_guard lock(mutex_);
            states_.push_back(state);
        });
    }

    ~EngineHarness() { engine_->CloseRecording(); }

    engine::CZoViewer2& Engine() { return *engine_; }
    // Digests of every picture shown from now on; set while no worker runs.
    void KeepDigests() { keepDigests_ = true; }
    render::NullAudioDevice& Device() { return *device_; }
    platform::ManualClock& Manual() { return manual_; }
    platform::Clock& Clock() { return *clock_; }
    platform::RecordingMessagePort& Messages() { return messages_; }
    platform::RecordingNotificationPort& Notifications() { return notifications_; }

    // Opens an in-memory recording.
    int Open(const Clip& clip, bool rawDisk = false) {
        return engine_->OpenRecordingSource(std::make_unique<media::MemorySource>(clip.bytes), "clip.ZRF",
                                            rawDisk ? 1 : 0);
    }
    int OpenSource(std::unique_ptr<media::ByteSource> source, bool rawDisk) {
        return engine_->OpenRecordingSource(std::move(source), "disk", rawDisk ? 1 : 0);
    }

    std::vector<ShownPicture> Shown() const {
        std::lock_guard lock(mutex_);
        return shown_;
    }
    size_t ShownCount() const {
        std::lock_guard lock(mutex_);
        return shown_.size();
    }
    std::vector<int> States() const {
        std::lock_guard lock(mutex_);
        return states_;
    }
    void ClearShown() {
        std::lock_guard lock(mutex_);
        shown_.clear();
    }

    bool WaitState(int state) {
        return WaitFor([&] { return engine_->GetState() == state; });
    }
    bool WaitShown(size_t count) {
        return WaitFor([&] { return ShownCount() >= count; });
    }
    bool WaitPausedAtEnd() { return WaitState(engine::CZoViewer2::kStatePause); }

    // Position in the list of states entered, for WaitStates.
    size_t StateMark() const {
        std::lock_guard lock(mutex_);
        return states_.size();
    }
    // Waits until the states entered after `mark` contain `sequence` in order.
    bool WaitStates(size_t mark, std::vector<int> sequence) {
        return WaitFor([&] {
            std::lock_guard lock(mutex_);
            size_t next = 0;
            for (size_t i = mark; i < states_.size() && next < sequence.size(); ++i)
                if (states_[i] == sequence[next])
                    ++next;
            return next == sequence.size();
        });
    }
    // Runs a command and waits for the states it goes through.
    bool Command(const std::function<void()>& command, std::vector<int> sequence) {
        const size_t mark = StateMark();
        command();
        return WaitStates(mark, std::move(sequence));
    }
    // Pauses the recording just opened and goes back to its beginning
    // (showing the first picture if it is a key picture), then forgets what
    // was shown.
    bool PauseAtStart() {
        using E = engine::CZoViewer2;
        engine_->Pause();
        if (!WaitState(E::kStatePause))
            return false;
        if (!Command([&] { engine_->Seek(0); }, {E::kStateSearch, E::kStatePause}))
            return false;
        ClearShown();
        return true;
    }

private:
    platform::ManualClock manual_{1'000'000};
    platform::Clock* clock_;
    platform::RecordingMessagePort messages_;
    platform::RecordingNotificationPort notifications_;
    render::NullAudioDevice* device_ = nullptr;
    bool keepDigests_ = false;
    std::unique_ptr<engine::CZoViewer2> engine_;
    mutable std::mutex mutex_;
    std::vector<ShownPicture> shown_;
    std::vector<int> states_;
};

// Marks of the video frames of `clip` in order.
inline std::vector<int> VideoMarks(const Clip& clip, bool keysOnly = false) {
    std::vector<int> marks;
    for (const ClipFrame& f : clip.frames)
        if (!f.sound && (!keysOnly || f.key))
            marks.push_back(f.mark);
    return marks;
}

inline std::vector<int> MarksOf(const std::vector<ShownPicture>& shown) {
    std::vector<int> marks;
    for (const ShownPicture& p : shown)
        marks.push_back(p.mark);
    return marks;
}

}  // namespace zo::test
