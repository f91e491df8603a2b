#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

#include "Commands.h"
#include "Util.h"
#include "media/Disks.h"

namespace zrf {

namespace {

// Why drive `number` (device `device`) is not in the list: in use as the
// system disk, no permission, or the system's reason.
std::string WhyMissing(const std::string& device) {
    std::ifstream mounts("/proc/mounts");
    std::string line;
    while (std::getline(mounts, line)) {
        std::istringstream fields(line);
        std::string source, target;
        fields >> source >> target;
        if (source.rfind(device, 0) == 0 && (target == "/" || target == "/boot" || target == "/usr"))
            return "in use as the system disk (" + source + " is mounted on " + target + ")";
    }
    zo::media::OpenStatus status = zo::media::OpenStatus::CannotOpen;
    int err = 0;
    if (zo::media::FileSource::Open(device, status, &err))
        return "opened, but reports no size";
    if (err == EACCES || err == EPERM)
        return "no permission to read it (run as root, or join the 'disk' group)";
    return std::strerror(err);
}

}  // namespace

int RunDisks(bool json) {
    const zo::media::DiskRoots roots;
    const auto disks = zo::media::ListDisks(roots);
    // Disks the system has that cannot be opened, each with its reason.
    const auto names = zo::media::CandidateDisks(roots);
    for (size_t i = 0; i < names.size(); ++i) {
        const std::string device = roots.dev + "/" + names[i];
        bool listed = false;
        for (const auto& d : disks)
            listed = listed || d.devicePath == device;
        if (!listed && i < 10)
            std::fprintf(stderr, "zrf: %s (%s) is not listed: %s\n",
                         zo::media::PhysicalDrivePath(static_cast<int>(i)).c_str(), device.c_str(),
                         WhyMissing(device).c_str());
    }
    if (json) {
        // One JSON array, empty when no disk can be opened.
        std::printf("[");
        const char* sep = "\n";
        for (const auto& d : disks) {
            std::printf("%s{\"number\": %d, \"path\": %s, \"device\": %s, \"type\": %s, \"sizeBytes\": %llu, "
                        "\"row\": %s}",
                        sep, d.number, JsonString(d.drivePath).c_str(), JsonString(d.devicePath).c_str(),
                        JsonString(zo::media::MediaTypeText(d.mediaType)).c_str(),
                        static_cast<unsigned long long>(d.sizeBytes), JsonString(d.row).c_str());
            sep = ",\n";
        }
        std::printf(disks.empty() ? "]\n" : "\n]\n");
        return kExitOk;
    }
    if (disks.empty()) {
        std::printf("no disk can be opened for reading (reading a disk needs read permission on its device "
                    "node, for example as a member of the 'disk' group)\n");
        return kExitOk;
    }
    for (const auto& d : disks)
        std::printf("%s   %s  %s\n", d.row.c_str(), d.drivePath.c_str(), d.devicePath.c_str());
    return kExitOk;
}

}  // namespace zrf
