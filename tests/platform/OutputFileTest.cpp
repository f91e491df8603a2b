#include "platform/OutputFile.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sys/resource.h>
#include <sys/stat.h>

namespace zo::platform {
namespace {

namespace fs = std::filesystem;

class OutputFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("zo_output_" + std::to_string(::getpid()));
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }
    std::string P(const char* name) const { return (dir / name).string(); }
    size_t Entries() const { return static_cast<size_t>(std::distance(fs::directory_iterator(dir), {})); }
    static std::string Text(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    fs::path dir;
};

TEST_F(OutputFileTest, AppearsOnlyWhenCommittedAndReplacesAnOldFile) {
    std::ofstream(P("out")) << "old";
    {
        OutputFile f;
        ASSERT_TRUE(f.Open(P("out")));
        ASSERT_TRUE(f.Write("new bytes", 9));
        EXPECT_EQ(Text(P("out")), "old");  // untouched until the commit
        EXPECT_EQ(Entries(), 2u);
        ASSERT_TRUE(f.Commit()) << f.Error();
    }
    EXPECT_EQ(Text(P("out")), "new bytes");
    EXPECT_EQ(Entries(), 1u);
    {
        OutputFile f;  // abandoned: no trace
        ASSERT_TRUE(f.Open(P("other")));
        f.Write("x", 1);
    }
    EXPECT_EQ(Entries(), 1u);
}

TEST_F(OutputFileTest, SpecialFilesAreRefusedAndLeftAlone) {
    ASSERT_EQ(::mkfifo(P("fifo").c_str(), 0644), 0);
    fs::create_symlink(P("target"), P("link"));
    fs::create_directory(P("folder"));
    const struct {
        std::string path;
        const char* kind;
    } cases[] = {{P("fifo"), "a FIFO"},          {P("link"), "a symbolic link"}, {P("folder"), "a folder"},
                 {"/dev/null", "a character device"}};
    for (const auto& c : cases) {
        std::string kind;
        EXPECT_EQ(InspectOutputPath(c.path, &kind), OutputState::Special);
        EXPECT_EQ(kind, c.kind);
        OutputFile f;
        EXPECT_FALSE(f.Open(c.path));
        EXPECT_NE(f.Error().find(c.kind), std::string::npos) << f.Error();
    }
    EXPECT_TRUE(fs::is_fifo(P("fifo")));
    EXPECT_TRUE(fs::is_symlink(P("link")));
    EXPECT_EQ(InspectOutputPath(P("missing")), OutputState::Absent);
}

TEST_F(OutputFileTest, AFailedWriteIsReportedAndLeavesNothing) {
    // A file-size limit stands in for a full disk.
    struct rlimit old {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 10000;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    OutputFile f;
    bool opened = f.Open(P("big"));
    std::vector<char> chunk(4096, 'z');
    bool wrote = opened;
    for (int i = 0; i < 4 && wrote; ++i)
        wrote = f.Write(chunk.data(), chunk.size());
    const bool committed = f.Commit();
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, previous);
    ASSERT_TRUE(opened);
    EXPECT_FALSE(wrote);
    EXPECT_FALSE(committed);
    EXPECT_NE(f.Error().find("File too large"), std::string::npos) << f.Error();
    EXPECT_NE(f.Error().find(P("big")), std::string::npos) << f.Error();
    EXPECT_EQ(Entries(), 0u);
}

}  // namespace
}  // namespace zo::platform
