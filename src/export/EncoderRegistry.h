// The encoder registry and the process-wide compression options of the AVI
// export. The registry maps a compressor type and handler code to an
// installed encoder; PrepareEncoder installs Xvid under "qvzt" once per
// process and loads the options from the "CompOptions" file in the working
// directory. Without options (or without the file) video is stored
// uncompressed, handler "DIB ".
//
// Nothing here writes a file: no placeholder AVI is created to initialise
// anything, so an export leaves only its own output files behind.
//
// Threads: every function may be called from any thread; one mutex guards
// the registry, the options, optionsLoaded and the working directory. The
// export dialog calls them on the user-interface thread.
#pragma once

#include <cstdint>
#include <string>

#include "export/CompressionOptions.h"

namespace zo::exporter {

// Remembers the working directory (where "CompOptions" is looked for).
void SetWorkDirectory(const std::string& path);
std::string WorkDirectory();
// Makes the working directory the process's current directory, if it is set.
// 1 if changed, 0 if unset or the change failed.
int EnterWorkDirectory();

// Installs Xvid for "vidc"/"qvzt" unless it is installed, then loads the
// options file unless options are loaded. 1 on success.
int PrepareEncoder();
// Removes the registration of "qvzt" for "vidc". 1 if it was installed.
int RemoveEncoder();
// Forgets the loaded options: back to the defaults, optionsLoaded cleared.
void FreeOptions();
// The description of the installed compressor whose handler equals the
// options' handler, or "".
std::string GetCompressorName();

// Whether an encoder is installed for `type`/`handler`.
bool IsEncoderInstalled(uint32_t type, uint32_t handler);
// Times Xvid was installed in this process (for tests of PrepareEncoder).
int EncoderInstallCount();

// The shared options: a copy of what CreateStreams will use.
CompressionOptions SharedOptions();
// Replaces the shared options (command-line overrides, tests); does not
// change optionsLoaded.
void SetSharedOptions(const CompressionOptions& options);
// The defaults ("DIB ", key interval 1, quality -1); optionsLoaded unchanged.
// Every writer's construction does this.
void ResetSharedOptions();
bool OptionsLoaded();

// Loads "CompOptions" from `directory` into `out`. false when the file is
// missing, unreadable, larger than kMaxOptionsFileBytes or malformed.
bool LoadOptionsFile(const std::string& directory, CompressionOptions& out);
// The path of "CompOptions" in `directory` (a separator added unless it ends
// with one; the current directory when empty).
std::string OptionsFilePath(const std::string& directory);

}  // namespace zo::exporter
