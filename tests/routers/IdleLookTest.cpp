// SPDX-License-Identifier: GPL-3.0-or-later
// Between checks the keeper glances at the router with one cheap question: a router gone
// silent or restarted is noticed within a lease's renewal margin, and said.
#include "KindRig.h"
#include "PcpNatPmpSimulator.h"
#include "UpnpSimulator.h"
#include "router/keep/Keeper.h"
#include "router/pcpnatpmp/PcpNatPmpRouter.h"
#include "router/upnp/UpnpRouter.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

enum class Kind { Upnp, Pcp, NatPmp };

// One router of `kind` on its simulator, two forwards made.
struct Idle : KindRig {
    explicit Idle(Kind kind) : kind(kind) {
        if (kind == Kind::Upnp) {
            upnp = std::make_unique<UpnpSimulator>();
            upnp->setClock([this] { return clock.t.toSecsSinceEpoch(); });
            EXPECT_TRUE(upnp->listen());
            module.settings.LanPrivateIP = QStringLiteral("127.0.0.1:%1").arg(upnp->ssdpPort());
            router = std::make_unique<UpnpRouter>(deps(), quickUpnp());
        } else {
            PcpNatPmpSimOptions o;
            o.pcp = kind == Kind::Pcp;
            pcp = std::make_unique<PcpNatPmpSimulator>(o);
            pcp->setClock([this] { return clock.t.toSecsSinceEpoch(); });
            EXPECT_TRUE(pcp->listen());
            module.settings.LanPrivateIP = QStringLiteral("127.0.0.1:%1").arg(pcp->port());
            router = std::make_unique<PcpNatPmpRouter>(
                deps(), kind == Kind::Pcp ? PcpNatPmpMode::Pcp : PcpNatPmpMode::NatPmpOnly,
                quickPcpNatPmp());
        }
        addApp(QStringLiteral("Game"), ProtocolUdp, 27015, 27015);
        addApp(QStringLiteral("Voice"), ProtocolTcp, 9987, 9987);
        module.StatusQueryPending = true;
        router->Timer1_Timer();
        router->PointToMe();
    }
    void after(qint64 seconds) {
        clock.t = clock.t.addSecs(seconds);
        router->Timer1_Timer();
    }
    qsizetype held() const { return upnp ? upnp->mappings().size() : pcp->mappings().size(); }
    void restart() { upnp ? upnp->restart() : pcp->restart(); }
    void silence(bool silent) {
        if (upnp) {
            upnp.reset(); // nothing listens on its ports any more
            return;
        }
        PcpNatPmpSimOptions o = pcp->options();
        o.silent = silent;
        pcp->setOptions(o);
    }

    Kind kind;
    std::unique_ptr<UpnpSimulator> upnp;
    std::unique_ptr<PcpNatPmpSimulator> pcp;
    std::unique_ptr<Router> router;
};

const Kind kKinds[] = {Kind::Upnp, Kind::Pcp, Kind::NatPmp};

} // namespace

TEST(IdleLook, ARestartIsNoticedAtTheNextGlanceAndSaid) {
    ASSERT_LT(Keeper::GlanceSeconds, 61);
    for (const Kind kind : kKinds) {
        SCOPED_TRACE(int(kind));
        Idle rig(kind);
        ASSERT_EQ(rig.held(), 2);
        rig.after(Keeper::GlanceSeconds); // a glance: nothing to tell
        EXPECT_TRUE(rig.view.answeringHistory.isEmpty());
        rig.clock.t = rig.clock.t.addSecs(Keeper::GlanceSeconds / 2);
        rig.restart();
        ASSERT_EQ(rig.held(), 0);
        rig.after(Keeper::GlanceSeconds - Keeper::GlanceSeconds / 2);
        EXPECT_EQ(rig.held(), 2);
        ASSERT_EQ(rig.view.answeringHistory.size(), 1);
        EXPECT_EQ(rig.view.answeringHistory[0],
                  std::make_pair(true, QStringLiteral("The router restarted; 2 forwards made "
                                                      "again")));
        EXPECT_EQ(rig.view.status, QStringLiteral("Completed"));
    }
}

TEST(IdleLook, SilenceIsNoticedAtTheNextGlance) {
    for (const Kind kind : kKinds) {
        SCOPED_TRACE(int(kind));
        Idle rig(kind);
        rig.silence(true);
        rig.after(Keeper::GlanceSeconds - 1);
        EXPECT_TRUE(rig.view.answeringHistory.isEmpty());
        rig.after(1);
        ASSERT_EQ(rig.view.answeringHistory.size(), 1);
        EXPECT_FALSE(rig.view.answeringHistory[0].first);
    }
}

// An operation of the user's that found no answer is not the last word: the router is asked
// again within seconds, and its return replaces "Failed".
TEST(IdleLook, AfterAFailedOperationTheRoutersReturnIsSaidWithinSeconds) {
    for (const Kind kind : {Kind::Pcp, Kind::NatPmp}) {
        SCOPED_TRACE(int(kind));
        Idle rig(kind);
        rig.silence(true);
        EXPECT_FALSE(rig.router->ClearAll());
        EXPECT_EQ(rig.view.status, QStringLiteral("Failed"));
        ASSERT_EQ(rig.view.answeringHistory.size(), 1);
        rig.silence(false);
        rig.after(5);
        ASSERT_EQ(rig.view.answeringHistory.size(), 2);
        EXPECT_TRUE(rig.view.answeringHistory[1].first);
        EXPECT_NE(rig.view.status, QStringLiteral("Failed"));
    }
}

// The close box asks only while these forwards live on this process's renewals.
TEST(IdleLook, ForwardsKeptHereAreThoseOnlyThisProcessRenews) {
    Idle rig(Kind::Pcp);
    EXPECT_EQ(rig.router->forwardsKeptHere(), 0); // no round yet: the role not taken
    rig.after(1);
    EXPECT_EQ(rig.router->forwardsKeptHere(), 2);
    PcpNatPmpRouter other(rig.deps(), PcpNatPmpMode::Pcp, quickPcpNatPmp());
    rig.module.StatusQueryPending = true;
    other.Timer1_Timer();
    other.Timer1_Timer();
    EXPECT_EQ(other.forwardsKeptHere(), 0); // another renews them
}
