// SPDX-License-Identifier: GPL-3.0-or-later
// What the one keeper must never do, tried as a careless user and an attacker would.

#include "KindRig.h"
#include "PcpNatPmpSimulator.h"
#include "UpnpSimulator.h"
#include "router/RouterMemory.h"
#include "router/leases/LeaseRecord.h"
#include "router/pcpnatpmp/PcpNatPmpRouter.h"
#include "router/upnp/UpnpRouter.h"

#include <QDir>
#include <QFile>

#include <algorithm>

#include <gtest/gtest.h>

namespace {

QString recordPath(KindRig& rig) {
    return LeasePathFor(rig.module.paths.IniPath);
}

// `pinholes`: this computer has ::1 to open IPv6 pinholes for, on the router's [::1].
std::unique_ptr<Router> startedOn(KindRig& rig, bool upnp, quint16 port, bool pinholes = false) {
    rig.module.settings.LanPrivateIP = QStringLiteral("127.0.0.1:%1").arg(port);
    const QHostAddress six = pinholes ? QHostAddress(QHostAddress::LocalHostIPv6) : QHostAddress();
    std::unique_ptr<Router> r;
    if (upnp) {
        UpnpOptions o = quickUpnp();
        o.pinholeAddress = o.router6 = six;
        r = std::make_unique<UpnpRouter>(rig.deps(), o);
    } else {
        PcpNatPmpOptions o = quickPcpNatPmp();
        o.pinholeAddress = o.router6 = six;
        r = std::make_unique<PcpNatPmpRouter>(rig.deps(), PcpNatPmpMode::Pcp, o);
    }
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
        PcpNatPmpSimulator pcp;
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

// A router that answers a delete with success and keeps the forward: Clear All says so, and the
// line stays held, to be kept and cleared again, not dropped as if it were gone.
TEST(KeeperFaults, ADeleteTheRouterIgnoresIsAnErrorAndTheLineStaysHeld) {
    KindRig rig;
    UpnpSimOptions o;
    o.deleteIgnored = true;
    UpnpSimulator igd(o);
    ASSERT_TRUE(igd.listen());
    auto r = startedOn(rig, true, igd.ssdpPort());
    rig.addApp(QStringLiteral("Game"), ProtocolTcp, 27015, 27015);
    r->PointToMe();
    ASSERT_EQ(igd.mappings().size(), 1);
    EXPECT_FALSE(r->ClearAll());
    EXPECT_EQ(rig.view.status, QStringLiteral("Error"));
    EXPECT_EQ(igd.mappings().size(), 1);
    const QList<LeaseEntry> lines = LeaseRecord(recordPath(rig)).load();
    ASSERT_EQ(lines.size(), 1);
    EXPECT_EQ(lines[0].externalPort, 27015);
    EXPECT_EQ(lines[0].state, LeaseEntry::State::Held);
    EXPECT_TRUE(r->lastProblems().join(' ').contains(QStringLiteral("still holds it")));
    // Removed by hand (View Points, `remove`): the same.
    const auto rows = r->ReadForwards();
    ASSERT_TRUE(rows && !rows->isEmpty());
    EXPECT_FALSE(r->RemoveForward(rows->first()));
    EXPECT_EQ(igd.mappings().size(), 1);
    EXPECT_TRUE(r->lastProblems().join(' ').contains(QStringLiteral("still holds it")));
}

// A forward removed by hand takes its IPv6 pinhole with it: nothing left open, nothing renewed.
TEST(KeeperFaults, RemovingAForwardClosesItsPinhole) {
    for (const bool upnp : {true, false}) {
        SCOPED_TRACE(upnp ? "upnp" : "pcp");
        KindRig rig;
        UpnpSimOptions uo;
        uo.ipv6 = true;
        UpnpSimulator igd(uo);
        PcpNatPmpSimOptions po;
        po.ipv6 = true;
        PcpNatPmpSimulator pcp(po);
        igd.setClock([&rig] { return rig.clock.t.toSecsSinceEpoch(); });
        pcp.setClock([&rig] { return rig.clock.t.toSecsSinceEpoch(); });
        ASSERT_TRUE(upnp ? igd.listen() : pcp.listen());
        auto r = startedOn(rig, upnp, upnp ? igd.ssdpPort() : pcp.port(), true);
        rig.addApp(QStringLiteral("Media Server"), ProtocolTcp, 8096, 8096);
        r->PointToMe();
        const auto pinholes = [&] {
            qsizetype n = upnp ? igd.pinholes().size() : 0;
            for (const PcpNatPmpMapping& m : pcp.mappings())
                n += m.client.protocol() == QAbstractSocket::IPv6Protocol;
            return n;
        };
        const auto pinholeLines = [&] {
            qsizetype n = 0;
            for (const LeaseEntry& e : LeaseRecord(recordPath(rig)).load())
                n += e.kind == QLatin1String("pinhole6");
            return n;
        };
        ASSERT_EQ(pinholes(), 1);
        ASSERT_EQ(pinholeLines(), 1);
        const auto rows = r->ReadForwards();
        ASSERT_TRUE(rows);
        const auto forward = std::find_if(rows->begin(), rows->end(), [](const ForwardEntry& f) {
            return !f.pinhole && f.externalPort == 8096;
        });
        ASSERT_NE(forward, rows->end());
        EXPECT_TRUE(r->RemoveForward(*forward));
        EXPECT_EQ(rig.view.status, QStringLiteral("Completed"));
        EXPECT_EQ(pinholeLines(), 0);
        EXPECT_EQ(pinholes(), 0);
        rig.clock.t = rig.clock.t.addSecs(Keeper::CheckSeconds + 1);
        r->Timer1_Timer();
        EXPECT_EQ(pinholes(), 0);
        EXPECT_TRUE(LeaseRecord(recordPath(rig)).load().isEmpty());
    }
}

// PCP: the mapping's line, with the nonce it is asked with, is in the record while the router
// makes it, so a point killed before the answer is recorded leaves what clear needs to remove it.
TEST(KeeperFaults, APcpPointKilledAfterTheRouterAnsweredLeavesWhatClearRemoves) {
    KindRig rig;
    PcpNatPmpSimulator pcp;
    const LeaseRecord record(recordPath(rig));
    QList<QList<LeaseEntry>> seen; // the record whenever the router looks at its clock
    pcp.setClock([&] {
        seen << record.load();
        return rig.clock.t.toSecsSinceEpoch();
    });
    ASSERT_TRUE(pcp.listen());
    auto r = startedOn(rig, false, pcp.port());
    rig.addApp(QStringLiteral("Game"), ProtocolUdp, 27015, 27015);
    seen.clear();
    r->PointToMe();
    const QList<PcpNatPmpMapping> held = pcp.mappings();
    ASSERT_EQ(held.size(), 1);
    ASSERT_EQ(held[0].nonce.size(), 12);
    // The record as a kill between the router's answer and the record's update leaves it.
    const auto killed = std::find_if(seen.begin(), seen.end(), [&](const QList<LeaseEntry>& s) {
        return s.size() == 1 && s[0].internalPort == 27015 &&
               s[0].state == LeaseEntry::State::Unsure && s[0].nonce == held[0].nonce;
    });
    ASSERT_NE(killed, seen.end()) << "no intent line with the mapping's nonce during the request";
    ASSERT_TRUE(record.update([&](QList<LeaseEntry>& entries) { entries = *killed; }));

    r = startedOn(rig, false, pcp.port()); // the next run
    EXPECT_TRUE(r->ClearAll());
    EXPECT_TRUE(pcp.mappings().isEmpty());
    EXPECT_TRUE(record.load().isEmpty());
}

// Another router at the address the forwards were made on (another network, a replaced box)
// is not asked to hold them, and the name shown is its own, not the remembered one's.
TEST(KeeperFaults, AnotherRouterAtTheSameAddressIsLeftAlone) {
    KindRig rig;
    UpnpSimulator igd;
    ASSERT_TRUE(igd.listen());
    {
        auto first = startedOn(rig, true, igd.ssdpPort());
        ASSERT_TRUE(rig.module.RouterFound);
    }
    // What the last run remembered and recorded was another device's.
    const QString memory = RouterMemory::pathFor(rig.module.paths.IniPath);
    QFile file(memory);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QByteArray text = file.readAll();
    file.close();
    text.replace(UpnpSimulator::udn().toUtf8(), "uuid:the-old-router");
    text.replace("upnp.friendlyname=", "upnp.friendlyname=Old Box ");
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(text);
    file.close();
    LeaseEntry old;
    old.router = QStringLiteral("127.0.0.1");
    old.routerId = QStringLiteral("uuid:the-old-router");
    old.kind = QStringLiteral("upnp");
    old.protocol = QStringLiteral("TCP");
    old.externalPort = old.internalPort = 27015;
    old.lifetime = 3600;
    old.leaseEnd = rig.clock.t.addSecs(60).toUTC(); // due at once
    old.application = QStringLiteral("Game");
    ASSERT_TRUE(LeaseRecord(recordPath(rig)).put(old));

    auto r = startedOn(rig, true, igd.ssdpPort());
    EXPECT_FALSE(r->routerDescription().contains(QStringLiteral("Old Box")));
    rig.clock.t = rig.clock.t.addSecs(600);
    r->Timer1_Timer();
    EXPECT_TRUE(r->ClearAll());
    EXPECT_TRUE(igd.mappings().isEmpty());
    EXPECT_EQ(LeaseRecord(recordPath(rig)).load(), QList<LeaseEntry>{old});
    const auto said = std::any_of(
        rig.view.answeringHistory.begin(), rig.view.answeringHistory.end(),
        [](const auto& a) { return a.second.contains(QStringLiteral("another router")); });
    EXPECT_TRUE(said);
}

// A forward made again by the check: when the router refuses it after the delete, the line
// stays held, so that it is made again later, never dropped; once the router takes it again,
// the same repair makes it and the record keeps it.
TEST(KeeperFaults, AForwardTheRouterRefusesToMakeAgainStaysHeld) {
    const PlannedMapping game{27015, QStringLiteral("TCP"), QStringLiteral("Game"),
                              QStringLiteral("Harborly: Game")};
    for (const bool upnp : {true, false}) {
        KindRig rig;
        UpnpSimulator igd;
        PcpNatPmpSimulator pcp;
        ASSERT_TRUE(upnp ? igd.listen() : pcp.listen());
        auto r = startedOn(rig, upnp, upnp ? igd.ssdpPort() : pcp.port());
        rig.addApp(QStringLiteral("Game"), ProtocolTcp, 27015, 27015);
        r->PointToMe();
        const auto held = [&] { return upnp ? igd.mappings().size() : pcp.mappings().size(); };
        ASSERT_EQ(held(), 1) << upnp;
        UpnpSimOptions full = igd.options();
        full.maxMappings = 0;
        PcpNatPmpSimOptions refusing = pcp.options();
        refusing.refusePort = 27015;
        upnp ? igd.setOptions(full) : pcp.setOptions(refusing);

        EXPECT_FALSE(r->RemakeForward(game)) << upnp;
        EXPECT_FALSE(r->lastProblems().isEmpty()) << upnp;
        EXPECT_EQ(held(), 0) << upnp;
        QList<LeaseEntry> lines = LeaseRecord(recordPath(rig)).load();
        ASSERT_EQ(lines.size(), 1) << upnp;
        EXPECT_EQ(lines[0].state, LeaseEntry::State::Held) << upnp;

        full.maxMappings = 128;
        refusing.refusePort = 0;
        upnp ? igd.setOptions(full) : pcp.setOptions(refusing);
        EXPECT_TRUE(r->RemakeForward(game)) << upnp;
        EXPECT_EQ(held(), 1) << upnp;
        lines = LeaseRecord(recordPath(rig)).load();
        ASSERT_EQ(lines.size(), 1) << upnp;
        EXPECT_EQ(lines[0].state, LeaseEntry::State::Held) << upnp;
    }
}
