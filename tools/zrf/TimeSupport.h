// Helpers of the time commands (seek, index, evidence, --time): opening a
// source read-only for block reads, and times given on the command line.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "media/ByteSource.h"

namespace zrf {

// Opens a recording file, disk image, block device or \\.\PHYSICALDRIVEn
// read-only. Prints why it cannot and returns nullptr.
std::unique_ptr<zo::media::FileSource> OpenBlockSource(const std::string& path, std::string* resolved = nullptr);

// The origin of the source's block grid, as the reader finds it
// (media/BlockGrid.h); a note on stderr when it is not 0.
uint32_t BlockGridOrigin(const zo::media::ByteSource& source, bool rawDisk, const std::string& path);

// Parses "YYYY-MM-DD HH:MM:SS" (UTC, as block times are) for `option`;
// prints a clear error and returns false when it is malformed or cannot be a
// block time.
bool ParseBlockTime(const std::string& text, const char* option, uint32_t& seconds);

// "YYYY-MM-DD HH:MM:SS" of a block time.
std::string FormatBlockTime(uint32_t seconds);

}  // namespace zrf
