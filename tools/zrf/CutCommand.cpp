#include <filesystem>

#include "Commands.h"
#include "Util.h"
#include "media/CZoFile.h"

namespace zrf {

using namespace zo::media;

int RunCut(const SourceOptions& s, const std::string& startText, const std::string& endText,
           const std::string& out) {
    uint64_t start = 0, end = 0;
    if (!ParseUnsigned(startText, start) || !ParseUnsigned(endText, end)) {
        Error("START and END are byte positions (decimal or 0x hex)");
        return kExitUsage;
    }
    CZoFile reader;
    if (!OpenRecording(reader, s.path, s.rawDisk, s.videoCode))
        return kExitFailure;
    const uint64_t size = reader.GetSize();
    if (start >= end) {
        Error("START must be below END");
        return kExitUsage;
    }
    if (end >= size) {
        Error("END " + std::to_string(end) + " is not inside the recording (" + std::to_string(size) + " bytes)");
        return kExitUsage;
    }
    const uint64_t first = start / kBlockSize * kBlockSize;
    const uint64_t last = (end + kBlockSize - 1) / kBlockSize * kBlockSize;
    if (last - first > (1ull << 30)) {
        Error("the range covers " + std::to_string(last - first) + " bytes; at most 1 GiB can be cut at once");
        return kExitUsage;
    }
    std::error_code ec;
    if (std::filesystem::equivalent(s.path, out, ec)) {
        Error("the output would overwrite the recording itself");
        return kExitUsage;
    }
    if (!reader.SaveRange(start, end, out)) {
        Error("cannot write '" + out + "'");
        return kExitFailure;
    }
    std::fprintf(stderr, "wrote %llu bytes (blocks %llu to %llu) to %s\n",
                 static_cast<unsigned long long>(std::min(last, size) - first),
                 static_cast<unsigned long long>(first / kBlockSize),
                 static_cast<unsigned long long>((std::min(last, size) - 1) / kBlockSize), out.c_str());
    return kExitOk;
}

}  // namespace zrf
