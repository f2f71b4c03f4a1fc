#include "config/Settings.h"
#include "router/AppList.h"
#include "router/MappingPlan.h"
#include "router/RouterKinds.h"

#include <gtest/gtest.h>

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
