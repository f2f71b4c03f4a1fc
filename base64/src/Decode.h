// SPDX-License-Identifier: MIT
#pragma once

// The decoding core's size rules: how long a text is once cleaned up and how many bytes that
// length decodes to, for the class, which sizes its results before it decodes.

#include <cstddef>
#include <string_view>

namespace base64_detail {

// Characters the decoding core works on once CR LF pairs and up to two final "=" are gone; a
// UTF-16 surrogate pair counts once.
template <typename Char> std::size_t cleanedLength(std::basic_string_view<Char> text);

// Bytes the decoding core writes for that many characters.
std::size_t decodedBytes(std::size_t m);

} // namespace base64_detail
