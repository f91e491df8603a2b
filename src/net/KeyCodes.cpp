#include "net/KeyCodes.h"

namespace zo::net {

namespace {

constexpr DvrCommandKey kKeys[] = {
    {32859, 1},   // Menu
    {32856, 2},   // Left / Channel 2
    {32858, 3},   // Right / Channel 4
    {32854, 5},   // Split 9
    {32855, 6},   // Up / Channel 1
    {32860, 6},   // Up
    {32851, 7},   // Fast forward
    {32862, 7},   // Select
    {32881, 7},   // Seq
    {32849, 8},   // Rewind
    {32857, 11},  // Down / Channel 3
    {32861, 11},  // Down
    {32852, 12},  // Record / Stop
    {32853, 12},  // Record
    {32850, 13},  // Play / Pause
    {32848, 13},  // Pause
    {32882, 15},  // Split 4
    {32876, 21},  // Channel 5
    {32877, 22},  // Channel 6
    {32878, 23},  // Channel 7
    {32879, 24},  // Channel 8
    {32880, 25},  // Channel 9
};

}  // namespace

std::span<const DvrCommandKey> DvrCommandKeys() {
    return kKeys;
}

int KeyCodeForCommand(int commandId) {
    for (const DvrCommandKey& k : kKeys)
        if (k.commandId == commandId)
            return k.keyCode;
    return -1;
}

}  // namespace zo::net
