// SPDX-License-Identifier: MIT
// libBase64's encoding: bytes to text in one call or in pieces (base64::encoder), over the
// kernel set in use.
#include "Base64.h"

#include "Kernels.h"
#include "scalar/Reference.h"

#include <algorithm>

namespace base64 {

using base64_detail::Kernels;
using base64_detail::kLineBytes;
using base64_detail::kLineChars;
using base64_detail::kLineGroups;

namespace {

constexpr std::size_t kGroupsPerChunk = 64 * kLineGroups;

// Encodes whole groups, continuing a line that already holds lineGroups groups. A line break
// is written only before a group, so that the text never ends in one.
char* encodeGroups(const Kernels& k, const std::uint8_t* in, std::size_t groups, char* out,
                   std::uint8_t& lineGroups, lines l) {
    if (l == lines::none) {
        k.encodeGroups(in, groups, out);
        return out + 4 * groups;
    }
    while (groups > 0) {
        if (lineGroups == kLineGroups) {
            *out++ = '\r';
            *out++ = '\n';
            lineGroups = 0;
        }
        if (lineGroups == 0 && groups > kLineGroups) {
            // Whole lines that more groups follow, so each ends in its CR LF.
            const std::size_t full = (groups - 1) / kLineGroups;
            k.encodeLines(in, full, out);
            in += full * kLineBytes;
            out += full * (kLineChars + 2);
            groups -= full * kLineGroups;
            continue;
        }
        const std::size_t run = std::min<std::size_t>(kLineGroups - lineGroups, groups);
        k.encodeGroups(in, run, out);
        in += 3 * run;
        out += 4 * run;
        groups -= run;
        lineGroups = static_cast<std::uint8_t>(lineGroups + run);
    }
    return out;
}

// The last one or two bytes, padded.
char* encodeTail(const std::uint8_t* in, std::size_t rest, char* out, std::uint8_t lineGroups,
                 lines l) {
    if (rest == 0)
        return out;
    if (l == lines::mime && lineGroups == kLineGroups) {
        *out++ = '\r';
        *out++ = '\n';
    }
    const std::uint32_t v =
        std::uint32_t(in[0]) << 16 | (rest == 2 ? std::uint32_t(in[1]) << 8 : 0);
    out[0] = char(base64_detail::reference::valueToChar(v >> 18));
    out[1] = char(base64_detail::reference::valueToChar((v >> 12) & 0x3F));
    out[2] = rest == 2 ? char(base64_detail::reference::valueToChar((v >> 6) & 0x3F)) : '=';
    out[3] = '=';
    return out + 4;
}

std::size_t encodeAll(const std::uint8_t* in, std::size_t n, char* out, lines l) {
    const Kernels& k = base64_detail::kernels();
    std::uint8_t lineGroups = 0;
    char* end = encodeGroups(k, in, n / 3, out, lineGroups, l);
    end = encodeTail(in + n / 3 * 3, n % 3, end, lineGroups, l);
    return static_cast<std::size_t>(end - out);
}

std::string encodeToString(const std::uint8_t* in, std::size_t n, lines l) {
    std::string text;
    text.reserve(encoded_size(n, l));
    // Pieces of whole lines coded in the cache and appended: the result is written once and
    // never zero-filled first.
    char chunk[encoder::max_update_size(3 * kGroupsPerChunk)];
    const Kernels& k = base64_detail::kernels();
    std::uint8_t lineGroups = 0;
    std::size_t groups = n / 3;
    while (groups > 0) {
        const std::size_t g = std::min(groups, kGroupsPerChunk);
        const char* end = encodeGroups(k, in, g, chunk, lineGroups, l);
        text.append(chunk, static_cast<std::size_t>(end - chunk));
        in += 3 * g;
        groups -= g;
    }
    const char* end = encodeTail(in, n % 3, chunk, lineGroups, l);
    text.append(chunk, static_cast<std::size_t>(end - chunk));
    return text;
}

} // namespace

std::string encode(std::span<const std::byte> data, lines l) {
    return encodeToString(reinterpret_cast<const std::uint8_t*>(data.data()), data.size(), l);
}

std::string encode(std::string_view data, lines l) {
    return encodeToString(reinterpret_cast<const std::uint8_t*>(data.data()), data.size(), l);
}

std::size_t encode_into(std::span<const std::byte> data, std::span<char> out, lines l) {
    if (out.size() < encoded_size(data.size(), l))
        throw std::length_error("base64::encode_into: output too small");
    return encodeAll(reinterpret_cast<const std::uint8_t*>(data.data()), data.size(), out.data(),
                     l);
}

std::size_t encode_into(std::string_view data, std::span<char> out, lines l) {
    return encode_into(std::as_bytes(std::span(data.data(), data.size())), out, l);
}

std::size_t encoder::update(std::span<const std::byte> piece, std::span<char> out) {
    if (out.size() < max_update_size(piece.size()))
        throw std::length_error("base64::encoder::update: output too small");
    const Kernels& k = base64_detail::kernels();
    const auto* in = reinterpret_cast<const std::uint8_t*>(piece.data());
    std::size_t n = piece.size();
    char* o = out.data();
    while (carried_ > 0 && carried_ < 3 && n > 0) {
        carry_[carried_++] = *in++;
        --n;
        if (carried_ == 3) {
            o = encodeGroups(k, carry_, 1, o, lineGroups_, lines_);
            carried_ = 0;
        }
    }
    o = encodeGroups(k, in, n / 3, o, lineGroups_, lines_);
    for (std::size_t i = n / 3 * 3; i < n; ++i)
        carry_[carried_++] = in[i];
    return static_cast<std::size_t>(o - out.data());
}

std::size_t encoder::update(std::string_view piece, std::span<char> out) {
    return update(std::as_bytes(std::span(piece.data(), piece.size())), out);
}

std::size_t encoder::finish(std::span<char> out) {
    if (out.size() < max_finish_size)
        throw std::length_error("base64::encoder::finish: output too small");
    const char* end = encodeTail(carry_, carried_, out.data(), lineGroups_, lines_);
    *this = encoder(lines_);
    return static_cast<std::size_t>(end - out.data());
}

} // namespace base64
