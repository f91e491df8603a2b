#include "synth/LiveStream.h"

#include <openssl/evp.h>

#include <algorithm>
#include <cstring>

#include "codec/CZoVdec.h"
#include "media/CZoFile.h"
#include "synth/FrameMaker.h"
#include "synth/Scene.h"
#include "synth/VideoEncoder.h"

namespace zo::synth {

namespace {

constexpr int64_t kSoundSlotUs = 125000;

// Header byte A of a live picture.
uint8_t LiveHeaderByte(bool key, int quantiser, int camera) {
    return static_cast<uint8_t>((key ? 0x80 : 0) | ((quantiser & 15) << 3) | (camera & 7));
}

std::string Hex(const unsigned char* digest, unsigned int length, const char* digits) {
    std::string out;
    out.reserve(length * 2);
    for (unsigned int i = 0; i < length; ++i) {
        out += digits[digest[i] >> 4];
        out += digits[digest[i] & 15];
    }
    return out;
}

std::string Md5(const uint8_t* data, size_t size, const char* digits) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_Digest(data, size, digest, &length, EVP_md5(), nullptr);
    return Hex(digest, length, digits);
}

}  // namespace

std::string Md5Hex(const uint8_t* data, size_t size) { return Md5(data, size, "0123456789abcdef"); }

std::string LoginDigest(const std::string& password) {
    return Md5(reinterpret_cast<const uint8_t*>(password.data()), password.size(), "0123456789ABCDEF");
}

std::shared_ptr<const LiveLoop> MakeLiveLoop(const LiveLoopOptions& in) {
    LiveLoopOptions o = in;
    o.channels = std::clamp(o.channels, 1, 8);
    o.picturesPerChannel = std::clamp(o.picturesPerChannel, 1, 1000);
    o.keyEvery = std::max(o.keyEvery, 1);
    o.height = o.height == 272 ? 272 : 224;
    o.quantiser = std::clamp(o.quantiser, 1, 14);
    o.audioRate = std::clamp(o.audioRate, 800, 32000);

    auto loop = std::make_shared<LiveLoop>();
    loop->picturePeriodUs = media::PicturePeriodUs(o.height, media::kVideoZON);
    const int pictures = o.channels * o.picturesPerChannel;
    loop->durationUs = loop->picturePeriodUs * pictures;

    VideoEncoder encoder;
    Rng rng(o.seed);
    std::vector<uint8_t> scene(o.realVideo ? codec::kMaxDecodedPictureBytes : 0);
    const size_t soundBytes = static_cast<size_t>(o.audioRate) * kSoundSlotUs / 1000000;
    int64_t nextSoundUs = 0;
    uint64_t soundSample = 0;
    auto addSoundUpTo = [&](int64_t us) {
        while (o.audio && nextSoundUs <= us && nextSoundUs < loop->durationUs) {
            LiveFrame f;
            f.kind = media::FrameKind::Sound;
            f.dueUs = nextSoundUs;
            std::vector<uint8_t> tone;
            AppendToneSpcm8(tone, 440.0, o.audioRate, soundSample, soundBytes);
            AppendSoundFrame(f.bytes, 0, tone);
            loop->frames.push_back(std::move(f));
            soundSample += soundBytes;
            nextSoundUs += kSoundSlotUs;
        }
    };
    for (int p = 0; p < o.picturesPerChannel; ++p) {
        for (int c = 0; c < o.channels; ++c) {
            const int64_t due = static_cast<int64_t>(p * o.channels + c) * loop->picturePeriodUs;
            addSoundUpTo(due);
            LiveFrame f;
            f.kind = media::FrameKind::Video;
            f.channel = c;
            f.key = p % o.keyEvery == 0;
            f.dueUs = due;
            if (o.realVideo) {
                RenderScene(scene.data(), o.height, c, static_cast<uint64_t>(p),
                            o.sceneTime + static_cast<uint32_t>(due / 1000000));
                PictureHeader h;
                h.videoCode = media::kVideoZON;
                h.channel = c;  // the encoder's state per camera
                h.quantiser = o.quantiser;
                encoder.Encode(scene.data(), o.height, f.key, h, f.bytes);
                f.bytes[4] = LiveHeaderByte(f.key, o.quantiser, c);
            } else {
                PictureLayout layout;
                layout.videoCode = media::kVideoZON;
                layout.key = f.key;
                layout.quantiser = o.quantiser;
                layout.slices = o.height == 272 ? 17 : 14;
                layout.bytesPerSlice = o.placeholderSliceBytes;
                AppendVideoFrame(f.bytes, layout, rng);
                f.bytes[4] = LiveHeaderByte(f.key, o.quantiser, c);
            }
            loop->frames.push_back(std::move(f));
        }
    }
    addSoundUpTo(loop->durationUs);
    return loop;
}

bool ToLivePicture(const uint8_t* frame, size_t length, int videoCode, std::vector<uint8_t>& out) {
    out.clear();
    if (length <= 5 || frame[0] != 0 || frame[1] != 0 || frame[2] != 1 || (frame[3] != 0xF8 && frame[3] != 0xF9))
        return false;
    const uint8_t a = frame[4];
    bool key = false;
    int quantiser = 0;
    int camera = 0;
    size_t slicesAt = 5;
    switch (videoCode) {
    case media::kVideoZO4:
        key = (a & 0x80) != 0;
        quantiser = (a >> 3) & 15;
        camera = a & 7;
        break;
    case media::kVideoZON:
        if (length < 7)
            return false;
        out.assign(frame, frame + length);
        return true;
    default:
        key = frame[3] == 0xF9;
        quantiser = a >> 4;
        camera = a & 15;
        slicesAt = videoCode == media::kVideoZOT3 ? 6 : 5;
        break;
    }
    if (length < slicesAt)
        return false;
    out.reserve(length + 2);
    out.insert(out.end(), {0x00, 0x00, 0x01, static_cast<uint8_t>(key ? 0xF9 : 0xF8),
                           LiveHeaderByte(key, quantiser, camera), 0x00, 0x00});
    out.insert(out.end(), frame + slicesAt, frame + length);
    return true;
}

std::shared_ptr<const LiveLoop> LoadLiveLoop(const std::string& path, int videoCode, bool rawDisk, size_t maxBytes,
                                             std::string& error) {
    platform::NullMessagePort quiet;
    media::CZoFile reader(&quiet);
    reader.SetFormat(videoCode);
    if (!reader.Open(path, rawDisk)) {
        error = "cannot open '" + path + "' as a recording";
        return nullptr;
    }
    auto loop = std::make_shared<LiveLoop>();
    loop->picturePeriodUs = media::PicturePeriodUs(224, media::kVideoZON);
    std::vector<uint8_t> frame(media::kMaxFrameSize);
    std::vector<uint8_t> live;
    size_t total = 0;
    int64_t dueUs = 0;
    int pictures = 0;
    reader.SetPosition(0);
    while (total < maxBytes) {
        const uint64_t before = reader.GetPosition();
        const int length = reader.ReadNextFrame(frame);
        if (length <= 0) {
            // A damaged block moves the position on; the end does not.
            if (reader.GetPosition() == before || reader.GetPosition() + 1 >= reader.GetSize())
                break;
            continue;
        }
        LiveFrame f;
        if (reader.IsAudio()) {
            if (reader.Channel() != 0)
                continue;
            f.kind = media::FrameKind::Sound;
            f.dueUs = dueUs;
            AppendSoundFrame(f.bytes, 0, std::span<const uint8_t>(frame.data(), static_cast<size_t>(length)));
        } else {
            if (!ToLivePicture(frame.data(), static_cast<size_t>(length), videoCode, live))
                continue;
            media::VideoHeader header;
            const bool parsed = media::ParseVideoHeader(live.data(), live.size(), media::kVideoZON, header);
            f.kind = media::FrameKind::Video;
            f.channel = live[4] & 7;
            f.key = (live[4] & 0x80) != 0;
            if (pictures == 0 && parsed)
                loop->picturePeriodUs = media::PicturePeriodUs(header.height, media::kVideoZON);
            f.dueUs = static_cast<int64_t>(pictures) * loop->picturePeriodUs;
            dueUs = f.dueUs;
            ++pictures;
            f.bytes = live;
        }
        total += f.bytes.size();
        loop->frames.push_back(std::move(f));
    }
    if (pictures == 0) {
        error = "'" + path + "' holds no picture that can be streamed";
        return nullptr;
    }
    loop->durationUs = static_cast<int64_t>(pictures) * loop->picturePeriodUs;
    return loop;
}

}  // namespace zo::synth
