#include "media/RecordingFormat.h"

#include <cstring>

namespace zo::media {
namespace {

constexpr std::string_view kVideoNames[kVideoCodeCount] = {
    "ZO_ZO4", "ZO_ZO9", "ZO_ZON", "ZO_ZOT", "ZO_ZOT2", "ZO_ZOT3", "ZO_ZOC",
};
constexpr std::string_view kAudioNames[] = {
    "ZO_UPCM8", "ZO_SPCM8", "ZO_UPCM16", "ZO_SPCM16", "ZO_ALAW", "ZO_MLAW",
};

constexpr std::array<uint8_t, 256> MakeCheckTable() {
    std::array<uint8_t, 256> table{};
    for (int i = 0; i < 256; ++i) {
        uint8_t crc = static_cast<uint8_t>(i);
        for (int bit = 0; bit < 8; ++bit)
            crc = static_cast<uint8_t>((crc & 0x80) ? (crc << 1) ^ 0x07 : (crc << 1));
        table[i] = crc;
    }
    return table;
}

constexpr std::array<uint8_t, 256> kCheckTable = MakeCheckTable();
static_assert(kCheckTable[0x01] == 0x07 && kCheckTable[0x02] == 0x0E);
static_assert(kCheckTable[0x80] == 0x89 && kCheckTable[0xFF] == 0xF3);

// Days since 1970-01-01 to a proleptic Gregorian date.
void CivilFromDays(int64_t z, int64_t& y, unsigned& m, unsigned& d) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    y = static_cast<int64_t>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y += (m <= 2);
}

int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

bool IsLeap(int64_t y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

}  // namespace

int VideoCodeFromName(std::string_view name, platform::MessagePort& messages) {
    for (int code = 0; code < kVideoCodeCount; ++code)
        if (name == kVideoNames[code])
            return code;
    messages.Show("Unkown Video Format");
    return 0;
}

int AudioCodeFromName(std::string_view name, platform::MessagePort& messages) {
    for (int i = 0; i < 6; ++i)
        if (name == kAudioNames[i])
            return i + 1;
    messages.Show("Unkown Audio Format");
    return 0;
}

std::string_view VideoCodeName(int code) {
    return code >= 0 && code < kVideoCodeCount ? kVideoNames[code] : std::string_view{};
}

std::string_view AudioCodeName(int code) {
    return code >= 1 && code <= 6 ? kAudioNames[code - 1] : std::string_view{};
}

CalendarTime CalendarFromUnixSeconds(uint32_t seconds) {
    const int64_t days = seconds / 86400;
    const uint32_t rest = seconds % 86400;
    int64_t y = 0;
    unsigned m = 0, d = 0;
    CivilFromDays(days, y, m, d);
    CalendarTime t;
    t.year = static_cast<uint16_t>(y);
    t.month = static_cast<uint16_t>(m);
    t.day = static_cast<uint16_t>(d);
    t.dayOfWeek = static_cast<uint16_t>((days + 4) % 7);  // 1970-01-01 was a Thursday
    t.hour = static_cast<uint16_t>(rest / 3600);
    t.minute = static_cast<uint16_t>(rest / 60 % 60);
    t.second = static_cast<uint16_t>(rest % 60);
    return t;
}

int64_t UnixSecondsFromCalendar(const CalendarTime& t) {
    static constexpr unsigned kDaysIn[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (t.year < 1970 || t.month < 1 || t.month > 12 || t.day < 1 || t.hour > 23 || t.minute > 59 ||
        t.second > 59)
        return -1;
    const unsigned monthDays = kDaysIn[t.month - 1] + (t.month == 2 && IsLeap(t.year) ? 1 : 0);
    if (t.day > monthDays)
        return -1;
    return DaysFromCivil(t.year, t.month, t.day) * 86400 + t.hour * 3600 + t.minute * 60 + t.second;
}

const std::array<uint8_t, 256>& CheckTable() { return kCheckTable; }

uint8_t CheckByte(const uint8_t* header7) {
    uint8_t c = 0xFF;
    for (int i = 0; i < 7; ++i)
        c = static_cast<uint8_t>(c ^ kCheckTable[static_cast<uint8_t>(header7[i] ^ c)]);
    return static_cast<uint8_t>(~c);
}

void SwapBytePairs(uint8_t* data, size_t size) {
    size_t i = 0;
    // Eight bytes at a time: exchange the bytes of each 16-bit lane.
    for (; i + 8 <= size; i += 8) {
        uint64_t v;
        std::memcpy(&v, data + i, 8);
        v = ((v & 0x00FF00FF00FF00FFull) << 8) | ((v >> 8) & 0x00FF00FF00FF00FFull);
        std::memcpy(data + i, &v, 8);
    }
    for (; i + 2 <= size; i += 2) {
        const uint8_t b = data[i];
        data[i] = data[i + 1];
        data[i + 1] = b;
    }
}

BlockHeader DecodeBlockHeader(const uint8_t* h, int videoCode) {
    BlockHeader out;
    if (videoCode == kVideoZOC) {
        out.timeSeconds = (uint32_t{h[0]} << 24) | (uint32_t{h[1]} << 16) | (uint32_t{h[2]} << 8) | h[3];
        out.channelBits = static_cast<uint16_t>((h[4] << 8) | h[5]);
    } else {
        out.timeSeconds = (uint32_t{h[3]} << 24) | (uint32_t{h[2]} << 16) | (uint32_t{h[1]} << 8) | h[0];
        out.channelBits = static_cast<uint16_t>((h[5] << 8) | h[4]);
    }
    out.interval = h[6] & 0x7F;
    out.valid = CheckByte(h) == h[7];
    return out;
}

BlockHeader DecodeStoredBlock(uint8_t* block, int videoCode, bool rawDisk) {
    if (rawDisk)
        SwapBytePairs(block, kBlockSize);
    return DecodeBlockHeader(block, videoCode);
}

void EncodeBlockHeader(uint32_t timeSeconds, uint16_t channelBits, uint8_t interval, int videoCode,
                       uint8_t* h) {
    if (videoCode == kVideoZOC) {
        h[0] = static_cast<uint8_t>(timeSeconds >> 24);
        h[1] = static_cast<uint8_t>(timeSeconds >> 16);
        h[2] = static_cast<uint8_t>(timeSeconds >> 8);
        h[3] = static_cast<uint8_t>(timeSeconds);
        h[4] = static_cast<uint8_t>(channelBits >> 8);
        h[5] = static_cast<uint8_t>(channelBits);
    } else {
        h[0] = static_cast<uint8_t>(timeSeconds);
        h[1] = static_cast<uint8_t>(timeSeconds >> 8);
        h[2] = static_cast<uint8_t>(timeSeconds >> 16);
        h[3] = static_cast<uint8_t>(timeSeconds >> 24);
        h[4] = static_cast<uint8_t>(channelBits);
        h[5] = static_cast<uint8_t>(channelBits >> 8);
    }
    h[6] = interval & 0x7F;
    h[7] = CheckByte(h);
}

StartCodeClass ClassifyStartCode(uint8_t code) {
    if (code == 0xF8 || code == 0xF9)
        return {FrameKind::Video, -1};
    if (code >= 0xFA && code <= 0xFD)
        return {FrameKind::Sound, code - 0xFA};
    return {};
}

bool ParseVideoHeader(const uint8_t* frame, size_t length, int videoCode, VideoHeader& out) {
    out = VideoHeader{};
    if (videoCode < 0 || videoCode >= kVideoCodeCount)
        return false;
    if (length <= 5)
        return false;
    if (frame[0] != 0 || frame[1] != 0 || frame[2] != 1 || (frame[3] != 0xF8 && frame[3] != 0xF9))
        return false;

    const uint8_t a = frame[4];
    switch (videoCode) {
    case kVideoZO4:
        out.channel = (a & 7) >= 4 ? 0 : (a & 7);
        out.quantiser = (a >> 3) & 15;
        out.key = (a & 0x80) != 0;
        break;
    case kVideoZON:
        out.channel = 0;
        out.quantiser = (a >> 3) & 15;
        out.key = (a & 0x80) != 0;
        if (length >= 7)
            out.pictureCounter = (frame[5] << 8) | frame[6];
        break;
    default:  // 1, 3, 4, 5, 6
        out.channel = a & 15;
        out.quantiser = a >> 4;
        out.key = frame[3] == 0xF9;
        break;
    }
    if (videoCode == kVideoZOT3) {
        const uint8_t b = frame[5];
        out.dual = (b & 0x80) != 0;
        if (out.dual) {
            out.dualChannel = (b >> 3) & 15;
            out.hideLeft = (b & 0x04) != 0;
            out.hideRight = (b & 0x02) != 0;
        }
    }
    if (out.quantiser == 15)
        return false;

    // Every code 00 00 01 xx whose bytes all lie at offset 5 or later: a
    // frame start code (xx F8..FD) ends the scan at xx, any other is a slice
    // code. The 01 bytes are found with memchr, which is vectorised and
    // skips the coded data far faster than a byte-by-byte shift register.
    out.scanEnd = length;
    for (size_t p = 7; p + 1 < length;) {
        const void* one = std::memchr(frame + p, 0x01, length - 1 - p);
        if (!one)
            break;
        p = static_cast<size_t>(static_cast<const uint8_t*>(one) - frame);
        if (frame[p - 1] == 0 && frame[p - 2] == 0) {
            const uint8_t code = frame[p + 1];
            if (code >= 0xF8 && code <= 0xFD) {
                out.scanEnd = p + 1;
                break;
            }
            if (out.sliceCount < kMaxSliceCodes)
                out.sliceOffsets[out.sliceCount] = static_cast<uint32_t>(p - 2);
            ++out.sliceCount;
        }
        ++p;
    }
    if (out.sliceCount == 14) {
        out.width = 640;
        out.height = 224;
    } else if (out.sliceCount == 17) {
        out.width = 640;
        out.height = 272;
    } else {
        return false;
    }
    return true;
}

int PicturePeriodUs(int height, int videoCode) {
    const bool frameRate = videoCode == kVideoZO4 || videoCode == kVideoZON;
    if (height == 224)
        return frameRate ? 33333 : 16666;
    if (height == 272)
        return frameRate ? 40000 : 20000;
    return 0;
}

}  // namespace zo::media
