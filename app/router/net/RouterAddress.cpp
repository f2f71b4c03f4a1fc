// SPDX-License-Identifier: GPL-3.0-or-later
#include "router/net/RouterAddress.h"

#include "router/net/DefaultGateway.h"
#include "router/net/Ipv6Address.h"

#include <QFile>

#include <QHostAddress>

RouterAddress ParseRouterAddress(const QString& lanPrivateIp, quint16 defaultPort) {
    RouterAddress address;
    address.port = defaultPort;
    QString host = lanPrivateIp.trimmed();
    QString port;
    if (host.startsWith(QLatin1Char('['))) {
        const qsizetype close = host.indexOf(QLatin1Char(']'));
        if (close < 0)
            return address;
        const QString rest = host.mid(close + 1);
        if (!rest.isEmpty()) {
            if (!rest.startsWith(QLatin1Char(':')))
                return address;
            port = rest.mid(1);
        }
        host = host.mid(1, close - 1);
    } else if (host.count(QLatin1Char(':')) == 1) {
        const qsizetype colon = host.indexOf(QLatin1Char(':'));
        port = host.mid(colon + 1);
        host.truncate(colon);
    }
    if (host.isEmpty())
        return address;
    if (!port.isNull()) {
        bool ok = false;
        const uint n = port.toUInt(&ok);
        if (!ok || n == 0 || n > 65535)
            return address;
        address.port = static_cast<quint16>(n);
    }
    address.host = host;
    address.valid = true;
    return address;
}

QString RouterAddressText(const QString& lanPrivateIp, const QString& routeFile,
                          const QString& ipv6RouteFile) {
    if (!lanPrivateIp.trimmed().isEmpty())
        return lanPrivateIp;
    const QHostAddress gateway = ReadDefaultGateway(routeFile);
    if (!gateway.isNull())
        return gateway.toString();
    QFile f(ipv6RouteFile);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const QHostAddress router6 = Ipv6DefaultRouter(f.read(1 << 20));
    return router6.isNull() ? QString() : router6.toString();
}
