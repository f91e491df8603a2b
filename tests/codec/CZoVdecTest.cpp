#include "codec/CZoVdec.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "codec/DctTables.h"
#include "codec/Idct.h"
#include "synth/BitWriter.h"
#include "synth/Scene.h"
#include "synth/VideoEncoder.h"

namespace zo::codec {
namespace {

using synth::BitWriter;

// Builds pictures bit by bit.
class PictureWriter {
public:
    PictureWriter(uint8_t startCode, const std::vector<uint8_t>& header) {
        bytes_ = {0, 0, 1, startCode};
        for (uint8_t byte : header)
            bytes_.push_back(byte);
    }
    BitWriter& Slice(int row) {
        FinishSlice();
        bits_ = std::make_unique<BitWriter>(slice_);
        bits_->Put(0x000001, 24);
        bits_->Put(static_cast<uint32_t>(row), 5);
        return *bits_;
    }
    std::vector<uint8_t> Finish() {
        FinishSlice();
        return bytes_;
    }

private:
    void FinishSlice() {
        if (!bits_)
            return;
        bits_->Align();
        bytes_.insert(bytes_.end(), slice_.begin(), slice_.end());
        slice_.clear();
        bits_.reset();
    }
    std::vector<uint8_t> bytes_;
    std::vector<uint8_t> slice_;
    std::unique_ptr<BitWriter> bits_;
};

void FlatBlock(BitWriter& b, int d) {
    b.Put(static_cast<uint32_t>(d), 8);
    b.Put(kEndOfBlockCode, kEndOfBlockLength);
}

// A key picture of `rows` slices whose every block is flat: luma `y`, chroma `c`.
std::vector<uint8_t> FlatKeyPicture(int rows, int y, int c, uint8_t headerByte = 0x46) {
    PictureWriter w(0xF9, {headerByte});
    for (int r = 0; r < rows; ++r) {
        BitWriter& b = w.Slice(r);
        for (int col = 0; col < 40; ++col) {
            for (int k = 0; k < 4; ++k)
                FlatBlock(b, y);
            FlatBlock(b, c);
            FlatBlock(b, c);
        }
    }
    return w.Finish();
}

struct Picture {
    explicit Picture(int height, uint8_t fill = 0x55) : height(height), bytes(DecodedPictureBytes(640, height), fill) {}
    uint8_t Y(int x, int y) const { return bytes[static_cast<size_t>(y) * 640 + x]; }
    uint8_t Cb(int x, int y) const { return bytes[640 * height + static_cast<size_t>(y) * 320 + x]; }
    uint8_t Cr(int x, int y) const { return bytes[640 * height * 5 / 4 + static_cast<size_t>(y) * 320 + x]; }
    int height;
    std::vector<uint8_t> bytes;
};

TEST(Vdec, FlatPicturesAndSizes) {
    CZoVdec dec;
    dec.Init(media::kVideoZOC);
    for (int rows : {14, 17}) {
        const auto frame = FlatKeyPicture(rows, 200, 90);
        ASSERT_EQ(dec.ParseHeader(frame.data(), frame.size()), static_cast<int>(frame.size()));
        EXPECT_EQ(dec.GetWidth(), 640u);
        EXPECT_EQ(dec.GetHeight(), rows == 14 ? 224u : 272u);
        EXPECT_EQ(dec.GetChannel(), 6);
        EXPECT_TRUE(dec.IsKey());
        Picture p(rows * 16);
        ASSERT_EQ(dec.DecodePicture(frame.data(), frame.size(), p.bytes.data()), 1);
        for (size_t i = 0; i < 640u * rows * 16; ++i)
            ASSERT_EQ(p.bytes[i], 200);
        for (size_t i = 640u * rows * 16; i < p.bytes.size(); ++i)
            ASSERT_EQ(p.bytes[i], 90);
    }
    for (int rows : {13, 15, 16}) {
        const auto frame = FlatKeyPicture(rows, 1, 1);
        EXPECT_EQ(dec.ParseHeader(frame.data(), frame.size()), 0) << rows;
    }
}

TEST(Vdec, HeaderRules) {
    CZoVdec dec;
    dec.Init(media::kVideoZOC);
    auto frame = FlatKeyPicture(14, 50, 128, 0xF1);  // quantiser 15
    EXPECT_EQ(dec.ParseHeader(frame.data(), frame.size()), 0);
    frame = FlatKeyPicture(14, 50, 128, 0x01);  // quantiser 0: parses, not decoded
    ASSERT_NE(dec.ParseHeader(frame.data(), frame.size()), 0);
    Picture p(224);
    EXPECT_EQ(dec.DecodePicture(frame.data(), frame.size(), p.bytes.data()), 0);
    EXPECT_EQ(p.bytes[0], 0x55);

    // Four-channel layout: channel field 5 is channel 0; key from bit 7 whatever the start code.
    dec.Init(media::kVideoZO4);
    frame = FlatKeyPicture(14, 50, 128, 0x8D);
    frame[3] = 0xF8;
    ASSERT_NE(dec.ParseHeader(frame.data(), frame.size()), 0);
    EXPECT_EQ(dec.GetChannel(), 0);
    EXPECT_TRUE(dec.IsKey());

    // A frame start code inside the data ends the scan, and ParseHeader says where.
    dec.Init(media::kVideoZOC);
    frame = FlatKeyPicture(14, 50, 128);
    const size_t length = frame.size();
    for (uint8_t byte : {0, 0, 1, 0xFA, 1, 2, 0, 0, 1, 0x08})
        frame.push_back(byte);
    EXPECT_EQ(dec.ParseHeader(frame.data(), frame.size()), static_cast<int>(length + 3));
    EXPECT_EQ(dec.Header().sliceCount, 14);
    EXPECT_EQ(dec.DecodePicture(frame.data(), frame.size(), p.bytes.data()), 1);
    EXPECT_EQ(p.Y(639, 223), 50);
}

TEST(Vdec, RowsInAnyOrderAndRowRange) {
    CZoVdec dec;
    dec.Init(media::kVideoZOC);
    PictureWriter w(0xF9, {0x40});
    for (int i = 0; i < 14; ++i) {
        const int row = (i * 5) % 14;  // 0, 5, 10, 1, 6, ...
        BitWriter& b = w.Slice(row);
        for (int col = 0; col < 40; ++col) {
            for (int k = 0; k < 4; ++k)
                FlatBlock(b, 10 + row);
            FlatBlock(b, 100);
            FlatBlock(b, 150);
        }
    }
    auto frame = w.Finish();
    ASSERT_NE(dec.ParseHeader(frame.data(), frame.size()), 0);
    Picture p(224);
    ASSERT_EQ(dec.DecodePicture(frame.data(), frame.size(), p.bytes.data()), 1);
    for (int row = 0; row < 14; ++row) {
        EXPECT_EQ(p.Y(0, 16 * row), 10 + row);
        EXPECT_EQ(p.Y(639, 16 * row + 15), 10 + row);
        EXPECT_EQ(p.Cb(5, 8 * row), 100);
        EXPECT_EQ(p.Cr(319, 8 * row + 7), 150);
    }

    // Row number 14 of a 224-line picture fails.
    PictureWriter bad(0xF9, {0x40});
    for (int i = 0; i < 14; ++i) {
        BitWriter& b = bad.Slice(i == 13 ? 14 : i);
        for (int col = 0; col < 40; ++col)
            for (int k = 0; k < 6; ++k)
                FlatBlock(b, 7);
    }
    frame = bad.Finish();
    ASSERT_NE(dec.ParseHeader(frame.data(), frame.size()), 0);
    EXPECT_EQ(dec.DecodePicture(frame.data(), frame.size(), p.bytes.data()), 0);
}

// An update picture of 14 slices; `row0` writes the macroblocks of row 0,
// every other row ends at once.
std::vector<uint8_t> UpdatePicture(const std::function<void(BitWriter&)>& row0) {
    PictureWriter w(0xF8, {0x40});
    row0(w.Slice(0));
    for (int r = 1; r < 14; ++r)
        w.Slice(r).Put(0, 6);
    return w.Finish();
}

TEST(Vdec, UpdatePictures) {
    CZoVdec dec;
    dec.Init(media::kVideoZOC);
    Picture p(224, 0x33);

    // Increment 3: macroblocks 0 and 1 skipped, 2 coded; then increment 0 ends the row.
    auto frame = UpdatePicture([](BitWriter& b) {
        b.Put(3, 6);
        b.Put(0xF, 4);
        for (int k = 0; k < 6; ++k)
            FlatBlock(b, 77);
        b.Put(0, 6);
    });
    ASSERT_NE(dec.ParseHeader(frame.data(), frame.size()), 0);
    EXPECT_FALSE(dec.IsKey());
    ASSERT_EQ(dec.DecodePicture(frame.data(), frame.size(), p.bytes.data()), 1);
    EXPECT_EQ(p.Y(0, 0), 0x33);
    EXPECT_EQ(p.Y(31, 15), 0x33);
    EXPECT_EQ(p.Y(32, 0), 77);
    EXPECT_EQ(p.Y(47, 15), 77);
    EXPECT_EQ(p.Y(48, 0), 0x33);
    EXPECT_EQ(p.Cb(16, 0), 77);
    EXPECT_EQ(p.Cb(15, 0), 0x33);
    EXPECT_EQ(p.Y(32, 16), 0x33) << "other rows keep their content";

    // Flags read 3, 2, 1, 0: 1000 codes only the bottom-right block; all-zero
    // flags still carry both chroma blocks.
    Picture q(224, 0x33);
    frame = UpdatePicture([](BitWriter& b) {
        b.Put(1, 6);
        b.Put(0x8, 4);
        FlatBlock(b, 10);  // block 3
        FlatBlock(b, 20);  // Cb
        FlatBlock(b, 30);  // Cr
        b.Put(1, 6);
        b.Put(0x0, 4);
        FlatBlock(b, 40);
        FlatBlock(b, 50);
        b.Put(0, 6);
    });
    ASSERT_NE(dec.ParseHeader(frame.data(), frame.size()), 0);
    ASSERT_EQ(dec.DecodePicture(frame.data(), frame.size(), q.bytes.data()), 1);
    EXPECT_EQ(q.Y(0, 0), 0x33);
    EXPECT_EQ(q.Y(8, 0), 0x33);
    EXPECT_EQ(q.Y(0, 8), 0x33);
    EXPECT_EQ(q.Y(8, 8), 10);
    EXPECT_EQ(q.Y(15, 15), 10);
    EXPECT_EQ(q.Cb(0, 0), 20);
    EXPECT_EQ(q.Cr(7, 7), 30);
    EXPECT_EQ(q.Y(16, 0), 0x33);
    EXPECT_EQ(q.Cb(8, 0), 40);
    EXPECT_EQ(q.Cr(15, 7), 50);

    // An increment past the end of the row fails without writing outside it.
    Picture r(224, 0x33);
    frame = UpdatePicture([](BitWriter& b) {
        b.Put(39, 6);  // column 38
        b.Put(0xF, 4);
        for (int k = 0; k < 6; ++k)
            FlatBlock(b, 99);
        b.Put(3, 6);  // column 41
        b.Put(0xF, 4);
        for (int k = 0; k < 6; ++k)
            FlatBlock(b, 98);
    });
    ASSERT_NE(dec.ParseHeader(frame.data(), frame.size()), 0);
    EXPECT_EQ(dec.DecodePicture(frame.data(), frame.size(), r.bytes.data()), 0);
    EXPECT_EQ(r.Y(38 * 16, 0), 99);
    for (size_t i = 0; i < r.bytes.size(); ++i)
        ASSERT_TRUE(r.bytes[i] == 0x33 || r.bytes[i] == 99) << i;
}

// A key picture whose block (row 0, column 0, block 0) carries `ac` after DC 128.
std::vector<uint8_t> OneCoefficientPicture(const std::function<void(BitWriter&)>& ac, uint8_t header = 0x40) {
    PictureWriter w(0xF9, {header});
    for (int r = 0; r < 14; ++r) {
        BitWriter& b = w.Slice(r);
        for (int col = 0; col < 40; ++col)
            for (int k = 0; k < 6; ++k) {
                b.Put(128, 8);
                if (r == 0 && col == 0 && k == 0)
                    ac(b);
                b.Put(kEndOfBlockCode, kEndOfBlockLength);
            }
    }
    return w.Finish();
}

// What the first block must hold for coefficient value v at natural index k.
std::vector<uint8_t> ExpectedBlock(int k, int v) {
    int16_t c[64] = {};
    c[0] = 8 * 128;
    c[k] = static_cast<int16_t>(v);
    std::vector<uint8_t> out(64);
    IdctPutScalar(c, out.data(), 8);
    return out;
}

void ExpectFirstBlock(const Picture& p, const std::vector<uint8_t>& want) {
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            ASSERT_EQ(p.Y(x, y), want[8 * y + x]) << x << "," << y;
}

TEST(Vdec, CoefficientsEscapesAndSaturation) {
    CZoVdec dec;
    dec.Init(media::kVideoZOC);
    Picture p(224);
    // Table code 0100 (run 0, level 2) then sign 1: coefficient 1 = -(2 x 16 x 4) >> 2 = -32.
    auto frame = OneCoefficientPicture([](BitWriter& b) {
        b.Put(0x4, 4);
        b.Put(1, 1);
    });
    ASSERT_NE(dec.ParseHeader(frame.data(), frame.size()), 0);
    ASSERT_EQ(dec.DecodePicture(frame.data(), frame.size(), p.bytes.data()), 1);
    ExpectFirstBlock(p, ExpectedBlock(1, -32));
    EXPECT_EQ(p.Y(8, 0), 128);

    // Escape: run 1, level byte 0 then 200: +200 at zigzag position 2 (natural 8).
    frame = OneCoefficientPicture([](BitWriter& b) {
        b.Put(kEscapeCode, kEscapeLength);
        b.Put(1, 6);
        b.Put(0, 8);
        b.Put(200, 8);
    });
    ASSERT_NE(dec.ParseHeader(frame.data(), frame.size()), 0);
    ASSERT_EQ(dec.DecodePicture(frame.data(), frame.size(), p.bytes.data()), 1);
    // 200 x 16 x 4 >> 2 = 3200, saturated to 2047.
    ExpectFirstBlock(p, ExpectedBlock(8, 2047));

    // Escape 128 then 56: -200; at quantiser 1: 200 x 16 x 1 >> 2 = 800.
    frame = OneCoefficientPicture(
        [](BitWriter& b) {
            b.Put(kEscapeCode, kEscapeLength);
            b.Put(1, 6);
            b.Put(128, 8);
            b.Put(56, 8);
        },
        0x10);
    ASSERT_NE(dec.ParseHeader(frame.data(), frame.size()), 0);
    ASSERT_EQ(dec.DecodePicture(frame.data(), frame.size(), p.bytes.data()), 1);
    ExpectFirstBlock(p, ExpectedBlock(8, -800));

    // Negative saturation: -255 x 83 x 14 >> 2 exceeds 2048: -2048 at natural 63.
    frame = OneCoefficientPicture(
        [](BitWriter& b) {
            b.Put(kEscapeCode, kEscapeLength);
            b.Put(62, 6);
            b.Put(1, 8);  // level 1 at position 63
            b.Put(kEscapeCode, kEscapeLength);
            b.Put(0, 6);
            b.Put(129, 8);  // level -127 at position 64: beyond the block
        },
        0xE0);
    ASSERT_NE(dec.ParseHeader(frame.data(), frame.size()), 0);
    EXPECT_EQ(dec.DecodePicture(frame.data(), frame.size(), p.bytes.data()), 0);
    frame = OneCoefficientPicture(
        [](BitWriter& b) {
            b.Put(kEscapeCode, kEscapeLength);
            b.Put(62, 6);
            b.Put(128, 8);
            b.Put(1, 8);  // -255
        },
        0xE0);
    ASSERT_NE(dec.ParseHeader(frame.data(), frame.size()), 0);
    ASSERT_EQ(dec.DecodePicture(frame.data(), frame.size(), p.bytes.data()), 1);
    ExpectFirstBlock(p, ExpectedBlock(63, -2048));

    // Twelve leading zeros: no such code.
    frame = OneCoefficientPicture([](BitWriter& b) { b.Put(0x000F, 16); });
    ASSERT_NE(dec.ParseHeader(frame.data(), frame.size()), 0);
    EXPECT_EQ(dec.DecodePicture(frame.data(), frame.size(), p.bytes.data()), 0);
}

TEST(Vdec, DataBounds) {
    CZoVdec dec;
    dec.Init(media::kVideoZOC);
    Picture p(224);
    const auto full = FlatKeyPicture(14, 60, 128);
    // Ends flush with the data: decodes (the last look-ahead runs past the end).
    ASSERT_NE(dec.ParseHeader(full.data(), full.size()), 0);
    EXPECT_EQ(dec.DecodePicture(full.data(), full.size(), p.bytes.data()), 1);
    // Cut anywhere in the last slice: fails, never reads past the length.
    const size_t lastSlice = dec.Header().sliceOffsets[13];
    for (size_t cut = lastSlice + 4; cut < full.size(); cut += 7) {
        std::vector<uint8_t> shorter(full.begin(), full.begin() + static_cast<long>(cut));
        shorter.shrink_to_fit();
        ASSERT_NE(dec.ParseHeader(shorter.data(), shorter.size()), 0);
        EXPECT_EQ(dec.DecodePicture(shorter.data(), shorter.size(), p.bytes.data()), 0) << cut;
    }
}

double Psnr(const uint8_t* a, const uint8_t* b, size_t n) {
    double sum = 0;
    for (size_t i = 0; i < n; ++i)
        sum += (a[i] - b[i]) * (a[i] - b[i]);
    return sum == 0 ? 99.0 : 10 * std::log10(255.0 * 255.0 * static_cast<double>(n) / sum);
}

TEST(Vdec, EncoderRoundTrip) {
    for (int code = 0; code < media::kVideoCodeCount; ++code) {
        for (int height : {224, 272}) {
            synth::VideoEncoder enc;
            CZoVdec dec;
            dec.Init(code);
            Picture source(height, 0), decoded(height, 0);
            std::memset(decoded.bytes.data() + 640 * height, 128, 640 * height / 2);
            for (int n = 0; n < 4; ++n) {
                synth::RenderScene(source.bytes.data(), height, 2, static_cast<uint64_t>(n), 1237034096 + n);
                synth::PictureHeader h;
                h.videoCode = code;
                h.channel = code == media::kVideoZON ? 0 : 2;
                h.quantiser = 2;
                h.pictureCounter = n * 3;
                std::vector<uint8_t> frame;
                ASSERT_TRUE(enc.Encode(source.bytes.data(), height, n == 0, h, frame)) << code;
                ASSERT_NE(dec.ParseHeader(frame.data(), frame.size()), 0) << code;
                EXPECT_EQ(dec.IsKey(), n == 0);
                EXPECT_EQ(static_cast<int>(dec.GetHeight()), height);
                ASSERT_EQ(dec.DecodePicture(frame.data(), frame.size(), decoded.bytes.data()), 1);
                EXPECT_EQ(0, std::memcmp(decoded.bytes.data(), enc.Decoded(h.channel), decoded.bytes.size()));
                EXPECT_GT(Psnr(source.bytes.data(), decoded.bytes.data(), decoded.bytes.size()), 30.0) << code;
            }
        }
    }
}

TEST(Vdec, FlatBlocksRoundTripExactly) {
    synth::VideoEncoder enc;
    Picture source(224, 0);
    for (size_t i = 0; i < source.bytes.size(); ++i)
        source.bytes[i] = static_cast<uint8_t>(16 + (i / 8 % 80) * 2);  // flat 8-wide runs
    // Every 8x8 block flat: blocks of one value.
    for (int y = 0; y < 224; ++y)
        for (int x = 0; x < 640; ++x)
            source.bytes[static_cast<size_t>(y) * 640 + x] = static_cast<uint8_t>(16 + ((x / 8) * 3 + (y / 8) * 7) % 220);
    synth::PictureHeader h;
    std::vector<uint8_t> frame;
    ASSERT_TRUE(enc.Encode(source.bytes.data(), 224, true, h, frame));
    CZoVdec dec;
    dec.Init(6);
    Picture out(224);
    ASSERT_NE(dec.ParseHeader(frame.data(), frame.size()), 0);
    ASSERT_EQ(dec.DecodePicture(frame.data(), frame.size(), out.bytes.data()), 1);
    EXPECT_EQ(0, std::memcmp(out.bytes.data(), source.bytes.data(), 640 * 224));
}

}  // namespace
}  // namespace zo::codec
