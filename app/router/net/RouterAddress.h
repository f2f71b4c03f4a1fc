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

// LanPrivateIP as written, or the default gateway of routeFile when it is empty; empty when
// there is neither.
QString RouterAddressText(const QString& lanPrivateIp,
                          const QString& routeFile = QStringLiteral("/proc/net/route"));
