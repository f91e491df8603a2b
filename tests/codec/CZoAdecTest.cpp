// The sound conversions, the G.711 tables against the decoding rules of
// G.711 computed here independently, the wave format, and frames whose PCM
// does not fit the output buffer.
#include "codec/CZoAdec.h"

#include <gtest/gtest.h>

#include <vector>

namespace zo::codec {
namespace {

// G.711 A-law decoding: even bits inverted, sign bit 1 positive, 3-bit
// segment and 4-bit step; the reconstruction level of the 13-bit scale is
// 2*step+1 in segment 0 and (2*step+33) << (segment-1) above, times 8 for
// 16 bits.
int AlawRule(uint8_t code) {
    const int v = code ^ 0x55;
    const int segment = (v >> 4) & 7;
    const int step = v & 15;
    const int level = segment == 0 ? 2 * step + 1 : (2 * step + 33) << (segment - 1);
    return (v & 0x80 ? 1 : -1) * level * 8;
}

// G.711 mu-law decoding: all bits inverted, sign bit 1 negative; level of the
// 14-bit scale ((2*step+33) << segment) - 33, times 4 for 16 bits.
int MulawRule(uint8_t code) {
    const int v = static_cast<uint8_t>(~code);
    const int segment = (v >> 4) & 7;
    const int step = v & 15;
    const int level = ((2 * step + 33) << segment) - 33;
    return (v & 0x80 ? -1 : 1) * level * 4;
}

std::vector<uint8_t> AllBytes() {
    std::vector<uint8_t> b(256);
    for (int i = 0; i < 256; ++i)
        b[i] = static_cast<uint8_t>(i);
    return b;
}

int Sample16(const std::vector<uint8_t>& pcm, size_t i) {
    return static_cast<int16_t>(static_cast<uint16_t>(pcm[2 * i] | (pcm[2 * i + 1] << 8)));
}

TEST(CZoAdec, G711TablesMatchTheDecodingRules) {
    EXPECT_EQ(kAlawToLinear[0xD5], 8);
    EXPECT_EQ(kAlawToLinear[0x55], -8);
    EXPECT_EQ(kAlawToLinear[0x80], 5504);
    EXPECT_EQ(kAlawToLinear[0xAA], 32256);
    EXPECT_EQ(kAlawToLinear[0x2A], -32256);
    EXPECT_EQ(kMulawToLinear[0xFF], 0);
    EXPECT_EQ(kMulawToLinear[0x7F], 0);
    EXPECT_EQ(kMulawToLinear[0x00], -32124);
    EXPECT_EQ(kMulawToLinear[0x80], 32124);
    for (int i = 0; i < 256; ++i) {
        EXPECT_EQ(kAlawToLinear[i], AlawRule(static_cast<uint8_t>(i))) << "A-law byte " << i;
        EXPECT_EQ(kMulawToLinear[i], MulawRule(static_cast<uint8_t>(i))) << "mu-law byte " << i;
    }
}

TEST(CZoAdec, EachCodeConvertsEveryByte) {
    const auto in = AllBytes();
    std::vector<uint8_t> out(1024, 0xEE);
    CZoAdec adec;
    int bytes = -1;

    for (int code : {kAudioUPCM8, kAudioUPCM16, kAudioSPCM16}) {
        adec.SetFormat(code, 8000, nullptr);
        ASSERT_EQ(adec.Decode(in, out, bytes), 1);
        ASSERT_EQ(bytes, 256);
        EXPECT_TRUE(std::equal(in.begin(), in.end(), out.begin())) << "code " << code;
    }

    adec.SetFormat(kAudioSPCM8, 16000, nullptr);
    ASSERT_EQ(adec.Decode(in, out, bytes), 1);
    ASSERT_EQ(bytes, 256);
    EXPECT_EQ(out[0x00], 0x80);
    EXPECT_EQ(out[0x80], 0x00);
    for (int i = 0; i < 256; ++i)
        EXPECT_EQ(out[i], static_cast<uint8_t>((i - 128) & 0xFF));

    for (int code : {kAudioALAW, kAudioMLAW}) {
        adec.SetFormat(code, 8000, nullptr);
        std::fill(out.begin(), out.end(), 0xEE);
        ASSERT_EQ(adec.Decode(in, out, bytes), 1);
        ASSERT_EQ(bytes, 512);
        for (int i = 0; i < 256; ++i)
            EXPECT_EQ(Sample16(out, i), code == kAudioALAW ? AlawRule(i) : MulawRule(i)) << i;
        EXPECT_EQ(out[512], 0xEE);
    }
}

TEST(CZoAdec, EmptyPayloadAndUnknownCode) {
    CZoAdec adec;
    std::vector<uint8_t> out(16, 0xEE);
    int bytes = -1;
    for (int code = kAudioUPCM8; code <= kAudioMLAW; ++code) {
        adec.SetFormat(code, 8000, nullptr);
        bytes = -1;
        EXPECT_EQ(adec.Decode({}, out, bytes), 1);
        EXPECT_EQ(bytes, 0);
    }
    // An unknown code writes nothing and says so: no stale length survives.
    adec.SetFormat(7, 8000, nullptr);
    const std::vector<uint8_t> in(8, 0x11);
    bytes = 99;
    EXPECT_EQ(adec.Decode(in, out, bytes), 0);
    EXPECT_EQ(bytes, 0);
    EXPECT_EQ(out[0], 0xEE);
}

// The output span ends exactly where the caller's buffer ends; the guard
// bytes behind it must survive.
TEST(CZoAdec, PcmThatDoesNotFitIsCutAtAWholeSample) {
    CZoAdec adec;
    const std::vector<uint8_t> in(101, 0xD5);
    std::vector<uint8_t> storage(300, 0xEE);
    int bytes = -1;

    adec.SetFormat(kAudioALAW, 8000, nullptr);
    EXPECT_EQ(adec.Decode(in, std::span(storage).first(201), bytes), 0);
    EXPECT_EQ(bytes, 200);  // 100 of the 101 bytes
    EXPECT_EQ(Sample16(storage, 99), 8);
    EXPECT_EQ(storage[200], 0xEE);
    EXPECT_EQ(adec.Decode(in, std::span(storage).first(202), bytes), 1);
    EXPECT_EQ(bytes, 202);

    std::fill(storage.begin(), storage.end(), 0xEE);
    adec.SetFormat(kAudioSPCM16, 8000, nullptr);
    EXPECT_EQ(adec.Decode(in, std::span(storage).first(51), bytes), 0);
    EXPECT_EQ(bytes, 50);
    EXPECT_EQ(storage[50], 0xEE);

    std::fill(storage.begin(), storage.end(), 0xEE);
    adec.SetFormat(kAudioSPCM8, 8000, nullptr);
    EXPECT_EQ(adec.Decode(in, std::span(storage).first(40), bytes), 0);
    EXPECT_EQ(bytes, 40);
    EXPECT_EQ(storage[39], 0xD5 ^ 0x80);
    EXPECT_EQ(storage[40], 0xEE);

    // The buffers the engine passes: 8192 bytes take a 4096-byte A-law frame.
    std::vector<uint8_t> frame(4096, 0x55), pcm(8192);
    adec.SetFormat(kAudioALAW, 8000, nullptr);
    EXPECT_EQ(adec.Decode(frame, pcm, bytes), 1);
    EXPECT_EQ(bytes, 8192);
}

TEST(CZoAdec, WaveFormatDescribesThePcm) {
    CZoAdec adec;
    WaveFormat f;
    ASSERT_EQ(adec.SetFormat(kAudioALAW, 8000, &f), 1);
    EXPECT_EQ(f.formatTag, 1);
    EXPECT_EQ(f.channels, 1);
    EXPECT_EQ(f.samplesPerSec, 8000u);
    EXPECT_EQ(f.bitsPerSample, 16);
    EXPECT_EQ(f.blockAlign, 2);
    EXPECT_EQ(f.avgBytesPerSec, 16000u);
    EXPECT_EQ(f.extraSize, 0);

    ASSERT_EQ(adec.SetFormat(kAudioUPCM8, 16000, &f), 1);
    EXPECT_EQ(f.bitsPerSample, 8);
    EXPECT_EQ(f.blockAlign, 1);
    EXPECT_EQ(f.avgBytesPerSec, 16000u);

    for (int code : {kAudioUPCM16, kAudioSPCM16, kAudioMLAW}) {
        adec.SetFormat(code, 11025, &f);
        EXPECT_EQ(f.bitsPerSample, 16) << code;
    }
    adec.SetFormat(kAudioSPCM8, 16000, &f);
    EXPECT_EQ(f.bitsPerSample, 8);

    // Without a record the values are stored all the same.
    EXPECT_EQ(adec.SetFormat(kAudioMLAW, 22050, nullptr), 0);
    EXPECT_EQ(adec.AudioCode(), kAudioMLAW);
    EXPECT_EQ(adec.SampleRate(), 22050);
    EXPECT_EQ(adec.OutputBytesFor(100), 200);
}

}  // namespace
}  // namespace zo::codec
