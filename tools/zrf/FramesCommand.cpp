#include <vector>

#include "Commands.h"
#include "Util.h"
#include "media/CZoFile.h"

namespace zrf {

using namespace zo::media;

// One JSON object per delivered frame. Forward from position 0 until more
// than 32 reads in a row fail; backward from the end until the position
// reaches 0 or more than 32 reads in a row fail.
int RunFrames(const SourceOptions& s, bool backward) {
    CZoFile reader;
    if (!OpenRecording(reader, s.path, s.rawDisk, s.videoCode))
        return kExitFailure;
    std::vector<uint8_t> frame(kMaxFrameSize);
    if (backward)
        reader.SetPosition(reader.GetSize());
    uint64_t index = 0;
    int failures = 0;
    Progress progress(backward ? "reading backward" : "reading");
    while (failures <= 32) {
        if (backward && reader.GetPosition() == 0)
            break;
        const int n = backward ? reader.ReadPrevFrame(frame) : reader.ReadNextFrame(frame);
        if (n == 0) {
            ++failures;
            continue;
        }
        failures = 0;
        CalendarTime t;
        const std::string time = reader.GetTime(t) ? JsonString(FormatTime(t)) : "null";
        std::printf("{\"index\": %llu, \"kind\": \"%s\", \"channel\": %d, \"length\": %d, \"time\": %s, "
                    "\"interval\": %d, \"channelBits\": %d, \"md5\": \"%s\"}\n",
                    static_cast<unsigned long long>(index), reader.IsAudio() ? "audio" : "video", reader.Channel(), n,
                    time.c_str(), reader.Interval(), reader.ChannelBits(),
                    Md5Hex(frame.data(), static_cast<size_t>(n)).c_str());
        ++index;
        const uint64_t size = reader.GetSize();
        progress.Update(backward ? size - reader.GetPosition() : reader.GetPosition(), size);
    }
    progress.Finish();
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        Error("cannot write the frame list");
        return kExitFailure;
    }
    return kExitOk;
}

}  // namespace zrf
