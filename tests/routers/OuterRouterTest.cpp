// SPDX-License-Identifier: GPL-3.0-or-later
// A router in front of the router Harborly drives (double NAT), both simulated on loopback:
// the forwards made through both, kept, shown, checked and cleared together.
#include "router/outer/OuterRouter.h"

#include "KindRig.h"
#include "PcpNatPmpSimulator.h"
#include "UpnpSimulator.h"
#include "router/ProtocolRouter.h"
#include "router/pcpnatpmp/PcpNatPmpRouter.h"

#include <gtest/gtest.h>

namespace {

using namespace std::chrono_literals;

// The inner router on one simulator, the router in front on another, named by hand.
struct DoubleNatRig : KindRig {
    explicit DoubleNatRig(PcpNatPmpSimOptions frontOptions = outerOptions(),
                          PcpNatPmpSimOptions innerOptions = {})
        : inner(std::move(innerOptions)), front(std::move(frontOptions)) {
        for (PcpNatPmpSimulator* s : {&inner, &front}) {
            s->setClock([this] { return clock.t.toSecsSinceEpoch(); });
            EXPECT_TRUE(s->listen());
        }
        module.settings.RouterKind = QStringLiteral("pcp");
        module.settings.LanPrivateIP = QStringLiteral("127.0.0.1:%1").arg(inner.port());
        module.settings.OuterRouter = QStringLiteral("127.0.0.1:%1").arg(front.port());
        addApp(QStringLiteral("Game"), ProtocolUdp, 27015, 27015);
    }
    static PcpNatPmpSimOptions outerOptions() {
        PcpNatPmpSimOptions o;
        o.pcp = false;
        o.externalIp = QStringLiteral("203.0.113.7");
        o.lifetimeMax = 600;
        return o;
    }
    std::unique_ptr<PcpNatPmpRouter> make() {
        auto r = std::make_unique<PcpNatPmpRouter>(deps(), PcpNatPmpMode::Pcp, quickPcpNatPmp());
        r->outerPatience = 100ms;
        r->pathProbe = [this] {
            ++probes;
            return QList<QHostAddress>{};
        };
        return r;
    }
    QString frontKey() const { return QStringLiteral("127.0.0.1:%1").arg(front.port()); }

    PcpNatPmpSimulator inner;
    PcpNatPmpSimulator front;
    int probes = 0;
};

const PlannedMapping kGame{27015, QStringLiteral("UDP"), QStringLiteral("Game"), {}};

} // namespace

TEST(DoubleNat, ForwardsThroughBothKeepsShowsAndClears) {
    DoubleNatRig rig;
    auto router = rig.make();
    router->Timer1_Timer();
    ASSERT_TRUE(rig.module.RouterFound);
    EXPECT_EQ(rig.probes, 0) << "a router named by hand needs no probe";
    EXPECT_TRUE(rig.view.wanAddress.startsWith(QStringLiteral("203.0.113.7 ")))
        << qPrintable(rig.view.wanAddress);
    EXPECT_TRUE(rig.view.statusBar.contains(QStringLiteral("behind")))
        << qPrintable(rig.view.statusBar);
    EXPECT_TRUE(rig.view.statusBar.contains(rig.frontKey())) << qPrintable(rig.view.statusBar);

    router->PointToMe();
    EXPECT_EQ(rig.view.status, QStringLiteral("Completed"))
        << qPrintable(router->lastProblems().join('\n'));
    ASSERT_EQ(rig.inner.mappings().size(), 1);
    ASSERT_EQ(rig.front.mappings().size(), 1);
    EXPECT_EQ(rig.front.mappings()[0].internalPort, 27015);

    const auto rows = router->ReadForwards();
    ASSERT_TRUE(rows);
    ASSERT_EQ(rows->size(), 2);
    EXPECT_EQ(rows->at(1).description, QStringLiteral("In front (%1): Game").arg(rig.frontKey()));
    EXPECT_FALSE(rows->at(1).thisComputer);

    const std::optional<OuterView> seen = router->OuterFor(kGame);
    ASSERT_TRUE(seen);
    EXPECT_EQ(seen->router, rig.frontKey());
    EXPECT_EQ(seen->forwarded, true);

    // Half the router in front's lease gone: renewed; then it restarts and loses it.
    const qint64 firstEnd = rig.front.mappings()[0].expiresAt;
    rig.clock.t = rig.clock.t.addSecs(301);
    router->Timer1_Timer();
    ASSERT_EQ(rig.front.mappings().size(), 1);
    EXPECT_GT(rig.front.mappings()[0].expiresAt, firstEnd);
    rig.front.restart();
    rig.clock.t = rig.clock.t.addSecs(Keeper::CheckSeconds);
    router->Timer1_Timer();
    EXPECT_EQ(rig.front.mappings().size(), 1) << "made again after the restart";

    EXPECT_TRUE(router->ClearAll());
    EXPECT_TRUE(rig.inner.mappings().isEmpty());
    EXPECT_TRUE(rig.front.mappings().isEmpty());
    EXPECT_TRUE(LeaseRecord(LeasePathFor(rig.module.paths.IniPath)).load().isEmpty());
}

TEST(DoubleNat, ARouterInFrontThatStaysSilentIsSaidAndTheInnerForwardHolds) {
    PcpNatPmpSimOptions silent = DoubleNatRig::outerOptions();
    silent.silent = true;
    DoubleNatRig rig(silent);
    auto router = rig.make();
    router->Timer1_Timer();
    ASSERT_TRUE(rig.module.RouterFound);
    EXPECT_TRUE(router->wanWarning().contains(QStringLiteral("neither UPnP, PCP nor NAT-PMP")))
        << qPrintable(router->wanWarning());
    router->PointToMe();
    EXPECT_EQ(rig.inner.mappings().size(), 1);
    EXPECT_TRUE(
        router->lastNotes().join(' ').contains(QStringLiteral("reach only the router here")));
    const std::optional<OuterView> seen = router->OuterFor(kGame);
    ASSERT_TRUE(seen);
    EXPECT_FALSE(seen->forwarded.has_value());
}

TEST(DoubleNat, ARouterInFrontFallingSilentIsNamedAndTheInnerForwardIsStillRenewed) {
    PcpNatPmpSimOptions innerOptions;
    innerOptions.lifetimeMax = 600;
    DoubleNatRig rig(DoubleNatRig::outerOptions(), innerOptions);
    auto router = rig.make();
    QStringList told;
    router->reportRenewal = [&](const QString& line) { told << line; };
    router->Timer1_Timer();
    router->PointToMe();
    ASSERT_EQ(rig.front.mappings().size(), 1);
    const qint64 innerEnd = rig.inner.mappings()[0].expiresAt;
    PcpNatPmpSimOptions silent = DoubleNatRig::outerOptions();
    silent.silent = true;
    rig.front.setOptions(silent);
    router->random = [] { return 0.0; };
    rig.clock.t = rig.clock.t.addSecs(301);
    router->Timer1_Timer();
    EXPECT_GT(rig.inner.mappings()[0].expiresAt, innerEnd);
    EXPECT_TRUE(told.join('\n').contains(
        QStringLiteral("The router in front (%1) stopped answering").arg(rig.frontKey())))
        << qPrintable(told.join('\n'));
}

TEST(DoubleNat, WhereToLook) {
    const struct {
        const char* setting;
        const char* inner;
        bool probed;
        const char* words; // part of the words; "" none
    } rows[] = {
        {"none", "10.251.0.1", false, ""},
        {"NONE", "10.251.0.1", false, ""},
        // A simulated router on loopback has nothing in front of it.
        {"", "127.0.0.1", false, ""},
        // The path shows no second router.
        {"", "10.251.0.1", true, ""},
        {"ftp://192.168.0.1/", "10.251.0.1", false, "[Misc] OuterRouter is neither"},
    };
    for (const auto& r : rows) {
        bool probed = false;
        OuterSearch s;
        s.setting = QString::fromLatin1(r.setting);
        s.inner = QHostAddress(QString::fromLatin1(r.inner));
        s.path = [&] {
            probed = true;
            return QList<QHostAddress>{QHostAddress(QStringLiteral("10.251.0.1"))};
        };
        const OuterFound found = FindOuterRouter(s);
        EXPECT_FALSE(found.router) << r.setting;
        EXPECT_EQ(probed, r.probed) << r.setting << " " << r.inner;
        EXPECT_EQ(found.words.isEmpty(), *r.words == '\0') << r.setting;
        EXPECT_TRUE(found.words.contains(QString::fromLatin1(r.words))) << r.setting;
    }
}

TEST(DoubleNat, TheInnerRoutersOutsideAddressIsTakenOnlyWhereAnOuterRouterSeesIt) {
    const struct {
        const char* told;
        const char* taken;
    } rows[] = {{"192.168.77.2", "192.168.77.2"},
                {"100.64.3.4", "100.64.3.4"},
                {"11.22.33.44", ""},
                {"", ""},
                {"0.0.0.0", ""}};
    for (const auto& r : rows)
        EXPECT_EQ(InnerOutsideAddress(QString::fromLatin1(r.told)), QString::fromLatin1(r.taken))
            << r.told;
}

// The inner router tells its private outside address: the router in front is asked over UPnP,
// for forwards toward that address; a secure-mode router refuses them (it sees another
// requester here), which is said while the inner forward stays.
TEST(DoubleNat, UpnpInFrontForwardsTowardTheInnerRoutersOutsideAddressOnly) {
    const struct {
        bool secure;
        bool held;
    } rows[] = {{false, true}, {true, false}};
    for (const auto& r : rows) {
        PcpNatPmpSimOptions innerOptions;
        innerOptions.externalIp = QStringLiteral("192.168.77.2");
        UpnpSimOptions frontOptions;
        frontOptions.secureMode = r.secure;
        frontOptions.externalIp = QStringLiteral("203.0.113.7");
        UpnpSimulator front(frontOptions);
        DoubleNatRig rig(DoubleNatRig::outerOptions(), innerOptions);
        front.setClock([&rig] { return rig.clock.t.toSecsSinceEpoch(); });
        ASSERT_TRUE(front.listen());
        rig.module.settings.OuterRouter = QStringLiteral("127.0.0.1:%1").arg(front.ssdpPort());
        // Another computer's forward on the router in front: never Harborly's to clear.
        front.addMapping({{},
                          8080,
                          QStringLiteral("TCP"),
                          8080,
                          QStringLiteral("192.168.77.9"),
                          true,
                          QStringLiteral("Harborly: Web"),
                          0,
                          0});
        auto router = rig.make();
        router->Timer1_Timer();
        ASSERT_TRUE(rig.module.RouterFound);
        EXPECT_TRUE(rig.view.statusBar.contains(QStringLiteral("(UPnP IGD v2)")))
            << qPrintable(rig.view.statusBar);

        router->PointToMe();
        EXPECT_EQ(rig.inner.mappings().size(), 1) << r.secure;
        EXPECT_EQ(router->OuterFor(kGame)->forwarded, r.held) << r.secure;
        EXPECT_EQ(front.mappings().size(), r.held ? 2 : 1) << r.secure;
        if (r.held) {
            EXPECT_EQ(front.mappings().front().internalClient, QStringLiteral("192.168.77.2"));
            EXPECT_EQ(router->ReadForwards()->size(), 3); // the inner one, both in front
        } else {
            EXPECT_TRUE(
                router->lastProblems().join(' ').contains(QStringLiteral("router in front")))
                << qPrintable(router->lastProblems().join(' '));
        }

        EXPECT_TRUE(router->ClearAll()) << qPrintable(router->lastProblems().join(' '));
        EXPECT_TRUE(rig.inner.mappings().isEmpty());
        ASSERT_EQ(front.mappings().size(), 1) << r.secure;
        EXPECT_EQ(front.mappings().front().internalClient, QStringLiteral("192.168.77.9"));
    }
}
