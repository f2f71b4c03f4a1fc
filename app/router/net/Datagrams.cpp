// SPDX-License-Identifier: GPL-3.0-or-later
#include "router/net/Datagrams.h"

#include <QUdpSocket>

void DrainDatagrams(QUdpSocket& socket, qint64 maxBytes, int most,
                    const std::function<bool(const QNetworkDatagram&)>& take) {
    for (int n = 0; n < most && socket.hasPendingDatagrams(); ++n) {
        const qint64 size = socket.pendingDatagramSize();
        if (size < 0 || size > maxBytes) {
            char discard = 0;
            socket.readDatagram(&discard, 1);
            continue;
        }
        if (!take(socket.receiveDatagram(size)))
            return;
    }
}
