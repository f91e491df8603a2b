// The machine's disks, listed the way the disk-selection dialog shows them:
// drive numbers 0 to 9, media type, size in MB, and the `\\.\PHYSICALDRIVEn`
// path by which the reader opens drive n.
//
// Drive numbers are the positions of the machine's disks in /sys/block
// (sorted by name; RAM disks, optical drives, floppies, device-mapper and
// software-RAID volumes and unattached loop devices left out). A disk that
// cannot be opened keeps its number but is not listed.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zo::media {

struct DiskRoots {
    std::string sysBlock = "/sys/block";  // one folder per block device
    std::string dev = "/dev";             // the device nodes
};

inline constexpr int kMaxDriveNumber = 9;

// Media type codes of the geometry query.
inline constexpr int kMediaUnknown = 0;
inline constexpr int kMediaRemovable = 11;
inline constexpr int kMediaFixed = 12;

struct DiskInfo {
    int number = 0;           // 0..9
    std::string name;         // "sda"
    std::string devicePath;   // "/dev/sda"
    int mediaType = kMediaUnknown;
    uint64_t sizeBytes = 0;
    std::string row;          // "DISK0  Fixed           76316 MB"
    std::string drivePath;    // "\\.\PHYSICALDRIVE0"
};

// "Unknown", "Removable", "Fixed", or "Floppy" for any other type.
std::string_view MediaTypeText(int mediaType);
// "DISK%d  %-10s %10lld MB" with the size in whole MiB, rounded down.
std::string DiskRowText(int number, int mediaType, uint64_t sizeBytes);
// "\\.\PHYSICALDRIVE%d"
std::string PhysicalDrivePath(int number);
// Capacity from a drive geometry, in 64 bits.
uint64_t GeometrySize(uint64_t cylinders, uint64_t tracksPerCylinder, uint64_t sectorsPerTrack,
                      uint64_t bytesPerSector);

// Names of the candidate disks in drive-number order (all of them, not only 0..9).
std::vector<std::string> CandidateDisks(const DiskRoots& roots);

// The disks numbered 0..9 that can be opened for reading and report a size.
std::vector<DiskInfo> ListDisks(const DiskRoots& roots = {});

// If `path` has the form `\\.\PHYSICALDRIVEn` (any case), sets `devicePath` to
// drive n's device node, or to "" when there is no drive n, and returns true.
// Returns false for any other path.
bool ResolvePhysicalDrivePath(std::string_view path, const DiskRoots& roots, std::string& devicePath);

}  // namespace zo::media
