// Header parse and decode of arbitrary pictures into exactly sized picture
// buffers, under every video code.
//
// Input: [video code][picture bytes]. The first byte modulo 8 is the code
// (7 is no code and must be refused).
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "codec/CZoVdec.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1)
        return 0;
    const int code = data[0] % 8;
    const uint8_t* frame = data + 1;
    const size_t length = size - 1;
    static zo::codec::CZoVdec decoder;
    // Exactly the picture's bytes, so a write past the end is caught.
    static std::vector<uint8_t> small(zo::codec::DecodedPictureBytes(640, 224));
    static std::vector<uint8_t> large(zo::codec::DecodedPictureBytes(640, 272));
    decoder.Init(code);
    if (decoder.ParseHeader(frame, length) == 0)
        return 0;
    const uint32_t height = decoder.GetHeight();
    if (decoder.GetWidth() != 640 || (height != 224 && height != 272))
        __builtin_trap();
    std::vector<uint8_t>& picture = height == 224 ? small : large;
    // A copy of exactly the frame's length, so a read past it is caught too.
    std::vector<uint8_t> exact(frame, frame + length);
    decoder.DecodePicture(exact.data(), exact.size(), picture.data());
    if (decoder.IsDual() && code != 5)
        __builtin_trap();
    return 0;
}
