// SPDX-License-Identifier: GPL-3.0-or-later
#include "router/upnp/UpnpRouter.h"
#include "KindRig.h"
#include "Module.h"
#include "RecordingPrompts.h"
#include "RecordingView.h"
#include "UpnpRig.h"
#include "UpnpSimulator.h"
#include "platform/Clock.h"
#include "platform/EventPump.h"
#include "platform/RouterSocket.h"
#include "router/RouterKinds.h"
#include "router/RouterMemory.h"
#include "router/leases/LeaseRecord.h"
#include "router/web/RouterLink.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTimeZone>
#include <algorithm>

#include <gtest/gtest.h>

TEST(UpnpKind, StatusShowsTheRouterAndWarnsWhereTheInternetCannotReachIn) {
    const struct {
        const char* external;
        const char* shown;
        bool warned;
    } rows[] = {{"11.22.33.44", "11.22.33.44", false},
                {"100.64.1.2", "100.64.1.2", true},
                {"192.168.0.7", "192.168.0.7", true},
                {"0.0.0.0", "0.0.0.0", true},
                {"", "none", true}};
    for (const auto& r : rows) {
        UpnpSimOptions o;
        o.externalIp = QString::fromLatin1(r.external);
        UpnpRig rig(o);
        rig.start();
        EXPECT_TRUE(rig.module.RouterFound) << r.external;
        EXPECT_EQ(rig.view.wanAddress, QString::fromLatin1(r.shown));
        EXPECT_TRUE(rig.view.statusBar.contains(QStringLiteral("Harborly Simulated Router")));
        EXPECT_EQ(rig.view.status, QStringLiteral("Completed"));
        EXPECT_EQ(rig.module.LocalIpAddress, QStringLiteral("127.0.0.1"));
        EXPECT_EQ(rig.prompts.boxes.size(), r.warned ? 1 : 0) << r.external;
        EXPECT_EQ(rig.router->wanWarning().isEmpty(), !r.warned);
    }
}

TEST(UpnpKind, NoRouterEndsTheProgramAsTheWebKindDoesInItsOwnWords) {
    UpnpSimOptions o;
    o.ssdpSilent = true;
    UpnpRig rig(o);
    rig.start();
    EXPECT_FALSE(rig.module.RouterFound);
    EXPECT_EQ(rig.view.exits, 1);
    ASSERT_EQ(rig.prompts.boxes.size(), 1);
    EXPECT_EQ(rig.prompts.boxes[0].text,
              QStringLiteral("No router answered\rHarborly cannot forward ports without one"));
    EXPECT_FALSE(rig.router->lastProblems().isEmpty());
}

TEST(UpnpKind, PointToMeForwardsEveryPortHereAndARepeatStillHolds) {
    UpnpRig rig;
    rig.addApp(QStringLiteral("Game"), ProtocolBoth, 27015, 27016);
    rig.addApp(QStringLiteral("Web Proxy"), ProtocolTcp, 8080, 8080);
    rig.start();
    for (int pass = 0; pass < 2; ++pass) {
        rig.router->PointToMe();
        EXPECT_EQ(rig.view.status, QStringLiteral("Completed"));
        EXPECT_TRUE(rig.router->lastProblems().isEmpty());
        const QList<UpnpMapping> table = rig.sim.mappings();
        ASSERT_EQ(table.size(), 5);
        for (const UpnpMapping& m : table) {
            EXPECT_EQ(m.internalClient, QStringLiteral("127.0.0.1"));
            EXPECT_EQ(m.internalPort, m.externalPort);
            EXPECT_TRUE(m.description.startsWith(QStringLiteral("Harborly: ")));
        }
    }
    EXPECT_EQ(rig.view.timerHistory.mid(rig.view.timerHistory.size() - 2),
              (QList<bool>{false, true}));
    EXPECT_TRUE(rig.view.controlsEnabled);
    EXPECT_TRUE(QFile(rig.module.paths.IniPath).exists()); // the selection record
    const auto rows = rig.router->ReadForwards();
    ASSERT_TRUE(rows);
    EXPECT_EQ(rows->size(), 5);
    for (const ForwardEntry& f : *rows)
        EXPECT_TRUE(f.thisComputer);
}

TEST(UpnpKind, RefusalsAreExplainedInWordsAndTheStatusSaysError) {
    const struct {
        quint16 conflict;
        int port;
        const char* words;
    } rows[] = {{0, 80, "Ports below 1024 are often refused"},
                {5000, 5000, "already forwarded to another device"}};
    for (const auto& r : rows) {
        UpnpSimOptions o;
        o.conflictPort = r.conflict;
        UpnpRig rig(o);
        rig.addApp(QStringLiteral("Server"), ProtocolTcp, r.port, r.port);
        rig.addApp(QStringLiteral("Other"), ProtocolTcp, 7000, 7000);
        rig.start();
        rig.router->PointToMe();
        EXPECT_EQ(rig.view.status, QStringLiteral("Error")) << r.port;
        EXPECT_EQ(rig.router->lastOutcome(), Outcome::Error) << r.port;
        ASSERT_EQ(rig.router->lastProblems().size(), 1);
        EXPECT_TRUE(rig.router->lastProblems()[0].contains(QString::fromLatin1(r.words)))
            << rig.router->lastProblems()[0].toStdString();
        ASSERT_FALSE(rig.prompts.boxes.isEmpty());
        EXPECT_EQ(rig.prompts.boxes.back().icon, MsgIcon::Exclamation);
        EXPECT_EQ(rig.router->lastPointOutcome(), Router::PointOutcome::Sent);
    }
}

TEST(UpnpKind, APartlyRefusedPointToMeSaysWhatWasMadeOnceAndNamesEachRefusedPort) {
    UpnpRig rig; // ports below 1024 refused
    rig.addApp(QStringLiteral("Web"), ProtocolTcp, 80, 81);
    rig.addApp(QStringLiteral("Other"), ProtocolTcp, 7000, 7000);
    rig.addApp(QStringLiteral("Mail"), ProtocolTcp, 25, 25);
    rig.start();
    rig.router->PointToMe();
    ASSERT_EQ(rig.prompts.boxes.size(), 1);
    EXPECT_EQ(rig.prompts.boxes[0].text,
              QStringLiteral("1 of 4 forwards made; 3 refused: 25/TCP (Mail), 80/TCP (Web), 81/TCP "
                             "(Web).\r\rThe router does not allow this computer to open these "
                             "ports. Ports below 1024 are often refused. The router's settings "
                             "may need to allow port sharing for this device."));
    const auto partly = rig.router->lastPartlyMade();
    ASSERT_TRUE(partly);
    EXPECT_EQ(partly->sentence, QStringLiteral("1 of 4 forwards made; 3 refused"));
    EXPECT_EQ(partly->made,
              QList<PlannedMapping>({{7000, QStringLiteral("TCP"), QStringLiteral("Other"),
                                      MappingDescription(QStringLiteral("Other"))}}));
    EXPECT_EQ(rig.sim.mappings().size(), 1);

    // All refused: no count of what was made, the usual message.
    UpnpRig none;
    none.addApp(QStringLiteral("Mail"), ProtocolTcp, 25, 25);
    none.start();
    none.router->PointToMe();
    EXPECT_FALSE(none.router->lastPartlyMade());
    ASSERT_EQ(none.prompts.boxes.size(), 1);
    EXPECT_TRUE(none.prompts.boxes[0].text.startsWith(QStringLiteral("No port was forwarded")));
}

TEST(UpnpKind, PermanentWhereTheVersionHasItTheLongestLeaseElse) {
    const struct {
        int igd;
        bool permanentOnly;
        quint32 lease;
    } rows[] = {{1, false, 0}, {2, false, 604800}, {2, true, 0}, {1, true, 0}};
    for (const auto& r : rows) {
        UpnpSimOptions o;
        o.igdVersion = r.igd;
        o.permanentOnly = r.permanentOnly;
        UpnpRig rig(o);
        rig.addApp(QStringLiteral("Game"), ProtocolUdp, 3074, 3074);
        rig.start();
        rig.router->PointToMe();
        EXPECT_EQ(rig.view.status, QStringLiteral("Completed")) << r.igd << r.permanentOnly;
        ASSERT_EQ(rig.sim.mappings().size(), 1);
        EXPECT_EQ(rig.sim.mappings()[0].leaseDuration, r.lease) << r.igd << r.permanentOnly;
    }
}

TEST(UpnpKind, HeldForwardsAreRenewedAtHalfTheirLease) {
    UpnpRig rig;
    rig.addApp(QStringLiteral("Game"), ProtocolTcp, 27015, 27015);
    rig.start();
    rig.router->PointToMe();
    const int made = rig.requestsOf("AddPortMapping");
    ASSERT_EQ(rig.router->held().size(), 1);

    rig.clock.t = rig.clock.t.addSecs(604800 / 2 - 60);
    rig.router->Timer1_Timer();
    EXPECT_EQ(rig.requestsOf("AddPortMapping"), made);

    rig.clock.t = rig.clock.t.addSecs(120);
    rig.router->Timer1_Timer();
    EXPECT_EQ(rig.requestsOf("AddPortMapping"), made + 1);
    EXPECT_EQ(rig.view.status, QStringLiteral("Completed"));
    ASSERT_EQ(rig.sim.mappings().size(), 1);
    // Another week from the renewal, so it outlives the first lease.
    rig.clock.t = rig.clock.t.addSecs(604800 / 2 + 600);
    EXPECT_EQ(rig.sim.mappings().size(), 1);
}

TEST(UpnpKind, ARestartedHarborlyKeepsRenewingItsEarlierForwards) {
    UpnpRig rig;
    const qint64 end = rig.clock.t.toSecsSinceEpoch() + 604800;
    rig.sim.addMapping({{},
                        27015,
                        QStringLiteral("TCP"),
                        27015,
                        QStringLiteral("127.0.0.1"),
                        true,
                        QStringLiteral("Harborly: Game"),
                        604800,
                        end});
    rig.sim.addMapping({{},
                        9000,
                        QStringLiteral("TCP"),
                        9000,
                        QStringLiteral("10.0.0.9"),
                        true,
                        QStringLiteral("Harborly: Game"),
                        604800,
                        end});
    rig.start();
    ASSERT_EQ(rig.router->held().size(), 1);
    EXPECT_EQ(rig.router->held()[0].mapping.port, 27015);
}

TEST(UpnpKind, ClearAllRemovesHarborlysForwardsAndLeavesEveryoneElses) {
    UpnpRig rig;
    rig.sim.addMapping({{},
                        6881,
                        QStringLiteral("TCP"),
                        6881,
                        QStringLiteral("127.0.0.1"),
                        true,
                        QStringLiteral("qBittorrent"),
                        0,
                        0});
    rig.sim.addMapping({{},
                        8096,
                        QStringLiteral("TCP"),
                        8096,
                        QStringLiteral("127.0.0.1"),
                        true,
                        QStringLiteral("Harborly: Media"),
                        0,
                        0}); // an older record lost
    rig.sim.addMapping({{},
                        9000,
                        QStringLiteral("TCP"),
                        9000,
                        QStringLiteral("10.0.0.9"),
                        true,
                        QStringLiteral("someone else"),
                        0,
                        0});
    rig.addApp(QStringLiteral("Game"), ProtocolBoth, 27015, 27015);
    rig.start();
    rig.router->PointToMe();
    ASSERT_EQ(rig.sim.mappings().size(), 5);

    EXPECT_TRUE(rig.router->ClearAll());
    EXPECT_EQ(rig.view.status, QStringLiteral("Completed"));
    EXPECT_TRUE(rig.router->lastProblems().isEmpty());
    QList<quint16> left;
    for (const UpnpMapping& m : rig.sim.mappings())
        left << m.externalPort;
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (QList<quint16>{6881, 9000}));
    EXPECT_TRUE(rig.router->held().isEmpty());
}

TEST(UpnpKind, OneForwardOfThisComputerIsRemovedWhoeverMadeItAnotherComputersIsNot) {
    UpnpRig rig;
    rig.sim.addMapping({{},
                        9000,
                        QStringLiteral("TCP"),
                        9000,
                        QStringLiteral("10.0.0.9"),
                        true,
                        QStringLiteral("someone else"),
                        0,
                        0});
    rig.sim.addMapping({{},
                        6881,
                        QStringLiteral("TCP"),
                        6881,
                        QStringLiteral("127.0.0.1"),
                        true,
                        QStringLiteral("qBittorrent"),
                        0,
                        0});
    rig.start();
    const auto rows = rig.router->ReadForwards();
    ASSERT_TRUE(rows);
    ASSERT_EQ(rows->size(), 2);
    EXPECT_EQ(rows->at(0).externalPort, 6881); // by outside port
    EXPECT_TRUE(rig.router->RemoveForward(rows->at(0)));
    EXPECT_FALSE(rig.router->RemoveForward(rows->at(1)));
    EXPECT_TRUE(rig.router->lastProblems().value(0).contains(QStringLiteral("10.0.0.9")));
    ASSERT_EQ(rig.sim.mappings().size(), 1);
    EXPECT_EQ(rig.sim.mappings()[0].externalPort, 9000);
}

TEST(UpnpKind, ARangeTooWideIsRefusedBeforeAnythingIsSent) {
    UpnpRig rig;
    rig.addApp(QStringLiteral("Everything"), ProtocolBoth, 2000, 2100);
    rig.start();
    const qsizetype before = rig.sim.requests().size();
    rig.router->PointToMe();
    EXPECT_EQ(rig.router->lastPointOutcome(), Router::PointOutcome::Refused);
    EXPECT_EQ(rig.sim.requests().size(), before);
    EXPECT_EQ(rig.prompts.boxes.size(), 1);
}

TEST(UpnpKind, HasNoDmzAndSaysWhy) {
    UpnpRig rig;
    const RouterCapabilities c = rig.router->capabilities();
    EXPECT_FALSE(c.dmz);
    EXPECT_FALSE(c.needsPassword);
    EXPECT_TRUE(c.mappingTable);
    EXPECT_FALSE(c.noDmzReason.isEmpty());
}

TEST(UpnpKind, TheLeaseRecordCarriesHeldForwardsIntoTheNextRun) {
    UpnpRig rig;
    rig.addApp(QStringLiteral("Game"), ProtocolTcp, 27015, 27015);
    rig.start();
    rig.router->PointToMe();
    const QList<LeaseEntry> recorded = LeaseRecord(LeasePathFor(rig.module.paths.IniPath)).load();
    ASSERT_EQ(recorded.size(), 1);
    EXPECT_EQ(recorded[0].kind, QStringLiteral("upnp"));
    EXPECT_EQ(recorded[0].leaseEnd, rig.clock.t.addSecs(604800));
    EXPECT_EQ(QFile(LeasePathFor(rig.module.paths.IniPath)).permissions() &
                  (QFile::ReadGroup | QFile::ReadOther),
              0);

    // The next run, on a router that lists nothing: the record alone keeps the forward held.
    UpnpSimOptions o;
    o.listEmptyAtStart = true;
    rig.sim.setOptions(o);
    auto next = std::make_unique<UpnpRouter>(rig.deps(), quickUpnp());
    rig.clock.t = rig.clock.t.addSecs(604800 / 2 + 1);
    rig.module.StatusQueryPending = true;
    next->Timer1_Timer();
    ASSERT_EQ(next->held().size(), 1);
    const int before = rig.requestsOf("AddPortMapping");
    next->Timer1_Timer();
    EXPECT_EQ(rig.requestsOf("AddPortMapping"), before + 1);

    next->ClearAll();
    EXPECT_TRUE(LeaseRecord(LeasePathFor(rig.module.paths.IniPath)).load().isEmpty());
}

TEST(UpnpKind, AForwardTheRouterLostIsMadeAgainAtTheNextCheck) {
    UpnpSimOptions o;
    o.igdVersion = 1; // permanent: no renewal would ever bring it back
    UpnpRig rig(o);
    rig.addApp(QStringLiteral("Game"), ProtocolTcp, 27015, 27015);
    rig.start();
    rig.router->PointToMe();
    ASSERT_EQ(rig.sim.mappings().size(), 1);

    // The router forgets it, as after a restart.
    LoopWaiter waiter;
    UpnpOptions other = quickUpnp();
    other.router = rig.module.settings.LanPrivateIP;
    IgdClient client(waiter, other);
    ASSERT_TRUE(client.discover());
    ASSERT_TRUE(client.deletePortMapping(27015, QStringLiteral("TCP")).gone);
    ASSERT_TRUE(rig.sim.mappings().isEmpty());

    rig.clock.t = rig.clock.t.addSecs(Keeper::CheckSeconds - 10);
    rig.router->Timer1_Timer();
    EXPECT_TRUE(rig.sim.mappings().isEmpty());
    rig.clock.t = rig.clock.t.addSecs(20);
    rig.router->Timer1_Timer();
    EXPECT_EQ(rig.sim.mappings().size(), 1);
    EXPECT_EQ(rig.view.status, QStringLiteral("Completed"));
}

TEST(UpnpKind, TheRouterIsRememberedUntilItNoLongerAnswersThere) {
    UpnpRig rig;
    rig.start();
    ASSERT_TRUE(rig.module.RouterFound);
    const QString memoryPath = RouterMemory::pathFor(rig.module.paths.IniPath);
    ASSERT_TRUE(QFile::exists(memoryPath));
    EXPECT_EQ(QFile::permissions(memoryPath) & 0x0077, 0) << "owner-only";
    const auto descriptionReads = [&rig] {
        return std::count_if(rig.sim.requests().cbegin(), rig.sim.requests().cend(),
                             [](const QByteArray& r) { return r.startsWith("GET "); });
    };
    const auto nextRun = [&rig] {
        rig.module.StatusQueryPending = true;
        rig.router = std::make_unique<UpnpRouter>(rig.deps(), quickUpnp());
        rig.router->adoptOnStatus = false; // as a command that ends at once
        rig.start();
    };

    // The next run asks the remembered control URL at once, no search: the description only
    // to tell it is the same device.
    const qsizetype requestsBefore = rig.sim.requests().size();
    const QString shownBefore = rig.view.statusBar;
    nextRun();
    EXPECT_TRUE(rig.module.RouterFound);
    EXPECT_EQ(descriptionReads(), 2);
    EXPECT_EQ(rig.sim.requests().size(), requestsBefore + 2) << "GetExternalIPAddress, the UDN";
    EXPECT_EQ(rig.view.statusBar, shownBefore);
    EXPECT_EQ(rig.view.wanAddress, QStringLiteral("11.22.33.44"));

    // A control URL where nothing answers any more: forgotten, found again, remembered anew.
    RouterMemory memory(memoryPath);
    const QString target = QStringLiteral("127.0.0.1:%1").arg(rig.sim.ssdpPort());
    RouterMemory::Values values = memory.load(QStringLiteral("upnp"), target);
    ASSERT_FALSE(values.isEmpty());
    values[QStringLiteral("control")].replace(UpnpSimulator::controlPath(), "/gone");
    ASSERT_TRUE(memory.save(QStringLiteral("upnp"), target, values));
    nextRun();
    EXPECT_TRUE(rig.module.RouterFound);
    EXPECT_EQ(descriptionReads(), 3);
    EXPECT_TRUE(memory.load(QStringLiteral("upnp"), target)
                    .value(QStringLiteral("control"))
                    .endsWith(UpnpSimulator::controlPath()));

    // Remembered for another router address: not used.
    rig.module.settings.LanPrivateIP = QStringLiteral("127.0.0.1:1");
    nextRun();
    EXPECT_FALSE(rig.module.RouterFound);
}
