// The "CompOptions" file, its mapping onto Xvid settings, and the encoder
// registry.
#include <gtest/gtest.h>

#include <fstream>

#include "export/CZoAviWrite.h"
#include "export/CompressionOptions.h"
#include "export/EncoderRegistry.h"
#include "export/ExportTestSupport.h"

namespace {

using namespace zo::exporter;
namespace fs = std::filesystem;

std::vector<uint8_t> Record(uint32_t handler, uint32_t formatSize, uint32_t stateSize) {
    CompressionOptions o;
    o.handler = handler;
    std::vector<uint8_t> bytes = SerializeCompressionOptions(o);
    bytes[28] = static_cast<uint8_t>(formatSize);
    bytes[29] = static_cast<uint8_t>(formatSize >> 8);
    bytes[30] = static_cast<uint8_t>(formatSize >> 16);
    bytes[31] = static_cast<uint8_t>(formatSize >> 24);
    bytes[36] = static_cast<uint8_t>(stateSize);
    bytes[37] = static_cast<uint8_t>(stateSize >> 8);
    bytes[38] = static_cast<uint8_t>(stateSize >> 16);
    bytes[39] = static_cast<uint8_t>(stateSize >> 24);
    return bytes;
}

void WriteFile(const fs::path& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

TEST(CompressionOptions, FileLayoutRoundTripsWithBothBlocks) {
    CompressionOptions o;
    o.handler = kHandlerXvid;
    o.keyFrameEvery = 50;
    o.quality = 7500;
    o.bytesPerSecond = 125000;
    o.flags = kOptionKeyFrames | kOptionDataRate;
    o.interleaveEvery = 3;
    o.format = {1, 2, 3};
    o.state = {9, 8, 7, 6, 5};
    const std::vector<uint8_t> bytes = SerializeCompressionOptions(o);
    ASSERT_EQ(bytes.size(), 44u + 3 + 5);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 8), "vidsqvzt");
    EXPECT_EQ(bytes[28], 3);  // F
    EXPECT_EQ(bytes[36], 5);  // P
    CompressionOptions back;
    ASSERT_TRUE(ParseCompressionOptions(bytes, back));
    EXPECT_EQ(back, o);
}

TEST(CompressionOptions, SizesAreCheckedAgainstTheBytesBeforeUse) {
    CompressionOptions untouched;
    untouched.quality = 1234;
    CompressionOptions out = untouched;
    std::vector<uint8_t> bytes = Record(kHandlerXvid, 0xFFFFFFF0u, 0x20);  // F + P wraps 32 bits
    EXPECT_FALSE(ParseCompressionOptions(bytes, out));
    bytes = Record(kHandlerXvid, 4, 0);  // says 4 bytes follow, none do
    EXPECT_FALSE(ParseCompressionOptions(bytes, out));
    bytes = Record(kHandlerXvid, 0, 0);
    bytes.push_back(0);  // a byte more than the record says
    EXPECT_FALSE(ParseCompressionOptions(bytes, out));
    bytes.resize(43);
    EXPECT_FALSE(ParseCompressionOptions(bytes, out));
    EXPECT_EQ(out, untouched);
}

TEST(CompressionOptions, RecordFieldsMapOntoXvidSettings) {
    CompressionOptions o;
    o.handler = kHandlerXvid;
    XvidSettings s = XvidSettingsFrom(o);  // defaults: key interval 1 is not flagged
    EXPECT_EQ(s.maxKeyInterval, 300);
    EXPECT_EQ(s.quantiser, 4);
    EXPECT_EQ(s.bitrate, 0);
    o.quality = 10000;
    EXPECT_EQ(XvidSettingsFrom(o).quantiser, 2);
    o.quality = 0;
    EXPECT_EQ(XvidSettingsFrom(o).quantiser, 31);
    o.quality = 20000;  // out of range: the default
    EXPECT_EQ(XvidSettingsFrom(o).quantiser, 4);
    o.keyFrameEvery = 25;
    EXPECT_EQ(XvidSettingsFrom(o).maxKeyInterval, 300);
    o.flags = kOptionKeyFrames | kOptionDataRate;
    o.bytesPerSecond = 100000;
    s = XvidSettingsFrom(o);
    EXPECT_EQ(s.maxKeyInterval, 25);
    EXPECT_EQ(s.bitrate, 800000);
    EXPECT_TRUE(IsXvidHandler(FourCc('X', 'V', 'I', 'D')));
    EXPECT_FALSE(IsXvidHandler(kHandlerUncompressed));
}

// PrepareEncoder enters the working directory: each test goes back.
class EncoderRegistry : public ::testing::Test {
protected:
    void SetUp() override { cwd = fs::current_path(); }
    void TearDown() override {
        SetWorkDirectory("");
        FreeOptions();
        fs::current_path(cwd);
    }
    fs::path cwd;
};

TEST_F(EncoderRegistry, PrepareInstallsOnceAndLoadsTheFileOnce) {
    const fs::path dir = zo::test::MakeTempDir("registry");
    FreeOptions();
    RemoveEncoder();
    SetWorkDirectory(dir.string());
    EXPECT_EQ(OptionsFilePath(dir.string() + "/"), dir.string() + "/CompOptions");

    // No file: Xvid installed, options stay the defaults, nothing written.
    const int installs = EncoderInstallCount();
    ASSERT_EQ(PrepareEncoder(), 1);
    EXPECT_TRUE(IsEncoderInstalled(kCompressorTypeVideo, kHandlerXvid));
    EXPECT_FALSE(OptionsLoaded());
    EXPECT_EQ(SharedOptions().handler, kHandlerUncompressed);
    EXPECT_EQ(GetCompressorName(), "");
    EXPECT_TRUE(fs::is_empty(dir));

    CompressionOptions o;
    o.handler = kHandlerXvid;
    o.quality = 9000;
    WriteFile(dir / "CompOptions", SerializeCompressionOptions(o));
    ASSERT_EQ(PrepareEncoder(), 1);
    EXPECT_TRUE(OptionsLoaded());
    EXPECT_EQ(SharedOptions(), o);
    EXPECT_EQ(GetCompressorName(), "Xvid MPEG-4 Codec");
    EXPECT_EQ(EncoderInstallCount(), installs + 1);

    // Neither a second install nor a reload while the options are loaded,
    // and constructing a writer resets them without freeing.
    o.quality = 100;
    WriteFile(dir / "CompOptions", SerializeCompressionOptions(o));
    { CZoAviWrite writer; }
    EXPECT_EQ(SharedOptions().handler, kHandlerUncompressed);
    ASSERT_EQ(PrepareEncoder(), 1);
    EXPECT_EQ(EncoderInstallCount(), installs + 1);
    EXPECT_EQ(SharedOptions().handler, kHandlerUncompressed);

    FreeOptions();
    ASSERT_EQ(PrepareEncoder(), 1);
    EXPECT_EQ(SharedOptions().quality, 100);

    EXPECT_EQ(RemoveEncoder(), 1);
    EXPECT_EQ(RemoveEncoder(), 0);
    EXPECT_EQ(GetCompressorName(), "");
    fs::current_path(cwd);
    fs::remove_all(dir);
}

TEST_F(EncoderRegistry, MalformedOrHugeFilesLeaveTheDefaults) {
    const fs::path dir = zo::test::MakeTempDir("badoptions");
    FreeOptions();
    SetWorkDirectory(dir.string());
    WriteFile(dir / "CompOptions", Record(kHandlerXvid, 1000, 0));
    ASSERT_EQ(PrepareEncoder(), 1);
    EXPECT_FALSE(OptionsLoaded());
    EXPECT_EQ(SharedOptions().handler, kHandlerUncompressed);

    std::vector<uint8_t> big = Record(kHandlerXvid, static_cast<uint32_t>(kMaxOptionsFileBytes), 0);
    big.resize(44 + kMaxOptionsFileBytes, 0);
    WriteFile(dir / "CompOptions", big);
    CompressionOptions out;
    EXPECT_FALSE(LoadOptionsFile(dir.string(), out));
    fs::current_path(cwd);
    fs::remove_all(dir);
}

}  // namespace
