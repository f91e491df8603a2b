// Helpers shared by the zrf commands: opening sources with clear errors,
// JSON text, digests, progress on a terminal.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "media/BlockScan.h"
#include "media/ByteSource.h"
#include "media/CZoFile.h"

namespace zrf {

// Exit codes.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;  // the job could not be done
inline constexpr int kExitUsage = 2;    // bad arguments (CLI11 uses 106+ for parse errors)

// Prints "zrf: <message>" on stderr.
void Error(const std::string& message);

// Opens a file, disk image, block device or `\\.\PHYSICALDRIVEn` as a byte
// source; on failure prints why and returns nullptr. `resolved` receives the
// path actually opened (the device of a drive path).
std::unique_ptr<zo::media::FileSource> OpenSourceFile(const std::string& path, std::string* resolved = nullptr);

// Opens a recording for reading with the reader; on failure prints why
// (missing, a directory, no permission, empty) and returns false.
bool OpenRecording(zo::media::CZoFile& reader, const std::string& path, bool rawDisk, int videoCode,
                   bool allowEmpty = false);

// Says on stderr, when `origin` is not 0, that the image starts inside a
// block and that positions count from its first whole block.
void NoteGridOrigin(const std::string& path, uint32_t origin);

// The one rule for output files of every command: a special file (symbolic
// link, device, FIFO, socket, folder) is refused; an existing regular file is
// replaced with --force, or after a yes on a terminal, and otherwise refused.
// Prints why and returns false when the command must not write.
bool MayWriteOutputs(const std::vector<std::string>& paths, bool force);

// True once a write to standard output failed (long listings stop then).
bool StandardOutputFailed();
// Flushes standard output; false (with the reason printed) when anything
// written to it was lost.
bool FinishStandardOutput();

// Saves `data` to `path` through a temporary file renamed into place.
bool WriteFileWhole(const std::string& path, const void* data, size_t size, std::string& error);

// "bytes 4096 to 8191 (1 block)": where an area lies and how long it is.
std::string DescribeArea(const zo::media::BlockArea& area);
// Reports an area a reader stepped over on stderr.
void ReportSkippedArea(const zo::media::BlockArea& area);

std::string JsonString(std::string_view text);
std::string Md5Hex(const uint8_t* data, size_t size);
// "YYYY-MM-DD HH:MM:SS"
std::string FormatTime(const zo::media::CalendarTime& t);
// Parses a decimal or 0x-prefixed unsigned 64-bit number.
bool ParseUnsigned(const std::string& text, uint64_t& value);
// "1,3,5-8" in the shown camera numbering (1 to 16) to a channel mask
// (bit 0 is CH1); false for anything else or an empty choice.
bool ParseChannels(const std::string& text, uint32_t& mask);
// Keeps Qt's own notices (a missing runtime folder of the offscreen platform
// and the like) off stderr; its errors still reach it.
void QuietQtMessages();
// Parses "YYYY-MM-DD HH:MM:SS" to seconds since 1970 (UTC); -1 if malformed.
int64_t ParseTime(const std::string& text);

// A one-line percentage on stderr while a long job runs, only on a terminal.
class Progress {
public:
    explicit Progress(std::string label);
    ~Progress();
    void Update(uint64_t done, uint64_t total);
    void Finish();

private:
    std::string label_;
    bool active_ = false;
    int lastPercent_ = -1;
};

}  // namespace zrf
