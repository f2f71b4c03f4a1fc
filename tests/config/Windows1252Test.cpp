// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Windows1252.h"

#include "QtPrint.h"

#include <gtest/gtest.h>

namespace {

TEST(Windows1252, EveryByteSurvivesDecodeAndEncode) {
    QByteArray all(256, '\0');
    for (int b = 0; b < 256; ++b)
        all[b] = static_cast<char>(b);
    const QString text = FromWindows1252(all);
    EXPECT_EQ(text[0x80], QChar(0x20AC));
    EXPECT_EQ(text[0x81], QChar(0x0081)); // undefined in the code page: kept as a control
    EXPECT_EQ(text[0xE9], QChar(0x00E9));
    EXPECT_EQ(ToWindows1252(text), all);
    EXPECT_TRUE(FirstCharacterNotInWindows1252(text).isEmpty());
}

struct LackCase {
    QString text;
    QByteArray bytes;
    QString first; // the first character the code page lacks
};

class Windows1252LackTest : public testing::TestWithParam<LackCase> {};

TEST_P(Windows1252LackTest, QuestionMarkOnceAndNamed) {
    EXPECT_EQ(ToWindows1252(GetParam().text), GetParam().bytes);
    EXPECT_EQ(FirstCharacterNotInWindows1252(GetParam().text), GetParam().first);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, Windows1252LackTest,
    testing::Values(LackCase{QStringLiteral("Zło→"), "Z?o?", QStringLiteral("ł")},
                    LackCase{QStringLiteral("a\U0001F600b"), "a?b", QStringLiteral("\U0001F600")},
                    LackCase{QStringLiteral("a") + QChar(0xD83D), "a?", QString(QChar(0xD83D))},
                    LackCase{QStringLiteral("“€–”"), "\x93\x80\x96\x94", QString()}));

} // namespace
