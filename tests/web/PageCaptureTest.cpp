// SPDX-License-Identifier: GPL-3.0-or-later
#include "router/web/PageCapture.h"

#include "CannedServer.h"
#include "RouterRig.h"
#include "RouterSimulator.h"
#include "TempHome.h"

#include <QFileInfo>

#include <gtest/gtest.h>

namespace {

QByteArray neutralised(QByteArray page) {
    return NeutralisePage(page);
}

TEST(NeutralisePageTest, SixPatterns) {
    EXPECT_EQ(neutralised("<input type=button value=Go>"), "<input type=hidden value=Go>");
    EXPECT_EQ(neutralised("<input type=submit>"), "<input type=hidden>");
    EXPECT_EQ(neutralised("<input type=reset>"), "<input type=hidden>");
    EXPECT_EQ(neutralised("<a href=\"/x\">x</a>"), "<a name=\"/x\">x</a>");
    EXPECT_EQ(neutralised("<input onChange=PortCheck(this) value=1>"), "<input  value=1>");
    EXPECT_EQ(neutralised("<input onChange=IPCheck(this)>"), "<input >");
}

TEST(NeutralisePageTest, CaseSensitiveInsideWordsAndAdjacentCopies) {
    EXPECT_EQ(neutralised("type=BUTTON Submit Reset HREF="), "type=BUTTON Submit Reset HREF=");
    EXPECT_EQ(neutralised("preset"), "phidden");
    EXPECT_EQ(neutralised("resetreset"), "hiddenhidden");
    EXPECT_EQ(neutralised("onChange=PortCheck(this)onChange=PortCheck(this)"),
              "onChange=PortCheck(this)");
    EXPECT_EQ(neutralised("onChange=IPCheck(this)onChange=IPCheck(this)x"),
              "onChange=IPCheck(this)x");
    EXPECT_EQ(neutralised(""), "");
}

TEST(NeutralisePageTest, WholePageBeyondSixteenBitPositions) {
    QByteArray page(70000, 'x');
    page += "<input type=submit><a href=/a>";
    const QByteArray out = neutralised(page);
    EXPECT_TRUE(out.endsWith("<input type=hidden><a name=/a>"));
}

TEST(CaptureTest, SimulatedRouterScreenIsWrittenWithItsHeaders) {
    RouterSimulator router;
    ASSERT_TRUE(router.listen());
    TempHome home;
    RouterRig rig(router.hostAndPort());
    rig.module.paths = LocalPaths::inFolder(home.path());
    ScreenCapture capture(rig.module, rig.view, rig.link);
    ASSERT_TRUE(capture.GetForwardPortsScreen());
    const QByteArray file = home.read(QStringLiteral("Harborly.htm"));
    EXPECT_TRUE(file.startsWith("HTTP/1.0 200 OK\r\n"));
    EXPECT_TRUE(file.endsWith("</html>\n\r\n"));
    EXPECT_FALSE(file.contains("submit"));
    EXPECT_FALSE(file.contains("href="));
    EXPECT_FALSE(file.contains("onChange=PortCheck(this)"));
    EXPECT_TRUE(file.contains("V_nameA"));
    EXPECT_EQ(rig.view.status, QStringLiteral("Completed"));
    EXPECT_TRUE(rig.view.timerEnabled);
    EXPECT_EQ(QFileInfo(home.file(QStringLiteral("Harborly.htm"))).permissions() &
                  (QFileDevice::ReadOther | QFileDevice::ReadGroup),
              0);

    ASSERT_TRUE(capture.GetDMZScreen());
    EXPECT_TRUE(home.read(QStringLiteral("Harborly.htm")).contains("exIP3"));
}

TEST(CaptureTest, FailedFetchLeavesTheOldFile) {
    TempHome home;
    home.write(QStringLiteral("Harborly.htm"), "old");
    RouterRig rig(ClosedLoopbackPort());
    rig.module.paths = LocalPaths::inFolder(home.path());
    ScreenCapture capture(rig.module, rig.view, rig.link);
    EXPECT_FALSE(capture.GetForwardPortsScreen());
    EXPECT_EQ(home.read(QStringLiteral("Harborly.htm")), "old");
    EXPECT_EQ(rig.view.status, QStringLiteral("Failed"));
    EXPECT_TRUE(rig.view.timerEnabled);
}

TEST(CaptureTest, RefusalIsCapturedAndEmptyAnswerGivesALineBreak) {
    TempHome home;
    const QString htm = home.file(QStringLiteral("Harborly.htm"));
    ASSERT_TRUE(CaptureRouterPage(htm, QByteArray()));
    EXPECT_EQ(home.read(QStringLiteral("Harborly.htm")), "\r\n");
    RouterSimulator router;
    ASSERT_TRUE(router.listen());
    RouterRig rig(router.hostAndPort());
    rig.module.settings.Password = QStringLiteral("wrong");
    rig.module.paths = LocalPaths::inFolder(home.path());
    ScreenCapture capture(rig.module, rig.view, rig.link);
    EXPECT_TRUE(capture.GetDMZScreen());
    EXPECT_TRUE(home.read(QStringLiteral("Harborly.htm")).startsWith("HTTP/1.0 401"));
}

} // namespace
