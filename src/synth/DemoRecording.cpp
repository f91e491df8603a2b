#include "synth/DemoRecording.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "synth/FrameMaker.h"
#include "synth/Scene.h"
#include "synth/VideoEncoder.h"

namespace zo::synth {

DemoStats GenerateRecording(const DemoOptions& o, const RecordingBuilder::BlockSink& sink) {
    DemoStats stats;
    RecordingBuilder builder(o.videoCode, o.rawDisk, sink, false);
    builder.SetInterval(o.interval);
    builder.SetChannelBits(static_cast<uint16_t>(o.channels >= 16 ? 0xFFFF : (1u << o.channels) - 1));
    builder.SetTime(o.startTime);

    Rng rng(o.seed);
    const int slices = o.height == 272 ? 17 : 14;
    const int periodUs = media::PicturePeriodUs(o.height == 272 ? 272 : 224, o.videoCode);
    // The network layout has no channel field: one camera only.
    const int channels = o.videoCode == media::kVideoZON ? 1 : (o.channels < 1 ? 1 : (o.channels > 16 ? 16 : o.channels));
    const int audioChannels = o.audioChannels < 1 ? 1 : (o.audioChannels > 4 ? 4 : o.audioChannels);
    // Sound in eighths of a second per audio channel.
    const size_t soundChunk = static_cast<size_t>(o.audioRate / 8);
    const int64_t soundPeriodUs = 125000;

    std::vector<uint8_t> frame;
    frame.reserve(media::kMaxFrameSize);
    std::vector<int> sincePerChannel(16, 0);
    const int height = slices == 17 ? 272 : 224;
    std::vector<uint8_t> scene(o.realVideo ? codec::kMaxDecodedPictureBytes : 0);
    std::vector<uint8_t> second(o.realVideo && o.dual ? codec::kMaxDecodedPictureBytes : 0);
    VideoEncoder encoder;
    std::vector<uint8_t> tone;
    tone.reserve(soundChunk);
    int64_t nowUs = 0;
    int64_t nextSoundUs = 0;
    uint64_t soundSample = 0;
    uint64_t picture = 0;
    const int64_t endUs = static_cast<int64_t>(o.seconds * 1e6);
    auto done = [&] {
        if (o.targetBytes > 0)
            return builder.BlockCount() * media::kBlockSize >= o.targetBytes;
        return nowUs >= endUs;
    };
    while (!done()) {
        builder.SetTime(o.startTime + static_cast<uint32_t>(nowUs / 1000000));
        if (o.audio && nowUs >= nextSoundUs) {
            for (int a = 0; a < audioChannels; ++a) {
                tone.clear();
                AppendToneSpcm8(tone, 440.0 * (a + 1), o.audioRate, soundSample, soundChunk);
                frame.clear();
                AppendSoundFrame(frame, a, tone);
                builder.AddFrame(frame);
                ++stats.soundFrames;
            }
            soundSample += soundChunk;
            nextSoundUs += soundPeriodUs;
            // The recorder writes a fixed number of frames a second: each
            // sound frame takes the slot of a picture.
            nowUs += static_cast<int64_t>(periodUs) * audioChannels;
            continue;
        }
        const int channel = static_cast<int>(picture % static_cast<uint64_t>(channels));
        const bool key = sincePerChannel[channel] == 0;
        sincePerChannel[channel] = (sincePerChannel[channel] + 1) % (o.keyEvery < 1 ? 1 : o.keyEvery);
        frame.clear();
        const uint32_t now = o.startTime + static_cast<uint32_t>(nowUs / 1000000);
        if (o.realVideo) {
            const uint64_t shown = picture / static_cast<uint64_t>(channels);
            RenderScene(scene.data(), height, channel, shown, now);
            PictureHeader h;
            h.videoCode = o.videoCode;
            h.channel = channel;
            h.quantiser = o.quantiser;
            h.pictureCounter = static_cast<int>(picture * o.interval & 0xFFFF);
            if (o.dual && o.videoCode == media::kVideoZOT3) {
                // Left half: this channel's scene; right half: the next channel's.
                const int right = (channel + 1) % 16;
                RenderScene(second.data(), height, right, shown, now);
                const int w = 640, cw = 320;
                for (int y = 0; y < height; ++y)
                    std::memcpy(scene.data() + y * w + w / 2, second.data() + y * w, w / 2);
                for (int plane = 0; plane < 2; ++plane) {
                    uint8_t* dst = scene.data() + w * height + plane * (w * height / 4);
                    const uint8_t* src = second.data() + w * height + plane * (w * height / 4);
                    for (int y = 0; y < height / 2; ++y)
                        std::memcpy(dst + y * cw + cw / 2, src + y * cw, cw / 2);
                }
                h.dual = true;
                h.dualChannel = right;
            }
            encoder.Encode(scene.data(), height, key, h, frame);
        } else {
            PictureLayout layout;
            layout.videoCode = o.videoCode;
            layout.channel = channel;
            layout.key = key;
            layout.slices = slices;
            layout.bytesPerSlice = key ? o.keySliceBytes : o.updateSliceBytes;
            layout.pictureCounter = static_cast<int>(picture * o.interval & 0xFFFF);
            AppendVideoFrame(frame, layout, rng);
        }
        builder.AddFrame(frame);
        ++stats.videoFrames;
        ++picture;
        nowUs += static_cast<int64_t>(periodUs) * o.interval;
    }
    builder.Finish();
    stats.blocks = builder.BlockCount();
    stats.bytes = stats.blocks * media::kBlockSize;
    return stats;
}

bool WriteRecordingFile(const DemoOptions& options, const std::string& path, DemoStats& stats,
                        std::string& error) {
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (!out) {
        error = std::strerror(errno);
        return false;
    }
    bool ok = true;
    stats = GenerateRecording(options, [&](const uint8_t* block, size_t size) {
        if (ok && std::fwrite(block, 1, size, out) != size) {
            ok = false;
            error = std::strerror(errno);
        }
    });
    if (std::fclose(out) != 0 && ok) {
        ok = false;
        error = std::strerror(errno);
    }
    return ok;
}

}  // namespace zo::synth
