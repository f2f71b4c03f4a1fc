// SPDX-License-Identifier: GPL-3.0-or-later
#include "router/net/LocalAddress.h"

#include <QNetworkProxy>
#include <QUdpSocket>

QHostAddress PlainAddress(const QHostAddress& address) {
    bool ok = false;
    const quint32 v4 = address.toIPv4Address(&ok);
    return ok ? QHostAddress(v4) : address;
}

QHostAddress LocalAddressToward(const QHostAddress& router, quint16 port) {
    QUdpSocket probe;
    probe.setProxy(QNetworkProxy::NoProxy);
    probe.connectToHost(router, port == 0 ? 1900 : port);
    if (probe.state() != QAbstractSocket::ConnectedState && !probe.waitForConnected(200))
        return {};
    return PlainAddress(probe.localAddress());
}
