// SPDX-License-Identifier: GPL-3.0-or-later
// Whether Check Points takes the router for a simulated one on this computer: decided by the
// addresses LanPrivateIP resolves to, never by how it is spelt. The system's resolver is only
// given loopback names and numeric forms, which no server is asked about.
#include "router/check/PortCheck.h"
#include "router/check/RouterOnLoopback.h"

#include "QtPrint.h"
#include "TempHome.h"

#include <gtest/gtest.h>

namespace {

struct SystemCase {
    const char* lanPrivateIp;
    bool loopback;
};

class SystemResolverTest : public testing::TestWithParam<SystemCase> {};

TEST_P(SystemResolverTest, RouterOnLoopbackByTheResolvedAddress) {
    TempHome home;
    home.write(QStringLiteral("Harborly.ini"),
               QByteArray("[Misc]\r\nLanPrivateIP=") + GetParam().lanPrivateIp + "\r\n");
    EXPECT_EQ(CheckOptionsFor(home.file(QStringLiteral("Harborly.ini"))).routerOnLoopback,
              GetParam().loopback);
}

INSTANTIATE_TEST_SUITE_P(
    Addresses, SystemResolverTest,
    testing::Values(SystemCase{"127.0.0.1:5000", true}, SystemCase{"[::1]:5351", true},
                    SystemCase{"localhost", true}, SystemCase{"LocalHost:1900", true},
                    SystemCase{"http://localhost:49152/rootDesc.xml", true},
                    SystemCase{"127.1:5351", true}, SystemCase{"10.0.0.1", false},
                    SystemCase{"http://192.168.1.1:5000/rootDesc.xml", false},
                    SystemCase{"", false}));

// Names as a resolver answers them: the computer's own name, a router's name in a description
// URL, a name with addresses of both kinds.
struct NameCase {
    const char* lanPrivateIp;
    const char* host; // what the resolver is asked
    QStringList addresses;
    bool loopback;
};

class NamedRouterTest : public testing::TestWithParam<NameCase> {};

TEST_P(NamedRouterTest, AnyLoopbackAddressCounts) {
    const NameCase& c = GetParam();
    QStringList asked;
    const auto resolve = [&](const QString& host) {
        asked << host;
        QList<QHostAddress> out;
        for (const QString& a : c.addresses)
            out << QHostAddress(a);
        return out;
    };
    EXPECT_EQ(NamesLoopback(QString::fromLatin1(c.lanPrivateIp), resolve), c.loopback);
    EXPECT_EQ(asked, QStringList{QString::fromLatin1(c.host)});
}

INSTANTIATE_TEST_SUITE_P(
    Names, NamedRouterTest,
    testing::Values(NameCase{"myhost:1900", "myhost", {"127.0.1.1"}, true},
                    NameCase{"http://gw.home:49152/rootDesc.xml", "gw.home", {"::1"}, true},
                    NameCase{" both.home ", "both.home", {"10.0.0.1", "127.0.0.1"}, true},
                    NameCase{"far.home", "far.home", {"11.22.33.44"}, false},
                    NameCase{"gone.home:5351", "gone.home", {}, false}));

} // namespace
