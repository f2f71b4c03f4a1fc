// SPDX-License-Identifier: GPL-3.0-or-later
#include "Base64.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using base64::error_code;

std::string text(const std::vector<std::byte>& b) {
    return std::string(reinterpret_cast<const char*>(b.data()), b.size());
}

TEST(Base64Bytes, SizesMatchWhatIsWritten) {
    for (const std::size_t n : {0, 1, 2, 3, 56, 57, 58, 114, 115, 171, 1000}) {
        const std::string data(n, '\xA5');
        EXPECT_EQ(base64::encoded_size(n), base64::encode(data).size()) << n;
        EXPECT_EQ(base64::encoded_size(n, base64::lines::none),
                  base64::encode(data, base64::lines::none).size())
            << n;
        const std::string encoded = base64::encode(data);
        EXPECT_EQ(base64::decoded_size(encoded), n) << n;
        EXPECT_GE(base64::max_decoded_size(encoded.size()), n) << n;
    }
    EXPECT_EQ(base64::encode("hello world", base64::lines::none), "aGVsbG8gd29ybGQ=");
    EXPECT_EQ(base64::encode(std::string(58, 'a')).substr(76, 2), "\r\n");
}

TEST(Base64Bytes, ForgivingDecodeIsTheClassDecodeOfTheSameText) {
    const char* texts[] = {"YQ===",    "YQ==YQ==", "YWJj\nYWJj", "YW Jj", "YWJjZ",
                           "YQ==\r\n", "YQ=\r\n=", "\r\r\n\n",   "Y",     ""};
    for (const char* t : texts) {
        const std::string s = t;
        const std::vector<std::uint8_t> bytes = [&] {
            try {
                return Base64().DecodeArr(std::u16string(s.begin(), s.end())).data;
            } catch (const Base64Error&) {
                return std::vector<std::uint8_t>{}; // nothing to decode
            }
        }();
        EXPECT_EQ(text(base64::decode(s)), std::string(bytes.begin(), bytes.end())) << s;
    }
}

TEST(Base64Bytes, StrictModeNamesTheFirstBadCharacter) {
    const struct {
        const char* in;
        error_code error;
        std::size_t count; // bytes, or the position of the error
    } cases[] = {
        {"YWJj", error_code::success, 3},
        {"YWJjYQ==", error_code::success, 4},
        {"YWJj\r\nYWI=\r\n", error_code::success, 5},
        {"", error_code::success, 0},
        {"YWI", error_code::bad_padding, 3},
        {"YQ=", error_code::bad_padding, 3},
        {"YQ===", error_code::bad_padding, 4},
        {"YQ==YQ==", error_code::bad_padding, 4},
        {"Y===", error_code::bad_padding, 1},
        {"YWJj=", error_code::bad_padding, 4},
        {"YR==", error_code::bad_padding, 2},
        {"YWK=", error_code::bad_padding, 3},
        {"YW Jj", error_code::invalid_character, 2},
        {"YWJ-", error_code::invalid_character, 3},
        {"YW\xC3\xA9", error_code::invalid_character, 2},
        {"YWJj\nYWJj", error_code::bad_line_break, 4},
        {"YWJj\rYWJj", error_code::bad_line_break, 5},
        {"YWJj\r", error_code::bad_line_break, 5},
        {"\r\nYWJj", error_code::bad_line_break, 0},
        {"YWJj\r\n\r\nYWJj", error_code::bad_line_break, 6},
    };
    for (const auto& c : cases) {
        std::vector<std::byte> out(16);
        const base64::result r = base64::decode_into(c.in, out, base64::mode::strict);
        EXPECT_EQ(r.error, c.error) << c.in;
        EXPECT_EQ(r.count, c.count) << c.in;
        if (c.error == error_code::success)
            continue;
        try {
            base64::decode(c.in, base64::mode::strict);
            ADD_FAILURE() << "no exception for " << c.in;
        } catch (const base64::decode_error& e) {
            EXPECT_EQ(e.code(), c.error) << c.in;
            EXPECT_EQ(e.position(), c.count) << c.in;
        }
    }
    std::vector<std::byte> out(8);
    EXPECT_EQ(
        base64::decode_into(std::u16string_view(u"YW\u00e9Jj"), out, base64::mode::strict).count,
        2u);
}

TEST(Base64Bytes, BuffersTooSmallAreRefusedUntouched) {
    std::string chars(7, '#');
    EXPECT_THROW(base64::encode_into("abcdef", chars), std::length_error);
    EXPECT_EQ(chars, "#######");

    const std::string encoded = "YWJj\r\nZGVm";
    std::vector<std::byte> exact(base64::decoded_size(encoded));
    EXPECT_EQ(base64::decode_into(encoded, exact).count, 6u);
    EXPECT_EQ(text(exact), "abcdef");

    std::vector<std::byte> shorter(5, std::byte{'#'});
    for (const base64::mode m : {base64::mode::forgiving, base64::mode::strict}) {
        const base64::result r = base64::decode_into(encoded, shorter, m);
        EXPECT_EQ(r.error, error_code::output_too_small);
        EXPECT_EQ(r.count, 6u);
        EXPECT_EQ(text(shorter), "#####");
    }
    // An invalid text says so whatever the buffer.
    EXPECT_EQ(base64::decode_into("YW\nJj", shorter, base64::mode::strict).error,
              error_code::bad_line_break);

    base64::encoder enc;
    EXPECT_THROW(enc.update("abc", std::span<char>()), std::length_error);
    base64::decoder dec;
    EXPECT_EQ(dec.update("YWJj", std::span<std::byte>()).error, error_code::output_too_small);
}

TEST(Base64Bytes, DecoderKeepsItsErrorAndStartsOverAfterFinish) {
    std::vector<std::byte> out(64);
    base64::decoder strict(base64::mode::strict);
    EXPECT_TRUE(strict.update("YWJj", out));
    const base64::result bad = strict.update("YW*j", out);
    EXPECT_EQ(bad.error, error_code::invalid_character);
    EXPECT_EQ(bad.count, 6u);
    EXPECT_EQ(strict.update("YWJj", out).error, error_code::invalid_character);
    EXPECT_EQ(strict.finish(out).count, 6u);

    base64::decoder forgiving;
    for (int round = 0; round < 2; ++round) {
        std::size_t n = forgiving.update("YW", out).count;
        n += forgiving.update("I=", std::span(out).subspan(n)).count;
        const base64::result end = forgiving.finish(std::span(out).subspan(n));
        ASSERT_TRUE(end);
        EXPECT_EQ(text(std::vector(out.begin(), out.begin() + std::ptrdiff_t(n + end.count))),
                  "ab");
    }
}

TEST(Base64Bytes, EveryPathCanBeChosenAndNamed) {
    const base64::kernel saved = base64::active_kernel();
    EXPECT_TRUE(base64::supported(saved));
    EXPECT_TRUE(base64::select_kernel(base64::kernel::scalar));
    EXPECT_EQ(base64::active_kernel(), base64::kernel::scalar);
    EXPECT_EQ(base64::encode("abc"), "YWJj");
    EXPECT_TRUE(base64::select_kernel(saved));
    EXPECT_STREQ(base64::kernel_name(base64::kernel::avx512_vbmi), "AVX-512 VBMI");
}

} // namespace
