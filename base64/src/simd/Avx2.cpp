// SPDX-License-Identifier: MIT
// The AVX2 kernel set: 24 bytes to 32 characters and 32 characters to 24 bytes a step.
#include "Kernels.h"

// Compiled for any x86-64: only the functions marked with the target attribute use AVX2, and
// they run only when the processor has it. Nothing here is inline outside this file, so no
// AVX2 code can stand in for a shared copy elsewhere.
#if defined(__x86_64__)

#include <immintrin.h>

#define BASE64_AVX2 __attribute__((target("avx2")))

namespace base64_detail {

namespace {

// Eight groups of three bytes, in[0..24), to 32 characters.
BASE64_AVX2 inline __m256i encodeBlock(const std::uint8_t* in) {
    // Lane 0 takes bytes 0..11 from a load at in, lane 1 bytes 12..23 from a load at in + 8,
    // so that no byte past the 24 is read.
    const __m128i lo = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
    const __m128i hi = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 8));
    __m256i v = _mm256_inserti128_si256(_mm256_castsi128_si256(lo), hi, 1);
    // Each group b0 b1 b2 becomes the 32-bit word of bytes b1 b0 b2 b1: its four 6-bit fields
    // then lie at bits 10, 4, 22 and 16, each within one 16-bit half.
    v = _mm256_shuffle_epi8(v,
                            _mm256_setr_epi8(1, 0, 2, 1, 4, 3, 5, 4, 7, 6, 8, 7, 10, 9, 11, 10, 5,
                                             4, 6, 5, 8, 7, 9, 8, 11, 10, 12, 11, 14, 13, 15, 14));
    // Multiplying by a power of two moves each field to the bottom of its byte.
    const __m256i first = _mm256_mulhi_epu16(_mm256_and_si256(v, _mm256_set1_epi32(0x0FC0FC00)),
                                             _mm256_set1_epi32(0x04000040));
    const __m256i second = _mm256_mullo_epi16(_mm256_and_si256(v, _mm256_set1_epi32(0x003F03F0)),
                                              _mm256_set1_epi32(0x01000010));
    const __m256i values = _mm256_or_si256(first, second);
    // Value to character by adding the offset of its range: 0..25 (index 13), 26..51 (0),
    // 52..61 (1..10), 62 (11), 63 (12).
    __m256i range = _mm256_subs_epu8(values, _mm256_set1_epi8(51));
    const __m256i upper = _mm256_cmpgt_epi8(_mm256_set1_epi8(26), values);
    range = _mm256_or_si256(range, _mm256_and_si256(upper, _mm256_set1_epi8(13)));
    const __m256i offsets =
        _mm256_setr_epi8(71, -4, -4, -4, -4, -4, -4, -4, -4, -4, -4, -19, -16, 65, 0, 0, 71, -4, -4,
                         -4, -4, -4, -4, -4, -4, -4, -4, -19, -16, 65, 0, 0);
    return _mm256_add_epi8(values, _mm256_shuffle_epi8(offsets, range));
}

BASE64_AVX2 inline void store(char* out, __m256i v) {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), v);
}

BASE64_AVX2 void encodeGroups(const std::uint8_t* in, std::size_t groups, char* out) {
    std::size_t g = 0;
    for (; g + 8 <= groups; g += 8)
        store(out + 4 * g, encodeBlock(in + 3 * g));
    if (g == groups)
        return;
    if (groups >= 8) // the last eight again, overlapping what is written
        store(out + 4 * (groups - 8), encodeBlock(in + 3 * (groups - 8)));
    else
        encodeGroupsPortable(in, groups, out);
}

BASE64_AVX2 void encodeLines(const std::uint8_t* in, std::size_t lines, char* out) {
    for (std::size_t l = 0; l < lines; ++l, in += kLineBytes, out += kLineChars + 2) {
        store(out, encodeBlock(in));
        store(out + 32, encodeBlock(in + 24));
        store(out + 44, encodeBlock(in + 33));
        out[kLineChars] = '\r';
        out[kLineChars + 1] = '\n';
    }
}

// 32 characters: their values packed to bytes in v, and a bit for each character outside the
// alphabet.
struct Decoded {
    __m256i v;
    std::uint32_t bad;
};

BASE64_AVX2 inline Decoded decodeBlock(const char* in) {
    const __m256i c = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in));
    const __m256i hi = _mm256_and_si256(_mm256_srli_epi32(c, 4), _mm256_set1_epi8(0x0F));
    const __m256i lo = _mm256_and_si256(c, _mm256_set1_epi8(0x0F));
    // A character is in the alphabet when the classes its low nibble allows include the class
    // of its high nibble: 2 ("+/"), 3 (digits), 4 and 6 (letters to "O"/"o"), 5 and 7 (the
    // rest of the letters). Nibbles 8..F, the codes of 128 and more, allow nothing.
    const __m256i loClasses =
        _mm256_setr_epi8(0x0A, 0x0E, 0x0E, 0x0E, 0x0E, 0x0E, 0x0E, 0x0E, 0x0E, 0x0E, 0x0C, 0x05,
                         0x04, 0x04, 0x04, 0x05, 0x0A, 0x0E, 0x0E, 0x0E, 0x0E, 0x0E, 0x0E, 0x0E,
                         0x0E, 0x0E, 0x0C, 0x05, 0x04, 0x04, 0x04, 0x05);
    const __m256i hiClass =
        _mm256_setr_epi8(0, 0, 0x01, 0x02, 0x04, 0x08, 0x04, 0x08, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                         0x01, 0x02, 0x04, 0x08, 0x04, 0x08, 0, 0, 0, 0, 0, 0, 0, 0);
    const __m256i ok =
        _mm256_and_si256(_mm256_shuffle_epi8(loClasses, lo), _mm256_shuffle_epi8(hiClass, hi));
    const auto bad = static_cast<std::uint32_t>(
        _mm256_movemask_epi8(_mm256_cmpeq_epi8(ok, _mm256_setzero_si256())));
    // The value is the code plus an offset of its high nibble; "/" shares nibble 2 with "+"
    // and takes the unused slot 1.
    const __m256i slot = _mm256_add_epi8(hi, _mm256_cmpeq_epi8(c, _mm256_set1_epi8('/')));
    const __m256i offsets =
        _mm256_setr_epi8(0, 16, 19, 4, -65, -65, -71, -71, 0, 0, 0, 0, 0, 0, 0, 0, 0, 16, 19, 4,
                         -65, -65, -71, -71, 0, 0, 0, 0, 0, 0, 0, 0);
    const __m256i values = _mm256_add_epi8(c, _mm256_shuffle_epi8(offsets, slot));
    // Four 6-bit values to one 24-bit number per 32-bit word, then its three bytes, high first.
    const __m256i pairs = _mm256_maddubs_epi16(values, _mm256_set1_epi32(0x01400140));
    const __m256i words = _mm256_madd_epi16(pairs, _mm256_set1_epi32(0x00011000));
    const __m256i bytes = _mm256_shuffle_epi8(
        words, _mm256_setr_epi8(2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1, 2, 1, 0, 6,
                                5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1));
    return {_mm256_permutevar8x32_epi32(bytes, _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 7, 7)), bad};
}

BASE64_AVX2 inline void store24(std::uint8_t* out, __m256i v) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm256_castsi256_si128(v));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 16), _mm256_extracti128_si256(v, 1));
}

BASE64_AVX2 std::size_t decodeRun(const char* in, std::size_t n, std::uint8_t* out) {
    if (n < 32)
        return decodeRunPortable(in, n, out);
    std::size_t i = 0;
    std::uint32_t bad = 0;
    for (; i + 32 <= n; i += 32) {
        const Decoded d = decodeBlock(in + i);
        if (d.bad != 0) {
            bad = d.bad;
            break;
        }
        store24(out + i / 4 * 3, d.v);
    }
    if (bad == 0) {
        if (i == n)
            return n;
        // Fewer than 32 characters left: the block that ends at the end tests them, and the
        // end stops the run like a bad character.
        const std::size_t shift = i - (n - 32);
        bad = decodeBlock(in + n - 32).bad >> shift | 1u << (32 - shift);
    }
    const std::size_t good = static_cast<std::size_t>(__builtin_ctz(bad)) / 4 * 4;
    if (good == 0)
        return i;
    if (i + good < 32)
        return i + decodeRunPortable(in + i, good, out + i / 4 * 3);
    // The block that ends with the last good group, overlapping groups already written.
    const std::size_t start = i + good - 32;
    store24(out + start / 4 * 3, decodeBlock(in + start).v);
    return i + good;
}

BASE64_AVX2 std::size_t decodeLines(const char* in, std::size_t n, std::uint8_t* out) {
    std::size_t lines = 0;
    for (; n >= kLineChars + 2; n -= kLineChars + 2, ++lines) {
        if (in[kLineChars] != '\r' || in[kLineChars + 1] != '\n')
            break;
        const Decoded a = decodeBlock(in);
        const Decoded b = decodeBlock(in + 32);
        const Decoded c = decodeBlock(in + 44);
        if ((a.bad | b.bad | c.bad) != 0)
            break;
        store24(out, a.v);
        store24(out + 24, b.v);
        store24(out + 33, c.v);
        in += kLineChars + 2;
        out += kLineBytes;
    }
    return lines;
}

BASE64_AVX2 std::size_t narrow(const char16_t* in, std::size_t n, char* out) {
    std::size_t i = 0;
    const __m256i surrogateBits = _mm256_set1_epi16(static_cast<short>(0xF800));
    const __m256i surrogate = _mm256_set1_epi16(static_cast<short>(0xD800));
    const __m256i top = _mm256_set1_epi16(0xFF);
    for (; i + 32 <= n; i += 32) {
        const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + i));
        const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + i + 16));
        const __m256i s =
            _mm256_or_si256(_mm256_cmpeq_epi16(_mm256_and_si256(a, surrogateBits), surrogate),
                            _mm256_cmpeq_epi16(_mm256_and_si256(b, surrogateBits), surrogate));
        if (!_mm256_testz_si256(s, s))
            break;
        const __m256i packed =
            _mm256_packus_epi16(_mm256_min_epu16(a, top), _mm256_min_epu16(b, top));
        store(out + i, _mm256_permute4x64_epi64(packed, 0xD8));
    }
    return i + narrowPortable(in + i, n - i, out + i);
}

BASE64_AVX2 void widen(const char* in, std::size_t n, char16_t* out) {
    std::size_t i = 0;
    for (; i + 16 <= n; i += 16) {
        const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + i));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i), _mm256_cvtepu8_epi16(c));
    }
    widenPortable(in + i, n - i, out + i);
}

} // namespace

bool cpuHasAvx2() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
}

const Kernels kAvx2 = {base64::kernel::avx2, encodeGroups, encodeLines, decodeRun,
                       decodeLines,          narrow,       widen};

} // namespace base64_detail

#endif
