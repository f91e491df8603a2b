#include <vector>

#include "Commands.h"
#include "Util.h"
#include "media/CZoFile.h"
#include "media/FrameWalk.h"

namespace zrf {

using namespace zo::media;

// One JSON object per delivered frame, forward from position 0 to the end or
// backward from the end to the start, stepping over areas without valid
// blocks (reported on stderr).
int RunFrames(const SourceOptions& s, bool backward) {
    CZoFile reader;
    if (!OpenRecording(reader, s.path, s.rawDisk, s.videoCode))
        return kExitFailure;
    std::vector<uint8_t> frame(kMaxFrameSize);
    if (backward)
        reader.SetPosition(reader.GetSize());
    FrameWalk walk(reader);
    walk.SetAreaHandler(ReportSkippedArea);
    uint64_t index = 0;
    Progress progress(backward ? "reading backward" : "reading");
    while (!StandardOutputFailed()) {
        const int n = backward ? walk.Prev(frame) : walk.Next(frame);
        if (n == 0)
            break;
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
    return kExitOk;  // main checks that standard output got everything
}

}  // namespace zrf
