// The DVR's remote-control key codes and the menu commands that send them
// (the "Dvr Control" menus of the network viewer, four- and nine-channel
// forms). Several commands send the same code.
#pragma once

#include <span>

namespace zo::net {

struct DvrCommandKey {
    int commandId;
    int keyCode;
};

// Every command of the menus with its key code.
std::span<const DvrCommandKey> DvrCommandKeys();

// Key code of a menu command, or -1 for a command that sends none.
int KeyCodeForCommand(int commandId);

}  // namespace zo::net
