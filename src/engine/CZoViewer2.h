// CZoViewer2: the playback engine. It owns the recording reader, the video
// and audio decoders, the video window compositor and the sound output, and
// runs one worker thread that plays a recording: paced forward and reverse
// play, fast play from x8 to x128, frame steps, pause and search.
//
// Threads: every public operation belongs to the user-interface thread. The
// worker reads the command code, the speed and the search target after it
// has seen the command event; the user interface reads the state, speed and
// position for display only. These values are atomics so that both sides
// see whole values. The observers run on the worker thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>

#include "codec/CZoAdec.h"
#include "codec/CZoVdec.h"
#include "engine/ExactPictures.h"
#include "platform/CZoThread.h"
#include "media/ByteSource.h"
#include "media/CZoFile.h"
#include "media/CZoFileWrite.h"
#include "net/CZoNetSource.h"
#include "platform/Clock.h"
#include "platform/Event.h"
#include "platform/MessagePort.h"
#include "platform/NotificationPort.h"
#include "render/AudioDevice.h"
#include "render/CZoWaveOut.h"
#include "render/CZoWnd.h"

namespace zo::engine {

class CZoViewer2 : public platform::CZoThread {
public:
    // Engine modes.
    static constexpr int kModePlayer = 1;
    static constexpr int kModeNetViewer = 2;

    // Worker states.
    static constexpr int kStateReady = 0;
    static constexpr int kStateStop = 1;
    static constexpr int kStatePlay = 2;
    static constexpr int kStatePlayReverse = 3;
    static constexpr int kStateStepForward = 4;
    static constexpr int kStateStepReverse = 5;
    static constexpr int kStatePause = 6;
    static constexpr int kStateSearch = 7;

    // Command codes; each selects one state.
    static constexpr int kCommandPause = 2;
    static constexpr int kCommandPlay = 3;
    static constexpr int kCommandPlayReverse = 4;
    static constexpr int kCommandStepForward = 5;
    static constexpr int kCommandStepReverse = 6;
    static constexpr int kCommandSearch = 7;

    // Working buffers of the player worker. Update pictures only repaint
    // what changed, so every channel decodes into a picture of its own.
    static constexpr int kChannels = 16;
    static constexpr size_t kFrameBytes = media::kMaxFrameSize;  // 131072
    static constexpr size_t kPictureBytes = codec::kMaxDecodedPictureBytes;  // per channel
    static constexpr size_t kHalfPictureBytes = 207360;
    static constexpr size_t kAudioBytes = 8192;

    // Fast play skips trunc(speed) x this many bytes after every 9 frames.
    static constexpr uint64_t kSkipUnitBytes = 20480;
    static constexpr int kFramesPerSkip = 9;
    // Consecutive read failures that end play in a recording file.
    static constexpr int kFileFailureLimit = 4;
    // On a raw disk: failures tolerated forward and in reverse.
    static constexpr int kDiskForwardFailureLimit = 120;
    static constexpr int kDiskReverseFailureLimit = 121;
    // Sound sets the pace only while it reaches the output: after this much
    // recording time of pictures without a sound frame of the selected
    // channel handed over, the pictures are paced by their own period.
    static constexpr int kSoundGapMs = 1000;
    // While sound sets the pace, the time per picture is measured over this
    // long and taken only up to the bound.
    static constexpr int64_t kSoundPaceWindowUs = 1000000;
    static constexpr int64_t kSoundPaceMaxIntervalUs = 100000;

    // What the engine is given instead of a desktop: the message port of its
    // components' failure texts, the main window's notification port, the
    // clock of pacing and sleeps, the sound device (nullptr: SDL2).
    struct Ports {
        platform::MessagePort* messages = nullptr;
        platform::NotificationPort* parent = nullptr;
        platform::Clock* clock = nullptr;
        std::unique_ptr<render::AudioDevice> audioDevice;
    };

    // Called on the worker for every picture handed to the video window,
    // with the window's result.
    using PictureObserver = std::function<void(int channel, const media::CalendarTime& time, const uint8_t* picture,
                                               int widthPx, int heightPx, int shown)>;
    // Called on the worker whenever the worker state changes.
    using StateObserver = std::function<void(int state)>;

    CZoViewer2();
    explicit CZoViewer2(Ports ports);
    ~CZoViewer2() override;

    // ---- Set-up and mode ----------------------------------------------------
    // Chooses the split from the channel count, stores the media
    // configuration, gives the formats to the reader, the decoders and the
    // sound output (opening it), sizes the video window and sets it up for
    // the initial NetViewer mode (one cell, no titles). 1.
    int Create(int widthPx, int heightPx, int videoCode, int audioCode, int channelCount, int sampleRate,
               int audioChannelCount);
    // Mode 1 (player) or 2 (NetViewer); anything else is refused with 0.
    // Stops any worker first, reopens the sound output, sets the decoder and
    // window up for the mode and clears the pictures. A split count above
    // 16 (compared unsigned: -1) keeps the stored one.
    int SetMode(int mode, int splitCount);
    int GetMode() const { return mode_; }

    // ---- Recording ----------------------------------------------------------
    // Opens a file (`disk` 0) or raw disk (`disk` 1) and starts forward play
    // at x1. 0 if the reader cannot open it (it has shown why) or the
    // worker cannot start. A recording already open is closed first.
    int OpenRecording(const std::string& path, int disk);
    // The same over a byte source (tests, images in memory).
    int OpenRecordingSource(std::unique_ptr<media::ByteSource> source, const std::string& name, int disk);
    // Stops the worker, closes the reader, clears the pictures. 1.
    int CloseRecording();
    int IsOpen() const { return reader_.IsOpen(); }
    uint64_t GetSize() const { return reader_.GetSize(); }
    uint64_t GetPosition() const { return reader_.GetPosition(); }
    const std::string& GetPath() const { return reader_.Name(); }
    // The time of the last block read, when the worker runs and that time
    // is valid: 1 and `time` set; else 0.
    int GetFrameTime(media::CalendarTime& time) const;
    int SaveRange(uint64_t start, uint64_t end, const std::string& path) const;

    // ---- Transport ------------------------------------------------------------
    int Play(double speed);
    int PlayReverse(double speed);
    int FastForward();
    int FastRewind();
    int Pause();
    int NextFrame();
    int PrevFrame();
    int Seek(uint64_t position);
    // Searches to the first block in time order whose time is at or after
    // `seconds` (a block time: seconds since 1970, no zone shift), found
    // without reading the whole source. 1 and the search started (`position`
    // set) when there is such a block; 0 and nothing done otherwise.
    int SearchTime(uint32_t seconds, uint64_t* position = nullptr);
    int GetState() const { return state_.load(std::memory_order_relaxed); }
    double GetSpeed() const { return speed_.load(std::memory_order_relaxed); }
    // Exact Steps (off by default): Previous Frame shows the previous picture
    // with its true content (of a channel shown in the current page, so in
    // the single view of the shown channel), reverse play up to x8 shows
    // every picture backwards at its pace, and in forward play, stepping and
    // search a channel waiting for a key picture shows its update pictures
    // rebuilt from the key picture before them. Fast reverse (x16 and
    // above) stays on key pictures. Off: key pictures only, as always. May
    // be changed at any time; a running worker takes it at its next pass.
    void SetExactSteps(bool on) { exactSteps_.store(on, std::memory_order_relaxed); }
    bool GetExactSteps() const { return exactSteps_.load(std::memory_order_relaxed); }
    void SetRepeat(int repeat) { repeat_.store(repeat != 0, std::memory_order_relaxed); }
    int GetRepeat() const { return repeat_.load(std::memory_order_relaxed) ? 1 : 0; }
    // "READY", "STOP ", "PLAY ", "STEPF", "STEPR", "PAUSE", "SEARCH".
    static const char* StateText(int state);

    // Fine speed: Normal sets 1.0, Up adds 0.1, Down takes 0.1 away, kept
    // within 0.1 to 8.0 in steps of 0.1. In forward or reverse play it
    // becomes the playback speed at once, except in fast play (x8 to x128
    // from Fast Forward or Fast Rewind), which keeps its own speed.
    void SpeedNormal();
    void SpeedUp();
    void SpeedDown();
    double GetFineSpeed() const { return fineSpeed_; }

    // ---- Pass-throughs ------------------------------------------------------------
    void SetVolume(uint32_t level) { waveOut_.SetVolume(level); }
    uint32_t GetVolume() const { return waveOut_.GetVolume(); }
    void SetMute(int mute) { waveOut_.SetMute(mute); }
    int GetMute() const { return waveOut_.GetMute(); }
    int SetLayout(int cellsPerPage, int page) { return window_.SetLayout(cellsPerPage, page); }
    void GetLayout(int& cellsPerPage, int& page) const { window_.GetLayout(cellsPerPage, page); }
    void SetShowTitle(bool on) { window_.SetShowTitle(on); }
    bool GetShowTitle() const { return window_.GetShowTitle(); }
    void SetTimeFormat(const std::string& format) { window_.SetTimeFormat(format); }
    std::string GetTimeFormat() const { return window_.GetTimeFormat(); }
    void SetUseDirectDraw(bool on) { window_.SetUseDirectDraw(on); }
    bool GetUseDirectDraw() const { return window_.GetUseDirectDraw(); }
    // A colour of 0 is stored as 0x050505 (pure black is the titles' key).
    void SetTextColor(uint32_t colour) { window_.SetTextColor(colour == 0 ? 0x050505 : colour); }
    void SetBackColor(uint32_t colour) { window_.SetBackColor(colour == 0 ? 0x050505 : colour); }
    void SetTitleFont(int heightPx, int widthPx, int weight, bool italic, const std::string& face) {
        window_.SetTitleFont(heightPx, widthPx, weight, italic, face);
    }
    int CaptureToBitmapFile(const std::string& path) { return window_.CaptureToBitmapFile(path); }

    // ---- Live view (NetViewer mode) ---------------------------------------------
    // Switch to NetViewer mode if needed, prepare the decoder for live
    // frames, give the address to the network source and start the live
    // worker and the source. 1 when started (the login proceeds in the
    // source's thread; its outcome arrives as notifications); 0 when the
    // source refused the address (GetErrorText says why).
    int Connect(const std::string& address, int port, const std::string& password);
    int ConnectByName(const std::string& ddnsServer, int ddnsPort, const std::string& dvrName,
                      const std::string& password);
    const std::string& GetErrorText() const { return lastError_; }
    // Stops the network source, then the live worker (which stops a local
    // recording). 1.
    int Disconnect();
    int IsConnected() const { return net_.IsLoggedIn(); }
    int SendKey(int keyCode) { return net_.SendKey(keyCode); }
    int GetConnectState() const { return net_.GetConnectState(); }
    void SetTimeout(uint32_t ms) { net_.SetTimeout(ms); }
    uint32_t GetTimeout() const { return net_.GetTimeout(); }
    // Local recording of the live stream: into `path`, or into a new file
    // named by the local time in `folder`. A recording in progress is
    // stopped first. 1, or 0 with the recorder's error text.
    int StartRecording(const std::string& path);
    int StartRecordingInFolder(const std::string& folder);
    int StopRecording() { return recorder_.StopRecording(); }
    int IsRecording() const { return recorder_.IsRecording(); }

    // Stored for the main window; the engine does not act on it.
    void SetAutoReconnection(int on) { autoReconnection_ = on; }
    int GetAutoReconnection() const { return autoReconnection_; }

    // ---- Components, observers, test hooks --------------------------------------
    render::CZoWnd& Window() { return window_; }
    render::CZoWaveOut& WaveOut() { return waveOut_; }
    media::CZoFile& Reader() { return reader_; }
    net::CZoNetSource& NetSource() { return net_; }
    media::CZoFileWrite& Recorder() { return recorder_; }
    int GetSplitCount() const { return splitCount_; }
    int GetVideoCode() const { return videoCode_; }
    int GetAudioChannelCount() const { return audioChannelCount_; }
    // Set while no worker runs.
    void SetPictureObserver(PictureObserver observer) { pictureObserver_ = std::move(observer); }
    void SetStateObserver(StateObserver observer) { stateObserver_ = std::move(observer); }
    // Off: no pacing and none of the worker's throttling sleeps; for
    // benchmarks only. Set while no worker runs.
    void SetPacing(bool on) { pacing_ = on; }
    // The audio channel whose sound is played: the channel of the single
    // view when that view is shown and has sound, else 0.
    int SelectedAudioChannel() const;

protected:
    uint32_t Run() override;

private:
    // The player worker (CZoViewer2Player.cpp).
    uint32_t RunPlayer();
    // The live worker (CZoViewer2Live.cpp).
    uint32_t RunLive();
    void ShowLivePicture(media::CZoSample& sample);
    void PlayLiveSound(media::CZoSample& sample);
    int StartLive();
    // Connect and ConnectByName: `setAddress` hands the address to the source.
    int ConnectWith(const std::function<int()>& setAddress);
    // One pass of the player worker's state handling.
    void RunPlayForward();
    void RunPlayReverse();
    void RunStepForward();
    void RunStepReverse();
    void RunSearch();
    bool PacingDue(bool exactReverse = false);
    bool SpreadUnderSound();
    // The common picture path; `length` bytes in frame_.
    void Display(int length);
    // Exact Steps: whether they apply now (the store is allocated on first
    // use); puts the reader back where the picture shown last was read,
    // once after each command, so that reading backward finds the picture
    // before it.
    bool ExactStepsReady();
    // Exact Steps in forward play below x8, stepping and search.
    bool ExactForward();
    void RestoreCursor();
    // Shows the picture just read backward (its header parsed in vdec_)
    // with its true content. false when it cannot be rebuilt.
    bool ShowExact();
    // Display path for an update picture of a waiting channel read forward:
    // rebuilds it into the channel's picture. false when it cannot.
    bool RebuildWaiting(int channel, int length);
    void ShowPictureOf(int channel, const ExactPictures::Picture& picture);
    void PlaySound(int length);
    void ShowDecoded(int channel, const uint8_t* picture, int widthPx, int heightPx);
    void ShowDecodedAt(int channel, const uint8_t* picture, int widthPx, int heightPx,
                       const media::CalendarTime& time);
    void SplitDual(const uint8_t* picture, int widthPx, int heightPx);
    void SetState(int state);
    void ApplyFineSpeed();
    void PostCommand(int code);
    // After a failed read on a raw disk: clears the window (past the first
    // block), then steps over a block that could not be read inside the
    // disk and so holds the position.
    void StepOverUnreadableBlock(uint64_t positionBefore, bool forward);
    void ClearWindowAfterDiskFailure();
    void SleepMs(int ms);
    bool InterruptRequested();
    // The channel shows nothing until its next key picture (channels
    // outside 0..15 always wait).
    bool Waiting(int channel) const;
    void ReopenSound();
    void StopWorker();
    bool AllocateBuffers();
    void FreeBuffers();

    platform::MessagePort* messages_;
    platform::Clock* clock_;

    // Components, in the order they are built.
    media::CZoFile reader_;
    net::CZoNetSource net_;
    codec::CZoVdec vdec_;
    render::CZoWnd window_;
    codec::CZoAdec adec_;
    render::CZoWaveOut waveOut_;
    media::CZoFileWrite recorder_;

    int mode_ = kModeNetViewer;
    std::atomic<bool> repeat_{false};
    int picturePeriodUs_ = 33333;
    std::atomic<double> speed_{1.0};
    int splitCount_ = 4;
    double fineSpeed_ = 1.0;
    bool fastPlay_ = false;  // the speed came from FastForward or FastRewind
    int autoReconnection_ = 1;
    std::string lastError_;
    int videoCode_ = media::kVideoZOC;
    int audioCode_ = codec::kAudioUPCM8;
    int channelCount_ = 4;
    int sampleRate_ = 8000;
    int audioChannelCount_ = 4;
    uint32_t waitMask_ = 0xFFFF;
    platform::Event commandEvent_;
    std::atomic<uint64_t> searchTarget_{0};
    std::atomic<int> commandCode_{0};
    std::atomic<int> state_{kStateReady};
    int64_t lastPictureUs_ = 0;

    // Worker-only values.
    int failures_ = 0;
    int framesSinceSkip_ = 0;
    int soundGapMs_ = kSoundGapMs;  // recording time since sound last reached the output
    // While sound sets the pace: the measured time per picture, and the
    // window it is being measured over, to spread the pictures read between
    // two sound frames instead of showing them at once.
    bool soundPaced_ = false;
    int64_t soundPaceIntervalUs_ = 0;
    int64_t soundPaceWindowUs_ = 0;
    int soundPacePictures_ = 0;
    bool pacing_ = true;
    // Exact Steps: where the reader rested after reading the picture shown
    // last, and whether to go back there before the next backward read.
    std::atomic<bool> exactSteps_{false};
    ExactPictures exact_;
    bool exactUnavailable_ = false;  // the store could not be allocated in this run
    uint64_t cursor_ = 0;
    bool cursorValid_ = false;
    bool restoreCursor_ = false;

    std::unique_ptr<uint8_t[]> frame_;
    std::unique_ptr<uint8_t[]> pictures_;  // kChannels x kPictureBytes
    std::unique_ptr<uint8_t[]> leftHalf_;
    std::unique_ptr<uint8_t[]> rightHalf_;
    std::unique_ptr<uint8_t[]> audio_;
    std::unique_ptr<uint8_t[]> liveAudio_;  // one live sound payload

    PictureObserver pictureObserver_;
    StateObserver stateObserver_;
};

}  // namespace zo::engine
