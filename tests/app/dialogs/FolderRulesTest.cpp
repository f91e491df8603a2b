#include "platform/FolderRules.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;
using zo::platform::CheckFolderPath;

TEST(FolderRules, EachRuleBothWays) {
    const struct {
        std::string path;
        int result;
    } cases[] = {
        {"/", 0},
        {"/home/j.doe/Pictures", 0},
        {"/a b/c", 0},                  // inner blanks are fine
        {"/.hidden/x.y.", 0},           // dots other than "." and ".."
        {"", 1},
        {"relative/path", 1},           // must be absolute
        {"./x", 1},
        {"/a//b", 1},                   // empty component
        {"//", 1},
        {"/a/", 1},                     // trailing slash
        {"/a/./b", 1},
        {"/a/../b", 1},
        {"/..", 1},
        {"/ a", 1},                     // leading blank
        {"/a /b", 1},                   // trailing blank
        {"/\ta", 1},
        {"/a\t", 1},
        {"/a\nb", 1},                   // control characters
        {std::string("/a\x01", 3), 1},
        {"/a\x7F", 1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CheckFolderPath(c.path, true), c.result) << '"' << c.path << '"';
}

TEST(FolderRules, CreatesWithParentsOrSaysWhyNot) {
    const fs::path base = fs::temp_directory_path() / ("zo_folders_" + std::to_string(::getpid()));
    fs::remove_all(base);
    const std::string deep = (base / "one" / "two three").string();
    EXPECT_EQ(CheckFolderPath(deep, true), 0);
    EXPECT_FALSE(fs::exists(deep));  // a check creates nothing
    EXPECT_EQ(CheckFolderPath(deep, false), 0);
    EXPECT_TRUE(fs::is_directory(deep));
    EXPECT_EQ(CheckFolderPath(deep, false), 0);  // existing is fine

    // Invalid syntax creates nothing, not even the valid leading part.
    EXPECT_EQ(CheckFolderPath((base / "new" / "..").string(), false), 1);
    EXPECT_FALSE(fs::exists(base / "new"));

    // A file in the way: cannot be created.
    std::ofstream(base / "file") << "x";
    EXPECT_EQ(CheckFolderPath((base / "file" / "sub").string(), false), 2);
    EXPECT_EQ(CheckFolderPath((base / "file").string(), false), 2);
    EXPECT_EQ(CheckFolderPath("/", false), 0);
    fs::remove_all(base);
}

}  // namespace
