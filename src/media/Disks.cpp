#include "media/Disks.h"

#include <algorithm>
#include <cctype>
#include <cinttypes>
#include <cstdio>
#include <dirent.h>
#include <fstream>

#include "media/ByteSource.h"

namespace zo::media {
namespace {

constexpr std::string_view kDrivePrefix = "\\\\.\\PHYSICALDRIVE";

bool StartsWith(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && s.substr(0, prefix.size()) == prefix;
}

// Reads the first line of a small sysfs file; false if it is not there.
bool ReadSysLine(const std::string& path, std::string& line) {
    std::ifstream in(path);
    if (!in)
        return false;
    std::getline(in, line);
    return true;
}

bool ReadSysNumber(const std::string& path, uint64_t& value) {
    std::string line;
    if (!ReadSysLine(path, line) || line.empty() || !std::isdigit(static_cast<unsigned char>(line[0])))
        return false;
    value = std::strtoull(line.c_str(), nullptr, 10);
    return true;
}

bool IsExcluded(const DiskRoots& roots, const std::string& name) {
    static constexpr std::string_view kSkipped[] = {"ram", "zram", "sr", "fd", "dm-", "md", "nbd"};
    for (std::string_view prefix : kSkipped)
        if (StartsWith(name, prefix))
            return true;
    if (StartsWith(name, "loop")) {
        // Only loop devices with an image attached count as disks.
        uint64_t sectors = 0;
        return !ReadSysNumber(roots.sysBlock + "/" + name + "/size", sectors) || sectors == 0;
    }
    return false;
}

}  // namespace

std::string_view MediaTypeText(int mediaType) {
    switch (mediaType) {
    case kMediaUnknown: return "Unknown";
    case kMediaRemovable: return "Removable";
    case kMediaFixed: return "Fixed";
    default: return "Floppy";
    }
}

std::string DiskRowText(int number, int mediaType, uint64_t sizeBytes) {
    char row[96];
    const std::string type(MediaTypeText(mediaType));
    std::snprintf(row, sizeof row, "DISK%d  %-10s %10" PRId64 " MB", number, type.c_str(),
                  static_cast<int64_t>(sizeBytes / 1048576));
    return row;
}

std::string PhysicalDrivePath(int number) { return std::string(kDrivePrefix) + std::to_string(number); }

uint64_t GeometrySize(uint64_t cylinders, uint64_t tracksPerCylinder, uint64_t sectorsPerTrack,
                      uint64_t bytesPerSector) {
    return cylinders * tracksPerCylinder * sectorsPerTrack * bytesPerSector;
}

std::vector<std::string> CandidateDisks(const DiskRoots& roots) {
    std::vector<std::string> names;
    DIR* dir = ::opendir(roots.sysBlock.c_str());
    if (!dir)
        return names;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name.empty() || name[0] == '.')
            continue;
        if (!IsExcluded(roots, name))
            names.push_back(name);
    }
    ::closedir(dir);
    // Physical disks first, attached loop devices after them; each by name.
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        const bool loopA = StartsWith(a, "loop"), loopB = StartsWith(b, "loop");
        if (loopA != loopB)
            return loopB;
        if (a.size() != b.size() && loopA)
            return a.size() < b.size();  // loop2 before loop10
        return a < b;
    });
    return names;
}

std::vector<DiskInfo> ListDisks(const DiskRoots& roots) {
    std::vector<DiskInfo> disks;
    const std::vector<std::string> names = CandidateDisks(roots);
    for (size_t i = 0; i < names.size() && i <= static_cast<size_t>(kMaxDriveNumber); ++i) {
        DiskInfo disk;
        disk.number = static_cast<int>(i);
        disk.name = names[i];
        disk.devicePath = roots.dev + "/" + names[i];
        OpenStatus status = OpenStatus::CannotOpen;
        auto source = FileSource::Open(disk.devicePath, status);
        if (!source)
            continue;  // no permission or no node: not listed
        if (source->IsBlockDevice()) {
            disk.sizeBytes = source->Size();
        } else {
            // A stand-in node (tests): the size sysfs reports, in 512-byte sectors.
            uint64_t sectors = 0;
            if (!ReadSysNumber(roots.sysBlock + "/" + names[i] + "/size", sectors))
                continue;
            disk.sizeBytes = sectors * 512;
        }
        uint64_t removable = 0;
        if (ReadSysNumber(roots.sysBlock + "/" + names[i] + "/removable", removable))
            disk.mediaType = removable ? kMediaRemovable : kMediaFixed;
        disk.row = DiskRowText(disk.number, disk.mediaType, disk.sizeBytes);
        disk.drivePath = PhysicalDrivePath(disk.number);
        disks.push_back(std::move(disk));
    }
    return disks;
}

bool ResolvePhysicalDrivePath(std::string_view path, const DiskRoots& roots, std::string& devicePath) {
    if (path.size() <= kDrivePrefix.size())
        return false;
    for (size_t i = 0; i < kDrivePrefix.size(); ++i)
        if (std::toupper(static_cast<unsigned char>(path[i])) != kDrivePrefix[i])
            return false;
    const std::string_view digits = path.substr(kDrivePrefix.size());
    if (digits.size() > 2 || !std::all_of(digits.begin(), digits.end(),
                                          [](char c) { return std::isdigit(static_cast<unsigned char>(c)); }))
        return false;
    const size_t number = std::stoul(std::string(digits));
    devicePath.clear();
    const std::vector<std::string> names = CandidateDisks(roots);
    if (number <= static_cast<size_t>(kMaxDriveNumber) && number < names.size())
        devicePath = roots.dev + "/" + names[number];
    return true;
}

}  // namespace zo::media
