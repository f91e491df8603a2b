// CZoVdec: decodes one compressed picture of the recorder's intra-coded
// block format into a planar 4:2:0 picture (Y, then Cb, then Cr, no
// padding; 640x224 or 640x272).
//
// Calling order per picture: ParseHeader; the caller looks at channel and
// key flag; DecodePicture of the same bytes into the caller's picture
// buffer. Update pictures write only the macroblocks and luma blocks they
// carry; everything else keeps what the buffer held. One instance is used
// by one thread at a time; instances are independent.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "media/RecordingFormat.h"

namespace zo::codec {

// Bytes of a decoded picture of the given size.
constexpr size_t DecodedPictureBytes(int width, int height) {
    return static_cast<size_t>(width) * static_cast<size_t>(height) * 3 / 2;
}
// The largest picture (640x272).
inline constexpr size_t kMaxDecodedPictureBytes = DecodedPictureBytes(640, 272);

class CZoVdec {
public:
    CZoVdec() : padded_(media::kMaxFrameSize + kPadding) {}
    virtual ~CZoVdec() = default;

    // Selects the header layout by video code (0..6). Always 1.
    int Init(int videoCode);

    // Reads the header and finds the slices. 0 if the picture is not
    // acceptable; otherwise the offset of the last byte of a following frame
    // start code where the scan stopped there, else the length.
    int ParseHeader(const uint8_t* data, size_t length);

    // Decodes the slices found by the last ParseHeader of the same bytes into
    // `picture` (DecodedPictureBytes(GetWidth(), GetHeight()) bytes). 1 on
    // success; 0 on any damage, leaving what was already stored. Pictures
    // longer than a recording frame (131072 bytes) are refused.
    int DecodePicture(const uint8_t* data, size_t length, uint8_t* picture);

    uint32_t GetWidth() const { return static_cast<uint32_t>(header_.width); }
    uint32_t GetHeight() const { return static_cast<uint32_t>(header_.height); }
    int GetChannel() const { return header_.channel; }
    bool IsKey() const { return header_.key; }
    int Quantiser() const { return header_.quantiser; }
    int PictureCounter() const { return pictureCounter_; }
    bool IsDual() const { return header_.dual; }
    int DualChannel() const { return header_.dualChannel; }
    bool HideLeft() const { return header_.hideLeft; }
    bool HideRight() const { return header_.hideRight; }
    const media::VideoHeader& Header() const { return header_; }
    int VideoCode() const { return videoCode_; }

private:
    static constexpr size_t kPadding = 64;

    int videoCode_ = 0;
    int pictureCounter_ = 0;
    media::VideoHeader header_;
    std::vector<uint8_t> padded_;  // the picture being decoded, zero padded
};

}  // namespace zo::codec
