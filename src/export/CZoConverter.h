// CZoConverter: exports one recording file as one AVI file per chosen
// camera channel. OpenOutputFile scans the whole recording (pictures per
// channel, picture size, timing model, sound) and creates the files with
// their streams; Run, on the converter's own thread, reads the recording
// again, decodes every picture of a chosen channel, converts it to 24-bit
// RGB, doubles its lines (a recorded picture is one field), burns in the
// time when asked, and writes it with its frame number; sound frames go to
// the sound streams of the channels they belong to.
//
// Calling order (owner thread): Configure; per export SetChannelMask,
// SetExportAudio, OpenSource, OpenOutputFile, Start; then poll GetPosition,
// GetSize, IsFinished and PicturesWritten; Stop ends early. The files are
// completed when the next OpenOutputFile or the destructor closes them.
//
// Threads: everything but Run belongs to the owner. While Run runs it alone
// uses the reader, decoders and writers; the owner only reads the atomic
// position, size, finished flag and picture count.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "codec/CZoAdec.h"
#include "codec/CZoVdec.h"
#include "platform/CZoThread.h"
#include "export/BitmapHeader.h"
#include "export/CZoAviWrite.h"
#include "export/DiagnosticLog.h"
#include "export/TimeText.h"
#include "media/BlockScan.h"
#include "media/CZoFile.h"
#include "platform/MessagePort.h"

namespace zo::exporter {

inline constexpr int kExportChannels = 16;

// What the scan of a recording found.
struct ExportScan {
    uint64_t totalFrames = 0;   // every frame read, sound and video, valid or not
    uint64_t videoFrames = 0;   // video frames read, valid or not
    std::array<uint64_t, kExportChannels> pictures{};  // valid pictures per channel
    std::array<uint64_t, kExportChannels> frameSlots{};     // frame numbers the pictures take
    std::array<uint64_t, 4> soundBytes{};              // payload bytes per audio channel
    bool audioSeen = false;
    bool nonKeySeen = false;
    bool intervalTiming = false;
    int recordedChannels = 0;
    int nominalRate = 0;  // pictures per second of the recorder; 0: no chosen picture seen
    uint32_t scale = 0;
    uint32_t durationMs = 0;
    uint64_t soundMs = 0;
    int width = 0;   // of the doubled picture
    int height = 0;
    // Areas without valid blocks the scan stepped over (the export steps
    // over the same ones).
    std::vector<media::BlockArea> skipped;
};

class CZoConverter : public platform::CZoThread {
public:
    // `messages` gets the "File already exists" question and the reader's
    // messages; `log` the diagnostic line. nullptr: the defaults.
    explicit CZoConverter(platform::MessagePort* messages = nullptr, DiagnosticLog* log = nullptr);
    ~CZoConverter() override;

    // Stores the codes, rate and channels (`unused` is kept for callers that
    // pass it); clears finished. Always 1.
    int Configure(int videoCode, int audioCode, int unused, int audioRate, int audioChannels);
    int SetChannelMask(uint32_t mask);
    int SetExportAudio(int exportAudio);
    // Opens the recording: a file, or a disk or disk image when `rawDisk`,
    // on its block grid (an image may start inside a block). Result of the
    // reader's Open.
    int OpenSource(const std::string& path, bool rawDisk = false);
    uint64_t GetSize() const { return reader_.GetSize(); }
    uint64_t GetPosition() const { return reader_.GetPosition(); }
    int IsFinished() const { return finished_.load(std::memory_order_acquire) ? 1 : 0; }
    // Scans and prepares every output file. 1, or 0 when cancelled or failed.
    int OpenOutputFile(const std::string& path);
    // Starts Run at normal priority.
    using CZoThread::Start;
    int Start() { return CZoThread::Start(kPriorityNormal); }

    // Settings beyond the dialog's. The wait on the stop event before every
    // frame (10 ms by default keeps a dialog responsive; 0 only looks);
    // burning in the time; the encoder of the files is chosen by the shared
    // compression options.
    void SetFrameWaitMs(int ms) { frameWaitMs_ = ms < 0 ? 0 : ms; }
    void SetTimeText(bool on) { timeText_ = on; }

    // The output name of `channel` (0-15): "-CH<channel+1>" before the last
    // dot of the file name, or appended when the file name has none; folder
    // names are never changed.
    static std::string OutputName(const std::string& path, int channel);
    // The output path offered for a recording: its path with every "ZRF"
    // replaced by "AVI" and every "zrf" by "avi" in the file name only
    // (other spellings stay).
    static std::string DefaultOutputName(const std::string& inputPath);
    // position x 100 / size in 64 bits, 0 for an empty source, at most 100.
    static int PercentDone(uint64_t position, uint64_t size);
    // "YYYY/MM/DD HH:MM:SS" as burned in.
    static std::string FormatTimeText(const media::CalendarTime& time);

    const ExportScan& Scan() const { return scan_; }
    // Whether channel `channel`'s file takes the sound of audio channel
    // `audioChannel`: its own (channel i, audio channel i), and audio
    // channel 0 for the channels at or above the recorder's audio channels
    // (all of them when it has one).
    bool TakesSound(int channel, int audioChannel) const;
    // Whether the channel's file gets a sound stream: the Audio option is on
    // and an audio channel it takes has sound in the recording (after
    // OpenOutputFile's scan). A camera without sound of its own gets none.
    bool GetsSound(int channel) const;
    // Preview: while on, Run leaves a copy of the latest picture it wrote
    // (24-bit, bottom-up, time text burned in) in a slot under a lock,
    // whenever the previous copy was taken. TakePreview (any thread) moves
    // it into `pixels` (resized only when the size changed) and gives its
    // size; false when no new picture arrived since the last call.
    void SetPreview(bool on) { preview_ = on; }
    bool TakePreview(std::vector<uint8_t>& pixels, int& width, int& height);

    const codec::WaveFormat& SoundFormat() const { return soundFormat_; }
    bool DecodeAudio() const { return decodeAudio_; }
    uint32_t ChannelMask() const { return channelMask_; }
    // Whether channel i has an output file.
    bool HasOutput(int channel) const { return writers_[static_cast<size_t>(channel)].IsOpen() != 0; }
    const CZoAviWrite& Writer(int channel) const { return writers_[static_cast<size_t>(channel)]; }
    // Completes the file of `channel` now (owner thread, not while Run
    // runs): 1 if it was put in place, 0 if it could not be completed (it is
    // then removed; Writer(channel).CloseError() says why).
    int CloseOutput(int channel) { return writers_[static_cast<size_t>(channel)].Close(); }
    // Pictures written so far by Run, over all channels (any thread).
    uint64_t PicturesWritten() const { return picturesWritten_.load(std::memory_order_relaxed); }
    // The video rate and scale the file of `channel` was created with.
    uint32_t VideoRate(int channel) const { return videoRate_[static_cast<size_t>(channel)]; }
    uint32_t VideoScale(int channel) const { return videoScale_[static_cast<size_t>(channel)]; }

protected:
    uint32_t Run() override;

private:
    void ScanRecording();
    void ChooseSoundFormat();
    void WriteSoundFrame(const uint8_t* payload, int length);

    std::array<CZoAviWrite, kExportChannels> writers_;
    media::CZoFile reader_;
    codec::CZoVdec decoder_;
    codec::CZoAdec soundDecoder_;
    uint32_t channelMask_ = 0xFFFFFFFFu;
    bool exportAudio_ = false;
    std::atomic<bool> finished_{false};
    int videoCode_ = media::kVideoZOC;
    int audioCode_ = media::kAudioSPCM8;
    int audioRate_ = 16000;
    int audioChannels_ = 4;
    bool decodeAudio_ = false;
    bool timeText_ = false;
    int frameWaitMs_ = 10;

    platform::MessagePort* messages_;
    DiagnosticLog* log_;
    ExportScan scan_;
    BitmapHeader bitmap_;
    codec::WaveFormat soundFormat_;
    std::array<uint32_t, kExportChannels> videoRate_{};
    std::array<uint32_t, kExportChannels> videoScale_{};
    TimeText time_;
    std::atomic<uint64_t> picturesWritten_{0};

    bool preview_ = false;
    std::mutex previewMutex_;  // guards the four preview fields below
    std::vector<uint8_t> previewPixels_;
    int previewWidth_ = 0;
    int previewHeight_ = 0;
    bool previewFresh_ = false;
    std::atomic<bool> previewWanted_{true};  // the last copy was taken

    // Buffers of Run, allocated when it starts (and the scan's frame buffer).
    std::vector<uint8_t> frame_;
    std::vector<uint8_t> pictures_;  // one decoded picture per channel
    std::vector<uint8_t> rgb_;
    std::vector<uint8_t> doubled_;
    std::vector<uint8_t> sound_;
};

}  // namespace zo::exporter
