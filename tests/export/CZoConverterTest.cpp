// The export engine: output names, the scan and its timing models, sound
// routing, the replace question, and whole exports checked with ffprobe.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <optional>
#include <thread>

#include "export/CZoConverter.h"
#include "export/EncoderRegistry.h"
#include "export/ExportTestSupport.h"
#include "synth/FrameMaker.h"
#include "synth/RecordingBuilder.h"
#include "support/TestRecordings.h"

namespace {

using namespace zo;
using namespace zo::exporter;
namespace fs = std::filesystem;

class Converter : public ::testing::Test {
protected:
    void SetUp() override {
        dir = test::MakeTempDir("conv");
        FreeOptions();
    }
    void TearDown() override {
        FreeOptions();
        fs::remove_all(dir);
    }

    // Prepares an export of `recording` to dir/out.avi; the converter is
    // configured as the dialog does, without the per-frame wait.
    bool Prepare(CZoConverter& c, const fs::path& recording, uint32_t mask, bool audio = true) {
        c.Configure(6, 2, 4, 16000, 4);
        c.SetChannelMask(mask);
        c.SetExportAudio(audio ? 1 : 0);
        c.SetFrameWaitMs(0);
        if (!c.OpenSource(recording.string()))
            return false;
        return c.OpenOutputFile((dir / "out.avi").string()) == 1;
    }
    static void RunToEnd(CZoConverter& c) {
        ASSERT_EQ(c.Start(), 1);
        while (!c.IsFinished())
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        c.Stop();
    }
    fs::path Out(int channel) { return dir / ("out-CH" + std::to_string(channel) + ".avi"); }

    fs::path dir;
    platform::RecordingMessagePort messages;
    RecordingDiagnosticLog log;
};

TEST(ConverterNames, ChannelTagGoesBeforeTheLastDotOfTheFileName) {
    EXPECT_EQ(CZoConverter::OutputName("D:\\clip.avi", 0), "D:\\clip-CH1.avi");
    EXPECT_EQ(CZoConverter::OutputName("D:\\clip.avi", 2), "D:\\clip-CH3.avi");
    EXPECT_EQ(CZoConverter::OutputName("D:\\clip", 0), "D:\\clip-CH1");
    EXPECT_EQ(CZoConverter::OutputName("/out/a.b.avi", 15), "/out/a.b-CH16.avi");
    // Dotted folder names are never touched.
    EXPECT_EQ(CZoConverter::OutputName("/home/j.doe/out.avi", 0), "/home/j.doe/out-CH1.avi");
    EXPECT_EQ(CZoConverter::OutputName("/rel.2/clip", 0), "/rel.2/clip-CH1");
    EXPECT_EQ(CZoConverter::OutputName("./clip", 1), "./clip-CH2");
}

TEST(ConverterNames, DefaultOutputReplacesZrfInTheFileNameOnly) {
    const struct {
        const char* input;
        const char* output;
    } cases[] = {
        {"/rec/20090314-123456.ZRF", "/rec/20090314-123456.AVI"},
        {"/data/ZRF/cam.ZRF", "/data/ZRF/cam.AVI"},
        {"/data/zrf/cam.zrf", "/data/zrf/cam.avi"},
        {"/clip.Zrf", "/clip.Zrf"},  // other spellings stay
        {"ZRFzrf.ZRF", "AVIavi.AVI"},
        {"/a/b", "/a/b"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CZoConverter::DefaultOutputName(c.input), c.output) << c.input;
}

TEST(ConverterNames, PercentIsSafeForLargeAndEmptySources) {
    const uint64_t gib = 1ull << 30;
    EXPECT_EQ(CZoConverter::PercentDone(0, 0), 0);
    EXPECT_EQ(CZoConverter::PercentDone(5 * gib / 2, 5 * gib), 50);
    EXPECT_EQ(CZoConverter::PercentDone(4 * gib + 1, 8 * gib), 50);
    EXPECT_EQ(CZoConverter::PercentDone(UINT64_MAX - 1, UINT64_MAX), 99);
    EXPECT_EQ(CZoConverter::PercentDone(7, 3), 100);
    media::CalendarTime t{2009, 3, 6, 14, 12, 34, 56, 0};
    EXPECT_EQ(CZoConverter::FormatTimeText(t), "2009/03/14 12:34:56");
}

TEST_F(Converter, FourCameraRecordingExportsInRealTimeWithExactPictures) {
    synth::DemoOptions o;
    o.channels = 4;
    o.seconds = 2;
    test::WriteRecording(o, dir / "rec.ZRF");
    std::optional<CZoConverter> c(std::in_place, &messages, &log);
    ASSERT_TRUE(Prepare(*c, dir / "rec.ZRF", 0b0101, false));
    const ExportScan& s = c->Scan();
    EXPECT_EQ(s.recordedChannels, 4);
    EXPECT_EQ(s.nominalRate, 60);
    EXPECT_FALSE(s.intervalTiming);
    EXPECT_EQ(s.durationMs, s.totalFrames * 1000 / 60);
    EXPECT_TRUE(s.nonKeySeen);
    EXPECT_EQ(log.Lines(), std::vector<std::string>{"CZoConverter::OpenOutputFile: Non-keyFrame should only exist "
                                                    "in files recorded from local recording."});
    EXPECT_TRUE(c->HasOutput(0));
    EXPECT_FALSE(c->HasOutput(1));  // not chosen
    EXPECT_TRUE(c->HasOutput(2));
    EXPECT_FALSE(fs::exists(Out(2)));
    // rate = pictures x 1000, scale = durationMs, in lowest terms.
    const uint64_t pictures = s.pictures[0];
    EXPECT_EQ(static_cast<uint64_t>(c->VideoRate(0)) * s.durationMs, pictures * 1000 * c->VideoScale(0));
    RunToEnd(*c);
    const uint64_t written = c->Writer(0).VideoFramesWritten();
    EXPECT_EQ(written, pictures);

    ZO_REQUIRE_FFMPEG();
    c.reset();
    EXPECT_EQ(test::StreamCount(Out(1)), 1);  // the Audio option is off
    auto v = test::ProbeStream(Out(1), "v:0");
    EXPECT_EQ(v["codec_name"], "rawvideo");
    EXPECT_EQ(v["width"], "640");
    EXPECT_EQ(v["height"], "448");
    EXPECT_EQ(v["nb_frames"], std::to_string(pictures));
    EXPECT_NEAR(std::stod(v["duration"]), 2.0, 1.0 / 15);  // one frame at 15 per second
    EXPECT_EQ(test::ReadStreamHeaders(Out(1))[0].handler, "DIB ");

    // Exactly the project's own decode of each picture.
    const auto reference = test::ReferencePictures(dir / "rec.ZRF", 2);
    const auto decoded = test::FfmpegPictures(Out(3), dir);
    const size_t bytes = 640 * 448 * 3;
    ASSERT_EQ(decoded.size(), reference.size() * bytes);
    for (size_t k : {size_t{0}, size_t{7}, reference.size() - 1}) {
        const auto expected = test::FlipRows(reference[k].data(), 640, 448);
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), decoded.begin() + static_cast<long>(k * bytes)))
            << "picture " << k;
    }
}

TEST_F(Converter, TimeTextIsBurnedInBlackAndWhite) {
    synth::DemoOptions o;
    o.channels = 1;
    o.seconds = 0.3;
    test::WriteRecording(o, dir / "rec.ZRF");
    std::optional<CZoConverter> c(std::in_place, &messages, &log);
    c->SetTimeText(true);
    ASSERT_TRUE(Prepare(*c, dir / "rec.ZRF", 1, false));
    RunToEnd(*c);
    ZO_REQUIRE_FFMPEG();
    c.reset();
    const auto reference = test::ReferencePictures(dir / "rec.ZRF", 0);
    const auto decoded = test::FfmpegPictures(Out(1), dir);
    ASSERT_GE(reference.size(), 1u);
    ASSERT_GE(decoded.size(), 640u * 448 * 3);
    const auto expected = test::FlipRows(reference[0].data(), 640, 448);
    int changed = 0, white = 0, outside = 0;
    for (int y = 0; y < 448; ++y)
        for (int x = 0; x < 640; ++x) {
            const size_t i = (static_cast<size_t>(y) * 640 + x) * 3;
            if (std::equal(expected.begin() + static_cast<long>(i), expected.begin() + static_cast<long>(i) + 3,
                           decoded.begin() + static_cast<long>(i)))
                continue;
            ++changed;
            const bool inText = x >= 7 && x < 7 + 19 * 12 && y >= 7 && y < 40;
            outside += !inText;
            const uint8_t b = decoded[i];
            EXPECT_TRUE((b == 0 || b == 255) && decoded[i + 1] == b && decoded[i + 2] == b) << x << "," << y;
            white += b == 255;
        }
    EXPECT_GT(white, 100);
    EXPECT_GT(changed, white);  // the outline
    EXPECT_EQ(outside, 0);
}

TEST_F(Converter, LocalRecordingIsTimedByItsRecordInterval) {
    synth::DemoOptions o;
    o.channels = 1;  // channel bits 1
    o.interval = 3;
    o.seconds = 1;
    test::WriteRecording(o, dir / "local.ZRF");
    std::optional<CZoConverter> c(std::in_place, &messages, &log);
    ASSERT_TRUE(Prepare(*c, dir / "local.ZRF", 0xFFFF));
    const ExportScan& s = c->Scan();
    EXPECT_TRUE(s.intervalTiming);
    EXPECT_FALSE(s.audioSeen);
    EXPECT_EQ(c->VideoRate(0), 30u);  // 60 / 2
    EXPECT_EQ(c->VideoScale(0), 1u);
    EXPECT_TRUE(log.Lines().empty());
    RunToEnd(*c);
    const uint64_t pictures = s.pictures[0];
    c.reset();
    ZO_REQUIRE_FFMPEG();
    const auto times = test::VideoPacketTimes(Out(1));
    ASSERT_EQ(times.size(), pictures);
    for (size_t k = 0; k < times.size(); ++k)
        EXPECT_EQ(times[k], static_cast<int64_t>(3 * k));
    auto v = test::ProbeStream(Out(1), "v:0");
    EXPECT_EQ(v["nb_frames"], std::to_string(3 * (pictures - 1) + 1));  // empty frames between pictures
}

TEST_F(Converter, LocalRecordingWithSoundCountsFrameSlots) {
    synth::DemoOptions o;
    o.channels = 1;
    o.interval = 2;
    o.seconds = 2;
    o.audio = true;
    test::WriteRecording(o, dir / "local.ZRF");
    CZoConverter c(&messages, &log);
    ASSERT_TRUE(Prepare(c, dir / "local.ZRF", 1));
    const ExportScan& s = c.Scan();
    ASSERT_TRUE(s.intervalTiming);
    ASSERT_TRUE(s.audioSeen);
    EXPECT_EQ(s.frameSlots[0], 2 * s.pictures[0]);
    EXPECT_EQ(s.soundMs, s.soundBytes[0] * 1000 / 16000);
    RunToEnd(c);
    // Video and sound of the file last equally long.
    const double soundSeconds = static_cast<double>(c.Writer(0).SoundPosition()) / 16000.0;
    const double frameSeconds = static_cast<double>(c.VideoScale(0)) / c.VideoRate(0);
    const double videoSeconds = static_cast<double>(2 * (s.pictures[0] - 1) + 1) * frameSeconds;
    EXPECT_NEAR(videoSeconds, soundSeconds, 2 * frameSeconds);
}

// Pictures (placeholders, not decodable) of channels 0-15, then one sound
// frame of each audio channel with 100, 200, 300 and 400 payload bytes.
fs::path RoutingRecording(const fs::path& dir, int audioCode = 2) {
    (void)audioCode;
    synth::RecordingBuilder b(6, false);
    b.SetChannelBits(0xFFFF);
    synth::Rng rng(3);
    for (int c = 0; c < 16; ++c)
        b.AddFrame(test::Video(6, c, true, 20, rng));
    for (int a = 0; a < 4; ++a) {
        std::vector<uint8_t> payload(static_cast<size_t>(100 * (a + 1)), static_cast<uint8_t>(0x10 + a));
        b.AddFrame(synth::MakeSoundFrame(a, payload));
    }
    b.AddFrame(test::Video(6, 0, true, 20, rng));
    b.Finish();
    const fs::path path = dir / "routing.ZRF";
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(b.Bytes().data()), static_cast<std::streamsize>(b.Bytes().size()));
    return path;
}

TEST_F(Converter, SoundGoesToTheChannelsItBelongsTo) {
    const fs::path rec = RoutingRecording(dir);
    {
        CZoConverter c(&messages, &log);
        ASSERT_TRUE(Prepare(c, rec, 0xFFFF));
        RunToEnd(c);
        const int64_t expected[16] = {100, 200, 300, 400, 100, 100, 100, 100, 100, 100, 100, 100, 100, 100, 100, 100};
        for (int i = 0; i < 16; ++i) {
            ASSERT_TRUE(c.HasOutput(i));
            EXPECT_EQ(c.Writer(i).SoundPosition(), expected[i]) << "CH" << i + 1;
        }
    }
    ZO_REQUIRE_FFMPEG();
    // Audio channel 2 in the file of CH3, signed 8-bit made unsigned.
    auto a = test::ProbeStream(Out(3), "a:0");
    EXPECT_EQ(a["codec_name"], "pcm_u8");
    EXPECT_EQ(test::FfmpegSound(Out(3), dir, "u8"), std::vector<uint8_t>(300, 0x12 ^ 0x80));
}

TEST_F(Converter, OneAudioChannelFeedsEveryFileAndNoAudioMeansNoStream) {
    const fs::path rec = RoutingRecording(dir);
    CZoConverter c(&messages, &log);
    c.Configure(6, 2, 4, 16000, 1);
    c.SetChannelMask(0xFFFF);
    c.SetExportAudio(1);
    c.SetFrameWaitMs(0);
    ASSERT_TRUE(c.OpenSource(rec.string()));
    ASSERT_EQ(c.OpenOutputFile((dir / "out.avi").string()), 1);
    RunToEnd(c);
    const int64_t expected[16] = {100, 300, 400, 500, 100, 100, 100, 100, 100, 100, 100, 100, 100, 100, 100, 100};
    for (int i = 0; i < 16; ++i)
        EXPECT_EQ(c.Writer(i).SoundPosition(), expected[i]) << "CH" << i + 1;

    messages.SetAnswer(true);
    c.SetExportAudio(0);
    ASSERT_TRUE(c.OpenSource(rec.string()));
    ASSERT_EQ(c.OpenOutputFile((dir / "out.avi").string()), 1);
    EXPECT_TRUE(c.Scan().audioSeen);
    for (int i = 0; i < 16; ++i)
        EXPECT_FALSE(c.Writer(i).HasSound());
}

TEST_F(Converter, SoundFormatsByAudioCode) {
    struct Row {
        int code;
        uint16_t tag, bits, block;
        bool decode;
    };
    const Row rows[] = {{1, 1, 8, 1, true},   {2, 1, 8, 1, true},   {3, 1, 16, 2, true}, {4, 1, 16, 2, false},
                        {5, 6, 8, 1, false},  {6, 1, 16, 2, true},  {0, 1, 8, 1, false}};
    const fs::path rec = RoutingRecording(dir);
    messages.SetAnswer(true);
    for (const Row& r : rows) {
        CZoConverter c(&messages, &log);
        c.Configure(6, r.code, 4, 16000, 4);
        c.SetChannelMask(1);
        c.SetExportAudio(1);
        ASSERT_TRUE(c.OpenSource(rec.string()));
        ASSERT_EQ(c.OpenOutputFile((dir / "out.avi").string()), 1);
        const codec::WaveFormat& f = c.SoundFormat();
        EXPECT_EQ(f.formatTag, r.tag) << r.code;
        EXPECT_EQ(f.bitsPerSample, r.bits) << r.code;
        EXPECT_EQ(f.blockAlign, r.block) << r.code;
        EXPECT_EQ(f.avgBytesPerSec, 16000u * r.block) << r.code;
        EXPECT_EQ(c.DecodeAudio(), r.decode) << r.code;
        // A 16-bit payload holds half as many samples as bytes.
        EXPECT_EQ(c.Scan().soundMs, (r.code == 3 || r.code == 4) ? 100u * 1000 / 32000 : 100u * 1000 / 16000);
        if (r.code == 6 || r.code == 4) {
            c.SetFrameWaitMs(0);
            RunToEnd(c);
            // mu-law: 100 bytes become 100 16-bit samples; 16-bit PCM as read: 50.
            EXPECT_EQ(c.Writer(0).SoundPosition(), r.code == 6 ? 100 : 50);
        }
    }
}

TEST_F(Converter, ExistingFilesAreReplacedOnlyWhenTheUserAgrees) {
    const fs::path rec = RoutingRecording(dir);
    std::ofstream(Out(2)) << "old";
    {
        CZoConverter c(&messages, &log);
        messages.SetAnswer(false);
        EXPECT_FALSE(Prepare(c, rec, 0b1011));
        EXPECT_FALSE(c.HasOutput(0));
    }
    ASSERT_EQ(messages.Questions().size(), 1u);
    EXPECT_EQ(messages.Questions()[0], "The following files already exist, Do you want to replace them?\n\n" +
                                           Out(2).string() + "\n");
    EXPECT_EQ(fs::file_size(Out(2)), 3u);
    EXPECT_FALSE(fs::exists(Out(1)));
    {
        CZoConverter c(&messages, &log);
        messages.SetAnswer(true);
        EXPECT_TRUE(Prepare(c, rec, 0b1011));
    }  // the files are completed
    EXPECT_GT(fs::file_size(Out(2)), 3u);
    EXPECT_TRUE(fs::exists(Out(1)));
    EXPECT_FALSE(fs::exists(Out(3)));
}

TEST_F(Converter, NothingToExportDividesByNothing) {
    synth::DemoOptions o;
    o.channels = 2;
    o.seconds = 0.2;
    o.realVideo = false;
    test::WriteRecording(o, dir / "rec.ZRF");
    std::ofstream(dir / "empty.ZRF").close();
    for (const char* name : {"rec.ZRF", "empty.ZRF"}) {
        CZoConverter c(&messages, &log);
        ASSERT_TRUE(Prepare(c, dir / name, 1u << 9)) << name;  // channel 10 has no pictures
        EXPECT_EQ(c.Scan().nominalRate, 0);
        EXPECT_EQ(c.Scan().durationMs, 0u);
        EXPECT_FALSE(c.HasOutput(9));
        RunToEnd(c);
        EXPECT_TRUE(c.IsFinished());
    }
    EXPECT_FALSE(fs::exists(Out(10)));
}

TEST_F(Converter, LongSoundIsTimedIn64Bits) {
    // Five minutes of sound: bytes x 1000 no longer fits 32 bits.
    synth::RecordingBuilder b(6, false);
    synth::Rng rng(5);
    b.AddFrame(test::Video(6, 0, true, 20, rng));
    const std::vector<uint8_t> payload(16000, 0x11);
    for (int second = 0; second < 300; ++second)
        b.AddFrame(synth::MakeSoundFrame(0, payload));
    b.AddFrame(test::Video(6, 0, true, 20, rng));
    b.Finish();
    const fs::path path = dir / "long.ZRF";
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(b.Bytes().data()), static_cast<std::streamsize>(b.Bytes().size()));
    CZoConverter c(&messages, &log);
    ASSERT_TRUE(Prepare(c, path, 1));
    EXPECT_EQ(c.Scan().soundBytes[0], 300u * 16000);
    EXPECT_EQ(c.Scan().soundMs, 300000u);
    EXPECT_TRUE(c.Scan().intervalTiming);  // one recorded channel, interval 1
    // One picture in 300 s of sound: 2 frame slots... of 1 picture.
    EXPECT_EQ(static_cast<uint64_t>(c.VideoRate(0)) * 300000, c.Scan().frameSlots[0] * 1000 * c.VideoScale(0));
}

TEST_F(Converter, StopEndsARunningExportAndCompletesTheFiles) {
    synth::DemoOptions o;
    o.channels = 2;
    o.seconds = 2;
    test::WriteRecording(o, dir / "rec.ZRF");
    std::optional<CZoConverter> c(std::in_place, &messages, &log);
    ASSERT_TRUE(Prepare(*c, dir / "rec.ZRF", 0xFFFF));
    // 50 ms a frame: the whole export would take over 12 s, so it is still
    // running when a few pictures are out, however slow the machine.
    c->SetFrameWaitMs(50);
    ASSERT_EQ(c->Start(), 1);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (c->PicturesWritten() < 3 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_GE(c->PicturesWritten(), 3u);
    EXPECT_EQ(c->Stop(), 1);
    EXPECT_TRUE(c->IsFinished());
    EXPECT_LT(c->PicturesWritten(), c->Scan().pictures[0] + c->Scan().pictures[1]);
    const uint64_t written = c->Writer(0).VideoFramesWritten();
    c.reset();
    ZO_REQUIRE_FFMPEG();
    auto v = test::ProbeStream(Out(1), "v:0");
    EXPECT_EQ(v["nb_read_packets"], std::to_string(written));
}

}  // namespace

// A camera's file gets a sound stream only when an audio channel it takes
// has sound: cameras 1-6, sound on some audio channels only.
TEST_F(Converter, OnlyCamerasWithTheirOwnSoundGetASoundStream) {
    struct Case {
        int audioChannels;
        std::vector<int> soundOn;  // audio channels with sound
        bool expected[6];          // sound stream of CH1..CH6
    };
    const Case cases[] = {
        {4, {1, 3}, {false, true, false, true, false, false}},
        {4, {0}, {true, false, false, false, true, true}},
        {4, {2}, {false, false, true, false, false, false}},
        {1, {2}, {false, false, true, false, false, false}},
        {1, {0, 3}, {true, true, true, true, true, true}},
    };
    for (const Case& k : cases) {
        synth::RecordingBuilder b(6, false);
        b.SetChannelBits(0x3F);
        synth::Rng rng(5);
        for (int c = 0; c < 6; ++c)
            b.AddFrame(test::Video(6, c, true, 20, rng));
        for (int a : k.soundOn)
            b.AddFrame(synth::MakeSoundFrame(a, std::vector<uint8_t>(64, 0x20)));
        b.AddFrame(test::Video(6, 0, true, 20, rng));
        b.Finish();
        const fs::path rec = dir / "some-sound.ZRF";
        std::ofstream(rec, std::ios::binary)
            .write(reinterpret_cast<const char*>(b.Bytes().data()), static_cast<std::streamsize>(b.Bytes().size()));

        messages.SetAnswer(true);
        CZoConverter c(&messages, &log);
        c.Configure(6, 2, 4, 16000, k.audioChannels);
        c.SetChannelMask(0x3F);
        c.SetExportAudio(1);
        c.SetFrameWaitMs(0);
        ASSERT_TRUE(c.OpenSource(rec.string()));
        ASSERT_EQ(c.OpenOutputFile((dir / "out.avi").string()), 1);
        RunToEnd(c);
        for (int i = 0; i < 6; ++i) {
            SCOPED_TRACE("audio channels " + std::to_string(k.audioChannels) + ", CH" + std::to_string(i + 1));
            ASSERT_TRUE(c.HasOutput(i));
            EXPECT_EQ(c.GetsSound(i), k.expected[i]);
            EXPECT_EQ(c.Writer(i).HasSound(), k.expected[i]);
            // A stream that exists carries sound.
            if (k.expected[i]) {
                EXPECT_GT(c.Writer(i).SoundPosition(), 0);
            }
        }
    }
}
