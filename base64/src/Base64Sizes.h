#pragma once

// Output sizes of the two cores, checked against the library's limits. Kept apart from the
// cores so that the limits can be tested without gigabytes of input.

#include "Base64.h"

#include <cstdint>
#include <limits>

namespace base64_detail {

constexpr std::int64_t kMaxBytes = std::numeric_limits<std::int32_t>::max();
constexpr std::int64_t kLineLength = 76;

// Characters of the encoding of n bytes, line breaks included.
inline std::int64_t EncodedSize(std::int64_t n) {
    if (n < 1)
        throw Base64Error(9, "nothing to encode");
    const std::int64_t chars = 4 * ((n + 2) / 3);
    const std::int64_t lines = (chars + kLineLength - 1) / kLineLength;
    const std::int64_t size = chars + 2 * (lines - 1);
    if (size > kMaxBytes)
        throw Base64Error(6, "the encoded text would exceed 2,147,483,647 characters");
    return size;
}

// Bytes decoded from m alphabet characters (line breaks and padding already gone).
inline std::int64_t DecodedSize(std::int64_t m) {
    const std::int64_t groups = m / 4;
    const std::int64_t rest = m - 4 * groups;
    const std::int64_t size = 3 * groups + (rest == 2 ? 1 : rest == 3 ? 2 : 0);
    if (size < 1)
        throw Base64Error(9, "nothing to decode");
    if (size > kMaxBytes)
        throw Base64Error(6, "the decoded data would exceed 2,147,483,647 bytes");
    return size;
}

} // namespace base64_detail
