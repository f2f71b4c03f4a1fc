// SPDX-License-Identifier: GPL-3.0-or-later
#include "router/pcpnatpmp/PcpNatPmpRouter.h"
#include "KindRig.h"
#include "Module.h"
#include "PcpNatPmpSimulator.h"
#include "RecordingPrompts.h"
#include "RecordingView.h"
#include "UpnpSimulator.h"
#include "platform/Clock.h"
#include "platform/EventPump.h"
#include "platform/RouterSocket.h"
#include "router/AutoRouter.h"
#include "router/RouterKinds.h"
#include "router/RouterMemory.h"
#include "router/web/RouterLink.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

namespace {

// A PCP / NAT-PMP router kind on the simulated router, with a clock the test moves.
struct PcpNatPmpRig : KindRig {
    explicit PcpNatPmpRig(PcpNatPmpSimOptions simOptions = {},
                          const QString& kind = QStringLiteral("pcp"))
        : sim(std::move(simOptions)) {
        sim.setClock([this] { return clock.t.toSecsSinceEpoch(); });
        EXPECT_TRUE(sim.listen());
        module.settings.RouterKind = kind;
        module.settings.LanPrivateIP = QStringLiteral("127.0.0.1:%1").arg(sim.port());
    }
    std::unique_ptr<Router> make(const QString& kind, const QString& routeFile = {}) {
        if (kind == QLatin1String("auto"))
            return std::make_unique<AutoRouter>(deps(), routeFile, quickUpnp(), quickPcpNatPmp());
        return std::make_unique<PcpNatPmpRouter>(
            deps(), kind == QLatin1String("pcp") ? PcpNatPmpMode::Pcp : PcpNatPmpMode::NatPmpOnly,
            quickPcpNatPmp(), routeFile);
    }

    PcpNatPmpSimulator sim;
};

} // namespace

TEST(PcpNatPmpKind, ForwardsRecordsListsAndClearsOnEitherProtocol) {
    const struct {
        bool pcpRouter;
        const char* kind;
        const char* found;
    } rows[] = {{true, "pcp", "PCP"}, {false, "pcp", "NAT-PMP"}, {true, "natpmp", "NAT-PMP"}};
    for (const auto& r : rows) {
        PcpNatPmpSimOptions o;
        o.pcp = r.pcpRouter;
        PcpNatPmpRig rig(o, QString::fromLatin1(r.kind));
        rig.addApp(QStringLiteral("Game"), ProtocolBoth, 27015, 27016);
        auto router = rig.make(QString::fromLatin1(r.kind));
        router->Timer1_Timer();
        ASSERT_TRUE(rig.module.RouterFound) << r.kind;
        EXPECT_EQ(rig.view.wanAddress, QStringLiteral("11.22.33.44"));
        EXPECT_TRUE(rig.view.statusBar.startsWith(QString::fromLatin1(r.found))) << r.kind;

        router->PointToMe();
        EXPECT_EQ(rig.view.status, QStringLiteral("Completed")) << r.kind;
        EXPECT_EQ(rig.sim.mappings().size(), 4);
        const auto rows = router->ReadForwards();
        ASSERT_TRUE(rows);
        ASSERT_EQ(rows->size(), 4);
        EXPECT_EQ(rows->front().secondsLeft, 7200);
        EXPECT_FALSE(router->capabilities().dmz);

        EXPECT_TRUE(router->ClearAll());
        EXPECT_TRUE(rig.sim.mappings().isEmpty()) << r.kind;
        EXPECT_TRUE(router->ReadForwards()->isEmpty());
    }
}

TEST(PcpNatPmpKind, AnotherOutsidePortIsToldAndOneForwardCanBeRemoved) {
    PcpNatPmpRig rig;
    rig.sim.addMapping({QHostAddress(QStringLiteral("10.0.0.9")),
                        17,
                        27015,
                        27015,
                        {},
                        7200,
                        rig.clock.t.toSecsSinceEpoch() + 7200});
    rig.addApp(QStringLiteral("Game"), ProtocolUdp, 27015, 27015);
    auto router = rig.make(QStringLiteral("pcp"));
    router->Timer1_Timer();
    router->PointToMe();
    EXPECT_EQ(rig.view.status, QStringLiteral("Completed"));
    EXPECT_EQ(
        router->lastNotes(),
        QStringList{QStringLiteral("27015/UDP reaches this computer through outside port 27016.")});
    const auto rows = router->ReadForwards();
    ASSERT_TRUE(rows);
    ASSERT_EQ(rows->size(), 1);
    EXPECT_TRUE(router->RemoveForward(rows->front()));
    ASSERT_EQ(rig.sim.mappings().size(), 1);
    EXPECT_EQ(rig.sim.mappings()[0].externalPort, 27015);
    EXPECT_TRUE(router->ReadForwards()->isEmpty());
}

TEST(PcpNatPmpKind, RenewsBeforeHalfTheLeaseAndHealsARouterRestart) {
    PcpNatPmpSimOptions o;
    o.lifetimeMax = 600;
    PcpNatPmpRig rig(o);
    rig.addApp(QStringLiteral("Game"), ProtocolUdp, 27015, 27015);
    auto router = rig.make(QStringLiteral("pcp"));
    auto* pcpNatPmp = static_cast<PcpNatPmpRouter*>(router.get());
    pcpNatPmp->random = [] { return 0.0; }; // renewals at exactly half the lease
    router->Timer1_Timer();
    router->PointToMe();
    ASSERT_EQ(pcpNatPmp->held().size(), 1);
    EXPECT_EQ(pcpNatPmp->held()[0].lifetime, 600u);
    const QDateTime firstEnd = pcpNatPmp->held()[0].leaseEnd;

    rig.clock.t = rig.clock.t.addSecs(299);
    router->Timer1_Timer();
    EXPECT_EQ(pcpNatPmp->held()[0].leaseEnd, firstEnd); // not yet due

    rig.clock.t = rig.clock.t.addSecs(2);
    router->Timer1_Timer();
    EXPECT_GT(pcpNatPmp->held()[0].leaseEnd, firstEnd);

    // The router restarts and forgets everything; the next check makes it again.
    rig.sim.restart();
    ASSERT_TRUE(rig.sim.mappings().isEmpty());
    rig.clock.t = rig.clock.t.addSecs(Keeper::CheckSeconds);
    router->Timer1_Timer();
    EXPECT_EQ(rig.sim.mappings().size(), 1);
    EXPECT_EQ(rig.view.status, QStringLiteral("Completed"));

    // Restarted again, and this time the renewal is what notices it.
    rig.addApp(QStringLiteral("Voice"), ProtocolTcp, 9987, 9987);
    router->PointToMe();
    ASSERT_EQ(rig.sim.mappings().size(), 2);
    rig.sim.restart();
    rig.clock.t = rig.clock.t.addSecs(301);
    router->Timer1_Timer();
    EXPECT_EQ(rig.view.status, QStringLiteral("Completed"));
    EXPECT_EQ(rig.sim.mappings().size(), 2);
}

TEST(PcpNatPmpKind, ARefusedPortIsExplainedAndTheRestHolds) {
    PcpNatPmpSimOptions o;
    o.refusePort = 4000;
    PcpNatPmpRig rig(o);
    rig.addApp(QStringLiteral("Refused"), ProtocolTcp, 4000, 4000);
    rig.addApp(QStringLiteral("Fine"), ProtocolTcp, 5000, 5000);
    auto router = rig.make(QStringLiteral("pcp"));
    router->Timer1_Timer();
    router->PointToMe();
    EXPECT_EQ(rig.view.status, QStringLiteral("Error"));
    EXPECT_EQ(router->lastOutcome(), Outcome::Error);
    ASSERT_EQ(router->lastProblems().size(), 1);
    EXPECT_TRUE(router->lastProblems()[0].contains(QStringLiteral("4000")));
    EXPECT_EQ(rig.sim.mappings().size(), 1);
}

TEST(PcpNatPmpKind, TheDefaultGatewayIsTheRouterWhenNoAddressIsSet) {
    // A routing table of the test's own, whose gateway is a loopback address.
    PcpNatPmpRig rig;
    PcpNatPmpSimulator gateway;
    gateway.setClock([&] { return rig.clock.t.toSecsSinceEpoch(); });
    if (!gateway.listen(QHostAddress(QStringLiteral("127.0.0.77")), PcpNatPmpDefaultPort))
        GTEST_SKIP() << "127.0.0.77:5351 is taken";
    const QString routes = rig.home.filePath(QStringLiteral("route"));
    QFile f(routes);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\tWindow\tIRTT\n"
            "lo\t00000000\t4D00007F\t0003\t0\t0\t0\t00000000\t0\t0\t0\n");
    f.close();
    rig.module.settings.LanPrivateIP.clear();
    auto router = rig.make(QStringLiteral("pcp"), routes);
    router->Timer1_Timer();
    EXPECT_TRUE(rig.module.RouterFound);
    EXPECT_TRUE(rig.view.statusBar.contains(QStringLiteral("127.0.0.77")));
}

// The probe's answer is the picked kind's first look: the router is asked for its address
// once (PCP's ANNOUNCE beside NAT-PMP's request), not again by the kind picked. A search started
// before the window (StartEarly) is the first look's when it asked the router the settings name;
// otherwise the look asks afresh.
TEST(AutoKind, PickedKindTakesTheProbesAnswer) {
    const struct {
        bool pcpRouter;
        const char* early; // StartEarly's address: "" none, "=" the configured one
    } rows[] = {{true, ""}, {false, ""}, {true, "="}, {true, "127.0.0.1:9"}};
    for (const auto& r : rows) {
        const bool pcpRouter = r.pcpRouter;
        QTemporaryDir dir;
        PcpNatPmpSimOptions o;
        o.pcp = pcpRouter;
        o.logPath = dir.filePath(QStringLiteral("heard"));
        PcpNatPmpRig rig(o);
        const QString early = QString::fromLatin1(r.early);
        if (!early.isEmpty()) {
            const bool same = early == QLatin1String("=");
            AutoRouter::StartEarly(rig.module.paths.IniPath,
                                   same ? rig.module.settings.LanPrivateIP : early);
            // The window is built meanwhile: the search is out before the first look.
            for (int i = 0; same && i < 400 && rig.sim.datagramsReceived() < 2; ++i) {
                QCoreApplication::processEvents();
                QThread::msleep(5);
            }
        }
        // The program's own, with the default options StartEarly uses.
        auto router = early.isEmpty() ? rig.make(QStringLiteral("auto"))
                                      : std::make_unique<AutoRouter>(rig.deps());
        router->Timer1_Timer();
        ASSERT_TRUE(rig.module.RouterFound) << pcpRouter;
        EXPECT_EQ(rig.view.wanAddress, QStringLiteral("11.22.33.44"));
        EXPECT_EQ(rig.module.LocalIpAddress, QStringLiteral("127.0.0.1"));
        QFile heard(o.logPath);
        ASSERT_TRUE(heard.open(QIODevice::ReadOnly));
        int announces = 0;
        int natPmpAsks = 0;
        for (const QByteArray& line : heard.readAll().split('\n')) {
            announces += line.startsWith("02 00 ") ? 1 : 0;
            natPmpAsks += line.trimmed() == "00 00" ? 1 : 0;
        }
        EXPECT_EQ(announces, 1) << pcpRouter << r.early;
        EXPECT_EQ(natPmpAsks, 1) << pcpRouter << r.early;
    }
}

TEST(AutoKind, FindsWhicheverProtocolTheRouterSpeaksUpnpFirst) {
    {
        PcpNatPmpRig rig;
        auto router = rig.make(QStringLiteral("auto"));
        router->Timer1_Timer();
        EXPECT_EQ(static_cast<AutoRouter*>(router.get())->foundKind(), QStringLiteral("pcp"));
        EXPECT_TRUE(rig.view.statusBar.contains(QStringLiteral("found by itself")));
        EXPECT_EQ(router->lastOutcome(), Outcome::Completed);
    }
    {
        PcpNatPmpRig rig;
        UpnpSimulator upnp;
        ASSERT_TRUE(upnp.listen());
        rig.module.settings.LanPrivateIP = QStringLiteral("127.0.0.1:%1").arg(upnp.ssdpPort());
        auto router = rig.make(QStringLiteral("auto"));
        router->Timer1_Timer();
        EXPECT_EQ(static_cast<AutoRouter*>(router.get())->foundKind(), QStringLiteral("upnp"));
    }
    {
        PcpNatPmpSimOptions o;
        o.silent = true;
        PcpNatPmpRig rig(o);
        auto router = rig.make(QStringLiteral("auto"));
        router->Timer1_Timer();
        EXPECT_EQ(rig.view.exits, 1);
        EXPECT_EQ(router->lastOutcome(), Outcome::Failed);
        EXPECT_FALSE(router->lastProblems().isEmpty());
    }
}

TEST(AutoKind, RemembersTheKindFoundForTheNextStart) {
    for (const bool pcpRouter : {true, false}) {
        const QString kind = pcpRouter ? QStringLiteral("pcp") : QStringLiteral("natpmp");
        PcpNatPmpSimOptions o;
        o.pcp = pcpRouter;
        PcpNatPmpRig rig(o);
        const RouterMemory memory(RouterMemory::pathFor(rig.module.paths.IniPath));
        for (int start = 0; start < 2; ++start) {
            rig.module.StatusQueryPending = true;
            auto router = rig.make(QStringLiteral("auto"));
            router->Timer1_Timer();
            EXPECT_EQ(static_cast<AutoRouter*>(router.get())->foundKind(), kind);
            EXPECT_EQ(memory.load(QStringLiteral("auto"), rig.module.settings.LanPrivateIP)
                          .value(QStringLiteral("kind")),
                      kind)
                << start;
        }
    }
}

// NAT-PMP has no IPv6: where this computer has a global IPv6 address, Point To Me says that
// nothing was opened for it; PCP, or a computer without one, hears nothing of it.
TEST(PcpNatPmpKind, NatPmpSaysItCannotOpenIpv6Pinholes) {
    QTemporaryDir dir;
    const QString withGlobal = dir.filePath(QStringLiteral("if_inet6"));
    QFile f(withGlobal);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("2a0102030000000000000000000000aa 02 40 00 80     eth0\n"
            "fe800000000000000000000000000001 02 40 20 80     eth0\n");
    f.close();
    const struct {
        bool pcpRouter;
        const char* kind;
        QString inet6;
        bool told;
    } rows[] = {{false, "natpmp", withGlobal, true},
                {false, "pcp", withGlobal, true}, // a PCP kind that fell back to NAT-PMP
                {true, "pcp", withGlobal, false},
                {false, "natpmp", dir.filePath(QStringLiteral("none")), false}};
    for (const auto& r : rows) {
        PcpNatPmpSimOptions o;
        o.pcp = r.pcpRouter;
        PcpNatPmpRig rig(o, QString::fromLatin1(r.kind));
        rig.addApp(QStringLiteral("Game"), ProtocolTcp, 27015, 27015);
        PcpNatPmpOptions po = quickPcpNatPmp();
        po.ifInet6Path = r.inet6;
        PcpNatPmpRouter router(rig.deps(),
                               r.pcpRouter || QLatin1String(r.kind) == QLatin1String("pcp")
                                   ? PcpNatPmpMode::Pcp
                                   : PcpNatPmpMode::NatPmpOnly,
                               po);
        router.Timer1_Timer();
        router.PointToMe();
        EXPECT_EQ(rig.view.status, QStringLiteral("Completed")) << r.kind;
        EXPECT_EQ(router.lastNotes().filter(QStringLiteral("NAT-PMP cannot open IPv6 pinholes")),
                  r.told ? QStringList{QStringLiteral(
                               "NAT-PMP cannot open IPv6 pinholes: connections from outside to "
                               "this computer's IPv6 address 2a01:203::aa stay blocked by the "
                               "router's firewall.")}
                         : QStringList{})
            << r.kind << " " << r.pcpRouter;
    }
}

// PCP opens a pinhole for this computer's IPv6 address beside each forward: recorded with its
// nonce, listed, renewed with the same MAP, opened again after a restart, closed by Clear All.
TEST(PcpNatPmpKind, PcpPinholesOpenedRenewedAfterARestartAndCleared) {
    PcpNatPmpSimOptions so;
    so.ipv6 = true;
    PcpNatPmpRig rig(so);
    rig.addApp(QStringLiteral("Media Server"), ProtocolTcp, 8096, 8096);
    PcpNatPmpOptions po = quickPcpNatPmp();
    po.pinholeAddress = po.router6 = QHostAddress(QHostAddress::LocalHostIPv6);
    PcpNatPmpRouter router(rig.deps(), PcpNatPmpMode::Pcp, po);
    router.Timer1_Timer();
    router.PointToMe();
    EXPECT_EQ(rig.view.status, QStringLiteral("Completed"));
    const auto pinholesOnRouter = [&] {
        QList<PcpNatPmpMapping> out;
        for (const PcpNatPmpMapping& m : rig.sim.mappings())
            if (m.client.protocol() == QAbstractSocket::IPv6Protocol)
                out << m;
        return out;
    };
    ASSERT_EQ(pinholesOnRouter().size(), 1);
    EXPECT_EQ(pinholesOnRouter()[0].externalPort, 8096);
    const LeaseRecord record(LeasePathFor(rig.module.paths.IniPath));
    const auto line = [&]() -> std::optional<LeaseEntry> {
        for (const LeaseEntry& e : record.load())
            if (e.kind == QLatin1String("pinhole6"))
                return e;
        return std::nullopt;
    };
    ASSERT_TRUE(line());
    EXPECT_EQ(line()->nonce, pinholesOnRouter()[0].nonce);
    EXPECT_EQ(line()->address, QStringLiteral("::1"));
    const auto rows = router.ReadForwards();
    ASSERT_TRUE(rows && rows->size() == 2);
    EXPECT_TRUE(rows->back().pinhole);
    const PlannedMapping media{8096, QStringLiteral("TCP"), QStringLiteral("Media Server"), {}};
    EXPECT_EQ(router.HoldsPinhole(media), true); // the check's "IPv6 pinhole open"

    rig.sim.restart();
    rig.clock.t = rig.clock.t.addSecs(Keeper::CheckSeconds + 1);
    router.KeepAlive();
    ASSERT_EQ(pinholesOnRouter().size(), 1);
    EXPECT_EQ(pinholesOnRouter()[0].nonce, line()->nonce);

    EXPECT_TRUE(router.ClearAll());
    EXPECT_TRUE(rig.sim.mappings().isEmpty());
    EXPECT_FALSE(line());
    EXPECT_EQ(router.HoldsPinhole(media), std::nullopt);
}

// A router that will not delete a renewed pinhole (miniupnpd 2.3.1): Clear All Points lets it
// lapse on the shortest lease, says so, and the record lets it go once the lease is over.
TEST(PcpNatPmpKind, APinholeTheRouterWillNotDeleteIsLetLapseOnTheShortestLease) {
    PcpNatPmpSimOptions so;
    so.ipv6 = true;
    so.renewedPinholeStays = true;
    PcpNatPmpRig rig(so);
    rig.addApp(QStringLiteral("Media Server"), ProtocolTcp, 8096, 8096);
    PcpNatPmpOptions po = quickPcpNatPmp();
    po.pinholeAddress = po.router6 = QHostAddress(QHostAddress::LocalHostIPv6);
    PcpNatPmpRouter router(rig.deps(), PcpNatPmpMode::Pcp, po);
    router.Timer1_Timer();
    router.PointToMe();
    rig.clock.t = rig.clock.t.addSecs(PcpNatPmpRouter::AskedLifetime / 2 + 1);
    router.KeepAlive();
    const auto pinhole = [&]() -> std::optional<PcpNatPmpMapping> {
        for (const PcpNatPmpMapping& m : rig.sim.mappings())
            if (m.client.protocol() == QAbstractSocket::IPv6Protocol)
                return m;
        return std::nullopt;
    };
    ASSERT_TRUE(pinhole() && pinhole()->renewed);

    EXPECT_TRUE(router.ClearAll());
    ASSERT_TRUE(pinhole());
    EXPECT_EQ(pinhole()->lifetime, PcpNatPmpRouter::ShortestLifetime);
    ASSERT_FALSE(rig.prompts.boxes.isEmpty());
    EXPECT_TRUE(rig.prompts.boxes.back().text.contains(QStringLiteral("closes by itself in 120 s")))
        << rig.prompts.boxes.back().text.toStdString();
    const LeaseRecord record(LeasePathFor(rig.module.paths.IniPath));
    ASSERT_EQ(record.load().size(), 1);
    EXPECT_EQ(record.load()[0].state, LeaseEntry::State::Clearing);

    rig.clock.t = rig.clock.t.addSecs(PcpNatPmpRouter::ShortestLifetime + Keeper::CheckSeconds);
    router.KeepAlive();
    EXPECT_FALSE(pinhole());
    EXPECT_TRUE(record.load().isEmpty());
}

// Where the IPv6 router answers PCP, this computer's IPv6 address is the way in: the WAN area
// shows it, and the warning for a WAN address the internet cannot reach says so. Where it
// does not answer over IPv6, nothing is claimed.
TEST(PcpNatPmpKind, TheWanAreaShowsTheIpv6WayInWhereThePcpServerAnswersOverIpv6) {
    for (const bool ipv6 : {true, false}) {
        SCOPED_TRACE(ipv6 ? "answers over IPv6" : "IPv4 only");
        PcpNatPmpSimOptions so;
        so.ipv6 = ipv6;
        so.externalIp = QStringLiteral("100.64.0.7"); // behind the provider's NAT
        PcpNatPmpRig rig(so);
        PcpNatPmpOptions po = quickPcpNatPmp();
        po.pinholeAddress = po.router6 = QHostAddress(QHostAddress::LocalHostIPv6);
        PcpNatPmpRouter router(rig.deps(), PcpNatPmpMode::Pcp, po);
        router.Timer1_Timer();
        ASSERT_TRUE(rig.module.RouterFound);
        if (ipv6) {
            EXPECT_EQ(rig.view.wanAddress, QStringLiteral("100.64.0.7, IPv6 ::1"));
            EXPECT_TRUE(router.wanWarning().startsWith(
                QStringLiteral("Reachable over IPv6 at ::1; IPv4 forwards cannot reach")))
                << router.wanWarning().toStdString();
        } else {
            EXPECT_EQ(rig.view.wanAddress, QStringLiteral("100.64.0.7"));
            EXPECT_FALSE(router.wanWarning().contains(QStringLiteral("IPv6")));
        }
    }
}
