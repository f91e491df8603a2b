#include <map>
#include <vector>

#include "Commands.h"
#include "Util.h"
#include "media/BlockScan.h"
#include "media/CZoFile.h"

namespace zrf {

using namespace zo::media;

namespace {

std::string TimeOrNull(int64_t seconds, bool json) {
    if (seconds < 0)
        return json ? "null" : "-";
    const std::string text = FormatTime(CalendarFromUnixSeconds(static_cast<uint32_t>(seconds)));
    return json ? JsonString(text) : text;
}

}  // namespace

int RunInfo(const SourceOptions& s, bool json) {
    CZoFile reader;
    if (!OpenRecording(reader, s.path, s.rawDisk, s.videoCode))
        return kExitFailure;

    // Pass 1: every block header.
    std::string device = s.path;
    std::string resolved;
    if (ResolvePhysicalDrivePath(s.path, DiskRoots{}, resolved))
        device = resolved;
    OpenStatus status = OpenStatus::CannotOpen;
    auto source = FileSource::Open(device, status);
    if (!source) {
        Error("cannot open '" + s.path + "'");
        return kExitFailure;
    }
    BlockStats blocks;
    {
        Progress progress("scanning blocks");
        blocks = ScanBlocks(*source, s.videoCode, s.rawDisk, [&](uint64_t done, uint64_t total) {
            progress.Update(done, total);
            return true;
        });
    }

    // Pass 2: every frame the reader delivers.
    std::vector<uint8_t> frame(kMaxFrameSize);
    std::map<int, uint64_t> video, sound;
    uint64_t videoFrames = 0, keyFrames = 0, invalidVideo = 0, soundFrames = 0, soundBytes = 0;
    std::map<std::string, uint64_t> sizes;
    {
        Progress progress("reading frames");
        int failures = 0;
        while (failures <= 32) {
            const int n = reader.ReadNextFrame(frame);
            if (n == 0) {
                ++failures;
                continue;
            }
            failures = 0;
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

    if (json) {
        std::printf("{\"path\": %s, \"size\": %llu, \"rawDisk\": %s, \"videoCode\": %d, \"videoFormat\": %s, "
                    "\"blocks\": %llu, \"validBlocks\": %llu, \"damagedBlocks\": %llu, \"trailingBytes\": %llu, "
                    "\"firstTime\": %s, \"lastTime\": %s, \"channelBits\": %u, ",
                    JsonString(s.path).c_str(), static_cast<unsigned long long>(reader.GetSize()),
                    s.rawDisk ? "true" : "false", s.videoCode, JsonString(VideoCodeName(s.videoCode)).c_str(),
                    static_cast<unsigned long long>(blocks.blocks),
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
        std::printf("}, \"readError\": %s}\n", blocks.readError ? "true" : "false");
        return kExitOk;
    }

    std::printf("recording   %s%s\n", s.path.c_str(), s.rawDisk ? "  (raw disk, byte pairs swapped)" : "");
    std::printf("size        %llu bytes: %llu blocks", static_cast<unsigned long long>(reader.GetSize()),
                static_cast<unsigned long long>(blocks.blocks));
    if (blocks.trailingBytes)
        std::printf(" and %llu bytes", static_cast<unsigned long long>(blocks.trailingBytes));
    std::printf("\nformat      %s (video code %d)\n", std::string(VideoCodeName(s.videoCode)).c_str(), s.videoCode);
    std::printf("blocks      %llu valid, %llu damaged%s\n", static_cast<unsigned long long>(blocks.validBlocks),
                static_cast<unsigned long long>(blocks.damagedBlocks),
                blocks.readError ? " (a read error stopped the scan)" : "");
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
    return kExitOk;
}

}  // namespace zrf
