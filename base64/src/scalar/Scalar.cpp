// SPDX-License-Identifier: MIT
// The scalar kernel set: the reference cores applied one group at a time, the path every
// faster one is measured against.
#include "Kernels.h"
#include "scalar/Reference.h"

namespace base64_detail {

namespace {

using reference::charToValue;
using reference::valueToChar;

void encodeGroups(const std::uint8_t* in, std::size_t groups, char* out) {
    for (std::size_t g = 0; g < groups; ++g, in += 3, out += 4) {
        const std::uint32_t v = std::uint32_t(in[0]) << 16 | std::uint32_t(in[1]) << 8 | in[2];
        out[0] = char(valueToChar(v >> 18));
        out[1] = char(valueToChar((v >> 12) & 0x3F));
        out[2] = char(valueToChar((v >> 6) & 0x3F));
        out[3] = char(valueToChar(v & 0x3F));
    }
}

void encodeLines(const std::uint8_t* in, std::size_t lines, char* out) {
    for (std::size_t l = 0; l < lines; ++l, in += kLineBytes, out += kLineChars + 2) {
        encodeGroups(in, kLineGroups, out);
        out[kLineChars] = '\r';
        out[kLineChars + 1] = '\n';
    }
}

std::size_t decodeRun(const char* in, std::size_t n, std::uint8_t* out) {
    std::size_t i = 0;
    for (; i + 4 <= n; i += 4, out += 3) {
        const std::int32_t a = charToValue(std::uint8_t(in[i]));
        const std::int32_t b = charToValue(std::uint8_t(in[i + 1]));
        const std::int32_t c = charToValue(std::uint8_t(in[i + 2]));
        const std::int32_t d = charToValue(std::uint8_t(in[i + 3]));
        if ((a | b | c | d) < 0)
            break;
        const std::int32_t v = a << 18 | b << 12 | c << 6 | d;
        out[0] = std::uint8_t(v >> 16);
        out[1] = std::uint8_t(v >> 8);
        out[2] = std::uint8_t(v);
    }
    return i;
}

} // namespace

const Kernels kScalar = {base64::kernel::scalar,     encodeGroups,   encodeLines,  decodeRun,
                         decodeLinesWith<decodeRun>, narrowPortable, widenPortable};

} // namespace base64_detail
