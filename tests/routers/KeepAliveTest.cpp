// SPDX-License-Identifier: GPL-3.0-or-later
// The keep-alive promise: one record shared by every process, renewed and healed by one of
// them, never undoing a clear, and honest about a router that went silent.
#include "KindRig.h"
#include "PcpNatPmpSimulator.h"
#include "UpnpSimulator.h"
#include "router/leases/LeaseRecord.h"
#include "router/pcpnatpmp/PcpNatPmpRouter.h"
#include "router/upnp/UpnpRouter.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <thread>

namespace {

QList<LeaseEntry> recordOf(KindRig& rig) {
    return LeaseRecord(LeasePathFor(rig.module.paths.IniPath)).load();
}

struct Upnp : KindRig {
    explicit Upnp(UpnpSimOptions o = {}) : sim(std::move(o)) {
        sim.setClock([this] { return clock.t.toSecsSinceEpoch(); });
        EXPECT_TRUE(sim.listen());
        module.settings.LanPrivateIP = QStringLiteral("127.0.0.1:%1").arg(sim.ssdpPort());
    }
    std::unique_ptr<UpnpRouter> started() {
        auto r = std::make_unique<UpnpRouter>(deps(), quickUpnp());
        module.StatusQueryPending = true;
        r->Timer1_Timer();
        r->reportRenewal = [this](const QString& line) { lines << line; };
        return r;
    }
    int adds() const {
        int n = 0;
        for (const QByteArray& r : sim.requests())
            n += r.contains("#AddPortMapping\"") ? 1 : 0;
        return n;
    }
    UpnpSimulator sim;
    QStringList lines;
};

struct PcpNatPmp : KindRig {
    explicit PcpNatPmp(PcpNatPmpSimOptions o = {}) : sim(std::move(o)) {
        sim.setClock([this] { return clock.t.toSecsSinceEpoch(); });
        EXPECT_TRUE(sim.listen());
        module.settings.LanPrivateIP = QStringLiteral("127.0.0.1:%1").arg(sim.port());
    }
    std::unique_ptr<PcpNatPmpRouter> started(double random = 0.0) {
        auto r = std::make_unique<PcpNatPmpRouter>(deps(), PcpNatPmpMode::Pcp, quickPcpNatPmp());
        r->random = [random] { return random; };
        module.StatusQueryPending = true;
        r->Timer1_Timer();
        r->reportRenewal = [this](const QString& line) { lines << line; };
        return r;
    }
    void after(qint64 seconds, PcpNatPmpRouter& r) {
        clock.t = clock.t.addSecs(seconds);
        r.Timer1_Timer();
    }
    PcpNatPmpSimulator sim;
    QStringList lines;
};

} // namespace

TEST(LeaseRecordSharing, WritersAtOnceLoseNothingAndAnUnreadableRecordIsNeverReplaced) {
    QTemporaryDir dir;
    const LeaseRecord record(dir.filePath(QStringLiteral("Harborly.leases")));
    std::vector<std::thread> writers;
    for (int w = 0; w < 4; ++w)
        writers.emplace_back([&, w] {
            for (int i = 0; i < 64; ++i)
                EXPECT_TRUE(record.put(PcpLine(10000 + w * 100 + i)));
        });
    for (std::thread& t : writers)
        t.join();
    EXPECT_EQ(record.load().size(), 256);

    QByteArray many = FormatLeases({});
    for (int i = 0; i <= LeaseRecord::MaxEntries; ++i)
        many += "192.0.2.1\tpcp\tTCP\t" + QByteArray::number(1 + i) + '\t' +
                QByteArray::number(1 + i) + "\tpermanent\t0\t\t0\tApp\n";
    const struct {
        const char* what;
        QByteArray text;
    } rows[] = {{"no record", "my notes\n"},
                {"over 4096 entries", many},
                {"over 1 MiB", FormatLeases({}) + QByteArray(LeaseRecord::MaxFileBytes, '#')}};
    for (const auto& r : rows) {
        QFile f(record.path());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(r.text);
        f.close();
        EXPECT_FALSE(record.read().ok) << r.what;
        EXPECT_FALSE(record.put(PcpLine(1))) << r.what;
        EXPECT_FALSE(record.problem().isEmpty()) << r.what;
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        EXPECT_EQ(f.readAll(), r.text) << r.what;
    }
}

// A batch only puts off the folder's sync: every change is in place for another process (and
// survives this one being killed) as soon as it returns, nested batches included.
TEST(LeaseRecordSharing, ABatchedChangeIsInPlaceAtOnce) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Harborly.leases"));
    const LeaseRecord record(path);
    {
        const LeaseRecord::Batch outer(record);
        for (int i = 0; i < 3; ++i) {
            const LeaseRecord::Batch inner(record);
            ASSERT_TRUE(record.put(PcpLine(20000 + i)));
            EXPECT_EQ(LeaseRecord(path).load().size(), i + 1);
        }
        ASSERT_TRUE(record.remove(PcpLine(20000)));
        EXPECT_EQ(LeaseRecord(path).load().size(), 2);
    }
    EXPECT_TRUE(record.put(PcpLine(20009)));
    EXPECT_EQ(LeaseRecord(path).load().size(), 3);
}

TEST(UpnpKeepAlive, RenewsWhatOthersRecordNeverRemakesWhatWasClearedAndSaysWhatItDid) {
    Upnp rig;
    rig.addApp(QStringLiteral("Game"), ProtocolTcp, 27015, 27015);
    auto keep = rig.started();
    auto other = rig.started(); // the window, or a `point` of another process
    other->PointToMe();
    ASSERT_EQ(rig.sim.mappings().size(), 1);
    const int made = rig.adds();

    rig.clock.t = rig.clock.t.addSecs(60);
    keep->Timer1_Timer();
    EXPECT_TRUE(rig.lines.isEmpty()) << rig.lines.join('\n').toStdString();
    rig.clock.t = rig.clock.t.addSecs(604800 / 2);
    keep->Timer1_Timer();
    EXPECT_EQ(rig.adds(), made + 1);
    ASSERT_EQ(rig.lines.size(), 1);
    EXPECT_TRUE(rig.lines[0].startsWith(QStringLiteral("renewed TCP port 27015 (Game)")));

    other->ClearAll();
    EXPECT_TRUE(recordOf(rig).isEmpty());
    rig.clock.t = rig.clock.t.addSecs(Keeper::CheckSeconds + 1);
    keep->Timer1_Timer();
    EXPECT_TRUE(rig.sim.mappings().isEmpty());
    EXPECT_EQ(rig.adds(), made + 1);
}

TEST(UpnpKeepAlive, WhatTheRouterLostWhileNobodyRanIsMadeAgainAtTheFirstTick) {
    UpnpSimOptions o;
    o.igdVersion = 1;
    Upnp rig(o);
    rig.addApp(QStringLiteral("Game"), ProtocolTcp, 27015, 27015);
    rig.started()->PointToMe();
    rig.sim.restart();
    auto keep = rig.started();
    keep->Timer1_Timer();
    EXPECT_EQ(rig.sim.mappings().size(), 1);
    ASSERT_EQ(rig.lines.size(), 1);
    EXPECT_TRUE(rig.lines[0].contains(QStringLiteral("made again"))) << rig.lines[0].toStdString();
}

TEST(UpnpClear, RemovesByTheListedRemoteHostAndCallsNoFailedListingEmpty) {
    {
        UpnpSimOptions o;
        o.deleteMissingFaults = true;
        Upnp rig(o);
        rig.sim.addMapping({QStringLiteral("203.0.113.5"), 27015, QStringLiteral("TCP"), 27015,
                            QStringLiteral("127.0.0.1"), true, QStringLiteral("Harborly: Game"), 0,
                            0});
        auto r = rig.started();
        EXPECT_TRUE(r->ClearAll());
        EXPECT_TRUE(rig.sim.mappings().isEmpty());
    }
    const struct {
        int failsAt;
        int entries;
    } rows[] = {{0, 0}, {0, 2}, {1, 2}};
    for (const auto& row : rows) {
        UpnpSimOptions o;
        o.igdVersion = 1; // the per-index listing
        o.listFailsAt = row.failsAt;
        Upnp rig(o);
        for (int i = 0; i < row.entries; ++i)
            rig.sim.addMapping({{},
                                quint16(9000 + i),
                                QStringLiteral("TCP"),
                                quint16(9000 + i),
                                QStringLiteral("10.0.0.9"),
                                true,
                                QStringLiteral("other"),
                                0,
                                0});
        auto r = rig.started();
        r->ReadForwards();
        EXPECT_EQ(rig.view.status, QStringLiteral("Error")) << row.failsAt << row.entries;
        EXPECT_FALSE(r->ClearAll()) << row.failsAt << row.entries;
    }
}

TEST(UpnpListing, AFullPageOfTheFastListingIsReadOnByIndex) {
    UpnpSimOptions o;
    o.maxMappings = 2000;
    Upnp rig(o);
    for (int i = 0; i < 1001; ++i)
        rig.sim.addMapping({{},
                            quint16(20000 + i),
                            QStringLiteral("TCP"),
                            quint16(20000 + i),
                            QStringLiteral("10.0.0.9"),
                            true,
                            QStringLiteral("other"),
                            0,
                            0});
    const auto rows = rig.started()->ReadForwards();
    ASSERT_TRUE(rows);
    EXPECT_EQ(rows->size(), 1001);
    EXPECT_EQ(rig.view.status, QStringLiteral("Completed"));
}

TEST(UpnpLease, APermanentOnlyRouterIsRecordedPermanentOnEitherVersion) {
    for (const int igd : {1, 2}) {
        UpnpSimOptions o;
        o.igdVersion = igd;
        o.permanentOnly = true;
        Upnp rig(o);
        rig.addApp(QStringLiteral("Game"), ProtocolTcp, 27015, 27015);
        rig.started()->PointToMe();
        const QList<LeaseEntry> rec = recordOf(rig);
        ASSERT_EQ(rec.size(), 1);
        EXPECT_EQ(rec[0].lifetime, 0u) << igd;
        EXPECT_FALSE(rec[0].leaseEnd.isValid()) << igd;
    }
}

TEST(PcpNatPmpKeepAlive, NoAnswerIsFailedAndTheRouterComingBackRemakesEverything) {
    PcpNatPmp rig;
    rig.addApp(QStringLiteral("Game"), ProtocolUdp, 27015, 27015);
    rig.addApp(QStringLiteral("Voice"), ProtocolTcp, 9987, 9987);
    auto r = rig.started();
    r->PointToMe();
    ASSERT_EQ(rig.sim.mappings().size(), 2);

    PcpNatPmpSimOptions silent;
    silent.silent = true;
    rig.sim.setOptions(silent);
    EXPECT_FALSE(r->ClearAll());
    EXPECT_EQ(rig.view.status, QStringLiteral("Failed"));
    EXPECT_EQ(recordOf(rig).size(), 2); // still to be removed: the clear is remembered
    r->PointToMe();
    EXPECT_EQ(rig.view.status, QStringLiteral("Failed"));

    // The keep-alive side: noticed, looked at again after 5 s, then 10 s, and healed.
    rig.after(Keeper::CheckSeconds, *r);
    ASSERT_EQ(rig.view.answeringHistory.size(), 1);
    EXPECT_FALSE(rig.view.answeringHistory[0].first);
    const qsizetype heard = rig.sim.datagramsReceived();
    rig.after(4, *r);
    EXPECT_EQ(rig.sim.datagramsReceived(), heard);
    rig.after(1, *r);
    EXPECT_GT(rig.sim.datagramsReceived(), heard);
    rig.sim.setOptions({});
    rig.sim.restart();
    rig.after(10, *r);
    ASSERT_EQ(rig.view.answeringHistory.size(), 2);
    // The point pressed while it was silent gave up at its first forward: that one counts, the
    // other stays cleared.
    EXPECT_EQ(rig.view.answeringHistory[1],
              std::make_pair(true, QStringLiteral("Router back; 1 forwards made again")));
    EXPECT_EQ(rig.sim.mappings().size(), 1);
    ASSERT_EQ(recordOf(rig).size(), 1);
    EXPECT_EQ(recordOf(rig)[0].state, LeaseEntry::State::Held);
}

TEST(PcpNatPmpKeepAlive, ARestartWhileNotRunningIsToldByTheRecordedEpoch) {
    PcpNatPmp rig;
    rig.addApp(QStringLiteral("Game"), ProtocolUdp, 27015, 27015);
    rig.clock.t = rig.clock.t.addSecs(1000); // the router has been up a while
    rig.started()->PointToMe();
    rig.clock.t = rig.clock.t.addSecs(100);
    rig.sim.restart();
    auto keep = rig.started();
    keep->Timer1_Timer();
    EXPECT_EQ(rig.sim.mappings().size(), 1);
    ASSERT_FALSE(rig.lines.isEmpty());
    EXPECT_TRUE(rig.lines[0].contains(QStringLiteral("restarted"))) << rig.lines[0].toStdString();
}

TEST(PcpNatPmpKeepAlive, RenewsAtTheDrawnPointAndWaitsOutALongRefusal) {
    const struct {
        double random;
        qint64 notYet;
        qint64 due;
    } rows[] = {{0.0, 199, 200}, {1.0, 249, 250}}; // of 400 s, before the 5-minute check
    for (const auto& row : rows) {
        PcpNatPmpSimOptions o;
        o.lifetimeMax = 400;
        PcpNatPmp rig(o);
        rig.addApp(QStringLiteral("Game"), ProtocolUdp, 27015, 27015);
        auto r = rig.started(row.random);
        r->PointToMe();
        const QDateTime end = r->held()[0].leaseEnd;
        const QDateTime start = rig.clock.t;
        rig.clock.t = start.addSecs(row.notYet);
        r->Timer1_Timer();
        EXPECT_EQ(r->held()[0].leaseEnd, end) << row.random;
        rig.clock.t = start.addSecs(row.due);
        r->Timer1_Timer();
        EXPECT_GT(r->held()[0].leaseEnd, end) << row.random;
        EXPECT_FALSE(r->held()[0].externalAddress.isEmpty());
    }

    QTemporaryDir logs;
    PcpNatPmpSimOptions o;
    o.lifetimeMax = 600;
    o.logPath = logs.filePath(QStringLiteral("datagrams"));
    PcpNatPmp rig(o);
    rig.addApp(QStringLiteral("Game"), ProtocolUdp, 27015, 27015);
    auto r = rig.started();
    r->PointToMe();
    o.refusePort = 27015;
    o.refusalLifetime = 1800;
    rig.sim.setOptions(o);
    rig.after(300, *r);
    EXPECT_EQ(rig.view.status, QStringLiteral("Error"));
    // The PCP MAP requests; the glances between ask for the address only.
    const auto maps = [&] {
        QFile f(o.logPath);
        qsizetype n = 0;
        if (f.open(QIODevice::ReadOnly))
            for (const QByteArray& line : f.readAll().split('\n'))
                n += line.startsWith("02 01 ") ? 1 : 0;
        return n;
    };
    const qsizetype heard = maps();
    ASSERT_GT(heard, 0);
    for (const qint64 step : {62, 60, 60})
        rig.after(step, *r);
    EXPECT_EQ(maps(), heard); // not within the 1800 s it gave
}

TEST(PcpNatPmpKeepAlive, OneRenewerAtATimeAndTheRolePassesOn) {
    PcpNatPmpSimOptions o;
    o.lifetimeMax = 600;
    PcpNatPmp rig(o);
    rig.addApp(QStringLiteral("Game"), ProtocolUdp, 27015, 27015);
    auto first = rig.started();
    auto second = rig.started();
    first->PointToMe();
    rig.after(10, *first); // takes the role
    rig.clock.t = rig.clock.t.addSecs(300);
    const qsizetype before = rig.sim.datagramsReceived();
    second->Timer1_Timer();
    EXPECT_EQ(rig.sim.datagramsReceived(), before);
    first->Timer1_Timer();
    EXPECT_GT(rig.sim.datagramsReceived(), before);
    first.reset();
    rig.clock.t = rig.clock.t.addSecs(300);
    const qsizetype after = rig.sim.datagramsReceived();
    second->Timer1_Timer();
    EXPECT_GT(rig.sim.datagramsReceived(), after);
}

TEST(ProtocolKinds, ProgressIsShownAndACancelLeavesRecordAndRouterAgreeing) {
    PcpNatPmp rig;
    for (int port : {4001, 4002, 4003})
        rig.addApp(QStringLiteral("App %1").arg(port), ProtocolTcp, port, port);
    auto r = rig.started();
    rig.view.cancelAt = 1;
    r->PointToMe();
    EXPECT_EQ(rig.sim.mappings().size(), 1);
    EXPECT_EQ(recordOf(rig).size(), 1);
    rig.view.cancelAt = -1;
    r->PointToMe();
    EXPECT_EQ(rig.sim.mappings().size(), 3);
    rig.view.progress.clear();
    rig.view.cancelAt = 2;
    r->ClearAll();
    EXPECT_EQ(rig.sim.mappings().size(), 1);
    EXPECT_EQ(recordOf(rig).size(), 1);
    EXPECT_EQ(recordOf(rig)[0].state, LeaseEntry::State::Held);

    // A Cancel during an unanswered request ends it: the request is not sent again.
    PcpNatPmpSimOptions silent;
    silent.silent = true;
    rig.sim.setOptions(silent);
    rig.addApp(QStringLiteral("App 4004"), ProtocolTcp, 4004, 4004);
    rig.view.progress.clear();
    rig.view.cancelAt = 1;
    const qsizetype before = rig.sim.datagramsReceived();
    r->PointToMe();
    EXPECT_LE(rig.sim.datagramsReceived() - before, 1);
}
