#include "TimeSupport.h"


#include "Util.h"
#include "media/BlockGrid.h"
#include "media/RecordingFormat.h"

namespace zrf {

std::unique_ptr<zo::media::FileSource> OpenBlockSource(const std::string& path, std::string* resolved) {
    auto source = OpenSourceFile(path, resolved);
    if (source && source->Size() < zo::media::kBlockSize) {
        Error("'" + path + "' holds no whole block");
        return nullptr;
    }
    return source;
}

uint32_t BlockGridOrigin(const zo::media::ByteSource& source, bool rawDisk, const std::string& path) {
    const uint32_t origin = zo::media::FindBlockGridOrigin(source, rawDisk);
    NoteGridOrigin(path, origin);
    return origin;
}

bool ParseBlockTime(const std::string& text, const char* option, uint32_t& seconds) {
    const int64_t t = ParseTime(text);
    if (t < 0 || t > 0xFFFFFFFFll) {
        Error(std::string(option) + " must be \"YYYY-MM-DD HH:MM:SS\" between 1970 and 2106, not \"" + text + "\"");
        return false;
    }
    seconds = static_cast<uint32_t>(t);
    return true;
}

std::string FormatBlockTime(uint32_t seconds) { return FormatTime(zo::media::CalendarFromUnixSeconds(seconds)); }

}  // namespace zrf
