#include "media/RecordingFormat.h"

#include <gtest/gtest.h>

#include <cstring>

#include "synth/FrameMaker.h"

namespace zo::media {
namespace {

TEST(FormatCodes, NamesMapToCodesAndUnknownNamesAreReported) {
    platform::RecordingMessagePort messages;
    EXPECT_EQ(VideoCodeFromName("ZO_ZO4", messages), 0);
    EXPECT_EQ(VideoCodeFromName("ZO_ZON", messages), 2);
    EXPECT_EQ(VideoCodeFromName("ZO_ZOT2", messages), 4);
    EXPECT_EQ(VideoCodeFromName("ZO_ZOT3", messages), 5);
    EXPECT_EQ(VideoCodeFromName("ZO_ZOC", messages), 6);
    EXPECT_EQ(AudioCodeFromName("ZO_UPCM8", messages), 1);
    EXPECT_EQ(AudioCodeFromName("ZO_SPCM8", messages), 2);
    EXPECT_EQ(AudioCodeFromName("ZO_MLAW", messages), 6);
    EXPECT_TRUE(messages.Texts().empty());

    // Exact, case-sensitive comparison.
    EXPECT_EQ(VideoCodeFromName("zo_zoc", messages), 0);
    EXPECT_EQ(AudioCodeFromName("ZO_SPCM", messages), 0);
    EXPECT_EQ(messages.Texts(), (std::vector<std::string>{"Unkown Video Format", "Unkown Audio Format"}));
}

TEST(CheckByte, TableAndWorkedExamples) {
    const auto& t = CheckTable();
    EXPECT_EQ(t[0x00], 0x00);
    EXPECT_EQ(t[0x01], 0x07);
    EXPECT_EQ(t[0x02], 0x0E);
    EXPECT_EQ(t[0x80], 0x89);
    EXPECT_EQ(t[0xFF], 0xF3);

    const uint8_t le[7] = {0x70, 0xA4, 0xBB, 0x49, 0x01, 0x00, 0x00};
    EXPECT_EQ(CheckByte(le), 0x06);
    const uint8_t be[7] = {0x49, 0xBB, 0xA4, 0x70, 0x00, 0x01, 0x01};
    EXPECT_EQ(CheckByte(be), 0xC4);

    // The textbook update c = T[b ^ c] gives a different byte: the extra XOR matters.
    uint8_t c = 0xFF;
    for (uint8_t b : le)
        c = t[b ^ c];
    EXPECT_NE(static_cast<uint8_t>(~c), 0x06);
}

TEST(BlockHeader, DecodesBothByteOrdersAndRawDiskSwap) {
    const uint8_t le[8] = {0x70, 0xA4, 0xBB, 0x49, 0x01, 0x00, 0x00, 0x06};
    BlockHeader h = DecodeBlockHeader(le, kVideoZO9);
    EXPECT_TRUE(h.valid);
    EXPECT_EQ(h.timeSeconds, 1237034096u);
    EXPECT_EQ(h.channelBits, 1);
    EXPECT_EQ(h.interval, 0);
    const CalendarTime t = CalendarFromUnixSeconds(h.timeSeconds);
    EXPECT_EQ(t.year, 2009);
    EXPECT_EQ(t.month, 3);
    EXPECT_EQ(t.day, 14);
    EXPECT_EQ(t.hour, 12);
    EXPECT_EQ(t.minute, 34);
    EXPECT_EQ(t.second, 56);
    EXPECT_EQ(t.dayOfWeek, 6);  // a Saturday

    const uint8_t be[8] = {0x49, 0xBB, 0xA4, 0x70, 0x00, 0x01, 0x01, 0xC4};
    h = DecodeBlockHeader(be, kVideoZOC);
    EXPECT_TRUE(h.valid);
    EXPECT_EQ(h.timeSeconds, 1237034096u);
    EXPECT_EQ(h.channelBits, 1);
    EXPECT_EQ(h.interval, 1);
    // The same bytes under a little-endian code decode differently, check byte still valid.
    EXPECT_NE(DecodeBlockHeader(be, kVideoZO4).timeSeconds, 1237034096u);

    // Bit 7 of byte 6 is ignored on reading.
    uint8_t high[8] = {0x70, 0xA4, 0xBB, 0x49, 0x01, 0x00, 0x85, 0};
    high[7] = CheckByte(high);
    EXPECT_EQ(DecodeBlockHeader(high, kVideoZO4).interval, 5);

    // A raw-disk block is swapped pairwise before the check byte is tested.
    uint8_t block[kBlockSize] = {};
    EncodeBlockHeader(1237034096, 1, 1, kVideoZOC, block);
    EXPECT_EQ(block[7], 0xC4);
    SwapBytePairs(block, kBlockSize);
    EXPECT_EQ(block[6], 0xC4);
    uint8_t copy[kBlockSize];
    std::memcpy(copy, block, kBlockSize);
    EXPECT_FALSE(DecodeStoredBlock(copy, kVideoZOC, false).valid);
    std::memcpy(copy, block, kBlockSize);
    h = DecodeStoredBlock(copy, kVideoZOC, true);
    EXPECT_TRUE(h.valid);
    EXPECT_EQ(h.timeSeconds, 1237034096u);
}

TEST(BlockHeader, EncodeDecodeRoundTripForEveryCode) {
    for (int code = 0; code < kVideoCodeCount; ++code) {
        uint8_t h[8];
        EncodeBlockHeader(0xFEDCBA98u, 0x8421, 0xFF, code, h);
        const BlockHeader d = DecodeBlockHeader(h, code);
        EXPECT_TRUE(d.valid) << code;
        EXPECT_EQ(d.timeSeconds, 0xFEDCBA98u) << code;
        EXPECT_EQ(d.channelBits, 0x8421) << code;
        EXPECT_EQ(d.interval, 0x7F) << code;
        EXPECT_EQ(h[6] & 0x80, 0) << code;
        h[2] ^= 1;
        EXPECT_FALSE(DecodeBlockHeader(h, code).valid) << code;
    }
}

TEST(SwapBytePairs, SwapsEveryWholePair) {
    uint8_t data[19];
    for (int i = 0; i < 19; ++i)
        data[i] = static_cast<uint8_t>(i);
    SwapBytePairs(data, 19);
    for (int i = 0; i < 18; ++i)
        EXPECT_EQ(data[i], i ^ 1);
    EXPECT_EQ(data[18], 18);  // an odd byte at the end stays
}

TEST(Calendar, BreaksDownAsUniversalTimeAndRoundTrips) {
    EXPECT_EQ(CalendarFromUnixSeconds(0), (CalendarTime{1970, 1, 4, 1, 0, 0, 0, 0}));
    const CalendarTime leap = CalendarFromUnixSeconds(951782400);  // 2000-02-29 00:00:00
    EXPECT_EQ(leap.year, 2000);
    EXPECT_EQ(leap.month, 2);
    EXPECT_EQ(leap.day, 29);
    const CalendarTime last = CalendarFromUnixSeconds(0xFFFFFFFFu);  // 2106-02-07 06:28:15
    EXPECT_EQ(last.year, 2106);
    EXPECT_EQ(last.month, 2);
    EXPECT_EQ(last.day, 7);
    EXPECT_EQ(last.second, 15);
    for (uint32_t s : {0u, 1237034096u, 951782399u, 4102444800u, 0xFFFFFFFFu})
        EXPECT_EQ(UnixSecondsFromCalendar(CalendarFromUnixSeconds(s)), s);
    EXPECT_EQ(UnixSecondsFromCalendar({2009, 2, 0, 29, 0, 0, 0, 0}), -1);
    EXPECT_EQ(UnixSecondsFromCalendar({2009, 13, 0, 1, 0, 0, 0, 0}), -1);
}

TEST(StartCodes, Classification) {
    EXPECT_EQ(ClassifyStartCode(0xF8).kind, FrameKind::Video);
    EXPECT_EQ(ClassifyStartCode(0xF9).kind, FrameKind::Video);
    for (int code = 0xFA; code <= 0xFD; ++code) {
        EXPECT_EQ(ClassifyStartCode(static_cast<uint8_t>(code)).kind, FrameKind::Sound);
        EXPECT_EQ(ClassifyStartCode(static_cast<uint8_t>(code)).audioChannel, code - 0xFA);
    }
    EXPECT_EQ(ClassifyStartCode(0xFE).kind, FrameKind::None);  // network messages only
    EXPECT_EQ(ClassifyStartCode(0xF7).kind, FrameKind::None);
    EXPECT_EQ(ReaderVideoChannel(kVideoZOC, 0x49), 9);
    EXPECT_EQ(ReaderVideoChannel(kVideoZO4, 0x49), 1);
}

std::vector<uint8_t> Frame(uint8_t startCode, const std::vector<uint8_t>& header, int slices) {
    std::vector<uint8_t> f = {0, 0, 1, startCode};
    for (uint8_t byte : header)
        f.push_back(byte);
    for (int r = 0; r < slices; ++r)
        for (uint8_t byte : {uint8_t{0}, uint8_t{0}, uint8_t{1}, static_cast<uint8_t>(r << 3), uint8_t{0x12},
                             uint8_t{0x34}, uint8_t{0x56}})
            f.push_back(byte);
    return f;
}

TEST(VideoHeader, LayoutsOfEveryCode) {
    VideoHeader h;
    // Code 6: channel in bits 0-3, quantiser in 4-7, key from start code F9.
    auto f = Frame(0xF9, {0x39}, 14);
    ASSERT_TRUE(ParseVideoHeader(f.data(), f.size(), kVideoZOC, h));
    EXPECT_EQ(h.channel, 9);
    EXPECT_EQ(h.quantiser, 3);
    EXPECT_TRUE(h.key);
    EXPECT_EQ(h.width, 640);
    EXPECT_EQ(h.height, 224);
    EXPECT_EQ(h.sliceCount, 14);
    EXPECT_EQ(h.sliceOffsets[0], 5u);
    EXPECT_EQ(h.sliceOffsets[13], 5u + 13 * 7);
    f[3] = 0xF8;
    ASSERT_TRUE(ParseVideoHeader(f.data(), f.size(), kVideoZOC, h));
    EXPECT_FALSE(h.key);

    // Code 0: 0x8D is a key picture, quantiser 1, channel bits 5 -> channel 0.
    f = Frame(0xF8, {0x8D}, 17);
    ASSERT_TRUE(ParseVideoHeader(f.data(), f.size(), kVideoZO4, h));
    EXPECT_TRUE(h.key);
    EXPECT_EQ(h.quantiser, 1);
    EXPECT_EQ(h.channel, 0);
    EXPECT_EQ(h.height, 272);
    f[4] = 0x0B;  // channel 3, quantiser 1, not key
    ASSERT_TRUE(ParseVideoHeader(f.data(), f.size(), kVideoZO4, h));
    EXPECT_EQ(h.channel, 3);
    EXPECT_FALSE(h.key);

    // Code 2: channel always 0, big-endian picture counter in bytes 5-6.
    f = Frame(0xF8, {0x8F, 0x12, 0x34}, 14);
    ASSERT_TRUE(ParseVideoHeader(f.data(), f.size(), kVideoZON, h));
    EXPECT_EQ(h.channel, 0);
    EXPECT_TRUE(h.key);
    EXPECT_EQ(h.quantiser, 1);
    EXPECT_EQ(h.pictureCounter, 0x1234);

    // Code 5: dual picture fields in byte B.
    f = Frame(0xF9, {0x42, 0x80 | (11 << 3) | 0x04}, 14);
    ASSERT_TRUE(ParseVideoHeader(f.data(), f.size(), kVideoZOT3, h));
    EXPECT_EQ(h.channel, 2);
    EXPECT_TRUE(h.dual);
    EXPECT_EQ(h.dualChannel, 11);
    EXPECT_TRUE(h.hideLeft);
    EXPECT_FALSE(h.hideRight);
    f[5] = 0x7E;  // bit 7 clear: the rest is ignored
    ASSERT_TRUE(ParseVideoHeader(f.data(), f.size(), kVideoZOT3, h));
    EXPECT_FALSE(h.dual);
    EXPECT_FALSE(h.hideLeft);
    EXPECT_FALSE(h.hideRight);
}

TEST(VideoHeader, InvalidFrames) {
    VideoHeader h;
    auto f = Frame(0xF9, {0x39}, 15);
    EXPECT_FALSE(ParseVideoHeader(f.data(), f.size(), kVideoZOC, h));
    EXPECT_EQ(h.sliceCount, 15);
    f = Frame(0xF9, {0xF1}, 14);  // quantiser 15
    EXPECT_FALSE(ParseVideoHeader(f.data(), f.size(), kVideoZOC, h));
    f = Frame(0xF9, {0x01}, 14);  // quantiser 0 parses
    EXPECT_TRUE(ParseVideoHeader(f.data(), f.size(), kVideoZOC, h));
    EXPECT_EQ(h.quantiser, 0);
    f = Frame(0xFA, {0x31}, 14);  // a sound start code
    EXPECT_FALSE(ParseVideoHeader(f.data(), f.size(), kVideoZOC, h));
    const uint8_t tiny[5] = {0, 0, 1, 0xF9, 0x31};
    EXPECT_FALSE(ParseVideoHeader(tiny, 5, kVideoZOC, h));
    f = Frame(0xF9, {0x31}, 14);
    EXPECT_FALSE(ParseVideoHeader(f.data(), f.size(), 7, h));

    // The scan stops at a frame start code: slices after it are not counted.
    f = Frame(0xF9, {0x31}, 7);
    auto tail = Frame(0xF8, {0x31}, 7);
    f.insert(f.end(), tail.begin(), tail.end());
    EXPECT_FALSE(ParseVideoHeader(f.data(), f.size(), kVideoZOC, h));
    EXPECT_EQ(h.sliceCount, 7);
}

TEST(VideoHeader, ParsesEverySynthesisedLayout) {
    synth::Rng rng(7);
    for (int code = 0; code < kVideoCodeCount; ++code) {
        for (int slices : {14, 17}) {
            synth::PictureLayout layout;
            layout.videoCode = code;
            layout.channel = code == kVideoZO4 ? 3 : 12;
            layout.key = (slices == 14);
            layout.quantiser = 9;
            layout.slices = slices;
            layout.pictureCounter = 513;
            layout.dual = true;
            layout.dualChannel = 7;
            const auto f = synth::MakeVideoFrame(layout, rng);
            VideoHeader h;
            ASSERT_TRUE(ParseVideoHeader(f.data(), f.size(), code, h)) << code;
            EXPECT_EQ(h.sliceCount, slices);
            EXPECT_EQ(h.quantiser, 9);
            EXPECT_EQ(h.key, layout.key) << code;
            EXPECT_EQ(h.channel, code == kVideoZON ? 0 : layout.channel) << code;
            EXPECT_EQ(h.pictureCounter, code == kVideoZON ? 513 : -1);
            EXPECT_EQ(h.dual, code == kVideoZOT3);
        }
    }
}

TEST(PicturePeriod, FollowsHeightAndCode) {
    EXPECT_EQ(PicturePeriodUs(224, kVideoZO4), 33333);
    EXPECT_EQ(PicturePeriodUs(224, kVideoZON), 33333);
    EXPECT_EQ(PicturePeriodUs(224, kVideoZOC), 16666);
    EXPECT_EQ(PicturePeriodUs(272, kVideoZON), 40000);
    EXPECT_EQ(PicturePeriodUs(272, kVideoZOT), 20000);
    EXPECT_EQ(PicturePeriodUs(100, kVideoZOT), 0);
}

// The slice scan against the plain shift-register scan it replaces, on
// random pictures rich in zeros, ones and frame start codes.
TEST(VideoHeader, SliceScanMatchesTheShiftRegisterScan) {
    synth::Rng rng(20261208);
    constexpr uint8_t kAlphabet[] = {0x00, 0x00, 0x00, 0x01, 0x01, 0xF8, 0xFB, 0xFD, 0xFE, 0x47};
    for (int round = 0; round < 20000; ++round) {
        const size_t length = 6 + rng.Next() % 300;
        std::vector<uint8_t> frame(length);
        for (size_t i = 5; i < length; ++i)
            frame[i] = rng.Next() % 4 == 0 ? static_cast<uint8_t>(rng.Next())
                                           : kAlphabet[rng.Next() % sizeof kAlphabet];
        frame[0] = 0;
        frame[1] = 0;
        frame[2] = 1;
        frame[3] = 0xF9;
        frame[4] = 0x13;
        uint32_t reg = 0xFFFFFFFFu;
        size_t scanEnd = length;
        std::vector<uint32_t> slices;
        for (size_t i = 5; i < length; ++i) {
            reg = (reg << 8) | frame[i];
            if (reg >= 0x000001F8u && reg <= 0x000001FDu) {
                scanEnd = i;
                break;
            }
            if ((reg & 0xFFFFFF00u) == 0x00000100u)
                slices.push_back(static_cast<uint32_t>(i - 3));
        }
        VideoHeader h;
        ParseVideoHeader(frame.data(), length, kVideoZOC, h);
        ASSERT_EQ(h.scanEnd, scanEnd) << "round " << round;
        ASSERT_EQ(static_cast<size_t>(h.sliceCount), slices.size()) << "round " << round;
        for (size_t s = 0; s < slices.size() && s < kMaxSliceCodes; ++s)
            ASSERT_EQ(h.sliceOffsets[s], slices[s]) << "round " << round;
    }
}

}  // namespace
}  // namespace zo::media
