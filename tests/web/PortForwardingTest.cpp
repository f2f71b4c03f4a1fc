// SPDX-License-Identifier: GPL-3.0-or-later
#include "router/web/PortForwarding.h"

#include "RouterRig.h"
#include "RouterSimulator.h"
#include "TempHome.h"
#include "config/Configuration.h"
#include "router/ListOps.h"

#include <gtest/gtest.h>

namespace {

ApplPortRange range(qint16 protocol, const char* low, const char* high) {
    ApplPortRange r;
    r.Protocol = protocol;
    r.PortRangeLow = QString::fromLatin1(low);
    r.PortRangeHigh = QString::fromLatin1(high);
    return r;
}

ApplEntry app(const char* name, QList<ApplPortRange> ranges) {
    return ApplEntry{QString::fromLatin1(name), std::move(ranges)};
}

const QString kWorkedExample = QStringLiteral(
    "GET "
    "/Gozila.cgi?V_nameJ=ChatApp&V_portJS=6660&V_portJE=6670&V_proJTCP=1&V_proJUDP=0&V_ipJ3=100&"
    "V_validJ=1?V_nameI=GameNet1&V_portIS=27015&V_portIE=27030&V_proITCP=1&V_proIUDP=1&V_ipI3=100&"
    "V_validI=1?V_nameH=GameNet2&V_portHS=4380&V_portHE=4380&V_proHTCP=0&V_proHUDP=1&V_ipH3=100&"
    "V_validH=1 HTTP/1.1");

const QString kClearAll = QStringLiteral(
    "GET /Gozila.cgi?V_nameA=\"\"&V_portAS=0&V_portAE=0&V_proATCP=0&V_proAUDP=0&V_ipA3=0&V_validA"
    "=0?V_nameB=\"\"&V_portBS=0&V_portBE=0&V_proBTCP=0&V_proBUDP=0&V_ipB3=0&V_validB=0?V_nameC=\"\""
    "&V_portCS=0&V_portCE=0&V_proCTCP=0&V_proCUDP=0&V_ipC3=0&V_validC=0?V_nameD=\"\"&V_portDS=0&V"
    "_portDE=0&V_proDTCP=0&V_proDUDP=0&V_ipD3=0&V_validD=0?V_nameE=\"\"&V_portES=0&V_portEE=0&V_p"
    "roETCP=0&V_proEUDP=0&V_ipE3=0&V_validE=0?V_nameF=\"\"&V_portFS=0&V_portFE=0&V_proFTCP=0&V_pr"
    "oFUDP=0&V_ipF3=0&V_validF=0?V_nameG=\"\"&V_portGS=0&V_portGE=0&V_proGTCP=0&V_proGUDP=0&V_ipG"
    "3=0&V_validG=0?V_nameH=\"\"&V_portHS=0&V_portHE=0&V_proHTCP=0&V_proHUDP=0&V_ipH3=0&V_validH="
    "0?V_nameI=\"\"&V_portIS=0&V_portIE=0&V_proITCP=0&V_proIUDP=0&V_ipI3=0&V_validI=0?V_nameJ=\"\"&"
    "V_portJS=0&V_portJE=0&V_proJTCP=0&V_proJUDP=0&V_ipJ3=0&V_validJ=0 HTTP/1.1");

// A catalog with the applications of the examples, listed as the main window lists them.
struct Catalog {
    Catalog() {
        catalog.entries = {
            app("Chat App", {range(ProtocolTcp, "6660", "6670")}),
            app("GameNet",
                {range(ProtocolBoth, "27015", "27030"), range(ProtocolUdp, "4380", "4380")}),
            app("Empty", {}),
            app("Big", {range(ProtocolTcp, "1", "1"), range(ProtocolTcp, "2", "2"),
                        range(ProtocolTcp, "3", "3"), range(ProtocolTcp, "4", "4"),
                        range(ProtocolTcp, "5", "5"), range(ProtocolTcp, "6", "6"),
                        range(ProtocolTcp, "7", "7")}),
            // Windows-1252 has "€" and curly quotes; it lacks "ł" and "→".
            ApplEntry{QStringLiteral("Euro € “Chat”"), {range(ProtocolTcp, "5000", "5000")}},
            ApplEntry{QStringLiteral("Zło"), {range(ProtocolTcp, "5001", "5001")}},
            ApplEntry{QStringLiteral("Arrow"), {[] {
                          ApplPortRange r = range(ProtocolUdp, "5002", "");
                          r.PortRangeHigh = QStringLiteral("5003→");
                          return r;
                      }()}}};
        FillApplicationList(list, catalog);
    }
    ApplCatalog catalog;
    MemoryAppList list;
};

TEST(MakeSlotNameTest, CutsTheKey) {
    EXPECT_EQ(MakeSlotName(QStringLiteral("VoiceChatPro"), 1, 1), QStringLiteral("VoiceChatPr"));
    EXPECT_EQ(MakeSlotName(QStringLiteral("VoiceChatPro"), 3, 2), QStringLiteral("VoiceChatP2"));
    EXPECT_EQ(MakeSlotName(QStringLiteral("VoiceChatPro"), 10, 10), QStringLiteral("VoiceChat10"));
    EXPECT_EQ(MakeSlotName(QStringLiteral("ab"), 2, 2), QStringLiteral("ab2"));
    EXPECT_EQ(MakeSlotName(QStringLiteral("ab"), 0, 1), QStringLiteral("ab1"));
}

struct ScanCase {
    const char* name;
    const char* page; // already without spaces
    int used;
    int slot;
    bool slotUsed;
    const char* slotName;
};

class ScanUsedSlotsTest : public testing::TestWithParam<ScanCase> {};

TEST_P(ScanUsedSlotsTest, Reads) {
    const ScanCase c = GetParam();
    SlotTable table;
    table.entries[3].Name = QStringLiteral("stale");
    EXPECT_EQ(ScanUsedSlots(QByteArray(c.page), table), c.used);
    EXPECT_EQ(table.entries[c.slot].Used, c.slotUsed);
    EXPECT_EQ(table.entries[c.slot].Name, QString::fromLatin1(c.slotName));
    EXPECT_TRUE(table.entries[3].Name.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Pages, ScanUsedSlotsTest,
    testing::Values(
        ScanCase{"Unquoted", "<inputname=V_nameAvalue=ChatApp><inputname=V_validAcheckedvalue=1>",
                 1, 0, true, "ChatApp"},
        ScanCase{"QuotedFieldNameCountsFree",
                 "<inputname=\"V_validA\"checked><inputname=V_nameAvalue=\"x\">", 0, 0, false,
                 "\"x\""},
        ScanCase{"ValueBeforeCheckedCountsFree", "<inputname=V_validAvalue=1checked>", 0, 0, false,
                 ""},
        ScanCase{"ScriptMentionsFieldFirst",
                 "<script>f(V_validA)</script><inputname=V_validAcheckedvalue=1>", 0, 0, false, ""},
        ScanCase{"OtherAttributesJoinTheName", "<inputname=V_nameBvalue=Web/size=12>", 0, 1, false,
                 "Web/size=12"},
        ScanCase{"NoBracketWithinFiftyCharacters",
                 "<inputname=V_nameBvalue=aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa>", 0,
                 1, false, ""},
        ScanCase{"BracketFirstGivesEmptyName", "<inputname=V_nameBvalue=>", 0, 1, false, ""},
        ScanCase{"SlotJAlone", "<inputname=V_validJchecked>", 1, 9, true, ""},
        ScanCase{"ShortTail", "V_validAcheck", 0, 0, false, ""}),
    [](const testing::TestParamInfo<ScanCase>& info) { return std::string(info.param.name); });

TEST(SlotLookups, EmptyNames) {
    SlotTable table;
    table.entries[0].Name = QStringLiteral("Web");
    EXPECT_FALSE(FindApplName(table, QString()));
    EXPECT_TRUE(FindApplName(table, QStringLiteral("Web")));
    EXPECT_FALSE(FindApplName(table, QStringLiteral("web")));
    EXPECT_EQ(SlotLetterOf(table, QString()), QStringLiteral("B"));
    EXPECT_EQ(SlotLetterOf(table, QStringLiteral("Web")), QStringLiteral("A"));
}

TEST(ForwardRequest, WorkedExampleByteForByte) {
    Catalog c;
    SlotTable table;
    table.entries[0].Used = true;
    const QString keys = QStringLiteral("ChatApp,GameNet,");
    AssignSlots(c.catalog, c.list, table, keys);
    EXPECT_EQ(BuildForwardRequest(c.catalog, c.list, table, QStringLiteral("192.168.1.100"), keys),
              kWorkedExample);
}

TEST(ForwardRequest, NamedButUntickedSlotIsNotHandedOutTwice) {
    Catalog c;
    SlotTable table;
    table.entries[9].Name = QStringLiteral("GameNet2"); // named, not ticked
    const QString keys = QStringLiteral("ChatApp,GameNet,");
    AssignSlots(c.catalog, c.list, table, keys);
    EXPECT_EQ(c.catalog.entry(2).Ranges[1].Slot, QStringLiteral("J"));
    EXPECT_EQ(c.catalog.entry(1).Ranges[0].Slot, QStringLiteral("I"));
    EXPECT_EQ(c.catalog.entry(2).Ranges[0].Slot, QStringLiteral("H"));
}

TEST(ForwardRequest, ApplicationWithoutRangesSendsNoGroup) {
    Catalog c;
    SlotTable table;
    EXPECT_EQ(BuildForwardRequest(c.catalog, c.list, table, QStringLiteral("10.0.0.5"),
                                  QStringLiteral("Empty,")),
              QStringLiteral("GET /Gozila.cgi HTTP/1.1"));
}

TEST(ForwardRequest, KeyWithoutRowIsSkipped) {
    Catalog c;
    SlotTable table;
    EXPECT_EQ(BuildForwardRequest(c.catalog, c.list, table, QStringLiteral("10.0.0.5"),
                                  QStringLiteral("Nobody,")),
              QStringLiteral("GET /Gozila.cgi HTTP/1.1"));
}

TEST(ForwardRequest, AddressWithoutDotsIsTheWholeOctet) {
    Catalog c;
    SlotTable table;
    AssignSlots(c.catalog, c.list, table, QStringLiteral("ChatApp,"));
    EXPECT_TRUE(BuildForwardRequest(c.catalog, c.list, table, QStringLiteral("host"),
                                    QStringLiteral("ChatApp,"))
                    .contains(QStringLiteral("&V_ipJ3=host&")));
}

TEST(FixedRequests, ClearAllAndDmz) {
    const QString clear = BuildClearAllRequest();
    EXPECT_EQ(clear.size(), 794);
    EXPECT_EQ(clear, kClearAll);
    EXPECT_TRUE(
        clear.startsWith(QStringLiteral("GET /Gozila.cgi?V_nameA=\"\"&V_portAS=0&V_portAE=0"
                                        "&V_proATCP=0&V_proAUDP=0&V_ipA3=0&V_validA=0?V_nameB=")));
    EXPECT_TRUE(clear.endsWith(QStringLiteral("&V_ipJ3=0&V_validJ=0 HTTP/1.1")));
    EXPECT_EQ(BuildDmzRequest(false, QStringLiteral("192.168.1.100")),
              QStringLiteral("GET /Gozila.cgi?exIP3=100 HTTP/1.1"));
    EXPECT_EQ(BuildDmzRequest(false, QString()), QStringLiteral("GET /Gozila.cgi?exIP3= HTTP/1.1"));
    EXPECT_EQ(BuildDmzRequest(true, QStringLiteral("192.168.1.100")),
              QStringLiteral("GET /Gozila.cgi?exIP3=0 HTTP/1.1"));
}

// End to end: the operations against the simulated router.
class PointToMe : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(router.listen());
        rig = std::make_unique<RouterRig>(router.hostAndPort());
        rig->module.paths = LocalPaths::inFolder(home.path());
        rig->module.catalog = c.catalog;
        rig->view.list = c.list;
        ops = std::make_unique<PortForwarding>(rig->module, rig->view, rig->link, rig->prompts);
    }
    void select(const QString& name) {
        rig->view.list.setSelected(FindListIndex(rig->view.list, name, false), true);
    }
    QByteArray lastRequestLine() const {
        const QByteArray r = router.requests().back();
        return r.left(r.indexOf('\r'));
    }

    RouterSimulator router;
    TempHome home;
    Catalog c;
    std::unique_ptr<RouterRig> rig;
    std::unique_ptr<PortForwarding> ops;
};

TEST_F(PointToMe, WorkedExampleAgainstTheRouter) {
    router.setForward(
        0, SimForward{QStringLiteral("Other"), 80, 80, true, false, QStringLiteral("7"), true});
    select(QStringLiteral("Chat App"));
    select(QStringLiteral("GameNet"));
    ops->btnPoint_Click();
    EXPECT_EQ(rig->view.status, QStringLiteral("Completed"));
    ASSERT_EQ(router.requests().size(), 2);
    const QString local = rig->module.LocalIpAddress;
    QString expected = kWorkedExample;
    expected.replace(QStringLiteral("3=100&"),
                     QStringLiteral("3=") + local.mid(local.lastIndexOf('.') + 1) + '&');
    EXPECT_EQ(QString::fromLatin1(lastRequestLine()), expected);
    EXPECT_EQ(router.forwards()[9].name, QStringLiteral("ChatApp"));
    EXPECT_TRUE(router.forwards()[7].enabled);
    EXPECT_EQ(router.forwards()[0].name, QStringLiteral("Other"));
    EXPECT_EQ(ReadSelected(rig->module.paths), QStringLiteral("Chat App,GameNet,"));
    EXPECT_TRUE(rig->view.timerEnabled);
    EXPECT_TRUE(rig->view.controlsEnabled);
}

TEST_F(PointToMe, RepeatReusesTheSameSlots) {
    select(QStringLiteral("Chat App"));
    select(QStringLiteral("GameNet"));
    ops->btnPoint_Click();
    const QByteArray first = lastRequestLine();
    ops->btnPoint_Click();
    EXPECT_EQ(lastRequestLine(), first);
    EXPECT_TRUE(first.contains("?V_nameJ=ChatApp&") && first.contains("?V_nameI=GameNet1&") &&
                first.contains("?V_nameH=GameNet2&"));
    int enabled = 0;
    for (const SimForward& f : router.forwards())
        enabled += f.enabled ? 1 : 0;
    EXPECT_EQ(enabled, 3);
}

TEST_F(PointToMe, ShortageAtOneRangeTooManyAndForwardAtExactlyWhatFits) {
    for (int s = 0; s < 2; ++s)
        router.setForward(s, SimForward{QStringLiteral("Other%1").arg(s), 1, 1, true, false,
                                        QStringLiteral("9"), true});
    select(QStringLiteral("Big"));
    select(QStringLiteral("GameNet")); // 7 + 2 = 9 > 8 free
    ops->btnPoint_Click();
    ASSERT_EQ(rig->prompts.boxes.size(), 1);
    EXPECT_EQ(rig->prompts.boxes[0].text,
              QStringLiteral("The programs you have chosen to forward require more\r"
                             "'slots' then are available.  Linksys supplies only 10\r"
                             "such slots for their firmware. Try selecting fewer applicatons\r"
                             "or make more slots available by unforwarding all ports."));
    EXPECT_EQ(router.requests().size(), 1);
    EXPECT_EQ(ops->lastOutcome(), PortForwarding::Outcome::Shortage);

    router.setForward(1, SimForward{});
    ops->btnPoint_Click(); // 9 of 9 free
    EXPECT_EQ(router.requests().size(), 3);
    EXPECT_EQ(rig->view.status, QStringLiteral("Completed"));
}

TEST_F(PointToMe, NothingSelectedLeavesTheFileAlone) {
    ops->btnPoint_Click();
    ASSERT_EQ(rig->prompts.boxes.size(), 1);
    EXPECT_EQ(rig->prompts.boxes[0].text, QStringLiteral("No programs are selected"));
    EXPECT_FALSE(home.exists(QStringLiteral("Harborly.ini")));
    EXPECT_TRUE(router.requests().isEmpty());
}

TEST_F(PointToMe, ClearThenForwardSeesEmptySlots) {
    router.setForward(
        9, SimForward{QStringLiteral("Other"), 1, 1, true, false, QStringLiteral("9"), true});
    EXPECT_TRUE(ops->ClearAllForwards());
    EXPECT_EQ(rig->view.status, QStringLiteral("Completed"));
    EXPECT_EQ(lastRequestLine().size(), 794);
    select(QStringLiteral("Chat App"));
    ops->btnPoint_Click();
    EXPECT_EQ(router.forwards()[9].name, QStringLiteral("ChatApp"));
}

TEST_F(PointToMe, DmzSetAndClear) {
    rig->module.LocalIpAddress = QStringLiteral("192.168.1.100");
    EXPECT_TRUE(ops->SetDMZPort(false));
    EXPECT_EQ(router.dmzHost(), QStringLiteral("100"));
    EXPECT_EQ(rig->view.status, QStringLiteral("Completed"));
    ops->mnuDMZClear_Click();
    EXPECT_EQ(router.dmzHost(), QStringLiteral("0"));
    EXPECT_EQ(rig->view.timerHistory.back(), true);
}

TEST_F(PointToMe, WrongPasswordGivesError) {
    rig->module.settings.Password = QStringLiteral("nope");
    EXPECT_TRUE(ops->SetDMZPort(false));
    EXPECT_EQ(rig->view.status, QStringLiteral("Error"));
    EXPECT_EQ(rig->link.lastOutcome(), Outcome::Error);
    EXPECT_EQ(router.dmzHost(), QStringLiteral("0"));
}

TEST_F(PointToMe, RouterThatNeverClosesFailsAndUnlocks) {
    SimOptions o;
    o.keepOpen = true;
    router.setOptions(o);
    select(QStringLiteral("Chat App"));
    ops->btnPoint_Click();
    EXPECT_EQ(rig->view.status, QStringLiteral("Failed"));
    EXPECT_EQ(ops->lastOutcome(), PortForwarding::Outcome::ReadFailed);
    EXPECT_EQ(router.requests().size(), 1); // nothing written after the failed read
    EXPECT_TRUE(rig->view.controlsEnabled);
    EXPECT_TRUE(rig->view.timerEnabled);
    EXPECT_FALSE(ops->ClearAllForwards());
    EXPECT_TRUE(rig->view.timerEnabled);
}

TEST_F(PointToMe, Windows1252NameGoesOutAsItsBytesAndFindsItsSlotAgain) {
    select(QStringLiteral("Euro € “Chat”"));
    ops->btnPoint_Click();
    const QByteArray first = lastRequestLine();
    EXPECT_TRUE(first.contains("?V_nameJ=Euro\x80\x93"
                               "Chat\x94&V_portJS=5000&"))
        << first.toStdString();
    ops->btnPoint_Click();
    EXPECT_EQ(lastRequestLine(), first); // the slot named by the first forward is found again
    EXPECT_EQ(rig->view.status, QStringLiteral("Completed"));
    EXPECT_TRUE(rig->prompts.boxes.isEmpty());
}

struct UnsendableCase {
    QString row;
    QString character;
};

class UnsendableTest : public PointToMe, public testing::WithParamInterface<UnsendableCase> {};

TEST_P(UnsendableTest, IsRefusedBeforeAnythingIsSent) {
    select(QStringLiteral("Chat App"));
    select(GetParam().row);
    ops->btnPoint_Click();
    EXPECT_TRUE(router.requests().isEmpty());
    ASSERT_EQ(rig->prompts.boxes.size(), 1);
    const QString text = rig->prompts.boxes[0].text;
    EXPECT_TRUE(text.contains(u'"' + GetParam().row + u'"')) << text.toStdString();
    EXPECT_TRUE(text.contains(u'"' + GetParam().character + u'"')) << text.toStdString();
    EXPECT_EQ(ops->lastOutcome(), PortForwarding::Outcome::Unsendable);
    EXPECT_TRUE(rig->view.controlsEnabled);
}

INSTANTIATE_TEST_SUITE_P(Characters, UnsendableTest,
                         testing::Values(UnsendableCase{QStringLiteral("Zło"), QStringLiteral("ł")},
                                         UnsendableCase{QStringLiteral("Arrow"),
                                                        QStringLiteral("→")}));

TEST_F(PointToMe, NeededSlotsCountSelectedRanges) {
    EXPECT_EQ(ops->GetTotalNeededSlots(), 0);
    select(QStringLiteral("Chat App"));
    select(QStringLiteral("GameNet"));
    EXPECT_EQ(ops->GetTotalNeededSlots(), 3);
}

} // namespace
