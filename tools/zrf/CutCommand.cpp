#include <filesystem>

#include "Commands.h"
#include "Util.h"
#include "media/CZoFile.h"

namespace zrf {

using namespace zo::media;

int RunCut(const SourceOptions& s, const std::string& startText, const std::string& endText, const std::string& out,
           bool force) {
    uint64_t start = 0, end = 0;
    if (!ParseUnsigned(startText, start) || !ParseUnsigned(endText, end)) {
        Error("START and END are byte positions (decimal or 0x hex)");
        return kExitUsage;
    }
    CZoFile reader;
    if (!OpenRecording(reader, s.path, s.rawDisk, s.videoCode))
        return kExitFailure;
    const uint64_t size = reader.GetSize();
    if (start > end) {
        Error("START must not be above END");
        return kExitUsage;
    }
    if (end >= size) {
        Error("END " + std::to_string(end) + " is not inside the recording (" + std::to_string(size) +
              " bytes: the last position is " + std::to_string(size - 1) + ")");
        return kExitUsage;
    }
    // END is included: the blocks from START's to END's, whole (the last
    // one as far as the source goes).
    const uint64_t first = start / kBlockSize * kBlockSize;
    const uint64_t last = std::min(end / kBlockSize * kBlockSize + kBlockSize, size);
    if (last - first > (1ull << 30)) {
        Error("the range covers " + std::to_string(last - first) + " bytes; at most 1 GiB can be cut at once");
        return kExitUsage;
    }
    std::error_code ec;
    if (std::filesystem::equivalent(s.path, out, ec)) {
        Error("the output would overwrite the recording itself");
        return kExitUsage;
    }
    if (!MayWriteOutputs({out}, force))
        return kExitFailure;
    // The reader's range save covers [a, b) rounded out to blocks, b below the size.
    std::string error;
    const uint64_t saveEnd = std::min(last - 1, size - 1);
    if (!reader.SaveRange(first, saveEnd > first ? saveEnd : first + 1, out, &error)) {
        Error(error.empty() ? "cannot write '" + out + "'" : error);
        return kExitFailure;
    }
    std::fprintf(stderr, "wrote %llu bytes (blocks %llu to %llu) to %s\n",
                 static_cast<unsigned long long>(last - first), static_cast<unsigned long long>(first / kBlockSize),
                 static_cast<unsigned long long>((last - 1) / kBlockSize), out.c_str());
    return kExitOk;
}

}  // namespace zrf
