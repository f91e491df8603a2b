// The compression options of the AVI export: which compressor makes the
// video and with which settings, as stored in the binary "CompOptions" file.
//
// File layout (little-endian): a 44-byte record of eleven 32-bit fields
//   stream type, handler, key-frame interval, quality, bytes per second,
//   flags, format pointer, format size F, parameters pointer,
//   parameters size P, interleave
// then F bytes of format block and P bytes of state block. The two pointer
// fields are meaningless in a file and are ignored.
//
// Pure functions on bytes; no thread restrictions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace zo::exporter {

constexpr uint32_t FourCc(char a, char b, char c, char d) {
    return static_cast<uint32_t>(static_cast<uint8_t>(a)) | static_cast<uint32_t>(static_cast<uint8_t>(b)) << 8 |
           static_cast<uint32_t>(static_cast<uint8_t>(c)) << 16 | static_cast<uint32_t>(static_cast<uint8_t>(d)) << 24;
}
// The four characters of a code in memory order.
std::string FourCcText(uint32_t code);

inline constexpr uint32_t kStreamTypeVideo = FourCc('v', 'i', 'd', 's');
inline constexpr uint32_t kStreamTypeAudio = FourCc('a', 'u', 'd', 's');
inline constexpr uint32_t kHandlerUncompressed = FourCc('D', 'I', 'B', ' ');
// The private code under which the Xvid encoder is registered.
inline constexpr uint32_t kHandlerXvid = FourCc('q', 'v', 'z', 't');
inline constexpr uint32_t kCompressorTypeVideo = FourCc('v', 'i', 'd', 'c');

// Flag bits of the record.
inline constexpr uint32_t kOptionInterleave = 0x1;
inline constexpr uint32_t kOptionDataRate = 0x2;   // bytesPerSecond is a target
inline constexpr uint32_t kOptionKeyFrames = 0x4;  // keyFrameEvery is a maximum key interval
inline constexpr uint32_t kOptionValid = 0x8;

inline constexpr size_t kOptionsRecordBytes = 44;
// Largest "CompOptions" file read; anything longer is refused unread.
inline constexpr size_t kMaxOptionsFileBytes = 1u << 20;

struct CompressionOptions {
    uint32_t streamType = kStreamTypeVideo;
    uint32_t handler = kHandlerUncompressed;
    uint32_t keyFrameEvery = 1;
    int32_t quality = -1;  // 0..10000, -1: the compressor's default
    uint32_t bytesPerSecond = 0;
    uint32_t flags = 0;
    uint32_t interleaveEvery = 0;
    std::vector<uint8_t> format;  // format block
    std::vector<uint8_t> state;   // compressor state block, kept as read

    friend bool operator==(const CompressionOptions&, const CompressionOptions&) = default;
};

// Parses a whole "CompOptions" file. false (and `out` untouched) when the
// bytes are shorter than the record, or the sizes F and P do not match the
// bytes that follow it (too long for the file, or trailing bytes).
bool ParseCompressionOptions(std::span<const uint8_t> bytes, CompressionOptions& out);

// The file bytes of `options` (pointer fields written as 0).
std::vector<uint8_t> SerializeCompressionOptions(const CompressionOptions& options);

// Whether the handler names the Xvid encoder ("qvzt", or "xvid" in any case).
bool IsXvidHandler(uint32_t handler);

// Encoder settings the options stand for.
struct XvidSettings {
    int maxKeyInterval = 300;  // pictures
    int quantiser = 4;         // 1..31, constant quantiser when bitrate is 0
    int bitrate = 0;           // bits per second, single-pass rate control when > 0
};
XvidSettings XvidSettingsFrom(const CompressionOptions& options);

}  // namespace zo::exporter
