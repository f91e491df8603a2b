#include "synth/DemoRecording.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "synth/FrameMaker.h"

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
    const int channels = o.channels < 1 ? 1 : (o.channels > 16 ? 16 : o.channels);
    const int audioChannels = o.audioChannels < 1 ? 1 : (o.audioChannels > 4 ? 4 : o.audioChannels);
    // Sound in eighths of a second per audio channel.
    const size_t soundChunk = static_cast<size_t>(o.audioRate / 8);
    const int64_t soundPeriodUs = 125000;

    std::vector<uint8_t> frame;
    frame.reserve(media::kMaxFrameSize);
    std::vector<int> sincePerChannel(16, 0);
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
                frame.clear();
                frame.insert(frame.end(), {0x00, 0x00, 0x01, static_cast<uint8_t>(0xFA + a), 0xFF, 0xFF});
                AppendToneSpcm8(frame, 440.0 * (a + 1), o.audioRate, soundSample, soundChunk);
                builder.AddFrame(frame);
                ++stats.soundFrames;
            }
            soundSample += soundChunk;
            nextSoundUs += soundPeriodUs;
        }
        const int channel = static_cast<int>(picture % static_cast<uint64_t>(channels));
        VideoFrameSpec spec;
        spec.videoCode = o.videoCode;
        spec.channel = channel;
        spec.key = sincePerChannel[channel] == 0;
        spec.slices = slices;
        spec.bytesPerSlice = spec.key ? o.keySliceBytes : o.updateSliceBytes;
        spec.pictureCounter = static_cast<int>(picture * o.interval & 0xFFFF);
        sincePerChannel[channel] = (sincePerChannel[channel] + 1) % (o.keyEvery < 1 ? 1 : o.keyEvery);
        frame.clear();
        AppendVideoFrame(frame, spec, rng);
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
