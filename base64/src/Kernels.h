// SPDX-License-Identifier: MIT
#pragma once

// The inner loops of the codec, one set per instruction set. Each loop works on whole groups
// and leaves line breaks, padding, odd characters and state between pieces to the codec
// around it, so that every set only has to agree with the scalar one on the easy part.

#include "Base64.h"

#include <cstddef>
#include <cstdint>

namespace base64_detail {

inline constexpr std::size_t kLineChars = 76;
inline constexpr std::size_t kLineGroups = kLineChars / 4;
inline constexpr std::size_t kLineBytes = kLineGroups * 3;

struct Kernels {
    base64::kernel id;
    // Groups of three bytes to four characters each, without line breaks.
    void (*encodeGroups)(const std::uint8_t* in, std::size_t groups, char* out);
    // Whole MIME lines: 57 bytes to 76 characters and CR LF each.
    void (*encodeLines)(const std::uint8_t* in, std::size_t lines, char* out);
    // The longest run of whole groups of four alphabet characters at the start of in[0..n),
    // decoded to exactly three bytes each; returns the characters decoded.
    std::size_t (*decodeRun)(const char* in, std::size_t n, std::uint8_t* out);
    // The longest run of whole MIME lines, 76 alphabet characters and CR LF each, at the start
    // of in[0..n), decoded to 57 bytes each; returns the lines decoded.
    std::size_t (*decodeLines)(const char* in, std::size_t n, std::uint8_t* out);
    // The longest start of in[0..n) without surrogates, one byte per character: ASCII as it
    // is, anything else as some byte of 0x80 or more. Returns its length.
    std::size_t (*narrow)(const char16_t* in, std::size_t n, char* out);
    // ASCII to UTF-16.
    void (*widen)(const char* in, std::size_t n, char16_t* out);
};

extern const Kernels kScalar;
extern const Kernels kPortable;
#if defined(__x86_64__)
extern const Kernels kAvx2;
extern const Kernels kAvx512;
bool cpuHasAvx2();
bool cpuHasAvx512Vbmi();
#endif

// The set in use; chosen once, changed only by base64::select_kernel.
const Kernels& kernels() noexcept;

// Scalar pieces the SIMD sets fall back on for the ends of their runs.
std::size_t decodeRunPortable(const char* in, std::size_t n, std::uint8_t* out);
// decodeLines over any decodeRun.
template <std::size_t (*run)(const char*, std::size_t, std::uint8_t*)>
std::size_t decodeLinesWith(const char* in, std::size_t n, std::uint8_t* out) {
    std::size_t lines = 0;
    for (; n >= kLineChars + 2; n -= kLineChars + 2, ++lines) {
        if (in[kLineChars] != '\r' || in[kLineChars + 1] != '\n' ||
            run(in, kLineChars, out) != kLineChars)
            break;
        in += kLineChars + 2;
        out += kLineBytes;
    }
    return lines;
}
void encodeGroupsPortable(const std::uint8_t* in, std::size_t groups, char* out);
std::size_t narrowPortable(const char16_t* in, std::size_t n, char* out);
void widenPortable(const char* in, std::size_t n, char16_t* out);

} // namespace base64_detail
