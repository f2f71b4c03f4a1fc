// SPDX-License-Identifier: GPL-3.0-or-later
#include "router/net/Ipv6Address.h"

#include <QFile>

QList<Ipv6Entry> ParseIfInet6(const QByteArray& text) {
    QList<Ipv6Entry> out;
    for (const QByteArray& line : text.split('\n')) {
        // address ifindex prefixlen scope flags name
        const QList<QByteArray> f = line.simplified().split(' ');
        if (f.size() != 6 || f[0].size() != 32)
            continue;
        const QByteArray raw = QByteArray::fromHex(f[0]);
        bool okLen = false, okFlags = false;
        Ipv6Entry e;
        e.prefixLength = f[2].toInt(&okLen, 16);
        e.flags = f[4].toInt(&okFlags, 16);
        if (raw.size() != 16 || QByteArray::fromHex(f[0]).toHex() != f[0].toLower() || !okLen ||
            !okFlags || e.prefixLength < 0 || e.prefixLength > 128)
            continue;
        e.address = QHostAddress(reinterpret_cast<const quint8*>(raw.constData()));
        e.interface = QString::fromUtf8(f[5]);
        out << e;
    }
    return out;
}

bool IsPinholeAddress(const QHostAddress& address, bool allowDocumentation) {
    if (address.protocol() != QAbstractSocket::IPv6Protocol)
        return false;
    const Q_IPV6ADDR a = address.toIPv6Address();
    if ((a[0] & 0xE0) != 0x20)
        return false; // outside 2000::/3: link-local, ULA, loopback, mapped, multicast
    if (a[0] == 0x20 && a[1] == 0x02)
        return false; // 6to4
    if (a[0] == 0x20 && a[1] == 0x01 && a[2] == 0x0d && a[3] == 0xb8)
        return allowDocumentation;
    if (a[0] == 0x20 && a[1] == 0x01 && a[2] == 0x00 && a[3] == 0x00)
        return false; // Teredo
    return true;
}

QHostAddress ChoosePinholeAddress(const QList<Ipv6Entry>& entries, const QString& interface,
                                  bool allowDocumentation) {
    constexpr int unusable = Ipv6Entry::DadFailed | Ipv6Entry::Deprecated | Ipv6Entry::Tentative;
    QHostAddress temporary;
    for (const Ipv6Entry& e : entries) {
        if ((!interface.isEmpty() && e.interface != interface) || (e.flags & unusable) ||
            !IsPinholeAddress(e.address, allowDocumentation))
            continue;
        if (!(e.flags & Ipv6Entry::Temporary))
            return e.address;
        temporary = e.address; // the kernel lists the newest last
    }
    return temporary;
}

QHostAddress Ipv6DefaultRouter(const QByteArray& ipv6Route) {
    for (const QByteArray& line : ipv6Route.split('\n')) {
        // dest plen src plen nexthop metric refcnt use flags ifname
        const QList<QByteArray> f = line.simplified().split(' ');
        if (f.size() != 10 || f[0] != QByteArray(32, '0') || f[1] != "00" || f[4].size() != 32 ||
            f[4] == QByteArray(32, '0') || f[9] == "lo")
            continue;
        const QByteArray raw = QByteArray::fromHex(f[4]);
        if (raw.size() != 16)
            continue;
        QHostAddress hop(reinterpret_cast<const quint8*>(raw.constData()));
        if (hop.isLinkLocal())
            hop.setScopeId(QString::fromUtf8(f[9]));
        return hop;
    }
    return {};
}

QHostAddress PinholeAddress(const QString& path, const QString& interface,
                            bool allowDocumentation) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return ChoosePinholeAddress(ParseIfInet6(f.read(1 << 20)), interface, allowDocumentation);
}

QHostAddress ChooseAddressOn(const QList<Ipv6Entry>& entries, const QString& interface) {
    constexpr int unusable = Ipv6Entry::DadFailed | Ipv6Entry::Deprecated | Ipv6Entry::Tentative;
    QHostAddress best;
    int bestRank = 4;
    for (const Ipv6Entry& e : entries) {
        if (e.interface != interface || (e.flags & unusable) || e.address.isLinkLocal() ||
            e.address.isMulticast() || e.address.protocol() != QAbstractSocket::IPv6Protocol)
            continue;
        const int rank = (IsPinholeAddress(e.address, true) ? 0 : 2) +
                         ((e.flags & Ipv6Entry::Temporary) ? 1 : 0);
        // The first stable one; of temporary ones the newest, which the kernel lists last.
        if (rank < bestRank || (rank == bestRank && (rank & 1))) {
            best = e.address;
            bestRank = rank;
        }
    }
    return best;
}

QHostAddress CurrentPinholeAddress(const QHostAddress& chosen, const QString& interface,
                                   const QString& path) {
    if (!chosen.isNull())
        return chosen;
    if (interface.isEmpty())
        return PinholeAddress(path);
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return ChooseAddressOn(ParseIfInet6(f.read(1 << 20)), interface);
}

bool AddressStillHere(const QHostAddress& address, const QString& path) {
    QFile f(path);
    if (address.isNull() || !f.open(QIODevice::ReadOnly))
        return false;
    constexpr int gone = Ipv6Entry::DadFailed | Ipv6Entry::Tentative;
    for (const Ipv6Entry& e : ParseIfInet6(f.read(1 << 20)))
        if (e.address.isEqual(address) && !(e.flags & gone))
            return true;
    return false;
}
