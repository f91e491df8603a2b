// The stream splitter: frames and control messages come out as they went in,
// whatever the chunking; control messages inside frames leave the frames'
// bytes unchanged; bounds on every collector.
#include "net/StreamSplitter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "SplitterTestSupport.h"

namespace zo::net {
namespace {

using test::Append;
using test::CollectingSink;
using test::ControlMessage;
using test::Expected;
using test::Handed;

uint64_t Seed() {
    const char* env = std::getenv("ZO_TEST_SEED");
    return env ? std::strtoull(env, nullptr, 10) : 4321;
}

std::vector<Handed> SplitWhole(const std::vector<uint8_t>& stream) {
    CollectingSink sink;
    StreamSplitter s(&sink);
    s.Feed(stream);
    return sink.out;
}

std::vector<Handed> SplitBytewise(const std::vector<uint8_t>& stream) {
    CollectingSink sink;
    StreamSplitter s(&sink);
    for (uint8_t b : stream)
        s.Feed(&b, 1);
    return sink.out;
}

// Random chunks of 0 to `maxChunk` bytes (empty feeds included).
std::vector<Handed> SplitRandomly(const std::vector<uint8_t>& stream, synth::Rng& rng, uint32_t maxChunk) {
    CollectingSink sink;
    StreamSplitter s(&sink);
    size_t at = 0;
    while (at < stream.size()) {
        const size_t n = std::min<size_t>(rng.Below(maxChunk + 1), stream.size() - at);
        s.Feed(stream.data() + at, n);
        at += n;
    }
    return sink.out;
}

// Checks every way of feeding against `expected`.
void ExpectAllChunkings(const std::vector<uint8_t>& stream, const std::vector<Handed>& expected, uint64_t seed) {
    EXPECT_EQ(SplitWhole(stream), expected);
    EXPECT_EQ(SplitBytewise(stream), expected);
    synth::Rng rng(seed);
    for (uint32_t maxChunk : {2u, 3u, 5u, 7u, 16u, 100u, 5000u})
        for (int round = 0; round < 4; ++round)
            ASSERT_EQ(SplitRandomly(stream, rng, maxChunk), expected) << "max chunk " << maxChunk << " seed " << seed;
}

// A stream of pictures and sound frames with garbage before the first start
// code, and the frames it must give.
struct TestStream {
    std::vector<uint8_t> bytes;
    std::vector<std::vector<uint8_t>> frames;
};

TestStream MakeStream(synth::Rng& rng, int count) {
    TestStream t;
    for (int i = 0; i < 37; ++i)
        t.bytes.push_back(static_cast<uint8_t>(0x21 + rng.Below(90)));  // never a start code
    for (int i = 0; i < count; ++i) {
        std::vector<uint8_t> f;
        const uint32_t pick = rng.Below(4);
        if (pick == 0)
            f = test::SoundFrame(1 + rng.Below(600), i * 1000);
        else
            f = test::LivePicture(rng, pick == 1, 8 + rng.Below(80));
        Append(t.bytes, f);
        t.frames.push_back(std::move(f));
    }
    Append(t.bytes, test::Terminator());
    return t;
}

TEST(StreamSplitter, FramesComeOutAsSentInEveryChunking) {
    const uint64_t seed = Seed();
    synth::Rng rng(seed);
    for (int round = 0; round < 6; ++round) {
        TestStream t = MakeStream(rng, 24);
        std::vector<Handed> expected;
        for (const auto& f : t.frames)
            expected.push_back(Expected(f));
        ExpectAllChunkings(t.bytes, expected, seed + round);
    }
}

TEST(StreamSplitter, EverySplitOfASmallStreamIntoTwoFeeds) {
    synth::Rng rng(7);
    std::vector<uint8_t> stream = {0x11, 0x00, 0x00};
    const auto key = test::LivePicture(rng, true, 4);
    const auto update = test::LivePicture(rng, false, 4);
    const auto sound = test::SoundFrame(9);
    const auto status = ControlMessage(7, {0x1234});
    Append(stream, update);
    Append(stream, status);
    Append(stream, key);
    Append(stream, sound);
    Append(stream, test::Terminator());
    // The message stands inside the update picture, which is handed on later.
    const std::vector<Handed> expected = {Expected(status), Expected(update), Expected(key), Expected(sound)};
    for (size_t cut = 0; cut <= stream.size(); ++cut) {
        CollectingSink sink;
        StreamSplitter s(&sink);
        s.Feed(stream.data(), cut);
        s.Feed(stream.data() + cut, stream.size() - cut);
        ASSERT_EQ(sink.out, expected) << "cut at " << cut;
    }
}

TEST(StreamSplitter, EachPictureKeepsItsOwnStartCode) {
    synth::Rng rng(3);
    const auto update = test::LivePicture(rng, false);
    const auto key = test::LivePicture(rng, true);
    ASSERT_EQ(update[3], 0xF8);
    ASSERT_EQ(key[3], 0xF9);
    std::vector<uint8_t> stream;
    Append(stream, update);
    Append(stream, key);
    Append(stream, update);
    Append(stream, test::Terminator());
    const auto out = SplitBytewise(stream);
    ASSERT_EQ(out.size(), 3u);
    EXPECT_EQ(out[0].bytes[3], 0xF8);  // not taken for a key picture
    EXPECT_EQ(out[1].bytes[3], 0xF9);
    EXPECT_EQ(out[2].bytes[3], 0xF8);
}

TEST(StreamSplitter, AFrameIsHandedOnWithTheFirstByteAfterTheNextStartCode) {
    synth::Rng rng(4);
    const auto first = test::LivePicture(rng, true, 8);
    std::vector<uint8_t> stream = first;
    const uint8_t next[] = {0x00, 0x00, 0x01, 0xF8};
    stream.insert(stream.end(), next, next + 4);
    CollectingSink sink;
    StreamSplitter s(&sink);
    s.Feed(stream);
    EXPECT_TRUE(sink.out.empty());
    const uint8_t content = 0x90;
    s.Feed(&content, 1);
    ASSERT_EQ(sink.out.size(), 1u);
    EXPECT_EQ(sink.out[0], Expected(first));
}

// The garbage count after feeding `stream` whole and one byte at a time;
// both must agree.
uint64_t GarbageBytes(const std::vector<uint8_t>& stream) {
    StreamSplitter whole;
    whole.Feed(stream);
    StreamSplitter bytewise;
    for (uint8_t b : stream)
        bytewise.Feed(&b, 1);
    EXPECT_EQ(whole.GetCounters().garbageBytes, bytewise.GetCounters().garbageBytes);
    return whole.GetCounters().garbageBytes;
}

// Start codes 00 00 01 FB, FC, FD and FF begin no frame the client takes:
// they end the open frame, and they and what follows them up to the next
// start code are dropped and counted, like the bytes before the first start
// code. Slice codes stay frame content.
TEST(StreamSplitter, BytesOutsideFramesAreDroppedAndCounted) {
    synth::Rng rng(11);
    const auto picture = test::LivePicture(rng, true, 16);  // holds slice codes 00 00 01 xx
    const auto update = test::LivePicture(rng, false, 8);
    const auto sound = test::SoundFrame(40);
    const auto status = ControlMessage(7, {0x0042});
    const std::vector<uint8_t> lead = {0x11, 0x00, 0x00, 0x01, 0x22, 0x00, 0x00};
    auto Junk = [](uint8_t code, size_t extra) {
        std::vector<uint8_t> j = {0x00, 0x00, 0x01, code};
        for (size_t i = 0; i < extra; ++i)
            j.push_back(static_cast<uint8_t>(0x30 + i));
        return j;
    };
    struct Case {
        const char* name;
        std::vector<std::vector<uint8_t>> parts;
        std::vector<Handed> expected;
        uint64_t garbage;
    };
    const std::vector<Case> cases = {
        {"clean stream", {picture, sound, update}, {Expected(picture), Expected(sound), Expected(update)}, 0},
        {"lead bytes", {lead, picture}, {Expected(picture)}, lead.size()},
        {"after a picture", {picture, Junk(0xFB, 9), update}, {Expected(picture), Expected(update)}, 13},
        {"after sound", {sound, Junk(0xFC, 3), picture}, {Expected(sound), Expected(picture)}, 7},
        {"every unknown code", {update, Junk(0xFD, 0), Junk(0xFF, 2), Junk(0xFB, 1), sound},
         {Expected(update), Expected(sound)}, 4 + 6 + 5},
        {"control message inside garbage", {picture, Junk(0xFB, 5), status, Junk(0xFF, 0), update},
         {Expected(picture), Expected(status), Expected(update)}, 9 + 4},
        {"garbage code inside the skipped sound bytes",
         {{0x00, 0x00, 0x01, 0xFA, 0xFF}, Junk(0xFD, 2), picture},
         {{Handed::Audio, {}}, Expected(picture)}, 6},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        std::vector<uint8_t> stream;
        for (const auto& part : k.parts)
            Append(stream, part);
        Append(stream, test::Terminator());
        ExpectAllChunkings(stream, k.expected, 11);
        EXPECT_EQ(GarbageBytes(stream), k.garbage);
    }
}

TEST(StreamSplitter, ControlMessagesInsideFramesLeaveTheFramesUnchanged) {
    const uint64_t seed = Seed();
    synth::Rng rng(seed);
    for (int round = 0; round < 6; ++round) {
        TestStream t = MakeStream(rng, 16);
        // Rebuild the stream with control messages at random places, inside
        // frames, right after start codes and inside the two bytes after a
        // sound start code.
        std::vector<uint8_t> stream(t.bytes.begin(), t.bytes.begin() + 37);
        std::vector<Handed> expected;
        int value = 0;
        for (const auto& f : t.frames) {
            std::vector<Handed> controls;
            size_t at = 0;
            const int inserts = static_cast<int>(rng.Below(3));
            std::vector<size_t> cuts;
            for (int k = 0; k < inserts; ++k)
                cuts.push_back(4 + rng.Below(static_cast<uint32_t>(f.size() - 3)));  // after its start code
            if (f[3] == 0xFA && rng.Below(2))
                cuts.push_back(4 + rng.Below(3));  // 4, 5 or 6: before or inside the skipped bytes
            std::sort(cuts.begin(), cuts.end());
            for (size_t cut : cuts) {
                stream.insert(stream.end(), f.begin() + at, f.begin() + cut);
                at = cut;
                const auto m = rng.Below(2) ? ControlMessage(7, {++value})
                                            : ControlMessage(8, {value, 1, 2, 3, 0xBEEF});
                Append(stream, m);
                controls.push_back(Expected(m));
            }
            stream.insert(stream.end(), f.begin() + at, f.end());
            // A frame is handed on at the first byte after the next start
            // code, so the messages inside it come before it.
            expected.insert(expected.end(), controls.begin(), controls.end());
            expected.push_back(Expected(f));
        }
        Append(stream, test::Terminator());
        ExpectAllChunkings(stream, expected, seed + round);
    }
}

TEST(StreamSplitter, ControlStartCodeSplitOverFeedsAndAtTheStartOfASoundFrame) {
    std::vector<uint8_t> sound = test::SoundFrame(20);
    const auto m = ControlMessage(11);
    // The message right after the sound start code: its start code would
    // otherwise count as the two skipped bytes.
    std::vector<uint8_t> stream(sound.begin(), sound.begin() + 4);
    Append(stream, m);
    stream.insert(stream.end(), sound.begin() + 4, sound.end());
    Append(stream, test::Terminator());
    ExpectAllChunkings(stream, {Expected(m), Expected(sound)}, 12);
}

TEST(StreamSplitter, ShortAndOverlongControlMessages) {
    synth::Rng rng(5);
    const auto picture = test::LivePicture(rng, true, 16);
    // Total below 8: handled after 8 bytes, the rest is frame content.
    std::vector<uint8_t> tiny = {0x00, 0x00, 0x01, 0xFE, '0', '0', '0', '4'};
    // Total 0x0500 (1280 bytes) is longer than the collector: skipped.
    std::vector<uint8_t> overlong = ControlMessage(8, std::vector<int>(317, 0x4141), 0x500);
    ASSERT_EQ(overlong.size(), 1280u);
    // Total exactly 1024: kept.
    std::vector<uint8_t> largest = ControlMessage(7, std::vector<int>(253, 0x4242), 1024);
    ASSERT_EQ(largest.size(), 1024u);
    // Not hex: total reads 0.
    std::vector<uint8_t> nohex = {0x00, 0x00, 0x01, 0xFE, 'x', '0', '1', '0'};

    std::vector<uint8_t> stream(picture.begin(), picture.begin() + 30);
    Append(stream, tiny);
    Append(stream, overlong);
    stream.insert(stream.end(), picture.begin() + 30, picture.begin() + 60);
    Append(stream, largest);
    Append(stream, nohex);
    stream.insert(stream.end(), picture.begin() + 60, picture.end());
    Append(stream, test::Terminator());

    CollectingSink sink;
    StreamSplitter s(&sink);
    s.Feed(stream);
    const std::vector<Handed> expected = {{Handed::Control, tiny}, {Handed::Control, largest},
                                          {Handed::Control, nohex}, Expected(picture)};
    EXPECT_EQ(sink.out, expected);
    EXPECT_EQ(s.GetCounters().controlTooLong, 1u);
    ExpectAllChunkings(stream, expected, 13);
}

TEST(StreamSplitter, OversizeFramesAreDroppedAndCountedWithoutOverrun) {
    synth::Rng rng(6);
    // Largest kept picture: exactly 131072 bytes; one more byte is too long.
    auto Picture = [&](size_t total) {
        std::vector<uint8_t> f = {0x00, 0x00, 0x01, 0xF9, 0x85};
        while (f.size() < total)
            f.push_back(static_cast<uint8_t>(0x20 + rng.Below(200)));
        return f;
    };
    const auto fits = Picture(StreamSplitter::kVideoCapacity);
    const auto tooLong = Picture(StreamSplitter::kVideoCapacity + 1);
    const auto huge = Picture(3 * StreamSplitter::kVideoCapacity);
    // Sound payload of exactly 4096 bytes is kept, 4097 is not.
    const auto soundFits = test::SoundFrame(StreamSplitter::kAudioCapacity);
    const auto soundTooLong = test::SoundFrame(StreamSplitter::kAudioCapacity + 1);
    const auto after = test::LivePicture(rng, false);

    std::vector<uint8_t> stream;
    for (const auto* f : {&fits, &tooLong, &huge, &soundFits, &soundTooLong, &after})
        Append(stream, *f);
    Append(stream, test::Terminator());

    CollectingSink sink;
    StreamSplitter s(&sink);
    s.Feed(stream);
    const std::vector<Handed> expected = {Expected(fits), Expected(soundFits), Expected(after)};
    EXPECT_EQ(sink.out, expected);
    EXPECT_EQ(s.GetCounters().videoTooLong, 2u);
    EXPECT_EQ(s.GetCounters().audioTooLong, 1u);
    EXPECT_EQ(SplitBytewise(stream), expected);
}

TEST(StreamSplitter, EmptyFramesAndStartCodesBackToBack) {
    std::vector<uint8_t> stream = {0x00, 0x00, 0x01, 0xF8,              // empty picture
                                   0x00, 0x00, 0x01, 0xFA,              // sound ended at once
                                   0x00, 0x00, 0x01, 0xFA, 0x07,        // sound ended inside its skipped bytes
                                   0x00, 0x00, 0x01, 0xFA, 0x01, 0x02, 0x03, 0x00, 0x00, 0x01, 0xF9, 0x85};
    Append(stream, test::Terminator());
    const std::vector<Handed> expected = {{Handed::Video, {0x00, 0x00, 0x01, 0xF8}},
                                          {Handed::Audio, {}},
                                          {Handed::Audio, {}},
                                          {Handed::Audio, {0x03}},
                                          {Handed::Video, {0x00, 0x00, 0x01, 0xF9, 0x85}}};
    ExpectAllChunkings(stream, expected, 14);
}

// Arbitrary bytes rich in start codes: any chunking gives the same output,
// and nothing handed on exceeds its bound.
TEST(StreamSplitter, GarbageGivesTheSameOutputInEveryChunking) {
    const uint64_t seed = Seed();
    synth::Rng rng(seed);
    static const uint8_t kCodes[] = {0xF8, 0xF9, 0xFA, 0xFE, 0xFB, 0x01, 0x00};
    for (int round = 0; round < 20; ++round) {
        std::vector<uint8_t> stream;
        const size_t size = 2000 + rng.Below(20000);
        while (stream.size() < size) {
            const uint32_t r = rng.Below(10);
            if (r < 3) {
                stream.insert(stream.end(), {0x00, 0x00, 0x01, kCodes[rng.Below(7)]});
            } else if (r == 3) {
                uint8_t hex[4];
                WriteHexField(hex, static_cast<int>(rng.Below(40)));
                stream.insert(stream.end(), hex, hex + 4);
            } else {
                stream.push_back(static_cast<uint8_t>(rng.Below(4) == 0 ? 0 : rng.Below(256)));
            }
        }
        const auto whole = SplitWhole(stream);
        for (const auto& h : whole) {
            if (h.kind == Handed::Video) {
                ASSERT_GE(h.bytes.size(), 4u);
                ASSERT_TRUE(h.bytes[3] == 0xF8 || h.bytes[3] == 0xF9);
            }
            if (h.kind == Handed::Control) {
                ASSERT_GE(h.bytes.size(), 8u);
                ASSERT_LE(h.bytes.size(), 1024u);
                ASSERT_EQ(h.bytes[3], 0xFE);
            }
        }
        ASSERT_EQ(SplitBytewise(stream), whole) << "seed " << seed << " round " << round;
        for (uint32_t maxChunk : {3u, 64u, 3000u})
            ASSERT_EQ(SplitRandomly(stream, rng, maxChunk), whole) << "seed " << seed << " round " << round;
    }
}

}  // namespace
}  // namespace zo::net
