// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Reading what waits on a UDP socket from a router, for every kind that speaks UDP.

#include <QNetworkDatagram>

#include <functional>

class QUdpSocket;

// Hands each waiting datagram of at most maxBytes to take, and drops larger ones unread;
// stops after `most` datagrams (a flood must not keep a wait from ending: Qt signals again
// for the rest) or when take returns false (it may have closed the socket).
void DrainDatagrams(QUdpSocket& socket, qint64 maxBytes, int most,
                    const std::function<bool(const QNetworkDatagram&)>& take);
