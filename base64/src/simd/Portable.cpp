// SPDX-License-Identifier: MIT
// The portable kernel set, plain C++ over tables built at compile time; also the scalar
// pieces the SIMD sets fall back on at the ends of their runs.
#include "Kernels.h"
#include "scalar/Reference.h"

#include <array>
#include <cstring>

namespace base64_detail {

namespace {

// The character maps evaluated at compile time: two characters per lookup when encoding, and
// when decoding each character's value already in its place in the group, with bit 31 set for
// a character outside the alphabet so that one test covers the group.
struct Tables {
    std::array<std::array<char, 2>, 4096> pairs{};
    std::array<std::array<std::uint32_t, 256>, 4> placed{};

    constexpr Tables() {
        for (std::uint32_t v = 0; v < 4096; ++v)
            pairs[v] = {char(reference::valueToChar(v >> 6)),
                        char(reference::valueToChar(v & 0x3F))};
        for (int c = 0; c < 256; ++c) {
            const std::int32_t a = reference::charToValue(std::uint8_t(c));
            for (int k = 0; k < 4; ++k)
                placed[k][c] = a < 0 ? 0x80000000u : std::uint32_t(a) << (18 - 6 * k);
        }
    }
};

constexpr Tables kTables;

void encodeLines(const std::uint8_t* in, std::size_t lines, char* out) {
    for (std::size_t l = 0; l < lines; ++l, in += kLineBytes, out += kLineChars + 2) {
        encodeGroupsPortable(in, kLineGroups, out);
        out[kLineChars] = '\r';
        out[kLineChars + 1] = '\n';
    }
}

} // namespace

void encodeGroupsPortable(const std::uint8_t* in, std::size_t groups, char* out) {
    for (std::size_t g = 0; g < groups; ++g, in += 3, out += 4) {
        const std::uint32_t v = std::uint32_t(in[0]) << 16 | std::uint32_t(in[1]) << 8 | in[2];
        std::memcpy(out, kTables.pairs[v >> 12].data(), 2);
        std::memcpy(out + 2, kTables.pairs[v & 0xFFF].data(), 2);
    }
}

std::size_t decodeRunPortable(const char* in, std::size_t n, std::uint8_t* out) {
    const auto& t = kTables.placed;
    const auto* c = reinterpret_cast<const std::uint8_t*>(in);
    std::size_t i = 0;
    for (; i + 4 <= n; i += 4, out += 3) {
        const std::uint32_t v = t[0][c[i]] | t[1][c[i + 1]] | t[2][c[i + 2]] | t[3][c[i + 3]];
        if (v & 0x80000000u)
            break;
        out[0] = std::uint8_t(v >> 16);
        out[1] = std::uint8_t(v >> 8);
        out[2] = std::uint8_t(v);
    }
    return i;
}

std::size_t narrowPortable(const char16_t* in, std::size_t n, char* out) {
    for (std::size_t i = 0; i < n; ++i) {
        const char16_t c = in[i];
        if (c >= 0xD800 && c <= 0xDFFF)
            return i;
        out[i] = c < 0x100 ? char(c) : char(0xFF);
    }
    return n;
}

void widenPortable(const char* in, std::size_t n, char16_t* out) {
    for (std::size_t i = 0; i < n; ++i)
        out[i] = char16_t(std::uint8_t(in[i]));
}

const Kernels kPortable = {
    base64::kernel::portable,           encodeGroupsPortable, encodeLines,  decodeRunPortable,
    decodeLinesWith<decodeRunPortable>, narrowPortable,       widenPortable};

} // namespace base64_detail
