// What the one keeper must never do, tried as a careless user and an attacker would.

#include "KindRig.h"
#include "PxpSimulator.h"
#include "UpnpSimulator.h"
#include "router/leases/LeaseRecord.h"
#include "router/pxp/PxpRouter.h"
#include "router/upnp/UpnpRouter.h"

#include <QDir>

#include <gtest/gtest.h>

namespace {

QString recordPath(KindRig& rig) {
    return LeasePathFor(rig.module.paths.IniPath);
}

std::unique_ptr<Router> startedOn(KindRig& rig, bool upnp, quint16 port) {
    rig.module.settings.LanPrivateIP = QStringLiteral("127.0.0.1:%1").arg(port);
    std::unique_ptr<Router> r;
    if (upnp)
        r = std::make_unique<UpnpRouter>(rig.deps(), quickUpnp());
    else
        r = std::make_unique<PxpRouter>(rig.deps(), PxpMode::Pcp, quickPxp());
    rig.module.StatusQueryPending = true;
    r->Timer1_Timer();
    return r;
}

} // namespace

// A forward that cannot be recorded is not made: nothing would keep or clear it.
TEST(KeeperFaults, NothingIsMadeThatCannotBeRecorded) {
    for (const bool upnp : {true, false}) {
        KindRig rig;
        UpnpSimulator igd;
        PxpSimulator pcp;
        ASSERT_TRUE(upnp ? igd.listen() : pcp.listen());
        auto r = startedOn(rig, upnp, upnp ? igd.ssdpPort() : pcp.port());
        ASSERT_TRUE(rig.module.RouterFound) << upnp;
        // The record's place is taken by a folder: it can be neither read nor written.
        ASSERT_TRUE(QDir().mkpath(recordPath(rig)));
        rig.addApp(QStringLiteral("Game"), ProtocolTcp, 27015, 27015);
        r->PointToMe();
        EXPECT_EQ(rig.view.status, QStringLiteral("Error")) << upnp;
        EXPECT_TRUE(upnp ? igd.mappings().isEmpty() : pcp.mappings().isEmpty()) << upnp;
        ASSERT_FALSE(r->lastProblems().isEmpty()) << upnp;
        EXPECT_TRUE(r->lastProblems()[0].contains(QStringLiteral("not made"))) << upnp;
    }
}

// Clear All Points removes only what the router shows as this computer's and Harborly's: a
// port taken by another computer or program since stays, and leaves the record.
TEST(KeeperFaults, ClearLeavesWhatIsNoLongerHarborlysOnARecordedPort) {
    const struct {
        const char* client;
        const char* description;
    } rows[] = {{"10.0.0.9", "Harborly: Game"}, {"127.0.0.1", "another program"}};
    for (const auto& row : rows) {
        KindRig rig;
        UpnpSimOptions o;
        o.secureMode = false; // a router that lets anyone delete
        UpnpSimulator igd(o);
        ASSERT_TRUE(igd.listen());
        // Harborly once held TCP 27015; since then someone else does.
        UpnpMapping other{{},
                          27015,
                          QStringLiteral("TCP"),
                          27015,
                          QString::fromLatin1(row.client),
                          true,
                          QString::fromLatin1(row.description),
                          0,
                          0};
        igd.addMapping(other);
        auto r = startedOn(rig, true, igd.ssdpPort());
        LeaseEntry once;
        once.router = QStringLiteral("127.0.0.1");
        once.kind = QStringLiteral("upnp");
        once.protocol = QStringLiteral("TCP");
        once.externalPort = once.internalPort = 27015;
        once.application = QStringLiteral("Game");
        ASSERT_TRUE(LeaseRecord(recordPath(rig)).put(once));
        EXPECT_TRUE(r->ClearAll()) << row.client;
        ASSERT_EQ(igd.mappings().size(), 1) << row.client;
        EXPECT_EQ(igd.mappings()[0].internalClient, other.internalClient);
        EXPECT_TRUE(LeaseRecord(recordPath(rig)).load().isEmpty()) << row.client;
        EXPECT_TRUE(r->lastNotes().join(' ').contains(QStringLiteral("left in place")));
    }
}
