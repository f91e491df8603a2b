#include <cstdlib>
#include <cstring>
#include <map>
#include <vector>

#include "Commands.h"
#include "Util.h"
#include "media/BlockScan.h"
#include "media/CZoFile.h"
#include "media/FrameWalk.h"

namespace zrf {

using namespace zo::media;

namespace {

std::string TimeOrNull(int64_t seconds, bool json) {
    if (seconds < 0)
        return json ? "null" : "-";
    const std::string text = FormatTime(CalendarFromUnixSeconds(static_cast<uint32_t>(seconds)));
    return json ? JsonString(text) : text;
}

// Samples block headers (the first ones and some spread over the source)
// and suggests the other reading when it fits the data clearly better: the
// raw-disk flag (byte pairs swapped) or the byte order of the block time
// (video code 6 big-endian, the others little-endian).
std::string SuggestReading(const ByteSource& source, bool rawDisk, int videoCode) {
    const uint64_t blocks = source.Size() / kBlockSize;
    if (blocks == 0)
        return {};
    constexpr uint64_t kSamples = 1024;
    const int otherCode = videoCode == kVideoZOC ? kVideoZO9 : kVideoZOC;
    int asGiven = 0, swapped = 0;
    // Changes of time between consecutive valid blocks, and how many of them
    // are steps of more than a day, with the time read in this code's byte
    // order and in the other one: read in the wrong order, a step of one
    // second becomes one of months.
    int changes = 0, jumps = 0, otherChanges = 0, otherJumps = 0;
    int64_t previous = -1, otherPrevious = -1;
    for (uint64_t i = 0; i < 2 * kSamples; ++i) {
        const bool spread = i >= kSamples;
        const uint64_t index = spread ? (i - kSamples) * blocks / kSamples : i;
        if (index >= blocks)
            continue;
        uint8_t h[kBlockHeaderSize], other[kBlockHeaderSize];
        if (source.ReadAt(index * kBlockSize, h, sizeof h) != static_cast<int64_t>(sizeof h))
            continue;
        std::memcpy(other, h, sizeof h);
        SwapBytePairs(other, sizeof other);
        const uint8_t* given = rawDisk ? other : h;
        const uint8_t* alternative = rawDisk ? h : other;
        const BlockHeader g = DecodeBlockHeader(given, videoCode);
        swapped += DecodeBlockHeader(alternative, videoCode).valid ? 1 : 0;
        if (!g.valid)
            continue;
        ++asGiven;
        if (spread)
            continue;  // the order of times is judged on consecutive blocks only
        const int64_t t = g.timeSeconds;
        const int64_t o = DecodeBlockHeader(given, otherCode).timeSeconds;
        if (previous >= 0 && t != previous) {
            ++changes;
            jumps += std::llabs(t - previous) > kMaxNeighbourStep ? 1 : 0;
        }
        if (otherPrevious >= 0 && o != otherPrevious) {
            ++otherChanges;
            otherJumps += std::llabs(o - otherPrevious) > kMaxNeighbourStep ? 1 : 0;
        }
        previous = t;
        otherPrevious = o;
    }
    if (swapped >= 8 && swapped > 4 * asGiven)
        return rawDisk ? "the blocks read better as a recording file: try without --disk"
                       : "the blocks read as a raw DVR disk (byte pairs swapped): try --disk";
    if (changes >= 1 && jumps * 2 > changes && otherChanges >= 1 && otherJumps * 4 < otherChanges)
        return videoCode == kVideoZOC ? "the block times jump about: try --code 0 to 5 (little-endian times)"
                                      : "the block times jump about: try --code 6 (big-endian times)";
    return {};
}

}  // namespace

int RunInfo(const SourceOptions& s, bool json) {
    CZoFile reader;
    if (!OpenRecording(reader, s.path, s.rawDisk, s.videoCode))
        return kExitFailure;

    // Pass 1: every block header, on the block grid the reader found.
    const ByteSource* source = reader.Source();
    BlockStats blocks;
    {
        Progress progress("scanning blocks");
        blocks = ScanBlocks(*source, s.videoCode, s.rawDisk, [&](uint64_t done, uint64_t total) {
            progress.Update(done, total);
            return true;
        });
    }

    // Pass 2: every frame the reader delivers, over damaged and empty areas.
    std::vector<uint8_t> frame(kMaxFrameSize);
    std::map<int, uint64_t> video, sound;
    uint64_t videoFrames = 0, keyFrames = 0, invalidVideo = 0, soundFrames = 0, soundBytes = 0;
    std::map<std::string, uint64_t> sizes;
    {
        Progress progress("reading frames");
        FrameWalk walk(reader);
        for (;;) {
            const int n = walk.Next(frame);
            if (n == 0)
                break;
            if (reader.IsAudio()) {
                ++soundFrames;
                soundBytes += static_cast<uint64_t>(n);
                ++sound[reader.Channel()];
            } else {
                ++videoFrames;
                VideoHeader h;
                if (ParseVideoHeader(frame.data(), static_cast<size_t>(n), s.videoCode, h)) {
                    ++video[h.channel];
                    keyFrames += h.key ? 1 : 0;
                    ++sizes[std::to_string(h.width) + "x" + std::to_string(h.height)];
                } else {
                    ++invalidVideo;
                }
            }
            progress.Update(reader.GetPosition(), reader.GetSize());
        }
    }
    const std::string hint = SuggestReading(*source, s.rawDisk, s.videoCode);

    if (json) {
        std::printf("{\"path\": %s, \"size\": %llu, \"rawDisk\": %s, \"videoCode\": %d, \"videoFormat\": %s, "
                    "\"gridOrigin\": %u, \"blocks\": %llu, \"validBlocks\": %llu, \"damagedBlocks\": %llu, \"trailingBytes\": %llu, "
                    "\"firstTime\": %s, \"lastTime\": %s, \"channelBits\": %u, ",
                    JsonString(s.path).c_str(), static_cast<unsigned long long>(reader.GetSize() + reader.GridOrigin()),
                    s.rawDisk ? "true" : "false", s.videoCode, JsonString(VideoCodeName(s.videoCode)).c_str(),
                    reader.GridOrigin(), static_cast<unsigned long long>(blocks.blocks),
                    static_cast<unsigned long long>(blocks.validBlocks),
                    static_cast<unsigned long long>(blocks.damagedBlocks),
                    static_cast<unsigned long long>(blocks.trailingBytes), TimeOrNull(blocks.firstTime, true).c_str(),
                    TimeOrNull(blocks.lastTime, true).c_str(), blocks.channelBits);
        std::printf("\"videoFrames\": %llu, \"keyFrames\": %llu, \"invalidVideoFrames\": %llu, \"channels\": {",
                    static_cast<unsigned long long>(videoFrames), static_cast<unsigned long long>(keyFrames),
                    static_cast<unsigned long long>(invalidVideo));
        const char* sep = "";
        for (auto [ch, count] : video) {
            std::printf("%s\"%d\": %llu", sep, ch, static_cast<unsigned long long>(count));
            sep = ", ";
        }
        std::printf("}, \"pictureSizes\": {");
        sep = "";
        for (const auto& [size, count] : sizes) {
            std::printf("%s%s: %llu", sep, JsonString(size).c_str(), static_cast<unsigned long long>(count));
            sep = ", ";
        }
        std::printf("}, \"hasAudio\": %s, \"soundFrames\": %llu, \"soundBytes\": %llu, \"audioChannels\": {",
                    reader.HasAudio() ? "true" : "false", static_cast<unsigned long long>(soundFrames),
                    static_cast<unsigned long long>(soundBytes));
        sep = "";
        for (auto [ch, count] : sound) {
            std::printf("%s\"%d\": %llu", sep, ch, static_cast<unsigned long long>(count));
            sep = ", ";
        }
        std::printf("}, \"readError\": %s, \"emptyBlocks\": %llu, \"untrustedBlocks\": %llu, \"gapCount\": %llu, "
                    "\"gaps\": [",
                    blocks.readError ? "true" : "false", static_cast<unsigned long long>(blocks.emptyBlocks),
                    static_cast<unsigned long long>(blocks.untrustedBlocks),
                    static_cast<unsigned long long>(blocks.areaCount));
        sep = "";
        for (const BlockArea& a : blocks.areas) {
            std::printf("%s{\"offset\": %llu, \"bytes\": %llu, \"emptyBlocks\": %llu}", sep,
                        static_cast<unsigned long long>(a.offset), static_cast<unsigned long long>(a.bytes),
                        static_cast<unsigned long long>(a.emptyBlocks));
            sep = ", ";
        }
        std::printf("], \"hint\": %s}\n", hint.empty() ? "null" : JsonString(hint).c_str());
        return kExitOk;
    }

    std::printf("recording   %s%s\n", s.path.c_str(), s.rawDisk ? "  (raw disk, byte pairs swapped)" : "");
    std::printf("size        %llu bytes: %llu blocks",
                static_cast<unsigned long long>(reader.GetSize() + reader.GridOrigin()),
                static_cast<unsigned long long>(blocks.blocks));
    if (blocks.trailingBytes)
        std::printf(" and %llu bytes", static_cast<unsigned long long>(blocks.trailingBytes));
    if (reader.GridOrigin() != 0)
        std::printf("\norigin      the first block starts at byte %u of the image; positions count from there",
                    reader.GridOrigin());
    std::printf("\nformat      %s (video code %d)\n", std::string(VideoCodeName(s.videoCode)).c_str(), s.videoCode);
    std::printf("blocks      %llu valid, %llu damaged or empty (%llu empty, %llu with a time that does not fit)%s\n",
                static_cast<unsigned long long>(blocks.validBlocks),
                static_cast<unsigned long long>(blocks.damagedBlocks),
                static_cast<unsigned long long>(blocks.emptyBlocks),
                static_cast<unsigned long long>(blocks.untrustedBlocks),
                blocks.readError ? "; some blocks could not be read" : "");
    std::printf("gaps        %llu area%s without valid blocks\n", static_cast<unsigned long long>(blocks.areaCount),
                blocks.areaCount == 1 ? "" : "s");
    constexpr size_t kShownAreas = 20;
    for (size_t i = 0; i < blocks.areas.size() && i < kShownAreas; ++i)
        std::printf("              %s%s\n", DescribeArea(blocks.areas[i]).c_str(),
                    blocks.areas[i].emptyBlocks * kBlockSize == blocks.areas[i].bytes ? ", empty" : "");
    if (blocks.areaCount > kShownAreas)
        std::printf("              ... and %llu more (--json lists up to %zu)\n",
                    static_cast<unsigned long long>(blocks.areaCount - kShownAreas), BlockStats::kMaxAreas);
    std::printf("time        %s .. %s\n", TimeOrNull(blocks.firstTime, false).c_str(),
                TimeOrNull(blocks.lastTime, false).c_str());
    std::printf("video       %llu frames, %llu key, %llu not decodable", static_cast<unsigned long long>(videoFrames),
                static_cast<unsigned long long>(keyFrames), static_cast<unsigned long long>(invalidVideo));
    for (const auto& [size, count] : sizes)
        std::printf(", %s", size.c_str());
    std::printf("\nchannels   ");
    if (video.empty())
        std::printf(" none");
    for (auto [ch, count] : video)
        std::printf(" CH%d:%llu", ch + 1, static_cast<unsigned long long>(count));
    std::printf("\naudio       ");
    if (!reader.HasAudio()) {
        std::printf("none\n");
    } else {
        std::printf("%llu frames, %llu bytes;", static_cast<unsigned long long>(soundFrames),
                    static_cast<unsigned long long>(soundBytes));
        for (auto [ch, count] : sound)
            std::printf(" audio %d:%llu", ch, static_cast<unsigned long long>(count));
        std::printf("\n");
    }
    if (!hint.empty())
        std::printf("hint        %s\n", hint.c_str());
    return kExitOk;
}

}  // namespace zrf
