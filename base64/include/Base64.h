// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#if defined(BASE64_STATIC)
#define BASE64_API
#elif defined(BASE64_BUILDING)
#define BASE64_API __attribute__((visibility("default")))
#else
#define BASE64_API
#endif

// Base64 of RFC 4648 (standard alphabet, "=" padding) over bytes, with the MIME lines of
// RFC 2045 (76 characters joined by CR LF) or without lines.
namespace base64 {

enum class lines : std::uint8_t {
    mime, // lines of 76 characters joined by CR LF; the text never ends in CR LF
    none, // one line
};

enum class mode : std::uint8_t {
    // Never fails. CR LF pairs are removed, then up to two "=" at the end; every other
    // character outside the alphabet counts as the value -1 in its group of four, and a lone
    // last character is dropped. Gives exactly the bytes of Base64::DecodeArr.
    forgiving,
    // Accepts only what encode() writes, with any line lengths: the alphabet, CR LF between
    // non-empty lines (one may end the text), and the padding that completes the last group,
    // whose unused bits must be zero.
    strict,
};

enum class error_code : std::uint8_t {
    success,
    invalid_character, // outside the alphabet, "=", CR and LF
    bad_padding,       // "=" where none can stand, or a last group left incomplete
    bad_line_break,    // CR or LF not in a CR LF pair, or an empty line
    output_too_small,  // the caller's buffer cannot hold the bytes
};

struct result {
    error_code error = error_code::success;
    // success: bytes written. A text error: position of the first character (in characters
    // from the start of the whole text) that no valid text has there; the text's length when
    // the text ends too early. output_too_small: the bytes the buffer must hold.
    std::size_t count = 0;

    constexpr explicit operator bool() const noexcept { return error == error_code::success; }
};

// What decode() in strict mode throws.
class BASE64_API decode_error : public std::runtime_error {
public:
    decode_error(error_code code, std::size_t position);
    error_code code() const noexcept { return code_; }
    std::size_t position() const noexcept { return position_; }

private:
    error_code code_;
    std::size_t position_;
};

// Characters encode() writes for n bytes.
constexpr std::size_t encoded_size(std::size_t n, lines l = lines::mime) noexcept {
    const std::size_t chars = (n + 2) / 3 * 4;
    return l == lines::none || chars == 0 ? chars : chars + (chars - 1) / 76 * 2;
}

// Bytes any decoding of a text of n characters writes at most.
constexpr std::size_t max_decoded_size(std::size_t n) noexcept {
    return n / 4 * 3 + (n % 4 == 0 ? 0 : n % 4 - 1);
}

// Bytes decode() writes for a text in forgiving mode; in strict mode for a valid text.
BASE64_API std::size_t decoded_size(std::string_view text) noexcept;
BASE64_API std::size_t decoded_size(std::u16string_view text) noexcept;

BASE64_API std::string encode(std::span<const std::byte> data, lines l = lines::mime);
BASE64_API std::string encode(std::string_view data, lines l = lines::mime);
// Writes encoded_size(data.size(), l) characters to the start of out and returns their count;
// std::length_error, and nothing written, when out is shorter.
BASE64_API std::size_t encode_into(std::span<const std::byte> data, std::span<char> out,
                                   lines l = lines::mime);
BASE64_API std::size_t encode_into(std::string_view data, std::span<char> out,
                                   lines l = lines::mime);

// Characters outside ASCII are outside the alphabet; in forgiving mode a UTF-16 surrogate pair
// counts as one such character, also when CR LF pairs stand between its halves.
BASE64_API std::vector<std::byte> decode(std::string_view text, mode m = mode::forgiving);
BASE64_API std::vector<std::byte> decode(std::u16string_view text, mode m = mode::forgiving);
// Writes the bytes to the start of out. On an error the bytes of out are unspecified; on
// output_too_small nothing is written.
BASE64_API result decode_into(std::string_view text, std::span<std::byte> out,
                              mode m = mode::forgiving) noexcept;
BASE64_API result decode_into(std::u16string_view text, std::span<std::byte> out,
                              mode m = mode::forgiving) noexcept;

// Encodes bytes that arrive in pieces; the text equals encode() of all pieces joined.
class BASE64_API encoder {
public:
    explicit encoder(lines l = lines::mime) noexcept : lines_(l) {}

    // Characters update() writes at most for a piece of n bytes, and finish() at most.
    static constexpr std::size_t max_update_size(std::size_t n) noexcept {
        const std::size_t groups = (n + 2) / 3;
        return groups * 4 + (groups / 19 + 1) * 2;
    }
    static constexpr std::size_t max_finish_size = 6;

    // Encodes what the piece completes and returns the characters written to the start of
    // out; std::length_error, and nothing written, when out is shorter than max_update_size.
    std::size_t update(std::span<const std::byte> piece, std::span<char> out);
    std::size_t update(std::string_view piece, std::span<char> out);
    // Writes the last group, padded, and makes the encoder ready for a new text.
    std::size_t finish(std::span<char> out);

private:
    lines lines_;
    std::uint8_t carried_ = 0;
    std::uint8_t carry_[3] = {};
    std::uint8_t lineGroups_ = 0;
};

// Decodes text that arrives in pieces; the bytes equal decode() of all pieces joined, and a
// position in an error counts from the start of the first piece.
class BASE64_API decoder {
public:
    explicit decoder(mode m = mode::forgiving) noexcept : mode_(m) {}

    // Bytes update() writes at most for a piece of n characters, and finish() at most.
    static constexpr std::size_t max_update_size(std::size_t n) noexcept { return (n + 8) / 4 * 3; }
    static constexpr std::size_t max_finish_size = 6;

    // On success the count is the bytes written to the start of out. After an error every call
    // returns that error. output_too_small when out is shorter than max_update_size.
    result update(std::string_view piece, std::span<std::byte> out) noexcept;
    result update(std::u16string_view piece, std::span<std::byte> out) noexcept;
    // Ends the text; a complete decoder is ready for a new text.
    result finish(std::span<std::byte> out) noexcept;

private:
    friend struct DecoderAccess;
    mode mode_;
    bool pendingCR_ = false;
    bool pendingHigh_ = false;   // a high surrogate waits for its low half
    bool pendingHighCR_ = false; // ... and a CR after it for its LF
    bool lineStart_ = true;
    std::uint8_t held_ = 0;
    std::uint8_t pads_ = 0;
    error_code error_ = error_code::success;
    char group_[6] = {};
    std::size_t consumed_ = 0;
    std::size_t errorAt_ = 0;
};

// The code paths of the codec. Every one gives the same results; the fastest one the processor
// has is chosen when the library loads.
enum class kernel : std::uint8_t { scalar, portable, avx2, avx512_vbmi };

BASE64_API kernel active_kernel() noexcept;
BASE64_API bool supported(kernel k) noexcept;
// Makes k the path of the whole process, for tests and measurements; false, and nothing
// changes, when this processor lacks it.
BASE64_API bool select_kernel(kernel k) noexcept;
BASE64_API const char* kernel_name(kernel k) noexcept;

} // namespace base64

// The class the Harborly program uses, over the functions above.

// A coding failure. number() is 9 when a result cannot be sized (empty input, an array that
// does not start at index 0) and 6 when an input or a result would exceed 2,147,483,647 bytes.
class BASE64_API Base64Error : public std::runtime_error {
public:
    Base64Error(int number, const std::string& what);
    int number() const noexcept { return number_; }

private:
    int number_;
};

// A byte array with its own index bounds: data[0] has the index lowerBound.
struct BASE64_API ByteArray {
    std::int32_t lowerBound = 0;
    std::vector<std::uint8_t> data;

    ByteArray() = default;
    ByteArray(std::vector<std::uint8_t> bytes, std::int32_t lowerBound = 0);
};

// Base64 (RFC 4648 alphabet, "=" padding) in lines of 76 characters joined by CR LF.
// Texts are UTF-16; they become bytes through Windows-1252, where a character that code page
// lacks becomes '?'. Paths are UTF-16 and reach the file system as UTF-8.
// File errors other than those documented per operation arrive as std::system_error.
class BASE64_API Base64 {
public:
    std::u16string EncodeArr(const ByteArray& Datos);
    std::u16string Encode(const std::u16string& strDatos);
    std::u16string EncodeFromFile(const std::u16string& strPath);
    ByteArray DecodeArr(const std::u16string& strDatos);
    std::u16string Decode(const std::u16string& strDatos);
    void DecodeToFile(const std::u16string& strDatos, const std::u16string& strPath);

    // Seconds taken by the last completed coding operation; 0 before any.
    double LastCount() const;

private:
    double lastMilliseconds_ = 0;
};
