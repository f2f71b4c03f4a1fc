// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Where the router listens, for every kind: `LanPrivateIP` as the user wrote it, or this
// computer's default gateway when it is empty.

#include <QString>

struct RouterAddress {
    QString host;
    quint16 port = 80;
    bool valid = false;
};
// "host" or "host:port" ("[v6]:port" too).
RouterAddress ParseRouterAddress(const QString& lanPrivateIp, quint16 defaultPort = 80);

// LanPrivateIP as written, or the default gateway of routeFile when it is empty, or else the
// IPv6 default router of ipv6RouteFile (a computer with no IPv4 route; link-local with its
// zone); empty when there is none.
QString RouterAddressText(const QString& lanPrivateIp,
                          const QString& routeFile = QStringLiteral("/proc/net/route"),
                          const QString& ipv6RouteFile = QStringLiteral("/proc/net/ipv6_route"));
