// Encoder for the recorder's picture format, so the project can make its own
// recordings: forward DCT, quantisation matched to the decoder's
// dequantisation, the same run/level codes with escapes, key pictures and
// update pictures (skipped macroblocks, per-block coded flags), every header
// layout (codes 0 to 6, code-5 dual pictures, code-2 picture counters),
// 14- and 17-slice pictures.
//
// The encoder keeps, per channel, the picture a decoder holds after its
// output (it decodes what it wrote), and codes in an update picture only
// the macroblocks and luma blocks that differ from it.
#pragma once

#include <cstdint>
#include <vector>

#include "codec/CZoVdec.h"

namespace zo::synth {

struct PictureHeader {
    int videoCode = 6;
    int channel = 0;
    int quantiser = 4;       // 1..14
    int pictureCounter = 0;  // code 2
    bool dual = false;       // code 5
    int dualChannel = 0;
    bool hideLeft = false;
    bool hideRight = false;
};

class VideoEncoder {
public:
    VideoEncoder();

    // Encodes `picture` (planar 4:2:0, 640 x height, height 224 or 272) and
    // appends the frame, start code included, to `out`. A key picture codes
    // everything; an update picture codes what differs from the channel's
    // decoded state by more than `threshold` (sum of absolute differences of
    // an 8x8 block). Returns false only for a bad argument.
    bool Encode(const uint8_t* picture, int height, bool key, const PictureHeader& header, std::vector<uint8_t>& out,
                int threshold = 64);

    // The picture a decoder holds for `channel` after the frames written so
    // far (black before the first).
    const uint8_t* Decoded(int channel) const { return decoded_[channel & 15].data(); }

private:
    codec::CZoVdec decoder_;
    std::vector<uint8_t> decoded_[16];
    int decodedHeight_[16] = {};
};

// Forward DCT of 8x8 samples into the coefficients the decoder's inverse
// transform expects (orthonormal scaling: a flat block of value v has DC 8v).
void ForwardDct(const uint8_t* samples, int stride, double* coefficients);

}  // namespace zo::synth
