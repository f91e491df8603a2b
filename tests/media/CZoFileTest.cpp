#include "media/CZoFile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "support/TestRecordings.h"

namespace zo::media {
namespace {

using synth::RecordingBuilder;
using test::ExpectedFrame;

class ReaderTest : public ::testing::Test {
protected:
    std::vector<uint8_t> buffer = std::vector<uint8_t>(kMaxFrameSize);
    platform::RecordingMessagePort messages;

    // Opens `bytes` in `reader` from memory.
    void OpenMemory(CZoFile& reader, const std::vector<uint8_t>& bytes, int code, bool raw) {
        reader.SetFormat(code);
        ASSERT_EQ(reader.OpenSource(test::Memory(bytes), "memory", raw), 1);
    }

    void ExpectDelivered(const CZoFile& reader, int length, const test::Expected& e, const char* what) {
        ASSERT_EQ(length, static_cast<int>(e.bytes.size())) << what;
        EXPECT_EQ(reader.IsAudio(), e.sound) << what;
        EXPECT_EQ(reader.Channel(), e.channel) << what;
        EXPECT_EQ(reader.FrameLength(), length) << what;
        EXPECT_TRUE(std::equal(e.bytes.begin(), e.bytes.end(), buffer.begin())) << what;
    }
};

// A recording of mixed frames with start codes split 1+3, 2+2 and 3+1 and a
// frame beginning at data offset 8, with block times one second apart.
RecordingBuilder MixedRecording(int code, bool raw) {
    RecordingBuilder b(code, raw);
    synth::Rng rng(42);
    uint32_t t = 1237034096;
    b.SetTime(t);
    int picture = 0;
    for (int round = 0; round < 12; ++round) {
        b.AddFrame(test::Video(code, picture % 16, picture % 5 == 0, 40 + 37 * (round % 4), rng));
        ++picture;
        b.SetTime(++t);
        if (round % 3 == 1)
            b.AddFrame(test::Sound(round % 4, 300, round * 300));
        switch (round % 4) {
        case 0: b.PadToSplit(1); break;
        case 1: b.PadToSplit(2); break;
        case 2: b.PadToSplit(3); break;
        case 3: b.PadToSplit(0); break;  // next frame begins at data offset 8
        }
        b.AddFrame(test::Video(code, picture % 16, false, 200, rng));
        ++picture;
    }
    b.AddFrame(test::Video(code, 1, true, 30, rng));  // last: delivered without the zero fill
    b.Finish();
    return b;
}

TEST_F(ReaderTest, ForwardDeliversEveryFrameOnceWithItsBlockTime) {
    for (int code : {kVideoZO4, kVideoZOC}) {
        RecordingBuilder b = MixedRecording(code, false);
        CZoFile reader(&messages);
        OpenMemory(reader, b.Bytes(), code, false);
        const auto& frames = b.Frames();
        for (size_t i = 0; i + 1 < frames.size(); ++i) {
            const int n = reader.ReadNextFrame(buffer);
            ExpectDelivered(reader, n, ExpectedFrame(b, i), "forward");
            // Rests on the next start code's first byte.
            EXPECT_EQ(reader.GetPosition(), RecordingBuilder::FileOffset(frames[i + 1].stream));
            // Time of the block holding the following start code's last byte.
            CalendarTime t;
            ASSERT_EQ(reader.GetTime(t), 1);
            const auto& blk = b.Blocks()[RecordingBuilder::BlockOfStream(frames[i + 1].stream + 3)];
            EXPECT_EQ(t, CalendarFromUnixSeconds(blk.timeSeconds));
            EXPECT_EQ(reader.Interval(), blk.interval);
        }
        // No start code follows the last frame, but the recording ends in
        // zero fill: the frame is whole and is delivered without the fill.
        ExpectDelivered(reader, reader.ReadNextFrame(buffer), test::ExpectedLastFrame(b), "last");
        EXPECT_EQ(reader.GetPosition(), reader.GetSize());
        EXPECT_EQ(reader.ReadNextFrame(buffer), 0);
        EXPECT_FALSE(reader.IsAudio());
        EXPECT_TRUE(reader.HasAudio());
        EXPECT_EQ(reader.ReadNextFrame(buffer), 0);
    }
}

TEST_F(ReaderTest, BackwardDeliversEveryFrameOnceAndRestsInsideIt) {
    for (bool raw : {false, true}) {
        RecordingBuilder b = MixedRecording(kVideoZOC, raw);
        CZoFile reader(&messages);
        OpenMemory(reader, b.Bytes(), kVideoZOC, raw);
        reader.SetPosition(reader.GetSize());
        EXPECT_EQ(reader.GetPosition(), reader.GetSize() - 1);
        const auto& frames = b.Frames();
        // From the end, the last frame comes first, as a forward read gives it.
        ExpectDelivered(reader, reader.ReadPrevFrame(buffer), test::ExpectedLastFrame(b), "last backward");
        EXPECT_EQ(reader.GetPosition(), RecordingBuilder::FileOffset(frames.back().stream + 4));
        for (size_t i = frames.size() - 1; i-- > 0;) {
            const int n = reader.ReadPrevFrame(buffer);
            ExpectDelivered(reader, n, ExpectedFrame(b, i), "backward");
            // Four stream bytes into the delivered frame.
            EXPECT_EQ(reader.GetPosition(), RecordingBuilder::FileOffset(frames[i].stream + 4));
            CalendarTime t;
            ASSERT_EQ(reader.GetTime(t), 1);
            const auto& blk = b.Blocks()[RecordingBuilder::BlockOfStream(frames[i].stream)];
            EXPECT_EQ(t, CalendarFromUnixSeconds(blk.timeSeconds));
        }
        EXPECT_EQ(reader.ReadPrevFrame(buffer), 0);
        EXPECT_EQ(reader.GetPosition(), 0u);
        EXPECT_EQ(reader.ReadPrevFrame(buffer), 0);
        EXPECT_FALSE(reader.HasAudio()) << "backward reads leave hasAudio alone";

        // A second pass from the end is not disturbed by the end of the first.
        reader.SetPosition(reader.GetSize());
        ExpectDelivered(reader, reader.ReadPrevFrame(buffer), test::ExpectedLastFrame(b), "second pass");
    }
}

TEST_F(ReaderTest, DirectionsFitTogether) {
    RecordingBuilder b = MixedRecording(kVideoZOC, false);
    CZoFile reader(&messages);
    OpenMemory(reader, b.Bytes(), kVideoZOC, false);
    const size_t count = b.Frames().size();
    // Forward to frame k, then alternate: prev gives k-1, next gives k, ...
    for (size_t k = 1; k + 2 < count; k += 3) {
        reader.SetPosition(0);
        for (size_t i = 0; i <= k; ++i)
            ASSERT_GT(reader.ReadNextFrame(buffer), 0);
        ExpectDelivered(reader, reader.FrameLength(), ExpectedFrame(b, k), "current");
        ExpectDelivered(reader, reader.ReadPrevFrame(buffer), ExpectedFrame(b, k - 1), "prev after next");
        ExpectDelivered(reader, reader.ReadNextFrame(buffer), ExpectedFrame(b, k), "next after prev");
        ExpectDelivered(reader, reader.ReadNextFrame(buffer), ExpectedFrame(b, k + 1), "next again");
        ExpectDelivered(reader, reader.ReadPrevFrame(buffer), ExpectedFrame(b, k), "prev after next again");
        ExpectDelivered(reader, reader.ReadPrevFrame(buffer), ExpectedFrame(b, k - 1), "prev again");
    }
}

TEST_F(ReaderTest, ReadFirstFrameSkipsSoundAndWorksAfterForwardReads) {
    RecordingBuilder b(kVideoZOC, false);
    synth::Rng rng(3);
    b.AddFrame(test::Sound(0, 100));
    b.AddFrame(test::Sound(1, 100));
    b.AddFrame(test::Video(kVideoZOC, 5, true, 60, rng));
    b.AddFrame(test::Video(kVideoZOC, 6, true, 3000, rng));  // runs into block 2
    b.AddFrame(test::Video(kVideoZOC, 7, true, 60, rng));
    b.AddFrame(test::Video(kVideoZOC, 8, true, 60, rng));
    b.Finish();
    CZoFile reader(&messages);
    OpenMemory(reader, b.Bytes(), kVideoZOC, false);
    ASSERT_EQ(reader.SetStartPosition(0), 1);
    ExpectDelivered(reader, reader.ReadFirstFrame(buffer), ExpectedFrame(b, 2), "first");
    EXPECT_TRUE(reader.HasAudio());
    ExpectDelivered(reader, reader.ReadNextFrame(buffer), ExpectedFrame(b, 3), "next");

    // A block-aligned seek after forward reads finds the first frame that
    // begins after it, never a phantom one from the register's old bytes.
    const uint64_t second = RecordingBuilder::FileOffset(b.Frames()[3].stream) / kBlockSize * kBlockSize + kBlockSize;
    ASSERT_LT(second, reader.GetSize());
    ASSERT_EQ(reader.SetStartPosition(second), 1);
    ExpectDelivered(reader, reader.ReadFirstFrame(buffer), ExpectedFrame(b, 4) , "after seek");
    ASSERT_EQ(reader.SetStartPosition(0), 1);
    ExpectDelivered(reader, reader.ReadFirstFrame(buffer), ExpectedFrame(b, 2), "seek back");

    EXPECT_EQ(reader.SetStartPosition(reader.GetSize()), 0);
    ASSERT_EQ(reader.SetStartPosition(reader.GetSize() - 1), 1);
    EXPECT_EQ(reader.ReadFirstFrame(buffer), 0);
}

TEST_F(ReaderTest, FrameAtDataOffsetEightIsDeliveredBackward) {
    RecordingBuilder b(kVideoZOC, false);
    synth::Rng rng(5);
    b.AddFrame(test::Video(kVideoZOC, 1, true, 100, rng));
    b.PadToSplit(0);
    b.AddFrame(test::Video(kVideoZOC, 2, true, 100, rng));
    b.AddFrame(test::Video(kVideoZOC, 3, true, 100, rng));
    b.Finish();
    ASSERT_EQ(b.Frames()[1].stream % kBlockDataSize, 0u);
    CZoFile reader(&messages);
    OpenMemory(reader, b.Bytes(), kVideoZOC, false);
    reader.SetPosition(reader.GetSize());
    ExpectDelivered(reader, reader.ReadPrevFrame(buffer), test::ExpectedLastFrame(b), "last frame");
    ExpectDelivered(reader, reader.ReadPrevFrame(buffer), ExpectedFrame(b, 1), "offset 8 frame");
    EXPECT_EQ(reader.GetPosition(), kBlockSize + 12);
    ExpectDelivered(reader, reader.ReadPrevFrame(buffer), ExpectedFrame(b, 0), "frame before it");
}

TEST_F(ReaderTest, DamagedBlockLosesOnlyTheFramesInIt) {
    RecordingBuilder b(kVideoZOC, false);
    synth::Rng rng(9);
    for (int i = 0; i < 30; ++i)
        b.AddFrame(test::Video(kVideoZOC, i % 4, true, 50 + (i * 97) % 300, rng));
    b.Finish();
    auto bytes = b.Bytes();
    const uint64_t damaged = 2;
    synth::DamageBlock(bytes, damaged, false);
    const auto& frames = b.Frames();

    // Which frames survive: those whose bytes and following start code avoid block 2.
    auto touches = [&](size_t i) {
        const uint64_t first = RecordingBuilder::BlockOfStream(frames[i].stream);
        const uint64_t last = RecordingBuilder::BlockOfStream(frames[i + 1].stream + 3);
        return first <= damaged && damaged <= last;
    };

    CZoFile reader(&messages);
    OpenMemory(reader, bytes, kVideoZOC, false);
    std::vector<size_t> forward;
    int failures = 0;
    for (int guard = 0; guard < 200; ++guard) {
        const int n = reader.ReadNextFrame(buffer);
        if (n == 0) {
            if (reader.GetPosition() >= reader.GetSize())
                break;
            ++failures;
            EXPECT_EQ(reader.GetPosition(), (damaged + 1) * kBlockSize) << "forward resumes behind the damage";
            continue;
        }
        for (size_t i = 0; i + 1 < frames.size(); ++i)
            if (RecordingBuilder::FileOffset(frames[i + 1].stream) == reader.GetPosition())
                forward.push_back(i);
    }
    EXPECT_EQ(failures, 1);
    std::vector<size_t> survivors;
    for (size_t i = 0; i + 1 < frames.size(); ++i)
        if (!touches(i))
            survivors.push_back(i);
    // After the damage the first start code found begins the collection again,
    // so exactly the frames that touch the damaged block are lost.
    EXPECT_EQ(forward, survivors);

    // Backward: the read that meets the damage returns 0 on its start; the next goes on below it.
    reader.SetPosition(reader.GetSize());
    std::vector<size_t> backward;
    failures = 0;
    for (int guard = 0; guard < 200; ++guard) {
        const int n = reader.ReadPrevFrame(buffer);
        if (n == 0) {
            if (reader.GetPosition() == 0)
                break;
            ++failures;
            EXPECT_EQ(reader.GetPosition(), damaged * kBlockSize);
            continue;
        }
        for (size_t i = 0; i + 1 < frames.size(); ++i)
            if (RecordingBuilder::FileOffset(frames[i].stream + 4) == reader.GetPosition())
                backward.push_back(i);
    }
    EXPECT_EQ(failures, 1);
    std::reverse(backward.begin(), backward.end());
    EXPECT_EQ(backward, survivors);
}

TEST_F(ReaderTest, RawDiskDeliversTheSameFramesAsTheFile) {
    RecordingBuilder file = MixedRecording(kVideoZOC, false);
    RecordingBuilder disk = MixedRecording(kVideoZOC, true);
    ASSERT_NE(file.Bytes(), disk.Bytes());
    CZoFile a(&messages), c(&messages);
    OpenMemory(a, file.Bytes(), kVideoZOC, false);
    OpenMemory(c, disk.Bytes(), kVideoZOC, true);
    std::vector<uint8_t> other(kMaxFrameSize);
    int frames = 0;
    for (;;) {
        const int n = a.ReadNextFrame(buffer);
        ASSERT_EQ(c.ReadNextFrame(other), n);
        if (n == 0)
            break;
        ++frames;
        EXPECT_TRUE(std::equal(buffer.begin(), buffer.begin() + n, other.begin()));
        EXPECT_EQ(a.GetPosition(), c.GetPosition());
    }
    EXPECT_EQ(frames, static_cast<int>(file.Frames().size()));

    // The same disk read as a file: every block fails its check.
    CZoFile wrong(&messages);
    OpenMemory(wrong, disk.Bytes(), kVideoZOC, false);
    EXPECT_EQ(wrong.ReadNextFrame(buffer), 0);
    EXPECT_EQ(wrong.GetPosition(), kBlockSize);
}

TEST_F(ReaderTest, RawDiskWithoutRecordingAtItsStartWalksBlockByBlock) {
    std::vector<uint8_t> bytes(5 * kBlockSize, 0xA5);  // five blocks of no recording
    RecordingBuilder b(kVideoZOC, true);
    synth::Rng rng(1);
    for (int i = 0; i < 4; ++i)
        b.AddFrame(test::Video(kVideoZOC, i, true, 40, rng));
    b.Finish();
    bytes.insert(bytes.end(), b.Bytes().begin(), b.Bytes().end());
    CZoFile reader(&messages);
    OpenMemory(reader, bytes, kVideoZOC, true);
    for (uint64_t block = 1; block <= 5; ++block) {
        EXPECT_EQ(reader.ReadNextFrame(buffer), 0);
        EXPECT_EQ(reader.GetPosition(), block * kBlockSize);
    }
    EXPECT_GT(reader.ReadNextFrame(buffer), 0);
    EXPECT_EQ(reader.Channel(), 0);
    EXPECT_GT(reader.ReadNextFrame(buffer), 0);
    EXPECT_EQ(reader.Channel(), 1);
}

TEST_F(ReaderTest, PositionAndTimeRules) {
    RecordingBuilder b = MixedRecording(kVideoZOC, false);
    CZoFile reader(&messages);
    CalendarTime t;
    EXPECT_EQ(reader.GetTime(t), 0);
    EXPECT_EQ(reader.ReadNextFrame(buffer), 0);
    EXPECT_EQ(reader.ReadPrevFrame(buffer), 0);
    EXPECT_EQ(reader.SetStartPosition(0), 0);
    EXPECT_EQ(reader.SetPosition(100), 1);
    EXPECT_EQ(reader.GetPosition(), 0u);

    OpenMemory(reader, b.Bytes(), kVideoZOC, false);
    EXPECT_EQ(reader.GetTime(t), 0) << "no block read yet: day 0";
    EXPECT_EQ(reader.Time().year, 2000);
    EXPECT_EQ(reader.Time().day, 0);
    reader.SetPosition(reader.GetSize() + 12345);
    EXPECT_EQ(reader.GetPosition(), reader.GetSize() - 1);
    reader.SetPosition(0);
    EXPECT_EQ(reader.ReadPrevFrame(buffer), 0);
    ASSERT_GT(reader.ReadNextFrame(buffer), 0);
    EXPECT_EQ(reader.GetTime(t), 1);

    reader.Close();
    EXPECT_EQ(reader.GetTime(t), 0);
    EXPECT_EQ(reader.GetSize(), 0u);
    EXPECT_FALSE(reader.HasAudio());
    EXPECT_TRUE(reader.Name().empty());

    // Empty source.
    OpenMemory(reader, {}, kVideoZOC, false);
    reader.SetPosition(10);
    EXPECT_EQ(reader.GetPosition(), 0u);
    EXPECT_EQ(reader.ReadNextFrame(buffer), 0);
    EXPECT_EQ(reader.ReadPrevFrame(buffer), 0);
    EXPECT_EQ(reader.SetStartPosition(0), 0);
}

TEST_F(ReaderTest, ChannelOfVideoFramesFollowsTheCode) {
    RecordingBuilder b(kVideoZOC, false);
    const std::vector<uint8_t> f = {0, 0, 1, 0xF9, 0x49, 0xAA, 0xBB};  // header byte A 0x49
    b.AddFrame(f);
    b.AddFrame(f);
    b.Finish();
    for (auto [code, channel] : {std::pair{kVideoZOC, 9}, std::pair{kVideoZO4, 1}}) {
        CZoFile reader(&messages);
        reader.SetFormat(code);
        ASSERT_EQ(reader.OpenSource(test::Memory(b.Bytes()), "m", false), 1);
        ASSERT_EQ(reader.ReadNextFrame(buffer), 7);
        EXPECT_EQ(reader.Channel(), channel);
    }
}

TEST_F(ReaderTest, OverlongFramesAreCutAtTheBufferSize) {
    RecordingBuilder b(kVideoZOC, false);
    synth::Rng rng(11);
    auto big = test::Video(kVideoZOC, 3, true, 10000, rng);  // ~140 KB
    ASSERT_GT(big.size(), kMaxFrameSize);
    b.AddFrame(big);
    b.AddFrame(test::Video(kVideoZOC, 4, true, 100, rng));
    b.AddFrame(test::Video(kVideoZOC, 5, true, 100, rng));
    b.Finish();
    CZoFile reader(&messages);
    OpenMemory(reader, b.Bytes(), kVideoZOC, false);
    ASSERT_EQ(reader.ReadNextFrame(buffer), static_cast<int>(kMaxFrameSize - 4));
    EXPECT_TRUE(std::equal(big.begin(), big.begin() + kMaxFrameSize - 4, buffer.begin()));
    EXPECT_EQ(reader.Channel(), 3);
    ExpectDelivered(reader, reader.ReadNextFrame(buffer), ExpectedFrame(b, 1), "after the long frame");

    // Backward keeps the frame's last 131072 bytes.
    reader.SetPosition(reader.GetSize());
    ExpectDelivered(reader, reader.ReadPrevFrame(buffer), test::ExpectedLastFrame(b), "last backward");
    ExpectDelivered(reader, reader.ReadPrevFrame(buffer), ExpectedFrame(b, 1), "backward");
    ASSERT_EQ(reader.ReadPrevFrame(buffer), static_cast<int>(kMaxFrameSize));
    EXPECT_TRUE(std::equal(big.end() - kMaxFrameSize, big.end(), buffer.begin()));

    // A caller buffer smaller than a frame can hold is refused.
    std::vector<uint8_t> small(1000);
    reader.SetPosition(0);
    EXPECT_EQ(reader.ReadNextFrame(small), 0);
}

TEST_F(ReaderTest, EmptySoundFramesAreSkipped) {
    RecordingBuilder b(kVideoZOC, false);
    synth::Rng rng(2);
    b.AddFrame(test::Video(kVideoZOC, 1, true, 50, rng));
    b.AddFrame(std::vector<uint8_t>{0, 0, 1, 0xFA, 0xFF});        // one byte after the start code
    b.AddFrame(std::vector<uint8_t>{0, 0, 1, 0xFB, 0xFF, 0xFF});  // no payload
    b.AddFrame(test::Sound(2, 50));
    b.AddFrame(test::Video(kVideoZOC, 2, true, 50, rng));
    b.Finish();
    CZoFile reader(&messages);
    OpenMemory(reader, b.Bytes(), kVideoZOC, false);
    ExpectDelivered(reader, reader.ReadNextFrame(buffer), ExpectedFrame(b, 0), "video");
    ExpectDelivered(reader, reader.ReadNextFrame(buffer), ExpectedFrame(b, 3), "sound");
    ExpectDelivered(reader, reader.ReadNextFrame(buffer), test::ExpectedLastFrame(b), "last video");
    EXPECT_EQ(reader.ReadNextFrame(buffer), 0);
    reader.SetPosition(reader.GetSize());
    ExpectDelivered(reader, reader.ReadPrevFrame(buffer), test::ExpectedLastFrame(b), "last video backward");
    ExpectDelivered(reader, reader.ReadPrevFrame(buffer), ExpectedFrame(b, 3), "sound backward");
    ExpectDelivered(reader, reader.ReadPrevFrame(buffer), ExpectedFrame(b, 0), "video backward");
}

TEST_F(ReaderTest, SeekReadsOnlyTheBlocksAroundThePosition) {
    // 4000 blocks (16 MB) of small frames.
    RecordingBuilder b(kVideoZOC, false);
    synth::Rng rng(4);
    while (b.StreamSize() < 4000 * kBlockDataSize)
        b.AddFrame(test::Video(kVideoZOC, 0, true, 20, rng));
    b.Finish();
    int reads = 0;
    CZoFile reader(&messages);
    reader.SetFormat(kVideoZOC);
    ASSERT_EQ(reader.OpenSource(std::make_unique<test::CountingSource>(b.Bytes(), &reads), "m", false), 1);
    EXPECT_EQ(reads, 0);
    for (uint64_t block : {3000u, 17u, 3999u - 2, 1234u}) {
        reads = 0;
        ASSERT_EQ(reader.SetStartPosition(block * kBlockSize), 1);
        ASSERT_GT(reader.ReadFirstFrame(buffer), 0);
        EXPECT_EQ(reads, 1) << "block " << block;
    }
    // Sequential reading reads each block once.
    const int blocks = static_cast<int>(b.Bytes().size() / kBlockSize);
    reads = 0;
    reader.SetPosition(0);
    while (reader.ReadNextFrame(buffer) > 0) {
    }
    // Every block, plus the missing one after the end: once where it ends
    // the last frame, once where it ends the reading.
    EXPECT_EQ(reads, blocks + 2);
    reads = 0;
    reader.SetPosition(reader.GetSize());
    while (reader.ReadPrevFrame(buffer) > 0) {
    }
    // The last block is still at hand from the forward pass; the last frame
    // is read forward to the missing block after the end, which costs that
    // read and one block read again.
    EXPECT_EQ(reads, blocks + 1);
}

TEST_F(ReaderTest, OpenFailures) {
    CZoFile reader(&messages);
    EXPECT_EQ(reader.Open("/nonexistent/recording.ZRF", false), 0);
    EXPECT_EQ(reader.Open(std::filesystem::temp_directory_path().string(), false), 0);
    EXPECT_TRUE(messages.Texts().empty()) << "paths that cannot be opened fail silently";
    EXPECT_FALSE(reader.IsOpen());

    // A regular file opened with the raw-disk flag (a disk image).
    RecordingBuilder b = MixedRecording(kVideoZOC, true);
    const auto path = std::filesystem::temp_directory_path() / "zo_reader_image.img";
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(b.Bytes().data()),
                                                static_cast<std::streamsize>(b.Bytes().size()));
    reader.SetFormat(kVideoZOC);
    ASSERT_EQ(reader.Open(path.string(), true), 1);
    EXPECT_EQ(reader.GetSize(), b.Bytes().size());
    EXPECT_EQ(reader.Name(), path.string());
    ExpectDelivered(reader, reader.ReadNextFrame(buffer), ExpectedFrame(b, 0), "image");
    std::filesystem::remove(path);
}

}  // namespace
}  // namespace zo::media
