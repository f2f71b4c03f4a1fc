// SPDX-License-Identifier: MIT
// The AVX-512 VBMI kernel set: 48 bytes to 64 characters and back a step, by byte permutes.
#include "Kernels.h"
#include "scalar/Reference.h"

// As the AVX2 file: only the marked functions use AVX-512, and they run only where the
// processor has the byte permutes of VBMI.
#if defined(__x86_64__)

// GCC 12 takes the undefined start values inside its own AVX-512 intrinsics for unset
// variables (its bug 105593).
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <immintrin.h>

#define BASE64_AVX512 __attribute__((target("avx512f,avx512bw,avx512vbmi")))

namespace base64_detail {

namespace {

constexpr __mmask64 k48 = (__mmask64(1) << 48) - 1;

constexpr __mmask64 firstBits(std::size_t n) {
    return n >= 64 ? ~__mmask64(0) : (__mmask64(1) << n) - 1;
}

// The tables of the byte permutes, built from the scalar maps.
struct alignas(64) Tables {
    // The value of each code below 128, or 0x80 for one outside the alphabet.
    std::uint8_t values[128] = {};
    std::uint8_t alphabet[64] = {};
    // Each group b0 b1 b2 as the 32-bit word of bytes b1 b0 b2 b1, where its 6-bit fields
    // start at bits 10, 4, 22 and 16.
    std::uint8_t spread[64] = {};
    // The three bytes of each decoded 32-bit word, high first.
    std::uint8_t gather[64] = {};

    constexpr Tables() {
        for (int c = 0; c < 128; ++c) {
            const std::int32_t v = reference::charToValue(std::uint8_t(c));
            values[c] = v < 0 ? 0x80 : std::uint8_t(v);
        }
        constexpr int spreadOrder[4] = {1, 0, 2, 1};
        constexpr int gatherOrder[3] = {2, 1, 0};
        for (int j = 0; j < 64; ++j) {
            alphabet[j] = reference::valueToChar(std::uint32_t(j));
            spread[j] = std::uint8_t(j / 4 * 3 + spreadOrder[j % 4]);
            gather[j] = j < 48 ? std::uint8_t(j / 3 * 4 + gatherOrder[j % 3]) : 0;
        }
    }
};

constexpr Tables kTables;

BASE64_AVX512 inline __m512i load(const std::uint8_t* table) {
    return _mm512_load_si512(table);
}

// Sixteen groups of three bytes, the first 48 bytes of raw, to 64 characters.
BASE64_AVX512 inline __m512i encodeRaw(__m512i raw) {
    const __m512i words = _mm512_permutexvar_epi8(load(kTables.spread), raw);
    // Multishift takes each field to a byte of its own; the alphabet permute then looks at the
    // low six bits only.
    const __m512i fields =
        _mm512_multishift_epi64_epi8(_mm512_set1_epi64(0x3036242a1016040a), words);
    return _mm512_permutexvar_epi8(fields, load(kTables.alphabet));
}

BASE64_AVX512 inline __m512i encodeBlock(const std::uint8_t* in) {
    return encodeRaw(_mm512_maskz_loadu_epi8(k48, in));
}

BASE64_AVX512 void encodeGroups(const std::uint8_t* in, std::size_t groups, char* out) {
    std::size_t g = 0;
    // Whole loads while 64 bytes are there to read: a masked load misses the prefetch and is
    // slow on memory not yet in the cache.
    for (; g + 22 <= groups; g += 16)
        _mm512_storeu_si512(out + 4 * g, encodeRaw(_mm512_loadu_si512(in + 3 * g)));
    for (; g + 16 <= groups; g += 16)
        _mm512_storeu_si512(out + 4 * g, encodeBlock(in + 3 * g));
    if (g == groups)
        return;
    const std::size_t rest = groups - g;
    const __m512i raw = _mm512_maskz_loadu_epi8(firstBits(rest * 3), in + 3 * g);
    _mm512_mask_storeu_epi8(out + 4 * g, firstBits(rest * 4), encodeRaw(raw));
}

BASE64_AVX512 void encodeLines(const std::uint8_t* in, std::size_t lines, char* out) {
    // Characters 12..75 again from groups 3..18: two whole stores. Every line but the last has
    // the next line to read ahead into.
    for (std::size_t l = 0; l < lines; ++l, in += kLineBytes, out += kLineChars + 2) {
        const bool last = l + 1 == lines;
        _mm512_storeu_si512(out, last ? encodeBlock(in) : encodeRaw(_mm512_loadu_si512(in)));
        _mm512_storeu_si512(out + 12,
                            last ? encodeBlock(in + 9) : encodeRaw(_mm512_loadu_si512(in + 9)));
        out[kLineChars] = '\r';
        out[kLineChars + 1] = '\n';
    }
}

struct Decoded {
    __m512i v;
    std::uint64_t bad;
};

// 64 characters to 48 bytes, and a bit for each character outside the alphabet.
BASE64_AVX512 inline Decoded decodeAt(const char* in) {
    const __m512i c = _mm512_loadu_si512(in);
    const __m512i values =
        _mm512_permutex2var_epi8(load(kTables.values), c, load(kTables.values + 64));
    // Codes of 128 and more carry their own top bit.
    const std::uint64_t bad = _mm512_movepi8_mask(_mm512_or_si512(values, c));
    const __m512i pairs = _mm512_maddubs_epi16(values, _mm512_set1_epi32(0x01400140));
    const __m512i words = _mm512_madd_epi16(pairs, _mm512_set1_epi32(0x00011000));
    return {_mm512_permutexvar_epi8(load(kTables.gather), words), bad};
}

// Two whole stores, where a masked one is slow on memory not yet in the cache.
BASE64_AVX512 inline void store48(std::uint8_t* out, __m512i v) {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out), _mm512_castsi512_si256(v));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 32), _mm512_extracti32x4_epi32(v, 2));
}

BASE64_AVX512 std::size_t decodeRun(const char* in, std::size_t n, std::uint8_t* out) {
    if (n < 64)
        return decodeRunPortable(in, n, out);
    std::size_t i = 0;
    std::uint64_t bad = 0;
    for (; i + 64 <= n; i += 64) {
        const Decoded d = decodeAt(in + i);
        if (d.bad != 0) {
            bad = d.bad;
            break;
        }
        store48(out + i / 4 * 3, d.v);
    }
    if (bad == 0) {
        if (i == n)
            return n;
        const std::size_t shift = i - (n - 64);
        bad = decodeAt(in + n - 64).bad >> shift | std::uint64_t(1) << (64 - shift);
    }
    const std::size_t good = static_cast<std::size_t>(__builtin_ctzll(bad)) / 4 * 4;
    if (good == 0)
        return i;
    if (i + good < 64)
        return i + decodeRunPortable(in + i, good, out + i / 4 * 3);
    const std::size_t start = i + good - 64;
    store48(out + start / 4 * 3, decodeAt(in + start).v);
    return i + good;
}

BASE64_AVX512 std::size_t decodeLines(const char* in, std::size_t n, std::uint8_t* out) {
    std::size_t lines = 0;
    for (; n >= kLineChars + 2; n -= kLineChars + 2, ++lines) {
        if (in[kLineChars] != '\r' || in[kLineChars + 1] != '\n')
            break;
        const Decoded a = decodeAt(in);
        const Decoded b = decodeAt(in + 12);
        if ((a.bad | b.bad) != 0)
            break;
        store48(out, a.v);
        store48(out + 9, b.v);
        in += kLineChars + 2;
        out += kLineBytes;
    }
    return lines;
}

BASE64_AVX512 std::size_t narrow(const char16_t* in, std::size_t n, char* out) {
    std::size_t i = 0;
    const __m512i surrogateBits = _mm512_set1_epi16(static_cast<short>(0xF800));
    const __m512i surrogate = _mm512_set1_epi16(static_cast<short>(0xD800));
    const __m512i top = _mm512_set1_epi16(0xFF);
    for (; i + 32 <= n; i += 32) {
        const __m512i c = _mm512_loadu_si512(in + i);
        if (_mm512_cmpeq_epi16_mask(_mm512_and_si512(c, surrogateBits), surrogate) != 0)
            break;
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i),
                            _mm512_cvtepi16_epi8(_mm512_min_epu16(c, top)));
    }
    return i + narrowPortable(in + i, n - i, out + i);
}

BASE64_AVX512 void widen(const char* in, std::size_t n, char16_t* out) {
    std::size_t i = 0;
    for (; i + 32 <= n; i += 32) {
        const __m256i c = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(in + i));
        _mm512_storeu_si512(out + i, _mm512_cvtepu8_epi16(c));
    }
    widenPortable(in + i, n - i, out + i);
}

} // namespace

bool cpuHasAvx512Vbmi() {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
           __builtin_cpu_supports("avx512vbmi");
}

const Kernels kAvx512 = {
    base64::kernel::avx512_vbmi, encodeGroups, encodeLines, decodeRun, decodeLines, narrow, widen};

} // namespace base64_detail

#endif
