// SPDX-License-Identifier: GPL-3.0-or-later
// What every router kind shares: the router's address, the default gateway, the judgement
// of the external address.
#include "router/net/DefaultGateway.h"
#include "router/net/ExternalAddress.h"
#include "router/net/RouterAddress.h"

#include "QtPrint.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

struct RouterAddressCase {
    const char* text;
    bool valid;
    const char* host;
    quint16 port;
};

class RouterAddressTest : public testing::TestWithParam<RouterAddressCase> {};

TEST_P(RouterAddressTest, Parses) {
    const RouterAddressCase c = GetParam();
    const RouterAddress a = ParseRouterAddress(QString::fromLatin1(c.text));
    EXPECT_EQ(a.valid, c.valid) << c.text;
    if (c.valid) {
        EXPECT_EQ(a.host, QString::fromLatin1(c.host));
        EXPECT_EQ(a.port, c.port);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Forms, RouterAddressTest,
    testing::Values(RouterAddressCase{"192.168.1.1", true, "192.168.1.1", 80},
                    RouterAddressCase{"127.0.0.1:8080", true, "127.0.0.1", 8080},
                    RouterAddressCase{"[::1]:8081", true, "::1", 8081},
                    RouterAddressCase{"[::1]", true, "::1", 80},
                    RouterAddressCase{"::1", true, "::1", 80},
                    RouterAddressCase{"router.lan:81", true, "router.lan", 81},
                    RouterAddressCase{"2001:db8:1::1", true, "2001:db8:1::1", 80},
                    RouterAddressCase{"[2001:db8:1::1]:1900", true, "2001:db8:1::1", 1900},
                    RouterAddressCase{"fe80::1%eth0", true, "fe80::1%eth0", 80},
                    RouterAddressCase{"[fe80::1%eth0]:1900", true, "fe80::1%eth0", 1900},
                    RouterAddressCase{"127.0.0.1:0", false, "", 0},
                    RouterAddressCase{"127.0.0.1:70000", false, "", 0},
                    RouterAddressCase{"127.0.0.1:http", false, "", 0},
                    RouterAddressCase{"", false, "", 0}, RouterAddressCase{"[::1", false, "", 0}));

struct ExternalAddressCase {
    const char* address;
    ExternalAddressKind kind;
};

class ExternalAddressTest : public testing::TestWithParam<ExternalAddressCase> {};

TEST_P(ExternalAddressTest, Classifies) {
    const ExternalAddressCase& c = GetParam();
    const QString a = QString::fromLatin1(c.address);
    EXPECT_EQ(ClassifyExternalAddress(a), c.kind) << c.address;
    EXPECT_EQ(ExternalAddressWarning(a).isEmpty(), c.kind == ExternalAddressKind::Public);
}

using K = ExternalAddressKind;
INSTANTIATE_TEST_SUITE_P(Addresses, ExternalAddressTest,
                         testing::Values(ExternalAddressCase{"11.22.33.44", K::Public},
                                         ExternalAddressCase{"", K::None},
                                         ExternalAddressCase{"0.0.0.0", K::None},
                                         ExternalAddressCase{"garbage", K::None},
                                         ExternalAddressCase{"127.1", K::None},
                                         ExternalAddressCase{"10.0.0.2", K::DoubleNat},
                                         ExternalAddressCase{"172.31.255.255", K::DoubleNat},
                                         ExternalAddressCase{"172.32.0.1", K::Public},
                                         ExternalAddressCase{"192.168.178.1", K::DoubleNat},
                                         ExternalAddressCase{"100.64.1.2", K::Cgnat},
                                         ExternalAddressCase{"100.128.0.1", K::Public},
                                         ExternalAddressCase{"169.254.1.1", K::Reserved},
                                         ExternalAddressCase{"192.0.2.1", K::Reserved},
                                         ExternalAddressCase{"198.19.0.1", K::Reserved},
                                         ExternalAddressCase{"224.0.0.1", K::Reserved},
                                         ExternalAddressCase{"255.255.255.255", K::Reserved}));

TEST(ExternalAddressWords, WarningNamesTheAddress) {
    EXPECT_EQ(ExternalAddressWarning(QStringLiteral("100.64.1.2")),
              QStringLiteral("Your router does not have a public internet address (100.64.1.2). "
                             "Another router or your provider sits in front of it, so port "
                             "forwarding on this router cannot make your computer reachable from "
                             "the internet."));
}

// Where a pinhole can be opened, the WAN area shows the IPv6 address and the warning says that
// IPv6 is the way in; a public IPv4 address needs no warning either way.
TEST(ExternalAddressWords, Ipv6WayInIsShownAndNamedInTheWarning) {
    const QString six = QStringLiteral("2001:db8::2");
    EXPECT_EQ(ExternalAddressWarning(QStringLiteral("100.64.1.2"), six),
              QStringLiteral("Reachable over IPv6 at 2001:db8::2; IPv4 forwards cannot reach this "
                             "computer: the router has no public internet address (100.64.1.2)."));
    EXPECT_EQ(ExternalAddressWarning(QString(), six),
              QStringLiteral("Reachable over IPv6 at 2001:db8::2; IPv4 forwards cannot reach this "
                             "computer: the router has no public internet address."));
    EXPECT_EQ(ExternalAddressWarning(QStringLiteral("11.22.33.44"), six), QString());
    EXPECT_EQ(WanAreaText(QStringLiteral("100.64.1.2"), six),
              QStringLiteral("100.64.1.2, IPv6 2001:db8::2"));
    EXPECT_EQ(WanAreaText(QStringLiteral("11.22.33.44"), QString()), QStringLiteral("11.22.33.44"));
}

// ---- The routing table --------------------------------------------------------------------

const char* kHeading = "Iface\tDestination\tGateway \tFlags\tRefCnt\tUse\tMetric\tMask\t\tMTU\t"
                       "Window\tIRTT\n";

QHostAddress GatewayOf(const QByteArray& rows) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("route"));
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(kHeading + rows);
    f.close();
    return ReadDefaultGateway(path);
}

TEST(DefaultGateway, ReadsTheLowestMetricDefaultRoute) {
    struct Case {
        QByteArray rows;
        const char* gateway; // empty: none
        const char* why;
    };
    const Case cases[] = {
        {"eth0\t00000000\t0101A8C0\t0003\t0\t0\t100\t00000000\t0\t0\t0\n"
         "eth0\t0001A8C0\t00000000\t0001\t0\t0\t100\t00FFFFFF\t0\t0\t0\n",
         "192.168.1.1", "one default route"},
        {"wlan0\t00000000\t0100000A\t0003\t0\t0\t600\t00000000\t0\t0\t0\n"
         "eth0\t00000000\t FE01A8C0\t0003\t0\t0\t100\t00000000\t0\t0\t0\n",
         "192.168.1.254", "lowest metric wins, whatever the order"},
        {"eth0\t00000000\t0101A8C0\t0001\t0\t0\t100\t00000000\t0\t0\t0\n", "", "no gateway flag"},
        {"eth0\t00000000\t0101A8C0\t0002\t0\t0\t100\t00000000\t0\t0\t0\n", "", "route down"},
        {"eth0\t0000000A\t0101A8C0\t0003\t0\t0\t100\t000000FF\t0\t0\t0\n", "",
         "not the default route"},
        {"eth0\t00000000\t00000000\t0003\t0\t0\t100\t00000000\t0\t0\t0\n", "", "gateway 0"},
        {"eth0\t00000000\tXYZ\t0003\t0\t0\t100\t00000000\t0\t0\t0\n"
         "eth0\t00000000\t0101A8C0\t0003\n",
         "", "garbage and a cut line"},
        {"", "", "heading only"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(GatewayOf(c.rows), QHostAddress(QString::fromLatin1(c.gateway))) << c.why;
    EXPECT_TRUE(ReadDefaultGateway(QStringLiteral("/nonexistent/route")).isNull());
}

// With no IPv4 default route the IPv6 default router is the router, its zone kept for a
// link-local one; the address the user wrote always wins.
TEST(DefaultGateway, RouterAddressFallsBackToTheIpv6DefaultRouter) {
    const QByteArray v4 = "eth0\t00000000\t0101A8C0\t0003\t0\t0\t100\t00000000\t0\t0\t0\n";
    const QByteArray zero(32, '0');
    const QByteArray viaLinkLocal = zero + " 00 " + zero +
                                    " 00 fe800000000000000000000000000001 00000400 00000001 "
                                    "00000000 00000003 eth0\n";
    const QByteArray viaGlobal = zero + " 00 " + zero +
                                 " 00 20010db8000100000000000000000001 00000400 00000001 "
                                 "00000000 00000003 eth0\n";
    const struct {
        const char* lanPrivateIp;
        QByteArray route, route6;
        const char* router;
    } rows[] = {
        {"", v4, viaLinkLocal, "192.168.1.1"},
        {"", "", viaLinkLocal, "fe80::1%eth0"},
        {"", "", viaGlobal, "2001:db8:1::1"},
        {"", "", "", ""},
        {"[2001:db8:1::1]:1900", "", viaLinkLocal, "[2001:db8:1::1]:1900"},
    };
    QTemporaryDir dir;
    const QString route = dir.filePath(QStringLiteral("route"));
    const QString route6 = dir.filePath(QStringLiteral("ipv6_route"));
    for (const auto& r : rows) {
        QFile f(route), f6(route6);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly) && f6.open(QIODevice::WriteOnly));
        f.write(kHeading + r.route);
        f6.write(r.route6);
        f.close();
        f6.close();
        EXPECT_EQ(RouterAddressText(QString::fromLatin1(r.lanPrivateIp), route, route6),
                  QString::fromLatin1(r.router))
            << r.router;
    }
}

} // namespace
