#include "platform/OutputFile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace zo::platform {

OutputState InspectOutputPath(const std::string& path, std::string* what) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0)
        return OutputState::Absent;
    const char* kind = nullptr;
    if (S_ISREG(st.st_mode))
        return OutputState::Regular;
    if (S_ISLNK(st.st_mode))
        kind = "a symbolic link";
    else if (S_ISDIR(st.st_mode))
        kind = "a folder";
    else if (S_ISFIFO(st.st_mode))
        kind = "a FIFO";
    else if (S_ISBLK(st.st_mode))
        kind = "a block device";
    else if (S_ISCHR(st.st_mode))
        kind = "a character device";
    else if (S_ISSOCK(st.st_mode))
        kind = "a socket";
    else
        kind = "a special file";
    if (what)
        *what = kind;
    return OutputState::Special;
}

void OutputFile::Fail(const std::string& what, int error) {
    if (failed_)
        return;
    failed_ = true;
    error_ = path_ + ": " + what + (error != 0 ? std::string(": ") + std::strerror(error) : std::string());
}

bool OutputFile::Open(const std::string& path) {
    Abort();
    path_ = path;
    error_.clear();
    failed_ = false;
    written_ = 0;
    std::string kind;
    if (InspectOutputPath(path, &kind) == OutputState::Special) {
        Fail("is " + kind + "; only regular files are written", 0);
        return false;
    }
    // Same folder, hidden name: "<folder>/.<name>.XXXXXX".
    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string pattern = folder + "." + name + ".XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    const int fd = ::mkostemp(buffer.data(), O_CLOEXEC);
    if (fd < 0) {
        Fail("cannot create", errno);
        return false;
    }
    // mkostemp creates 0600; an output is an ordinary file for its owner's umask.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
    fd_ = fd;
    temporary_ = buffer.data();
    return true;
}

bool OutputFile::Write(const void* data, size_t size) {
    if (fd_ < 0 || failed_)
        return false;
    const uint8_t* p = static_cast<const uint8_t*>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd_, p, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            Fail("cannot write", n < 0 ? errno : ENOSPC);
            return false;
        }
        p += n;
        size -= static_cast<size_t>(n);
        written_ += static_cast<uint64_t>(n);
    }
    return true;
}

bool OutputFile::Commit() {
    if (fd_ < 0) {
        if (!failed_)
            Fail("not open", 0);
        return false;
    }
    if (!failed_ && ::fsync(fd_) != 0)
        Fail("cannot write (sync)", errno);
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0)
        Fail("cannot close", errno);
    // The final name may have become special since Open.
    std::string kind;
    if (!failed_ && InspectOutputPath(path_, &kind) == OutputState::Special)
        Fail("is " + kind + "; only regular files are written", 0);
    if (!failed_ && std::rename(temporary_.c_str(), path_.c_str()) != 0)
        Fail("cannot rename into place", errno);
    if (failed_) {
        ::unlink(temporary_.c_str());
        temporary_.clear();
        return false;
    }
    temporary_.clear();
    return true;
}

void OutputFile::Abort() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!temporary_.empty()) {
        ::unlink(temporary_.c_str());
        temporary_.clear();
    }
}

}  // namespace zo::platform
