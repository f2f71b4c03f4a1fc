// SPDX-License-Identifier: GPL-3.0-or-later
// The dialogs that show the router's list and the check: the router's words are shown as text,
// escaped, never as markup or as lines of their own.
#include "ui/frmCheck.h"
#include "ui/frmForwards.h"

#include "QtPrint.h"

#include <QLabel>
#include <QTableWidget>

#include <gtest/gtest.h>

namespace {

const QString kName = QStringLiteral("Box\u202E <b>x</b>");
const QString kShownName = QStringLiteral("Box\\u{202E} <b>x</b>: ");

void expectPlainHeading(const QDialog& dialog, const QString& start) {
    const auto* heading = dialog.findChild<QLabel*>();
    ASSERT_TRUE(heading);
    EXPECT_EQ(heading->textFormat(), Qt::PlainText);
    EXPECT_TRUE(heading->text().startsWith(start)) << heading->text().toStdString();
}

TEST(RouterTextDialogs, TheRoutersWordsAreEscapedPlainText) {
    ForwardEntry other;
    other.externalPort = other.externalPortEnd = other.internalPort = 22;
    other.protocol = QStringLiteral("TCP");
    other.internalClient = QStringLiteral("10.0.0.9\r");
    other.description = QStringLiteral("tv\n22/TCP\x1B[2J");
    const frmForwards forwards({other}, kName);
    expectPlainHeading(forwards, kShownName + QStringLiteral("The router forwards 1 port"));
    EXPECT_EQ(forwards.tblForwards->item(0, 2)->text(), QStringLiteral("10.0.0.9\\r"));
    EXPECT_EQ(forwards.tblForwards->item(0, 4)->text(), QStringLiteral("tv\\n22/TCP\\x1B[2J"));

    const frmCheck check({}, kName);
    expectPlainHeading(check, kShownName + QStringLiteral("Every port"));
}

} // namespace
