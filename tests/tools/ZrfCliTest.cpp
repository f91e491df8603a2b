// End-to-end tests of the zrf command line: real processes, real files.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <map>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
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
    // The other readings are suggested when the data fits them clearly better.
    EXPECT_NE(Field(r.out, "hint").find("try --disk"), std::string::npos) << r.out;
    r = Run("info " + P("disk.img") + " --disk --code 3");
    EXPECT_NE(r.out.find("try --code 6"), std::string::npos) << r.out;
    EXPECT_EQ(Field(Run("info " + P("disk.img") + " --disk --json").out, "hint"), "null");

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

namespace {

std::vector<uint8_t> ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void Append(const fs::path& path, const std::vector<uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary | std::ios::app)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// Files left in `dir` other than the ones named.
std::vector<std::string> Leftovers(const fs::path& dir, std::initializer_list<std::string> keep) {
    std::vector<std::string> out;
    for (const auto& entry : fs::directory_iterator(dir)) {
        const std::string name = entry.path().filename().string();
        if (name != "stderr.txt" && std::find(keep.begin(), keep.end(), name) == keep.end())
            out.push_back(name);
    }
    return out;
}

}  // namespace

// A write that fails is reported, leaves nothing behind, and special files
// are never replaced; an existing file is replaced only with --force.
TEST_F(ZrfCli, FailedWritesAndSpecialOutputsAreNeverTakenForSuccess) {
    ASSERT_EQ(Run("gen " + P("a.ZRF") + " --seconds 2 --placeholder").status, 0);
    ASSERT_EQ(Run("gen " + P("s.ZRF") + " --seconds 0.2").status, 0);  // decodable pictures
    const auto original = ReadAll(P("a.ZRF"));

    // Standard output that cannot take the listing.
    for (const char* cmd : {"frames", "decode --md5", "info --json"}) {
        const Result r = Run(std::string(cmd) + " " + P("a.ZRF") + " >/dev/full");
        EXPECT_NE(r.status, 0) << cmd;
        EXPECT_NE(r.err.find("No space left"), std::string::npos) << cmd << ": " << r.err;
    }

    // A file-size limit stands in for a full file system.
    for (const std::string& cmd : {"gen " + P("big.ZRF") + " --seconds 4 --placeholder",
                                   "snapshot " + P("s.ZRF") + " " + P("still.bmp"),
                                   "snapshot " + P("s.ZRF") + " " + P("still.png"),
                                   "cut " + P("a.ZRF") + " 0 200000 " + P("cut.ZRF")}) {
        const Result r = zo::test::RunProcess("ulimit -f 4 && " + std::string(ZRF_BINARY) + " " + cmd,
                                              dir / "stderr.txt");
        EXPECT_NE(r.status, 0) << cmd;
        EXPECT_NE(r.err.find("File too large"), std::string::npos) << cmd << ": " << r.err;
        EXPECT_EQ(Leftovers(dir, {"a.ZRF", "s.ZRF"}), std::vector<std::string>{}) << cmd;
    }

    // Special files and links are refused and stay as they are.
    ASSERT_EQ(::mkfifo(P("fifo").c_str(), 0644), 0);
    fs::create_symlink(P("s.ZRF"), P("link.ZRF"));
    for (const std::string& out : {P("fifo"), P("link.ZRF"), std::string("/dev/null")}) {
        for (const std::string& cmd : {"cut " + P("a.ZRF") + " 0 100 " + out + " --force",
                                       "gen " + out + " --seconds 1 --placeholder --force"}) {
            const Result r = Run(cmd);
            EXPECT_NE(r.status, 0) << cmd;
            EXPECT_NE(r.err.find("only regular files"), std::string::npos) << r.err;
        }
    }
    EXPECT_TRUE(fs::is_fifo(P("fifo")));
    EXPECT_TRUE(fs::is_symlink(P("link.ZRF")));
    EXPECT_TRUE(fs::is_character_file("/dev/null"));
    EXPECT_EQ(ReadAll(P("a.ZRF")), original);

    // Existing regular files: refused off a terminal, replaced with --force.
    EXPECT_NE(Run("gen " + P("a.ZRF") + " --seconds 1 --placeholder").status, 0);
    EXPECT_EQ(ReadAll(P("a.ZRF")), original);
    ASSERT_EQ(Run("cut " + P("a.ZRF") + " 0 0 " + P("b.ZRF")).status, 0);
    EXPECT_NE(Run("cut " + P("a.ZRF") + " 0 4096 " + P("b.ZRF")).status, 0);
    EXPECT_EQ(fs::file_size(P("b.ZRF")), 4096u);
    ASSERT_EQ(Run("cut " + P("a.ZRF") + " 0 4096 " + P("b.ZRF") + " --force").status, 0);
    EXPECT_EQ(fs::file_size(P("b.ZRF")), 8192u);  // END is included: its block too
    // The last byte may be END.
    ASSERT_EQ(Run("cut " + P("a.ZRF") + " " + std::to_string(original.size() - 1) + " " +
                  std::to_string(original.size() - 1) + " " + P("c.ZRF"))
                  .status,
              0);
    EXPECT_EQ(ReadAll(P("c.ZRF")), std::vector<uint8_t>(original.end() - 4096, original.end()));
}

// Recordings behind an empty area and after 10 MB of damage are all read;
// the areas are reported, and a block that passes its check by chance inside
// the damage does not stretch the time range.
TEST_F(ZrfCli, DamagedAndSparseSourcesAreReadToTheEnd) {
    ASSERT_EQ(Run("gen " + P("a.ZRF") + " --seconds 2 --audio").status, 0);
    ASSERT_EQ(Run("gen " + P("b.ZRF") + " --seconds 2 --start \"2009-03-14 13:00:00\"").status, 0);
    const auto a = ReadAll(P("a.ZRF")), b = ReadAll(P("b.ZRF"));
    std::vector<uint8_t> damage(10 << 20);
    zo::synth::Rng rng(3);
    for (auto& byte : damage)
        byte = static_cast<uint8_t>(rng.Below(256));
    // One block inside the damage passes its check with a time in 2102.
    zo::media::EncodeBlockHeader(4200000000u, 1, 1, zo::media::kVideoZOC, damage.data() + 4096 * 100);
    Append(P("img"), std::vector<uint8_t>(3 << 20, 0));  // the recorder's own area, say
    Append(P("img"), a);
    Append(P("img"), damage);
    Append(P("img"), b);

    const size_t framesA = Lines(Run("frames " + P("a.ZRF")).out).size();
    const size_t framesB = Lines(Run("frames " + P("b.ZRF")).out).size();
    for (const char* direction : {"", " --backward"}) {
        const Result r = Run("frames " + P("img") + direction);
        ASSERT_EQ(r.status, 0) << r.err;
        // a's last frame runs into the damage and is lost; every other one comes.
        EXPECT_EQ(Lines(r.out).size(), framesA - 1 + framesB) << direction;
        EXPECT_NE(r.err.find("bytes 0 to 3145727"), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("no valid blocks at bytes " + std::to_string((3 << 20) + a.size())),
                  std::string::npos)
            << r.err;
    }
    const Result d = Run("decode " + P("img") + " --md5");
    EXPECT_EQ(d.status, 0);
    EXPECT_GT(Lines(d.out).size(), framesB);

    const Result info = Run("info " + P("img") + " --json");
    ASSERT_EQ(info.status, 0) << info.err;
    EXPECT_EQ(Field(info.out, "lastTime"), "\"2009-03-14 13:00:01\"");
    EXPECT_EQ(Field(info.out, "gapCount"), "2");
    EXPECT_NE(Field(info.out, "untrustedBlocks"), "0");
    EXPECT_NE(info.out.find("{\"offset\": 0, \"bytes\": 3145728, \"emptyBlocks\": 768}"), std::string::npos)
        << info.out;

    // The export goes on past the damage too.
    const Result x = Run("export " + P("img") + " " + P("x.avi") + " --codec raw --no-time --channels 1");
    ASSERT_EQ(x.status, 0) << x.err;
    EXPECT_NE(x.err.find("stepped over"), std::string::npos) << x.err;
    const auto channel0 = [](const std::string& out) {
        size_t n = 0;
        for (const auto& line : Lines(out))
            n += Field(line, "kind") == "\"video\"" && Field(line, "channel") == "0";
        return n;
    };
    const size_t pictures = channel0(Run("frames " + P("img")).out);
    EXPECT_NE(x.err.find("CH1, " + std::to_string(pictures) + " pictures"), std::string::npos) << x.err;
}

TEST_F(ZrfCli, NumbersThatMeanNothingAreRefused) {
    for (const char* seconds : {"nan", "inf", "-1", "0", "1e400"})
        EXPECT_NE(Run("gen " + P("g.ZRF") + " --seconds " + seconds).status, 0) << seconds;
    EXPECT_NE(Run("gen " + P("g.ZRF") + " --start \"2106-02-07 06:28:16\"").status, 0);
    EXPECT_FALSE(fs::exists(P("g.ZRF")));
    ASSERT_EQ(Run("gen " + P("g.ZRF") + " --seconds 0.1 --placeholder --start \"2106-02-07 06:28:10\"").status, 0);
    for (const char* seconds : {"nan", "-inf", "0"}) {
        EXPECT_NE(Run("play " + P("g.ZRF") + " --seconds " + seconds).status, 0) << seconds;
        EXPECT_NE(Run("record --host 127.0.0.1 --port 9 --out " + dir.string() + " --seconds " + seconds).status, 0);
    }
}

// A disk image may start at any byte of the disk: prefixed by the tail of a
// block, a recording reads exactly as the whole one, on files and raw disks.
TEST_F(ZrfCli, ImagesStartingInsideABlockReadLikeWholeOnes) {
    ASSERT_EQ(Run("gen " + P("a.ZRF") + " --seconds 1.5 --channels 2 --audio").status, 0);
    ASSERT_EQ(Run("gen " + P("d.img") + " --seconds 1.5 --disk").status, 0);
    struct Case {
        const char* whole;
        size_t prefix;
        bool disk;
    } cases[] = {{"a.ZRF", 1, false},  {"a.ZRF", 512, false}, {"a.ZRF", 3584, false},
                 {"a.ZRF", 4095, false}, {"a.ZRF", 4608, false}, {"d.img", 1001, true}};
    const std::string time = " --time \"2009-03-14 12:34:57\"";
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.whole) + " after " + std::to_string(c.prefix) + " bytes");
        const std::string flags = c.disk ? " --disk" : "";
        const std::string whole = P(c.whole) + flags, shifted = P("shifted.img") + flags;
        fs::remove(P("shifted.img"));
        std::vector<uint8_t> prefix(c.prefix);
        zo::synth::Rng rng(c.prefix);
        for (auto& byte : prefix)
            byte = static_cast<uint8_t>(rng.Below(256));
        Append(P("shifted.img"), prefix);
        Append(P("shifted.img"), ReadAll(P(c.whole)));
        const uint32_t origin = static_cast<uint32_t>(c.prefix % 4096);

        for (const std::string command : {"frames ", "frames --backward ", "decode --md5 "}) {
            if (command != "frames " && c.prefix != 4095 && !c.disk)
                continue;  // the same reading; once is enough
            const Result expected = Run(command + whole), got = Run(command + shifted);
            ASSERT_EQ(got.status, 0) << got.err;
            EXPECT_EQ(got.out, expected.out) << command;
            EXPECT_FALSE(got.out.empty());
        }
        const Result infoWhole = Run("info --json " + whole), info = Run("info --json " + shifted);
        ASSERT_EQ(info.status, 0) << info.err;
        EXPECT_EQ(Field(info.out, "gridOrigin"), std::to_string(origin));
        for (const char* key : {"validBlocks", "firstTime", "lastTime", "videoFrames", "keyFrames", "soundFrames",
                                "soundBytes", "channels", "untrustedBlocks"})
            EXPECT_EQ(Field(info.out, key), Field(infoWhole.out, key)) << key;
        const std::string text = Run("info " + shifted).out;
        EXPECT_NE(text.find("the first block starts at byte " + std::to_string(origin)), std::string::npos) << text;

        if (c.prefix < 4096) {  // nothing but the recording's own blocks on the grid
            EXPECT_EQ(Field(info.out, "gapCount"), "0");
            const Result seekWhole = Run("seek " + whole + time), seekShifted = Run("seek " + shifted + time);
            ASSERT_EQ(seekShifted.status, 0) << seekShifted.err;
            EXPECT_EQ(seekShifted.out, seekWhole.out);
            auto index = [&](const std::string& path, const std::string& name) {
                std::string out = Run("index --no-cache " + path).out;
                const size_t at = out.find(name);
                return at == std::string::npos ? out : out.substr(at + name.size());
            };
            EXPECT_EQ(index(shifted, "shifted.img"), index(whole, c.whole));
        }
        if (c.prefix == 4608) {
            const std::string options = " --codec raw --no-time --force --channels 2";
            ASSERT_EQ(Run("export " + whole + " " + P("w.avi") + options).status, 0);
            const Result x = Run("export " + shifted + " " + P("s.avi") + options);
            ASSERT_EQ(x.status, 0) << x.err;
            EXPECT_EQ(ReadAll(P("s-CH2.avi")), ReadAll(P("w-CH2.avi")));
        }
    }
}
