#include "export/CZoConverter.h"

#include <sys/stat.h>

#include <bit>
#include <cstdio>
#include <cstring>
#include <numeric>

#include "codec/ColourConvert.h"
#include "export/LineDoubling.h"
#include "media/FrameWalk.h"

namespace zo::exporter {

namespace {

constexpr size_t kFrameBufferBytes = 262144;
constexpr size_t kRgbBytes = 640 * 272 * 3;
constexpr size_t kDoubledBytes = kRgbBytes * 2;
// Room for the largest sound frame expanded to 16 bits.
constexpr size_t kSoundBytes = 2 * media::kMaxFrameSize;

bool FileExists(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

// rate/scale in lowest terms, brought into 32 bits if need be.
void ToRateScale(uint64_t rate, uint64_t scale, uint32_t& outRate, uint32_t& outScale) {
    if (rate == 0 || scale == 0) {
        outRate = outScale = 0;
        return;
    }
    const uint64_t g = std::gcd(rate, scale);
    rate /= g;
    scale /= g;
    while (rate > 0xFFFFFFFFull || scale > 0xFFFFFFFFull) {
        rate = (rate + 1) / 2;
        scale = (scale + 1) / 2;
    }
    outRate = static_cast<uint32_t>(rate);
    outScale = static_cast<uint32_t>(scale);
}

}  // namespace

CZoConverter::CZoConverter(platform::MessagePort* messages, DiagnosticLog* log)
    : reader_(messages),
      messages_(messages ? messages : &platform::DefaultMessagePort()),
      log_(log ? log : &DefaultDiagnosticLog()) {}

CZoConverter::~CZoConverter() { Stop(); }

int CZoConverter::Configure(int videoCode, int audioCode, int unused, int audioRate, int audioChannels) {
    (void)unused;
    videoCode_ = videoCode;
    audioCode_ = audioCode;
    audioRate_ = audioRate;
    audioChannels_ = audioChannels;
    finished_.store(false, std::memory_order_release);
    return 1;
}

int CZoConverter::SetChannelMask(uint32_t mask) {
    channelMask_ = mask;
    return 1;
}

int CZoConverter::SetExportAudio(int exportAudio) {
    exportAudio_ = exportAudio != 0;
    return 1;
}

int CZoConverter::OpenSource(const std::string& path, bool rawDisk) {
    if (reader_.IsOpen())
        reader_.Close();
    if (!reader_.Open(path, rawDisk))
        return 0;
    // A disk image may start inside a block: read on its block grid.
    reader_.FindGridOrigin();
    return 1;
}

namespace {

// Where the file name of `path` begins (after the last '/').
size_t FileNameStart(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? 0 : slash + 1;
}

}  // namespace

std::string CZoConverter::OutputName(const std::string& path, int channel) {
    const std::string tag = "-CH" + std::to_string(channel + 1);
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos || dot < FileNameStart(path))
        return path + tag;
    return path.substr(0, dot) + tag + path.substr(dot);
}

std::string CZoConverter::DefaultOutputName(const std::string& inputPath) {
    std::string out = inputPath;
    for (size_t i = FileNameStart(out); i + 3 <= out.size();) {
        const std::string_view three(out.data() + i, 3);
        if (three == "ZRF" || three == "zrf") {
            out.replace(i, 3, three == "ZRF" ? "AVI" : "avi");
            i += 3;
        } else {
            ++i;
        }
    }
    return out;
}

bool CZoConverter::TakePreview(std::vector<uint8_t>& pixels, int& width, int& height) {
    std::lock_guard<std::mutex> lock(previewMutex_);
    if (!previewFresh_)
        return false;
    const size_t bytes = static_cast<size_t>(previewWidth_) * static_cast<size_t>(previewHeight_) * 3;
    if (pixels.size() != bytes)
        pixels.resize(bytes);
    std::memcpy(pixels.data(), previewPixels_.data(), bytes);
    width = previewWidth_;
    height = previewHeight_;
    previewFresh_ = false;
    previewWanted_.store(true, std::memory_order_relaxed);
    return true;
}

int CZoConverter::PercentDone(uint64_t position, uint64_t size) {
    if (size == 0)
        return 0;
    if (position >= size)
        return 100;
    return static_cast<int>(static_cast<unsigned __int128>(position) * 100 / size);
}

std::string CZoConverter::FormatTimeText(const media::CalendarTime& t) {
    char text[48];
    std::snprintf(text, sizeof text, "%02d/%02d/%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour, t.minute,
                  t.second);
    return text;
}

void CZoConverter::ChooseSoundFormat() {
    codec::WaveFormat f;
    f.formatTag = 1;
    f.channels = 1;
    f.samplesPerSec = audioRate_ > 0 ? static_cast<uint32_t>(audioRate_) : 0;
    f.bitsPerSample = 8;
    f.blockAlign = 1;
    f.extraSize = 0;
    decodeAudio_ = false;
    switch (audioCode_) {
    case media::kAudioUPCM8:
    case media::kAudioSPCM8:
        decodeAudio_ = true;
        break;
    case media::kAudioUPCM16:
        f.bitsPerSample = 16;
        f.blockAlign = 2;
        decodeAudio_ = true;
        break;
    case media::kAudioSPCM16:
        f.bitsPerSample = 16;
        f.blockAlign = 2;
        break;
    case media::kAudioALAW:
        f.formatTag = 6;
        break;
    case media::kAudioMLAW:
        f.bitsPerSample = 16;
        f.blockAlign = 2;
        decodeAudio_ = true;
        break;
    default:
        break;
    }
    f.avgBytesPerSec = f.channels * f.blockAlign * f.samplesPerSec;
    soundFormat_ = f;
    if (decodeAudio_) {
        codec::WaveFormat ignored;
        soundDecoder_.SetFormat(audioCode_, audioRate_, &ignored);
    }
}

void CZoConverter::ScanRecording() {
    scan_ = ExportScan{};
    std::array<bool, kExportChannels> seen{};
    // Damaged and empty areas are stepped over, as in Run.
    media::FrameWalk walk(reader_);
    for (;;) {
        const int n = walk.Next(frame_);
        if (n <= 0)
            break;
        ++scan_.totalFrames;
        if (reader_.IsAudio()) {
            scan_.audioSeen = true;
            const int a = reader_.Channel();
            if (a >= 0 && a < 4)
                scan_.soundBytes[static_cast<size_t>(a)] += static_cast<uint64_t>(n);
            continue;
        }
        ++scan_.videoFrames;
        media::VideoHeader h;
        if (!media::ParseVideoHeader(frame_.data(), static_cast<size_t>(n), videoCode_, h))
            continue;
        if (!h.key)
            scan_.nonKeySeen = true;
        const size_t c = static_cast<size_t>(h.channel & 15);
        const int interval = reader_.Interval();
        ++scan_.pictures[c];
        scan_.frameSlots[c] += static_cast<uint64_t>(interval > 1 ? interval : 1);
        if (!(channelMask_ & (1u << c)) || seen[c])
            continue;
        seen[c] = true;
        scan_.width = h.width;
        scan_.height = 2 * h.height;
        scan_.recordedChannels = std::popcount(static_cast<uint32_t>(reader_.ChannelBits()) & 0xFFFFu);
        const bool halfRate = videoCode_ == media::kVideoZO4 || videoCode_ == media::kVideoZON;
        scan_.nominalRate = h.height == 272 ? (halfRate ? 25 : 50) : (halfRate ? 30 : 60);
        scan_.scale = static_cast<uint32_t>(scan_.recordedChannels * (interval + 1));
        if (scan_.recordedChannels == 1 && interval != 0) {
            scan_.intervalTiming = true;
            scan_.scale = 2;
        }
    }
    scan_.skipped = walk.Areas();
    // The recorder writes its nominal number of frames a second, sound
    // frames included (a sound frame takes a picture's slot), so every frame
    // read counts towards the recorded time.
    if (scan_.nominalRate > 0) {
        const uint64_t ms = scan_.totalFrames * 1000 / static_cast<uint64_t>(scan_.nominalRate);
        scan_.durationMs = static_cast<uint32_t>(ms > 0xFFFFFFFFull ? 0xFFFFFFFFull : ms);
    }
    // Sound time from the payload of audio channel 0, in 64 bits: bytes x
    // 1000 leaves 32 bits after minutes.
    const uint64_t payloadBytesPerSample =
        (audioCode_ == media::kAudioUPCM16 || audioCode_ == media::kAudioSPCM16) ? 2 : 1;
    if (audioRate_ > 0)
        scan_.soundMs = scan_.soundBytes[0] * 1000 / (static_cast<uint64_t>(audioRate_) * payloadBytesPerSample);
}

int CZoConverter::OpenOutputFile(const std::string& path) {
    if (HasThread())
        return 0;
    StopEvent().Reset();
    scan_.audioSeen = false;
    frame_.assign(kFrameBufferBytes, 0);

    ChooseSoundFormat();
    bitmap_ = BitmapHeader{};
    bitmap_.width = 0;
    bitmap_.height = 0;
    bitmap_.sizeImage = 0;

    std::array<std::string, kExportChannels> names;
    std::string existing;
    for (int i = 0; i < kExportChannels; ++i) {
        names[static_cast<size_t>(i)] = path;
        if (!(channelMask_ & (1u << i)))
            continue;
        names[static_cast<size_t>(i)] = OutputName(path, i);
        if (FileExists(names[static_cast<size_t>(i)]))
            existing += names[static_cast<size_t>(i)] + "\n";
    }
    if (!existing.empty() &&
        !messages_->Ask("The following files already exist, Do you want to replace them?\n\n" + existing))
        return 0;

    // The files of an earlier export are completed now, so that none of them
    // receives this export's sound.
    for (CZoAviWrite& w : writers_)
        w.Close();

    reader_.SetFormat(videoCode_);
    decoder_.Init(videoCode_);
    finished_.store(false, std::memory_order_release);
    videoRate_.fill(0);
    videoScale_.fill(0);
    ScanRecording();

    if (scan_.nonKeySeen && !scan_.intervalTiming)
        log_->Write("CZoConverter::OpenOutputFile: Non-keyFrame should only exist in files recorded from local "
                    "recording.");
    if (scan_.width > 0) {
        bitmap_.width = scan_.width;
        bitmap_.height = scan_.height;
        bitmap_.sizeImage = static_cast<uint32_t>(scan_.width * scan_.height * 3);
    }
    if (timeText_ && !time_.Prepare())
        log_->Write("CZoConverter::OpenOutputFile: no QGuiApplication or font, the time is not burned in.");

    for (int i = 0; i < kExportChannels; ++i) {
        const size_t c = static_cast<size_t>(i);
        if (!(channelMask_ & (1u << i)) || scan_.pictures[c] == 0)
            continue;
        uint64_t rate = 0, scale = 0;
        if (!scan_.intervalTiming) {
            rate = scan_.pictures[c] * 1000;
            scale = scan_.durationMs;
        } else if (scan_.audioSeen && scan_.soundMs > 0) {
            // Frame numbers advance by the record interval: the rate counts
            // the frame numbers, not the pictures.
            rate = scan_.frameSlots[c] * 1000;
            scale = scan_.soundMs;
        } else {
            rate = static_cast<uint64_t>(scan_.nominalRate);
            scale = 2;
        }
        if (rate == 0 || scale == 0) {
            rate = static_cast<uint64_t>(scan_.nominalRate);
            scale = 2;
        }
        ToRateScale(rate, scale, videoRate_[c], videoScale_[c]);
        if (!writers_[c].OpenFile(names[c]))
            return 0;
        if (!writers_[c].CreateStreams(videoRate_[c], videoScale_[c], bitmap_,
                                       GetsSound(i) ? &soundFormat_ : nullptr))
            return 0;
    }
    reader_.SetPosition(0);
    return 1;
}

bool CZoConverter::TakesSound(int channel, int audioChannel) const {
    return audioChannel == channel || ((channel >= audioChannels_ || audioChannels_ == 1) && audioChannel == 0);
}

bool CZoConverter::GetsSound(int channel) const {
    if (!exportAudio_ || !scan_.audioSeen)
        return false;
    for (int a = 0; a < static_cast<int>(scan_.soundBytes.size()); ++a)
        if (scan_.soundBytes[static_cast<size_t>(a)] > 0 && TakesSound(channel, a))
            return true;
    return false;
}

void CZoConverter::WriteSoundFrame(const uint8_t* payload, int length) {
    const int a = reader_.Channel();
    bool decoded = false;
    const uint8_t* data = payload;
    int bytes = length;
    for (int i = 0; i < kExportChannels; ++i) {
        CZoAviWrite& w = writers_[static_cast<size_t>(i)];
        if (!w.IsOpen())
            continue;
        if (!TakesSound(i, a))
            continue;
        if (decodeAudio_ && !decoded) {
            int out = 0;
            soundDecoder_.Decode(std::span<const uint8_t>(payload, static_cast<size_t>(length)), sound_, out);
            data = sound_.data();
            bytes = out;
            decoded = true;
        }
        w.WriteSound(data, bytes);
    }
}

uint32_t CZoConverter::Run() {
    // The stop event was reset by Start before this thread began; resetting
    // it again here could lose a Stop that came in between.
    frame_.assign(kFrameBufferBytes, 0);
    const size_t pictureBytes = codec::kMaxDecodedPictureBytes;
    pictures_.assign(pictureBytes * kExportChannels, 128);
    for (int c = 0; c < kExportChannels; ++c)  // each channel starts black
        std::memset(pictures_.data() + static_cast<size_t>(c) * pictureBytes, 0, 640 * 272);
    rgb_.assign(kRgbBytes, 0);
    doubled_.assign(kDoubledBytes, 0);
    sound_.assign(kSoundBytes, 0);
    if (preview_) {
        std::lock_guard<std::mutex> lock(previewMutex_);
        previewPixels_.assign(kDoubledBytes, 0);
        previewFresh_ = false;
        previewWanted_.store(true, std::memory_order_relaxed);
    }
    std::array<int64_t, kExportChannels> counter{};
    picturesWritten_.store(0, std::memory_order_relaxed);

    reader_.SetFormat(videoCode_);
    decoder_.Init(videoCode_);
    const bool withSound = exportAudio_ && scan_.audioSeen;
    char text[48];
    media::FrameWalk walk(reader_);
    for (;;) {
        if (frameWaitMs_ > 0 ? StopEvent().Wait(frameWaitMs_) == 0 : StopEvent().IsSet())
            break;
        const int n = walk.Next(frame_);
        if (n <= 0)
            break;
        if (reader_.IsAudio()) {
            if (withSound)
                WriteSoundFrame(frame_.data(), n);
            continue;
        }
        if (decoder_.ParseHeader(frame_.data(), static_cast<size_t>(n)) == 0)
            continue;
        const int c = decoder_.GetChannel() & 15;
        CZoAviWrite& w = writers_[static_cast<size_t>(c)];
        if (!(channelMask_ & (1u << c)) || !w.IsOpen())
            continue;
        uint8_t* picture = pictures_.data() + static_cast<size_t>(c) * pictureBytes;
        if (decoder_.DecodePicture(frame_.data(), static_cast<size_t>(n), picture) != 1)
            continue;
        const int width = static_cast<int>(decoder_.GetWidth());
        const int height = static_cast<int>(decoder_.GetHeight());
        if (static_cast<size_t>(width) * static_cast<size_t>(height) * 3 > kRgbBytes)
            continue;
        codec::I420ToRgb24BottomUp(rgb_.data(), picture, width, height);
        if (!DoubleLines(rgb_.data(), width, height, doubled_.data(), bitmap_.width, bitmap_.height))
            continue;  // not the size the files were made for
        if (timeText_ && time_.IsPrepared()) {
            const media::CalendarTime t = reader_.Time();
            const int len = std::snprintf(text, sizeof text, "%02d/%02d/%02d %02d:%02d:%02d", t.year, t.month,
                                          t.day, t.hour, t.minute, t.second);
            time_.Draw(std::string_view(text, static_cast<size_t>(len > 0 ? len : 0)), doubled_.data(),
                       bitmap_.width, bitmap_.height);
        }
        if (preview_ && previewWanted_.exchange(false, std::memory_order_relaxed)) {
            std::lock_guard<std::mutex> lock(previewMutex_);
            const size_t bytes = static_cast<size_t>(bitmap_.width) * static_cast<size_t>(bitmap_.height) * 3;
            if (bytes <= previewPixels_.size()) {
                std::memcpy(previewPixels_.data(), doubled_.data(), bytes);
                previewWidth_ = bitmap_.width;
                previewHeight_ = bitmap_.height;
                previewFresh_ = true;
            }
        }
        w.WriteVideo(counter[static_cast<size_t>(c)], doubled_.data());
        picturesWritten_.fetch_add(1, std::memory_order_relaxed);
        const int interval = reader_.Interval();
        counter[static_cast<size_t>(c)] += (scan_.intervalTiming && interval > 1) ? interval : 1;
    }
    reader_.Close();
    frame_ = {};
    pictures_ = {};
    rgb_ = {};
    doubled_ = {};
    sound_ = {};
    finished_.store(true, std::memory_order_release);
    return 0;
}

}  // namespace zo::exporter
