// End-to-end tests of the zrf command line: real processes, real files.
#include <gtest/gtest.h>

#include <array>
#include <map>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sys/wait.h>

#include "media/RecordingFormat.h"
#include "support/JsonLines.h"
#include "support/RunProcess.h"
#include "support/TestRecordings.h"

namespace {

namespace fs = std::filesystem;

using Result = zo::test::ProcessResult;

class ZrfCli : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("zo_cli_" + std::to_string(::getpid()) + "_" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }

    Result Run(const std::string& args) {
        return zo::test::RunProcess(std::string(ZRF_BINARY) + " " + args, dir / "stderr.txt");
    }

    std::string P(const std::string& name) { return (dir / name).string(); }

    fs::path dir;
};

using zo::test::Field;
using zo::test::Lines;

TEST_F(ZrfCli, GenInfoAndFramesAgree) {
    Result r = Run("gen " + P("demo.ZRF") + " --seconds 4 --channels 3 --audio");
    ASSERT_EQ(r.status, 0) << r.err;
    r = Run("info " + P("demo.ZRF") + " --json");
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string info = r.out;
    EXPECT_EQ(Field(info, "damagedBlocks"), "0");
    EXPECT_EQ(Field(info, "firstTime"), "\"2009-03-14 12:34:56\"");
    EXPECT_EQ(Field(info, "lastTime"), "\"2009-03-14 12:34:59\"");
    EXPECT_EQ(Field(info, "hasAudio"), "true");
    EXPECT_EQ(Field(info, "channelBits"), "7");
    EXPECT_NE(info.find("\"channels\": {\"0\": "), std::string::npos);

    const Result forward = Run("frames " + P("demo.ZRF"));
    const Result backward = Run("frames " + P("demo.ZRF") + " --backward --json");
    ASSERT_EQ(forward.status, 0);
    ASSERT_EQ(backward.status, 0);
    auto f = Lines(forward.out);
    auto b = Lines(backward.out);
    ASSERT_GT(f.size(), 200u);
    ASSERT_EQ(f.size(), b.size());
    std::vector<std::string> fm, bm;
    for (const auto& line : f)
        fm.push_back(Field(line, "md5") + Field(line, "kind") + Field(line, "channel") + Field(line, "length"));
    for (const auto& line : b)
        bm.push_back(Field(line, "md5") + Field(line, "kind") + Field(line, "channel") + Field(line, "length"));
    std::reverse(bm.begin(), bm.end());
    EXPECT_EQ(fm, bm);
    EXPECT_EQ(Field(f[0], "index"), "0");
    EXPECT_EQ(Field(f[0], "interval"), "1");
    EXPECT_EQ(Field(f[1], "index"), "1");
    const uint64_t video = std::stoull(Field(info, "videoFrames"));
    const uint64_t sound = std::stoull(Field(info, "soundFrames"));
    EXPECT_EQ(video + sound, f.size());
}

TEST_F(ZrfCli, RawDiskImagesNeedTheDiskFlag) {
    ASSERT_EQ(Run("gen " + P("disk.img") + " --seconds 2 --disk").status, 0);
    Result r = Run("info " + P("disk.img") + " --disk --json");
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(Field(r.out, "damagedBlocks"), "0");
    r = Run("info " + P("disk.img") + " --json");
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(Field(r.out, "validBlocks"), "0");

    // A cut of a disk is an ordinary recording.
    ASSERT_EQ(Run("cut " + P("disk.img") + " --disk 0 20000 " + P("cut.ZRF")).status, 0);
    EXPECT_EQ(fs::file_size(P("cut.ZRF")), 5u * 4096);
    r = Run("info " + P("cut.ZRF") + " --json");
    EXPECT_EQ(Field(r.out, "validBlocks"), "5");
    const auto disk = Lines(Run("frames --disk " + P("disk.img")).out);
    const auto cut = Lines(Run("frames " + P("cut.ZRF")).out);
    ASSERT_FALSE(cut.empty());
    for (size_t i = 0; i < cut.size(); ++i)
        EXPECT_EQ(Field(cut[i], "md5"), Field(disk[i], "md5"));
}

TEST_F(ZrfCli, OtherVideoCodes) {
    ASSERT_EQ(Run("gen " + P("zo4.ZRF") + " --code 0 --seconds 1 --channels 4 --height 272").status, 0);
    Result r = Run("info " + P("zo4.ZRF") + " --code 0 --json");
    EXPECT_EQ(Field(r.out, "damagedBlocks"), "0");
    EXPECT_NE(r.out.find("\"640x272\""), std::string::npos);
    EXPECT_EQ(Field(r.out, "invalidVideoFrames"), "0");
    // The check byte is over the bytes as stored, so a wrong code still finds
    // valid blocks, but reads their times in the other byte order.
    r = Run("info " + P("zo4.ZRF") + " --json");
    EXPECT_EQ(Field(r.out, "damagedBlocks"), "0");
    EXPECT_NE(Field(r.out, "firstTime"), "\"2009-03-14 12:34:56\"");
}

TEST_F(ZrfCli, BadInputGivesOneLineAndNonZeroStatus) {
    for (const std::string& path : {P("missing.ZRF"), dir.string()}) {
        for (const char* cmd : {"info", "frames"}) {
            const Result r = Run(std::string(cmd) + " " + path);
            EXPECT_NE(r.status, 0) << cmd << " " << path;
            EXPECT_EQ(Lines(r.err).size(), 1u) << r.err;
            EXPECT_EQ(r.err.rfind("zrf: ", 0), 0u) << r.err;
        }
    }
    std::ofstream(P("empty.ZRF")).close();
    Result r = Run("info " + P("empty.ZRF"));
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.err.find("empty"), std::string::npos);

    // Not a recording at all: reported, not failed.
    std::ofstream(P("text.txt")) << std::string(10000, 'x');
    r = Run("info " + P("text.txt") + " --json");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(Field(r.out, "validBlocks"), "0");
    EXPECT_EQ(Field(r.out, "damagedBlocks"), "2");
    EXPECT_EQ(Field(r.out, "firstTime"), "null");
    r = Run("frames " + P("text.txt"));
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(r.out.empty());

    ASSERT_EQ(Run("gen " + P("a.ZRF") + " --seconds 1").status, 0);
    EXPECT_NE(Run("cut " + P("a.ZRF") + " 100 50 " + P("b.ZRF")).status, 0);
    EXPECT_NE(Run("cut " + P("a.ZRF") + " 0 99999999 " + P("b.ZRF")).status, 0);
    EXPECT_NE(Run("cut " + P("a.ZRF") + " x 10 " + P("b.ZRF")).status, 0);
    EXPECT_NE(Run("cut " + P("a.ZRF") + " 0 100 " + P("a.ZRF")).status, 0);
    EXPECT_FALSE(fs::exists(P("b.ZRF")));
    EXPECT_NE(Run("info " + P("a.ZRF") + " --code 9").status, 0);
    EXPECT_NE(Run("bogus").status, 0);
    EXPECT_NE(Run("").status, 0);
}

TEST_F(ZrfCli, DecodeListsEveryPictureWithDigests) {
    ASSERT_EQ(Run("gen " + P("d.ZRF") + " --seconds 0.5 --channels 3 --audio --key-every 4").status, 0);
    const auto frames = Lines(Run("frames " + P("d.ZRF")).out);
    const Result r = Run("decode " + P("d.ZRF") + " --md5");
    ASSERT_EQ(r.status, 0) << r.err;
    const auto pictures = Lines(r.out);
    size_t video = 0;
    for (const auto& f : frames)
        video += Field(f, "kind") == "\"video\"";
    ASSERT_EQ(pictures.size(), video);
    int keys = 0;
    for (const auto& line : pictures) {
        const size_t index = std::stoul(Field(line, "index"));
        ASSERT_LT(index, frames.size());
        EXPECT_EQ(Field(frames[index], "kind"), "\"video\"");
        EXPECT_EQ(Field(frames[index], "channel"), Field(line, "channel"));
        EXPECT_EQ(Field(line, "ok"), "true");
        EXPECT_EQ(Field(line, "width"), "640");
        EXPECT_EQ(Field(line, "height"), "224");
        EXPECT_EQ(Field(line, "yuv_md5").size(), 34u);
        keys += Field(line, "key") == "true";
    }
    // A key picture every 4 pictures of a channel.
    std::map<std::string, int> perChannel;
    for (const auto& line : pictures)
        ++perChannel[Field(line, "channel")];
    int expectedKeys = 0;
    for (const auto& [channel, count] : perChannel)
        expectedKeys += (count + 3) / 4;
    EXPECT_EQ(perChannel.size(), 3u);
    EXPECT_EQ(keys, expectedKeys);
    // The same recording decodes the same way every time.
    EXPECT_EQ(Run("decode " + P("d.ZRF") + " --md5").out, r.out);
}

// Digests of a fixed recording, so any change in the encoder or the decoder
// shows as a diff of this list.
TEST_F(ZrfCli, DecodeMatchesTheGoldenList) {
    ASSERT_EQ(Run("gen " + P("g.ZRF") + " --seconds 0.2 --channels 2 --key-every 3 --quantiser 5").status, 0);
    const Result r = Run("decode " + P("g.ZRF") + " --md5");
    ASSERT_EQ(r.status, 0);
    std::ifstream golden(std::string(ZO_SOURCE_DIR) + "/tests/golden/decode-code6.txt");
    const std::string want((std::istreambuf_iterator<char>(golden)), {});
    EXPECT_EQ(r.out, want);
}

TEST_F(ZrfCli, SnapshotWritesADoubledStill) {
    ASSERT_EQ(Run("gen " + P("s.ZRF") + " --seconds 2 --channels 2").status, 0);
    Result r = Run("snapshot " + P("s.ZRF") + " " + P("a.bmp") + " --channel 1 --time \"2009-03-14 12:34:57\"");
    ASSERT_EQ(r.status, 0) << r.err;
    std::ifstream bmp(P("a.bmp"), std::ios::binary);
    std::vector<uint8_t> head(54);
    bmp.read(reinterpret_cast<char*>(head.data()), 54);
    EXPECT_EQ(head[0], 'B');
    EXPECT_EQ(head[18] | head[19] << 8, 640);
    EXPECT_EQ(head[22] | head[23] << 8, 448);
    EXPECT_EQ(fs::file_size(P("a.bmp")), 54u + 640 * 448 * 3);
    EXPECT_NE(r.err.find("CH2"), std::string::npos);
    r = Run("snapshot " + P("s.ZRF") + " " + P("b.png") + " --at 300000");
    ASSERT_EQ(r.status, 0) << r.err;
    std::ifstream png(P("b.png"), std::ios::binary);
    char sig[8] = {};
    png.read(sig, 8);
    EXPECT_EQ(std::string(sig + 1, 3), "PNG");
    // A channel that is not in the recording, and a bad output name.
    EXPECT_NE(Run("snapshot " + P("s.ZRF") + " " + P("c.png") + " --channel 7").status, 0);
    EXPECT_NE(Run("snapshot " + P("s.ZRF") + " " + P("c.gif")).status, 0);
}

TEST_F(ZrfCli, DisksListsRowsOrExplains) {
    const Result r = Run("disks");
    EXPECT_EQ(r.status, 0);
    for (const auto& line : Lines(r.out))
        EXPECT_TRUE(line.rfind("DISK", 0) == 0 || line.rfind("no disk", 0) == 0) << line;
}

}  // namespace
