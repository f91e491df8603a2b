// Helpers shared by the zrf commands: opening sources with clear errors,
// JSON text, digests, progress on a terminal.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "media/CZoFile.h"

namespace zrf {

// Exit codes.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;  // the job could not be done
inline constexpr int kExitUsage = 2;    // bad arguments (CLI11 uses 106+ for parse errors)

// Prints "zrf: <message>" on stderr.
void Error(const std::string& message);

// Opens a recording for reading with the reader; on failure prints why
// (missing, a directory, no permission, empty) and returns false.
bool OpenRecording(zo::media::CZoFile& reader, const std::string& path, bool rawDisk, int videoCode,
                   bool allowEmpty = false);

std::string JsonString(std::string_view text);
std::string Md5Hex(const uint8_t* data, size_t size);
// "YYYY-MM-DD HH:MM:SS"
std::string FormatTime(const zo::media::CalendarTime& t);
// Parses a decimal or 0x-prefixed unsigned 64-bit number.
bool ParseUnsigned(const std::string& text, uint64_t& value);
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
