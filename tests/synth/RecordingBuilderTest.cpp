#include "synth/RecordingBuilder.h"

#include <gtest/gtest.h>

#include "synth/DemoRecording.h"
#include "synth/FrameMaker.h"

namespace zo::synth {
namespace {

using media::kBlockSize;

TEST(RecordingBuilder, LaysTheStreamIntoCheckedBlocks) {
    for (int code : {0, 6}) {
        for (bool raw : {false, true}) {
            RecordingBuilder b(code, raw);
            b.SetTime(1237034096);
            b.SetChannelBits(0x000F);
            b.SetInterval(2);
            std::vector<uint8_t> bytes(10000);
            for (size_t i = 0; i < bytes.size(); ++i)
                bytes[i] = static_cast<uint8_t>(i * 7 + 1);
            b.AddFrame(bytes);
            b.SetTime(1237034097);
            b.AddFill(3000, 0x11);
            b.Finish();
            auto out = b.Bytes();
            ASSERT_EQ(out.size(), 4 * kBlockSize);
            ASSERT_EQ(b.Blocks().size(), 4u);
            std::vector<uint8_t> stream;
            for (size_t k = 0; k < 4; ++k) {
                uint8_t* block = out.data() + k * kBlockSize;
                const media::BlockHeader h = media::DecodeStoredBlock(block, code, raw);
                EXPECT_TRUE(h.valid);
                EXPECT_EQ(h.channelBits, 0x000F);
                EXPECT_EQ(h.interval, 2);
                EXPECT_EQ(h.timeSeconds, b.Blocks()[k].timeSeconds);
                stream.insert(stream.end(), block + 8, block + kBlockSize);
            }
            EXPECT_EQ(b.Blocks()[0].timeSeconds, 1237034096u);
            EXPECT_EQ(b.Blocks()[3].timeSeconds, 1237034097u);
            EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), stream.begin()));
            EXPECT_EQ(stream, b.Stream());
            EXPECT_EQ(b.Frames()[0].length, stream.size()) << "fill belongs to the frame before";
        }
    }
}

TEST(RecordingBuilder, SplitsStartCodesWhereAsked) {
    for (int before : {1, 2, 3, 0}) {
        RecordingBuilder b(6, false);
        b.AddFrame(std::vector<uint8_t>{0, 0, 1, 0xF9, 0x10, 1, 2, 3});
        b.PadToSplit(before);
        b.AddFrame(std::vector<uint8_t>{0, 0, 1, 0xF8, 0x10, 1, 2, 3});
        const uint64_t s = b.Frames()[1].stream;
        EXPECT_EQ((s + before) % media::kBlockDataSize, 0u) << before;
    }
}

TEST(RecordingBuilder, RaggedEndCutsTheLastBlock) {
    RecordingBuilder b(6, false);
    b.AddFill(5000, 0x33);
    b.FinishRagged(1234);
    EXPECT_EQ(b.Bytes().size(), kBlockSize + 1234);
    EXPECT_EQ(b.StreamSize(), 2 * media::kBlockDataSize);
    EXPECT_EQ(b.Bytes()[kBlockSize + 8], 0x33);
}

TEST(RecordingBuilder, DamageBreaksOnlyTheCheckByte) {
    for (bool raw : {false, true}) {
        RecordingBuilder b(6, raw);
        b.AddFill(3 * media::kBlockDataSize, 0x22);
        b.Finish();
        auto bytes = b.Bytes();
        DamageBlock(bytes, 1, raw);
        std::vector<bool> valid;
        for (int k = 0; k < 3; ++k)
            valid.push_back(media::DecodeStoredBlock(bytes.data() + k * kBlockSize, 6, raw).valid);
        EXPECT_EQ(valid, (std::vector<bool>{true, false, true}));
    }
}

TEST(DemoRecording, RealTimeTimestampsAndChannels) {
    DemoOptions o;
    o.seconds = 3;
    o.channels = 4;
    o.audio = true;
    o.realVideo = false;
    std::vector<uint8_t> bytes;
    const DemoStats stats = GenerateRecording(o, [&](const uint8_t* block, size_t size) {
        bytes.insert(bytes.end(), block, block + size);
    });
    EXPECT_EQ(stats.bytes, bytes.size());
    // 16666 us frame slots for code 6 (0 .. 2999880 us), eight a second taken by sound.
    EXPECT_EQ(stats.soundFrames, 24u);
    EXPECT_EQ(stats.videoFrames + stats.soundFrames, 181u);
    const auto first = media::DecodeStoredBlock(bytes.data(), 6, false);
    const auto last = media::DecodeStoredBlock(bytes.data() + bytes.size() - kBlockSize, 6, false);
    EXPECT_TRUE(first.valid);
    EXPECT_EQ(first.timeSeconds, o.startTime);
    EXPECT_EQ(last.timeSeconds, o.startTime + 2);
    EXPECT_EQ(first.channelBits, 0x000F);
}

}  // namespace
}  // namespace zo::synth
