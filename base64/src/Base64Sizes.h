// SPDX-License-Identifier: MIT
#pragma once

// Output sizes of the two cores, checked before anything is allocated. Kept in a header of
// their own so that the limits can be exercised without gigabytes of input.

#include "Base64.h"

#include <cstdint>
#include <limits>

namespace base64_detail {

inline constexpr std::int64_t kMaxBytes = std::numeric_limits<std::int32_t>::max();
inline constexpr std::int64_t kLineLength = 76;
inline constexpr std::int64_t kGroupsPerLine = kLineLength / 4;

// Characters the encoding core writes for n input bytes, CR LF included.
inline std::int64_t encodedSize(std::int64_t n) {
    if (n < 1)
        throw Base64Error(9, "nothing to encode");
    if (n > kMaxBytes)
        throw Base64Error(6, "more than 2,147,483,647 bytes to encode");
    const std::int64_t groups = (n + 2) / 3;
    const std::int64_t chars = 4 * groups;
    const std::int64_t lines = (chars + kLineLength - 1) / kLineLength;
    const std::int64_t size = chars + 2 * (lines - 1);
    if (size > kMaxBytes)
        throw Base64Error(6, "encoded text would exceed 2,147,483,647 characters");
    return size;
}

// Bytes the decoding core writes for m characters left after the clean-up.
inline std::int64_t decodedSize(std::int64_t m) {
    if (m > kMaxBytes)
        throw Base64Error(6, "more than 2,147,483,647 characters to decode");
    const std::int64_t groups = m / 4;
    const std::int64_t rest = m - 4 * groups;
    const std::int64_t size = 3 * groups + (rest == 2 ? 1 : rest == 3 ? 2 : 0);
    if (size < 1)
        throw Base64Error(9, "nothing to decode");
    return size;
}

} // namespace base64_detail
