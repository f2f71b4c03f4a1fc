// SPDX-License-Identifier: MIT
#pragma once

// What the class's file operations share: native paths, the ordinary-file test, errno as
// exceptions and an owned file descriptor.

#include <optional>
#include <string>

#include <unistd.h>

namespace base64_detail {

// The UTF-8 form of a UTF-16 path (a lone surrogate becomes U+FFFD); none when the path holds
// a NUL, which the file system would read as the end of a shorter path.
std::optional<std::string> nativePath(const std::u16string& path);

// Whether an ordinary file (after following symbolic links) exists at path.
bool isOrdinaryFile(const std::string& path);

[[noreturn]] void throwErrno(int err, const std::string& what, const std::string& path);

// Owns a file descriptor; closes it at the end of scope unless closed before.
class Descriptor {
public:
    explicit Descriptor(int fd = -1) : fd_(fd) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    int get() const { return fd_; }
    bool valid() const { return fd_ >= 0; }
    void reset(int fd) {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = fd;
    }
    // Closing now lets a late write error (NFS, quotas) be seen.
    bool close() {
        const int fd = fd_;
        fd_ = -1;
        return fd < 0 || ::close(fd) == 0;
    }

private:
    int fd_;
};

} // namespace base64_detail
