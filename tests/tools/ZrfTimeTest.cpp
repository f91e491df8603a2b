// zrf seek, play --time and evidence end to end, on recordings made by zrf gen
// and on disk images turned into rings.
#include <gtest/gtest.h>

#include <openssl/sha.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "media/BookmarkStore.h"
#include "media/RecordingFormat.h"
#include "media/TimeIndex.h"
#include "media/TimeLocator.h"
#include "support/RunProcess.h"

namespace {

namespace fs = std::filesystem;
using zo::media::kBlockSize;

std::vector<uint8_t> ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void WriteAll(const fs::path& path, const std::vector<uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                static_cast<std::streamsize>(bytes.size()));
}

std::string Sha256Hex(const uint8_t* data, size_t size) {
    unsigned char d[SHA256_DIGEST_LENGTH];
    SHA256(data, size, d);
    char hex[2 * SHA256_DIGEST_LENGTH + 1];
    for (int i = 0; i < SHA256_DIGEST_LENGTH; ++i)
        std::snprintf(hex + 2 * i, 3, "%02x", d[i]);
    return hex;
}

std::vector<std::string> Split(const std::string& text, char by) {
    std::vector<std::string> out;
    std::stringstream s(text);
    for (std::string item; std::getline(s, item, by);)
        out.push_back(item);
    return out;
}

class ZrfTime : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("zo_time_" + std::to_string(::getpid()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }
    zo::test::ProcessResult Run(const std::string& args) {
        return zo::test::RunProcess(std::string(ZRF_BINARY) + " " + args, dir / "stderr.txt");
    }
    std::string P(const std::string& name) const { return (dir / name).string(); }

    // A raw disk image: a generated recording of 20 seconds turned at
    // `percent` of its blocks (its newest blocks first on the disk), with
    // never-written blocks at the start.
    std::vector<uint8_t> RingDisk(const std::string& name, uint64_t percent, uint64_t zeroBlocks) {
        auto r = Run("gen " + P("linear.ZRF") + " --seconds 20 --channels 2 --audio --disk");
        EXPECT_EQ(r.status, 0) << r.err;
        const std::vector<uint8_t> linear = ReadAll(dir / "linear.ZRF");
        const uint64_t n = linear.size() / kBlockSize;
        const uint64_t turnBlock = n * percent / 100;
        std::vector<uint8_t> image(linear.size());
        for (uint64_t i = 0; i < n; ++i) {
            const uint64_t from = (i + n - turnBlock) % n;
            std::memcpy(image.data() + i * kBlockSize, linear.data() + from * kBlockSize, kBlockSize);
        }
        std::memset(image.data(), 0, zeroBlocks * kBlockSize);
        WriteAll(dir / name, image);
        return image;
    }

    fs::path dir;
};

TEST_F(ZrfTime, SeekFindsTheFirstBlockOfEverySecondOnARingDisk) {
    const std::vector<uint8_t> image = RingDisk("ring.img", 70, 3);
    zo::media::MemorySource source(image);
    const auto plain = zo::media::PlainTimeScan::Read(source, zo::media::kVideoZOC, true);
    ASSERT_NE(plain.turn, zo::media::kNoBlockIndex);
    for (int second = -1; second <= 19; second += 4) {
        const uint32_t t = 1237034096 + static_cast<uint32_t>(second);
        char when[64];
        const auto c = zo::media::CalendarFromUnixSeconds(t);
        std::snprintf(when, sizeof when, "%04u-%02u-%02u %02u:%02u:%02u", c.year, c.month, c.day, c.hour, c.minute,
                      c.second);
        const auto r = Run("seek " + P("ring.img") + " --disk --json --time \"" + when + "\"");
        const auto want = plain.Find(t);
        ASSERT_TRUE(want.Found());
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_NE(r.out.find("\"position\": " + std::to_string(want.Position()) + ","), std::string::npos) << r.out;
        EXPECT_NE(r.out.find("\"time\": \"" + std::string(when) + "\""), std::string::npos) << r.out;
    }
    auto r = Run("seek " + P("ring.img") + " --disk --time \"2009-03-15 00:00:00\"");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("nothing is recorded at or after 2009-03-15 00:00:00"), std::string::npos) << r.err;
    r = Run("seek " + P("ring.img") + " --disk --time \"2009-03-14 25:00:00\"");
    EXPECT_EQ(r.status, 2) << r.err;
    r = Run("play " + P("linear.ZRF") + " --disk --no-pacing --jsonl --time \"2009-03-14 12:35:10\"");
    ASSERT_EQ(r.status, 0) << r.err;
    const size_t picture = r.out.find("\"event\": \"picture\"");
    ASSERT_NE(picture, std::string::npos);
    EXPECT_GE(r.out.substr(r.out.find("\"time\": ", picture) + 9, 19), "2009-03-14 12:35:10");
}

TEST_F(ZrfTime, EvidenceAcrossTheTurningPointOfARawDisk) {
    const std::vector<uint8_t> image = RingDisk("ring.img", 50, 0);
    const std::string range = " --from \"2009-03-14 12:35:03\" --to \"2009-03-14 12:35:12\"";
    auto r = Run("evidence " + P("ring.img") + " " + P("a") + " --disk --jobs 2" + range);
    ASSERT_EQ(r.status, 0) << r.err;
    const fs::path a = dir / "a";

    // Every file is in SHA256SUMS and verifies.
    r = zo::test::RunProcess("cd " + a.string() + " && sha256sum -c --strict SHA256SUMS", dir / "sum.txt");
    EXPECT_EQ(r.status, 0) << r.out << r.err;
    for (const char* name : {"extract.ZRF", "frames.csv", "report.txt", "report.json", "run.txt", "CH1.avi", "CH2.avi"})
        EXPECT_NE(r.out.find(std::string(name) + ": OK"), std::string::npos) << name;

    const auto jsonBytes = ReadAll(a / "report.json");
    const std::string json(jsonBytes.begin(), jsonBytes.end());
    EXPECT_NE(json.find("\"crosses_turning_point\": true"), std::string::npos) << json;

    // The extract is the range's blocks swapped back, their times rising through the turn.
    const std::vector<uint8_t> extract = ReadAll(a / "extract.ZRF");
    ASSERT_GT(extract.size(), 0u);
    uint32_t last = 0;
    for (size_t b = 0; b < extract.size() / kBlockSize; ++b) {
        const auto h = zo::media::DecodeBlockHeader(extract.data() + b * kBlockSize, zo::media::kVideoZOC);
        ASSERT_TRUE(h.valid) << b;
        EXPECT_GE(h.timeSeconds, last);
        EXPECT_GE(h.timeSeconds, 1237034096u + 7);
        EXPECT_LE(h.timeSeconds, 1237034096u + 16);
        last = h.timeSeconds;
    }

    // Each frame is found again on the disk at its source offset, with its digest.
    const auto csv = ReadAll(a / "frames.csv");
    const auto lines = Split(std::string(csv.begin(), csv.end()), '\n');
    ASSERT_GT(lines.size(), 100u);
    EXPECT_EQ(lines[0], "index,kind,channel,source_offset,block_time,key,length,sha256");
    std::vector<uint8_t> swapped = image;
    zo::media::SwapBytePairs(swapped.data(), swapped.size());
    std::map<std::string, int> videoPerChannel;
    for (size_t i = 1; i < lines.size(); ++i) {
        const auto f = Split(lines[i], ',');
        ASSERT_EQ(f.size(), 8u) << lines[i];
        EXPECT_EQ(f[0], std::to_string(i - 1));
        const uint64_t at = std::stoull(f[3]);
        // The start code, possibly across a block header.
        std::vector<uint8_t> code;
        for (uint64_t p = at; code.size() < 4 && p < swapped.size(); ++p)
            if (p % kBlockSize >= 8)
                code.push_back(swapped[p]);
        ASSERT_EQ(code.size(), 4u);
        EXPECT_EQ(code[0] | code[1], 0) << lines[i];
        EXPECT_EQ(code[2], 1) << lines[i];
        EXPECT_EQ(code[3] >= 0xFA, f[1] == "audio") << lines[i];
        if (f[1] == "video")
            ++videoPerChannel[f[2]];
        EXPECT_EQ(f[7].size(), 64u);
    }
    EXPECT_EQ(videoPerChannel.size(), 2u);

    // ffprobe reads the AVI files: MPEG-4 video with every picture of the camera.
    for (const auto& [channel, pictures] : videoPerChannel) {
        r = zo::test::RunProcess("ffprobe -v error -count_frames -select_streams v:0 -show_entries "
                                 "stream=codec_name,nb_read_frames -of csv=p=0 " +
                                     (a / ("CH" + channel + ".avi")).string(),
                                 dir / "probe.txt");
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.out, "mpeg4," + std::to_string(pictures) + "\n") << channel;
    }

    // A second run, one job: the same files but for run.txt (and its line in SHA256SUMS).
    r = Run("evidence " + P("ring.img") + " " + P("b") + " --disk" + range);
    ASSERT_EQ(r.status, 0) << r.err;
    for (const auto& entry : fs::directory_iterator(a)) {
        const std::string name = entry.path().filename().string();
        if (name == "run.txt" || name == "SHA256SUMS")
            continue;
        EXPECT_EQ(ReadAll(entry.path()), ReadAll(dir / "b" / name)) << name;
    }
    auto sums = [](const fs::path& p) {
        auto b = ReadAll(p);
        std::string s(b.begin(), b.end());
        return s.substr(0, s.find("  run.txt") - 64);
    };
    EXPECT_EQ(sums(a / "SHA256SUMS"), sums(dir / "b" / "SHA256SUMS"));
    // The source was not touched.
    EXPECT_EQ(ReadAll(dir / "ring.img"), image);
}

TEST_F(ZrfTime, IndexOfARingDiskIsCachedPerSourceOutsideItsFolder) {
    std::vector<uint8_t> image = RingDisk("ring.img", 40, 5);
    for (uint64_t b = 300; b < 310; ++b)
        image[b * kBlockSize + 6] ^= 0x5A;  // damaged: the check byte (swapped to offset 6) fails
    WriteAll(dir / "ring.img", image);
    fs::remove(dir / "linear.ZRF");
    zo::media::MemorySource source(image);
    const auto plain = zo::media::PlainTimeScan::Read(source, zo::media::kVideoZOC, true);
    uint64_t counting = 0;
    for (int64_t t : plain.times)
        counting += t >= 0;

    const std::string env = "XDG_CACHE_HOME=" + P("cache") + " ";
    auto index = [&](const std::string& extra) {
        return zo::test::RunProcess(env + ZRF_BINARY + " index " + P("ring.img") + " --disk --json" + extra,
                                    dir / "stderr.txt");
    };
    auto r = index("");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("\"cached\": false"), std::string::npos);
    EXPECT_NE(r.out.find("\"turning_point\": {\"block\": " + std::to_string(plain.turn) + ","), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"recording_blocks\": " + std::to_string(counting) + ","), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\"damaged\": [{\"first_block\": 0, \"blocks\": 5}, {\"first_block\": 300, \"blocks\": 10}]"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("\"first_block\": " + std::to_string(plain.turn)), std::string::npos);

    // The second run comes from the cache, which lies in the cache folder only.
    const std::string first = r.out;
    r = index("");
    EXPECT_NE(r.out.find("\"cached\": true"), std::string::npos);
    EXPECT_EQ(r.out.substr(r.out.find("\"turning_point\"")), first.substr(first.find("\"turning_point\"")));
    size_t files = 0;
    for (const auto& e : fs::directory_iterator(dir / "cache" / "zoviewer"))
        files += e.path().filename().string().rfind("index-", 0) == 0;
    EXPECT_EQ(files, 1u);
    std::vector<std::string> beside;
    for (const auto& e : fs::directory_iterator(dir))
        beside.push_back(e.path().filename().string());
    std::sort(beside.begin(), beside.end());
    EXPECT_EQ(beside, (std::vector<std::string>{"cache", "ring.img", "stderr.txt"}));
    EXPECT_NE(index(" --no-cache").out.find("\"cached\": false"), std::string::npos);

    // A changed source is indexed again.
    image[(image.size() / kBlockSize / 2) * kBlockSize + 6] ^= 0x5A;
    WriteAll(dir / "ring.img", image);
    r = index("");
    EXPECT_NE(r.out.find("\"cached\": false"), std::string::npos);
    EXPECT_NE(r.out.find("\"damaged_blocks\": 16,"), std::string::npos) << r.out;
}

TEST_F(ZrfTime, EvidenceRefusals) {
    auto r = Run("gen " + P("rec.ZRF") + " --seconds 4");
    ASSERT_EQ(r.status, 0) << r.err;
    fs::create_directories(dir / "full");
    WriteAll(dir / "full" / "x", {1});
    struct Row {
        std::string args;
        int status;
        std::string message;
    } rows[] = {
        {P("full") + " --from \"2009-03-14 12:34:56\" --to \"2009-03-14 12:35:00\"", 1, "is not empty"},
        {P("o1") + " --from \"2009-03-14 13:00:00\" --to \"2009-03-14 13:01:00\"", 1, "nothing is recorded from"},
        {P("o2") + " --from \"2009-03-14 12:35:00\" --to \"2009-03-14 12:34:00\"", 2, "--to must not be before"},
        {P("o3") + " --from \"2009-03-14 12:34:56\" --to \"2009-03-14 12:35:00\" --channels 0", 2, "--channels"},
    };
    for (const Row& row : rows) {
        r = Run("evidence " + P("rec.ZRF") + " " + row.args);
        EXPECT_EQ(r.status, row.status) << row.args << r.err;
        EXPECT_NE(r.err.find(row.message), std::string::npos) << r.err;
    }
    EXPECT_FALSE(fs::exists(dir / "o1"));  // made, then removed with nothing in it
    EXPECT_FALSE(fs::exists(dir / "o2"));
    // A write that fails (a file size limit) fails the command and leaves no package behind.
    r = zo::test::RunProcess("sh -c \"trap '' XFSZ; ulimit -f 1000; " + std::string(ZRF_BINARY) + " evidence " +
                                 P("rec.ZRF") + " " + P("small") +
                                 " --no-avi --from '2009-03-14 12:34:56' --to '2009-03-14 12:35:00'\"",
                             dir / "stderr.txt");
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find("extract.ZRF"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(dir / "small"));
    // A whole small recording without AVI files, with the source's digest.
    r = Run("evidence " + P("rec.ZRF") + " " + P("p") +
            " --no-avi --hash-source --from \"2009-03-14 12:30:00\" --to \"2009-03-14 12:40:00\"");
    ASSERT_EQ(r.status, 0) << r.err;
    const auto bytes = ReadAll(dir / "rec.ZRF");
    const auto report = ReadAll(dir / "p" / "report.json");
    EXPECT_NE(std::string(report.begin(), report.end()).find(Sha256Hex(bytes.data(), bytes.size())), std::string::npos);
    EXPECT_EQ(ReadAll(dir / "p" / "extract.ZRF"), bytes);
    EXPECT_FALSE(fs::exists(dir / "p" / "CH1.avi"));
    // Folders named relative to the current one, AVI files included: the
    // encoder set-up changes the working folder on the way.
    r = zo::test::RunProcess("sh -c \"cd " + dir.string() + " && " + std::string(ZRF_BINARY) +
                                 " evidence rec.ZRF rel --channels 1 --from '2009-03-14 12:34:56' --to "
                                 "'2009-03-14 12:34:58'\"",
                             dir / "stderr.txt");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(fs::exists(dir / "rel" / "CH1.avi"));
    EXPECT_TRUE(fs::exists(dir / "rel" / "SHA256SUMS"));
    const auto relReport = ReadAll(dir / "rel" / "report.json");
    EXPECT_NE(std::string(relReport.begin(), relReport.end()).find(P("rec.ZRF")), std::string::npos);
}

}  // namespace

TEST_F(ZrfTime, EvidenceReportListsTheViewersBookmarksInsideTheRange) {
    auto r = Run("gen " + P("rec.ZRF") + " --seconds 8");
    ASSERT_EQ(r.status, 0) << r.err;
    // Bookmarks as the viewer stores them for this source.
    zo::media::OpenStatus status{};
    auto source = zo::media::FileSource::Open(P("rec.ZRF"), status);
    ASSERT_TRUE(source);
    zo::media::BookmarkStore store((dir / "data" / "zoviewer").string());
    ASSERT_TRUE(store.Load(zo::media::SourceKey(*source, P("rec.ZRF"), zo::media::kVideoZOC, false)));
    const uint32_t start = static_cast<uint32_t>(zo::media::UnixSecondsFromCalendar({2009, 3, 6, 14, 12, 34, 56, 0}));
    ASSERT_TRUE(store.Add({start - 10, 0, "before"}));
    ASSERT_TRUE(store.Add({start + 1, 1, "suspect enters"}));
    ASSERT_TRUE(store.Add({start + 4, zo::media::Bookmark::kAllChannels, ""}));
    ASSERT_TRUE(store.Add({start + 5, 2, "after"}));
    ASSERT_TRUE(store.Save());

    r = zo::test::RunProcess("XDG_DATA_HOME=" + P("data") + " " + ZRF_BINARY + " evidence " + P("rec.ZRF") + " " +
                                 P("p") + " --no-avi --from \"2009-03-14 12:34:57\" --to \"2009-03-14 12:35:00\"",
                             dir / "stderr.txt");
    ASSERT_EQ(r.status, 0) << r.err;
    const auto txtBytes = ReadAll(dir / "p" / "report.txt");
    const auto jsonBytes = ReadAll(dir / "p" / "report.json");
    const std::string txt(txtBytes.begin(), txtBytes.end()), json(jsonBytes.begin(), jsonBytes.end());
    EXPECT_NE(txt.find("Bookmarks made in the viewer inside the range: \n"
                       "  2009-03-14 12:34:57  CH2  suspect enters\n"
                       "  2009-03-14 12:35:00  all cameras\n"),
              std::string::npos)
        << txt;
    EXPECT_EQ(txt.find("before"), std::string::npos);
    EXPECT_EQ(txt.find("after"), std::string::npos);
    EXPECT_NE(json.find("\"bookmarks\": [{\"time\": \"2009-03-14 12:34:57\", \"channel\": 2, \"note\": \"suspect "
                        "enters\"}, {\"time\": \"2009-03-14 12:35:00\", \"channel\": null, \"note\": \"\"}]"),
              std::string::npos)
        << json;

    // Without bookmarks the report says so.
    r = Run("evidence " + P("rec.ZRF") + " " + P("q") +
            " --no-avi --from \"2009-03-14 12:34:57\" --to \"2009-03-14 12:35:00\"");
    ASSERT_EQ(r.status, 0) << r.err;
    const auto plain = ReadAll(dir / "q" / "report.txt");
    EXPECT_NE(std::string(plain.begin(), plain.end()).find("inside the range: none"), std::string::npos);
}
