// SPDX-License-Identifier: GPL-3.0-or-later
#include "router/net/DefaultGateway.h"

#include <QFile>
#include <QList>
#include <QtEndian>

#include <limits>
#include <optional>

namespace {

// A real table is a few lines; anything this large is not one.
constexpr qint64 MaxRouteFileBytes = 1 << 20;

constexpr quint32 RouteUp = 0x1;
constexpr quint32 RouteGateway = 0x2;

std::optional<quint32> hex32(const QByteArray& field) {
    if (field.isEmpty() || field.size() > 8)
        return std::nullopt;
    bool ok = false;
    const quint32 v = field.toUInt(&ok, 16);
    return ok ? std::optional<quint32>(v) : std::nullopt;
}

// The kernel prints the address's network-order bytes read as a native number, so on
// little-endian machines the first octet is the lowest hex pair.
QHostAddress fromRouteHex(quint32 v) {
    return QHostAddress(qFromBigEndian(v));
}

} // namespace

QHostAddress ReadDefaultGateway(const QString& routeFile) {
    QFile file(routeFile);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray table = file.read(MaxRouteFileBytes);
    QHostAddress best;
    qint64 bestMetric = std::numeric_limits<qint64>::max();
    // Columns: Iface Destination Gateway Flags RefCnt Use Metric Mask ...; the first line
    // is the heading.
    const QList<QByteArray> lines = table.split('\n');
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QList<QByteArray> f = lines.at(i).simplified().split(' ');
        if (f.size() < 8)
            continue;
        const auto destination = hex32(f.at(1));
        const auto gateway = hex32(f.at(2));
        const auto flags = hex32(f.at(3));
        const auto mask = hex32(f.at(7));
        bool metricOk = false;
        const qint64 metric = f.at(6).toLongLong(&metricOk);
        if (!destination || !gateway || !flags || !mask || !metricOk || metric < 0)
            continue;
        if (*destination != 0 || *mask != 0 || *gateway == 0 ||
            (*flags & (RouteUp | RouteGateway)) != (RouteUp | RouteGateway))
            continue;
        if (metric < bestMetric) {
            bestMetric = metric;
            best = fromRouteHex(*gateway);
        }
    }
    return best;
}
