// SPDX-License-Identifier: MIT
// EncodeFromFile's reading: a file front to back in pieces, no further than its length at
// opening.
#include "FileReader.h"

#include <algorithm>
#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>

namespace base64_detail {

FileReader::FileReader(const std::string& path) : path_(path) {
    fd_.reset(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!fd_.valid())
        throwErrno(errno, "cannot open", path);
    struct stat st {};
    if (::fstat(fd_.get(), &st) != 0)
        throwErrno(errno, "cannot read", path);
    size_ = st.st_size;
    ::posix_fadvise(fd_.get(), 0, 0, POSIX_FADV_SEQUENTIAL);
}

std::int64_t FileReader::read(std::int64_t offset) {
    if (!buffer_)
        buffer_ = std::make_unique_for_overwrite<std::uint8_t[]>(kPiece);
    const std::int64_t want = std::min(kPiece - offset, size_ - done_);
    std::int64_t got = 0;
    while (got < want) {
        const ssize_t r =
            ::read(fd_.get(), buffer_.get() + offset + got, static_cast<std::size_t>(want - got));
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0)
            throwErrno(errno, "cannot read", path_);
        if (r == 0)
            break; // the file shrank since it was opened: what is there is the file
        got += r;
    }
    done_ += got;
    return got;
}

} // namespace base64_detail
