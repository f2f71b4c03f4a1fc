// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/CliSession.h"

#include "CannedServer.h"
#include "QtPrint.h"
#include "RouterSimulator.h"
#include "TempHome.h"

#include <QFile>
#include <QTextStream>

#include <gtest/gtest.h>

namespace {

const QByteArray kCatalog = "[Application1]\r\nName=Web "
                            "Server\r\nPortRangeLow1=80\r\nPortRangeHigh1=80\r\nProtocol1=tcp\r\n"
                            "PortRangeLow2=443\r\nPortRangeHigh2=443\r\nProtocol2=tcp\r\n"
                            "[Application2]\r\nName=Game\r\nPortRangeLow1=27015\r\nPortRangeHigh1="
                            "27030\r\nProtocol1=both\r\n";

// Runs harborly-cli's commands in-process against a loopback router.
struct Cli {
    explicit Cli(const QString& router, bool requireLogin = false) {
        home.write(QStringLiteral("Harborly.ini"),
                   kCatalog + "[Misc]\r\nLanPrivateIP=" + router.toLatin1() +
                       "\r\nPassword=YWRtaW4=\r\nRequireLogin=" + (requireLogin ? "eWVz" : "bm8=") +
                       "\r\n");
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
        CliEnvironment env{
            args, home.path(), o, e, [this] { return typed; }, std::chrono::milliseconds(20)};
        return RunCliCommand(*parsed.options, env);
    }

    TempHome home;
    QString out, err;
    std::optional<QString> typed;
};

TEST(CliOptionsTest, ParsesCommandsAndRefusesTheRest) {
    const auto parse = [](QStringList words) {
        words.prepend(QStringLiteral("harborly-cli"));
        return ParseCliArguments(words);
    };
    EXPECT_EQ(parse({QStringLiteral("dmz"), QStringLiteral("clear")}).options->command,
              CliCommand::DmzClear);
    EXPECT_EQ(parse({QStringLiteral("show"), QStringLiteral("forward")}).options->command,
              CliCommand::ShowForward);
    const CliParseResult p = parse({QStringLiteral("--home=/x"), QStringLiteral("point"),
                                    QStringLiteral("A B"), QStringLiteral("--")});
    ASSERT_TRUE(p.options);
    EXPECT_EQ(p.options->home, QStringLiteral("/x"));
    EXPECT_EQ(p.options->names, QStringList{QStringLiteral("A B")});
    EXPECT_TRUE(parse({QStringLiteral("--help")}).options->help);
    const CliParseResult remove = parse({QStringLiteral("remove"), QStringLiteral("8096/tcp")});
    ASSERT_TRUE(remove.options);
    EXPECT_EQ(remove.options->removePort, 8096);
    EXPECT_EQ(remove.options->removeProtocol, QStringLiteral("TCP"));
    for (const QStringList& bad :
         {QStringList{}, QStringList{QStringLiteral("point")}, QStringList{QStringLiteral("dmz")},
          QStringList{QStringLiteral("status"), QStringLiteral("x")},
          QStringList{QStringLiteral("--home")},
          QStringList{QStringLiteral("--frobnicate"), QStringLiteral("status")},
          QStringList{QStringLiteral("show"), QStringLiteral("all")},
          QStringList{QStringLiteral("remove")},
          QStringList{QStringLiteral("remove"), QStringLiteral("8096")},
          QStringList{QStringLiteral("remove"), QStringLiteral("0/udp")},
          QStringList{QStringLiteral("remove"), QStringLiteral("80/sctp")}})
        EXPECT_FALSE(parse(bad).options) << bad.join(' ').toStdString();
}

TEST(CliCommands, PointRefusesANameTheRouterCannotReceive) {
    RouterSimulator router;
    ASSERT_TRUE(router.listen());
    Cli cli(router.hostAndPort());
    cli.home.write(QStringLiteral("Harborly.ini"),
                   "[Application1]\r\nName=Z\xC5\x82oty\r\nPortRangeLow1=1\r\nPortRangeHigh1=1\r\n"
                   "Protocol1=tcp\r\n[Misc]\r\nLanPrivateIP=" +
                       router.hostAndPort().toLatin1() +
                       "\r\nPassword=YWRtaW4=\r\nRequireLogin=bm8=\r\n");
    EXPECT_EQ(cli.run({QStringLiteral("point"), QStringLiteral("Złoty")}), CliExit::Refused);
    EXPECT_TRUE(cli.err.contains(QStringLiteral("\"ł\""))) << cli.err.toStdString();
    EXPECT_EQ(router.requests().size(), 1); // the status query, nothing of the forward
}

TEST(CliCommands, EveryCommandAgainstTheSimulatedRouter) {
    RouterSimulator router;
    ASSERT_TRUE(router.listen());
    Cli cli(router.hostAndPort());

    EXPECT_EQ(cli.run({QStringLiteral("status")}), CliExit::Completed);
    EXPECT_TRUE(cli.out.contains(QStringLiteral("WAN Public IP Address: 24.61.118.42")));
    EXPECT_TRUE(cli.out.contains(QStringLiteral("Linksys Router Firmware Version 1.44.2")));

    const qsizetype asked = router.requests().size();
    EXPECT_EQ(cli.run({QStringLiteral("list")}), CliExit::Completed);
    EXPECT_EQ(cli.out, QStringLiteral("Game: 27015-27030/both\nWeb Server: 80/tcp, 443/tcp\n"));
    EXPECT_EQ(router.requests().size(), asked) << "the catalog needs no router";

    EXPECT_EQ(
        cli.run({QStringLiteral("point"), QStringLiteral("Web Server"), QStringLiteral("Game")}),
        CliExit::Completed);
    EXPECT_TRUE(cli.out.contains(QStringLiteral("Game 27015-27030/both: slot J\n")));
    EXPECT_TRUE(cli.out.contains(QStringLiteral("Web Server 443/tcp: slot H\n")));
    EXPECT_TRUE(cli.out.endsWith(QStringLiteral("Completed\n")));
    EXPECT_EQ(router.forwards()[8].name, QStringLiteral("WebServer1"));
    EXPECT_TRUE(
        cli.home.read(QStringLiteral("Harborly.ini")).contains("Selected=Game,Web Server,"));

    EXPECT_EQ(cli.run({QStringLiteral("slots")}), CliExit::Completed);
    EXPECT_TRUE(cli.out.contains(QStringLiteral("J  in use  Game\n")));
    EXPECT_TRUE(cli.out.contains(QStringLiteral("A  free")));

    EXPECT_EQ(cli.run({QStringLiteral("dmz"), QStringLiteral("set")}), CliExit::Completed);
    EXPECT_EQ(router.dmzHost(), QStringLiteral("1")); // 127.0.0.1
    EXPECT_EQ(cli.run({QStringLiteral("dmz"), QStringLiteral("clear")}), CliExit::Completed);
    EXPECT_EQ(router.dmzHost(), QStringLiteral("0"));

    EXPECT_EQ(cli.run({QStringLiteral("show"), QStringLiteral("forward")}), CliExit::Completed);
    EXPECT_TRUE(cli.out.startsWith(cli.home.file(QStringLiteral("Harborly.htm"))));
    EXPECT_TRUE(cli.home.read(QStringLiteral("Harborly.htm")).contains("V_nameJ"));

    EXPECT_EQ(cli.run({QStringLiteral("clear")}), CliExit::Completed);
    EXPECT_FALSE(router.forwards()[9].enabled);
}

TEST(CliCommands, RefusalsAndFailures) {
    RouterSimulator router;
    ASSERT_TRUE(router.listen());
    Cli cli(router.hostAndPort());
    EXPECT_EQ(cli.run({QStringLiteral("point"), QStringLiteral("web server")}), CliExit::Refused);
    EXPECT_TRUE(cli.err.contains(QStringLiteral("\"web server\"")));

    for (int s = 0; s < 9; ++s)
        router.setForward(s, SimForward{QStringLiteral("x%1").arg(s), 1, 1, true, false,
                                        QStringLiteral("5"), true});
    EXPECT_EQ(cli.run({QStringLiteral("point"), QStringLiteral("Web Server")}), CliExit::Refused);
    EXPECT_TRUE(cli.err.contains(QStringLiteral("unforwarding all ports.")));

    Cli none(ClosedLoopbackPort());
    EXPECT_EQ(none.run({QStringLiteral("status")}), CliExit::Failed);
    EXPECT_EQ(none.err,
              QStringLiteral("Communication failure with the router\nProgram has been aborted\n"));
}

TEST(CliCommands, RouterAnswerWithoutSuccessIsAnError) {
    CannedServer router("HTTP/1.0 200 OK\r\n\r\nMAC Address: x IP Address: <td>1</td> IP Address: "
                        "<td>24.1.2.3</td> Firmware Version: <td>1.44, 2004</td>");
    Cli cli(router.hostAndPort());
    EXPECT_EQ(cli.run({QStringLiteral("clear")}), CliExit::Error);
    EXPECT_TRUE(cli.out.endsWith(QStringLiteral("Error\n")));
}

TEST(CliCommands, LoginWhenRequired) {
    RouterSimulator router;
    ASSERT_TRUE(router.listen());
    Cli cli(router.hostAndPort(), true);
    EXPECT_EQ(cli.run({QStringLiteral("status")}), CliExit::Refused); // no password at hand
    cli.typed = QStringLiteral("Admin");
    EXPECT_EQ(cli.run({QStringLiteral("status")}), CliExit::Refused);
    EXPECT_EQ(cli.err, QStringLiteral("Invalid user name or password.\n"));
    EXPECT_TRUE(router.requests().isEmpty());
    cli.typed = QStringLiteral("admin");
    EXPECT_EQ(cli.run({QStringLiteral("status")}), CliExit::Completed);
}

TEST(CliCommands, AFolderNeverConfiguredSaysHowToMakeOne) {
    Cli cli(QStringLiteral("127.0.0.1:9"));
    ASSERT_TRUE(QFile::remove(cli.home.file(QStringLiteral("Harborly.ini"))));
    EXPECT_EQ(cli.run({QStringLiteral("status")}), CliExit::Refused);
    EXPECT_TRUE(cli.err.startsWith(QStringLiteral("There is no configuration in ")))
        << cli.err.toStdString();
    EXPECT_TRUE(cli.err.contains(QStringLiteral("Harborly --home")));
}

TEST(CliCommands, NoStoredPasswordIsARefusal) {
    Cli cli(QStringLiteral("127.0.0.1:9"));
    cli.home.write(QStringLiteral("Harborly.ini"), kCatalog);
    EXPECT_EQ(cli.run({QStringLiteral("status")}), CliExit::Refused);
    EXPECT_TRUE(cli.err.contains(QStringLiteral("No router password")));
}

} // namespace
