#include <array>
#include <cstring>
#include <vector>

#include "Commands.h"
#include "Util.h"
#include "codec/CZoVdec.h"
#include "codec/ColourConvert.h"
#include "media/CZoFile.h"
#include "media/FrameWalk.h"

namespace zrf {

using namespace zo;

// Every delivered video frame that passes the header parse is decoded into
// its channel's own picture buffer (black at the start); one JSON line each.
int RunDecode(const SourceOptions& s) {
    media::CZoFile reader;
    if (!OpenRecording(reader, s.path, s.rawDisk, s.videoCode))
        return kExitFailure;
    codec::CZoVdec decoder;
    decoder.Init(s.videoCode);
    std::vector<uint8_t> frame(media::kMaxFrameSize);
    std::array<std::vector<uint8_t>, 16> pictures;
    for (auto& p : pictures) {
        p.assign(codec::kMaxDecodedPictureBytes, 128);
        std::memset(p.data(), 0, 640 * 272);
    }
    // A picture of one size keeps the chroma planes where that size puts them.
    std::array<int, 16> heights{};
    std::vector<uint8_t> rgb(640 * 272 * 3);
    uint64_t index = 0;
    media::FrameWalk walk(reader);
    walk.SetAreaHandler(ReportSkippedArea);
    Progress progress("decoding");
    while (!StandardOutputFailed()) {
        const int n = walk.Next(frame);
        if (n == 0)
            break;
        const uint64_t at = index++;
        if (reader.IsAudio() || decoder.ParseHeader(frame.data(), static_cast<size_t>(n)) == 0)
            continue;
        const int channel = decoder.GetChannel() & 15;
        const int width = static_cast<int>(decoder.GetWidth());
        const int height = static_cast<int>(decoder.GetHeight());
        std::vector<uint8_t>& picture = pictures[static_cast<size_t>(channel)];
        if (heights[static_cast<size_t>(channel)] != height) {
            std::memset(picture.data(), 0, static_cast<size_t>(width) * height);
            std::memset(picture.data() + width * height, 128, static_cast<size_t>(width) * height / 2);
            heights[static_cast<size_t>(channel)] = height;
        }
        const bool ok = decoder.DecodePicture(frame.data(), static_cast<size_t>(n), picture.data()) == 1;
        std::printf("{\"index\": %llu, \"channel\": %d, \"key\": %s, \"ok\": %s, \"width\": %d, \"height\": %d",
                    static_cast<unsigned long long>(at), channel, decoder.IsKey() ? "true" : "false",
                    ok ? "true" : "false", width, height);
        if (ok) {
            codec::I420ToRgb24BottomUp(rgb.data(), picture.data(), width, height);
            std::printf(", \"yuv_md5\": \"%s\", \"rgb24_md5\": \"%s\"",
                        Md5Hex(picture.data(), codec::DecodedPictureBytes(width, height)).c_str(),
                        Md5Hex(rgb.data(), static_cast<size_t>(width) * height * 3).c_str());
        }
        std::printf("}\n");
        progress.Update(reader.GetPosition(), reader.GetSize());
    }
    progress.Finish();
    return kExitOk;  // main checks that standard output got everything
}

}  // namespace zrf
