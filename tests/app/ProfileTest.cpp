#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/Profile.h"

using zo::platform::Profile;

namespace {

constexpr const char* kSection = "Zo7R Viewer";

std::filesystem::path TempDir(const char* name) {
    auto dir = std::filesystem::temp_directory_path() / ("zo_profile_" + std::to_string(::getpid()) + "_" + name);
    std::filesystem::remove_all(dir);
    return dir;
}

std::string ReadAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

}  // namespace

TEST(Profile, IntegerReadTakesLeadingDigits) {
    const struct {
        const char* text;
        int value;
    } cases[] = {{"640", 640}, {"  448px", 448}, {"abc", 0}, {"", 0}, {"-5", -5}, {"+7", 7},
                 {"99999999999999", 2147483647}, {"-99999999999999", -2147483647 - 1}, {"12 34", 12}};
    for (const auto& c : cases)
        EXPECT_EQ(Profile::ParseInt(c.text), c.value) << c.text;
}

TEST(Profile, ReadsSectionAndKeysLikeTheClassicCalls) {
    Profile p;
    p.Parse("; comment\n[other]\nPort=1\n[zo7r viewer]\r\n  Capture Path = /home/x/My Pics  \r\n"
            "PORT=8841\nTime Format=\" %H:%M \"\nnoequals\nPort=9999\n[broken\nVolume=3\n");
    EXPECT_EQ(p.GetString(kSection, "Capture Path", "-"), "/home/x/My Pics");
    EXPECT_EQ(p.GetInt(kSection, "Port", 0), 8841);  // first occurrence, any letter case
    EXPECT_EQ(p.GetInt("Other", "port", 0), 1);
    EXPECT_EQ(p.GetString(kSection, "Time Format", "-"), " %H:%M ");
    EXPECT_EQ(p.GetInt(kSection, "Volume", 42), 42);  // under an unterminated header: ignored
    EXPECT_EQ(p.GetString(kSection, "Missing", "dflt"), "dflt");
    EXPECT_FALSE(p.Has(kSection, "noequals"));
}

TEST(Profile, SaveIsAtomicKeepsOtherSectionsAndRoundTrips) {
    const auto dir = TempDir("save");
    const auto path = dir / "deep" / "zoviewer.ini";
    {
        Profile p(path.string());
        ASSERT_TRUE(p.Load());  // missing: empty
        p.SetString(kSection, "Capture Path", "/a b/c");
        p.SetInt(kSection, "Video Width", 640);
        p.SetString(kSection, "Time Format", " %Y ");
        p.SetString(kSection, "Bad", "line\nbreak");
        std::string error;
        ASSERT_TRUE(p.Save(&error)) << error;
    }
    EXPECT_EQ(ReadAll(path), "[Zo7R Viewer]\nCapture Path=/a b/c\nVideo Width=640\nTime Format=\" %Y \"\nBad=line break\n");
    std::ofstream(path, std::ios::app) << "[Keep]\nx=1\n";
    Profile q(path.string());
    ASSERT_TRUE(q.Load());
    EXPECT_EQ(q.GetString(kSection, "Time Format", ""), " %Y ");
    q.SetInt(kSection, "Video Width", 720);
    ASSERT_TRUE(q.Save());
    const std::string text = ReadAll(path);
    EXPECT_NE(text.find("Video Width=720\nTime"), std::string::npos);  // updated in place
    EXPECT_NE(text.find("[Keep]\nx=1\n"), std::string::npos);
    // No temporary file is left beside it.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(path.parent_path()), {}), 1);
    std::filesystem::remove_all(dir);
}

TEST(Profile, FailedSaveSaysWhyAndLeavesNoTemporaryFile) {
    const auto dir = TempDir("fail");
    std::filesystem::create_directories(dir / "target.ini" / "inside");
    std::ofstream(dir / "plain") << "x";
    // A folder that is a file; a profile path that is a folder.
    for (const auto& path : {dir / "plain" / "zoviewer.ini", dir / "target.ini"}) {
        Profile p(path.string());
        p.SetInt(kSection, "Port", 2);
        std::string error;
        EXPECT_FALSE(p.Save(&error)) << path;
        EXPECT_NE(error.find(dir.string()), std::string::npos) << error;
    }
    EXPECT_TRUE(std::filesystem::is_directory(dir / "target.ini" / "inside"));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 2);
    std::filesystem::remove_all(dir);
}

TEST(Profile, HostileFileIsBounded) {
    std::string text = "[Zo7R Viewer]\nPort=5\n";
    text.append(Profile::kMaxFileBytes, 'x');
    text += "\nVolume=9\n";
    Profile p;
    p.Parse(text);
    EXPECT_EQ(p.GetInt(kSection, "Port", 0), 5);
    EXPECT_FALSE(p.Has(kSection, "Volume"));  // beyond the limit
}

TEST(Profile, DefaultPathFollowsXdg) {
    const char* old = std::getenv("XDG_CONFIG_HOME");
    const std::string saved = old ? old : "";
    ::setenv("XDG_CONFIG_HOME", "/cfg", 1);
    EXPECT_EQ(Profile::DefaultPath(), "/cfg/zoviewer/zoviewer.ini");
    ::setenv("XDG_CONFIG_HOME", "relative", 1);
    ::setenv("HOME", "/home/u", 1);
    EXPECT_EQ(Profile::DefaultPath(), "/home/u/.config/zoviewer/zoviewer.ini");
    if (old)
        ::setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
    else
        ::unsetenv("XDG_CONFIG_HOME");
}
