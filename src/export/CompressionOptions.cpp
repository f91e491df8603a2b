#include "export/CompressionOptions.h"

#include <algorithm>
#include <cctype>

namespace zo::exporter {

namespace {

uint32_t Load32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

void Store32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

}  // namespace

std::string FourCcText(uint32_t code) {
    std::string text(4, ' ');
    for (int i = 0; i < 4; ++i)
        text[static_cast<size_t>(i)] = static_cast<char>(code >> (8 * i));
    return text;
}

bool ParseCompressionOptions(std::span<const uint8_t> bytes, CompressionOptions& out) {
    if (bytes.size() < kOptionsRecordBytes)
        return false;
    const uint8_t* r = bytes.data();
    // Both sizes are checked against what the bytes hold before anything is
    // copied; 64-bit sums cannot wrap.
    const uint64_t formatSize = Load32(r + 28);
    const uint64_t stateSize = Load32(r + 36);
    if (kOptionsRecordBytes + formatSize + stateSize != bytes.size())
        return false;
    CompressionOptions o;
    o.streamType = Load32(r + 0);
    o.handler = Load32(r + 4);
    o.keyFrameEvery = Load32(r + 8);
    o.quality = static_cast<int32_t>(Load32(r + 12));
    o.bytesPerSecond = Load32(r + 16);
    o.flags = Load32(r + 20);
    o.interleaveEvery = Load32(r + 40);
    const uint8_t* format = r + kOptionsRecordBytes;
    o.format.assign(format, format + formatSize);
    o.state.assign(format + formatSize, format + formatSize + stateSize);
    out = std::move(o);
    return true;
}

std::vector<uint8_t> SerializeCompressionOptions(const CompressionOptions& o) {
    std::vector<uint8_t> out;
    out.reserve(kOptionsRecordBytes + o.format.size() + o.state.size());
    Store32(out, o.streamType);
    Store32(out, o.handler);
    Store32(out, o.keyFrameEvery);
    Store32(out, static_cast<uint32_t>(o.quality));
    Store32(out, o.bytesPerSecond);
    Store32(out, o.flags);
    Store32(out, 0);
    Store32(out, static_cast<uint32_t>(o.format.size()));
    Store32(out, 0);
    Store32(out, static_cast<uint32_t>(o.state.size()));
    Store32(out, o.interleaveEvery);
    out.insert(out.end(), o.format.begin(), o.format.end());
    out.insert(out.end(), o.state.begin(), o.state.end());
    return out;
}

bool IsXvidHandler(uint32_t handler) {
    if (handler == kHandlerXvid)
        return true;
    std::string text = FourCcText(handler);
    std::transform(text.begin(), text.end(), text.begin(),
                   [](char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); });
    return text == "xvid";
}

XvidSettings XvidSettingsFrom(const CompressionOptions& o) {
    XvidSettings s;
    if ((o.flags & kOptionKeyFrames) && o.keyFrameEvery > 0)
        s.maxKeyInterval = static_cast<int>(std::min<uint32_t>(o.keyFrameEvery, 100000));
    // Quality 0..10000 runs from quantiser 31 (coarsest) to 2.
    if (o.quality >= 0 && o.quality <= 10000)
        s.quantiser = 31 - (o.quality * 29 + 5000) / 10000;
    if ((o.flags & kOptionDataRate) && o.bytesPerSecond > 0)
        s.bitrate = static_cast<int>(std::min<uint64_t>(uint64_t{o.bytesPerSecond} * 8, 0x7FFFFFFF));
    return s;
}

}  // namespace zo::exporter
