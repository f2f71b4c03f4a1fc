// SPDX-License-Identifier: GPL-3.0-or-later
// IPv6 pinholes on the simulated IGD:2 with --ipv6: the service found in the description, its
// control reached on [::1] from the pinhole's own address, the lease kept up, the refusals in
// words.
#include "config/Configuration.h"
#include "router/check/PortCheck.h"
#include "router/leases/LeaseRecord.h"
#include "router/pcpnatpmp/PcpNatPmpRouter.h"
#include "router/upnp/IgdClient.h"
#include "router/upnp/PinholeClient.h"
#include "router/upnp/UpnpRouter.h"

#include "KindRig.h"
#include "PcpNatPmpSimulator.h"
#include "QtPrint.h"
#include "UpnpSimulator.h"

#include <gtest/gtest.h>

namespace {

const QHostAddress kSelf = QHostAddress::LocalHostIPv6; // the "computer"'s IPv6 address

struct PinholeRig {
    explicit PinholeRig(SimPinholeOptions firewall = {}) {
        UpnpSimOptions o;
        o.ipv6 = true;
        o.firewall = firewall;
        sim = std::make_unique<UpnpSimulator>(o);
    }
    // Finds the router over IPv4 and moves the firewall's control onto [::1].
    std::unique_ptr<PinholeClient> client(const QHostAddress& source = kSelf) {
        UpnpOptions o = quickUpnp();
        o.router = QStringLiteral("127.0.0.1:%1").arg(sim->ssdpPort());
        igd = std::make_unique<IgdClient>(waiter, o);
        if (!igd->discover())
            return nullptr;
        IgdService fc = igd->router().firewall;
        fc.controlUrl = OnIpv6Host(fc.controlUrl, kSelf);
        return std::make_unique<PinholeClient>(waiter, fc, source);
    }
    std::unique_ptr<UpnpSimulator> sim;
    LoopWaiter waiter;
    std::unique_ptr<IgdClient> igd;
};

} // namespace

TEST(Pinholes, OpenedKeptAndClosedFromThePinholesOwnAddress) {
    PinholeRig rig;
    ASSERT_TRUE(rig.sim->listen());
    const auto pinholes = rig.client();
    ASSERT_TRUE(pinholes);
    EXPECT_EQ(rig.igd->router().firewall.serviceType,
              QStringLiteral("urn:schemas-upnp-org:service:WANIPv6FirewallControl:1"));
    EXPECT_EQ(rig.igd->router().firewall.controlUrl.path(), QStringLiteral("/ctl/IP6FCtl"));

    const FirewallStatus status = pinholes->getFirewallStatus();
    ASSERT_TRUE(status.ok());
    EXPECT_TRUE(status.enabled);
    EXPECT_TRUE(status.inboundAllowed);

    const PinholeResult tcp = pinholes->addPinhole(8096, QStringLiteral("TCP"));
    ASSERT_TRUE(tcp.ok) << tcp.problem.toStdString();
    const PinholeResult udp = pinholes->addPinhole(8096, QStringLiteral("UDP"));
    ASSERT_TRUE(udp.ok);
    EXPECT_NE(tcp.uniqueId, udp.uniqueId);
    EXPECT_EQ(pinholes->addPinhole(8096, QStringLiteral("TCP")).uniqueId, tcp.uniqueId);
    const QList<SimPinhole> table = rig.sim->pinholes();
    ASSERT_EQ(table.size(), 2);
    EXPECT_EQ(table[0].internalClient, QStringLiteral("::1"));
    EXPECT_EQ(table[0].protocol, 6);
    EXPECT_TRUE(table[0].remoteHost.isEmpty());

    EXPECT_TRUE(pinholes->updatePinhole(tcp.uniqueId, 7200).ok);
    EXPECT_TRUE(pinholes->deletePinhole(tcp.uniqueId).ok);
    const PinholeResult again = pinholes->deletePinhole(tcp.uniqueId);
    EXPECT_TRUE(again.ok && again.gone); // already gone is what deleting wants
    EXPECT_TRUE(pinholes->updatePinhole(tcp.uniqueId).gone);
    EXPECT_EQ(rig.sim->pinholes().size(), 1);
}

TEST(Pinholes, RefusalsInWords) {
    struct Case {
        SimPinholeOptions firewall;
        quint16 port;
        int code;
        const char* words;
    };
    SimPinholeOptions off, closed, full;
    off.firewallEnabled = false;
    closed.inboundAllowed = false;
    full.maxPinholes = 0;
    const Case cases[] = {
        {{}, 80, 606, "The router does not allow this computer to open IPv6 port 80."},
        {off, 8096, 702, "The router does not filter IPv6; nothing needed to be opened."},
        {closed, 8096, 703,
         "The router does not let programs open IPv6 ports. Allow it in the router's settings."},
        {full, 8096, 701, "The router has no room for more open IPv6 ports."},
    };
    for (const Case& c : cases) {
        PinholeRig rig(c.firewall);
        ASSERT_TRUE(rig.sim->listen());
        const auto pinholes = rig.client();
        ASSERT_TRUE(pinholes);
        const PinholeResult r = pinholes->addPinhole(c.port, QStringLiteral("TCP"));
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.answer.errorCode, c.code);
        EXPECT_EQ(r.problem, QString::fromLatin1(c.words));
    }
}

TEST(Pinholes, AskedOverIpv4TheGatewayRefusesAndHarborlyChecksItsOwnArguments) {
    PinholeRig rig;
    ASSERT_TRUE(rig.sim->listen());
    const auto pinholes = rig.client();
    ASSERT_TRUE(pinholes);
    // The description's own (IPv4) control URL cannot be reached from the pinhole's address.
    PinholeClient overIpv4(rig.waiter, rig.igd->router().firewall, kSelf);
    EXPECT_FALSE(overIpv4.addPinhole(8096, QStringLiteral("TCP")).ok);
    // Refused before sending: a protocol without a number, a lease beyond a day.
    EXPECT_EQ(pinholes->addPinhole(8096, QStringLiteral("SCTP")).answer.outcome,
              SoapOutcome::Unreachable);
    EXPECT_FALSE(pinholes->addPinhole(8096, QStringLiteral("TCP"), 86401).ok);
    EXPECT_TRUE(rig.sim->pinholes().isEmpty());
}

TEST(Pinholes, PointToMeOpensThemBesideTheForwardsAndTheRecordKeepsThemUntilCleared) {
    KindRig rig;
    UpnpSimOptions o;
    o.ipv6 = true;
    o.externalIp = QStringLiteral("127.0.0.1"); // the check's hairpin stays on this computer
    UpnpSimulator sim(o);
    sim.setClock([&rig] { return rig.clock.t.toSecsSinceEpoch(); });
    ASSERT_TRUE(sim.listen());
    rig.module.settings.RouterKind = QStringLiteral("upnp");
    rig.module.settings.LanPrivateIP = QStringLiteral("127.0.0.1:%1").arg(sim.ssdpPort());
    UpnpOptions uo = quickUpnp();
    uo.pinholeAddress = uo.router6 = kSelf;
    UpnpRouter router(rig.deps(), uo);
    rig.addApp(QStringLiteral("Media Server"), ProtocolTcp, 8096, 8096);
    router.Timer1_Timer();
    router.PointToMe();
    EXPECT_EQ(rig.view.status, QStringLiteral("Completed"));
    EXPECT_EQ(sim.mappings().size(), 1);
    ASSERT_EQ(sim.pinholes().size(), 1);
    const quint16 id = sim.pinholes()[0].id;

    const LeaseRecord record(LeasePathFor(rig.module.paths.IniPath));
    QList<LeaseEntry> held = record.load();
    ASSERT_EQ(held.size(), 2);
    EXPECT_EQ(held[1].kind, QStringLiteral("pinhole6"));
    EXPECT_EQ(held[1].address, QStringLiteral("::1"));
    EXPECT_EQ(held[1].uniqueId, id);
    EXPECT_EQ(ParseLeases(FormatLeases(held)), held); // the added fields read back

    const QList<PortCheck> checks =
        CheckPoints(router, {{8096, QStringLiteral("TCP"), QStringLiteral("Media Server"), {}}});
    EXPECT_TRUE(checks[0].sentence().startsWith(QStringLiteral("forwarded, IPv6 pinhole open, ")))
        << checks[0].sentence().toStdString();

    const auto rows = router.ReadForwards();
    ASSERT_TRUE(rows && rows->size() == 2);
    EXPECT_TRUE(rows->at(1).pinhole);
    EXPECT_EQ(rows->at(1).secondsLeft, 3600);

    // Past half the lease: UpdatePinhole keeps it, the record follows.
    rig.clock.t = rig.clock.t.addSecs(1900);
    router.KeepAlive();
    ASSERT_EQ(sim.pinholes().size(), 1);
    EXPECT_EQ(sim.pinholes()[0].expiresAt, rig.clock.t.toSecsSinceEpoch() + 3600);
    EXPECT_EQ(record.load()[1].leaseEnd, rig.clock.t.addSecs(3600).toUTC());

    // A later run finds the router from memory and must still reach the pinholes.
    UpnpRouter later(rig.deps(), uo);
    rig.module.StatusQueryPending = true;
    later.Timer1_Timer();
    later.ClearAll();
    EXPECT_TRUE(sim.pinholes().isEmpty());
    EXPECT_TRUE(sim.mappings().isEmpty());
    EXPECT_TRUE(record.load().isEmpty());
}

// The record's guarantees hold for pinholes: one the router lost in a restart is opened again
// at the check, and one the user cleared while the router was silent on IPv6 stays marked until
// the router answers, then is closed.
TEST(Pinholes, LostInARestartOpenedAgainClearedWhileSilentClosedWhenTheRouterAnswers) {
    KindRig rig;
    UpnpSimOptions o;
    o.ipv6 = true;
    UpnpSimulator sim(o);
    sim.setClock([&rig] { return rig.clock.t.toSecsSinceEpoch(); });
    ASSERT_TRUE(sim.listen());
    rig.module.settings.RouterKind = QStringLiteral("upnp");
    rig.module.settings.LanPrivateIP = QStringLiteral("127.0.0.1:%1").arg(sim.ssdpPort());
    UpnpOptions uo = quickUpnp();
    uo.pinholeAddress = uo.router6 = kSelf;
    UpnpRouter router(rig.deps(), uo);
    rig.addApp(QStringLiteral("Media Server"), ProtocolUdp, 8096, 8096);
    router.Timer1_Timer();
    router.PointToMe();
    ASSERT_EQ(sim.pinholes().size(), 1);
    const LeaseRecord record(LeasePathFor(rig.module.paths.IniPath));
    const auto pinholeLine = [&]() -> std::optional<LeaseEntry> {
        for (const LeaseEntry& e : record.load())
            if (e.kind == QLatin1String("pinhole6"))
                return e;
        return std::nullopt;
    };

    sim.restart();
    rig.clock.t = rig.clock.t.addSecs(Keeper::CheckSeconds + 1);
    router.KeepAlive();
    ASSERT_EQ(sim.pinholes().size(), 1);
    ASSERT_TRUE(pinholeLine());
    EXPECT_EQ(pinholeLine()->uniqueId, sim.pinholes()[0].id);
    EXPECT_EQ(pinholeLine()->state, LeaseEntry::State::Held);

    ASSERT_TRUE(sim.setIpv6Listening(false));
    EXPECT_FALSE(router.ClearAll());
    ASSERT_TRUE(pinholeLine());
    EXPECT_EQ(pinholeLine()->state, LeaseEntry::State::Clearing);
    EXPECT_EQ(sim.pinholes().size(), 1);
    EXPECT_TRUE(router.ReadForwards().value_or(QList<ForwardEntry>{{}}).isEmpty())
        << "a pinhole being cleared is not listed";

    ASSERT_TRUE(sim.setIpv6Listening(true));
    rig.clock.t = rig.clock.t.addSecs(Keeper::CheckSeconds + 1);
    router.KeepAlive();
    EXPECT_TRUE(sim.pinholes().isEmpty());
    EXPECT_FALSE(pinholeLine());
}

// A computer that reaches the router over IPv6 alone (LanPrivateIP an IPv6 literal): UPnP found
// by a unicast search on [::1] whose answer names an IPv6 description, PCP over IPv6. No IPv4
// forward is asked for with an address the router cannot reach; the pinhole is opened and the
// user told why no more was done. NAT-PMP has no IPv6 and says so.
TEST(Pinholes, OverIpv6AloneOnlyThePinholesAreOpenedAndTheUserIsTold) {
    const QString onlyIpv6 = QStringLiteral(
        "This computer has no IPv4 address toward the router; only IPv6 ports were opened.");
    const struct {
        const char* kind;
        const char* status;
        int pinholes;
        QString said;
    } rows[] = {
        {"upnp", "Completed", 1, onlyIpv6},
        {"pcp", "Completed", 1, onlyIpv6},
        {"natpmp", "Failed", 0,
         QStringLiteral("NAT-PMP works over IPv4 only, and this computer reaches the router at ::1 "
                        "over IPv6: choose PCP or UPnP.")},
    };
    for (const auto& r : rows) {
        const QString kind = QString::fromLatin1(r.kind);
        KindRig rig;
        rig.module.settings.RouterKind = kind;
        rig.addApp(QStringLiteral("Media Server"), ProtocolTcp, 8096, 8096);
        UpnpSimOptions uso;
        uso.ipv6 = true;
        UpnpSimulator upnp(uso);
        PcpNatPmpSimOptions pso;
        pso.ipv6 = pso.pcp = true;
        PcpNatPmpSimulator pcpNatPmp(pso);
        std::unique_ptr<Router> router;
        if (kind == QLatin1String("upnp")) {
            ASSERT_TRUE(upnp.listen());
            ASSERT_NE(upnp.ssdp6Port(), 0);
            rig.module.settings.LanPrivateIP = QStringLiteral("[::1]:%1").arg(upnp.ssdp6Port());
            UpnpOptions uo = quickUpnp();
            uo.pinholeAddress = kSelf;
            router = std::make_unique<UpnpRouter>(rig.deps(), uo);
        } else {
            ASSERT_TRUE(pcpNatPmp.listen());
            rig.module.settings.LanPrivateIP = QStringLiteral("[::1]:%1").arg(pcpNatPmp.port());
            PcpNatPmpOptions po = quickPcpNatPmp();
            po.pinholeAddress = kSelf;
            router = std::make_unique<PcpNatPmpRouter>(
                rig.deps(),
                kind == QLatin1String("pcp") ? PcpNatPmpMode::Pcp : PcpNatPmpMode::NatPmpOnly, po);
        }
        router->Timer1_Timer();
        // No pop-up at every start: the pinholes are the way in.
        if (kind == QLatin1String("pcp")) {
            EXPECT_TRUE(rig.prompts.boxes.isEmpty() && router->wanWarning().isEmpty());
        }
        QStringList said = router->lastProblems();
        router->PointToMe();
        EXPECT_EQ(rig.view.status, QString::fromLatin1(r.status)) << r.kind;
        said += router->lastNotes() + router->lastProblems();
        EXPECT_TRUE(said.contains(r.said)) << r.kind << ": " << said.join(u'|').toStdString();
        EXPECT_TRUE(upnp.mappings().isEmpty()) << r.kind;
        const auto onRouter = [&] {
            return kind == QLatin1String("upnp") ? upnp.pinholes().size()
                                                 : pcpNatPmp.mappings().size();
        };
        EXPECT_EQ(onRouter(), r.pinholes) << r.kind << ": no IPv4 mapping, the pinhole alone";
        if (r.pinholes == 0)
            continue;
        for (const QByteArray& request : upnp.requests())
            EXPECT_FALSE(request.contains("AddPortMapping")) << r.kind;
        // The check speaks of the pinhole alone: there is no IPv4 forward to hold or try.
        const QList<PlannedMapping> media{
            {8096, QStringLiteral("TCP"), QStringLiteral("Media Server"), {}}};
        for (const QList<PortCheck>& checks :
             {CheckAfterPoint(*router, media), CheckPoints(*router, media)})
            EXPECT_TRUE(CheckLines(checks).value(0).startsWith(
                QStringLiteral("Media Server 8096/TCP: IPv6 pinhole open, ")))
                << r.kind << ": " << CheckLines(checks).join(u'|').toStdString();
        EXPECT_TRUE(router->ClearAll()) << r.kind;
        EXPECT_EQ(onRouter(), 0) << r.kind;
    }
}

namespace {

// A kind on its simulated router with an if_inet6 file the test writes, the interface `lo`
// named instead of an address, and the record holding what an earlier run opened for
// 2001:db8:1::100, the address this computer had then.
struct FollowRig : KindRig {
    FollowRig(const char* kind, const QByteArray& inet6Text) : pcp(QLatin1String(kind) == "pcp") {
        UpnpSimOptions uso;
        uso.ipv6 = true;
        PcpNatPmpSimOptions pso;
        pso.ipv6 = true;
        upnpSim = std::make_unique<UpnpSimulator>(uso);
        pcpSim = std::make_unique<PcpNatPmpSimulator>(pso);
        upnpSim->setClock([this] { return clock.t.toSecsSinceEpoch(); });
        pcpSim->setClock([this] { return clock.t.toSecsSinceEpoch(); });
        EXPECT_TRUE(pcp ? pcpSim->listen() : upnpSim->listen());
        module.settings.RouterKind = QString::fromLatin1(kind);
        module.settings.LanPrivateIP =
            QStringLiteral("127.0.0.1:%1").arg(pcp ? pcpSim->port() : upnpSim->ssdpPort());
        QFile inet6(home.filePath(QStringLiteral("if_inet6")));
        EXPECT_TRUE(inet6.open(QIODevice::WriteOnly));
        inet6.write(inet6Text);
        inet6.close();
        addApp(QStringLiteral("Media Server"), ProtocolTcp, 8096, 8096);

        old.router = QStringLiteral("127.0.0.1");
        old.kind = QStringLiteral("pinhole6");
        old.protocol = QStringLiteral("TCP");
        old.externalPort = old.internalPort = 8096;
        old.lifetime = 3600;
        old.leaseEnd = clock.t.addSecs(3000).toUTC();
        old.application = QStringLiteral("MediaServer");
        old.address = QStringLiteral("2001:db8:1::100");
        if (pcp)
            old.nonce = QByteArray(12, '\x5a');
        else
            old.uniqueId = 7;
        EXPECT_TRUE(record.put(old));

        UpnpOptions uo = quickUpnp();
        PcpNatPmpOptions po = quickPcpNatPmp();
        uo.router6 = po.router6 = kSelf;
        uo.pinholeInterface = po.pinholeInterface = QStringLiteral("lo");
        uo.ifInet6Path = po.ifInet6Path = inet6.fileName();
        if (pcp)
            owner = std::make_unique<PcpNatPmpRouter>(deps(), PcpNatPmpMode::Pcp, po);
        else
            owner = std::make_unique<UpnpRouter>(deps(), uo);
        router = static_cast<ProtocolRouter*>(owner.get());
        router->reportRenewal = [this](const QString& line) { told << line; };
        router->Timer1_Timer();
        EXPECT_TRUE(module.RouterFound);
    }
    QList<LeaseEntry> pinholeLines() const {
        QList<LeaseEntry> lines;
        for (const LeaseEntry& e : record.load())
            if (e.kind == QLatin1String("pinhole6"))
                lines << e;
        return lines;
    }

    bool pcp;
    std::unique_ptr<UpnpSimulator> upnpSim;
    std::unique_ptr<PcpNatPmpSimulator> pcpSim;
    LeaseEntry old;
    const LeaseRecord record{LeasePathFor(module.paths.IniPath)};
    std::unique_ptr<Router> owner;
    ProtocolRouter* router = nullptr;
    QStringList told;
};

const QByteArray kLoopback = "00000000000000000000000000000001 01 80 10 80 lo\n";
const QByteArray kOldDeprecated = "20010db8000100000000000000000100 01 40 00 a0 lo\n";

} // namespace

// This computer's IPv6 address changed (the provider's new prefix): an earlier run's pinhole for
// the old address is opened for the new one, by keep's tick and by Point To Me alike, on both
// kinds; the record's line moves with it (never two, never none) and the change is said in one
// line. The old address is deprecated or gone, the new one ::1 on `lo`.
TEST(Pinholes, FollowThisComputersNewIpv6Address) {
    struct Case {
        const char* kind;
        bool point; // Point To Me instead of keep's tick
        QByteArray inet6;
        bool moves;
    };
    const Case cases[] = {
        {"upnp", false, kOldDeprecated + kLoopback, true},
        {"upnp", true, kLoopback, true},
        {"pcp", false, kLoopback, true},
        {"pcp", true, kOldDeprecated + kLoopback, true},
        {"upnp", false, kOldDeprecated, false}, // no address to follow yet: the line stays
        {"pcp", false, QByteArray(), false},
    };
    const QString moved =
        QStringLiteral("This computer's IPv6 address changed to ::1; IPv6 ports opened again "
                       "for it.");
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.kind) + (c.point ? " point " : " keep ") +
                     c.inet6.toStdString());
        FollowRig rig(c.kind, c.inet6);
        if (c.point)
            rig.router->PointToMe();
        else
            rig.router->KeepAlive();

        const QList<LeaseEntry> lines = rig.pinholeLines();
        ASSERT_EQ(lines.size(), 1);
        const QList<PcpNatPmpMapping> maps = rig.pcpSim->mappings();
        const QList<SimPinhole> holes = rig.upnpSim->pinholes();
        if (!c.moves) {
            EXPECT_EQ(lines[0], rig.old);
            EXPECT_TRUE(holes.isEmpty() && maps.isEmpty());
            EXPECT_FALSE(rig.told.contains(moved));
            continue;
        }
        EXPECT_EQ(lines[0].address, QStringLiteral("::1"));
        EXPECT_EQ(lines[0].state, LeaseEntry::State::Held);
        EXPECT_EQ(lines[0].leaseEnd, rig.clock.t.addSecs(rig.pcp ? 7200 : 3600).toUTC());
        if (rig.pcp) {
            const auto six = std::find_if(maps.begin(), maps.end(), [](const PcpNatPmpMapping& m) {
                return m.client == QHostAddress(QHostAddress::LocalHostIPv6);
            });
            ASSERT_NE(six, maps.end());
            EXPECT_EQ(six->internalPort, 8096);
            EXPECT_EQ(lines[0].nonce, six->nonce);
            EXPECT_NE(lines[0].nonce, rig.old.nonce); // the old address's is not this one's
        } else {
            ASSERT_EQ(holes.size(), 1);
            EXPECT_EQ(holes[0].internalClient, QStringLiteral("::1"));
            EXPECT_EQ(lines[0].uniqueId, holes[0].id);
        }
        const auto said = [&] {
            qsizetype n = 0;
            for (const auto& [answering, sentence] : rig.view.answeringHistory)
                n += answering && sentence.contains(moved);
            return n;
        };
        EXPECT_EQ(said(), 1);
        if (!c.point) {
            EXPECT_TRUE(rig.told.contains(moved)) << rig.told.join(QLatin1Char('\n')).toStdString();
        }

        // Followed once: the next ticks renew it for the new address, and say nothing more.
        rig.clock.t = rig.clock.t.addSecs(Keeper::CheckSeconds + 1);
        rig.router->KeepAlive();
        EXPECT_EQ(said(), 1);
        EXPECT_EQ(rig.record.load().size(), c.point ? 2 : 1);
    }
}

// Cleared before it followed: only the address it was opened for may close it (the gateway
// refuses anyone else); that address is gone, so the pinhole lapses on the router and its line
// goes, not held again to be opened anew.
TEST(Pinholes, ClearedForAnAddressThatIsGoneItLapses) {
    for (const char* kind : {"upnp", "pcp"}) {
        SCOPED_TRACE(kind);
        FollowRig rig(kind, kLoopback);
        SimPinhole held;
        held.internalClient = rig.old.address;
        held.internalPort = 8096;
        held.expiresAt = rig.old.leaseEnd.toSecsSinceEpoch();
        const quint16 id = rig.upnpSim->addPinhole(held);
        ASSERT_TRUE(rig.record.update([&](QList<LeaseEntry>& entries) {
            for (LeaseEntry& e : entries)
                e.uniqueId = rig.pcp ? 0 : id;
        }));
        EXPECT_TRUE(rig.owner->ClearAll());
        EXPECT_TRUE(rig.pinholeLines().isEmpty());
        rig.clock.t = rig.clock.t.addSecs(Keeper::CheckSeconds + 1);
        rig.router->KeepAlive();
        EXPECT_TRUE(rig.pinholeLines().isEmpty());
        EXPECT_TRUE(rig.pcpSim->mappings().isEmpty());
    }
}
