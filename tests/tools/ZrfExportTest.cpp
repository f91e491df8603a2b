// End-to-end tests of zrf export: real processes, files checked with
// ffprobe and ffmpeg.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <fstream>

#include "support/RunProcess.h"
#include "export/ExportTestSupport.h"

namespace {

namespace fs = std::filesystem;
using zo::test::ProcessResult;

class ZrfExport : public ::testing::Test {
protected:
    void SetUp() override { dir = zo::test::MakeTempDir("zrf"); }
    void TearDown() override { fs::remove_all(dir); }
    ProcessResult Zrf(const std::string& args) {
        return zo::test::RunProcess("cd '" + dir.string() + "' && " + std::string(ZRF_BINARY) + " " + args,
                                    dir / "stderr.txt");
    }
    std::string P(const std::string& name) { return (dir / name).string(); }
    static std::string Bytes(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    fs::path dir;
};

TEST_F(ZrfExport, FourCamerasWithSoundToXvid) {
    ZO_REQUIRE_FFMPEG();
    ASSERT_EQ(Zrf("gen " + P("demo.ZRF") + " --seconds 2 --channels 4 --audio").status, 0);
    const ProcessResult r = Zrf("export " + P("demo.ZRF") + " " + P("out.avi") + " --codec xvid --no-time");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("progress 100%"), std::string::npos) << r.err;  // plain lines off a terminal
    for (int ch = 1; ch <= 4; ++ch) {
        const fs::path file = dir / ("out-CH" + std::to_string(ch) + ".avi");
        ASSERT_TRUE(fs::exists(file));
        // The recording has sound on audio channel 1 only, which is CH1's:
        // the other cameras get no (empty) sound stream, and zrf says so.
        EXPECT_EQ(zo::test::StreamCount(file), ch == 1 ? 2 : 1);
        const std::string line = r.err.substr(r.err.find("CH" + std::to_string(ch) + ", "));
        EXPECT_EQ(line.substr(0, line.find('\n')).ends_with(ch == 1 ? ", sound" : ", no sound"), true) << line;
        auto v = zo::test::ProbeStream(file, "v:0");
        EXPECT_EQ(v["codec_name"], "mpeg4");
        // 60 frames a second of which 8 are sound: about 13 pictures a second
        // per camera (the recording's closing frame makes it 27 in 2.017 s).
        const std::string rate = v["r_frame_rate"];
        const size_t slash = rate.find('/');
        ASSERT_NE(slash, std::string::npos) << rate;
        EXPECT_NEAR(std::stod(rate.substr(0, slash)) / std::stod(rate.substr(slash + 1)), 13.0, 0.5) << rate;
        EXPECT_EQ(v["nb_read_packets"], v["nb_frames"]);
        if (ch == 1) {
            auto a = zo::test::ProbeStream(file, "a:0");
            EXPECT_EQ(a["codec_name"], "pcm_u8");
            EXPECT_EQ(a["sample_rate"], "16000");
        }
    }
    EXPECT_FALSE(fs::exists(dir / "out-CH5.avi"));
    EXPECT_FALSE(fs::exists(dir / "dummy.avi"));

    // Xvid's pictures stay close to the project's own decode.
    const auto reference = zo::test::ReferencePictures(dir / "demo.ZRF", 1);
    const auto decoded = zo::test::FfmpegPictures(dir / "out-CH2.avi", dir);
    const size_t bytes = 640 * 448 * 3;
    ASSERT_EQ(decoded.size(), reference.size() * bytes);
    for (size_t k : {size_t{0}, size_t{5}, reference.size() - 1}) {
        const auto expected = zo::test::FlipRows(reference[k].data(), 640, 448);
        EXPECT_GT(zo::test::Psnr(expected.data(), decoded.data() + k * bytes, bytes), 30.0) << "picture " << k;
    }
    // All of the sound is there.
    const auto sound = zo::test::FfmpegSound(dir / "out-CH1.avi", dir, "u8");
    EXPECT_EQ(sound.size(), 2u * 16000);
}

TEST_F(ZrfExport, ChosenChannelsOptionsFileAndParallelJobs) {
    ZO_REQUIRE_FFMPEG();
    ASSERT_EQ(Zrf("gen " + P("demo.ZRF") + " --seconds 1 --channels 4").status, 0);
    ProcessResult r = Zrf("export --write-options CompOptions --codec xvid --keyint 5 --bitrate 800");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(fs::file_size(dir / "CompOptions"), 44u);
    r = Zrf("export " + P("demo.ZRF") + " " + P("a.avi") + " --channels 2,4");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_FALSE(fs::exists(dir / "a-CH1.avi"));
    EXPECT_FALSE(fs::exists(dir / "a-CH3.avi"));
    ASSERT_TRUE(fs::exists(dir / "a-CH4.avi"));
    EXPECT_EQ(zo::test::ProbeStream(dir / "a-CH2.avi", "v:0")["codec_name"], "mpeg4");  // from CompOptions
    const auto keys = zo::test::Shell("ffprobe -v error -select_streams v:0 -show_entries packet=flags -of csv=p=0 '" +
                                      P("a-CH2.avi") + "'");
    EXPECT_EQ(keys.out.substr(0, 18), "K_\n__\n__\n__\n__\nK_\n");

    // --codec raw overrides the file; two jobs write the same files as one.
    ASSERT_EQ(Zrf("export " + P("demo.ZRF") + " " + P("one.avi") + " --codec raw --jobs 1").status, 0);
    ASSERT_EQ(Zrf("export " + P("demo.ZRF") + " " + P("two.avi") + " --codec raw --jobs 2").status, 0);
    for (int ch = 1; ch <= 4; ++ch) {
        const std::string tag = "-CH" + std::to_string(ch) + ".avi";
        EXPECT_EQ(zo::test::ProbeStream(dir / ("one" + tag), "v:0")["codec_name"], "rawvideo");
        EXPECT_EQ(Bytes(dir / ("one" + tag)), Bytes(dir / ("two" + tag))) << tag;
    }
}

TEST_F(ZrfExport, ExistingFilesNeedForceWithoutATerminal) {
    ASSERT_EQ(Zrf("gen " + P("demo.ZRF") + " --seconds 0.5 --channels 2 --placeholder").status, 0);
    { std::ofstream(dir / "x-CH2.avi") << "keep"; }
    ProcessResult r = Zrf("export " + P("demo.ZRF") + " " + P("x.avi") + " --no-time");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("already exist"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("--force"), std::string::npos) << r.err;
    EXPECT_EQ(Bytes(dir / "x-CH2.avi"), "keep");
    EXPECT_FALSE(fs::exists(dir / "x-CH1.avi"));
    r = Zrf("export " + P("demo.ZRF") + " " + P("x.avi") + " --no-time --force");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(Bytes(dir / "x-CH2.avi"), "keep");

    EXPECT_NE(Zrf("export " + P("missing.ZRF") + " " + P("y.avi")).status, 0);
    EXPECT_EQ(Zrf("export " + P("demo.ZRF") + " " + P("y.avi") + " --channels 0").status, 2);
    EXPECT_EQ(Zrf("export " + P("demo.ZRF") + " " + P("y.avi") + " --channels 9 --no-time").status, 1);
    EXPECT_FALSE(fs::exists(dir / "y-CH9.avi"));
}

}  // namespace

// A full disk, a FIFO in place of the options file and an unknown encoder
// never end in a claim of success or in a partial AVI file.
TEST_F(ZrfExport, FailuresAreReportedAndLeaveNoFiles) {
    ASSERT_EQ(Zrf("gen " + P("demo.ZRF") + " --seconds 1 --channels 2").status, 0);
    auto avis = [&] {
        int n = 0;
        for (const auto& entry : fs::directory_iterator(dir))
            n += entry.path().string().find(".avi") != std::string::npos;
        return n;
    };
    // 1 MiB at most per file: uncompressed pictures of 860 KB each overflow it.
    ProcessResult r = zo::test::RunProcess("cd '" + dir.string() + "' && ulimit -f 1024 && " +
                                               std::string(ZRF_BINARY) + " export demo.ZRF out.avi --codec raw --no-time",
                                           dir / "stderr.txt");
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.err.find("File too large"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("wrote"), std::string::npos) << r.err;
    EXPECT_EQ(avis(), 0);

    // A FIFO named CompOptions is not read (it would block for ever).
    ASSERT_EQ(::mkfifo(P("CompOptions").c_str(), 0644), 0);
    r = Zrf("export demo.ZRF out.avi --no-time --channels 1");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.err.find("CompOptions': it is a FIFO"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("uncompressed"), std::string::npos) << r.err;
    fs::remove(dir / "CompOptions");
    fs::remove(dir / "out-CH1.avi");

    // An options file naming an encoder that does not exist.
    ASSERT_EQ(Zrf("export --write-options CompOptions --codec xvid").status, 0);
    std::fstream f(dir / "CompOptions", std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(4);  // the handler field
    f.write("abcd", 4);
    f.close();
    r = Zrf("export demo.ZRF out.avi --no-time");
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.err.find("CompOptions' names the video handler 'abcd'"), std::string::npos) << r.err;
    EXPECT_EQ(avis(), 0);
}
