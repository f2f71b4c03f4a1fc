// SPDX-License-Identifier: MIT
// libBase64's decoding: text to bytes, forgiving or strict, in one call or in pieces
// (base64::decoder), and the sizes a text decodes to.
#include "Base64.h"

#include "Decode.h"
#include "Kernels.h"
#include "Utf16.h"
#include "scalar/Reference.h"

#include <algorithm>
#include <cstring>

namespace base64 {

using base64_detail::isHighSurrogate;
using base64_detail::isLowSurrogate;
using base64_detail::Kernels;
using base64_detail::kLineBytes;
using base64_detail::kLineChars;

namespace {

constexpr std::size_t kTextChunk = 16 * 1024;

std::int32_t valueOf(char c) {
    return base64_detail::reference::charToValue(static_cast<std::uint8_t>(c));
}

// Characters outside the alphabet enter as -1: the group's sum then borrows across its
// fields, exactly as the class has always computed it.
void decodeGroup(const char* c, std::size_t count, std::uint8_t* out) {
    std::int32_t v = valueOf(c[0]) * 262144 + valueOf(c[1]) * 4096;
    if (count >= 3)
        v += valueOf(c[2]) * 64;
    if (count >= 4)
        v += valueOf(c[3]);
    out[0] = static_cast<std::uint8_t>((v & 0xFF0000) >> 16);
    if (count >= 3)
        out[1] = static_cast<std::uint8_t>((v & 0xFF00) >> 8);
    if (count >= 4)
        out[2] = static_cast<std::uint8_t>(v & 0xFF);
}

std::uint8_t* asBytes(std::byte* p) {
    return reinterpret_cast<std::uint8_t*>(p);
}

} // namespace

// The decoder's steps, over 8-bit text. UTF-16 text is narrowed to it in pieces first.
struct DecoderAccess {
    // A group is decoded once no "=" that may still be removed as padding lies in it: the last
    // two characters seen may be the text's last.
    static void settle(decoder& d, std::uint8_t*& o) {
        while (d.held_ >= 4) {
            if (d.held_ == 4 && d.group_[3] == '=')
                return;
            if (d.held_ == 5 && d.group_[3] == '=' && d.group_[4] == '=')
                return;
            decodeGroup(d.group_, 4, o);
            o += 3;
            d.held_ = static_cast<std::uint8_t>(d.held_ - 4);
            std::memmove(d.group_, d.group_ + 4, d.held_);
        }
    }

    static void push(decoder& d, char c, std::uint8_t*& o) {
        d.group_[d.held_++] = c;
        settle(d, o);
    }

    static void forgiving(decoder& d, const Kernels& k, const char* p, const char* end,
                          std::uint8_t*& o) {
        while (p < end) {
            if (d.held_ == 0 && !d.pendingCR_) {
                const std::size_t lines = k.decodeLines(p, static_cast<std::size_t>(end - p), o);
                p += lines * (kLineChars + 2);
                o += lines * kLineBytes;
                const std::size_t n = k.decodeRun(p, static_cast<std::size_t>(end - p), o);
                p += n;
                o += n / 4 * 3;
                if (p == end)
                    break;
                if (p[0] == '\r' && end - p >= 2 && p[1] == '\n') {
                    p += 2;
                    continue;
                }
            }
            const char c = *p++;
            if (d.pendingCR_) {
                d.pendingCR_ = false;
                if (c == '\n')
                    continue;
                push(d, '\r', o);
            }
            if (c == '\r')
                d.pendingCR_ = true;
            else
                push(d, c, o);
        }
    }

    static bool fail(decoder& d, error_code e, std::size_t at) {
        d.error_ = e;
        d.errorAt_ = at;
        return false;
    }

    // base is the position of p in the whole text.
    static bool strict(decoder& d, const Kernels& k, const char* p, const char* end,
                       std::uint8_t*& o, std::size_t base) {
        const char* begin = p;
        while (p < end) {
            if (d.held_ == 0 && d.pads_ == 0 && !d.pendingCR_) {
                const std::size_t lines = k.decodeLines(p, static_cast<std::size_t>(end - p), o);
                p += lines * (kLineChars + 2);
                o += lines * kLineBytes;
                if (lines > 0)
                    d.lineStart_ = true;
                const std::size_t n = k.decodeRun(p, static_cast<std::size_t>(end - p), o);
                if (n > 0)
                    d.lineStart_ = false;
                p += n;
                o += n / 4 * 3;
                if (p == end)
                    break;
                if (p[0] == '\r' && end - p >= 2 && p[1] == '\n' && !d.lineStart_) {
                    p += 2;
                    d.lineStart_ = true;
                    continue;
                }
            }
            const std::size_t at = base + static_cast<std::size_t>(p - begin);
            const char c = *p++;
            if (d.pendingCR_) {
                d.pendingCR_ = false;
                if (c != '\n')
                    return fail(d, error_code::bad_line_break, at);
                d.lineStart_ = true;
                continue;
            }
            if (c == '\r') {
                if (d.lineStart_)
                    return fail(d, error_code::bad_line_break, at);
                d.pendingCR_ = true;
                continue;
            }
            if (c == '\n')
                return fail(d, error_code::bad_line_break, at);
            d.lineStart_ = false;
            if (c == '=') {
                const std::size_t q = d.held_;
                if (q < 2 || d.pads_ + 1u > 4 - q)
                    return fail(d, error_code::bad_padding, at);
                // The bits of the last character that no byte takes must be zero.
                const std::int32_t last = valueOf(d.group_[q - 1]);
                if (d.pads_ == 0 && (last & (q == 2 ? 0xF : 0x3)) != 0)
                    return fail(d, error_code::bad_padding, at);
                ++d.pads_;
                continue;
            }
            if (valueOf(c) < 0)
                return fail(d, error_code::invalid_character, at);
            if (d.pads_ > 0)
                return fail(d, error_code::bad_padding, at);
            d.group_[d.held_++] = c;
            if (d.held_ == 4) {
                decodeGroup(d.group_, 4, o);
                o += 3;
                d.held_ = 0;
            }
        }
        return true;
    }

    // Feeds narrowed text; false on an error.
    static bool feed(decoder& d, const Kernels& k, const char* p, const char* end,
                     std::uint8_t*& o) {
        const std::size_t base = d.consumed_;
        d.consumed_ += static_cast<std::size_t>(end - p);
        if (d.mode_ == mode::forgiving) {
            forgiving(d, k, p, end, o);
            return true;
        }
        return strict(d, k, p, end, o, base);
    }

    // A high surrogate whose low half did not come: one character outside the alphabet, then
    // a CR that waited with it.
    static void dropHigh(decoder& d, char*& b) {
        *b++ = char(0xFF);
        if (d.pendingHighCR_)
            *b++ = '\r';
        d.pendingHigh_ = false;
        d.pendingHighCR_ = false;
    }

    // Narrows UTF-16 to a byte per character. In forgiving mode a surrogate pair is one
    // character, also with CR LF pairs between its halves, which go as they would anyway.
    static bool feed16(decoder& d, const Kernels& k, std::u16string_view piece, std::uint8_t*& o) {
        char buf[kTextChunk + 2];
        const char16_t* p = piece.data();
        const char16_t* end = p + piece.size();
        const bool join = d.mode_ == mode::forgiving;
        while (p < end) {
            char* b = buf;
            while (p < end && b < buf + kTextChunk) {
                if (d.pendingHigh_) {
                    const char16_t c = *p;
                    if (d.pendingHighCR_) {
                        if (c == '\n') {
                            ++p;
                            d.pendingHighCR_ = false;
                        } else {
                            dropHigh(d, b);
                        }
                        continue;
                    }
                    if (c == '\r') {
                        ++p;
                        d.pendingHighCR_ = true;
                    } else if (isLowSurrogate(c)) {
                        ++p;
                        d.pendingHigh_ = false;
                        *b++ = char(0xFF);
                    } else {
                        dropHigh(d, b);
                    }
                    continue;
                }
                const std::size_t room = static_cast<std::size_t>(buf + kTextChunk - b);
                const std::size_t n =
                    k.narrow(p, std::min(room, static_cast<std::size_t>(end - p)), b);
                p += n;
                b += n;
                if (p == end || b == buf + kTextChunk)
                    break;
                // A surrogate.
                if (join && isHighSurrogate(*p))
                    d.pendingHigh_ = true;
                else
                    *b++ = char(0xFF);
                ++p;
            }
            // Strict mode joins nothing, so positions in buf are positions in the text.
            if (!feed(d, k, buf, b, o))
                return false;
        }
        return true;
    }

    static result update(decoder& d, const char* p, const char* end, std::span<std::byte> out) {
        if (d.error_ != error_code::success)
            return {d.error_, d.errorAt_};
        const std::size_t n = static_cast<std::size_t>(end - p);
        if (out.size() < decoder::max_update_size(n))
            return {error_code::output_too_small, decoder::max_update_size(n)};
        const Kernels& k = base64_detail::kernels();
        std::uint8_t* o = asBytes(out.data());
        char buf[4];
        char* b = buf;
        if (d.pendingHigh_) // a UTF-16 piece ended in a high surrogate
            dropHigh(d, b);
        if (!feed(d, k, buf, b, o) || !feed(d, k, p, end, o))
            return {d.error_, d.errorAt_};
        return {error_code::success, static_cast<std::size_t>(o - asBytes(out.data()))};
    }

    static result update16(decoder& d, std::u16string_view piece, std::span<std::byte> out) {
        if (d.error_ != error_code::success)
            return {d.error_, d.errorAt_};
        if (out.size() < decoder::max_update_size(piece.size()))
            return {error_code::output_too_small, decoder::max_update_size(piece.size())};
        std::uint8_t* o = asBytes(out.data());
        if (!feed16(d, base64_detail::kernels(), piece, o))
            return {d.error_, d.errorAt_};
        return {error_code::success, static_cast<std::size_t>(o - asBytes(out.data()))};
    }

    // Ends the text into o, which has room for what is left; false on an error.
    static bool finishInto(decoder& d, std::uint8_t*& o) {
        char buf[4];
        char* b = buf;
        if (d.pendingHigh_)
            dropHigh(d, b);
        if (d.mode_ == mode::forgiving) {
            feed(d, base64_detail::kernels(), buf, b, o);
            if (d.pendingCR_) {
                d.pendingCR_ = false;
                push(d, '\r', o);
            }
            for (int i = 0; i < 2 && d.held_ > 0 && d.group_[d.held_ - 1] == '='; ++i)
                --d.held_;
        } else if (d.pendingCR_) {
            return fail(d, error_code::bad_line_break, d.consumed_);
        } else if ((d.pads_ == 0 && d.held_ != 0) || (d.pads_ > 0 && d.pads_ != 4 - d.held_)) {
            return fail(d, error_code::bad_padding, d.consumed_);
        }
        if (d.held_ >= 2) {
            decodeGroup(d.group_, d.held_, o);
            o += d.held_ - 1;
        }
        d = decoder(d.mode_);
        return true;
    }

    static result finish(decoder& d, std::span<std::byte> out) {
        if (d.error_ != error_code::success)
            return {d.error_, d.errorAt_};
        if (out.size() < decoder::max_finish_size)
            return {error_code::output_too_small, decoder::max_finish_size};
        std::uint8_t* o = asBytes(out.data());
        if (!finishInto(d, o))
            return {d.error_, d.errorAt_};
        return {error_code::success, static_cast<std::size_t>(o - asBytes(out.data()))};
    }

    // A decoder over the whole text, writing to a caller's buffer large enough for any result.
    template <typename Char>
    static result decodeAll(std::basic_string_view<Char> text, std::uint8_t* out, mode m) {
        decoder d(m);
        std::uint8_t* o = out;
        bool ok;
        if constexpr (sizeof(Char) == 1)
            ok = feed(d, base64_detail::kernels(), text.data(), text.data() + text.size(), o);
        else
            ok = feed16(d, base64_detail::kernels(), text, o);
        if (!ok || !finishInto(d, o))
            return {d.error_, d.errorAt_};
        return {error_code::success, static_cast<std::size_t>(o - out)};
    }
};

namespace {

template <typename Char>
std::vector<std::byte> decodeToVector(std::basic_string_view<Char> text, mode m) {
    std::vector<std::byte> bytes;
    bytes.reserve(max_decoded_size(text.size()));
    decoder d(m);
    std::byte chunk[decoder::max_update_size(kTextChunk)];
    for (std::size_t at = 0; at < text.size(); at += kTextChunk) {
        const result r = d.update(text.substr(at, kTextChunk), chunk);
        if (!r)
            throw decode_error(r.error, r.count);
        bytes.insert(bytes.end(), chunk, chunk + r.count);
    }
    const result r = d.finish(chunk);
    if (!r)
        throw decode_error(r.error, r.count);
    bytes.insert(bytes.end(), chunk, chunk + r.count);
    return bytes;
}

template <typename Char>
result decodeInto(std::basic_string_view<Char> text, std::span<std::byte> out, mode m) noexcept {
    // No decoding writes more than the forgiving one, and that one exactly decoded_size.
    if (out.size() >= max_decoded_size(text.size()))
        return DecoderAccess::decodeAll(text, asBytes(out.data()), m);
    const std::size_t exact = decoded_size(text);
    if (out.size() >= exact)
        return DecoderAccess::decodeAll(text, asBytes(out.data()), m);
    if (m == mode::forgiving)
        return {error_code::output_too_small, exact};
    // Too small for a valid text; an invalid one reports its error first.
    try {
        const std::vector<std::byte> bytes = decodeToVector(text, m);
        if (bytes.size() > out.size())
            return {error_code::output_too_small, bytes.size()};
        std::copy(bytes.begin(), bytes.end(), out.begin());
        return {error_code::success, bytes.size()};
    } catch (const decode_error& e) {
        return {e.code(), e.position()};
    } catch (const std::bad_alloc&) {
        return {error_code::output_too_small, decoded_size(text)};
    }
}

const char* describe(error_code e) {
    switch (e) {
    case error_code::success:
        return "no error";
    case error_code::invalid_character:
        return "character outside the Base64 alphabet";
    case error_code::bad_padding:
        return "misplaced or missing padding";
    case error_code::bad_line_break:
        return "line break other than CR LF between lines";
    case error_code::output_too_small:
        return "output buffer too small";
    }
    return "unknown error";
}

} // namespace

decode_error::decode_error(error_code code, std::size_t position)
    : std::runtime_error(std::string(describe(code)) + " at " + std::to_string(position)),
      code_(code), position_(position) {}

std::size_t decoded_size(std::string_view text) noexcept {
    return base64_detail::decodedBytes(base64_detail::cleanedLength(text));
}

std::size_t decoded_size(std::u16string_view text) noexcept {
    return base64_detail::decodedBytes(base64_detail::cleanedLength(text));
}

std::vector<std::byte> decode(std::string_view text, mode m) {
    return decodeToVector(text, m);
}

std::vector<std::byte> decode(std::u16string_view text, mode m) {
    return decodeToVector(text, m);
}

result decode_into(std::string_view text, std::span<std::byte> out, mode m) noexcept {
    return decodeInto(text, out, m);
}

result decode_into(std::u16string_view text, std::span<std::byte> out, mode m) noexcept {
    return decodeInto(text, out, m);
}

result decoder::update(std::string_view piece, std::span<std::byte> out) noexcept {
    return DecoderAccess::update(*this, piece.data(), piece.data() + piece.size(), out);
}

result decoder::update(std::u16string_view piece, std::span<std::byte> out) noexcept {
    return DecoderAccess::update16(*this, piece, out);
}

result decoder::finish(std::span<std::byte> out) noexcept {
    return DecoderAccess::finish(*this, out);
}

} // namespace base64

namespace base64_detail {

template <typename Char> std::size_t cleanedLength(std::basic_string_view<Char> t) {
    const std::size_t n = t.size();
    std::size_t m = n;
    if constexpr (sizeof(Char) == 1) {
        // Every CR LF goes.
        for (const char* p = t.data(); (p = static_cast<const char*>(std::memchr(
                                            p, '\r', static_cast<std::size_t>(t.end() - p))));) {
            ++p;
            if (p < t.end() && *p == '\n')
                m -= 2;
        }
    } else {
        // Every CR LF goes; a surrogate pair, also split by such pairs, is one character.
        for (std::size_t i = 0; i < n; ++i) {
            const Char c = t[i];
            if (c == '\r' && i + 1 < n && t[i + 1] == '\n') {
                m -= 2;
                ++i;
            } else if (isHighSurrogate(c)) {
                std::size_t j = i + 1;
                while (j + 1 < n && t[j] == '\r' && t[j + 1] == '\n')
                    j += 2;
                if (j < n && isLowSurrogate(t[j])) {
                    m -= j - i;
                    i = j;
                }
            }
        }
    }
    // Then up to two "=" at the end, looking past the CR LF pairs that went.
    std::size_t i = n;
    for (int strip = 0; strip < 2 && m > 0;) {
        if (i >= 2 && t[i - 2] == '\r' && t[i - 1] == '\n') {
            i -= 2;
            continue;
        }
        if (i == 0 || t[i - 1] != '=')
            break;
        --i;
        --m;
        ++strip;
    }
    return m;
}

template std::size_t cleanedLength(std::basic_string_view<char>);
template std::size_t cleanedLength(std::basic_string_view<char16_t>);

std::size_t decodedBytes(std::size_t m) {
    return m / 4 * 3 + (m % 4 >= 2 ? m % 4 - 1 : 0);
}

} // namespace base64_detail
