// The recording stream format: format codes, 4096-byte blocks with their
// 8-byte headers and check bytes, start codes, and the video frame header.
//
// Everything here is a pure function on bytes; the reader, the writer, the
// decoder and the export build on it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/MessagePort.h"

namespace zo::media {

inline constexpr size_t kBlockSize = 4096;
inline constexpr size_t kBlockHeaderSize = 8;
inline constexpr size_t kBlockDataSize = kBlockSize - kBlockHeaderSize;  // 4088
inline constexpr size_t kMaxFrameSize = 131072;                          // start code included

// Video format codes. The value selects the video header layout and, for
// code 6, the big-endian block time.
inline constexpr int kVideoZO4 = 0;
inline constexpr int kVideoZO9 = 1;
inline constexpr int kVideoZON = 2;  // network layout; live streams always use it
inline constexpr int kVideoZOT = 3;
inline constexpr int kVideoZOT2 = 4;
inline constexpr int kVideoZOT3 = 5;  // dual pictures
inline constexpr int kVideoZOC = 6;   // the configured recording format
inline constexpr int kVideoCodeCount = 7;

// Audio format codes (0 = unknown).
inline constexpr int kAudioUPCM8 = 1;
inline constexpr int kAudioSPCM8 = 2;
inline constexpr int kAudioUPCM16 = 3;
inline constexpr int kAudioSPCM16 = 4;
inline constexpr int kAudioALAW = 5;
inline constexpr int kAudioMLAW = 6;

// The names in force in this build.
inline constexpr std::string_view kConfiguredVideoName = "ZO_ZOC";
inline constexpr std::string_view kConfiguredAudioName = "ZO_SPCM8";

// Code of a format name, compared exactly. An unknown name shows
// "Unkown Video Format" / "Unkown Audio Format" on `messages` and yields 0.
int VideoCodeFromName(std::string_view name, platform::MessagePort& messages);
int AudioCodeFromName(std::string_view name, platform::MessagePort& messages);
// Name of a code, or "" for a code out of range.
std::string_view VideoCodeName(int code);
std::string_view AudioCodeName(int code);

// Calendar record carried with frame times: eight unsigned 16-bit fields.
struct CalendarTime {
    uint16_t year = 0;
    uint16_t month = 0;      // 1..12
    uint16_t dayOfWeek = 0;  // 0 = Sunday; informational only
    uint16_t day = 0;        // 1..31
    uint16_t hour = 0;
    uint16_t minute = 0;
    uint16_t second = 0;
    uint16_t milliseconds = 0;

    friend bool operator==(const CalendarTime&, const CalendarTime&) = default;
};

// Seconds since 1970-01-01 00:00:00 broken down as universal time, with no
// zone or daylight-saving shift.
CalendarTime CalendarFromUnixSeconds(uint32_t seconds);
// The inverse for valid dates from 1970 on; returns -1 for a field out of range.
int64_t UnixSecondsFromCalendar(const CalendarTime& t);

// The byte table of CRC-8, polynomial 0x07, MSB first, register starting at 0.
const std::array<uint8_t, 256>& CheckTable();

// Check byte of the seven header bytes: c = 0xFF; c ^= T[b ^ c] for each
// byte; result ~c.
uint8_t CheckByte(const uint8_t* header7);

// Exchanges bytes 2k and 2k+1 for every whole pair in [data, data + size).
void SwapBytePairs(uint8_t* data, size_t size);

// A decoded block header.
struct BlockHeader {
    uint32_t timeSeconds = 0;
    uint16_t channelBits = 0;
    uint8_t interval = 0;  // bits 0-6 of byte 6
    bool valid = false;    // check byte matched
};

// Decodes the first 8 bytes of a block that is already in stream byte order
// (swapped back for a raw disk). Code 6 has big-endian time and channelBits.
BlockHeader DecodeBlockHeader(const uint8_t* header8, int videoCode);

// Decodes a whole 4096-byte block as stored: swaps its byte pairs in place if
// `rawDisk`, then decodes its header.
BlockHeader DecodeStoredBlock(uint8_t* block, int videoCode, bool rawDisk);

// Writes an 8-byte header in stream byte order, check byte included. Bit 7 of
// byte 6 is written as 0.
void EncodeBlockHeader(uint32_t timeSeconds, uint16_t channelBits, uint8_t interval, int videoCode,
                       uint8_t* header8);

// Start-code classification by the start code's last byte.
enum class FrameKind { None, Video, Sound };
struct StartCodeClass {
    FrameKind kind = FrameKind::None;
    int audioChannel = -1;  // 0..3 for sound
};
constexpr bool IsFrameStartCode(uint8_t code) { return code >= 0xF8 && code <= 0xFD; }
StartCodeClass ClassifyStartCode(uint8_t code);

// The channel the reader reports for a video frame from header byte A:
// bits 0-2 for code 0 (as they stand), bits 0-3 for every other code.
constexpr int ReaderVideoChannel(int videoCode, uint8_t headerByteA) {
    return videoCode == kVideoZO4 ? (headerByteA & 7) : (headerByteA & 15);
}

inline constexpr int kMaxSliceCodes = 20;

// Properties of a video frame from its header and slice-code scan.
struct VideoHeader {
    int channel = 0;
    bool key = false;
    int quantiser = 0;       // 1..14 decodable; 0 parses but is not decoded
    int width = 0;           // 640
    int height = 0;          // 224 (14 slices) or 272 (17 slices)
    int pictureCounter = -1; // code 2 only, big-endian 16-bit; -1 otherwise
    // Code 5 dual picture: left half is `channel`, right half `dualChannel`.
    bool dual = false;
    int dualChannel = -1;
    bool hideLeft = false;
    bool hideRight = false;
    // Slice codes: offset of each slice code's first 0x00 within the frame.
    int sliceCount = 0;                       // all slice codes found
    uint32_t sliceOffsets[kMaxSliceCodes] = {};  // the first kMaxSliceCodes of them
    // Where the slice scan stopped: the offset of the last byte of a frame
    // start code met in the data, else the frame length.
    size_t scanEnd = 0;
};

// Parses a video frame (start code included). Returns false when the frame is
// invalid: 5 bytes or fewer, not a video start code, quantiser 15, a slice
// count other than 14 or 17, or an unknown video code. `out` is filled as far
// as the parse got.
bool ParseVideoHeader(const uint8_t* frame, size_t length, int videoCode, VideoHeader& out);

// Nominal time between pictures in microseconds for a picture height and
// video code; 0 for an unknown height.
int PicturePeriodUs(int height, int videoCode);

}  // namespace zo::media
