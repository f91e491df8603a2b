// A test buffer whose last byte lies just before an inaccessible page, so
// any read or write past its end faults at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <sys/mman.h>
#include <unistd.h>

namespace zo::test {

class PageEndBuffer {
public:
    explicit PageEndBuffer(size_t size) : size_(size) {
        const size_t page = static_cast<size_t>(::sysconf(_SC_PAGESIZE));
        mapped_ = (size + page - 1) / page * page + page;
        base_ = static_cast<uint8_t*>(
            ::mmap(nullptr, mapped_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
        ::mprotect(base_ + mapped_ - page, page, PROT_NONE);
        data_ = base_ + mapped_ - page - size;
    }
    ~PageEndBuffer() { ::munmap(base_, mapped_); }
    PageEndBuffer(const PageEndBuffer&) = delete;
    PageEndBuffer& operator=(const PageEndBuffer&) = delete;
    uint8_t* data() { return data_; }
    size_t size() const { return size_; }

private:
    size_t size_;
    size_t mapped_;
    uint8_t* base_;
    uint8_t* data_;
};

}  // namespace zo::test
