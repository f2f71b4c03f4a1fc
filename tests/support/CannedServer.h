// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QList>
#include <QTcpServer>
#include <QTcpSocket>

// A loopback server that answers every connection with fixed bytes, for tests of the exchange.
class CannedServer : public QTcpServer {
public:
    enum class Ending { Close, KeepOpen, Silent };

    explicit CannedServer(QByteArray reply = {}, Ending ending = Ending::Close)
        : reply_(std::move(reply)), ending_(ending) {
        listen(QHostAddress::LocalHost, 0);
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* s = nextPendingConnection()) {

                connect(s, &QTcpSocket::readyRead, this, [this, s] { onRequest(s); });
            }
        });
    }

    QString hostAndPort() const { return QStringLiteral("127.0.0.1:%1").arg(serverPort()); }
    void setReply(QByteArray reply) { reply_ = std::move(reply); }
    // Splits the reply into this many writes, the last one together with the close.
    void setPieces(int pieces) { pieces_ = pieces; }

    QList<QByteArray> requests;

private:
    void onRequest(QTcpSocket* s) {
        const QByteArray data = s->readAll();
        if (!requests.isEmpty() && s->property("seen").toBool()) {
            requests.back() += data;
            return;
        }
        s->setProperty("seen", true);
        requests << data;
        if (ending_ == Ending::Silent)
            return;
        const qsizetype step = (reply_.size() + pieces_ - 1) / std::max(1, pieces_);
        for (qsizetype at = 0; at < reply_.size(); at += std::max<qsizetype>(1, step)) {
            s->write(reply_.mid(at, step));
            s->flush();
        }
        if (ending_ == Ending::Close)
            s->disconnectFromHost();
    }

    QByteArray reply_;
    Ending ending_;
    int pieces_ = 1;
};

// A port on 127.0.0.1 that nobody listens on.
inline QString ClosedLoopbackPort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const quint16 port = probe.serverPort();
    probe.close();
    return QStringLiteral("127.0.0.1:%1").arg(port);
}
