#include "TimeSupport.h"

#include <cerrno>
#include <cstring>

#include "Util.h"
#include "media/Disks.h"
#include "media/RecordingFormat.h"

namespace zrf {

std::unique_ptr<zo::media::FileSource> OpenBlockSource(const std::string& path, std::string* resolved) {
    std::string actual = path;
    std::string device;
    if (zo::media::ResolvePhysicalDrivePath(path, zo::media::DiskRoots{}, device)) {
        if (device.empty()) {
            Error("no such disk: " + path + " (zrf disks lists them)");
            return nullptr;
        }
        actual = device;
    }
    zo::media::OpenStatus status = zo::media::OpenStatus::CannotOpen;
    int err = 0;
    auto source = zo::media::FileSource::Open(actual, status, &err);
    if (!source) {
        const std::string why = status == zo::media::OpenStatus::NoSize ? "its size cannot be read"
                                : err == EISDIR                         ? "it is a directory"
                                : err == EINVAL                         ? "not a regular file or block device"
                                                                        : std::strerror(err);
        Error("cannot open '" + path + "': " + why);
        return nullptr;
    }
    if (source->Size() < zo::media::kBlockSize) {
        Error("'" + path + "' holds no whole block");
        return nullptr;
    }
    if (resolved)
        *resolved = actual;
    return source;
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
