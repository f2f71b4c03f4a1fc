// SPDX-License-Identifier: GPL-3.0-or-later
// This computer's address for pinholes, from if_inet6 texts the test writes.
#include "router/net/Ipv6Address.h"

#include "QtPrint.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

// address ifindex prefixlen scope flags name, as the kernel prints them.
const QByteArray kTable = "00000000000000000000000000000001 01 80 10 80       lo\n"
                          "fe800000000000000211223344556677 02 40 20 80     eth0\n"
                          "fd00000000000000000000000000beef 02 40 00 80     eth0\n"
                          "2a0100000000000000000000000000aa 02 40 00 01     eth0\n" // temporary
                          "2a0100000000000000000000000000bb 02 40 00 a0     eth0\n" // deprecated
                          "2a0100000000000000000000000000cc 02 40 00 c0     eth0\n" // tentative
                          "2001000000000000000000000000000d 03 20 00 80   teredo\n"
                          "20010db8000000000000000000000002 04 40 00 80     lan0\n"
                          "2a0100000000000000000000000000ee 02 40 00 80     eth0\n"
                          "2a01 02 40 00 80 broken\n"
                          "zz0100000000000000000000000000ee 02 40 00 80     eth0\n"
                          "2a0100000000000000000000000000ff 02 -1 00 80     eth0\n";

QHostAddress a(const char* text) {
    return QHostAddress(QString::fromLatin1(text));
}

} // namespace

TEST(Ipv6Address, ParsesTheKernelsRows) {
    const QList<Ipv6Entry> rows = ParseIfInet6(kTable);
    ASSERT_EQ(rows.size(), 9);
    EXPECT_EQ(rows[1].address, a("fe80::211:2233:4455:6677"));
    EXPECT_EQ(rows[1].prefixLength, 64);
    EXPECT_EQ(rows[3].flags, Ipv6Entry::Temporary);
    EXPECT_EQ(rows[7].interface, QStringLiteral("lan0"));
}

TEST(Ipv6Address, AStableGlobalAddressBeforeATemporaryOneNeverAnotherKind) {
    const QList<Ipv6Entry> rows = ParseIfInet6(kTable);
    EXPECT_EQ(ChoosePinholeAddress(rows), a("2a01::ee"));
    EXPECT_EQ(ChoosePinholeAddress(rows.mid(0, 4)), a("2a01::aa")); // only a temporary one
    EXPECT_TRUE(ChoosePinholeAddress(rows.mid(0, 3)).isNull());     // loopback, link-local, ULA
    EXPECT_TRUE(ChoosePinholeAddress(rows, QStringLiteral("lan0")).isNull());
    EXPECT_EQ(ChoosePinholeAddress(rows, QStringLiteral("lan0"), true), a("2001:db8::2"));
    EXPECT_FALSE(IsPinholeAddress(a("2002:c000:204::1"))); // 6to4
    EXPECT_FALSE(IsPinholeAddress(a("::ffff:192.0.2.1"))); // IPv4-mapped
    EXPECT_FALSE(IsPinholeAddress(a("192.0.2.1")));
    EXPECT_FALSE(IsPinholeAddress(a("ff02::c")));

    QTemporaryDir dir;
    QFile f(dir.filePath(QStringLiteral("if_inet6")));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(kTable);
    f.close();
    EXPECT_EQ(PinholeAddress(f.fileName()), a("2a01::ee"));
    EXPECT_TRUE(PinholeAddress(dir.filePath(QStringLiteral("missing"))).isNull());
}

// An interface the user named: its addresses taken as given, a global one first, and what
// "still here" means when a pinhole for an old address is to be closed.
TEST(Ipv6Address, OnANamedInterfaceAndStillHere) {
    const QList<Ipv6Entry> rows = ParseIfInet6(kTable);
    EXPECT_EQ(ChooseAddressOn(rows, QStringLiteral("lan0")), a("2001:db8::2"));
    EXPECT_EQ(ChooseAddressOn(rows, QStringLiteral("lo")), a("::1"));
    EXPECT_EQ(ChooseAddressOn(rows, QStringLiteral("eth0")), a("2a01::ee"));
    EXPECT_EQ(ChooseAddressOn(rows.mid(0, 4), QStringLiteral("eth0")), a("2a01::aa"));
    EXPECT_EQ(ChooseAddressOn(rows.mid(0, 3), QStringLiteral("eth0")), a("fd00::beef"));
    EXPECT_TRUE(ChooseAddressOn(rows, QStringLiteral("wlan0")).isNull());

    QTemporaryDir dir;
    QFile f(dir.filePath(QStringLiteral("if_inet6")));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(kTable);
    f.close();
    EXPECT_EQ(CurrentPinholeAddress(a("2001:db8::9"), QStringLiteral("lo"), f.fileName()),
              a("2001:db8::9"));
    EXPECT_EQ(CurrentPinholeAddress({}, QStringLiteral("lo"), f.fileName()), a("::1"));
    EXPECT_EQ(CurrentPinholeAddress({}, {}, f.fileName()), a("2a01::ee"));
    EXPECT_TRUE(AddressStillHere(a("2a01::bb"), f.fileName()));  // deprecated: still here
    EXPECT_FALSE(AddressStillHere(a("2a01::cc"), f.fileName())); // tentative: not usable yet
    EXPECT_FALSE(AddressStillHere(a("2a01::1234"), f.fileName()));
}
