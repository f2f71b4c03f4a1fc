// SPDX-License-Identifier: GPL-3.0-or-later
#include "KindRig.h"
#include "config/Settings.h"
#include "router/AppList.h"
#include "router/AutoRouter.h"
#include "router/MappingPlan.h"
#include "router/RouterKinds.h"
#include "router/leases/LeaseRecord.h"

#include <gtest/gtest.h>

#include <functional>

TEST(RouterKind, IniValueNamesTheKind) {
    const struct {
        const char* value;
        const char* kind;
    } rows[] = {{"", "web"}, {"web", "web"}, {" UPnP ", "upnp"}, {"upnp", "upnp"}, {"linksys", ""}};
    for (const auto& r : rows)
        EXPECT_EQ(RouterKindOf(QString::fromLatin1(r.value)), QString::fromLatin1(r.kind))
            << r.value;
}

namespace {

struct PlanRig {
    ApplCatalog catalog;
    MemoryAppList list;

    void add(const QString& name, qint16 protocol, const QString& low, const QString& high,
             bool selected = true) {
        ApplEntry e;
        e.Name = QString(name).remove(QLatin1Char(' '));
        e.Ranges.append({protocol, {}, low, high});
        catalog.entries.append(e);
        const int row = list.AddItem(name);
        list.setItemData(row, catalog.ApplCount());
        list.setSelected(row, selected);
    }
};

} // namespace

TEST(MappingPlan, EveryPortOfEveryChosenRangePerProtocol) {
    PlanRig rig;
    rig.add(QStringLiteral("Game"), ProtocolBoth, QStringLiteral("6881"), QStringLiteral("6882"));
    rig.add(QStringLiteral("Web Server"), ProtocolTcp, QStringLiteral("80"), QStringLiteral("80"));
    rig.add(QStringLiteral("Unchosen"), ProtocolUdp, QStringLiteral("9"), QStringLiteral("9"),
            false);
    const MappingPlan plan = PlanMappings(rig.catalog, rig.list);
    ASSERT_TRUE(plan.refusal.isEmpty());
    const QList<PlannedMapping> expected = {
        {6881, QStringLiteral("TCP"), QStringLiteral("Game"), QStringLiteral("Harborly: Game")},
        {6881, QStringLiteral("UDP"), QStringLiteral("Game"), QStringLiteral("Harborly: Game")},
        {6882, QStringLiteral("TCP"), QStringLiteral("Game"), QStringLiteral("Harborly: Game")},
        {6882, QStringLiteral("UDP"), QStringLiteral("Game"), QStringLiteral("Harborly: Game")},
        {80, QStringLiteral("TCP"), QStringLiteral("Web Server"),
         QStringLiteral("Harborly: Web Server")},
    };
    EXPECT_EQ(plan.mappings, expected);
}

TEST(MappingPlan, RefusedWholeBeforeAnythingIsSent) {
    const struct {
        const char* low;
        const char* high;
        qint16 protocol;
    } rows[] = {{"1", "65", ProtocolBoth},     // 130 mappings
                {"1000", "1128", ProtocolTcp}, // 129
                {"0", "5", ProtocolTcp},       {"70000", "70001", ProtocolTcp},
                {"9", "8", ProtocolTcp},       {"x", "8", ProtocolTcp}};
    for (const auto& r : rows) {
        PlanRig rig;
        rig.add(QStringLiteral("Small"), ProtocolTcp, QStringLiteral("5000"),
                QStringLiteral("5000"));
        rig.add(QStringLiteral("Wide"), r.protocol, QString::fromLatin1(r.low),
                QString::fromLatin1(r.high));
        const MappingPlan plan = PlanMappings(rig.catalog, rig.list);
        EXPECT_FALSE(plan.refusal.isEmpty()) << r.low << "-" << r.high;
        EXPECT_TRUE(plan.mappings.isEmpty());
    }
}

TEST(MappingPlan, DescriptionIsShortPrintableAscii) {
    EXPECT_EQ(MappingDescription(QStringLiteral("Café  Server\t")),
              QStringLiteral("Harborly: Caf Server"));
    const QString longName(60, QLatin1Char('x'));
    EXPECT_EQ(MappingDescription(longName).size(), 40);
}

TEST(LeaseRecordText, RoundTripsAndSkipsWhatItCannotRead) {
    const QList<LeaseEntry> entries = {
        {QStringLiteral("192.0.2.1"), QStringLiteral("pcp"), QStringLiteral("UDP"), 51821, 51820,
         QDateTime(QDate(2026, 12, 8), QTime(1, 2, 3), Qt::UTC), 7200,
         QByteArray::fromHex("00112233445566778899aabb"), 42, QStringLiteral("Wire\tGuard")},
        {QStringLiteral("10.0.0.1"),
         QStringLiteral("upnp"),
         QStringLiteral("TCP"),
         80,
         80,
         {},
         0,
         {},
         0,
         QStringLiteral("Web Server")}};
    const auto back = ParseLeases(FormatLeases(entries));
    ASSERT_TRUE(back);
    ASSERT_EQ(back->size(), 2);
    EXPECT_EQ((*back)[0].application, QStringLiteral("Wire Guard")); // tabs cannot pass
    EXPECT_EQ((*back)[0].nonce, entries[0].nonce);
    EXPECT_EQ((*back)[0].leaseEnd, entries[0].leaseEnd);
    EXPECT_EQ((*back)[1], entries[1]);

    EXPECT_FALSE(ParseLeases("not a record"));
    const QByteArray header = FormatLeases({});
    for (const char* line : {"a\tupnp\tTCP\t0\t80\tpermanent\t0\t\t0\tx",
                             "a\tupnp\tICMP\t80\t80\tpermanent\t0\t\t0\tx",
                             "a\tupnp\tTCP\t80\t80\tyesterday\t0\t\t0\tx", "a\tb"})
        EXPECT_TRUE(ParseLeases(header + line + '\n')->isEmpty()) << line;
}

namespace {

// Notes each call, and answers what no idle AutoRouter would.
class RecordingRouter final : public Router {
public:
    QString kindName() const override { return QStringLiteral("pcp"); }
    RouterCapabilities capabilities() const override {
        calls << QStringLiteral("capabilities");
        RouterCapabilities c;
        c.dmz = true;
        return c;
    }
    void Timer1_Timer() override {
        calls << QStringLiteral("Timer1_Timer");
        if (reportRenewal && adoptOnStatus)
            reportRenewal(QStringLiteral("renewed"));
    }
    QString wanAddress() const override { return note("wanAddress"); }
    QString routerDescription() const override { return note("routerDescription"); }
    QString wanWarning() const override { return note("wanWarning"); }
    void PointToMe() override { calls << QStringLiteral("PointToMe"); }
    PointOutcome lastPointOutcome() const override {
        calls << QStringLiteral("lastPointOutcome");
        return PointOutcome::Shortage;
    }
    Outcome lastOutcome() const override {
        calls << QStringLiteral("lastOutcome");
        return Outcome::Cancelled;
    }
    std::optional<PartlyMade> lastPartlyMade() const override {
        return PartlyMade{{}, note("lastPartlyMade"), {}};
    }
    bool ClearAll() override { return noted("ClearAll"); }
    bool SetDmz(bool) override { return noted("SetDmz"); }
    std::optional<QList<ForwardEntry>> ReadForwards() override {
        calls << QStringLiteral("ReadForwards");
        return QList<ForwardEntry>{};
    }
    bool RemoveForward(const ForwardEntry&) override { return noted("RemoveForward"); }
    bool RemakeForward(const PlannedMapping&) override { return noted("RemakeForward"); }
    bool OpenLocalFirewall(const QList<PlannedMapping>&) override {
        return noted("OpenLocalFirewall");
    }
    std::optional<OuterView> OuterFor(const PlannedMapping&) override {
        return OuterView{note("OuterFor"), true, {}};
    }
    std::optional<bool> HoldsForward(const PlannedMapping&) override {
        return noted("HoldsForward");
    }
    std::optional<bool> HoldsPinhole(const PlannedMapping&) override {
        return noted("HoldsPinhole");
    }
    bool ipv6Only() const override { return noted("ipv6Only"); }
    bool CaptureScreen(bool) override { return noted("CaptureScreen"); }
    void Close() override { calls << QStringLiteral("Close"); }
    QStringList lastProblems() const override { return {note("lastProblems")}; }
    QStringList lastNotes() const override { return {note("lastNotes")}; }
    QString cannotKeep() const override { return note("cannotKeep"); }
    qsizetype forwardsKeptHere() const override { return note("forwardsKeptHere").size(); }
    qsizetype forwardsHeld() const override { return note("forwardsHeld").size(); }
    qsizetype lastPinholes() const override { return note("lastPinholes").size(); }

    mutable QStringList calls;

private:
    QString note(const char* name) const {
        calls << QLatin1String(name);
        return QLatin1String(name);
    }
    bool noted(const char* name) const { return !note(name).isEmpty(); }
};

} // namespace

// The kind found does everything: each operation reaches it, and its answer comes back.
TEST(AutoRouter, PassesEveryOperationToTheKindFound) {
    KindRig rig;
    auto owned = std::make_unique<RecordingRouter>();
    RecordingRouter& found = *owned;
    AutoRouter router(rig.deps(), std::move(owned));
    QStringList renewals;
    router.reportRenewal = [&](const QString& line) { renewals << line; };
    const auto is = [](const QString& text, const char* name) { return text == name; };
    const struct {
        const char* name;
        std::function<bool(Router&)> call; // whether the kind's own answer came back
    } rows[] = {
        {"capabilities", [](Router& r) { return r.capabilities().dmz; }},
        {"Timer1_Timer", [&](Router& r) { return r.Timer1_Timer(), renewals.size() == 1; }},
        {"wanAddress", [&](Router& r) { return is(r.wanAddress(), "wanAddress"); }},
        {"routerDescription",
         [&](Router& r) { return is(r.routerDescription(), "routerDescription"); }},
        {"wanWarning", [&](Router& r) { return is(r.wanWarning(), "wanWarning"); }},
        {"PointToMe", [](Router& r) { return r.PointToMe(), true; }},
        {"lastPointOutcome",
         [](Router& r) { return r.lastPointOutcome() == Router::PointOutcome::Shortage; }},
        {"lastOutcome", [](Router& r) { return r.lastOutcome() == Outcome::Cancelled; }},
        {"lastPartlyMade",
         [&](Router& r) {
             return is(r.lastPartlyMade().value_or(Router::PartlyMade{}).sentence,
                       "lastPartlyMade");
         }},
        {"ClearAll", [](Router& r) { return r.ClearAll(); }},
        {"SetDmz", [](Router& r) { return r.SetDmz(true); }},
        {"ReadForwards", [](Router& r) { return r.ReadForwards().has_value(); }},
        {"RemoveForward", [](Router& r) { return r.RemoveForward({}); }},
        {"RemakeForward", [](Router& r) { return r.RemakeForward({}); }},
        {"OpenLocalFirewall", [](Router& r) { return r.OpenLocalFirewall({}); }},
        {"OuterFor",
         [&](Router& r) { return is(r.OuterFor({}).value_or(OuterView{}).router, "OuterFor"); }},
        {"HoldsForward", [](Router& r) { return r.HoldsForward({}) == true; }},
        {"HoldsPinhole", [](Router& r) { return r.HoldsPinhole({}) == true; }},
        {"ipv6Only", [](Router& r) { return r.ipv6Only(); }},
        {"CaptureScreen", [](Router& r) { return r.CaptureScreen(false); }},
        {"Close", [](Router& r) { return r.Close(), true; }},
        {"lastProblems", [](Router& r) { return r.lastProblems().size() == 1; }},
        {"lastNotes", [](Router& r) { return r.lastNotes().size() == 1; }},
        {"cannotKeep", [&](Router& r) { return is(r.cannotKeep(), "cannotKeep"); }},
        {"forwardsKeptHere", [](Router& r) { return r.forwardsKeptHere() == 16; }},
        {"forwardsHeld", [](Router& r) { return r.forwardsHeld() == 12; }},
        {"lastPinholes", [](Router& r) { return r.lastPinholes() == 12; }},
    };
    for (const auto& row : rows) {
        found.calls.clear();
        EXPECT_TRUE(row.call(router)) << row.name;
        EXPECT_EQ(found.calls, QStringList{QLatin1String(row.name)}) << row.name;
    }
    EXPECT_EQ(router.kindName(), QStringLiteral("auto"));
    EXPECT_EQ(router.foundKind(), QStringLiteral("pcp"));
}
