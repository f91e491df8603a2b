#include "Commands.h"
#include "Util.h"
#include "media/Disks.h"

namespace zrf {

int RunDisks(bool json) {
    const auto disks = zo::media::ListDisks();
    if (json) {
        for (const auto& d : disks)
            std::printf("{\"number\": %d, \"path\": %s, \"device\": %s, \"type\": %s, \"sizeBytes\": %llu, "
                        "\"row\": %s}\n",
                        d.number, JsonString(d.drivePath).c_str(), JsonString(d.devicePath).c_str(),
                        JsonString(zo::media::MediaTypeText(d.mediaType)).c_str(),
                        static_cast<unsigned long long>(d.sizeBytes), JsonString(d.row).c_str());
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
