// The block-at-a-time reader against the byte-at-a-time model, on random
// recordings (damaged blocks, ragged ends, junk, split start codes, raw
// disks) and random sequences of reads and seeks.
#include <gtest/gtest.h>

#include <cstdlib>

#include "media/CZoFile.h"
#include "support/ReferenceReader.h"
#include "support/TestRecordings.h"

namespace zo::media {
namespace {

struct RandomRecording {
    std::vector<uint8_t> bytes;
    int code = 6;
    bool raw = false;
};

RandomRecording MakeRandomRecording(synth::Rng& rng) {
    RandomRecording r;
    r.code = static_cast<int>(rng.Below(kVideoCodeCount));
    r.raw = rng.Below(3) == 0;
    synth::RecordingBuilder b(r.code, r.raw);
    b.SetTime(1237034096 + rng.Below(100000));
    const size_t target = (2 + rng.Below(40)) * kBlockDataSize;
    std::vector<uint8_t> junk;
    while (b.StreamSize() < target) {
        b.SetTime(b.Time() + rng.Below(2));
        b.SetInterval(static_cast<uint8_t>(1 + rng.Below(3)));
        b.SetChannelBits(static_cast<uint16_t>(rng.Next()));
        switch (rng.Below(10)) {
        case 0:
        case 1:
        case 2: {
            synth::PictureLayout layout;
            layout.videoCode = r.code;
            layout.channel = static_cast<int>(rng.Below(16));
            layout.key = rng.Below(2) == 0;
            layout.slices = rng.Below(2) ? 14 : 17;
            layout.bytesPerSlice = rng.Below(8) == 0 ? rng.Below(9000) : rng.Below(200);
            b.AddFrame(synth::MakeVideoFrame(layout, rng));
            break;
        }
        case 3:
            b.AddFrame(test::Sound(static_cast<int>(rng.Below(4)), rng.Below(600)));
            break;
        case 4: {  // tiny frames, including empty sound frames
            std::vector<uint8_t> f = {0, 0, 1, static_cast<uint8_t>(0xF8 + rng.Below(6))};
            for (uint32_t n = rng.Below(8); n > 0; --n)
                f.push_back(static_cast<uint8_t>(rng.Below(3) == 0 ? 0 : rng.Next()));
            b.AddFrame(f);
            break;
        }
        case 5:  // junk rich in 00 and 01 bytes and near-start codes
            junk.clear();
            for (uint32_t n = rng.Below(300); n > 0; --n) {
                const uint32_t pick = rng.Below(6);
                junk.push_back(pick < 2 ? 0 : pick == 2 ? 1 : pick == 3 ? static_cast<uint8_t>(0xF7 + rng.Below(8))
                                                                       : static_cast<uint8_t>(rng.Next()));
            }
            b.AddBytes(junk);
            break;
        case 6:
            b.PadToSplit(static_cast<int>(rng.Below(5)));
            break;
        case 7:
            b.AddFill(rng.Below(5000));
            break;
        default: {
            synth::PictureLayout layout;
            layout.videoCode = r.code;
            layout.channel = static_cast<int>(rng.Below(16));
            layout.bytesPerSlice = rng.Below(40);
            b.AddFrame(synth::MakeVideoFrame(layout, rng));
            break;
        }
        }
    }
    if (rng.Below(4) == 0)
        b.FinishRagged(1 + rng.Below(kBlockSize - 1));
    else
        b.Finish();
    r.bytes = std::move(b.Bytes());
    const uint64_t blocks = (r.bytes.size() + kBlockSize - 1) / kBlockSize;
    for (uint32_t n = rng.Below(4); n > 0; --n)
        synth::DamageBlock(r.bytes, rng.Below(static_cast<uint32_t>(blocks)), r.raw);
    if (rng.Below(3) == 0)
        r.bytes.resize(r.bytes.size() - rng.Below(kBlockSize));  // ragged end
    if (rng.Below(4) == 0) {  // a leading area that is no recording
        std::vector<uint8_t> lead(kBlockSize * (1 + rng.Below(3)));
        for (auto& byte : lead)
            byte = static_cast<uint8_t>(rng.Next());
        r.bytes.insert(r.bytes.begin(), lead.begin(), lead.end());
    }
    return r;
}

uint64_t SeedFromEnvironment(uint64_t fallback) {
    const char* s = std::getenv("ZO_TEST_SEED");
    return s ? std::strtoull(s, nullptr, 10) : fallback;
}

TEST(ReaderModel, AgreesWithTheByteAtATimeModel) {
    const uint64_t seed = SeedFromEnvironment(20261208);
    synth::Rng rng(seed);
    std::vector<uint8_t> buffer(kMaxFrameSize);
    platform::NullMessagePort quiet;
    for (int recording = 0; recording < 150; ++recording) {
        RandomRecording r = MakeRandomRecording(rng);
        test::ReferenceReader model(r.bytes, r.code, r.raw);
        CZoFile reader(&quiet);
        reader.SetFormat(r.code);
        ASSERT_EQ(reader.OpenSource(test::Memory(r.bytes), "m", r.raw), 1);
        const uint64_t size = r.bytes.size();
        for (int step = 0; step < 400; ++step) {
            const uint32_t op = rng.Below(20);
            int got = 0, want = 0;
            const char* name = "";
            if (op < 8) {
                name = "next";
                got = reader.ReadNextFrame(buffer);
                want = model.ReadNext();
            } else if (op < 16) {
                name = "prev";
                got = reader.ReadPrevFrame(buffer);
                want = model.ReadPrev();
            } else if (op < 18) {
                name = "set position";
                uint64_t p = rng.Below(static_cast<uint32_t>(size + 10));
                if (rng.Below(2))
                    p = p / kBlockSize * kBlockSize + rng.Below(12);
                reader.SetPosition(p);
                model.SetPosition(p);
            } else {
                name = "first frame";
                uint64_t p = size ? rng.Below(static_cast<uint32_t>(size)) : 0;
                if (rng.Below(2))
                    p = p / kBlockSize * kBlockSize;
                if (reader.SetStartPosition(p) == 1) {
                    got = reader.ReadFirstFrame(buffer);
                    want = model.ReadFirst(p);
                }
            }
            SCOPED_TRACE(::testing::Message() << "seed " << seed << " recording " << recording << " step " << step
                                              << " " << name);
            ASSERT_EQ(got, want);
            ASSERT_EQ(reader.GetPosition(), model.position);
            ASSERT_EQ(reader.Interval(), model.interval);
            ASSERT_EQ(reader.ChannelBits(), model.channelBits);
            ASSERT_EQ(reader.HasAudio(), model.hasAudio);
            CalendarTime t;
            if (model.timeSeconds >= 0) {
                ASSERT_EQ(reader.GetTime(t), 1);
                ASSERT_EQ(t, CalendarFromUnixSeconds(static_cast<uint32_t>(model.timeSeconds)));
            } else {
                ASSERT_EQ(reader.GetTime(t), 0);
            }
            if (got > 0) {
                ASSERT_EQ(reader.IsAudio(), model.isAudio);
                ASSERT_EQ(reader.Channel(), model.channel);
                ASSERT_TRUE(std::equal(model.frame.begin(), model.frame.end(), buffer.begin()));
            }
        }
    }
}

// Reading a whole random recording forward and backward: both directions
// deliver the same frames, the backward ones in reverse order.
TEST(ReaderModel, BothDirectionsDeliverTheSameFramesOnCleanRecordings) {
    synth::Rng rng(SeedFromEnvironment(77));
    std::vector<uint8_t> buffer(kMaxFrameSize);
    for (int recording = 0; recording < 40; ++recording) {
        synth::RecordingBuilder b(kVideoZOC, recording % 2 == 1);
        while (b.StreamSize() < 30 * kBlockDataSize) {
            if (rng.Below(4) == 0)
                b.AddFrame(test::Sound(static_cast<int>(rng.Below(4)), 1 + rng.Below(900)));
            else
                b.AddFrame(test::Video(kVideoZOC, static_cast<int>(rng.Below(16)), rng.Below(2), rng.Below(700), rng));
            if (rng.Below(3) == 0)
                b.PadToSplit(static_cast<int>(rng.Below(4)));
        }
        b.Finish();
        CZoFile reader;
        reader.SetFormat(kVideoZOC);
        ASSERT_EQ(reader.OpenSource(test::Memory(b.Bytes()), "m", recording % 2 == 1), 1);
        std::vector<std::vector<uint8_t>> forward, backward;
        while (const int n = reader.ReadNextFrame(buffer))
            forward.emplace_back(buffer.begin(), buffer.begin() + n);
        reader.SetPosition(reader.GetSize());
        while (const int n = reader.ReadPrevFrame(buffer))
            backward.emplace_back(buffer.begin(), buffer.begin() + n);
        std::reverse(backward.begin(), backward.end());
        // The last frame counts when the recording ends in zero fill and
        // something is left of it without the fill.
        const test::Expected last = test::ExpectedLastFrame(b);
        const bool lastWhole = b.Stream().back() == 0 && last.bytes.size() > (last.sound ? 0u : 4u);
        EXPECT_EQ(forward.size(), b.Frames().size() - (lastWhole ? 0 : 1));
        EXPECT_EQ(forward, backward);
    }
}

}  // namespace
}  // namespace zo::media
