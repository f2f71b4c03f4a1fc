// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The simulated IGD's port-mapping table: rows newest first, leases on the router's clock, the
// lookups its actions make and the rows its entry and listing actions return. Its row is its
// own, not the client's PortMappingEntry: the simulator checks the client independently.

#include <QByteArray>
#include <QList>
#include <QString>

// One row of the router's port-mapping table. An empty remote host means any.
struct UpnpMapping {
    QString remoteHost;
    quint16 externalPort = 0;
    QString protocol; // "TCP" or "UDP"
    quint16 internalPort = 0;
    QString internalClient;
    bool enabled = true;
    QString description;
    quint32 leaseDuration = 0; // as granted; 0 = permanent
    qint64 expiresAt = 0;      // clock seconds; 0 = never

    bool operator==(const UpnpMapping&) const = default;
};

class SimIgdTable {
public:
    const QList<UpnpMapping>& rows() const { return rows_; }
    qsizetype size() const { return rows_.size(); }
    const UpnpMapping& at(qsizetype i) const { return rows_[i]; }

    // Drops the rows whose lease has run out by `now`.
    void expire(qint64 now);
    // The row of that protocol and external port, or -1.
    qsizetype find(const QString& protocol, quint16 externalPort) const;
    // Puts the row first, in place of the one with its protocol and external port.
    void put(const UpnpMapping& mapping);
    void removeAt(qsizetype i) { rows_.removeAt(i); }

    // Whether `client` may map that port: it is free or already the client's.
    bool usable(const QString& protocol, quint16 port, const QString& client) const;
    // The first port from `from` up, wrapping round to `lowest`, that `client` may map; 0 when
    // there is none.
    quint16 usablePort(const QString& protocol, quint16 from, quint16 lowest,
                       const QString& client) const;

    // The rows of the protocol with an external port in [start, end], of `client` unless
    // `everyClient`: removed (returning their count), or listed by external port.
    qsizetype removeRange(const QString& protocol, quint16 start, quint16 end, bool everyClient,
                          const QString& client);
    QList<UpnpMapping> range(const QString& protocol, quint16 start, quint16 end, bool everyClient,
                             const QString& client) const;

    // A row as the entry actions' output arguments, the key (remote host, external port,
    // protocol) first when asked for; the lease is the time left.
    static QByteArray entryArguments(const UpnpMapping& mapping, bool withKey, qint64 now);
    // The PortMappingList document of GetListOfPortMappings.
    static QByteArray portMappingList(const QList<UpnpMapping>& rows, qint64 now);

private:
    QList<UpnpMapping> rows_; // newest first
};
