// zrf play end to end: the real engine, the real sound output (SDL's dummy
// driver), real files.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "support/JsonLines.h"
#include "support/RunProcess.h"

namespace {

namespace fs = std::filesystem;

class ZrfPlay : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("zo_play_" + std::to_string(::getpid()) + "_" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }

    zo::test::ProcessResult Run(const std::string& args) {
        return zo::test::RunProcess("SDL_AUDIODRIVER=dummy " + std::string(ZRF_BINARY) + " " + args,
                                    dir / "stderr.txt");
    }
    std::string P(const std::string& name) { return (dir / name).string(); }

    fs::path dir;
};

using zo::test::Field;
using zo::test::Lines;

TEST_F(ZrfPlay, ShowsEveryPictureAsTheDecoderMakesIt) {
    ASSERT_EQ(Run("gen " + P("a.ZRF") + " --seconds 2 --channels 4 --audio").status, 0);
    const auto played = Run("play " + P("a.ZRF") + " --jsonl --no-pacing");
    ASSERT_EQ(played.status, 0) << played.err;
    const auto decoded = Run("decode " + P("a.ZRF") + " --md5");
    ASSERT_EQ(decoded.status, 0);

    std::vector<std::string> pictures, states;
    for (const std::string& line : Lines(played.out)) {
        const std::string event = Field(line, "event");
        if (event == "\"picture\"")
            pictures.push_back(line);
        else if (event == "\"state\"")
            states.push_back(Field(line, "text"));
    }
    const std::vector<std::string> decodes = Lines(decoded.out);
    ASSERT_GT(decodes.size(), 100u);
    // Every channel starts with a key picture, so the engine shows every
    // picture, each exactly as the decoder's own list has it.
    ASSERT_EQ(pictures.size(), decodes.size());
    for (size_t i = 0; i < pictures.size(); ++i) {
        EXPECT_EQ(Field(pictures[i], "md5"), Field(decodes[i], "yuv_md5")) << i;
        EXPECT_EQ(Field(pictures[i], "channel"), Field(decodes[i], "channel")) << i;
        EXPECT_EQ(Field(pictures[i], "width"), "640");
        EXPECT_EQ(Field(pictures[i], "shown"), "true");
    }
    ASSERT_GE(states.size(), 3u);
    EXPECT_EQ(states.front(), "\"PLAY \"");
    EXPECT_EQ(states[states.size() - 2], "\"PAUSE\"");
    EXPECT_EQ(states.back(), "\"READY\"");
}

TEST_F(ZrfPlay, PlaysInRealTimeWithSound) {
    // Two seconds of recording with sound: the sound output sets the pace.
    ASSERT_EQ(Run("gen " + P("s.ZRF") + " --seconds 2 --channels 4 --audio").status, 0);
    const auto played = Run("play " + P("s.ZRF") + " --jsonl");
    ASSERT_EQ(played.status, 0) << played.err;
    const std::vector<std::string> lines = Lines(played.out);
    ASSERT_FALSE(lines.empty());
    const double ms = std::stod(Field(lines.back(), "ms"));
    EXPECT_GT(ms, 1000);
    EXPECT_LT(ms, 8000);
}

TEST_F(ZrfPlay, ReverseAndFastPlayShowKeyPicturesOnly) {
    ASSERT_EQ(Run("gen " + P("k.ZRF") + " --seconds 4 --channels 2 --key-every 5").status, 0);
    const auto decoded = Run("decode " + P("k.ZRF") + " --md5");
    std::map<std::string, std::string> keyOf;  // yuv md5 -> key flag
    for (const std::string& line : Lines(decoded.out))
        keyOf[Field(line, "yuv_md5")] = Field(line, "key");
    for (const std::string& args : {std::string("--reverse --no-pacing"), std::string("--speed 16 --no-pacing")}) {
        const auto played = Run("play " + P("k.ZRF") + " --jsonl " + args);
        ASSERT_EQ(played.status, 0) << played.err;
        int pictures = 0;
        for (const std::string& line : Lines(played.out)) {
            if (Field(line, "event") != "\"picture\"")
                continue;
            ++pictures;
            EXPECT_EQ(keyOf[Field(line, "md5")], "true") << args;
        }
        EXPECT_GT(pictures, 2) << args;
    }
}

TEST_F(ZrfPlay, ExactReverseShowsThePicturesOfForwardPlayBackwards) {
    ASSERT_EQ(Run("gen " + P("x.ZRF") + " --seconds 6 --channels 4 --audio --key-every 12").status, 0);
    const auto decoded = Run("decode " + P("x.ZRF") + " --md5");
    ASSERT_EQ(decoded.status, 0);
    const std::vector<std::string> forward = Lines(decoded.out);
    for (const char* speed : {"1", "8"}) {
        const auto played = Run("play " + P("x.ZRF") + " --jsonl --no-pacing --exact --reverse --speed " + speed);
        ASSERT_EQ(played.status, 0) << played.err;
        // The pictures of reverse play (after the search near the end), each
        // the picture the decoder makes of the same frame going forward.
        std::vector<std::string> reversed;
        bool reversing = false;
        for (const std::string& line : Lines(played.out)) {
            const std::string event = Field(line, "event");
            if (event == "\"state\"")
                reversing = Field(line, "state") == "3";
            else if (event == "\"picture\"" && reversing)
                reversed.push_back(line);
        }
        ASSERT_GT(reversed.size(), 100u) << speed;
        ASSERT_LT(reversed.size(), forward.size()) << speed;
        for (size_t i = 0; i < reversed.size(); ++i) {
            const std::string& same = forward[reversed.size() - 1 - i];
            ASSERT_EQ(Field(reversed[i], "md5"), Field(same, "yuv_md5")) << speed << " " << i;
            ASSERT_EQ(Field(reversed[i], "channel"), Field(same, "channel")) << speed << " " << i;
        }
    }
}

TEST_F(ZrfPlay, BadInputIsReported) {
    const auto missing = Run("play " + P("none.ZRF"));
    EXPECT_EQ(missing.status, 1);
    EXPECT_NE(missing.err.find("none.ZRF"), std::string::npos);
    ASSERT_EQ(Run("gen " + P("b.ZRF") + " --seconds 1").status, 0);
    EXPECT_NE(Run("play " + P("b.ZRF") + " --speed 0").status, 0);
    EXPECT_NE(Run("play " + P("b.ZRF") + " --speed 12").status, 0);
}

}  // namespace
