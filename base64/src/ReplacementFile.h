// SPDX-License-Identifier: MIT
#pragma once

// The crash-safe file replacement DecodeToFile writes through.

#include "FileAccess.h"

#include <cstddef>
#include <cstdint>
#include <string>

#include <sys/stat.h>

namespace base64_detail {

// New content for a file, which the file shows only once it is complete. An ordinary file is
// replaced through a temporary file in its folder (written, synced, renamed), so that a crash
// or a failed write leaves the old content; it keeps its permission bits, and a symbolic link
// keeps pointing at it. Written in place, and cut to length at the end, are devices and pipes,
// files with more than one name, files whose owner or group a new file could not keep, and
// files beside which no temporary file can be made. Write failures arrive as
// std::system_error; the temporary file is removed unless committed.
class ReplacementFile {
public:
    explicit ReplacementFile(const std::string& path);
    ReplacementFile(const ReplacementFile&) = delete;
    ReplacementFile& operator=(const ReplacementFile&) = delete;
    ~ReplacementFile();

    // False when the target cannot be opened for writing; nothing has been touched then.
    bool opened() const { return fd_.valid(); }
    void write(const std::uint8_t* bytes, std::size_t n);
    // Makes the written bytes the file's whole content.
    void commit();

private:
    bool keepsOwner(const struct stat& old);

    std::string path_;   // as given, for messages
    std::string target_; // the file at the end of any symbolic links
    std::string temp_;   // empty when writing in place
    bool ordinary_ = false;
    std::uint64_t written_ = 0;
    Descriptor fd_;
};

} // namespace base64_detail
