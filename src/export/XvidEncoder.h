// XvidEncoder: MPEG-4 (Advanced Simple, no B-pictures) encoding of 24-bit
// bottom-up BGR pictures with xvidcore, one coded picture out per picture
// in, so frame numbers stay where the caller puts them.
//
// Threads: one instance belongs to one thread at a time; instances are
// independent and may encode on different threads at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "export/CompressionOptions.h"

namespace zo::exporter {

class XvidEncoder {
public:
    XvidEncoder() = default;
    ~XvidEncoder();
    XvidEncoder(const XvidEncoder&) = delete;
    XvidEncoder& operator=(const XvidEncoder&) = delete;

    // Creates the encoder for pictures of width x height at rate/scale
    // pictures per second. Allocates the output buffer. 1 on success.
    int Open(int width, int height, uint32_t rate, uint32_t scale, const XvidSettings& settings);
    void Close();
    bool IsOpen() const { return handle_ != nullptr; }

    // Encodes one picture (height rows of width x 3 bytes, bottom row
    // first). Returns the coded bytes (0 is possible for a skipped picture)
    // or -1 on failure; `key` tells whether it is a key picture. The bytes
    // stay valid until the next call.
    int Encode(const uint8_t* bgrBottomUp, bool& key);
    const uint8_t* Output() const { return output_.data(); }

private:
    void* handle_ = nullptr;
    int width_ = 0;
    int height_ = 0;
    int quantiser_ = 0;  // 0 under rate control
    std::vector<uint8_t> output_;
};

}  // namespace zo::exporter
