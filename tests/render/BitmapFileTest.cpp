// Bitmap files: the offset of the bits for every kind of info header, the
// file header, 24-bit rows bottom-up with their padding, and files that
// cannot be written.
#include "render/BitmapFile.h"

#include <gtest/gtest.h>

#include <QImage>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace zo::render {
namespace {

BitmapInfoHeader Info(uint16_t bits, uint32_t compression, uint32_t colours = 0) {
    BitmapInfoHeader h;
    h.bitCount = bits;
    h.compression = compression;
    h.coloursUsed = colours;
    return h;
}

TEST(BitmapFile, OffsetOfTheBits) {
    EXPECT_EQ(BitmapBitsOffset(Info(24, kBitmapUncompressed)), 54u);
    EXPECT_EQ(BitmapBitsOffset(Info(32, kBitmapUncompressed)), 54u);
    EXPECT_EQ(BitmapBitsOffset(Info(8, kBitmapUncompressed)), 54u + 1024u);
    EXPECT_EQ(BitmapBitsOffset(Info(4, kBitmapRle4)), 54u + 64u);
    EXPECT_EQ(BitmapBitsOffset(Info(8, kBitmapRle8)), 54u + 1024u);
    EXPECT_EQ(BitmapBitsOffset(Info(1, kBitmapUncompressed)), 54u + 8u);
    EXPECT_EQ(BitmapBitsOffset(Info(8, kBitmapUncompressed, 16)), 54u + 64u);  // the count wins
    EXPECT_EQ(BitmapBitsOffset(Info(24, kBitmapUncompressed, 5)), 54u + 20u);
    EXPECT_EQ(BitmapBitsOffset(Info(16, kBitmapBitFields)), 54u + 12u);
    EXPECT_EQ(BitmapBitsOffset(Info(32, kBitmapBitFields, 2)), 54u + 12u + 8u);
    EXPECT_EQ(BitmapBitsOffset(Info(8, 4, 16)), 54u);  // another compression
}

TEST(BitmapFile, Dib24IsBottomUpWithPaddedRows) {
    // 3 x 2 pixels: rows of 9 bytes padded to 12.
    const uint32_t pixels[] = {0xFF010203, 0xFF040506, 0xFF070809,  // top row
                               0xFF0A0B0C, 0xFF0D0E0F, 0xFF101112};
    const auto dib = MakeDib24(pixels, 3, 2, 3);
    ASSERT_EQ(dib.size(), 40u + 24u);
    BitmapInfoHeader info;
    ASSERT_TRUE(ReadBitmapInfoHeader(dib, info));
    EXPECT_EQ(info.widthPx, 3);
    EXPECT_EQ(info.heightPx, 2);
    EXPECT_EQ(info.bitCount, 24);
    EXPECT_EQ(info.imageBytes, 24u);
    const std::vector<uint8_t> bits(dib.begin() + 40, dib.end());
    EXPECT_EQ(bits, (std::vector<uint8_t>{0x0C, 0x0B, 0x0A, 0x0F, 0x0E, 0x0D, 0x12, 0x11, 0x10, 0, 0, 0,  //
                                          0x03, 0x02, 0x01, 0x06, 0x05, 0x04, 0x09, 0x08, 0x07, 0, 0, 0}));
    const auto header = BitmapFileHeader(dib);
    EXPECT_EQ(header, (std::vector<uint8_t>{'B', 'M', 78, 0, 0, 0, 0, 0, 0, 0, 54, 0, 0, 0}));
}

TEST(BitmapFile, HeadersThatDoNotFitTheDataAreRefused) {
    EXPECT_TRUE(BitmapFileHeader(std::vector<uint8_t>(39, 0)).empty());
    // An 8-bit header promises a 1024-byte colour table the data lacks.
    std::vector<uint8_t> dib(40 + 16, 0);
    dib[0] = 40;
    dib[14] = 8;
    EXPECT_TRUE(BitmapFileHeader(dib).empty());
    EXPECT_EQ(WriteBitmapFile((std::filesystem::temp_directory_path() / "zo-bmp-refused.bmp").string(), dib), 0);
    EXPECT_FALSE(std::filesystem::exists(std::filesystem::temp_directory_path() / "zo-bmp-refused.bmp"));
}

TEST(BitmapFile, WrittenFileReadsBackAndReplacesALongerOne) {
    const auto path = (std::filesystem::temp_directory_path() / "zo-bmp-roundtrip.bmp").string();
    {
        std::ofstream stale(path, std::ios::binary);
        stale << std::string(5000, 'z');
    }
    QImage image(5, 3, QImage::Format_RGB32);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x)
            image.setPixel(x, y, qRgb(40 * x, 80 * y, 7 * x + y));
    const auto dib = MakeDib24(reinterpret_cast<const uint32_t*>(image.constBits()), 5, 3,
                               static_cast<int>(image.bytesPerLine() / 4));
    ASSERT_EQ(WriteBitmapFile(path, dib), 1);
    EXPECT_EQ(std::filesystem::file_size(path), 14u + dib.size());
    const QImage loaded(QString::fromStdString(path));
    EXPECT_EQ(loaded.convertToFormat(QImage::Format_RGB32), image);
    std::remove(path.c_str());
    EXPECT_EQ(WriteBitmapFile("/nonexistent-folder/a.bmp", dib), 0);
}

}  // namespace
}  // namespace zo::render
