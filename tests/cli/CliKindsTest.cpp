// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/CliSession.h"

#include "PcpNatPmpSimulator.h"
#include "TempHome.h"
#include "UpnpSimulator.h"
#include "router/leases/LeaseText.h"

#include <QDir>
#include <QEventLoop>
#include <QTextStream>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

// harborly-cli in-process on a protocol router: no password, the kind named in [Misc].
struct KindCli {
    KindCli(const QByteArray& kind, quint16 port) {
        home.write(QStringLiteral("Harborly.ini"),
                   "[Application1]\r\nName=Game\r\nPortRangeLow1=27015\r\nPortRangeHigh1=27015\r\n"
                   "Protocol1=udp\r\n[Misc]\r\nRouterKind=" +
                       kind + "\r\nLanPrivateIP=127.0.0.1:" + QByteArray::number(port) + "\r\n");
    }
    int run(const QStringList& words, QEventLoop* keepLoop = nullptr) {
        out.clear();
        err.clear();
        const QStringList args =
            QStringList{QStringLiteral("harborly-cli"), QStringLiteral("--home"), home.path()} +
            words;
        const CliParseResult parsed = ParseCliArguments(args);
        if (!parsed.options)
            return CliExit::Usage;
        QTextStream o(&out), e(&err);
        CliEnvironment env{args, home.path(), o, e, {}, std::chrono::milliseconds(20)};
        env.keepLoop = keepLoop;
        env.keepTick = std::chrono::milliseconds(50);
        return RunCliCommand(*parsed.options, env);
    }
    TempHome home;
    QString out, err;
};

} // namespace

TEST(CliKinds, EveryCommandOnAUpnpRouterWithItsExitStatus) {
    UpnpSimulator sim;
    ASSERT_TRUE(sim.listen());
    KindCli cli("upnp", sim.ssdpPort());
    EXPECT_EQ(cli.run({QStringLiteral("status")}), CliExit::Completed);
    EXPECT_TRUE(cli.out.contains(QStringLiteral("11.22.33.44")));
    EXPECT_EQ(cli.run({QStringLiteral("point"), QStringLiteral("Game")}), CliExit::Completed);
    EXPECT_EQ(cli.run({QStringLiteral("slots")}), CliExit::Completed);
    EXPECT_TRUE(cli.out.contains(QStringLiteral("27015/UDP -> 127.0.0.1:27015")));
    EXPECT_EQ(cli.run({QStringLiteral("dmz"), QStringLiteral("set")}), CliExit::Refused);
    EXPECT_EQ(cli.run({QStringLiteral("show"), QStringLiteral("forward")}), CliExit::Completed);
    EXPECT_TRUE(cli.home.read(QStringLiteral("Harborly-forwards.txt")).contains("27015/UDP"));
    EXPECT_EQ(cli.run({QStringLiteral("clear")}), CliExit::Completed);
    EXPECT_TRUE(sim.mappings().isEmpty());
}

TEST(CliKinds, KeepRenewsUntilStoppedAndSaysSoOnEachRenewal) {
    PcpNatPmpSimOptions o;
    o.lifetimeMax = 1; // half a second to renewal, the simulator's own clock
    PcpNatPmpSimulator sim(o);
    ASSERT_TRUE(sim.listen());
    KindCli cli("pcp", sim.port());
    ASSERT_EQ(cli.run({QStringLiteral("point"), QStringLiteral("Game")}), CliExit::Completed);
    const qsizetype heard = sim.datagramsReceived();
    QEventLoop loop;
    // Stands in for SIGTERM once a renewal has been printed.
    QTimer stop;
    QObject::connect(&stop, &QTimer::timeout, [&] {
        if (cli.out.contains(QStringLiteral("renewed")))
            loop.quit();
    });
    stop.start(20);
    EXPECT_EQ(cli.run({QStringLiteral("keep")}, &loop), CliExit::Completed);
    EXPECT_TRUE(cli.out.contains(QStringLiteral("(Game) on 127.0.0.1: "))); // one line per forward
    EXPECT_TRUE(cli.out.contains(QStringLiteral("Stopped.")));
    // The router heard the renewal; whether its one-second lease still runs when this line is
    // reached depends on the machine's load, so it is not asked.
    EXPECT_GT(sim.datagramsReceived(), heard);
}

TEST(CliKinds, RouterTextIsShownEscapedAndCannotForgeALine) {
    UpnpSimulator sim;
    ASSERT_TRUE(sim.listen());
    UpnpMapping other; // another program's, on another computer
    other.externalPort = other.internalPort = 8096;
    other.protocol = QStringLiteral("TCP");
    other.internalClient = QStringLiteral("10.0.0.9");
    other.description = QStringLiteral("tv\n22/TCP -> 127.0.0.1:22  ssh\u2066");
    sim.addMapping(other);
    KindCli cli("upnp", sim.ssdpPort());
    EXPECT_EQ(cli.run({QStringLiteral("slots")}), CliExit::Completed);
    EXPECT_EQ(cli.out, QStringLiteral("8096/TCP -> 10.0.0.9:8096  permanent  tv\\n22/TCP -> "
                                      "127.0.0.1:22  ssh\\u{2066}\nCompleted\n"))
        << cli.out.toStdString();
}

// The router's list unread: the reason, not a bare "Error".
TEST(CliKinds, AListThatCannotBeReadSaysWhy) {
    UpnpSimOptions o;
    o.listFailsAt = 0;
    UpnpSimulator sim(o);
    ASSERT_TRUE(sim.listen());
    KindCli cli("upnp", sim.ssdpPort());
    for (const QStringList& words :
         {QStringList{QStringLiteral("slots")},
          QStringList{QStringLiteral("remove"), QStringLiteral("27015/udp")}}) {
        EXPECT_EQ(cli.run(words), CliExit::Error) << words.join(' ').toStdString();
        EXPECT_TRUE(cli.err.startsWith(QStringLiteral("The router did not list its forwards (")))
            << cli.err.toStdString();
        EXPECT_EQ(cli.out, QStringLiteral("Error\n"));
    }
}

// A record that cannot be read: keep stops and says why instead of renewing what it cannot
// track, and point makes nothing it could not record.
TEST(CliKinds, ARecordThatCannotBeReadStopsKeepAndPointAndSaysWhy) {
    LeaseEntry game;
    game.router = QStringLiteral("127.0.0.1");
    game.kind = QStringLiteral("pcp");
    game.protocol = QStringLiteral("UDP");
    game.externalPort = game.internalPort = 27015;
    game.application = QStringLiteral("Game");
    const struct {
        const char* why;
        QByteArray text; // empty: a folder in the record's place
    } rows[] = {{"is a folder", {}},
                {"is damaged: it is cut off", FormatLeases({game}).chopped(4)}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.why);
        PcpNatPmpSimulator sim;
        ASSERT_TRUE(sim.listen());
        KindCli cli("pcp", sim.port());
        if (row.text.isEmpty())
            ASSERT_TRUE(QDir(cli.home.path()).mkdir(QStringLiteral("Harborly.leases")));
        else
            cli.home.write(QStringLiteral("Harborly.leases"), row.text);

        EXPECT_NE(cli.run({QStringLiteral("point"), QStringLiteral("Game")}), CliExit::Completed);
        EXPECT_TRUE(cli.err.contains(QLatin1String(row.why))) << cli.err.toStdString();
        EXPECT_TRUE(sim.mappings().isEmpty());

        QEventLoop loop;
        QTimer::singleShot(std::chrono::seconds(5), &loop, &QEventLoop::quit); // were it to hang
        EXPECT_EQ(cli.run({QStringLiteral("keep")}, &loop), CliExit::Failed);
        EXPECT_TRUE(cli.err.startsWith(QStringLiteral("Cannot keep the forwards alive: ")))
            << cli.err.toStdString();
        EXPECT_TRUE(cli.err.contains(QLatin1String(row.why)));
        EXPECT_FALSE(cli.out.contains(QStringLiteral("Stopped.")));
    }
}

// On the automatic kind too, remove takes the forward off the router.
TEST(CliKinds, RemoveOnAutoTakesTheForwardOff) {
    UpnpSimulator sim;
    ASSERT_TRUE(sim.listen());
    KindCli cli("auto", sim.ssdpPort());
    ASSERT_EQ(cli.run({QStringLiteral("point"), QStringLiteral("Game")}), CliExit::Completed);
    ASSERT_EQ(sim.mappings().size(), 1);
    EXPECT_EQ(cli.run({QStringLiteral("remove"), QStringLiteral("27015/udp")}), CliExit::Completed)
        << cli.err.toStdString();
    EXPECT_TRUE(sim.mappings().isEmpty());
    EXPECT_EQ(cli.run({QStringLiteral("remove"), QStringLiteral("27015/udp")}), CliExit::Refused);
}
