#include "export/EncoderRegistry.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <unistd.h>

#include <cstdio>
#include <mutex>
#include <vector>

namespace zo::exporter {

namespace {

struct Installed {
    uint32_t type = 0;
    uint32_t handler = 0;
    std::string description;
};

struct Registry {
    std::mutex mutex;  // guards every field below
    std::vector<Installed> encoders;
    CompressionOptions options;
    bool optionsLoaded = false;
    std::string workDirectory;
    int installCount = 0;
};

Registry& TheRegistry() {
    static Registry registry;
    return registry;
}

bool InstalledLocked(const Registry& r, uint32_t type, uint32_t handler) {
    for (const Installed& e : r.encoders)
        if (e.type == type && e.handler == handler)
            return true;
    return false;
}

}  // namespace

void SetWorkDirectory(const std::string& path) {
    Registry& r = TheRegistry();
    std::lock_guard lock(r.mutex);
    r.workDirectory = path;
}

std::string WorkDirectory() {
    Registry& r = TheRegistry();
    std::lock_guard lock(r.mutex);
    return r.workDirectory;
}

int EnterWorkDirectory() {
    const std::string dir = WorkDirectory();
    if (dir.empty())
        return 0;
    return ::chdir(dir.c_str()) == 0 ? 1 : 0;
}

std::string OptionsFilePath(const std::string& directory) {
    if (directory.empty())
        return "CompOptions";
    const char last = directory.back();
    return directory + (last == '/' || last == '\\' ? "" : "/") + "CompOptions";
}

bool LoadOptionsFile(const std::string& directory, CompressionOptions& out) {
    // Only a regular file is read: a FIFO or device of that name would
    // block the export for ever or never end. Opened without blocking, then
    // checked on the descriptor itself, so nothing can be swapped in between.
    const int fd = ::open(OptionsFilePath(directory).c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return false;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > static_cast<off_t>(kMaxOptionsFileBytes)) {
        ::close(fd);
        return false;
    }
    std::FILE* f = ::fdopen(fd, "rb");
    if (!f) {
        ::close(fd);
        return false;
    }
    // Read at most one byte beyond the limit, so a longer file is recognised
    // without reading it all; the sizes in the record are then checked
    // against the bytes actually read before anything is allocated for them.
    std::vector<uint8_t> bytes(kMaxOptionsFileBytes + 1);
    const size_t got = std::fread(bytes.data(), 1, bytes.size(), f);
    const bool readError = std::ferror(f) != 0;
    std::fclose(f);
    if (readError || got > kMaxOptionsFileBytes)
        return false;
    bytes.resize(got);
    return ParseCompressionOptions(bytes, out);
}

int PrepareEncoder() {
    EnterWorkDirectory();
    Registry& r = TheRegistry();
    bool load = false;
    std::string dir;
    {
        std::lock_guard lock(r.mutex);
        if (!InstalledLocked(r, kCompressorTypeVideo, kHandlerXvid)) {
            r.encoders.push_back({kCompressorTypeVideo, kHandlerXvid, "Xvid MPEG-4 Codec"});
            ++r.installCount;
        }
        load = !r.optionsLoaded;
        dir = r.workDirectory;
    }
    if (load) {
        CompressionOptions options;
        const bool ok = LoadOptionsFile(dir, options);
        std::lock_guard lock(r.mutex);
        if (ok)
            r.options = std::move(options);
        r.optionsLoaded = ok;
    }
    return 1;
}

int RemoveEncoder() {
    Registry& r = TheRegistry();
    std::lock_guard lock(r.mutex);
    for (auto it = r.encoders.begin(); it != r.encoders.end(); ++it) {
        if (it->type == kCompressorTypeVideo && it->handler == kHandlerXvid) {
            r.encoders.erase(it);
            return 1;
        }
    }
    return 0;
}

void FreeOptions() {
    Registry& r = TheRegistry();
    std::lock_guard lock(r.mutex);
    r.options = CompressionOptions{};
    r.optionsLoaded = false;
}

std::string GetCompressorName() {
    Registry& r = TheRegistry();
    std::lock_guard lock(r.mutex);
    for (const Installed& e : r.encoders)
        if (e.type == kCompressorTypeVideo && e.handler == r.options.handler)
            return e.description;
    return {};
}

bool IsEncoderInstalled(uint32_t type, uint32_t handler) {
    Registry& r = TheRegistry();
    std::lock_guard lock(r.mutex);
    return InstalledLocked(r, type, handler);
}

int EncoderInstallCount() {
    Registry& r = TheRegistry();
    std::lock_guard lock(r.mutex);
    return r.installCount;
}

CompressionOptions SharedOptions() {
    Registry& r = TheRegistry();
    std::lock_guard lock(r.mutex);
    return r.options;
}

void SetSharedOptions(const CompressionOptions& options) {
    Registry& r = TheRegistry();
    std::lock_guard lock(r.mutex);
    r.options = options;
}

void ResetSharedOptions() { SetSharedOptions(CompressionOptions{}); }

bool OptionsLoaded() {
    Registry& r = TheRegistry();
    std::lock_guard lock(r.mutex);
    return r.optionsLoaded;
}

}  // namespace zo::exporter
