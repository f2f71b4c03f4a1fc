// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The kernel's socket tables (/proc/net/tcp, tcp6, udp, udp6), read as text: which program on
// this computer receives what arrives on a port. Only local files are read.

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QString>

struct SocketRow {
    QHostAddress local;
    quint16 localPort = 0;
    QHostAddress remote;
    quint16 remotePort = 0;
    int state = 0; // the kernel's TCP state number; 0x0A listening
    quint64 inode = 0;
};

inline constexpr int TcpListenState = 0x0A;

// One table's rows; lines that do not parse (the header among them) are skipped. `ipv6`
// says which width the addresses have.
QList<SocketRow> ParseSocketTable(const QByteArray& text, bool ipv6);

// A socket that takes what arrives on a port: a listening TCP socket, or an unconnected UDP
// socket bound to it.
struct Listener {
    QHostAddress address; // :: or 0.0.0.0 for every address
    QString protocol;     // "TCP" or "UDP"
    quint64 inode = 0;
    QString program;   // the process's name where this user may read it; empty otherwise
    bool ipv6 = false; // found in the IPv6 table

    // Bound to a loopback address: reachable from this computer alone.
    bool loopbackOnly() const { return address.isLoopback(); }
    // Which family's connections reach it. An IPv6 socket on :: takes IPv4 too (the kernel's
    // default; a socket set to IPv6 alone is not told apart in the tables).
    bool takesIpv4() const {
        return !ipv6 || ipv4Mapped() || address == QHostAddress(QHostAddress::AnyIPv6);
    }
    bool takesIpv6() const { return ipv6 && !ipv4Mapped(); }

private:
    // ::ffff:a.b.c.d, an IPv4 address in the IPv6 table.
    bool ipv4Mapped() const {
        return ipv6 && address.isInSubnet(QHostAddress(QStringLiteral("::ffff:0:0")), 96);
    }
};

// The listeners on `port` for "TCP" or "UDP", from `procRoot`/net/{tcp,tcp6} or {udp,udp6},
// with the owning program named from `procRoot`/<pid>/fd where readable.
QList<Listener> ListenersOn(quint16 port, const QString& protocol,
                            const QString& procRoot = QStringLiteral("/proc"));

// Whether a TCP connection from local port `from` to port `to` stands in the tables: proof that
// a connection arrived at this computer.
bool ConnectionArrived(quint16 to, quint16 from, const QString& procRoot = QStringLiteral("/proc"));

// The name (`comm`) of the process holding the socket `inode`; empty when none readable holds it.
QString ProgramOfSocket(quint64 inode, const QString& procRoot = QStringLiteral("/proc"));
