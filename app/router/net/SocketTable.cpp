// SPDX-License-Identifier: GPL-3.0-or-later
#include "router/net/SocketTable.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstring>

#include <unistd.h>

namespace {

// The kernel prints each 32-bit word of an address as the number it holds in memory, so the
// bytes come back by storing the number natively.
bool parseAddress(QByteArrayView hex, bool ipv6, QHostAddress& out) {
    const qsizetype words = ipv6 ? 4 : 1;
    if (hex.size() != words * 8)
        return false;
    quint8 bytes[16] = {};
    for (qsizetype w = 0; w < words; ++w) {
        bool ok = false;
        const quint32 v = hex.sliced(w * 8, 8).toUInt(&ok, 16);
        if (!ok)
            return false;
        std::memcpy(bytes + w * 4, &v, 4);
    }
    if (ipv6) {
        out = QHostAddress(bytes);
    } else {
        quint32 v4 = 0;
        for (int i = 0; i < 4; ++i)
            v4 = v4 << 8 | bytes[i];
        out = QHostAddress(v4);
    }
    return true;
}

bool parseEndpoint(QByteArrayView field, bool ipv6, QHostAddress& address, quint16& port) {
    const qsizetype colon = field.indexOf(':');
    if (colon < 0 || field.size() - colon - 1 != 4)
        return false;
    bool ok = false;
    const uint p = field.sliced(colon + 1).toUInt(&ok, 16);
    if (!ok || p > 0xFFFF)
        return false;
    port = quint16(p);
    return parseAddress(field.first(colon), ipv6, address);
}

QByteArray readSmall(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.read(4 << 20);
}

} // namespace

QList<SocketRow> ParseSocketTable(const QByteArray& text, bool ipv6) {
    QList<SocketRow> rows;
    for (const QByteArray& line : text.split('\n')) {
        const QList<QByteArray> f = line.simplified().split(' ');
        // sl local rem st tx:rx tr:when retrnsmt uid timeout inode ...
        if (f.size() < 10 || !f[0].endsWith(':'))
            continue;
        SocketRow r;
        bool ok = false;
        r.state = f[3].toInt(&ok, 16);
        if (!ok || !parseEndpoint(f[1], ipv6, r.local, r.localPort) ||
            !parseEndpoint(f[2], ipv6, r.remote, r.remotePort))
            continue;
        r.inode = f[9].toULongLong(&ok);
        if (!ok)
            continue;
        rows << r;
    }
    return rows;
}

QList<Listener> ListenersOn(quint16 port, const QString& protocol, const QString& procRoot) {
    const bool tcp = protocol.compare(QLatin1String("TCP"), Qt::CaseInsensitive) == 0;
    const QString base = procRoot + (tcp ? QStringLiteral("/net/tcp") : QStringLiteral("/net/udp"));
    QList<Listener> out;
    for (const bool v6 : {false, true}) {
        for (const SocketRow& r : ParseSocketTable(readSmall(base + (v6 ? "6" : "")), v6)) {
            const bool takes = tcp ? r.state == TcpListenState : r.remotePort == 0;
            if (r.localPort != port || !takes)
                continue;
            out << Listener{r.local, tcp ? QStringLiteral("TCP") : QStringLiteral("UDP"), r.inode,
                            ProgramOfSocket(r.inode, procRoot), v6};
        }
    }
    return out;
}

bool ConnectionArrived(quint16 to, quint16 from, const QString& procRoot) {
    for (const bool v6 : {false, true})
        for (const SocketRow& r : ParseSocketTable(
                 readSmall(procRoot + QStringLiteral("/net/tcp") + (v6 ? "6" : "")), v6))
            if (r.localPort == to && r.remotePort == from && r.state != TcpListenState)
                return true;
    return false;
}

QString ProgramOfSocket(quint64 inode, const QString& procRoot) {
    if (inode == 0)
        return {};
    const QByteArray wanted = "socket:[" + QByteArray::number(inode) + ']';
    const QDir proc(procRoot);
    for (const QString& pid : proc.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool numeric = false;
        pid.toUInt(&numeric);
        if (!numeric)
            continue;
        // Other users' processes keep their fd folders closed: those stay unnamed.
        const QDir fds(proc.filePath(pid + QStringLiteral("/fd")));
        for (const QString& fd :
             fds.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot)) {
            char target[64];
            const ssize_t n =
                ::readlink(QFile::encodeName(fds.filePath(fd)).constData(), target, sizeof target);
            if (n > 0 && QByteArrayView(target, n) == wanted)
                return QString::fromUtf8(readSmall(proc.filePath(pid + QStringLiteral("/comm"))))
                    .trimmed();
        }
    }
    return {};
}
