// SPDX-License-Identifier: GPL-3.0-or-later
// The kernel's socket tables, read from files the test writes: who listens on a port, and
// which program it is.
#include "router/net/SocketTable.h"
#include "router/check/PortCheck.h"

#include "QtPrint.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTcpServer>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

const QByteArray kHeader = "  sl  local_address rem_address   st tx_queue rx_queue tr tm->when "
                           "retrnsmt   uid  timeout inode\n";

QByteArray row(const char* local, const char* remote, const char* state, const char* inode) {
    return QByteArray("   0: ") + local + ' ' + remote + ' ' + state +
           " 00000000:00000000 00:00000000 00000000  1000        0 " + inode +
           " 1 0000000000000000 100 0 0 10 0\n";
}

void write(const QString& path, const QByteArray& text) {
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(text);
}

} // namespace

TEST(SocketTable, ReadsAddressesPortsStatesAndInodesOfBothWidths) {
    const QList<SocketRow> v4 =
        ParseSocketTable(kHeader + row("0100007F:1F90", "00000000:0000", "0A", "111") +
                             row("0202A8C0:0050", "0101A8C0:D431", "01", "112") + "garbage line\n" +
                             row("0100007F:1F9", "00000000:0000", "0A", "113") + // port too short
                             row("0100007Z:1F90", "00000000:0000", "0A", "114"),
                         false);
    ASSERT_EQ(v4.size(), 2);
    EXPECT_EQ(v4[0].local, QHostAddress(QStringLiteral("127.0.0.1")));
    EXPECT_EQ(v4[0].localPort, 8080);
    EXPECT_EQ(v4[0].state, TcpListenState);
    EXPECT_EQ(v4[0].inode, 111u);
    EXPECT_EQ(v4[1].local, QHostAddress(QStringLiteral("192.168.2.2")));
    EXPECT_EQ(v4[1].remote, QHostAddress(QStringLiteral("192.168.1.1")));
    EXPECT_EQ(v4[1].remotePort, 0xD431);

    const QList<SocketRow> v6 =
        ParseSocketTable(kHeader +
                             row("B80D0120000000000000000002000000:1FA0",
                                 "00000000000000000000000000000000:0000", "0A", "221") +
                             row("0100007F:1F90", "00000000:0000", "0A", "222"), // IPv4 width
                         true);
    ASSERT_EQ(v6.size(), 1);
    EXPECT_EQ(v6[0].local, QHostAddress(QStringLiteral("2001:db8::2")));
    EXPECT_EQ(v6[0].localPort, 8096);
}

TEST(SocketTable, ListenersOnAPortWithTheProgramWhereItsFolderIsReadable) {
    QTemporaryDir proc;
    const QString root = proc.path();
    write(root + "/net/tcp", kHeader + row("00000000:1FA0", "00000000:0000", "0A", "501") +
                                 row("0100007F:1FA0", "0100007F:9C40", "01", "502") + // connected
                                 row("0100007F:1F90", "00000000:0000", "0A", "503"));
    write(root + "/net/tcp6", kHeader + row("00000000000000000000000001000000:1FA0",
                                            "00000000000000000000000000000000:0000", "0A", "504"));
    write(root + "/net/udp", kHeader + row("00000000:1FA0", "00000000:0000", "07", "601") +
                                 row("00000000:1FA0", "0100007F:0035", "01", "602"));
    // udp6 missing: nothing from it.
    write(root + "/4242/comm", "jellyfin\n");
    QDir().mkpath(root + "/4242/fd");
    ASSERT_TRUE(QFile::link(QStringLiteral("socket:[501]"), root + "/4242/fd/7"));
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/null"), root + "/4242/fd/0"));
    QDir().mkpath(root + "/self/fd"); // not a process number: not looked at

    const QList<Listener> tcp = ListenersOn(8096, QStringLiteral("TCP"), root);
    ASSERT_EQ(tcp.size(), 2);
    EXPECT_EQ(tcp[0].program, QStringLiteral("jellyfin"));
    EXPECT_FALSE(tcp[0].loopbackOnly());
    EXPECT_TRUE(tcp[1].program.isEmpty());
    EXPECT_TRUE(tcp[1].loopbackOnly()); // [::1]
    const QList<Listener> udp = ListenersOn(8096, QStringLiteral("udp"), root);
    ASSERT_EQ(udp.size(), 1);
    EXPECT_EQ(udp[0].inode, 601u);
    EXPECT_TRUE(ListenersOn(8097, QStringLiteral("TCP"), root).isEmpty());

    EXPECT_TRUE(ConnectionArrived(8096, 40000, root));
    EXPECT_FALSE(ConnectionArrived(8096, 40001, root));

    // Right after Point To Me: the ports no program takes from outside need a word.
    QList<PortCheck> pointed;
    for (const PlannedMapping& m :
         {PlannedMapping{8096, QStringLiteral("TCP"), QStringLiteral("Jellyfin"), {}},
          PlannedMapping{8080, QStringLiteral("TCP"), QStringLiteral("Web"), {}},
          PlannedMapping{27015, QStringLiteral("UDP"), QStringLiteral("Game"), {}}}) {
        PortCheck c;
        c.mapping = m;
        c.forwarded = true;
        c.listeners = ListenersOn(quint16(m.port), m.protocol, root);
        pointed << c;
    }
    EXPECT_EQ(ProblemLines(pointed),
              QStringList({QStringLiteral("Web 8080/TCP: forwarded, a program listens on 8080 only "
                                          "for this computer (127.0.0.1) — let it listen on all "
                                          "addresses"),
                           QStringLiteral("Game 27015/UDP: forwarded, nothing on this computer "
                                          "listens on 27015 — start Game")}));
}

TEST(SocketTable, ListenersOnThisComputerAreFound) {
    // The process's own listening socket, in the machine's real tables.
    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::AnyIPv4));
    const QList<Listener> found = ListenersOn(server.serverPort(), QStringLiteral("TCP"));
    ASSERT_EQ(found.size(), 1);
    EXPECT_EQ(found[0].address, QHostAddress(QHostAddress::AnyIPv4));
    EXPECT_FALSE(found[0].program.isEmpty());
}

TEST(OutsideChecker, ReadsTheVerdictFromTheFirstLine) {
    QString note;
    EXPECT_EQ(ParseCheckerAnswer("open\n"), Outside::Open);
    EXPECT_EQ(ParseCheckerAnswer("Closed\r\nwhy\n"), Outside::Closed);
    EXPECT_EQ(ParseCheckerAnswer("busy, try later\n", &note), Outside::Unknown);
    EXPECT_EQ(note, QStringLiteral("busy, try later"));
    EXPECT_EQ(ParseCheckerAnswer("", &note), Outside::Unknown);
    EXPECT_EQ(note, QStringLiteral("no answer"));
    EXPECT_EQ(AskOutsideChecker(QStringLiteral("https://example.invalid/"), 1, "tcp",
                                std::chrono::milliseconds(10), &note),
              Outside::Unknown);
    EXPECT_TRUE(note.contains(QStringLiteral("http://")));
}

TEST(CheckOptions, ARouterOnLoopbackIsSimulatedAndItsOutsideAddressMadeUp) {
    QTemporaryDir dir;
    const QString ini = dir.filePath(QStringLiteral("Harborly.ini"));
    for (const auto& [lan, loopback] : {std::pair{"127.0.0.1:5351", true},
                                        {"[::1]:1900", true},
                                        {"http://127.0.0.1:5000/rootDesc.xml", true},
                                        {"localhost", true},
                                        {"192.168.1.1", false},
                                        {"", false}}) {
        QFile f(ini);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(QByteArray("[Misc]\r\nLanPrivateIP=") + lan + "\r\n");
        f.close();
        EXPECT_EQ(CheckOptionsFor(ini).routerOnLoopback, loopback) << lan;
    }
}

TEST(SocketTable, TheCheckTellsWhichFamilyAListenerTakes) {
    const QByteArray any4 = row("00000000:1FA0", "00000000:0000", "0A", "701");
    const QByteArray any6 = row("00000000000000000000000000000000:1FA0",
                                "00000000000000000000000000000000:0000", "0A", "702");
    const QByteArray mapped = row("0000000000000000FFFF00000202A8C0:1FA0",
                                  "00000000000000000000000000000000:0000", "0A", "703");
    const QByteArray own6 = row("B80D0120000000000000000002000000:1FA0",
                                "00000000000000000000000000000000:0000", "0A", "704");
    struct Case {
        QByteArray tcp, tcp6;
        bool ipv6Only;
        const char* listens; // the sentence's part about the program
        bool good;
    };
    const Case cases[] = {
        {any4,
         {},
         false,
         "a program listens on 8096 over IPv4 only — nothing answers through the "
         "IPv6 pinhole",
         true},
        {{},
         mapped,
         false,
         "a program listens on 8096 over IPv4 only — nothing answers through "
         "the IPv6 pinhole",
         true},
        {any4,
         {},
         true,
         "a program listens on 8096 over IPv4 only — nothing answers through the "
         "IPv6 pinhole",
         false},
        {{}, any6, false, "a program listens on 8096", true}, // :: takes both
        {{}, own6, true, "a program listens on 8096", true},
        {any4, own6, false, "a program listens on 8096", true},
    };
    for (const Case& c : cases) {
        QTemporaryDir proc;
        write(proc.path() + "/net/tcp", kHeader + c.tcp);
        write(proc.path() + "/net/tcp6", kHeader + c.tcp6);
        PortCheck check;
        check.mapping = {8096, QStringLiteral("TCP"), QStringLiteral("Jellyfin"), {}};
        check.ipv6Only = c.ipv6Only;
        if (!c.ipv6Only)
            check.forwarded = true;
        check.pinhole = true;
        check.listeners = ListenersOn(8096, QStringLiteral("TCP"), proc.path());
        EXPECT_TRUE(check.sentence().endsWith(QStringLiteral(", ") + QString::fromUtf8(c.listens)))
            << check.sentence().toStdString();
        EXPECT_EQ(check.good(), c.good) << c.listens;
    }
    // Over IPv6 alone in the table, an IPv4 forward reaches nothing.
    QTemporaryDir proc;
    write(proc.path() + "/net/tcp6", kHeader + own6);
    PortCheck check;
    check.mapping = {8096, QStringLiteral("TCP"), QStringLiteral("Jellyfin"), {}};
    check.forwarded = true;
    check.listeners = ListenersOn(8096, QStringLiteral("TCP"), proc.path());
    EXPECT_EQ(check.sentence(), QStringLiteral("forwarded, a program listens on 8096 over IPv6 "
                                               "only — nothing answers through the IPv4 forward"));
}
