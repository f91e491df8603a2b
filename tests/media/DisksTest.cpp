#include "media/Disks.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "media/CZoFile.h"
#include "support/TestRecordings.h"

namespace zo::media {
namespace {

namespace fs = std::filesystem;

TEST(DiskRows, TextAndSizes) {
    const uint64_t size = GeometrySize(9729, 255, 63, 512);
    EXPECT_EQ(size, 80023749120ull);
    EXPECT_EQ(DiskRowText(1, kMediaFixed, size), "DISK1  Fixed           76316 MB");
    EXPECT_EQ(DiskRowText(0, kMediaRemovable, 4ull << 40), "DISK0  Removable     4194304 MB");
    EXPECT_EQ(DiskRowText(3, kMediaUnknown, 1048575), "DISK3  Unknown             0 MB");
    EXPECT_EQ(MediaTypeText(5), "Floppy");
    EXPECT_EQ(PhysicalDrivePath(2), "\\\\.\\PHYSICALDRIVE2");
}

// A fake /sys/block and /dev: regular files stand in for device nodes.
class FakeDiskTree : public ::testing::Test {
protected:
    void SetUp() override {
        root = fs::temp_directory_path() / ("zo_disks_" + std::to_string(::getpid()));
        fs::remove_all(root);
        roots.sysBlock = (root / "sys").string();
        roots.dev = (root / "dev").string();
        fs::create_directories(root / "dev");
    }
    void TearDown() override { fs::remove_all(root); }

    void AddDisk(const std::string& name, uint64_t sectors, int removable, bool node,
                 const std::vector<uint8_t>& content = {}) {
        fs::create_directories(root / "sys" / name);
        std::ofstream(root / "sys" / name / "size") << sectors << "\n";
        if (removable >= 0)
            std::ofstream(root / "sys" / name / "removable") << removable << "\n";
        if (node)
            std::ofstream(root / "dev" / name, std::ios::binary)
                .write(reinterpret_cast<const char*>(content.data()), static_cast<std::streamsize>(content.size()));
    }

    fs::path root;
    DiskRoots roots;
};

TEST_F(FakeDiskTree, ListsOpenableDisksWithTheirNumbers) {
    AddDisk("sda", 156301488, 0, true);     // 80 GB fixed
    AddDisk("sdb", 1000, 0, false);         // cannot be opened: keeps number 1, not listed
    AddDisk("sdc", 7864320, 1, true);       // removable 3.75 GiB
    AddDisk("loop0", 0, 0, true);           // nothing attached: not a disk
    AddDisk("loop1", 2048, 0, true);        // an attached image
    AddDisk("ram0", 8192, 0, true);
    AddDisk("sr0", 8192, 1, true);
    AddDisk("dm-0", 8192, 0, true);
    AddDisk("nvme0n1", 2048, -1, true);     // no removable flag: unknown

    EXPECT_EQ(CandidateDisks(roots), (std::vector<std::string>{"nvme0n1", "sda", "sdb", "sdc", "loop1"}));
    const auto disks = ListDisks(roots);
    ASSERT_EQ(disks.size(), 4u);
    EXPECT_EQ(disks[0].row, "DISK0  Unknown             1 MB");
    EXPECT_EQ(disks[1].row, "DISK1  Fixed           76319 MB");
    EXPECT_EQ(disks[1].devicePath, roots.dev + "/sda");
    EXPECT_EQ(disks[2].row, "DISK3  Removable        3840 MB");
    EXPECT_EQ(disks[2].drivePath, "\\\\.\\PHYSICALDRIVE3");
    EXPECT_EQ(disks[3].number, 4);
    EXPECT_EQ(disks[3].name, "loop1");
}

TEST_F(FakeDiskTree, NoMoreThanTenDriveNumbers) {
    for (char c = 'a'; c <= 'l'; ++c)
        AddDisk(std::string("sd") + c, 2048, 0, true);
    const auto disks = ListDisks(roots);
    ASSERT_EQ(disks.size(), 10u);
    EXPECT_EQ(disks.back().number, 9);
    EXPECT_EQ(disks.back().name, "sdj");
    std::string device;
    EXPECT_TRUE(ResolvePhysicalDrivePath("\\\\.\\PhysicalDrive10", roots, device));
    EXPECT_TRUE(device.empty());
}

TEST_F(FakeDiskTree, PhysicalDrivePathsOpenTheNthDisk) {
    synth::RecordingBuilder b(kVideoZOC, true);
    synth::Rng rng(1);
    for (int i = 0; i < 5; ++i)
        b.AddFrame(test::Video(kVideoZOC, 6, true, 80, rng));
    b.Finish();
    AddDisk("sda", 100, 0, true);
    AddDisk("sdb", b.Bytes().size() / 512, 0, true, b.Bytes());

    std::string device;
    EXPECT_FALSE(ResolvePhysicalDrivePath("/dev/sda", roots, device));
    EXPECT_FALSE(ResolvePhysicalDrivePath("\\\\.\\PHYSICALDRIVE", roots, device));
    EXPECT_FALSE(ResolvePhysicalDrivePath("\\\\.\\PHYSICALDRIVE1x", roots, device));
    ASSERT_TRUE(ResolvePhysicalDrivePath("\\\\.\\physicaldrive1", roots, device));
    EXPECT_EQ(device, roots.dev + "/sdb");

    CZoFile reader;
    reader.SetDiskRoots(roots);
    reader.SetFormat(kVideoZOC);
    ASSERT_EQ(reader.Open("\\\\.\\PHYSICALDRIVE1", true), 1);
    EXPECT_EQ(reader.Name(), "\\\\.\\PHYSICALDRIVE1");
    std::vector<uint8_t> buffer(kMaxFrameSize);
    EXPECT_GT(reader.ReadNextFrame(buffer), 0);
    EXPECT_EQ(reader.Channel(), 6);
    EXPECT_EQ(reader.Open("\\\\.\\PHYSICALDRIVE7", true), 0);
    EXPECT_FALSE(reader.IsOpen());
}

TEST_F(FakeDiskTree, MissingSysTreeListsNothing) {
    DiskRoots nowhere{(root / "absent").string(), (root / "absent").string()};
    EXPECT_TRUE(ListDisks(nowhere).empty());
}

}  // namespace
}  // namespace zo::media
