// The AVI writer, checked with ffprobe/ffmpeg and by reading the stream
// headers as stored.
#include <gtest/gtest.h>

#include "export/CZoAviWrite.h"
#include "export/EncoderRegistry.h"
#include "export/ExportTestSupport.h"

namespace {

using namespace zo::exporter;
using zo::test::ReadStreamHeaders;
namespace fs = std::filesystem;

BitmapHeader Header(int width, int height) {
    BitmapHeader h;
    h.width = width;
    h.height = height;
    h.sizeImage = static_cast<uint32_t>(width * height * 3);
    return h;
}

// A picture whose every byte depends on row and column, bottom row first.
std::vector<uint8_t> Pattern(int width, int height, int seed) {
    std::vector<uint8_t> p(static_cast<size_t>(width) * height * 3);
    for (size_t i = 0; i < p.size(); ++i)
        p[i] = static_cast<uint8_t>((i * 7 + static_cast<size_t>(seed) * 31 + i / (width * 3) * 3) & 0xFF);
    return p;
}

class AviWrite : public ::testing::Test {
protected:
    void SetUp() override {
        dir = zo::test::MakeTempDir("avi");
        FreeOptions();
    }
    void TearDown() override {
        FreeOptions();
        fs::remove_all(dir);
    }
    fs::path dir;
};

TEST_F(AviWrite, UncompressedFramesWithGapsAndAStoredHandler) {
    ZO_REQUIRE_FFMPEG();
    const fs::path file = dir / "raw.avi";
    std::vector<std::vector<uint8_t>> pictures;
    {
        CZoAviWrite w;
        ASSERT_EQ(w.OpenFile(file.string()), 1);
        ASSERT_EQ(w.CreateStreams(60, 2, Header(64, 32), nullptr), 1);
        for (int n : {0, 3, 6}) {
            pictures.push_back(Pattern(64, 32, n));
            EXPECT_EQ(w.WriteVideo(n, pictures.back().data()), 1);
        }
        EXPECT_EQ(w.WriteSound(pictures[0].data(), 10), 1);  // no sound stream: accepted
        EXPECT_EQ(w.Close(), 1);
    }
    EXPECT_EQ(zo::test::StreamCount(file), 1);
    auto v = zo::test::ProbeStream(file, "v:0");
    EXPECT_EQ(v["codec_name"], "rawvideo");
    EXPECT_EQ(v["r_frame_rate"], "30/1");
    EXPECT_EQ(v["nb_frames"], "7");  // 1, 2, 4 and 5 are empty frames
    EXPECT_EQ(zo::test::VideoPacketTimes(file), (std::vector<int64_t>{0, 3, 6}));
    const auto headers = ReadStreamHeaders(file);
    ASSERT_EQ(headers.size(), 1u);
    EXPECT_EQ(headers[0].type, "vids");
    EXPECT_EQ(headers[0].handler, "DIB ");
    EXPECT_EQ(headers[0].rate, 30u);
    EXPECT_EQ(headers[0].scale, 1u);

    // Pictures come back exactly, top row first.
    const std::vector<uint8_t> decoded = zo::test::FfmpegPictures(file, dir);
    ASSERT_EQ(decoded.size(), 3u * 64 * 32 * 3);
    for (size_t k = 0; k < 3; ++k) {
        const auto flipped = zo::test::FlipRows(pictures[k].data(), 64, 32);
        EXPECT_TRUE(std::equal(flipped.begin(), flipped.end(), decoded.begin() + k * flipped.size())) << k;
    }
}

TEST_F(AviWrite, SoundStreamOfEightBitPcm) {
    ZO_REQUIRE_FFMPEG();
    const fs::path file = dir / "sound.avi";
    zo::codec::WaveFormat f;
    f.samplesPerSec = 16000;
    f.avgBytesPerSec = 16000;
    std::vector<uint8_t> tone(1000);
    for (size_t i = 0; i < tone.size(); ++i)
        tone[i] = static_cast<uint8_t>(128 + (i % 40) - 20);
    {
        CZoAviWrite w;
        ASSERT_EQ(w.OpenFile(file.string()), 1);
        ASSERT_EQ(w.CreateStreams(30, 1, Header(64, 32), &f), 1);
        EXPECT_TRUE(w.HasSound());
        const auto p = Pattern(64, 32, 1);
        EXPECT_EQ(w.WriteVideo(0, p.data()), 1);
        EXPECT_EQ(w.WriteSound(tone.data(), 1000), 1);
        EXPECT_EQ(w.SoundPosition(), 1000);
        EXPECT_EQ(w.WriteSound(tone.data(), 500), 1);
        EXPECT_EQ(w.SoundPosition(), 1500);
    }
    EXPECT_EQ(zo::test::StreamCount(file), 2);
    auto a = zo::test::ProbeStream(file, "a:0");
    EXPECT_EQ(a["codec_name"], "pcm_u8");
    EXPECT_EQ(a["sample_rate"], "16000");
    EXPECT_EQ(a["channels"], "1");
    const auto headers = ReadStreamHeaders(file);
    ASSERT_EQ(headers.size(), 2u);
    EXPECT_EQ(headers[1].type, "auds");
    EXPECT_EQ(headers[1].scale, 1u);
    EXPECT_EQ(headers[1].rate, 16000u);
    EXPECT_EQ(headers[1].sampleSize, 1u);
    const auto samples = zo::test::FfmpegSound(file, dir, "u8");
    ASSERT_EQ(samples.size(), 1500u);
    EXPECT_TRUE(std::equal(tone.begin(), tone.end(), samples.begin()));
}

TEST_F(AviWrite, SixteenBitSoundDropsAHalfSample) {
    ZO_REQUIRE_FFMPEG();
    const fs::path file = dir / "s16.avi";
    zo::codec::WaveFormat f;
    f.samplesPerSec = 16000;
    f.bitsPerSample = 16;
    f.blockAlign = 2;
    f.avgBytesPerSec = 32000;
    const std::vector<uint8_t> pcm = {1, 2, 3, 4, 5, 6, 7};
    {
        CZoAviWrite w;
        ASSERT_EQ(w.OpenFile(file.string()), 1);
        ASSERT_EQ(w.CreateStreams(30, 1, Header(64, 32), &f), 1);
        EXPECT_EQ(w.WriteSound(pcm.data(), 7), 1);
        EXPECT_EQ(w.SoundPosition(), 3);
    }
    auto a = zo::test::ProbeStream(file, "a:0");
    EXPECT_EQ(a["codec_name"], "pcm_s16le");
    const auto headers = ReadStreamHeaders(file);
    ASSERT_EQ(headers.size(), 2u);
    // Blocks of two bytes, 16000 of them a second (the muxer stores the
    // ratio in lowest terms).
    EXPECT_EQ(static_cast<uint64_t>(headers[1].rate) * 1, uint64_t{16000} * headers[1].scale);
    EXPECT_EQ(headers[1].sampleSize, 2u);
    EXPECT_EQ(zo::test::FfmpegSound(file, dir, "s16le"), std::vector<uint8_t>(pcm.begin(), pcm.begin() + 6));
}

TEST_F(AviWrite, XvidFromTheSharedOptions) {
    ZO_REQUIRE_FFMPEG();
    const fs::path file = dir / "xvid.avi";
    {
        CZoAviWrite w;  // resets the options; set them afterwards, as PrepareEncoder does
        CompressionOptions o;
        o.handler = kHandlerXvid;
        o.flags = kOptionKeyFrames;
        o.keyFrameEvery = 4;
        SetSharedOptions(o);
        ASSERT_EQ(w.OpenFile(file.string()), 1);
        ASSERT_EQ(w.CreateStreams(25, 1, Header(160, 96), nullptr), 1);
        EXPECT_EQ(w.VideoHandler(), kHandlerXvid);
        for (int n = 0; n < 10; ++n) {
            const auto p = Pattern(160, 96, n);
            ASSERT_EQ(w.WriteVideo(n, p.data()), 1);
        }
    }
    auto v = zo::test::ProbeStream(file, "v:0");
    EXPECT_EQ(v["codec_name"], "mpeg4");
    EXPECT_EQ(v["codec_tag_string"], "XVID");
    EXPECT_EQ(v["r_frame_rate"], "25/1");
    EXPECT_EQ(v["nb_read_packets"], "10");
    const auto keys = zo::test::Shell("ffprobe -v error -select_streams v:0 -show_entries packet=flags -of csv=p=0 '" +
                                      file.string() + "'");
    EXPECT_EQ(keys.out, "K_\n__\n__\n__\nK_\n__\n__\n__\nK_\n__\n");  // the encoder's own key interval
}

TEST_F(AviWrite, FailuresAreSticky) {
    const fs::path file = dir / "fail.avi";
    CZoAviWrite w;
    EXPECT_EQ(w.OpenFile((dir / "missing" / "x.avi").string()), 0);
    EXPECT_TRUE(w.Failed());
    EXPECT_EQ(w.Close(), 1);
    EXPECT_FALSE(w.Failed());
    ASSERT_EQ(w.OpenFile(file.string()), 1);
    BitmapHeader wrong = Header(64, 32);
    wrong.sizeImage -= 3;  // image size does not match
    EXPECT_EQ(w.CreateStreams(30, 1, wrong, nullptr), 0);
    EXPECT_TRUE(w.Failed());
    ASSERT_EQ(w.OpenFile(file.string()), 1);
    ASSERT_EQ(w.CreateStreams(30, 1, Header(64, 32), nullptr), 1);
    const auto p = Pattern(64, 32, 0);
    EXPECT_EQ(w.WriteVideo(5, p.data()), 1);
    EXPECT_EQ(w.WriteVideo(5, p.data()), 0);  // frame numbers must rise
    EXPECT_TRUE(w.VideoFailed());
    EXPECT_EQ(w.WriteVideo(6, p.data()), 0);  // refused from now on
    // An unknown handler in the options makes no stream.
    CompressionOptions o;
    o.handler = FourCc('a', 'b', 'c', 'd');
    SetSharedOptions(o);
    ASSERT_EQ(w.OpenFile(file.string()), 1);
    EXPECT_EQ(w.CreateStreams(30, 1, Header(64, 32), nullptr), 0);
    w.Close();
}

}  // namespace
