#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

#include "media/CZoFile.h"
#include "support/TestRecordings.h"

namespace zo::media {
namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void WriteAll(const fs::path& path, const std::vector<uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                static_cast<std::streamsize>(bytes.size()));
}

class SaveRangeTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = fs::temp_directory_path() / ("zo_save_" + std::to_string(::getpid()) + "_" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }

    synth::RecordingBuilder Build(bool raw, int blocks) {
        synth::RecordingBuilder b(kVideoZOC, raw);
        synth::Rng rng(8);
        while (b.StreamSize() < static_cast<uint64_t>(blocks) * kBlockDataSize)
            b.AddFrame(test::Video(kVideoZOC, 2, true, 150, rng));
        b.Finish();
        return b;
    }

    fs::path dir;
    std::vector<uint8_t> buffer = std::vector<uint8_t>(kMaxFrameSize);
};

TEST_F(SaveRangeTest, WritesTheCoveringBlocks) {
    auto b = Build(false, 10);
    CZoFile reader;
    reader.SetFormat(kVideoZOC);
    ASSERT_EQ(reader.OpenSource(test::Memory(b.Bytes()), "m", false), 1);
    const fs::path out = dir / "cut.ZRF";

    // Two positions inside one block: exactly that block.
    ASSERT_EQ(reader.SaveRange(4096 * 3 + 10, 4096 * 3 + 4000, out.string()), 1);
    auto saved = ReadAll(out);
    ASSERT_EQ(saved.size(), 4096u);
    EXPECT_TRUE(std::equal(saved.begin(), saved.end(), b.Bytes().begin() + 4096 * 3));

    // Start rounded down, end rounded up; an existing file is replaced.
    ASSERT_EQ(reader.SaveRange(5000, 4096 * 6 + 1, out.string()), 1);
    saved = ReadAll(out);
    ASSERT_EQ(saved.size(), 6u * 4096);
    EXPECT_TRUE(std::equal(saved.begin(), saved.end(), b.Bytes().begin() + 4096));
    EXPECT_FALSE(fs::exists(out.string() + ".part"));

    // Out of range: nothing written.
    const fs::path none = dir / "none.ZRF";
    EXPECT_EQ(reader.SaveRange(100, 100, none.string()), 0);
    EXPECT_EQ(reader.SaveRange(200, 100, none.string()), 0);
    EXPECT_EQ(reader.SaveRange(0, reader.GetSize(), none.string()), 0);
    EXPECT_EQ(reader.SaveRange(reader.GetSize(), reader.GetSize() + 5, none.string()), 0);
    EXPECT_EQ(reader.SaveRange(0, 100, (dir / "missing" / "x.ZRF").string()), 0);
    EXPECT_FALSE(fs::exists(none));
    CZoFile closed;
    EXPECT_EQ(closed.SaveRange(0, 100, none.string()), 0);
}

TEST_F(SaveRangeTest, RawDiskRangeIsSavedAsAnOrdinaryRecording) {
    auto disk = Build(true, 8);
    auto file = Build(false, 8);
    CZoFile reader;
    reader.SetFormat(kVideoZOC);
    ASSERT_EQ(reader.OpenSource(test::Memory(disk.Bytes()), "disk", true), 1);
    const fs::path out = dir / "fromdisk.ZRF";
    ASSERT_EQ(reader.SaveRange(0, reader.GetSize() - 1, out.string()), 1);
    EXPECT_EQ(ReadAll(out), file.Bytes());

    CZoFile saved;
    saved.SetFormat(kVideoZOC);
    ASSERT_EQ(saved.Open(out.string(), false), 1);
    EXPECT_GT(saved.ReadNextFrame(buffer), 0);
    EXPECT_EQ(saved.Channel(), 2);
}

TEST_F(SaveRangeTest, RaggedFinalBlockIsWrittenAsItStands) {
    auto b = Build(false, 5);
    const std::vector<uint8_t> bytes(b.Bytes().begin(), b.Bytes().end() - 1000);
    CZoFile reader;
    reader.SetFormat(kVideoZOC);
    ASSERT_EQ(reader.OpenSource(test::Memory(bytes), "m", false), 1);
    const fs::path out = dir / "ragged.ZRF";
    ASSERT_EQ(reader.SaveRange(4096 * 3 + 1, reader.GetSize() - 1, out.string()), 1);
    const auto saved = ReadAll(out);
    ASSERT_EQ(saved.size(), bytes.size() - 4096 * 3);
    EXPECT_TRUE(std::equal(saved.begin(), saved.end(), bytes.begin() + 4096 * 3));
}

// A source of a given size that reads as zero bytes, without the memory.
class HugeSource final : public ByteSource {
public:
    explicit HugeSource(uint64_t size) : size_(size) {}
    uint64_t Size() const override { return size_; }
    int64_t ReadAt(uint64_t offset, void* buffer, size_t length) const override {
        if (offset >= size_)
            return 0;
        const size_t n = static_cast<size_t>(std::min<uint64_t>(length, size_ - offset));
        std::memset(buffer, 0, n);
        return static_cast<int64_t>(n);
    }

private:
    uint64_t size_;
};

TEST_F(SaveRangeTest, AtMostOneGibibyte) {
    CZoFile reader;
    ASSERT_EQ(reader.OpenSource(std::make_unique<HugeSource>(3ull << 30), "huge", false), 1);
    const fs::path out = dir / "big.ZRF";
    EXPECT_EQ(reader.SaveRange(4096, 4096 + (1ull << 30) + 1, out.string()), 0);
    // Rounding counts: 1 byte past 1 GiB once the end is rounded up.
    EXPECT_EQ(reader.SaveRange(4095, 4096 + (1ull << 30) - 1, out.string()), 0);
    EXPECT_FALSE(fs::exists(out));
}

TEST_F(SaveRangeTest, RefusesToOverwriteTheSourceAndLeavesReadsAlone) {
    auto b = Build(false, 40);
    const fs::path source = dir / "source.ZRF";
    WriteAll(source, b.Bytes());
    CZoFile reader;
    reader.SetFormat(kVideoZOC);
    ASSERT_EQ(reader.Open(source.string(), false), 1);
    EXPECT_EQ(reader.SaveRange(0, 8192, source.string()), 0);
    EXPECT_EQ(ReadAll(source), b.Bytes());

    // Saves on another thread while this one reads: the reads are unaffected.
    CZoFile twin;
    twin.SetFormat(kVideoZOC);
    ASSERT_EQ(twin.Open(source.string(), false), 1);
    std::vector<uint8_t> other(kMaxFrameSize);
    std::atomic<int> saves{0};
    std::thread saver([&] {
        for (int i = 0; i < 20; ++i)
            saves += reader.SaveRange(4096 * (i % 5), 4096 * (20 + i), (dir / "during.ZRF").string());
    });
    for (;;) {
        const int n = reader.ReadNextFrame(buffer);
        ASSERT_EQ(twin.ReadNextFrame(other), n);
        ASSERT_EQ(reader.GetPosition(), twin.GetPosition());
        if (n == 0)
            break;
        ASSERT_TRUE(std::equal(buffer.begin(), buffer.begin() + n, other.begin()));
    }
    saver.join();
    EXPECT_EQ(saves.load(), 20);
}

}  // namespace
}  // namespace zo::media
