// SPDX-License-Identifier: MIT
#pragma once

// The two cores as the class has always defined them, one step after the other and without any
// speed-up: the measure every faster path is held to, by the tests and the differential fuzzer.

#include "Base64.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace base64_detail::reference {

constexpr std::uint8_t valueToChar(std::uint32_t v) {
    if (v < 26)
        return static_cast<std::uint8_t>(v + 65);
    if (v < 52)
        return static_cast<std::uint8_t>(v + 71);
    if (v < 62)
        return static_cast<std::uint8_t>(v - 4);
    if (v == 62)
        return '+';
    if (v == 63)
        return '/';
    return 0;
}

constexpr std::int32_t charToValue(std::uint8_t c) {
    if (c >= 'A' && c <= 'Z')
        return c - 65;
    if (c >= 'a' && c <= 'z')
        return c - 71;
    if (c >= '0' && c <= '9')
        return c + 4;
    if (c == '+')
        return 62;
    if (c == '/')
        return 63;
    return -1;
}

inline std::string encode(const std::uint8_t* b, std::size_t n, base64::lines lines) {
    std::string out;
    int counter = 0;
    for (std::size_t i = 0; i < n; i += 3) {
        std::uint32_t v = std::uint32_t(b[i]) << 16;
        if (i + 1 < n)
            v |= std::uint32_t(b[i + 1]) << 8;
        if (i + 2 < n)
            v |= b[i + 2];
        out.push_back(char(valueToChar((v & 0xFC0000) / 262144)));
        out.push_back(char(valueToChar((v & 0x3F000) / 4096)));
        out.push_back(i + 1 < n ? char(valueToChar((v & 0xFC0) / 64)) : '=');
        out.push_back(i + 2 < n ? char(valueToChar(v & 0x3F)) : '=');
        counter += 4;
        if (lines == base64::lines::mime && i + 3 < n && counter == 76) {
            out += "\r\n";
            counter = 0;
        }
    }
    return out;
}

// Steps 4 and 5 of the decoding core over codes already cleaned up.
inline std::vector<std::uint8_t> decodeCodes(const std::vector<std::uint8_t>& c) {
    const std::size_t m = c.size();
    std::vector<std::uint8_t> out;
    for (std::size_t i = 0; i < m; i += 4) {
        const std::size_t left = m - i;
        if (left == 1)
            break;
        std::int32_t v = charToValue(c[i]) * 262144 + charToValue(c[i + 1]) * 4096;
        if (left >= 3)
            v += charToValue(c[i + 2]) * 64;
        if (left >= 4)
            v += charToValue(c[i + 3]);
        out.push_back(std::uint8_t((v & 0xFF0000) / 65536));
        if (left >= 3)
            out.push_back(std::uint8_t((v & 0xFF00) / 256));
        if (left >= 4)
            out.push_back(std::uint8_t(v & 0xFF));
    }
    return out;
}

template <typename Char> std::basic_string<Char> cleanUp(std::basic_string_view<Char> text) {
    std::basic_string<Char> t;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            ++i;
        else
            t.push_back(text[i]);
    }
    for (int k = 0; k < 2 && !t.empty() && t.back() == '='; ++k)
        t.pop_back();
    return t;
}

inline std::vector<std::uint8_t> decode(std::string_view text) {
    const std::string t = cleanUp(text);
    return decodeCodes(std::vector<std::uint8_t>(t.begin(), t.end()));
}

// Every character above 0x7F is outside the alphabet whatever its code-page byte; a surrogate
// pair is one character.
inline std::vector<std::uint8_t> decode(std::u16string_view text) {
    const std::u16string t = cleanUp(text);
    std::vector<std::uint8_t> codes;
    for (std::size_t i = 0; i < t.size(); ++i) {
        if (t[i] >= 0xD800 && t[i] <= 0xDBFF && i + 1 < t.size() && t[i + 1] >= 0xDC00 &&
            t[i + 1] <= 0xDFFF)
            ++i;
        codes.push_back(t[i] < 0x80 ? std::uint8_t(t[i]) : std::uint8_t(0xFF));
    }
    return decodeCodes(codes);
}

// Strict mode, character by character: the first character that no valid text has there.
template <typename Char> base64::result strictCheck(std::basic_string_view<Char> text) {
    using base64::error_code;
    std::size_t data = 0;
    std::size_t pads = 0;
    std::int32_t last = 0;
    bool lineStart = true;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const Char c = text[i];
        if (c == '\r') {
            if (lineStart)
                return {error_code::bad_line_break, i};
            if (i + 1 == text.size())
                return {error_code::bad_line_break, i + 1};
            if (text[i + 1] != '\n')
                return {error_code::bad_line_break, i + 1};
            ++i;
            lineStart = true;
            continue;
        }
        if (c == '\n')
            return {error_code::bad_line_break, i};
        lineStart = false;
        const std::int32_t v = std::uint32_t(c) < 0x80 ? charToValue(std::uint8_t(c)) : -1;
        if (c == '=') {
            const std::size_t q = data % 4;
            const bool unusedBitsClear = q == 2 ? (last & 0xF) == 0 : (last & 0x3) == 0;
            if (q < 2 || (pads == 0 && !unusedBitsClear) || pads + 1 > 4 - q)
                return {error_code::bad_padding, i};
            ++pads;
        } else if (v < 0) {
            return {error_code::invalid_character, i};
        } else if (pads > 0) {
            return {error_code::bad_padding, i};
        } else {
            ++data;
            last = v;
        }
    }
    const std::size_t q = data % 4;
    if ((pads == 0 && q != 0) || (pads > 0 && pads != 4 - q))
        return {error_code::bad_padding, text.size()};
    return {error_code::success, data / 4 * 3 + (q == 0 ? 0 : q - 1)};
}

} // namespace base64_detail::reference
