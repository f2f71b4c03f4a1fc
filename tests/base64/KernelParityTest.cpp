// SPDX-License-Identifier: GPL-3.0-or-later
#include "Base64.h"

#include "scalar/Reference.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

// Every code path the processor has against the reference cores: the same text, the same
// bytes, the same errors, whatever the input and however it is cut into pieces.

namespace ref = base64_detail::reference;

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes asBytes(const std::vector<std::byte>& b) {
    return Bytes(reinterpret_cast<const std::uint8_t*>(b.data()),
                 reinterpret_cast<const std::uint8_t*>(b.data()) + b.size());
}

Bytes randomBytes(std::mt19937& rng, std::size_t n) {
    Bytes b(n);
    for (auto& x : b)
        x = static_cast<std::uint8_t>(rng());
    return b;
}

// Encoded text with characters the forgiving decoder has to treat specially, at random places.
template <typename Char>
std::basic_string<Char> damaged(std::mt19937& rng, const std::string& text,
                                const std::vector<std::basic_string<Char>>& odd, int count) {
    std::basic_string<Char> t(text.begin(), text.end());
    for (int i = 0; i < count; ++i) {
        const std::size_t at = t.empty() ? 0 : rng() % (t.size() + 1);
        t.insert(at, odd[rng() % odd.size()]);
    }
    return t;
}

const std::vector<std::string> kOdd8 = {"=", "\r", "\n", "\r\n", " ",      "\x80", "\xFF",
                                        "-", "_",  "==", "\r\r", "\n\r\n", ".",    "\0"};
const std::vector<std::u16string> kOdd16 = {u"=",      u"\r",     u"\n",         u"\r\n",
                                            u"\xD83D", u"\xDE00", u"\xD83D\r\n", u"\U0001F600",
                                            u"\u00e9", u"\u20ac", u"==",         u"\x7F"};

class Kernel : public ::testing::TestWithParam<base64::kernel> {
protected:
    void SetUp() override {
        saved = base64::active_kernel();
        if (!base64::select_kernel(GetParam()))
            GTEST_SKIP() << base64::kernel_name(GetParam()) << " not on this processor";
    }
    void TearDown() override { base64::select_kernel(saved); }

    base64::kernel saved{};
    std::mt19937 rng{20260601};
};

TEST_P(Kernel, EncodesEveryLengthAndOffsetAsTheReference) {
    const Bytes source = randomBytes(rng, 4096 + 8);
    std::vector<std::size_t> lengths;
    for (std::size_t n = 0; n <= 400; ++n)
        lengths.push_back(n);
    for (std::size_t n : {1024, 2047, 4096})
        lengths.push_back(n);
    for (const base64::lines l : {base64::lines::mime, base64::lines::none})
        for (std::size_t off = 0; off < 4; ++off)
            for (const std::size_t n : lengths) {
                const std::uint8_t* in = source.data() + off;
                const std::string want = ref::encode(in, n, l);
                const auto bytes = std::span(reinterpret_cast<const std::byte*>(in), n);
                ASSERT_EQ(base64::encode(bytes, l), want) << n << " at " << off;
                std::string into(base64::encoded_size(n, l) + 3, '#');
                ASSERT_EQ(base64::encode_into(bytes, into, l), want.size()) << n;
                ASSERT_EQ(into, want + "###") << n << " written past the end";
            }
}

TEST_P(Kernel, DecodesEveryTextAsTheReference) {
    for (int round = 0; round < 1500; ++round) {
        const std::size_t n = round < 300 ? round : rng() % 3000;
        const Bytes data = randomBytes(rng, n);
        const std::string text =
            ref::encode(data.data(), n, round % 2 ? base64::lines::none : base64::lines::mime);
        const int damage = round % 3 == 0 ? 0 : int(rng() % 6);
        const std::string t8 = damaged(rng, text, kOdd8, damage);
        const Bytes want8 = ref::decode(t8);
        ASSERT_EQ(asBytes(base64::decode(t8)), want8) << round;
        ASSERT_EQ(base64::decoded_size(t8), want8.size()) << round;
        std::vector<std::byte> exact(want8.size());
        ASSERT_EQ(base64::decode_into(t8, exact).count, want8.size()) << round;
        ASSERT_EQ(asBytes(exact), want8) << round;

        const std::u16string t16 = damaged(rng, text, kOdd16, damage);
        const Bytes want16 = ref::decode(std::u16string_view(t16));
        ASSERT_EQ(asBytes(base64::decode(t16)), want16) << round;
        ASSERT_EQ(base64::decoded_size(t16), want16.size()) << round;
        if (!want16.empty()) {
            ASSERT_EQ(Base64().DecodeArr(t16).data, want16) << round;
        }
    }
}

TEST_P(Kernel, StrictModeAgreesWithTheReferenceOnEveryText) {
    for (int round = 0; round < 1500; ++round) {
        const std::size_t n = rng() % 400;
        const Bytes data = randomBytes(rng, n);
        std::string text = ref::encode(data.data(), n, base64::lines::mime);
        if (round % 4 == 1)
            text += "\r\n";
        const std::string t8 = damaged(rng, text, kOdd8, round % 4 == 0 ? 0 : 1);
        const base64::result want = ref::strictCheck(std::string_view(t8));
        std::vector<std::byte> out(base64::max_decoded_size(t8.size()));
        const base64::result got = base64::decode_into(t8, out, base64::mode::strict);
        ASSERT_EQ(got.error, want.error) << round << ' ' << t8;
        ASSERT_EQ(got.count, want.count) << round << ' ' << t8;
        if (got) {
            out.resize(got.count);
            ASSERT_EQ(asBytes(out), ref::decode(t8)) << round;
        }

        const std::u16string t16 = damaged(rng, text, kOdd16, round % 4 == 0 ? 0 : 1);
        const base64::result want16 = ref::strictCheck(std::u16string_view(t16));
        const base64::result got16 = base64::decode_into(t16, out, base64::mode::strict);
        ASSERT_EQ(got16.error, want16.error) << round;
        ASSERT_EQ(got16.count, want16.count) << round;
    }
}

// Pieces of random length, down to one byte or character, give what one piece gives.
TEST_P(Kernel, PiecesGiveWhatTheWholeGives) {
    for (int round = 0; round < 400; ++round) {
        const std::size_t n = rng() % 2000;
        const Bytes data = randomBytes(rng, n);
        const base64::lines l = round % 2 ? base64::lines::none : base64::lines::mime;
        base64::encoder enc(l);
        std::string text;
        for (std::size_t at = 0; at < n;) {
            const std::size_t take =
                std::min<std::size_t>(n - at, 1 + rng() % (round % 5 ? 200 : 4));
            std::string out(base64::encoder::max_update_size(take), '\0');
            out.resize(enc.update(
                std::span(reinterpret_cast<const std::byte*>(data.data() + at), take), out));
            text += out;
            at += take;
        }
        std::string last(base64::encoder::max_finish_size, '\0');
        last.resize(enc.finish(last));
        text += last;
        ASSERT_EQ(text, ref::encode(data.data(), n, l)) << round;

        const base64::mode m = round % 3 ? base64::mode::forgiving : base64::mode::strict;
        const std::u16string t16 = damaged(rng, text, kOdd16, round % 4);
        base64::decoder dec(m);
        Bytes got;
        base64::result r;
        for (std::size_t at = 0; r && at < t16.size();) {
            const std::size_t take =
                std::min<std::size_t>(t16.size() - at, 1 + rng() % (round % 5 ? 300 : 3));
            std::vector<std::byte> out(base64::decoder::max_update_size(take));
            r = dec.update(std::u16string_view(t16).substr(at, take), out);
            out.resize(r ? r.count : 0);
            const Bytes piece = asBytes(out);
            got.insert(got.end(), piece.begin(), piece.end());
            at += take;
        }
        if (r) {
            std::vector<std::byte> out(base64::decoder::max_finish_size);
            r = dec.finish(out);
            out.resize(r ? r.count : 0);
            const Bytes piece = asBytes(out);
            got.insert(got.end(), piece.begin(), piece.end());
        }
        if (m == base64::mode::forgiving) {
            ASSERT_TRUE(r);
            ASSERT_EQ(got, ref::decode(std::u16string_view(t16))) << round;
        } else {
            const base64::result want = ref::strictCheck(std::u16string_view(t16));
            ASSERT_EQ(r.error, want.error) << round;
            ASSERT_EQ(r ? got.size() : r.count, want.count) << round;
        }
    }
}

TEST_P(Kernel, LargeTextsRoundTrip) {
    const Bytes data = randomBytes(rng, (1 << 20) + 7);
    Base64 codec;
    const std::u16string text = codec.EncodeArr(ByteArray(data));
    EXPECT_EQ(std::string(text.begin(), text.end()),
              ref::encode(data.data(), data.size(), base64::lines::mime));
    EXPECT_EQ(codec.DecodeArr(text).data, data);
    EXPECT_EQ(asBytes(base64::decode(std::string(text.begin(), text.end()), base64::mode::strict)),
              data);
}

std::string nameOf(const ::testing::TestParamInfo<base64::kernel>& info) {
    std::string name = base64::kernel_name(info.param);
    std::erase_if(name, [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); });
    return name;
}

INSTANTIATE_TEST_SUITE_P(EveryPath, Kernel,
                         ::testing::Values(base64::kernel::scalar, base64::kernel::portable,
                                           base64::kernel::avx2, base64::kernel::avx512_vbmi),
                         nameOf);

} // namespace
