#include "Util.h"

#include <cerrno>
#include <cstring>
#include <openssl/evp.h>
#include <unistd.h>

#include <QString>
#include <QtGlobal>

#include "platform/OutputFile.h"

namespace zrf {

void Error(const std::string& message) { std::fprintf(stderr, "zrf: %s\n", message.c_str()); }

std::unique_ptr<zo::media::FileSource> OpenSourceFile(const std::string& path, std::string* resolved) {
    std::string actual = path;
    std::string device;
    if (zo::media::ResolvePhysicalDrivePath(path, zo::media::DiskRoots{}, device)) {
        if (device.empty()) {
            Error("no such disk: " + path + " (zrf disks lists them)");
            return nullptr;
        }
        actual = device;
    }
    zo::media::OpenStatus status = zo::media::OpenStatus::CannotOpen;
    int err = 0;
    auto source = zo::media::FileSource::Open(actual, status, &err);
    if (!source) {
        const std::string why = status == zo::media::OpenStatus::NoSize ? "its size cannot be read"
                                : err == EISDIR                         ? "it is a directory"
                                : err == EINVAL                         ? "not a regular file or block device"
                                                                        : std::strerror(err);
        Error("cannot open '" + path + "'" + (actual != path ? " (" + actual + ")" : std::string()) + ": " + why);
        return nullptr;
    }
    if (resolved)
        *resolved = actual;
    return source;
}

bool OpenRecording(zo::media::CZoFile& reader, const std::string& path, bool rawDisk, int videoCode,
                   bool allowEmpty) {
    reader.SetFormat(videoCode);
    // Open once directly to say why a source cannot be read.
    if (!OpenSourceFile(path))
        return false;
    if (!reader.Open(path, rawDisk)) {
        Error("cannot open '" + path + "'");
        return false;
    }
    if (reader.GetSize() == 0 && !allowEmpty) {
        Error("'" + path + "' is empty");
        return false;
    }
    NoteGridOrigin(path, reader.FindGridOrigin());
    return true;
}

void NoteGridOrigin(const std::string& path, uint32_t origin) {
    if (origin != 0)
        Error("note: '" + path + "' does not start on a block: its first block starts at byte " +
              std::to_string(origin) + ", and positions count from there");
}

bool MayWriteOutputs(const std::vector<std::string>& paths, bool force) {
    std::vector<std::string> existing;
    for (const std::string& path : paths) {
        std::string kind;
        const zo::platform::OutputState state = zo::platform::InspectOutputPath(path, &kind);
        if (state == zo::platform::OutputState::Special) {
            Error("'" + path + "' is " + kind + "; zrf writes only regular files, give another name");
            return false;
        }
        if (state == zo::platform::OutputState::Regular)
            existing.push_back(path);
    }
    if (existing.empty() || force)
        return true;
    std::string list;
    for (const std::string& path : existing)
        list += "  " + path + "\n";
    if (::isatty(STDIN_FILENO) != 1 || ::isatty(STDERR_FILENO) != 1) {
        std::fprintf(stderr, "zrf: already exists:\n%szrf: not replacing without --force\n", list.c_str());
        return false;
    }
    std::fprintf(stderr, "already exists:\n%sReplace? [y/N] ", list.c_str());
    std::fflush(stderr);
    char answer[16] = {};
    if (!std::fgets(answer, sizeof answer, stdin))
        return false;
    return answer[0] == 'y' || answer[0] == 'Y';
}

namespace {
int stdoutErrno = 0;  // the reason of the first failed write to stdout
}  // namespace

bool StandardOutputFailed() {
    if (!std::ferror(stdout))
        return false;
    if (stdoutErrno == 0)
        stdoutErrno = errno;
    return true;
}

bool FinishStandardOutput() {
    StandardOutputFailed();
    errno = 0;
    const bool flushed = std::fflush(stdout) == 0;
    if (!flushed && stdoutErrno == 0)
        stdoutErrno = errno;
    if (flushed && !std::ferror(stdout))
        return true;
    Error(std::string("cannot write to standard output") +
          (stdoutErrno != 0 ? ": " + std::string(std::strerror(stdoutErrno)) : ""));
    return false;
}

bool WriteFileWhole(const std::string& path, const void* data, size_t size, std::string& error) {
    zo::platform::OutputFile out;
    if (!out.Open(path) || !out.Write(data, size) || !out.Commit()) {
        error = out.Error();
        return false;
    }
    return true;
}

std::string DescribeArea(const zo::media::BlockArea& area) {
    const uint64_t blocks = area.bytes / zo::media::kBlockSize;
    char text[160];
    std::snprintf(text, sizeof text, "bytes %llu to %llu (%llu block%s, %.1f MiB)",
                  static_cast<unsigned long long>(area.offset),
                  static_cast<unsigned long long>(area.offset + area.bytes - 1), static_cast<unsigned long long>(blocks),
                  blocks == 1 ? "" : "s", static_cast<double>(area.bytes) / (1024.0 * 1024.0));
    return text;
}

void ReportSkippedArea(const zo::media::BlockArea& area) {
    std::fprintf(stderr, "zrf: no valid blocks at %s; read on at the next valid block\n", DescribeArea(area).c_str());
}

std::string JsonString(std::string_view text) {
    std::string out = "\"";
    for (const char c : text) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned char>(c));
                out += escaped;
            } else {
                out += c;
            }
        }
    }
    out += '"';
    return out;
}

std::string Md5Hex(const uint8_t* data, size_t size) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_Digest(data, size, digest, &length, EVP_md5(), nullptr);
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out;
    for (unsigned int i = 0; i < length; ++i) {
        out += kHex[digest[i] >> 4];
        out += kHex[digest[i] & 15];
    }
    return out;
}

std::string FormatTime(const zo::media::CalendarTime& t) {
    char text[64];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", t.year, t.month, t.day, t.hour, t.minute,
                  t.second);
    return text;
}

bool ParseUnsigned(const std::string& text, uint64_t& value) {
    if (text.empty() || text[0] == '-' || text[0] == '+')
        return false;
    errno = 0;
    char* end = nullptr;
    value = std::strtoull(text.c_str(), &end, 0);
    return errno == 0 && end && *end == '\0';
}

int64_t ParseTime(const std::string& text) {
    unsigned y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
    char tail = 0;
    if (std::sscanf(text.c_str(), "%4u-%2u-%2u %2u:%2u:%2u%c", &y, &mo, &d, &h, &mi, &s, &tail) != 6)
        return -1;
    zo::media::CalendarTime t;
    t.year = static_cast<uint16_t>(y);
    t.month = static_cast<uint16_t>(mo);
    t.day = static_cast<uint16_t>(d);
    t.hour = static_cast<uint16_t>(h);
    t.minute = static_cast<uint16_t>(mi);
    t.second = static_cast<uint16_t>(s);
    return zo::media::UnixSecondsFromCalendar(t);
}

Progress::Progress(std::string label) : label_(std::move(label)), active_(::isatty(STDERR_FILENO) == 1) {}

Progress::~Progress() { Finish(); }

void Progress::Update(uint64_t done, uint64_t total) {
    if (!active_ || total == 0)
        return;
    const int percent = static_cast<int>(done >= total ? 100 : done * 100 / total);
    if (percent == lastPercent_)
        return;
    lastPercent_ = percent;
    std::fprintf(stderr, "\r%s %3d%%", label_.c_str(), percent);
    std::fflush(stderr);
}

void Progress::Finish() {
    if (active_ && lastPercent_ >= 0)
        std::fprintf(stderr, "\r%*s\r", static_cast<int>(label_.size()) + 6, "");
    lastPercent_ = -1;
    active_ = false;
}

bool ParseChannels(const std::string& text, uint32_t& mask) {
    mask = 0;
    size_t start = 0;
    while (start <= text.size()) {
        const size_t comma = text.find(',', start);
        const std::string item = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        int first = 0, last = 0;
        char extra = 0;
        if (std::sscanf(item.c_str(), "%d-%d%c", &first, &last, &extra) == 2) {
        } else if (std::sscanf(item.c_str(), "%d%c", &first, &extra) == 1) {
            last = first;
        } else {
            return false;
        }
        if (first < 1 || last > 16 || first > last)
            return false;
        for (int c = first; c <= last; ++c)
            mask |= 1u << (c - 1);
        if (comma == std::string::npos)
            break;
        start = comma + 1;
    }
    return mask != 0;
}

namespace {

void QuietHandler(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type == QtCriticalMsg || type == QtFatalMsg)
        std::fprintf(stderr, "zrf: %s\n", message.toLocal8Bit().constData());
}

}  // namespace

void QuietQtMessages() { qInstallMessageHandler(QuietHandler); }

}  // namespace zrf
