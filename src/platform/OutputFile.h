// OutputFile: how every output file is written so that a failed write is
// never taken for success and no partial file is left behind.
//
// The bytes go to a temporary file beside the final name (same folder, so
// the rename cannot cross file systems); every write is checked, and Commit
// flushes, syncs and closes it and only then renames it over the final name.
// Anything short of a successful Commit removes the temporary file.
//
// The final name must be a new name or an existing regular file: a symbolic
// link, a device, a FIFO, a socket or a directory is refused, because a
// rename would replace the special file itself instead of writing to it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace zo::platform {

enum class OutputState {
    Absent,   // nothing there
    Regular,  // an existing regular file
    Special,  // a symbolic link, device, FIFO, socket or directory
};

// What is at `path` now, with a description of a special file ("a FIFO").
OutputState InspectOutputPath(const std::string& path, std::string* what = nullptr);

class OutputFile {
public:
    OutputFile() = default;
    ~OutputFile() { Abort(); }
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Creates the temporary file for `path`. False with Error() set when the
    // path is special or the folder cannot take a file.
    bool Open(const std::string& path);
    bool IsOpen() const { return fd_ >= 0; }
    // Writes all of `size` bytes; false (and the error kept) on any failure.
    // After a failure further writes do nothing and Commit fails.
    bool Write(const void* data, size_t size);
    // Flushes, syncs, closes and renames into place. False with Error() set
    // on any failure; the temporary file is then removed.
    bool Commit();
    // Closes and removes the temporary file (nothing at the final name changes).
    void Abort();

    const std::string& Path() const { return path_; }
    const std::string& TemporaryPath() const { return temporary_; }
    // "<path>: <system's reason>" of the first failure.
    const std::string& Error() const { return error_; }
    uint64_t BytesWritten() const { return written_; }
    // The descriptor of the temporary file, for writers that need one.
    int Descriptor() const { return fd_; }

private:
    void Fail(const std::string& what, int error);

    std::string path_;
    std::string temporary_;
    std::string error_;
    int fd_ = -1;
    bool failed_ = false;
    uint64_t written_ = 0;
};

}  // namespace zo::platform
