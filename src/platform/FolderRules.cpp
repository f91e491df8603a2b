#include "platform/FolderRules.h"

#include <sys/stat.h>

#include <cerrno>
#include <string>

namespace zo::platform {

namespace {

bool IsFolder(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool ValidComponent(std::string_view c) {
    if (c.empty() || c == "." || c == "..")
        return false;
    const auto blank = [](char ch) { return ch == ' ' || ch == '\t'; };
    return !blank(c.front()) && !blank(c.back());
}

}  // namespace

int CheckFolderPath(std::string_view path, bool checkOnly) {
    if (path.empty() || path.front() != '/')
        return kFolderInvalid;
    for (const char ch : path)
        if (static_cast<unsigned char>(ch) < 0x20 || ch == 0x7F)
            return kFolderInvalid;
    if (path.size() == 1)
        return checkOnly || IsFolder("/") ? kFolderGood : kFolderNotCreated;

    // Check the whole syntax before creating anything.
    for (size_t start = 1; start <= path.size();) {
        const size_t slash = path.find('/', start);
        const size_t end = slash == std::string_view::npos ? path.size() : slash;
        if (!ValidComponent(path.substr(start, end - start)))
            return kFolderInvalid;  // also "//" and a trailing "/"
        start = end + 1;
    }
    if (checkOnly)
        return kFolderGood;

    for (size_t start = 1; start <= path.size();) {
        const size_t slash = path.find('/', start);
        const size_t end = slash == std::string_view::npos ? path.size() : slash;
        const std::string prefix(path.substr(0, end));
        if (::mkdir(prefix.c_str(), 0777) != 0 && errno != EEXIST)
            return kFolderNotCreated;
        if (!IsFolder(prefix))
            return kFolderNotCreated;
        start = end + 1;
    }
    return kFolderGood;
}

}  // namespace zo::platform
