#include "render/BitmapFile.h"

#include <cstdio>

namespace zo::render {

namespace {

uint32_t Le32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}
uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
void Put16(std::vector<uint8_t>& out, uint16_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}
void Put32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

}  // namespace

uint32_t BitmapBitsOffset(const BitmapInfoHeader& info) {
    constexpr uint32_t kBase = kBitmapFileHeaderBytes + kBitmapInfoHeaderBytes;
    uint64_t table = 0;
    if (info.coloursUsed != 0)
        table = uint64_t{info.coloursUsed} * 4;
    else if (info.bitCount <= 8)
        table = (uint64_t{1} << info.bitCount) * 4;
    switch (info.compression) {
    case kBitmapBitFields:
        // Bit-field images deeper than 8 bits carry a table only when counted.
        return static_cast<uint32_t>(kBase + 12 + (info.coloursUsed != 0 ? table : 0));
    case kBitmapUncompressed:
    case kBitmapRle8:
    case kBitmapRle4:
        return static_cast<uint32_t>(kBase + table);
    default:
        return kBase;
    }
}

bool ReadBitmapInfoHeader(std::span<const uint8_t> dib, BitmapInfoHeader& info) {
    if (dib.size() < kBitmapInfoHeaderBytes)
        return false;
    const uint8_t* p = dib.data();
    info.size = Le32(p);
    info.widthPx = static_cast<int32_t>(Le32(p + 4));
    info.heightPx = static_cast<int32_t>(Le32(p + 8));
    info.planes = Le16(p + 12);
    info.bitCount = Le16(p + 14);
    info.compression = Le32(p + 16);
    info.imageBytes = Le32(p + 20);
    info.xPixelsPerMetre = static_cast<int32_t>(Le32(p + 24));
    info.yPixelsPerMetre = static_cast<int32_t>(Le32(p + 28));
    info.coloursUsed = Le32(p + 32);
    info.coloursImportant = Le32(p + 36);
    return true;
}

std::vector<uint8_t> MakeDib24(const uint32_t* topDownPixels, int widthPx, int heightPx, int pixelsPerRow) {
    if (widthPx <= 0 || heightPx <= 0 || topDownPixels == nullptr || pixelsPerRow < widthPx)
        return {};
    const size_t rowBytes = (static_cast<size_t>(widthPx) * 3 + 3) / 4 * 4;
    const size_t imageBytes = rowBytes * static_cast<size_t>(heightPx);
    std::vector<uint8_t> dib;
    dib.reserve(kBitmapInfoHeaderBytes + imageBytes);
    Put32(dib, 40);
    Put32(dib, static_cast<uint32_t>(widthPx));
    Put32(dib, static_cast<uint32_t>(heightPx));
    Put16(dib, 1);
    Put16(dib, 24);
    Put32(dib, kBitmapUncompressed);
    Put32(dib, static_cast<uint32_t>(imageBytes));
    Put32(dib, 0);
    Put32(dib, 0);
    Put32(dib, 0);
    Put32(dib, 0);
    dib.resize(kBitmapInfoHeaderBytes + imageBytes, 0);
    for (int y = 0; y < heightPx; ++y) {
        const uint32_t* in = topDownPixels + static_cast<size_t>(heightPx - 1 - y) * pixelsPerRow;
        uint8_t* out = dib.data() + kBitmapInfoHeaderBytes + static_cast<size_t>(y) * rowBytes;
        for (int x = 0; x < widthPx; ++x, out += 3) {
            out[0] = static_cast<uint8_t>(in[x]);
            out[1] = static_cast<uint8_t>(in[x] >> 8);
            out[2] = static_cast<uint8_t>(in[x] >> 16);
        }
    }
    return dib;
}

std::vector<uint8_t> BitmapFileHeader(std::span<const uint8_t> dib) {
    BitmapInfoHeader info;
    if (!ReadBitmapInfoHeader(dib, info))
        return {};
    const uint32_t offset = BitmapBitsOffset(info);
    const uint64_t fileBytes = uint64_t{dib.size()} + kBitmapFileHeaderBytes;
    if (offset > fileBytes || fileBytes > 0xFFFFFFFFu)
        return {};
    std::vector<uint8_t> header;
    header.reserve(kBitmapFileHeaderBytes);
    Put16(header, 0x4D42);
    Put32(header, static_cast<uint32_t>(fileBytes));
    Put16(header, 0);
    Put16(header, 0);
    Put32(header, offset);
    return header;
}

int WriteBitmapFile(const std::string& path, std::span<const uint8_t> dib) {
    const std::vector<uint8_t> header = BitmapFileHeader(dib);
    if (header.empty())
        return 0;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr)
        return 0;
    bool ok = std::fwrite(header.data(), 1, header.size(), file) == header.size() &&
              std::fwrite(dib.data(), 1, dib.size(), file) == dib.size();
    ok = (std::fclose(file) == 0) && ok;
    if (!ok) {
        std::remove(path.c_str());
        return 0;
    }
    return 1;
}

}  // namespace zo::render
