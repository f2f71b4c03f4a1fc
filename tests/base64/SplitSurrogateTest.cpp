// SPDX-License-Identifier: GPL-3.0-or-later
#include "Base64.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

// CR LF pairs go before the text becomes code-page bytes, so a pair of surrogates that only a
// line break separates is one character, as if it had never been split.
TEST(Base64SplitText, SurrogatePairSplitByLineBreaksIsOneCharacter) {
    const struct {
        const char* name;
        std::u16string split;
        std::u16string same;
    } cases[] = {
        {"one break", u"YW\xD83D\r\n\xDE00Jj", u"YW\U0001F600Jj"},
        {"two breaks", u"YW\xD83D\r\n\r\n\xDE00Jj", u"YW\U0001F600Jj"},
        {"break before the pair too", u"YW\r\n\xD83D\r\n\xDE00Jj", u"YW\U0001F600Jj"},
        {"the CR LF left by one removal pass stays", u"YW\xD83D\r\r\n\n\xDE00J",
         u"YW\u00e9\u00e9\u00e9\u00e9J"},
        {"low before high is no pair", u"YW\xDE00\r\n\xD83DJj", u"YW\u00e9\u00e9Jj"},
        {"lone CR in between", u"YW\xD83D\r\xDE00J", u"YW\u00e9\r\u00e9J"},
    };
    Base64 codec;
    for (const auto& c : cases) {
        EXPECT_EQ(codec.DecodeArr(c.split).data, codec.DecodeArr(c.same).data) << c.name;
        EXPECT_EQ(codec.Decode(c.split), codec.Decode(c.same)) << c.name;
    }
    EXPECT_EQ(codec.DecodeArr(u"YW\xD83D\r\n\xDE00Jj").data, (Bytes{0x61, 0x5F, 0xC9}));
}

} // namespace
