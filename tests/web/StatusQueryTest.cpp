// SPDX-License-Identifier: GPL-3.0-or-later
#include "router/web/StatusQuery.h"

#include "CannedServer.h"
#include "RouterRig.h"
#include "RouterSimulator.h"

#include <gtest/gtest.h>

namespace {

QByteArray statusPage(const QByteArray& body) {
    return "HTTP/1.0 200 OK\r\n\r\n<html>" + body + "</html>";
}

struct QueryRun {
    explicit QueryRun(const QString& address)
        : rig(address), query(rig.module, rig.view, rig.link, rig.prompts) {}
    RouterRig rig;
    StatusQuery query;
};

TEST(StatusQueryTest, SimulatedRouterIsFound) {
    RouterSimulator router;
    ASSERT_TRUE(router.listen());
    QueryRun run(router.hostAndPort());
    run.query.Timer1_Timer();
    EXPECT_TRUE(run.rig.module.RouterFound);
    EXPECT_FALSE(run.rig.module.StatusQueryPending);
    EXPECT_EQ(run.rig.view.wanAddress, router.wanAddress());
    EXPECT_EQ(run.rig.view.statusBar, QStringLiteral("Linksys Router Firmware Version 1.44.2"));
    EXPECT_EQ(run.rig.view.status, QStringLiteral("Completed"));
    EXPECT_TRUE(run.rig.view.controlsEnabled);
    EXPECT_EQ(run.rig.view.timerInterval, 100);
    EXPECT_EQ(run.rig.view.exits, 0);
    EXPECT_TRUE(run.rig.prompts.boxes.isEmpty());
}

TEST(StatusQueryTest, WrongPasswordEndsTheProgramWithTheMessage) {
    RouterSimulator router;
    ASSERT_TRUE(router.listen());
    QueryRun run(router.hostAndPort());
    run.rig.module.settings.Password = QStringLiteral("Admin");
    run.query.Timer1_Timer();
    EXPECT_FALSE(run.rig.module.RouterFound);
    ASSERT_EQ(run.rig.prompts.boxes.size(), 1);
    EXPECT_EQ(run.rig.prompts.boxes[0].text,
              QStringLiteral("Communication failure with the router\rProgram has been aborted"));
    EXPECT_EQ(run.rig.prompts.boxes[0].icon, MsgIcon::Critical);
    EXPECT_EQ(run.rig.prompts.boxes[0].title, QStringLiteral("Harborly"));
    EXPECT_EQ(run.rig.view.exits, 1);
    EXPECT_FALSE(run.rig.view.timerEnabled);
    EXPECT_FALSE(run.rig.view.controlsEnabled);
    EXPECT_TRUE(run.rig.view.windowEnabled);
}

TEST(StatusQueryTest, NoRouterEndsTheProgram) {
    QueryRun run(ClosedLoopbackPort());
    run.query.Timer1_Timer();
    EXPECT_EQ(run.rig.view.exits, 1);
    EXPECT_EQ(run.rig.view.wanAddress, QStringLiteral("Unknown"));
}

TEST(StatusQueryTest, LaterTicksOnlyShowTheSocketState) {
    RouterSimulator router;
    ASSERT_TRUE(router.listen());
    QueryRun run(router.hostAndPort());
    run.query.Timer1_Timer();
    const qsizetype requests = router.requests().size();
    run.rig.view.sendStatus.clear();
    run.query.Timer1_Timer();
    EXPECT_EQ(router.requests().size(), requests);
    EXPECT_EQ(run.rig.view.sendStatus, QStringLiteral("Closed"));
}

struct PageCase {
    const char* name;
    const char* body;
    const char* wan;       // expected label
    bool found;            // RouterFound
    const char* statusBar; // expected status bar text
    const char* status;    // lblStatus
};

class StatusPageTest : public testing::TestWithParam<PageCase> {};

TEST_P(StatusPageTest, Scans) {
    const PageCase c = GetParam();
    CannedServer router(statusPage(c.body));
    QueryRun run(router.hostAndPort());
    run.query.GetRouterFirmwareVersion();
    EXPECT_EQ(run.rig.view.wanAddress, QString::fromLatin1(c.wan));
    EXPECT_EQ(run.rig.module.RouterFound, c.found);
    EXPECT_EQ(run.rig.view.statusBar, QString::fromLatin1(c.statusBar));
    EXPECT_EQ(run.rig.view.status, QString::fromLatin1(c.status));
    EXPECT_EQ(StatusWord(run.rig.link.lastOutcome()), QString::fromLatin1(c.status));
    EXPECT_TRUE(run.rig.view.controlsEnabled);
}

const char* const kFirmware = "<td>Firmware Version:</td><td>1.44.2, Mar 12 2004</td>";

INSTANTIATE_TEST_SUITE_P(
    Pages, StatusPageTest,
    testing::Values(
        PageCase{"TwoLabels",
                 "MAC Address: 00-06 IP Address: <td>192.168.1.1</td> IP Address: <td>24.1.2.3</td>"
                 "<td>Firmware Version:</td><td>1.44.2, Mar 12 2004</td>",
                 "24.1.2.3", true, "Linksys Router Firmware Version 1.44.2", "Completed"},
        PageCase{"NoNumberAfterSecondLabel",
                 "MAC Address: x IP Address: <td>1.2.3.4</td> IP Address: <td>none</td>"
                 "<td>Firmware Version:</td><td>1.44.2, Mar 12 2004</td>",
                 "n/a", true, "Linksys Router Firmware Version 1.44.2", "Completed"},
        PageCase{"OneLabelOnly",
                 "MAC Address: x IP Address: <td>1.2.3.4</td><td>Firmware Version:</td><td>1.44.2, "
                 "Mar 12 2004</td>",
                 "Unknown", false, "Linksys Router Firmware Version 1.44.2", "Completed"},
        PageCase{"NoFirmware", "MAC Address: x IP Address: a IP Address: <td>24.1.2.3</td>",
                 "24.1.2.3", true, "", "Failed"},
        PageCase{"NoYear",
                 "MAC Address: x IP Address: a IP Address: <td>24.1.2.3</td>Firmware Version: 1.44",
                 "24.1.2.3", true, "", "Failed"},
        PageCase{"EarlierYearStringWinsWhereverItStands",
                 "MAC Address: x IP Address: a IP Address: <td>24.1.2.3</td>"
                 "Firmware Version:<td>1.40.2, Jan 2003</td> <td>abcdefghijkl9.9 2000</td>",
                 "24.1.2.3", true, "Linksys Router Firmware Version 9.92", "Completed"},
        PageCase{"VersionStopsAtZero",
                 "MAC Address: x IP Address: a IP Address: <td>24.1.2.3</td>"
                 "Firmware Version:<td>1.40.2, Jan 2003</td>",
                 "24.1.2.3", true, "Linksys Router Firmware Version 1.4", "Completed"},
        PageCase{"YearRightAfterTheMarker",
                 "MAC Address: x IP Address: a IP Address: <td>24.1.2.3</td>FirmwareVersion2004",
                 "24.1.2.3", true, "Linksys Router Firmware Version 2", "Completed"}),
    [](const testing::TestParamInfo<PageCase>& info) { return std::string(info.param.name); });

TEST(StatusPageScan, MarkerBeyondSixteenBitPositionsIsFound) {
    const QByteArray filler(70000, 'x');
    CannedServer router(statusPage(
        filler + "MAC Address: x IP Address: a IP Address: <td>24.1.2.3</td>" + kFirmware));
    QueryRun run(router.hostAndPort());
    run.query.GetRouterFirmwareVersion();
    EXPECT_EQ(run.rig.view.wanAddress, QStringLiteral("24.1.2.3"));
    EXPECT_EQ(run.rig.view.statusBar, QStringLiteral("Linksys Router Firmware Version 1.44.2"));
}

TEST(ExtractAddressTest, Cases) {
    EXPECT_EQ(ExtractAddress("PAddress:</td><td>24.1.2.3</td>"), "24.1.2.3");
    EXPECT_EQ(ExtractAddress("no tags 1.2.3.4"), "n/a");
    EXPECT_EQ(ExtractAddress(">1.2.3.4"), "n/a");
    EXPECT_EQ(ExtractAddress("<td>abc</td>"), "n/a");
    // Digits collected before a number with too few dots stay in front.
    EXPECT_EQ(ExtractAddress(">12.5<td>24.1.2.3<"), "12.524.1.2.3");
}

TEST(ExtractVersionTest, Cases) {
    EXPECT_EQ(ExtractVersion("1.40.2"), "1.4");
    EXPECT_EQ(ExtractVersion("<td>1.44.2,Mar"), "1.44.2");
    EXPECT_EQ(ExtractVersion("000"), "");
    EXPECT_EQ(ExtractVersion(""), "");
}

TEST(LeadingNumberTest, Cases) {
    EXPECT_DOUBLE_EQ(LeadingNumber("1.44.2"), 1.44);
    EXPECT_DOUBLE_EQ(LeadingNumber(""), 0.0);
    EXPECT_DOUBLE_EQ(LeadingNumber("."), 0.0);
    EXPECT_DOUBLE_EQ(LeadingNumber(".5"), 0.5);
    EXPECT_DOUBLE_EQ(LeadingNumber("7x"), 7.0);
}

} // namespace
