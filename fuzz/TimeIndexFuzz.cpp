// Arbitrary bytes as a time index cache file: parsed and, when accepted,
// written and parsed again to the same text.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "media/TimeIndex.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    zo::media::TimeIndex index;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    if (!zo::media::ParseTimeIndex(text, "k", index))
        return 0;
    if (index.gaps.size() > zo::media::TimeIndex::kMaxListed || index.damaged.size() > zo::media::TimeIndex::kMaxListed ||
        index.runs.size() > size)
        __builtin_trap();
    const std::string again = zo::media::SerializeTimeIndex(index, "k");
    zo::media::TimeIndex second;
    if (!zo::media::ParseTimeIndex(again, "k", second) || zo::media::SerializeTimeIndex(second, "k") != again)
        __builtin_trap();
    return 0;
}
