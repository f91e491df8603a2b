// Helpers shared by the engine's operations and its two workers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>

#include "media/RecordingFormat.h"

namespace zo::engine::detail {

// Picture period by decoded height and video code: codes 0 and 2 record
// whole frames, the others fields.
inline int PeriodUs(int height, int videoCode) {
    const bool frames = videoCode == media::kVideoZO4 || videoCode == media::kVideoZON;
    if (height == 224)
        return frames ? 33333 : 16666;
    return frames ? 40000 : 20000;
}

inline std::unique_ptr<uint8_t[]> TryAllocate(size_t bytes) {
    return std::unique_ptr<uint8_t[]>(new (std::nothrow) uint8_t[bytes]);
}

}  // namespace zo::engine::detail
