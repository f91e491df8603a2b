#include "codec/CZoVdec.h"

#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "codec/DctTables.h"
#include "codec/Idct.h"

namespace zo::codec {
namespace {

// Reads bits most significant first from a copy of the picture followed by
// zero padding: the bit cache refills four bytes at a time without bounds
// checks, and look-aheads past the end see zero bits. Whether a consumed bit
// lay past the end is asked with Within() wherever a result is accepted (end
// of a block, slice header); until then stray bits only reach the block
// being decoded, which is then refused.
class BitReader {
public:
    BitReader(const uint8_t* padded, size_t length, size_t offset)
        : begin_(padded), next_(padded + offset), limit_(uint64_t{length} * 8) {
        Refill();
    }

    // Makes at least 32 bits available. Branch-free: the next four bytes are
    // always loaded (the padding makes that safe) and kept only when needed.
    void Refill() {
        uint32_t word;
        std::memcpy(&word, next_, 4);
        const bool need = bits_ <= 32;
        const uint64_t shifted = static_cast<uint64_t>(__builtin_bswap32(word)) << ((32 - bits_) & 63);
        cache_ |= need ? shifted : 0;
        next_ += need ? 4 : 0;
        bits_ += need ? 32 : 0;
    }
    // The next n bits (1..32); Refill first.
    uint32_t Peek(int n) const { return static_cast<uint32_t>(cache_ >> (64 - n)); }
    void Skip(int n) {
        cache_ <<= n;
        bits_ -= n;
    }
    uint32_t Get(int n) {
        Refill();
        const uint32_t v = Peek(n);
        Skip(n);
        return v;
    }
    void AlignToByte() { Skip(bits_ & 7); }
    // No bit consumed so far lay past the end of the data.
    bool Within() const { return static_cast<uint64_t>(next_ - begin_) * 8 - static_cast<uint64_t>(bits_) <= limit_; }

private:
    const uint8_t* begin_;
    const uint8_t* next_;  // next byte to load into the cache
    uint64_t limit_;       // data length in bits
    uint64_t cache_ = 0;   // bits_ valid bits at the top, zeros below
    int bits_ = 0;
};

// Decodes one block's coefficients; false on an invalid code, a position
// beyond 63 or data running out. `last` is 0 exactly when only the DC term
// was written.
bool DecodeBlock(BitReader& bits, const SignedTables& table, const uint16_t* scale, int16_t* block, int& last) {
    block[0] = static_cast<int16_t>(8 * bits.Get(8));
    last = 0;
    int i = 1;
    for (;;) {
        bits.Refill();
        const SignedEntry& e = LookupSigned(table, bits.Peek(17));
        if (e.length == 0)
            return false;
        bits.Skip(e.length);
        int run = e.run;
        int level = e.level;
        if (e.kind != kCoefficient) {
            if (e.kind == kEndOfBlock)
                return bits.Within();
            run = static_cast<int>(bits.Get(6));
            const int first = static_cast<int>(bits.Get(8));
            if (first == 0)
                level = static_cast<int>(bits.Get(8));
            else if (first == 128)
                level = static_cast<int>(bits.Get(8)) - 256;
            else
                level = first > 128 ? first - 256 : first;
        }
        i += run;
        if (i >= 64)
            return false;
        const int k = kZigzag[i];
        const bool negative = level < 0;
        const int magnitude = negative ? -level : level;
        // scale[k] = W[k] x quantiser
        const int value = (magnitude * scale[k]) >> 2;
        // Saturation: 2047 at most, -2048 at least.
        const int positive = value < 2047 ? value : 2047;
        const int negated = value < 2048 ? -value : -2048;
        block[k] = static_cast<int16_t>(negative ? negated : positive);
        last |= k;
        ++i;
    }
}

// Clears the 64 coefficients of a block (32-byte aligned). Explicit
// 16-byte stores: a plain memset of this size becomes a string store, whose
// start-up cost dominated the decoding of key pictures.
inline void ClearBlock(int16_t* block) {
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    for (int i = 0; i < 64; i += 8)
        _mm_store_si128(reinterpret_cast<__m128i*>(block + i), zero);
#else
    std::memset(block, 0, 64 * sizeof(int16_t));
#endif
}

// Writes a block whose only coefficient is its DC term: the transform of
// 8 x d is the flat value d.
inline void PutFlat(uint8_t* dst, int stride, int value) {
    for (int y = 0; y < 8; ++y)
        std::memset(dst + y * stride, value, 8);
}

// Transforms and stores the decoded blocks: four at a time, then pairs.
struct Transforms {
    IdctPutFn put;
    IdctPut2Fn put2;
    IdctPut4Fn put4;
};

void StorePending(const Transforms& t, int16_t (*blocks)[64], uint8_t* const* targets, const int* strides,
                  int count) {
    const IdctPutFn put = t.put;
    const IdctPut2Fn put2 = t.put2;
    int i = 0;
    if (count >= 4) {
        t.put4(blocks, targets, strides);
        i = 4;
    }
    for (; i + 1 < count; i += 2)
        put2(blocks[i], targets[i], strides[i], blocks[i + 1], targets[i + 1], strides[i + 1]);
    if (i < count)
        put(blocks[i], targets[i], strides[i]);
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
    if (length > media::kMaxFrameSize)
        return 0;
    // A copy with zero padding: the bit reader's look-aheads never leave it.
    std::memcpy(padded_.data(), data, length);
    std::memset(padded_.data() + length, 0, kPadding);
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
    const Transforms transforms{IdctPut(), IdctPut2(), IdctPut4()};
    const SignedTables& table = CoefficientTables();
    uint16_t scale[64];
    for (int k = 0; k < 64; ++k)
        scale[k] = static_cast<uint16_t>(kIntraMatrix[k] * quantiser);
    alignas(32) int16_t blocks[6][64];
    uint8_t* targets[6] = {};
    int strides[6] = {};

    const int slices = header_.sliceCount < media::kMaxSliceCodes ? header_.sliceCount : media::kMaxSliceCodes;
    for (int s = 0; s < slices; ++s) {
        const size_t offset = header_.sliceOffsets[s];
        if (offset >= length)
            return 0;
        BitReader bits(padded_.data(), length, offset);
        const uint32_t prefix = bits.Get(24);
        const int row = static_cast<int>(bits.Get(5));
        if (prefix != 0x000001 || row >= rows || !bits.Within())
            return 0;
        int column = 0;
        while (column < columns) {
            unsigned coded = 0xF;
            if (!key) {
                bits.Refill();
                const uint32_t increment = bits.Peek(6);
                if (increment == 0) {
                    bits.AlignToByte();
                    break;  // the rest of the row keeps its content
                }
                bits.Skip(6);
                column += static_cast<int>(increment) - 1;
                if (column >= columns)
                    return 0;  // would write outside the row
                // Read in the order 3, 2, 1, 0: the first bit is block 3, so
                // bit k of the value is block k's flag.
                coded = bits.Get(4);
                if (!bits.Within())
                    return 0;
            }
            // Blocks are decoded first and transformed two at a time; on a
            // failure those decoded before it are still stored.
            int pending = 0;
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
                int16_t* block = blocks[pending];
                ClearBlock(block);
                int last = 0;
                if (!DecodeBlock(bits, table, scale, block, last)) {
                    StorePending(transforms, blocks, targets, strides, pending);
                    return 0;
                }
                if (last == 0) {
                    PutFlat(dst, stride, block[0] / 8);
                    continue;
                }
                targets[pending] = dst;
                strides[pending] = stride;
                ++pending;
            }
            StorePending(transforms, blocks, targets, strides, pending);
            ++column;
        }
    }
    return 1;
}

}  // namespace zo::codec
