// SPDX-License-Identifier: MIT
#pragma once

// The reader EncodeFromFile takes its bytes from.

#include "FileAccess.h"

#include <cstdint>
#include <memory>
#include <string>

namespace base64_detail {

// Reads a file front to back in pieces, no further than the length it had when opened, so
// that a large file is never held twice in memory. Errors arrive as std::system_error.
class FileReader {
public:
    explicit FileReader(const std::string& path);

    std::int64_t size() const { return size_; }
    std::uint8_t* data() { return buffer_.get(); }
    // Fills the buffer from offset on (bytes before it are kept); returns the count, 0 at the
    // end. A full piece holds a multiple of three bytes together with the kept ones.
    std::int64_t read(std::int64_t offset);
    void close() { fd_.close(); }

private:
    static constexpr std::int64_t kPiece = 3 * (std::int64_t(1) << 17);

    std::string path_;
    Descriptor fd_;
    std::int64_t size_ = 0;
    std::int64_t done_ = 0;
    std::unique_ptr<std::uint8_t[]> buffer_;
};

} // namespace base64_detail
