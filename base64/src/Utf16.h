// SPDX-License-Identifier: MIT
#pragma once

// The UTF-16 surrogate tests the decoder, the class's code page conversion and the path
// conversion share; inline, so each stays as cheap as the comparison it is.

namespace base64_detail {

inline bool isHighSurrogate(char16_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}

inline bool isLowSurrogate(char16_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

} // namespace base64_detail
