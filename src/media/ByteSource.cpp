#include "media/ByteSource.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zo::media {

FileSource::~FileSource() {
    if (fd_ >= 0)
        ::close(fd_);
}

std::unique_ptr<FileSource> FileSource::Open(const std::string& path, OpenStatus& status,
                                             int* errorNumber) {
    status = OpenStatus::CannotOpen;
    auto fail = [&](int err) -> std::unique_ptr<FileSource> {
        if (errorNumber)
            *errorNumber = err;
        return nullptr;
    };
    // O_NONBLOCK keeps a FIFO from blocking the open; it has no effect on
    // regular files and block devices.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return fail(errno);
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        const int err = errno;
        ::close(fd);
        return fail(err);
    }
    const bool regular = S_ISREG(st.st_mode);
    const bool block = S_ISBLK(st.st_mode);
    if (!regular && !block) {
        ::close(fd);
        return fail(S_ISDIR(st.st_mode) ? EISDIR : EINVAL);
    }
    // Back to blocking reads.
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0)
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);

    uint64_t size = 0;
    if (block) {
        if (::ioctl(fd, BLKGETSIZE64, &size) != 0) {
            const int err = errno;
            ::close(fd);
            status = OpenStatus::NoSize;
            return fail(err);
        }
    } else {
        size = static_cast<uint64_t>(st.st_size);
    }
    status = OpenStatus::Ok;
    return std::unique_ptr<FileSource>(new FileSource(fd, size, block, static_cast<uint64_t>(st.st_dev),
                                                      static_cast<uint64_t>(st.st_ino)));
}

int64_t FileSource::ReadAt(uint64_t offset, void* buffer, size_t length) const {
    auto* out = static_cast<uint8_t*>(buffer);
    size_t done = 0;
    while (done < length) {
        const ssize_t n = ::pread(fd_, out + done, length - done, static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return done > 0 ? static_cast<int64_t>(done) : -1;
        }
        if (n == 0)
            break;
        done += static_cast<size_t>(n);
    }
    return static_cast<int64_t>(done);
}

bool FileSource::Identity(uint64_t& device, uint64_t& inode) const {
    device = device_;
    inode = inode_;
    return true;
}

int64_t MemorySource::ReadAt(uint64_t offset, void* buffer, size_t length) const {
    if (offset >= bytes_.size())
        return 0;
    const size_t n = std::min<uint64_t>(length, bytes_.size() - offset);
    std::memcpy(buffer, bytes_.data() + offset, n);
    return static_cast<int64_t>(n);
}

}  // namespace zo::media
