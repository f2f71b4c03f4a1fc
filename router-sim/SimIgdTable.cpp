// SPDX-License-Identifier: GPL-3.0-or-later
// The simulated IGD's port-mapping table: leases, lookups by key and by range, the free port an
// AddAnyPortMapping gets, and the rows written out as the entry and listing actions return them.
#include "SimIgdTable.h"

#include "SimSoap.h"

#include <algorithm>

namespace {

// What a lease has left, as the router reports it: 0 for a permanent one, at least 1 otherwise.
qint64 secondsLeft(const UpnpMapping& m, qint64 now) {
    return m.expiresAt == 0 ? 0 : std::max<qint64>(m.expiresAt - now, 1);
}

bool inRange(const UpnpMapping& m, const QString& protocol, quint16 start, quint16 end,
             bool everyClient, const QString& client) {
    return m.protocol == protocol && m.externalPort >= start && m.externalPort <= end &&
           (everyClient || m.internalClient == client);
}

} // namespace

void SimIgdTable::expire(qint64 now) {
    rows_.removeIf([now](const UpnpMapping& m) { return m.expiresAt != 0 && m.expiresAt <= now; });
}

qsizetype SimIgdTable::find(const QString& protocol, quint16 externalPort) const {
    for (qsizetype i = 0; i < rows_.size(); ++i) {
        if (rows_[i].externalPort == externalPort && rows_[i].protocol == protocol)
            return i;
    }
    return -1;
}

void SimIgdTable::put(const UpnpMapping& mapping) {
    const qsizetype i = find(mapping.protocol, mapping.externalPort);
    if (i >= 0)
        rows_.removeAt(i);
    rows_.prepend(mapping);
}

bool SimIgdTable::usable(const QString& protocol, quint16 port, const QString& client) const {
    const qsizetype i = find(protocol, port);
    return i < 0 || rows_[i].internalClient == client;
}

quint16 SimIgdTable::usablePort(const QString& protocol, quint16 from, quint16 lowest,
                                const QString& client) const {
    quint16 port = from;
    int tries = 0;
    while (!usable(protocol, port, client) && ++tries <= 65536)
        port = port == 65535 ? lowest : static_cast<quint16>(port + 1);
    return tries > 65536 ? 0 : port;
}

qsizetype SimIgdTable::removeRange(const QString& protocol, quint16 start, quint16 end,
                                   bool everyClient, const QString& client) {
    return rows_.removeIf([&](const UpnpMapping& m) {
        return inRange(m, protocol, start, end, everyClient, client);
    });
}

QList<UpnpMapping> SimIgdTable::range(const QString& protocol, quint16 start, quint16 end,
                                      bool everyClient, const QString& client) const {
    QList<UpnpMapping> rows;
    for (const UpnpMapping& m : rows_) {
        if (inRange(m, protocol, start, end, everyClient, client))
            rows << m;
    }
    std::sort(rows.begin(), rows.end(), [](const UpnpMapping& x, const UpnpMapping& y) {
        return x.externalPort < y.externalPort;
    });
    return rows;
}

QByteArray SimIgdTable::entryArguments(const UpnpMapping& m, bool withKey, qint64 now) {
    using SimSoap::argument;
    using SimSoap::xmlEscape;
    QByteArray out;
    if (withKey)
        out = argument("NewRemoteHost", xmlEscape(m.remoteHost)) +
              argument("NewExternalPort", m.externalPort) +
              argument("NewProtocol", m.protocol.toLatin1());
    return out + argument("NewInternalPort", m.internalPort) +
           argument("NewInternalClient", xmlEscape(m.internalClient)) +
           argument("NewEnabled", m.enabled ? 1 : 0) +
           argument("NewPortMappingDescription", xmlEscape(m.description)) +
           argument("NewLeaseDuration", secondsLeft(m, now));
}

QByteArray SimIgdTable::portMappingList(const QList<UpnpMapping>& rows, qint64 now) {
    using SimSoap::xmlEscape;
    QByteArray listing = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><p:PortMappingList "
                         "xmlns:p=\"urn:schemas-upnp-org:gw:WANIPConnection\" "
                         "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
                         "xsi:schemaLocation=\"urn:schemas-upnp-org:gw:WANIPConnection "
                         "http://www.upnp.org/schemas/gw/WANIPConnection-v2.xsd\">";
    for (const UpnpMapping& m : rows) {
        const auto p = [](const char* name, const QByteArray& value) {
            return "<p:" + QByteArray(name) + ">" + value + "</p:" + QByteArray(name) + ">";
        };
        listing +=
            "<p:PortMappingEntry>" + p("NewRemoteHost", xmlEscape(m.remoteHost)) +
            p("NewExternalPort", QByteArray::number(m.externalPort)) +
            p("NewProtocol", m.protocol.toLatin1()) +
            p("NewInternalPort", QByteArray::number(m.internalPort)) +
            p("NewInternalClient", xmlEscape(m.internalClient)) +
            p("NewEnabled", m.enabled ? "1" : "0") + p("NewDescription", xmlEscape(m.description)) +
            p("NewLeaseTime", QByteArray::number(secondsLeft(m, now))) + "</p:PortMappingEntry>";
    }
    return listing + "</p:PortMappingList>";
}
