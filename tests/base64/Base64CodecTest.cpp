// SPDX-License-Identifier: GPL-3.0-or-later
#include "Base64.h"

#include "Base64Sizes.h"
#include "ErrorNumber.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes counting(std::size_t n, std::uint8_t start = 0) {
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i)
        b[i] = static_cast<std::uint8_t>(start + i * 7);
    return b;
}

struct TextCase {
    const char* name;
    std::u16string in;
    std::u16string out;
};

TEST(Base64Text, EncodeAndDecodeGiveTheWorkedResults) {
    const TextCase encodes[] = {
        {"one byte pads twice", u"a", u"YQ=="},
        {"two bytes pad once", u"ab", u"YWI="},
        {"three bytes need no pad", u"abc", u"YWJj"},
        {"a phrase", u"hello world", u"aGVsbG8gd29ybGQ="},
        {"e acute is 0xE9 in the code page", u"\u00e9", u"6Q=="},
        {"euro sign is 0x80", u"\u20ac", u"gA=="},
    };
    for (const auto& c : encodes)
        EXPECT_EQ(Base64().Encode(c.in), c.out) << c.name;

    const TextCase decodes[] = {
        {"full group", u"YWJj", u"abc"},
        {"padded", u"YWI=", u"ab"},
        {"unpadded", u"YWI", u"ab"},
        {"double pad", u"YQ==", u"a"},
        {"two characters", u"YW", u"a"},
        {"lone fifth character dropped", u"YWJjZ", u"abc"},
        {"CR LF between lines", u"YWJj\r\nZGVm", u"abcdef"},
        {"CR LF removed before the padding", u"YQ==\r\n", u"a"},
        {"CR LF inside the padding", u"YQ=\r\n=", u"a"},
    };
    for (const auto& c : decodes)
        EXPECT_EQ(Base64().Decode(c.in), c.out) << c.name;
}

TEST(Base64Text, OutOfAlphabetCharactersEnterAsMinusOne) {
    const struct {
        const char* name;
        std::u16string in;
        Bytes out;
    } cases[] = {
        {"third '=' stays", u"YQ===", {0x60, 0xFF}},
        {"inner padding stays", u"YQ==YQ==", {0x60, 0xFF, 0xBF, 0x61}},
        {"LF alone is a character", u"YWJj\nYWJj", {0x61, 0x62, 0x63, 0xFD, 0x85, 0x89}},
        {"CR alone is a character", u"YWJj\rYWJj", {0x61, 0x62, 0x63, 0xFD, 0x85, 0x89}},
        {"blank", u"YW Jj", {0x61, 0x5F, 0xC9}},
        {"character of the code page", u"YW\u00e9Jj", {0x61, 0x5F, 0xC9}},
        {"surrogate pair is one character", u"YW\U0001F600Jj", {0x61, 0x5F, 0xC9}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Base64().DecodeArr(c.in).data, c.out) << c.name;
}

TEST(Base64Text, HighBytesFollowWindows1252) {
    const struct {
        std::uint8_t byte;
        char16_t ch;
    } known[] = {{0x80, u'\u20ac'}, {0x82, u'\u201a'}, {0x8A, u'\u0160'}, {0x99, u'\u2122'},
                 {0x9F, u'\u0178'}, {0x81, 0x81},      {0x8D, 0x8D},      {0x8F, 0x8F},
                 {0x90, 0x90},      {0x9D, 0x9D},      {0xA0, 0xA0},      {0xFF, 0xFF}};
    Base64 codec;
    for (const auto& k : known) {
        const std::u16string encoded = codec.EncodeArr(ByteArray({k.byte}));
        EXPECT_EQ(codec.Decode(encoded), std::u16string(1, k.ch)) << int(k.byte);
        EXPECT_EQ(codec.Encode(std::u16string(1, k.ch)), encoded) << int(k.byte);
    }

    Bytes all(256);
    for (int b = 0; b < 256; ++b)
        all[b] = static_cast<std::uint8_t>(b);
    const std::u16string text = codec.Decode(codec.EncodeArr(ByteArray(all)));
    ASSERT_EQ(text.size(), 256u);
    EXPECT_EQ(codec.DecodeArr(codec.Encode(text)).data, all);
}

TEST(Base64Text, CharactersTheCodePageLacksBecomeQuestionMarks) {
    const TextCase cases[] = {
        {"outside the code page", u"\u0100", u"?"},
        {"a surrogate pair is one character", u"a\U0001F600b", u"a?b"},
        {"lone high surrogate", u"a\xD800", u"a?"},
        {"lone low surrogate", u"\xDC00z", u"?z"},
        {"C1 control the code page fills", u"\u0080", u"?"},
    };
    Base64 codec;
    for (const auto& c : cases)
        EXPECT_EQ(codec.Decode(codec.Encode(c.in)), c.out) << c.name;
}

TEST(Base64Lines, BreakEvery76CharactersNeverAtTheEnd) {
    const struct {
        std::size_t bytes;
        std::size_t chars;
    } cases[] = {{1, 4}, {56, 76}, {57, 76}, {58, 82}, {114, 154}, {115, 160}, {171, 232}};
    Base64 codec;
    for (const auto& c : cases) {
        const Bytes in = counting(c.bytes);
        const std::u16string out = codec.EncodeArr(ByteArray(in));
        EXPECT_EQ(out.size(), c.chars) << c.bytes;
        std::size_t start = 0;
        for (std::size_t br = out.find(u"\r\n"); br != std::u16string::npos;
             br = out.find(u"\r\n", start)) {
            EXPECT_EQ(br - start, 76u) << c.bytes;
            start = br + 2;
        }
        EXPECT_GT(out.size() - start, 0u) << c.bytes;
        EXPECT_LE(out.size() - start, 76u) << c.bytes;
        EXPECT_EQ(codec.DecodeArr(out).data, in) << c.bytes;
    }
}

TEST(Base64Arrays, EveryLengthAndOffsetRoundTrips) {
    Base64 codec;
    const Bytes source = counting(300, 0x80);
    for (std::size_t off = 0; off < 3; ++off)
        for (std::size_t len = 1; len + off <= 240; ++len) {
            const Bytes in(source.begin() + off, source.begin() + off + len);
            const std::u16string text = codec.EncodeArr(ByteArray(in));
            ASSERT_EQ(codec.DecodeArr(text).data, in) << "offset " << off << " length " << len;
        }
}

TEST(Base64Arrays, OnlyIndexZeroToTheUpperBoundIsRead) {
    Base64 codec;
    EXPECT_EQ(codec.EncodeArr(ByteArray({0x61, 0x62, 0x63})), u"YWJj");
    EXPECT_EQ(codec.EncodeArr(ByteArray({0xEE, 0xEE, 0x61, 0x62, 0x63}, -2)), u"YWJj");
    const ByteArray decoded = codec.DecodeArr(u"YWJj");
    EXPECT_EQ(decoded.lowerBound, 0);
    EXPECT_EQ(decoded.data, (Bytes{0x61, 0x62, 0x63}));
    EXPECT_EQ(codec.DecodeArr(u"YWI").data, (Bytes{0x61, 0x62}));
}

TEST(Base64Errors, NothingToCodeIsError9) {
    Base64 codec;
    EXPECT_EQ(errorOf([&] { codec.Encode(u""); }), 9);
    const std::u16string shortInputs[] = {u"", u"Y", u"=", u"==", u"Y=", u"\r\n", u"Y\r\n=="};
    for (const auto& in : shortInputs) {
        EXPECT_EQ(errorOf([&] { codec.Decode(in); }), 9);
        EXPECT_EQ(errorOf([&] { codec.DecodeArr(in); }), 9);
    }
    EXPECT_EQ(errorOf([&] { codec.EncodeArr(ByteArray()); }), 9);
    EXPECT_EQ(errorOf([&] { codec.EncodeArr(ByteArray({}, -1)); }), 9);
    EXPECT_EQ(errorOf([&] { codec.EncodeArr(ByteArray({1, 2, 3}, 1)); }), 9);
    EXPECT_EQ(errorOf([&] { codec.EncodeArr(ByteArray({1, 2, 3}, -5)); }), 9);
    EXPECT_EQ(codec.LastCount(), 0.0);
}

TEST(Base64Errors, OutputsBeyond32BitSizesAreError6) {
    using namespace base64_detail;
    EXPECT_EQ(encodedSize(57), 76);
    EXPECT_EQ(encodedSize(58), 82);
    // 27,531,841 full lines of 76 characters and CR LF, then a last line of 48 characters.
    EXPECT_EQ(encodedSize(1'569'314'973), 2'147'483'646);
    EXPECT_EQ(errorOf([] { encodedSize(1'569'314'974); }), 6);
    EXPECT_EQ(errorOf([] { encodedSize(std::int64_t(1) << 40); }), 6);
    EXPECT_EQ(errorOf([] { encodedSize(0); }), 9);

    EXPECT_EQ(decodedSize(2'147'483'647), 1'610'612'735);
    EXPECT_EQ(errorOf([] { decodedSize(2'147'483'648); }), 6);
    EXPECT_EQ(errorOf([] { decodedSize(1); }), 9);
    EXPECT_EQ(decodedSize(2), 1);
}

} // namespace
