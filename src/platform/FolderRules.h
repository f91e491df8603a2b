// Folder paths the user types for captures and local recordings: the syntax
// check and the creation of the folder with its parents, in one routine.
//
// A usable path is absolute; "/" alone is the root; every component after
// it is not empty (no "//", no trailing "/"), is not "." or "..", does not
// begin or end with a blank or a tab, and no character of the path is a
// control character.
#pragma once

#include <string_view>

namespace zo::platform {

inline constexpr int kFolderGood = 0;
inline constexpr int kFolderInvalid = 1;
inline constexpr int kFolderNotCreated = 2;

// checkOnly: only the syntax (0 good, 1 invalid). Otherwise also creates
// every missing folder of the path, component by component (an existing
// folder is fine): 2 when one does not exist as a folder afterwards.
int CheckFolderPath(std::string_view path, bool checkOnly);

}  // namespace zo::platform
