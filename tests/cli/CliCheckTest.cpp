// SPDX-License-Identifier: GPL-3.0-or-later
// "harborly-cli check" against the simulated routers: a program listening here or not, the
// router holding the forward or not, a connection to the outside address coming back or not,
// and the outside checker's verdict.
#include "cli/CliSession.h"

#include "PcpNatPmpSimulator.h"
#include "QtPrint.h"
#include "TempHome.h"
#include "UpnpSimulator.h"

#include <QTcpServer>
#include <QTcpSocket>
#include <QTextStream>

#include <gtest/gtest.h>

#include <algorithm>

namespace {

struct CheckCli {
    // "Web" is TCP `port`, "Voice" UDP `port`; the router at 127.0.0.1:routerPort.
    CheckCli(const QByteArray& kind, quint16 routerPort, quint16 port, const QByteArray& extra = {})
        : CheckCli(kind, "127.0.0.1:" + QByteArray::number(routerPort), port, extra) {}
    CheckCli(const QByteArray& kind, const QByteArray& router, quint16 port,
             const QByteArray& extra = {}) {
        const QByteArray p = QByteArray::number(port);
        home.write(QStringLiteral("Harborly.ini"),
                   "[Application1]\r\nName=Web\r\nPortRangeLow1=" + p + "\r\nPortRangeHigh1=" + p +
                       "\r\nProtocol1=tcp\r\n[Application2]\r\nName=Voice\r\nPortRangeLow1=" + p +
                       "\r\nPortRangeHigh1=" + p + "\r\nProtocol1=udp\r\n[Misc]\r\nRouterKind=" +
                       kind + "\r\nLanPrivateIP=" + router + "\r\n" + extra);
    }
    int run(const QStringList& words) {
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
        return RunCliCommand(*parsed.options, env);
    }
    TempHome home;
    QString out, err;
};

// A free port above 1024 that nothing holds once the probe is closed.
quint16 freePort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    return probe.serverPort();
}

UpnpSimOptions outsideAt(const char* address) {
    UpnpSimOptions o;
    o.externalIp = QString::fromLatin1(address); // loopback: no packet leaves this computer
    return o;
}

} // namespace

TEST(CliCheck, ListeningForwardedAndComingBackIsCompleted) {
    UpnpSimulator sim(outsideAt("127.0.0.1"));
    ASSERT_TRUE(sim.listen());
    QTcpServer app;
    ASSERT_TRUE(app.listen(QHostAddress::AnyIPv4));
    CheckCli cli("upnp", sim.ssdpPort(), app.serverPort());
    const QString line = QStringLiteral("Web %1/TCP: forwarded, cli_tests listens on %1, a "
                                        "connection to the router's outside address came back "
                                        "to this computer")
                             .arg(app.serverPort());
    // "point" says the same right away, before its status line.
    ASSERT_EQ(cli.run({QStringLiteral("point"), QStringLiteral("Web")}), CliExit::Completed);
    EXPECT_TRUE(cli.out.startsWith(line + QLatin1Char('\n'))) << cli.out.toStdString();
    EXPECT_TRUE(cli.out.endsWith(QStringLiteral("Completed\n"))) << cli.out.toStdString();
    EXPECT_EQ(cli.run({QStringLiteral("check")}), CliExit::Completed)
        << cli.out.toStdString() << cli.err.toStdString();
    EXPECT_TRUE(cli.out.contains(line)) << cli.out.toStdString();
}

TEST(CliCheck, NothingListeningOrNotForwardedIsAnErrorInWords) {
    UpnpSimulator sim(outsideAt("127.0.0.1"));
    ASSERT_TRUE(sim.listen());
    const quint16 port = freePort();
    CheckCli cli("upnp", sim.ssdpPort(), port);
    ASSERT_EQ(cli.run({QStringLiteral("point"), QStringLiteral("Web")}), CliExit::Completed);
    EXPECT_EQ(cli.run({QStringLiteral("check"), QStringLiteral("Web"), QStringLiteral("Voice")}),
              CliExit::Error);
    EXPECT_TRUE(cli.out.contains(
        QStringLiteral("Web %1/TCP: forwarded, nothing on this computer listens on %1 — start Web")
            .arg(port)))
        << cli.out.toStdString();
    EXPECT_TRUE(
        cli.out.contains(QStringLiteral("Voice %1/UDP: not forwarded on the router").arg(port)))
        << cli.out.toStdString();
    EXPECT_EQ(cli.run({QStringLiteral("check"), QStringLiteral("Nobody")}), CliExit::Refused);
}

TEST(CliCheck, AWayBackInThatCannotBeToldIsNotClosed) {
    // 127.0.0.3 takes nothing on the port (no loop back), and the program listens on IPv6 only,
    // so the attempt over IPv4 cannot reach it directly; 11.22.33.44 is a simulated router's
    // made-up outside address and is not tried at all.
    for (const auto& [outside, words] :
         {std::pair{"127.0.0.3", "cannot tell from inside whether it arrives from outside (the "
                                 "router does not bring connections to 127.0.0.3 back in)"},
          {"11.22.33.44", "cannot tell from inside: the router on this computer's loopback has "
                          "no real outside address to try"}}) {
        UpnpSimulator sim(outsideAt(outside));
        ASSERT_TRUE(sim.listen());
        QTcpServer app;
        ASSERT_TRUE(app.listen(QHostAddress::AnyIPv6));
        CheckCli cli("upnp", sim.ssdpPort(), app.serverPort());
        ASSERT_EQ(cli.run({QStringLiteral("point"), QStringLiteral("Web")}), CliExit::Completed);
        EXPECT_EQ(cli.run({QStringLiteral("check")}), CliExit::Completed) << cli.out.toStdString();
        EXPECT_TRUE(cli.out.contains(QStringLiteral("listens on %1, ").arg(app.serverPort()) +
                                     QString::fromUtf8(words)))
            << cli.out.toStdString();
    }
}

// A router named by a name that resolves to loopback is simulated too: its made-up outside
// address, someone's real one, is never tried.
TEST(CliCheck, ARouterNamedOnLoopbackHasItsOutsideAddressLeftAlone) {
    UpnpSimulator sim(outsideAt("11.22.33.44"));
    ASSERT_TRUE(sim.listen());
    QTcpServer app;
    ASSERT_TRUE(app.listen(QHostAddress::AnyIPv4));
    const QByteArray ssdp = QByteArray::number(sim.ssdpPort());
    const QByteArray url =
        "http://localhost:" + QByteArray::number(sim.httpPort()) + sim.descriptionPath().toLatin1();
    for (const auto& [kind, router] :
         {std::pair<QByteArray, QByteArray>{"upnp", "localhost:" + ssdp},
          {"upnp", url},
          {"auto", "localhost:" + ssdp}}) {
        CheckCli cli(kind, router, app.serverPort());
        ASSERT_EQ(cli.run({QStringLiteral("point"), QStringLiteral("Web")}), CliExit::Completed)
            << router.constData() << cli.err.toStdString();
        EXPECT_TRUE(cli.out.contains(QStringLiteral("the router on this computer's loopback has no "
                                                    "real outside address to try")))
            << router.constData() << ": " << cli.out.toStdString();
    }
}

TEST(CliCheck, PcpForwardsAreAnsweredFromTheRecordAndTheOutsideCheckerIsAsked) {
    PcpNatPmpSimOptions po;
    po.externalIp = QStringLiteral("127.0.0.1");
    PcpNatPmpSimulator sim(po);
    ASSERT_TRUE(sim.listen());
    QTcpServer checker; // the outside checker of [Misc] CheckUrl
    ASSERT_TRUE(checker.listen(QHostAddress::LocalHost));
    QByteArray asked;
    QObject::connect(&checker, &QTcpServer::newConnection, [&] {
        QTcpSocket* s = checker.nextPendingConnection();
        QObject::connect(s, &QTcpSocket::readyRead, [&asked, s] {
            const QByteArray request = s->readAll(); // one loopback segment
            asked += request;
            s->write(request.contains("protocol=udp") ? "HTTP/1.0 200 OK\r\n\r\nclosed\n"
                                                      : "HTTP/1.0 200 OK\r\n\r\nopen\n");
            s->disconnectFromHost();
        });
    });
    QTcpServer app;
    ASSERT_TRUE(app.listen(QHostAddress::AnyIPv4));
    CheckCli cli("pcp", sim.port(), app.serverPort(),
                 "CheckUrl=http://127.0.0.1:" + QByteArray::number(checker.serverPort()) +
                     "/probe\r\n");
    ASSERT_EQ(cli.run({QStringLiteral("point"), QStringLiteral("Web"), QStringLiteral("Voice")}),
              CliExit::Completed);
    EXPECT_EQ(cli.run({QStringLiteral("check")}), CliExit::Error) << cli.out.toStdString();
    EXPECT_TRUE(asked.contains("GET /probe?port=" + QByteArray::number(app.serverPort()) +
                               "&protocol=tcp HTTP/1.0\r\n"))
        << asked.constData();
    EXPECT_TRUE(cli.out.contains(QStringLiteral("came back to this computer, the outside checker "
                                                "reached it")))
        << cli.out.toStdString();
    EXPECT_TRUE(cli.out.contains(QStringLiteral("Voice %1/UDP: forwarded, nothing on this computer "
                                                "listens on %1 — start Voice, the outside checker "
                                                "could not reach it")
                                     .arg(app.serverPort())))
        << cli.out.toStdString();
}

// A router that lists a forward but carries nothing for it: the check deletes and makes it
// once more, asks the outside checker again and says what came of it; the forward stays held.
TEST(CliCheck, AForwardListedButDeadIsMadeAgainOnce) {
    struct Case {
        QByteArray kind; // the automatic kind passes the repair on to the kind it found
        DeadForwards dead;
        const char* said;
        const char* todo;
        int exit;
    };
    for (const Case& c :
         {Case{"upnp", DeadForwards::UntilRemade, "it was made again and now arrives", nullptr,
               CliExit::Completed},
          Case{"auto", DeadForwards::Always, "it was made again, still nothing arrives",
               "    To do: restart the router, then check again", CliExit::Error}}) {
        UpnpSimOptions o = outsideAt("127.0.0.1");
        o.deadForwards = c.dead;
        UpnpSimulator sim(o);
        ASSERT_TRUE(sim.listen());
        QTcpServer app;
        ASSERT_TRUE(app.listen(QHostAddress::AnyIPv4));
        CheckCli cli(c.kind, sim.ssdpPort(), app.serverPort(),
                     "CheckUrl=http://127.0.0.1:" + QByteArray::number(sim.httpPort()) +
                         "/check\r\n");
        ASSERT_EQ(cli.run({QStringLiteral("point"), QStringLiteral("Web")}), CliExit::Completed);
        EXPECT_TRUE(cli.out.contains(QStringLiteral("the outside checker could not reach it")))
            << cli.out.toStdString();
        const auto deletes = [&] {
            return std::count_if(
                sim.requests().begin(), sim.requests().end(),
                [](const QByteArray& r) { return r.contains("#DeletePortMapping"); });
        };
        EXPECT_EQ(deletes(), 0);

        EXPECT_EQ(cli.run({QStringLiteral("check")}), c.exit) << cli.out.toStdString();
        EXPECT_TRUE(cli.out.contains(QStringLiteral("Web %1/TCP: forwarded, cli_tests listens on "
                                                    "%1, a connection to the router's outside "
                                                    "address came back to this computer, the "
                                                    "router held the forward but nothing "
                                                    "arrived; ")
                                         .arg(app.serverPort()) +
                                     QString::fromLatin1(c.said)))
            << cli.out.toStdString();
        if (c.todo) {
            EXPECT_TRUE(cli.out.contains(QString::fromLatin1(c.todo))) << cli.out.toStdString();
        }
        EXPECT_EQ(deletes(), 1);
        ASSERT_EQ(sim.mappings().size(), 1);
        EXPECT_EQ(sim.mappings().first().externalPort, app.serverPort());

        // Made again for good, the next check finds it arriving and touches nothing.
        EXPECT_EQ(cli.run({QStringLiteral("check")}), c.exit) << cli.out.toStdString();
        if (c.dead == DeadForwards::UntilRemade) {
            EXPECT_TRUE(cli.out.contains(QStringLiteral("the outside checker reached it\n    "
                                                        "Internet: open")))
                << cli.out.toStdString();
        }
        EXPECT_EQ(deletes(), c.dead == DeadForwards::UntilRemade ? 1 : 2);
    }
}
