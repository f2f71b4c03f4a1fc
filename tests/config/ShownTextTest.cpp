// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/ShownText.h"

#include "QtPrint.h"

#include <gtest/gtest.h>

namespace {

struct ShownCase {
    QString text;
    QString shown;
};

class ShownTextTest : public testing::TestWithParam<ShownCase> {};

TEST_P(ShownTextTest, InvisibleCharactersBecomeVisibleEscapes) {
    EXPECT_EQ(ShownText(GetParam().text), GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ShownTextTest,
    testing::Values(
        // A forged line, a CR that rewrites the line, a tab.
        ShownCase{QStringLiteral("game\n8096/TCP -> 10.0.0.9:22"),
                  QStringLiteral("game\\n8096/TCP -> 10.0.0.9:22")},
        ShownCase{QStringLiteral("a\rb\tc"), QStringLiteral("a\\rb\\tc")},
        // Terminal escapes, NUL, DEL and C1 (NEL, CSI).
        ShownCase{QStringLiteral("\x1B[2Jx"), QStringLiteral("\\x1B[2Jx")},
        ShownCase{QString(QChar(0)) + QChar(0x7F) + QChar(0x85) + QChar(0x9B),
                  QStringLiteral("\\x00\\x7F\\x85\\x9B")},
        // Bidirectional controls and the Unicode line breaks.
        ShownCase{QStringLiteral("txt\u202Eexe.doc\u2066\u200F"),
                  QStringLiteral("txt\\u{202E}exe.doc\\u{2066}\\u{200F}")},
        ShownCase{QStringLiteral("a\u2028b\u2029"), QStringLiteral("a\\u{2028}b\\u{2029}")},
        // A lone half of a surrogate pair; a whole pair and ordinary Unicode stay.
        ShownCase{QStringLiteral("a") + QChar(0xD83D), QStringLiteral("a\\u{D83D}")},
        ShownCase{QStringLiteral("Złoty \U0001F600 — 日本 C:\\dir"),
                  QStringLiteral("Złoty \U0001F600 — 日本 C:\\dir")}));

} // namespace
