// Random-access byte sources under the recording reader: regular files, disk
// images, Linux block devices, and memory (tests and fuzzers).
//
// ReadAt never moves a shared file pointer (pread), so one source may serve
// a reading thread and a saving thread at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace zo::media {

class ByteSource {
public:
    virtual ~ByteSource() = default;
    // Bytes in the file or capacity of the device.
    virtual uint64_t Size() const = 0;
    // Reads up to `length` bytes at `offset`. Returns the bytes read (fewer at
    // the end of the source), or -1 on an I/O error. Thread-safe.
    virtual int64_t ReadAt(uint64_t offset, void* buffer, size_t length) const = 0;
    // Device and inode of the underlying file, to recognise it again; false
    // for sources that are not files.
    virtual bool Identity(uint64_t& device, uint64_t& inode) const {
        (void)device;
        (void)inode;
        return false;
    }
};

enum class OpenStatus {
    Ok,
    CannotOpen,  // missing, no permission, a directory or another kind of file
    NoSize,      // opened, but its size or capacity could not be read
};

// A regular file or a block device, read with pread.
class FileSource final : public ByteSource {
public:
    ~FileSource() override;
    FileSource(const FileSource&) = delete;
    FileSource& operator=(const FileSource&) = delete;

    // Opens `path` read-only. Regular files take their size from fstat, block
    // devices from BLKGETSIZE64. `errorNumber` receives errno on failure.
    static std::unique_ptr<FileSource> Open(const std::string& path, OpenStatus& status,
                                            int* errorNumber = nullptr);

    uint64_t Size() const override { return size_; }
    int64_t ReadAt(uint64_t offset, void* buffer, size_t length) const override;
    bool Identity(uint64_t& device, uint64_t& inode) const override;
    bool IsBlockDevice() const { return blockDevice_; }

private:
    FileSource(int fd, uint64_t size, bool blockDevice, uint64_t device, uint64_t inode)
        : fd_(fd), size_(size), blockDevice_(blockDevice), device_(device), inode_(inode) {}

    int fd_ = -1;
    uint64_t size_ = 0;
    bool blockDevice_ = false;
    uint64_t device_ = 0;
    uint64_t inode_ = 0;
};

// Bytes held in memory.
class MemorySource final : public ByteSource {
public:
    explicit MemorySource(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}
    MemorySource(const uint8_t* data, size_t size) : bytes_(data, data + size) {}

    uint64_t Size() const override { return bytes_.size(); }
    int64_t ReadAt(uint64_t offset, void* buffer, size_t length) const override;

private:
    std::vector<uint8_t> bytes_;
};

}  // namespace zo::media
