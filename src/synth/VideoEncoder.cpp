#include "synth/VideoEncoder.h"

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <numbers>

#include "codec/DctTables.h"
#include "synth/BitWriter.h"

namespace zo::synth {
namespace {

struct CosTable {
    double c[8][8];  // c[u][x] = a(u) cos((2x+1) u pi / 16)
    CosTable() {
        for (int u = 0; u < 8; ++u)
            for (int x = 0; x < 8; ++x)
                c[u][x] = (u == 0 ? std::sqrt(0.125) : 0.5) * std::cos((2 * x + 1) * u * std::numbers::pi / 16.0);
    }
};

const CosTable& Cos() {
    static const CosTable table;
    return table;
}

// Code of (run, level) in the table, or nullptr if it must be escaped.
const codec::RunLevelCode* FindCode(int run, int level) {
    static const codec::RunLevelCode* index[32][41] = {};
    static const bool built = [] {
        for (const codec::RunLevelCode& c : codec::kRunLevelCodes)
            index[c.run][c.level] = &c;
        return true;
    }();
    (void)built;
    if (run < 0 || run > 31 || level < 1 || level > 40)
        return nullptr;
    return index[run][level];
}

// One block: DC byte, run/level codes in zigzag order, end of block.
void EncodeBlock(BitWriter& bits, const uint8_t* samples, int stride, int quantiser) {
    double f[64];
    ForwardDct(samples, stride, f);
    // DC: the flat value; never 0, so the DC byte cannot join a run of zero
    // bits long enough to look like a start code.
    int dc = static_cast<int>(std::lround(f[0] / 8.0));
    dc = dc < 1 ? 1 : (dc > 255 ? 255 : dc);
    bits.Put(static_cast<uint32_t>(dc), 8);
    int run = 0;
    for (int i = 1; i < 64; ++i) {
        const int k = codec::kZigzag[i];
        // The decoder multiplies the level by W x q / 4.
        const double step = codec::kIntraMatrix[k] * quantiser / 4.0;
        int level = static_cast<int>(std::lround(f[k] / step));
        if (level > 255)
            level = 255;
        if (level < -255)
            level = -255;
        if (level == 0) {
            ++run;
            continue;
        }
        const int magnitude = std::abs(level);
        if (const codec::RunLevelCode* code = FindCode(run, magnitude)) {
            bits.Put(code->code, code->length);
            bits.Put(level < 0 ? 1 : 0, 1);
        } else {
            bits.Put(codec::kEscapeCode, codec::kEscapeLength);
            bits.Put(static_cast<uint32_t>(run), 6);
            if (level >= 1 && level <= 127) {
                bits.Put(static_cast<uint32_t>(level), 8);
            } else if (level >= 128) {
                bits.Put(0, 8);
                bits.Put(static_cast<uint32_t>(level), 8);
            } else if (level >= -127) {
                bits.Put(static_cast<uint32_t>(level + 256), 8);
            } else {
                bits.Put(128, 8);
                bits.Put(static_cast<uint32_t>(level + 256), 8);
            }
        }
        run = 0;
    }
    bits.Put(codec::kEndOfBlockCode, codec::kEndOfBlockLength);
}

int BlockDifference(const uint8_t* a, const uint8_t* b, int stride) {
    int sum = 0;
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            sum += std::abs(a[y * stride + x] - b[y * stride + x]);
    return sum;
}

}  // namespace

void ForwardDct(const uint8_t* samples, int stride, double* out) {
    const CosTable& t = Cos();
    double rows[8][8];  // rows[y][u]
    for (int y = 0; y < 8; ++y)
        for (int u = 0; u < 8; ++u) {
            double s = 0;
            for (int x = 0; x < 8; ++x)
                s += t.c[u][x] * samples[y * stride + x];
            rows[y][u] = s;
        }
    for (int v = 0; v < 8; ++v)
        for (int u = 0; u < 8; ++u) {
            double s = 0;
            for (int y = 0; y < 8; ++y)
                s += t.c[v][y] * rows[y][u];
            out[8 * v + u] = s;
        }
}

VideoEncoder::VideoEncoder() {
    for (auto& picture : decoded_) {
        picture.assign(codec::kMaxDecodedPictureBytes, 0);
        std::memset(picture.data() + 640 * 272, 128, picture.size() - 640 * 272);
    }
}

bool VideoEncoder::Encode(const uint8_t* picture, int height, bool key, const PictureHeader& h,
                          std::vector<uint8_t>& out, int threshold) {
    if (!picture || (height != 224 && height != 272) || h.quantiser < 1 || h.quantiser > 14 || h.videoCode < 0 ||
        h.videoCode > 6)
        return false;
    const int width = 640;
    const int channel = h.channel & 15;
    std::vector<uint8_t>& state = decoded_[channel];
    if (decodedHeight_[channel] != height) {
        // A new size: the decoder's buffer holds nothing of this picture yet.
        std::memset(state.data(), 0, static_cast<size_t>(width) * height);
        std::memset(state.data() + width * height, 128, static_cast<size_t>(width) * height / 2);
        decodedHeight_[channel] = height;
        key = true;
    }
    const size_t start = out.size();
    out.push_back(0x00);
    out.push_back(0x00);
    out.push_back(0x01);
    out.push_back(key ? 0xF9 : 0xF8);
    const int q = h.quantiser;
    switch (h.videoCode) {
    case media::kVideoZO4:
        out.push_back(static_cast<uint8_t>((key ? 0x80 : 0) | (q << 3) | (channel & 3)));
        break;
    case media::kVideoZON:
        out.push_back(static_cast<uint8_t>((key ? 0x80 : 0) | (q << 3)));
        out.push_back(static_cast<uint8_t>(h.pictureCounter >> 8));
        out.push_back(static_cast<uint8_t>(h.pictureCounter));
        break;
    default:
        out.push_back(static_cast<uint8_t>((q << 4) | channel));
        break;
    }
    if (h.videoCode == media::kVideoZOT3)
        out.push_back(h.dual ? static_cast<uint8_t>(0x80 | ((h.dualChannel & 15) << 3) | (h.hideLeft ? 4 : 0) |
                                                    (h.hideRight ? 2 : 0))
                             : 0);

    const uint8_t* srcY = picture;
    const uint8_t* srcCb = picture + width * height;
    const uint8_t* srcCr = srcCb + width * height / 4;
    const uint8_t* refY = state.data();
    const uint8_t* refCb = refY + width * height;
    const uint8_t* refCr = refCb + width * height / 4;
    const int cw = width / 2;

    std::vector<uint8_t> body;
    BitWriter bits(body);
    for (int row = 0; row < height / 16; ++row) {
        bits.Align();
        bits.Put(0x000001, 24);
        bits.Put(static_cast<uint32_t>(row), 5);
        int next = 0;  // the decoder's column
        for (int column = 0; column < width / 16; ++column) {
            unsigned coded = 0xF;
            if (!key) {
                coded = 0;
                for (int k = 0; k < 4; ++k) {
                    const size_t at = static_cast<size_t>(16 * row + 8 * (k >> 1)) * width + 16 * column + 8 * (k & 1);
                    if (BlockDifference(srcY + at, refY + at, width) > threshold)
                        coded |= 1u << k;
                }
                const size_t c = static_cast<size_t>(8 * row) * cw + 8 * column;
                const bool chroma = BlockDifference(srcCb + c, refCb + c, cw) > threshold ||
                                    BlockDifference(srcCr + c, refCr + c, cw) > threshold;
                if (coded == 0 && !chroma)
                    continue;  // skipped: keeps what the decoder holds
                bits.Put(static_cast<uint32_t>(column - next + 1), 6);
                bits.Put(coded, 4);  // bit k is block k: blocks 3, 2, 1, 0 in reading order
            }
            for (int k = 0; k < 4; ++k)
                if (coded & (1u << k))
                    EncodeBlock(bits, srcY + static_cast<size_t>(16 * row + 8 * (k >> 1)) * width + 16 * column + 8 * (k & 1),
                                width, q);
            const size_t c = static_cast<size_t>(8 * row) * cw + 8 * column;
            EncodeBlock(bits, srcCb + c, cw, q);
            EncodeBlock(bits, srcCr + c, cw, q);
            next = column + 1;
        }
        if (!key && next < width / 16)
            bits.Put(0, 6);  // increment 0: the rest of the row is skipped
    }
    bits.Align();
    out.insert(out.end(), body.begin(), body.end());

    // Keep the decoder's view of this channel.
    decoder_.Init(h.videoCode);
    const uint8_t* frame = out.data() + start;
    const size_t length = out.size() - start;
    if (decoder_.ParseHeader(frame, length) == 0 || decoder_.DecodePicture(frame, length, state.data()) == 0)
        return false;
    return true;
}

}  // namespace zo::synth
