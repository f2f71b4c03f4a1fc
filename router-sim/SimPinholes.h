// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QString>

#include <utility>

// The IPv6 firewall of the simulated IGD:2 (WANIPv6FirewallControl:1): a pinhole table with
// the owner check real gateways make (the caller must be the pinhole's InternalClient, by
// text), ports below 1024 refused, and switches for the refusals a router may give.
struct SimPinholeOptions {
    bool firewallEnabled = true;
    bool inboundAllowed = true;
    int maxPinholes = 64;       // beyond this: 701
    bool unknownIdIs402 = true; // miniupnpd's answer for an unknown UniqueID (else 704)
};

struct SimPinhole {
    quint16 id = 0;
    QString remoteHost;
    quint16 remotePort = 0;
    QString internalClient;
    quint16 internalPort = 0;
    int protocol = 6;
    qint64 expiresAt = 0; // clock seconds
};

class SimPinholes {
public:
    static constexpr const char* ServiceType =
        "urn:schemas-upnp-org:service:WANIPv6FirewallControl:1";

    using Arguments = QList<std::pair<QByteArray, QString>>;
    struct Answer {
        int fault = 0;        // a UPnP error code, 0 on success
        QByteArray arguments; // the out-arguments' XML on success
    };

    SimPinholeOptions options;

    Answer respond(const QByteArray& action, const Arguments& args, const QHostAddress& peer,
                   qint64 now);
    // The live table, expired ones dropped.
    QList<SimPinhole> pinholes(qint64 now);
    // As if another address had opened it (no checks); its id is the one given back.
    quint16 add(SimPinhole pinhole);

private:
    Answer addPinhole(const Arguments& args, const QString& caller, qint64 now);
    // The actions that name one pinhole by its UniqueID.
    Answer onPinhole(const QByteArray& action, const Arguments& args, const QString& caller,
                     qint64 now);
    qsizetype find(quint16 id) const;
    QList<SimPinhole> table_;
    quint16 nextId_ = 1;
};
