#include "codec/CZoVdec.h"

#include <cstring>

#include "codec/DctTables.h"
#include "codec/Idct.h"

namespace zo::codec {
namespace {

// Reads bits most significant first from [data, data + length). Look-aheads
// past the end see zero bits; consuming a bit past the end is an error,
// reported by Consume returning false.
class BitReader {
public:
    BitReader(const uint8_t* data, size_t length, size_t offset) : data_(data), length_(length), next_(offset) {
        Refill();
    }

    // The next n bits (1..32) without consuming them.
    uint32_t Peek(int n) {
        if (bits_ < n)
            Refill();
        return static_cast<uint32_t>(cache_ >> (64 - n));
    }

    bool Consume(int n) {
        if (bits_ < n) {
            Refill();
            if (bits_ < n)
                return false;  // past the end of the data
        }
        cache_ <<= n;
        bits_ -= n;
        return true;
    }

    // Reads n bits (1..32) into value; false past the end.
    bool Read(int n, uint32_t& value) {
        value = Peek(n);
        return Consume(n);
    }

    void AlignToByte() {
        const int drop = bits_ & 7;
        cache_ <<= drop;
        bits_ -= drop;
    }

private:
    void Refill() {
        if (next_ + 8 <= length_ && bits_ <= 32) {
            uint32_t word;
            std::memcpy(&word, data_ + next_, 4);
            cache_ |= static_cast<uint64_t>(__builtin_bswap32(word)) << (32 - bits_);
            bits_ += 32;
            next_ += 4;
            return;
        }
        while (bits_ <= 56 && next_ < length_) {
            cache_ |= static_cast<uint64_t>(data_[next_]) << (56 - bits_);
            bits_ += 8;
            ++next_;
        }
    }

    const uint8_t* data_;
    size_t length_;
    size_t next_;          // next byte to load
    uint64_t cache_ = 0;   // bits_ valid bits at the top, zeros below
    int bits_ = 0;
};

// Decodes one block's coefficients; false on an invalid code, a position
// beyond 63 or data running out. `last` receives the highest natural index
// written (0 for a block with only its DC term).
bool DecodeBlock(BitReader& bits, int quantiser, int16_t* block, int& last) {
    uint32_t dc = 0;
    if (!bits.Read(8, dc))
        return false;
    block[0] = static_cast<int16_t>(8 * dc);
    last = 0;
    int i = 1;
    for (;;) {
        const CoefficientEntry e = LookupCoefficient(bits.Peek(16));
        if (e.length == 0 || !bits.Consume(e.length))
            return false;
        if (e.kind == kEndOfBlock)
            return true;
        int run = 0;
        int level = 0;
        if (e.kind == kEscape) {
            uint32_t r = 0, first = 0;
            if (!bits.Read(6, r) || !bits.Read(8, first))
                return false;
            run = static_cast<int>(r);
            if (first == 0 || first == 128) {
                uint32_t second = 0;
                if (!bits.Read(8, second))
                    return false;
                level = first == 0 ? static_cast<int>(second) : static_cast<int>(second) - 256;
            } else {
                level = first > 128 ? static_cast<int>(first) - 256 : static_cast<int>(first);
            }
        } else {
            uint32_t sign = 0;
            if (!bits.Read(1, sign))
                return false;
            run = e.run;
            level = sign ? -e.level : e.level;
        }
        i += run;
        if (i >= 64)
            return false;
        const int k = kZigzag[i];
        const bool negative = level < 0;
        const int magnitude = negative ? -level : level;
        const int value = (magnitude * kIntraMatrix[k] * quantiser) >> 2;
        block[k] = static_cast<int16_t>(negative ? (value > 2048 ? -2048 : -value) : (value > 2047 ? 2047 : value));
        if (k > last)
            last = k;
        ++i;
    }
}

// Writes a block whose only coefficient is its DC term: the transform of
// 8 x d is the flat value d.
inline void PutFlat(uint8_t* dst, int stride, int value) {
    for (int y = 0; y < 8; ++y)
        std::memset(dst + y * stride, value, 8);
}

}  // namespace

int CZoVdec::Init(int videoCode) {
    videoCode_ = videoCode;
    header_ = media::VideoHeader{};
    pictureCounter_ = 0;
    return 1;
}

int CZoVdec::ParseHeader(const uint8_t* data, size_t length) {
    if (!data)
        return 0;
    const bool ok = media::ParseVideoHeader(data, length, videoCode_, header_);
    if (header_.pictureCounter >= 0)
        pictureCounter_ = header_.pictureCounter;
    if (!ok) {
        // Leave no size behind for a picture that must not be decoded.
        header_.width = 0;
        header_.height = 0;
        return 0;
    }
    return static_cast<int>(header_.scanEnd);
}

int CZoVdec::DecodePicture(const uint8_t* data, size_t length, uint8_t* picture) {
    if (!data || !picture || length < 5 || header_.quantiser == 0 || header_.width == 0 || header_.height == 0)
        return 0;
    const int width = header_.width;
    const int height = header_.height;
    const int columns = width / 16;
    const int rows = height / 16;
    const int quantiser = header_.quantiser;
    const bool key = header_.key;
    uint8_t* const lumaPlane = picture;
    uint8_t* const cbPlane = picture + static_cast<size_t>(width) * height;
    uint8_t* const crPlane = cbPlane + static_cast<size_t>(width) * height / 4;
    const int chromaStride = width / 2;
    const IdctPutFn put = IdctPut();
    alignas(16) int16_t block[64];

    const int slices = header_.sliceCount < media::kMaxSliceCodes ? header_.sliceCount : media::kMaxSliceCodes;
    for (int s = 0; s < slices; ++s) {
        const size_t offset = header_.sliceOffsets[s];
        if (offset >= length)
            return 0;
        BitReader bits(data, length, offset);
        uint32_t prefix = 0, row = 0;
        if (!bits.Read(24, prefix) || prefix != 0x000001)
            return 0;
        if (!bits.Read(5, row) || static_cast<int>(row) >= rows)
            return 0;
        int column = 0;
        while (column < columns) {
            unsigned coded = 0xF;
            if (!key) {
                const uint32_t increment = bits.Peek(6);
                if (increment == 0) {
                    bits.AlignToByte();
                    break;  // the rest of the row keeps its content
                }
                if (!bits.Consume(6))
                    return 0;
                column += static_cast<int>(increment) - 1;
                if (column >= columns)
                    return 0;  // would write outside the row
                uint32_t flags = 0;
                if (!bits.Read(4, flags))
                    return 0;
                // Read in the order 3, 2, 1, 0: the first bit is block 3, so
                // bit k of the value is block k's flag.
                coded = flags;
            }
            for (int k = 0; k < 6; ++k) {
                uint8_t* dst = nullptr;
                int stride = 0;
                if (k < 4) {
                    if (!(coded & (1u << k)))
                        continue;
                    dst = lumaPlane + static_cast<size_t>(16 * row + 8 * (k >> 1)) * width + 16 * column + 8 * (k & 1);
                    stride = width;
                } else {
                    dst = (k == 4 ? cbPlane : crPlane) + static_cast<size_t>(8 * row) * chromaStride + 8 * column;
                    stride = chromaStride;
                }
                std::memset(block, 0, sizeof block);
                int last = 0;
                if (!DecodeBlock(bits, quantiser, block, last))
                    return 0;
                if (last == 0)
                    PutFlat(dst, stride, block[0] / 8);
                else
                    put(block, dst, stride);
            }
            ++column;
        }
    }
    return 1;
}

}  // namespace zo::codec
