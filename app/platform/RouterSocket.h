// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

class QTcpSocket;

// The states of the router connection, numbered as the communication indicator shows them.
namespace SocketState {
constexpr int Closed = 0;
constexpr int Open = 1;
constexpr int Listening = 2;
constexpr int ConnectionPending = 3;
constexpr int ResolvingHost = 4;
constexpr int HostResolved = 5;
constexpr int Connecting = 6;
constexpr int Connected = 7;
constexpr int NoCarrier = 8; // the router closed its side
constexpr int Error = 9;     // refused, unreachable or unresolvable
} // namespace SocketState

// The word the communication indicator shows for a state; empty outside 0 to 9.
QString socketStateWord(int state);

// The TCP client of the router exchange (`sckSend`).
// Data that comes together with the router's close is reported through dataArrival while
// State() is still Connected; only then does the state become NoCarrier.
class RouterSocket : public QObject {
    Q_OBJECT
public:
    explicit RouterSocket(QObject* parent = nullptr);
    ~RouterSocket() override;

    void Connect(const QString& remoteHost, quint16 remotePort);
    void SendData(const QByteArray& data);
    QByteArray GetData();
    void Close();
    int State() const;
    // This computer's address on the connection to the router; without a connection, the
    // machine's first non-loopback IPv4 address, or empty when it has none.
    QString LocalIP() const;

signals:
    void dataArrival(qint64 bytesTotal);
    void stateChanged(int state);

private:
    QTcpSocket* socket_;
    int state_ = SocketState::Closed;
};
