#include "media/CZoFileWrite.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <set>

#include "codec/CZoVdec.h"
#include "media/CZoFile.h"
#include "synth/FrameMaker.h"
#include "synth/Scene.h"
#include "synth/VideoEncoder.h"

namespace zo::media {
namespace {

namespace fs = std::filesystem;

constexpr uint32_t kT0 = 1237034096;  // 2009-03-14 12:34:56

class FixedTime final : public LocalTimeSource {
public:
    int64_t LocalSecondsNow() override { return seconds; }
    int64_t seconds = kT0;
};

// Keeps the file in memory; refuses the paths in `existing` with EEXIST and,
// with a budget, writes only that many bytes and then fails with ENOSPC.
class MemorySink final : public RecordingSink {
public:
    struct State {
        std::vector<uint8_t> bytes;
        std::vector<std::string> created;
        std::set<std::string> existing;
        int64_t budget = -1;  // bytes the disk still takes; -1 no limit
        bool open = false;
        int syncs = 0;
    };
    explicit MemorySink(State* state) : s_(state) {}
    int Create(const std::string& path) override {
        if (s_->existing.count(path))
            return EEXIST;
        s_->created.push_back(path);
        s_->bytes.clear();
        s_->open = true;
        return 0;
    }
    int Write(const uint8_t* data, size_t size) override {
        size_t n = size;
        if (s_->budget >= 0 && static_cast<int64_t>(n) > s_->budget)
            n = static_cast<size_t>(s_->budget);
        s_->bytes.insert(s_->bytes.end(), data, data + n);
        if (s_->budget >= 0)
            s_->budget -= static_cast<int64_t>(n);
        return n == size ? 0 : ENOSPC;
    }
    int Truncate(uint64_t size) override {
        s_->bytes.resize(size);
        return 0;
    }
    int Sync() override {
        ++s_->syncs;
        return 0;
    }
    int Close() override {
        s_->open = false;
        return 0;
    }

private:
    State* s_;
};

std::vector<uint8_t> ReadFileBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The stream bytes of a recording whose every block header must be valid
// under `code`, with the header of each block.
struct Unpacked {
    std::vector<uint8_t> stream;
    std::vector<BlockHeader> headers;
};
Unpacked Unpack(const std::vector<uint8_t>& file, int code) {
    Unpacked u;
    EXPECT_EQ(file.size() % kBlockSize, 0u);
    for (size_t at = 0; at + kBlockSize <= file.size(); at += kBlockSize) {
        u.headers.push_back(DecodeBlockHeader(file.data() + at, code));
        EXPECT_TRUE(u.headers.back().valid) << "block " << at / kBlockSize;
        u.stream.insert(u.stream.end(), file.begin() + static_cast<long>(at + kBlockHeaderSize),
                        file.begin() + static_cast<long>(at + kBlockSize));
    }
    return u;
}

// A code-2 picture of placeholder slices, padded to `length` bytes if given.
std::vector<uint8_t> LiveFrame(bool key, int counter, size_t length = 0, int quantiser = 5) {
    static synth::Rng rng(7);
    synth::PictureLayout layout;
    layout.videoCode = kVideoZON;
    layout.key = key;
    layout.quantiser = quantiser;
    layout.pictureCounter = counter;
    std::vector<uint8_t> frame = synth::MakeVideoFrame(layout, rng);
    if (length)
        frame.resize(length, 0x55);
    return frame;
}

// What a code-2 picture becomes under code 6: the start code follows the key
// bit, the quantiser moves to bits 4-7, the channel is 0, the rest is kept.
std::vector<uint8_t> AsCode6(std::vector<uint8_t> f) {
    const bool key = (f[4] & 0x80) != 0;
    f[3] = key ? 0xF9 : 0xF8;
    f[4] = static_cast<uint8_t>((f[4] & 0x78) << 1);
    return f;
}

std::vector<uint8_t> Tone(size_t samples, uint64_t first) {
    std::vector<uint8_t> payload;
    synth::AppendToneSpcm8(payload, 700, 16000, first, samples);
    return payload;
}

class FileWriteTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("zo-filewrite-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }

    // A writer on memory, code 2 to code 6, started.
    std::unique_ptr<CZoFileWrite> MemoryWriter(int fileCode = kVideoZOC) {
        auto w = std::make_unique<CZoFileWrite>(std::make_unique<MemorySink>(&sink), &clock, &messages);
        EXPECT_EQ(w->Init(kVideoZON, fileCode, 4), 1);
        EXPECT_EQ(w->StartRecording("/mem/rec.ZRF"), 1);
        return w;
    }

    fs::path dir;
    FixedTime clock;
    MemorySink::State sink;
    platform::RecordingMessagePort messages;
};

// ---------------------------------------------------------------------------
// A live stream recorded under code 6 and read back with the reader.

struct Fed {
    bool sound = false;
    std::vector<uint8_t> stored;   // the frame as the file must hold it
    std::vector<uint8_t> original; // the live frame (video)
    uint64_t stream = 0;           // stream offset of its start code
    uint32_t callSeconds = 0;      // clock during its write call
};

TEST_F(FileWriteTest, LiveStreamReadsBackUnderCode6WithBytesChannelTimeAndPictures) {
    CZoFileWrite writer(nullptr, &clock);
    ASSERT_EQ(writer.Init(kVideoZON, kVideoZOC, 4), 1);

    synth::VideoEncoder encoder;
    std::vector<uint8_t> picture(codec::kMaxDecodedPictureBytes);
    std::vector<Fed> fed;
    uint64_t stream = 0;
    int counter = 65500;  // wraps during the recording
    int videoRefused = 0, soundRefused = 0;

    std::string path;
    for (int i = 0; i < 40; ++i) {
        clock.seconds = kT0 + i / 3;
        if (i == 3) {
            // Recording begins on an update picture; the key picture before
            // it was not recorded.
            ASSERT_EQ(writer.StartRecordingInFolder(dir.string()), 1);
            path = writer.GetPath();
            EXPECT_EQ(fs::path(path).filename().string(), "20090314-123457.ZRF");
        }
        counter = (counter + 1 + (i % 4 == 0 ? 1 : 0)) & 0xFFFF;
        synth::RenderScene(picture.data(), 224, 0, static_cast<uint64_t>(i), kT0);
        synth::PictureHeader header;
        header.videoCode = kVideoZON;
        header.quantiser = 3 + i % 5;
        header.pictureCounter = counter;
        std::vector<uint8_t> live;
        ASSERT_TRUE(encoder.Encode(picture.data(), 224, i % 8 == 0, header, live));
        const int stored = writer.WriteVideoFrame(live.data(), live.size());
        if (i < 8) {
            EXPECT_EQ(stored, 0) << i;
            videoRefused += i >= 3;
        } else {
            ASSERT_EQ(stored, 1) << i;
            fed.push_back({false, AsCode6(live), live, stream, static_cast<uint32_t>(clock.seconds)});
            stream += live.size();
        }
        if (i % 3 == 0) {
            const std::vector<uint8_t> tone = Tone(300 + 97 * (i % 7), static_cast<uint64_t>(i) * 1000);
            const int soundStored = writer.WriteSoundFrame(tone.data(), tone.size());
            if (i < 8) {
                EXPECT_EQ(soundStored, 0);
                soundRefused += i >= 3;
            } else {
                ASSERT_EQ(soundStored, 1);
                std::vector<uint8_t> frame = synth::MakeSoundFrame(0, tone);
                fed.push_back({true, tone, {}, stream, static_cast<uint32_t>(clock.seconds)});
                stream += frame.size();
            }
        }
        if (path.empty())
            continue;
        // The file on disk holds whole blocks only, as counted.
        EXPECT_EQ(fs::file_size(path), writer.GetStats().bytesWritten);
        EXPECT_EQ(fs::file_size(path) % kBlockSize, 0u);
    }
    const FileWriteStats stats = writer.GetStats();
    EXPECT_EQ(writer.StopRecording(), 1);
    EXPECT_EQ(writer.IsRecording(), 0);

    const uint64_t blocks = (stream + kBlockDataSize - 1) / kBlockDataSize;
    EXPECT_EQ(fs::file_size(path), blocks * kBlockSize);
    EXPECT_EQ(writer.GetStats().bytesWritten, blocks * kBlockSize);
    EXPECT_EQ(stats.framesDropped, static_cast<uint64_t>(videoRefused + soundRefused));
    EXPECT_EQ(stats.framesBeforeKey, stats.framesDropped);
    EXPECT_EQ(stats.videoFramesWritten + stats.soundFramesWritten, fed.size());

    // The stream is every frame back to back, then zero fill; block times
    // are big-endian, channel bits 1 (bytes 00 01).
    const std::vector<uint8_t> file = ReadFileBytes(path);
    EXPECT_EQ(file[4], 0x00);
    EXPECT_EQ(file[5], 0x01);
    EXPECT_EQ(file[0], 0x49);  // big-endian time
    Unpacked u = Unpack(file, kVideoZOC);
    std::vector<uint8_t> expected;
    for (const Fed& f : fed) {
        if (f.sound)
            expected.insert(expected.end(), {0x00, 0x00, 0x01, 0xFA, 0xFF, 0xFF});
        expected.insert(expected.end(), f.stored.begin(), f.stored.end());
    }
    expected.resize(u.stream.size(), 0);
    EXPECT_TRUE(u.stream == expected);

    // Each block carries the time of the call that began it.
    auto beganAt = [&](uint64_t streamOffset) {
        uint32_t t = 0;
        for (const Fed& f : fed)
            if (f.stream <= streamOffset)
                t = f.callSeconds;
        return t;
    };
    for (size_t b = 0; b < u.headers.size(); ++b)
        EXPECT_EQ(u.headers[b].timeSeconds, beganAt(b * kBlockDataSize)) << "block " << b;

    // The reader delivers every frame but the last (which no start code
    // ends), each with its bytes, kind, channel and time, and the pictures
    // decode under code 6 to what the live frames decode to under code 2.
    CZoFile reader;
    reader.SetFormat(kVideoZOC);
    ASSERT_EQ(reader.Open(path, false), 1);
    std::vector<uint8_t> buffer(kMaxFrameSize);
    codec::CZoVdec liveDecoder, fileDecoder;
    liveDecoder.Init(kVideoZON);
    fileDecoder.Init(kVideoZOC);
    std::vector<uint8_t> livePicture(codec::kMaxDecodedPictureBytes), filePicture(codec::kMaxDecodedPictureBytes);
    ASSERT_GE(fed.size(), 20u);
    for (size_t i = 0; i + 1 < fed.size(); ++i) {
        const int n = reader.ReadNextFrame(buffer);
        ASSERT_EQ(n, static_cast<int>(fed[i].stored.size())) << i;
        EXPECT_TRUE(std::equal(fed[i].stored.begin(), fed[i].stored.end(), buffer.begin())) << i;
        EXPECT_EQ(reader.IsAudio(), fed[i].sound) << i;
        EXPECT_EQ(reader.Channel(), 0) << i;
        // The time of the block that holds the next frame's start code.
        const uint64_t nextCodeEnd = fed[i + 1].stream + 3;
        EXPECT_EQ(UnixSecondsFromCalendar(reader.Time()), beganAt(nextCodeEnd / kBlockDataSize * kBlockDataSize))
            << i;
        if (fed[i].sound)
            continue;
        ASSERT_GT(fileDecoder.ParseHeader(buffer.data(), static_cast<size_t>(n)), 0) << i;
        ASSERT_GT(liveDecoder.ParseHeader(fed[i].original.data(), fed[i].original.size()), 0) << i;
        EXPECT_EQ(fileDecoder.IsKey(), liveDecoder.IsKey()) << i;
        EXPECT_EQ(fileDecoder.Quantiser(), liveDecoder.Quantiser()) << i;
        EXPECT_EQ(fileDecoder.GetChannel(), 0);
        ASSERT_EQ(fileDecoder.DecodePicture(buffer.data(), static_cast<size_t>(n), filePicture.data()), 1) << i;
        ASSERT_EQ(liveDecoder.DecodePicture(fed[i].original.data(), fed[i].original.size(), livePicture.data()), 1)
            << i;
        EXPECT_TRUE(livePicture == filePicture) << "picture " << i;
    }
    EXPECT_FALSE(fed.front().sound);
    EXPECT_EQ(fed.front().stored[3], 0xF9);  // the file begins with a key picture
    // The stop completed the last block with zero fill: the last frame comes
    // too, without trailing zero bytes (which it may have had of its own).
    std::vector<uint8_t> last = fed.back().stored;
    while (last.size() > 4 && last.back() == 0)
        last.pop_back();
    ASSERT_EQ(reader.ReadNextFrame(buffer), static_cast<int>(last.size()));
    EXPECT_TRUE(std::equal(last.begin(), last.end(), buffer.begin()));
    EXPECT_EQ(reader.ReadNextFrame(buffer), 0);
}

// ---------------------------------------------------------------------------
// Block layout and the completion at stop.

TEST_F(FileWriteTest, BlockLayoutAndPaddingAtStop) {
    {
        // A 10000-byte frame fills the data of blocks 0 and 1 and 1824 bytes of
        // block 2; the stop pads block 2 with zeros.
        auto w = MemoryWriter();
        const std::vector<uint8_t> frame = LiveFrame(true, 10, 10000);
        ASSERT_EQ(w->WriteVideoFrame(frame.data(), frame.size()), 1);
        EXPECT_EQ(w->GetStats().bytesWritten, 2 * kBlockSize);  // block 2 still being filled
        EXPECT_EQ(sink.bytes.size(), 2 * kBlockSize);
        EXPECT_EQ(w->StopRecording(), 1);
        EXPECT_EQ(sink.syncs, 1);
        EXPECT_FALSE(sink.open);
        ASSERT_EQ(sink.bytes.size(), 3 * kBlockSize);
        const Unpacked u = Unpack(sink.bytes, kVideoZOC);
        const std::vector<uint8_t> stored = AsCode6(frame);
        EXPECT_TRUE(std::equal(stored.begin(), stored.end(), u.stream.begin()));
        EXPECT_TRUE(std::all_of(u.stream.begin() + 10000, u.stream.end(), [](uint8_t b) { return b == 0; }));
        // The first block begins with the key picture right after its header.
        EXPECT_EQ(sink.bytes[8 + 3], 0xF9);
        for (const BlockHeader& h : u.headers) {
            EXPECT_EQ(h.timeSeconds, kT0);
            EXPECT_EQ(h.channelBits, 1);
        }
    }
    {
        // 5000 bytes pad to 8192.
        auto w = MemoryWriter();
        const std::vector<uint8_t> frame = LiveFrame(true, 10, 5000 - 8);
        ASSERT_EQ(w->WriteVideoFrame(frame.data(), frame.size()), 1);
        EXPECT_EQ(w->StopRecording(), 1);
        EXPECT_EQ(sink.bytes.size(), 8192u);
        EXPECT_EQ(w->StopRecording(), 0);  // nothing running any more
        EXPECT_EQ(sink.bytes.size(), 8192u);
    }
    {
        // A frame that ends exactly on a block boundary: the sound frame after
        // it begins the next block right after its header, which carries the
        // time of the sound call. An empty recording writes nothing at stop.
        auto w = MemoryWriter();
        const std::vector<uint8_t> frame = LiveFrame(true, 10, kBlockDataSize);
        ASSERT_EQ(w->WriteVideoFrame(frame.data(), frame.size()), 1);
        EXPECT_EQ(sink.bytes.size(), kBlockSize);
        clock.seconds = kT0 + 5;
        const std::vector<uint8_t> tone = Tone(100, 0);
        ASSERT_EQ(w->WriteSoundFrame(tone.data(), tone.size()), 1);
        EXPECT_EQ(w->StopRecording(), 1);
        ASSERT_EQ(sink.bytes.size(), 2 * kBlockSize);
        const uint8_t* next = sink.bytes.data() + kBlockSize;
        EXPECT_EQ(DecodeBlockHeader(next, kVideoZOC).timeSeconds, kT0 + 5);
        EXPECT_EQ(std::vector<uint8_t>(next + 8, next + 14), (std::vector<uint8_t>{0, 0, 1, 0xFA, 0xFF, 0xFF}));
        EXPECT_TRUE(std::equal(tone.begin(), tone.end(), next + 14));

        clock.seconds = kT0;
        ASSERT_EQ(w->StartRecording("/mem/empty.ZRF"), 1);
        EXPECT_EQ(w->StopRecording(), 1);
        EXPECT_TRUE(sink.bytes.empty());
    }
}

TEST_F(FileWriteTest, DestructorCompletesARunningRecording) {
    {
        auto w = MemoryWriter();
        const std::vector<uint8_t> frame = LiveFrame(true, 1, 6000);
        ASSERT_EQ(w->WriteVideoFrame(frame.data(), frame.size()), 1);
    }
    EXPECT_EQ(sink.bytes.size(), 2 * kBlockSize);
    EXPECT_FALSE(sink.open);
    Unpack(sink.bytes, kVideoZOC);
}

// ---------------------------------------------------------------------------
// Header conversion and the start at the first key picture.

TEST_F(FileWriteTest, StartsAtTheFirstKeyPictureAndMarksKeyAndUpdatePicturesBothWays) {
    auto w = MemoryWriter();
    const std::vector<uint8_t> tone = Tone(50, 0);
    std::vector<uint8_t> update = LiveFrame(false, 1);
    EXPECT_EQ(w->WriteVideoFrame(update.data(), update.size()), 0);
    EXPECT_EQ(w->WriteSoundFrame(tone.data(), tone.size()), 0);
    // Start code F9 without the key bit is still an update picture.
    std::vector<uint8_t> misleading = LiveFrame(false, 2);
    misleading[3] = 0xF9;
    EXPECT_EQ(w->WriteVideoFrame(misleading.data(), misleading.size()), 0);
    EXPECT_EQ(w->GetStats().framesBeforeKey, 3u);

    // The key bit with start code F8 is a key picture and begins the file.
    std::vector<uint8_t> key = LiveFrame(true, 3, 0, 9);
    key[3] = 0xF8;
    key[4] |= 0x07;  // bits 0-2 carry nothing over
    const std::vector<uint8_t> keyCopy = key;
    ASSERT_EQ(w->WriteVideoFrame(key.data(), key.size()), 1);
    EXPECT_EQ(key, keyCopy);  // the caller's bytes are left alone
    ASSERT_EQ(w->WriteVideoFrame(misleading.data(), misleading.size()), 1);
    ASSERT_EQ(w->WriteSoundFrame(tone.data(), tone.size()), 1);
    EXPECT_EQ(w->StopRecording(), 1);

    const Unpacked u = Unpack(sink.bytes, kVideoZOC);
    VideoHeader h;
    ASSERT_TRUE(ParseVideoHeader(u.stream.data(), key.size(), kVideoZOC, h));
    EXPECT_EQ(u.stream[3], 0xF9);
    EXPECT_TRUE(h.key);
    EXPECT_EQ(h.quantiser, 9);
    EXPECT_EQ(h.channel, 0);
    const uint8_t* second = u.stream.data() + key.size();
    ASSERT_TRUE(ParseVideoHeader(second, misleading.size(), kVideoZOC, h));
    EXPECT_EQ(second[3], 0xF8);
    EXPECT_FALSE(h.key);
    EXPECT_EQ(w->GetStats().videoFramesWritten, 2u);
    EXPECT_EQ(w->GetStats().soundFramesWritten, 1u);
}

TEST_F(FileWriteTest, ConvertsToEveryFileCodeSoTheDecoderReadsTheSamePicture) {
    synth::VideoEncoder encoder;
    std::vector<uint8_t> picture(codec::kMaxDecodedPictureBytes);
    synth::RenderScene(picture.data(), 272, 0, 0, kT0);
    synth::PictureHeader header;
    header.videoCode = kVideoZON;
    header.quantiser = 6;
    header.pictureCounter = 0x9ABC;  // byte 5 would read as a dual picture under code 5
    std::vector<uint8_t> live;
    ASSERT_TRUE(encoder.Encode(picture.data(), 272, true, header, live));
    codec::CZoVdec liveDecoder;
    liveDecoder.Init(kVideoZON);
    std::vector<uint8_t> want(codec::kMaxDecodedPictureBytes), got(codec::kMaxDecodedPictureBytes);
    ASSERT_GT(liveDecoder.ParseHeader(live.data(), live.size()), 0);
    ASSERT_EQ(liveDecoder.DecodePicture(live.data(), live.size(), want.data()), 1);

    for (int code = 1; code < kVideoCodeCount; ++code) {
        SCOPED_TRACE(code);
        auto w = MemoryWriter(code);
        ASSERT_EQ(w->WriteVideoFrame(live.data(), live.size()), 1);
        ASSERT_EQ(w->StopRecording(), 1);
        const Unpacked u = Unpack(sink.bytes, code);
        codec::CZoVdec decoder;
        decoder.Init(code);
        ASSERT_GT(decoder.ParseHeader(u.stream.data(), live.size()), 0);
        EXPECT_TRUE(decoder.IsKey());
        EXPECT_FALSE(decoder.IsDual());
        EXPECT_EQ(decoder.GetChannel(), 0);
        EXPECT_EQ(decoder.Quantiser(), 6);
        ASSERT_EQ(decoder.DecodePicture(u.stream.data(), live.size(), got.data()), 1);
        EXPECT_TRUE(got == want);
    }
}

// ---------------------------------------------------------------------------
// The record interval from the picture counters.

TEST_F(FileWriteTest, RecordIntervalFollowsThePictureCounter) {
    auto w = MemoryWriter();
    struct Step {
        int counter;
        int interval;
    };
    // Frames of one whole block's data each, so every frame begins a block.
    auto feed = [&](std::initializer_list<Step> steps) {
        for (const Step& s : steps) {
            const std::vector<uint8_t> f = LiveFrame(true, s.counter, kBlockDataSize);
            ASSERT_EQ(w->WriteVideoFrame(f.data(), f.size()), 1);
            EXPECT_EQ(w->GetInterval(), s.interval) << "counter " << s.counter;
            EXPECT_EQ(DecodeBlockHeader(sink.bytes.data() + sink.bytes.size() - kBlockSize, kVideoZOC).interval,
                      s.interval)
                << "counter " << s.counter;
        }
    };
    feed({{100, 1}, {101, 1}, {103, 2}});
    feed({{103, 1}});                          // repeated counter
    feed({{65534, 1}});                        // a jump no 7-bit interval holds: kept
    feed({{65535, 1}, {0, 1}, {2, 2}});        // wrap
    feed({{40, 38}, {167, 127}});              // large steps up to 127
    feed({{20, 127}, {23, 3}});                // backwards: kept, then counted again
    feed({{23 + 128, 3}});                     // a gap of 128: kept
}

TEST_F(FileWriteTest, FirstStoredPictureAfterALargeGapHasIntervalOne) {
    auto w = MemoryWriter();
    const std::vector<uint8_t> update = LiveFrame(false, 10);
    EXPECT_EQ(w->WriteVideoFrame(update.data(), update.size()), 0);
    const std::vector<uint8_t> key = LiveFrame(true, 40, kBlockDataSize);  // step 30
    ASSERT_EQ(w->WriteVideoFrame(key.data(), key.size()), 1);
    EXPECT_EQ(DecodeBlockHeader(sink.bytes.data(), kVideoZOC).interval, 1);
    const std::vector<uint8_t> next = LiveFrame(false, 60, kBlockDataSize);  // step 20, now recorded
    ASSERT_EQ(w->WriteVideoFrame(next.data(), next.size()), 1);
    EXPECT_EQ(DecodeBlockHeader(sink.bytes.data() + kBlockSize, kVideoZOC).interval, 20);

    // A new recording does not take its first step from the last one's counter.
    ASSERT_EQ(w->StopRecording(), 1);
    ASSERT_EQ(w->StartRecording("/mem/second.ZRF"), 1);
    const std::vector<uint8_t> again = LiveFrame(true, 63, kBlockDataSize);
    ASSERT_EQ(w->WriteVideoFrame(again.data(), again.size()), 1);
    EXPECT_EQ(DecodeBlockHeader(sink.bytes.data(), kVideoZOC).interval, 1);
}

// ---------------------------------------------------------------------------
// File code 0: calendar records, video and sound in blocks of their own.

TEST_F(FileWriteTest, FileCode0WritesCalendarRecordsAndSeparateSoundBlocks) {
    auto w = MemoryWriter(kVideoZO4);
    std::vector<uint8_t> frame = LiveFrame(true, 7, 5000);
    frame[4] |= 0x05;  // bits 0-2 would read as a channel under code 0: cleared
    const std::vector<uint8_t> tone = Tone(5000, 0);
    std::vector<uint8_t> counterStep = LiveFrame(false, 10, 100);  // interval 3
    ASSERT_EQ(w->WriteVideoFrame(frame.data(), frame.size()), 1);
    clock.seconds = kT0 + 1;
    ASSERT_EQ(w->WriteSoundFrame(tone.data(), tone.size()), 1);
    ASSERT_EQ(sink.bytes.size(), 2 * kBlockSize);  // one video and one sound block
    clock.seconds = kT0 + 2;
    ASSERT_EQ(w->WriteVideoFrame(counterStep.data(), counterStep.size()), 1);
    EXPECT_EQ(w->StopRecording(), 1);
    ASSERT_EQ(sink.bytes.size(), 4 * kBlockSize);  // the rest of both, padded

    const uint8_t* b = sink.bytes.data();
    // 2009-03-14 12:34:56: year 9, month 3 (+0x80 for sound), day 14, ...
    EXPECT_EQ(std::vector<uint8_t>(b, b + 8), (std::vector<uint8_t>{9, 3, 14, 12, 34, 56, 1, 1}));
    EXPECT_EQ(std::vector<uint8_t>(b + 4096, b + 4104), (std::vector<uint8_t>{9, 0x83, 14, 12, 34, 57, 1, 1}));
    EXPECT_EQ(std::vector<uint8_t>(b + 8192, b + 8200), (std::vector<uint8_t>{9, 3, 14, 12, 34, 58, 3, 1}));
    EXPECT_EQ(std::vector<uint8_t>(b + 12288, b + 12296), (std::vector<uint8_t>{9, 0x83, 14, 12, 34, 58, 3, 1}));

    std::vector<uint8_t> video(b + 8, b + 4096);
    video.insert(video.end(), b + 8200, b + 12288);
    std::vector<uint8_t> expectedVideo = frame;
    expectedVideo[4] = static_cast<uint8_t>(frame[4] & 0xF8);  // same layout, channel bits clear
    expectedVideo.insert(expectedVideo.end(), counterStep.begin(), counterStep.end());
    expectedVideo.resize(video.size(), 0);
    EXPECT_TRUE(video == expectedVideo);
    std::vector<uint8_t> sound(b + 4104, b + 8192);
    sound.insert(sound.end(), b + 12296, b + 16384);
    std::vector<uint8_t> expectedSound = tone;  // samples only, no start code
    expectedSound.resize(sound.size(), 0);
    EXPECT_TRUE(sound == expectedSound);
}

// ---------------------------------------------------------------------------
// Starting: names, collisions and failures.

TEST_F(FileWriteTest, RecordingsWithinOneSecondGetFreeNames) {
    EXPECT_EQ(CZoFileWrite::RecordingFileName(kT0), "20090314-123456.ZRF");
    EXPECT_EQ(CZoFileWrite::RecordingFileName(0), "19700101-000000.ZRF");

    CZoFileWrite writer(nullptr, &clock);
    const std::vector<uint8_t> frame = LiveFrame(true, 1, 5000);
    ASSERT_EQ(writer.StartRecordingInFolder(dir.string()), 1);
    const fs::path first = writer.GetPath();
    ASSERT_EQ(writer.WriteVideoFrame(frame.data(), frame.size()), 1);
    ASSERT_EQ(writer.StopRecording(), 1);
    const std::vector<uint8_t> firstBytes = ReadFileBytes(first);
    ASSERT_EQ(firstBytes.size(), 8192u);

    for (const char* name : {"20090314-123456-2.ZRF", "20090314-123456-3.ZRF"}) {
        ASSERT_EQ(writer.StartRecordingInFolder(dir.string() + "/"), 1);
        EXPECT_EQ(fs::path(writer.GetPath()).filename().string(), name);
        EXPECT_EQ(writer.StopRecording(), 1);
    }
    EXPECT_EQ(first.filename().string(), "20090314-123456.ZRF");
    EXPECT_EQ(ReadFileBytes(first), firstBytes);
    EXPECT_EQ(fs::file_size(dir / "20090314-123456-2.ZRF"), 0u);

    // The suffix goes before the extension of the name, not of a folder.
    sink.existing = {"/a.b/rec", "/a.b/rec.x.ZRF"};
    CZoFileWrite memory(std::make_unique<MemorySink>(&sink), &clock);
    ASSERT_EQ(memory.StartRecording("/a.b/rec"), 1);
    EXPECT_EQ(memory.GetPath(), "/a.b/rec-2");
    ASSERT_EQ(memory.StopRecording(), 1);
    ASSERT_EQ(memory.StartRecording("/a.b/rec.x.ZRF"), 1);
    EXPECT_EQ(memory.GetPath(), "/a.b/rec.x-2.ZRF");
}

TEST_F(FileWriteTest, AFailedStartIsReportedAndLaterWritesAreRefused) {
    // A regular file where the folder should be: no user may create in it.
    const fs::path notAFolder = dir / "plain";
    std::ofstream(notAFolder) << "x";
    CZoFileWrite writer(nullptr, &clock, &messages);
    EXPECT_EQ(writer.StartRecordingInFolder(notAFolder.string()), 0);
    EXPECT_EQ(writer.IsRecording(), 0);
    const std::string error = writer.GetLastErrorText();
    EXPECT_NE(error.find(notAFolder.string()), std::string::npos) << error;
    EXPECT_NE(error.find(std::strerror(ENOTDIR)), std::string::npos) << error;
    const std::vector<uint8_t> frame = LiveFrame(true, 1);
    EXPECT_EQ(writer.WriteVideoFrame(frame.data(), frame.size()), 0);
    EXPECT_EQ(writer.StopRecording(), 0);

    // Already recording: the running recording goes on.
    ASSERT_EQ(writer.StartRecording((dir / "a.ZRF").string()), 1);
    EXPECT_TRUE(writer.GetLastErrorText().empty());
    EXPECT_EQ(writer.StartRecording((dir / "b.ZRF").string()), 0);
    EXPECT_FALSE(writer.GetLastErrorText().empty());
    EXPECT_EQ(writer.IsRecording(), 1);
    EXPECT_EQ(writer.GetPath(), (dir / "a.ZRF").string());
    EXPECT_FALSE(fs::exists(dir / "b.ZRF"));
    // Codes do not change under a running recording.
    EXPECT_EQ(writer.Init(kVideoZON, kVideoZO4, 4), 0);
    EXPECT_EQ(writer.StopRecording(), 1);
    EXPECT_EQ(writer.Init(kVideoZON, 7, 4), 0);
    EXPECT_EQ(writer.Init(kVideoZON, kVideoZOC, 17), 0);
    EXPECT_TRUE(messages.Texts().empty());
}

// ---------------------------------------------------------------------------
// Hostile frames.

TEST_F(FileWriteTest, MalformedFramesAreRefusedAndLeaveTheFileWhole) {
    auto w = MemoryWriter();
    const std::vector<uint8_t> key = LiveFrame(true, 1);
    ASSERT_EQ(w->WriteVideoFrame(key.data(), key.size()), 1);

    std::vector<uint8_t> shortFrame(key.begin(), key.begin() + 6);
    EXPECT_EQ(w->WriteVideoFrame(shortFrame.data(), shortFrame.size()), 0);
    std::vector<uint8_t> sound = key;
    sound[3] = 0xFA;
    EXPECT_EQ(w->WriteVideoFrame(sound.data(), sound.size()), 0);
    std::vector<uint8_t> noStart = key;
    noStart[2] = 0x02;
    EXPECT_EQ(w->WriteVideoFrame(noStart.data(), noStart.size()), 0);
    std::vector<uint8_t> oversize = LiveFrame(true, 2, kMaxFrameSize + 1);
    EXPECT_EQ(w->WriteVideoFrame(oversize.data(), oversize.size()), 0);
    EXPECT_EQ(w->WriteVideoFrame(nullptr, 100), 0);
    std::vector<uint8_t> samples(kMaxFrameSize - 5, 0x11);
    EXPECT_EQ(w->WriteSoundFrame(samples.data(), samples.size()), 0);
    EXPECT_EQ(w->WriteSoundFrame(samples.data(), 0), 0);
    CZoSample lying;
    lying.data = samples.data();
    lying.capacity = 16;
    lying.length = 4096;
    EXPECT_EQ(w->WriteSoundFrame(lying), 0);
    EXPECT_EQ(w->WriteVideoFrame(lying), 0);
    EXPECT_EQ(w->GetStats().framesDropped, 7u);
    EXPECT_EQ(w->GetStats().framesBeforeKey, 0u);

    // The largest frames fit; a sample record is written like the raw call.
    std::vector<uint8_t> largest = LiveFrame(false, 3, kMaxFrameSize);
    EXPECT_EQ(w->WriteVideoFrame(largest.data(), largest.size()), 1);
    CZoSample sample;
    sample.data = samples.data();
    sample.capacity = static_cast<uint32_t>(samples.size());
    sample.length = static_cast<uint32_t>(kMaxFrameSize - 6);
    EXPECT_EQ(w->WriteSoundFrame(sample), 1);
    ASSERT_EQ(w->StopRecording(), 1);
    const Unpacked u = Unpack(sink.bytes, kVideoZOC);
    const std::vector<uint8_t> stored = AsCode6(key);
    EXPECT_TRUE(std::equal(stored.begin(), stored.end(), u.stream.begin()));
    EXPECT_EQ(u.stream[key.size() + 3], 0xF8);
    EXPECT_EQ(u.stream.size(), (key.size() + 2 * kMaxFrameSize + kBlockDataSize - 1) / kBlockDataSize *
                                   kBlockDataSize);
}

// ---------------------------------------------------------------------------
// A full disk.

TEST_F(FileWriteTest, AFullDiskStopsRecordingAndKeepsEveryWholeBlock) {
    sink.budget = 3 * kBlockSize + 100;  // the fourth block is written in part
    auto w = MemoryWriter();
    std::vector<std::vector<uint8_t>> frames;
    int stored = 0;
    for (int i = 0; i < 20; ++i) {
        frames.push_back(LiveFrame(i % 4 == 0, i + 1, 1500 + 10 * static_cast<size_t>(i)));
        const int r = w->WriteVideoFrame(frames.back().data(), frames.back().size());
        if (r == 0)
            break;
        ++stored;
    }
    // The call that met the full disk reports 0; recording has stopped.
    // Frames of about 1.5 KiB: the eleventh completes the fourth block, whose
    // write fails; the ninth and tenth were in that block and are lost.
    EXPECT_EQ(stored, 10);
    EXPECT_EQ(w->IsRecording(), 0);
    EXPECT_NE(w->GetLastErrorText().find(std::strerror(ENOSPC)), std::string::npos) << w->GetLastErrorText();
    EXPECT_NE(w->GetLastErrorText().find("/mem/rec.ZRF"), std::string::npos);
    EXPECT_EQ(messages.Texts(), std::vector<std::string>{"Record Write Error"});
    EXPECT_FALSE(sink.open);
    ASSERT_EQ(sink.bytes.size(), 3 * kBlockSize);  // the part block was cut off
    EXPECT_EQ(w->GetStats().bytesWritten, 3 * kBlockSize);
    EXPECT_EQ(w->GetStats().videoFramesWritten, 10u);
    EXPECT_EQ(w->GetStats().framesDropped, 1u);
    EXPECT_EQ(w->WriteVideoFrame(frames[0].data(), frames[0].size()), 0);
    EXPECT_EQ(w->StopRecording(), 0);
    EXPECT_EQ(messages.Texts().size(), 1u);  // reported once

    // Every block is valid and every frame whose end it holds reads back.
    const Unpacked u = Unpack(sink.bytes, kVideoZOC);
    EXPECT_EQ(u.headers.size(), 3u);
    CZoFile reader;
    reader.SetFormat(kVideoZOC);
    ASSERT_EQ(reader.OpenSource(std::make_unique<MemorySource>(sink.bytes), "full", false), 1);
    std::vector<uint8_t> buffer(kMaxFrameSize);
    size_t read = 0;
    for (int n; (n = reader.ReadNextFrame(buffer)) > 0; ++read) {
        const std::vector<uint8_t> want = AsCode6(frames[read]);
        ASSERT_EQ(n, static_cast<int>(want.size()));
        EXPECT_TRUE(std::equal(want.begin(), want.end(), buffer.begin()));
    }
    EXPECT_EQ(read, 7u);  // the eighth runs past the last block
}

TEST_F(FileWriteTest, DevFullGivesARealWriteFailure) {
    if (!fs::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full";
    CZoFileWrite writer(std::make_unique<FileSink>(FileSink::Mode::Replace), &clock, &messages);
    ASSERT_EQ(writer.StartRecording("/dev/full"), 1);
    const std::vector<uint8_t> small = LiveFrame(true, 1, 1000);
    EXPECT_EQ(writer.WriteVideoFrame(small.data(), small.size()), 1);  // still in the block buffer
    const std::vector<uint8_t> big = LiveFrame(false, 2, 5000);
    EXPECT_EQ(writer.WriteVideoFrame(big.data(), big.size()), 0);
    EXPECT_EQ(writer.IsRecording(), 0);
    EXPECT_NE(writer.GetLastErrorText().find(std::strerror(ENOSPC)), std::string::npos) << writer.GetLastErrorText();
    EXPECT_EQ(messages.Texts(), std::vector<std::string>{"Record Write Error"});
    EXPECT_EQ(writer.GetStats().bytesWritten, 0u);
}

TEST_F(FileWriteTest, AFullDiskAtStopIsReported) {
    sink.budget = 100;
    auto w = MemoryWriter();
    const std::vector<uint8_t> frame = LiveFrame(true, 1, 1000);
    ASSERT_EQ(w->WriteVideoFrame(frame.data(), frame.size()), 1);
    EXPECT_EQ(w->StopRecording(), 0);
    EXPECT_EQ(w->IsRecording(), 0);
    EXPECT_TRUE(sink.bytes.empty());
    EXPECT_FALSE(sink.open);
    EXPECT_EQ(messages.Texts(), std::vector<std::string>{"Record Write Error"});
}

// ---------------------------------------------------------------------------
// Block times are the local wall-clock time, counted as universal time.

TEST(SystemLocalTimeTest, AddsTheZoneOffsetSoReadersShowLocalTime) {
    const char* old = std::getenv("TZ");
    const std::string saved = old ? old : "";
    ::setenv("TZ", "XYZ-3", 1);  // three hours east of universal time
    ::tzset();
    SystemLocalTime local;
    const int64_t before = static_cast<int64_t>(::time(nullptr));
    const int64_t shown = local.LocalSecondsNow();
    const int64_t after = static_cast<int64_t>(::time(nullptr));
    if (old)
        ::setenv("TZ", saved.c_str(), 1);
    else
        ::unsetenv("TZ");
    ::tzset();
    EXPECT_GE(shown, before + 3 * 3600);
    EXPECT_LE(shown, after + 3 * 3600);
}

}  // namespace
}  // namespace zo::media
