// The bookmark store: parsing hostile files, the round trip through the
// file in the data folder, and the range query of the evidence report.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "media/BookmarkStore.h"

namespace {

namespace fs = std::filesystem;
using zo::media::Bookmark;
using zo::media::BookmarkStore;

const std::string kHeader = "zoviewer bookmarks 1\nkey\n";

TEST(BookmarkStore, ParsesWhatFitsAndDropsTheRest) {
    const struct {
        const char* what;
        std::string text;
        std::vector<Bookmark> expected;
    } cases[] = {
        {"plain, sorted by time", kHeader + "20\t1\tsecond\n10\t-\tfirst\n",
         {{10, Bookmark::kAllChannels, "first"}, {20, 1, "second"}}},
        {"no trailing newline, empty note", kHeader + "5\t0\t", {{5, 0, ""}}},
        {"no note field", kHeader + "5\t3", {{5, 3, ""}}},
        {"bad lines dropped", kHeader + "x\t1\ta\n-1\t1\tb\n7\t16\tc\n7\t-2\td\n\n7\t\te\n99999999999\t1\tf\n8\t2\tok\n",
         {{8, 2, "ok"}}},
        {"control characters become blanks", kHeader + "1\t1\ta\tb\rc\x7f" "d\n", {{1, 1, "a b c d"}}},
        {"another key gives nothing", "zoviewer bookmarks 1\nother\n1\t1\tx\n", {}},
        {"another format gives nothing", "zoviewer bookmarks 2\nkey\n1\t1\tx\n", {}},
        {"empty", "", {}},
    };
    for (const auto& c : cases) {
        BookmarkStore store("/nonexistent");
        store.Parse(c.text, "key");
        EXPECT_EQ(store.Items(), c.expected) << c.what;
    }
}

TEST(BookmarkStore, BoundsNotesCountAndFileSize) {
    // A long note is cut at a character boundary (a two-byte character straddles the limit).
    std::string note(BookmarkStore::kMaxNoteBytes - 1, 'a');
    note += "\xc3\xa9tail";
    EXPECT_EQ(BookmarkStore::CleanNote(note), std::string(BookmarkStore::kMaxNoteBytes - 1, 'a'));

    std::string many = kHeader;
    for (size_t i = 0; i < BookmarkStore::kMaxBookmarks + 5; ++i)
        many += std::to_string(i) + "\t1\t\n";
    BookmarkStore store("/nonexistent");
    store.Parse(many, "key");
    EXPECT_EQ(store.Items().size(), BookmarkStore::kMaxBookmarks);
    EXPECT_FALSE(store.Add({1, 1, "one too many"}));

    // Nothing past the first MiB is read.
    std::string big = kHeader + "1\t1\t" + std::string(BookmarkStore::kMaxFileBytes, 'n') + "\n2\t1\tbeyond\n";
    store.Parse(big, "key");
    ASSERT_EQ(store.Items().size(), 1u);
    EXPECT_EQ(store.Items()[0].note.size(), BookmarkStore::kMaxNoteBytes);
}

TEST(BookmarkStore, SavesAtomicallyInItsFolderAndReadsBack) {
    const fs::path dir = fs::temp_directory_path() / ("zo_bookmarks_" + std::to_string(::getpid()));
    fs::remove_all(dir);
    BookmarkStore store((dir / "zoviewer").string());
    ASSERT_TRUE(store.Load("abcdef0123456789abcdef0123456789ffff"));  // no file yet: none
    EXPECT_TRUE(store.Items().empty());
    size_t at = 99;
    ASSERT_TRUE(store.Add({30, 2, "line\nbreak"}, &at));
    EXPECT_EQ(at, 0u);
    ASSERT_TRUE(store.Add({10, 40, ""}, &at));  // a channel out of range means all
    EXPECT_EQ(at, 0u);
    ASSERT_TRUE(store.Add({30, 1, "same second, added later"}, &at));
    EXPECT_EQ(at, 2u);
    std::string error;
    ASSERT_TRUE(store.Save(&error)) << error;

    std::vector<std::string> files;
    for (const auto& e : fs::directory_iterator(dir / "zoviewer"))
        files.push_back(e.path().filename().string());
    EXPECT_EQ(files, std::vector<std::string>{"bookmarks-abcdef0123456789abcdef0123456789.txt"});

    BookmarkStore again((dir / "zoviewer").string());
    ASSERT_TRUE(again.Load("abcdef0123456789abcdef0123456789ffff"));
    EXPECT_EQ(again.Items(), (std::vector<Bookmark>{{10, Bookmark::kAllChannels, ""},
                                                    {30, 2, "line break"},
                                                    {30, 1, "same second, added later"}}));
    EXPECT_EQ(again.InRange(11, 30).size(), 2u);
    EXPECT_EQ(again.InRange(10, 10).size(), 1u);
    EXPECT_TRUE(again.InRange(31, 100).empty());
    ASSERT_TRUE(again.Remove(0));
    EXPECT_FALSE(again.Remove(2));
    ASSERT_TRUE(again.Save());
    BookmarkStore third((dir / "zoviewer").string());
    ASSERT_TRUE(third.Load("abcdef0123456789abcdef0123456789ffff"));
    EXPECT_EQ(third.Items().size(), 2u);

    // A file that cannot be replaced (its folder is a file) fails and says where.
    BookmarkStore blocked((dir / "zoviewer" / "bookmarks-abcdef0123456789abcdef0123456789.txt").string());
    blocked.Parse(kHeader, "key");
    ASSERT_TRUE(blocked.Add({1, 1, ""}));
    EXPECT_FALSE(blocked.Save(&error));
    EXPECT_FALSE(error.empty());
    fs::remove_all(dir);
}

TEST(BookmarkStore, DefaultFolderFollowsXdgDataHome) {
    const char* oldXdg = std::getenv("XDG_DATA_HOME");
    const std::string saved = oldXdg ? oldXdg : "";
    ::setenv("XDG_DATA_HOME", "/data/here", 1);
    EXPECT_EQ(BookmarkStore::DefaultFolder(), "/data/here/zoviewer");
    ::setenv("XDG_DATA_HOME", "relative", 1);  // not absolute: ignored
    ::setenv("HOME", std::getenv("HOME") ? std::getenv("HOME") : "/root", 1);
    EXPECT_EQ(BookmarkStore::DefaultFolder(), std::string(std::getenv("HOME")) + "/.local/share/zoviewer");
    if (oldXdg)
        ::setenv("XDG_DATA_HOME", saved.c_str(), 1);
    else
        ::unsetenv("XDG_DATA_HOME");
}

}  // namespace
