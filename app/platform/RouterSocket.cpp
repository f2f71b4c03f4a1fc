// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/RouterSocket.h"

#include <QHostAddress>
#include <QNetworkInterface>
#include <QTcpSocket>

QString socketStateWord(int state) {
    static const char* const words[] = {QT_TRANSLATE_NOOP("Status", "Closed"),
                                        QT_TRANSLATE_NOOP("Status", "Open"),
                                        QT_TRANSLATE_NOOP("Status", "Listening"),
                                        QT_TRANSLATE_NOOP("Status", "Connection Pending"),
                                        QT_TRANSLATE_NOOP("Status", "Resolving Host"),
                                        QT_TRANSLATE_NOOP("Status", "Host Resolved"),
                                        QT_TRANSLATE_NOOP("Status", "Connecting"),
                                        QT_TRANSLATE_NOOP("Status", "Connected"),
                                        QT_TRANSLATE_NOOP("Status", "No Carrier"),
                                        QT_TRANSLATE_NOOP("Status", "Error")};
    if (state < 0 || state > 9)
        return {};
    return QString::fromLatin1(words[state]);
}

RouterSocket::RouterSocket(QObject* parent) : QObject(parent), socket_(new QTcpSocket(this)) {
    const auto setState = [this](int state) {
        if (state_ == state)
            return;
        state_ = state;
        emit stateChanged(state_);
    };

    connect(socket_, &QAbstractSocket::stateChanged, this,
            [this, setState](QAbstractSocket::SocketState s) {
                // The close of the peer and our own errors are reported by their own signals.
                if (state_ == SocketState::NoCarrier || state_ == SocketState::Error)
                    return;
                switch (s) {
                case QAbstractSocket::HostLookupState:
                    setState(SocketState::ResolvingHost);
                    break;
                case QAbstractSocket::ConnectingState:
                    setState(SocketState::Connecting);
                    break;
                case QAbstractSocket::ConnectedState:
                    setState(SocketState::Connected);
                    break;
                case QAbstractSocket::BoundState:
                    setState(SocketState::Open);
                    break;
                case QAbstractSocket::ListeningState:
                    setState(SocketState::Listening);
                    break;
                case QAbstractSocket::ClosingState:
                case QAbstractSocket::UnconnectedState:
                    break;
                }
            });

    connect(socket_, &QIODevice::readyRead, this, [this] {
        if (socket_->bytesAvailable() > 0)
            emit dataArrival(socket_->bytesAvailable());
    });

    // Whatever came with the close is handed over while the state still says Connected.
    connect(socket_, &QAbstractSocket::disconnected, this, [this, setState] {
        if (state_ != SocketState::Connected)
            return;
        if (socket_->bytesAvailable() > 0)
            emit dataArrival(socket_->bytesAvailable());
        setState(SocketState::NoCarrier);
    });

    connect(socket_, &QAbstractSocket::errorOccurred, this,
            [this, setState](QAbstractSocket::SocketError error) {
                if (error == QAbstractSocket::RemoteHostClosedError) {
                    if (state_ == SocketState::Connected) {
                        if (socket_->bytesAvailable() > 0)
                            emit dataArrival(socket_->bytesAvailable());
                        setState(SocketState::NoCarrier);
                    }
                    return;
                }
                if (state_ != SocketState::NoCarrier)
                    setState(SocketState::Error);
            });
}

RouterSocket::~RouterSocket() = default;

void RouterSocket::Connect(const QString& remoteHost, quint16 remotePort) {
    // Closed first, so that aborting an old connection reports neither its leftover data nor
    // a close by the router.
    state_ = SocketState::Closed;
    socket_->abort();
    socket_->connectToHost(remoteHost, remotePort);
}

void RouterSocket::SendData(const QByteArray& data) {
    if (state_ == SocketState::Connected)
        socket_->write(data);
}

QByteArray RouterSocket::GetData() {
    return socket_->readAll();
}

void RouterSocket::Close() {
    const bool changed = state_ != SocketState::Closed;
    state_ = SocketState::Closed;
    socket_->abort();
    if (changed)
        emit stateChanged(state_);
}

int RouterSocket::State() const {
    return state_;
}

QString RouterSocket::LocalIP() const {
    const QHostAddress local = socket_->localAddress();
    if (!local.isNull()) {
        bool isV4 = false;
        const quint32 v4 = local.toIPv4Address(&isV4);
        return isV4 ? QHostAddress(v4).toString() : local.toString();
    }
    for (const QHostAddress& a : QNetworkInterface::allAddresses())
        if (a.protocol() == QAbstractSocket::IPv4Protocol && !a.isLoopback())
            return a.toString();
    return {};
}
