// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "router/pcpnatpmp/PcpNatPmpPackets.h"

#include <QHostAddress>
#include <QNetworkDatagram>
#include <QUdpSocket>
#include <QtEndian>

#include <functional>

// A PCP / NAT-PMP router on 127.0.0.1 and a port of its own. Every request is kept as bytes;
// `answer` says what goes back to each, and from which port.
class FakePcpNatPmpRouter : public QObject {
public:
    struct Reply {
        QByteArray bytes;
        bool fromOtherPort = false;
    };

    FakePcpNatPmpRouter() {
        socket_.bind(QHostAddress::LocalHost, 0);
        other_.bind(QHostAddress::LocalHost, 0);
        connect(&socket_, &QUdpSocket::readyRead, this, [this] { onRequest(); });
    }

    quint16 port() const { return socket_.localPort(); }

    std::function<QList<Reply>(const QByteArray& request)> answer = [](const QByteArray&) {
        return QList<Reply>{};
    };
    QList<QByteArray> requests;

private:
    void onRequest() {
        while (socket_.hasPendingDatagrams()) {
            const QNetworkDatagram d = socket_.receiveDatagram();
            requests.append(d.data());
            for (const Reply& r : answer(d.data()))
                (r.fromOtherPort ? other_ : socket_)
                    .writeDatagram(r.bytes, d.senderAddress(), d.senderPort());
        }
    }

    QUdpSocket socket_;
    QUdpSocket other_;
};

inline QByteArray U32(quint32 v) {
    QByteArray b(4, '\0');
    qToBigEndian(v, b.data());
    return b;
}

inline QByteArray U16(quint16 v) {
    QByteArray b(2, '\0');
    qToBigEndian(v, b.data());
    return b;
}

inline bool IsPcp(const QByteArray& request) {
    return request.size() >= 24 && request[0] == 2;
}

// The router's answer to a PCP request: the request's body echoed, with the assigned port
// and address put in.
inline QByteArray PcpAnswerTo(const QByteArray& request, quint8 result, quint32 lifetime,
                              quint32 epoch, quint16 port = 0,
                              const QHostAddress& address = QHostAddress("11.22.33.44")) {
    QByteArray a;
    a.append(char(2)).append(char(0x80 | request[1])).append('\0').append(char(result));
    a += U32(lifetime) + U32(epoch) + QByteArray(12, '\0');
    if (request.size() >= 60)
        a += request.mid(24, 18) + U16(port) + PcpAddressField(address);
    return a;
}

// The router's answer to a NAT-PMP mapping request.
inline QByteArray NatPmpAnswerTo(const QByteArray& request, quint16 result, quint32 epoch,
                                 quint16 port, quint32 lifetime) {
    QByteArray a;
    a.append('\0').append(char(0x80 | request[1]));
    return a + U16(result) + U32(epoch) + request.mid(4, 2) + U16(port) + U32(lifetime);
}

inline QByteArray NatPmpAddressAnswer(quint16 result, quint32 epoch, const QByteArray& address) {
    return QByteArray::fromHex("0080") + U16(result) + U32(epoch) + address;
}
