// SPDX-License-Identifier: GPL-3.0-or-later
#include "SimPinholes.h"

namespace {

QByteArray argument(const char* name, qint64 value) {
    return "<" + QByteArray(name) + ">" + QByteArray::number(value) + "</" + QByteArray(name) + ">";
}

bool named(const SimPinholes::Arguments& args, std::initializer_list<const char*> names) {
    if (args.size() != qsizetype(names.size()))
        return false;
    qsizetype i = 0;
    for (const char* n : names)
        if (args[i++].first != n)
            return false;
    return true;
}

// An unsigned number within max, or -1.
qint64 number(const QString& text, qint64 max) {
    bool ok = false;
    const qint64 v = text.toLongLong(&ok);
    return ok && v >= 0 && v <= max ? v : -1;
}

// The caller's address as gateways compare it: RFC 5952 text, IPv4 plain.
QString callerText(const QHostAddress& peer) {
    bool v4 = false;
    const quint32 a = peer.toIPv4Address(&v4);
    QHostAddress plain = v4 ? QHostAddress(a) : peer;
    plain.setScopeId({});
    return plain.toString();
}

} // namespace

QList<SimPinhole> SimPinholes::pinholes(qint64 now) {
    table_.removeIf([now](const SimPinhole& p) { return p.expiresAt <= now; });
    return table_;
}

quint16 SimPinholes::add(SimPinhole pinhole) {
    pinhole.id = nextId_++;
    table_.append(pinhole);
    return pinhole.id;
}

qsizetype SimPinholes::find(quint16 id) const {
    for (qsizetype i = 0; i < table_.size(); ++i)
        if (table_[i].id == id)
            return i;
    return -1;
}

SimPinholes::Answer SimPinholes::respond(const QByteArray& action, const Arguments& args,
                                         const QHostAddress& peer, qint64 now) {
    pinholes(now);
    const QString caller = callerText(peer);
    if (action == "GetFirewallStatus") {
        if (!named(args, {}))
            return {402, {}};
        return {0, argument("FirewallEnabled", options.firewallEnabled) +
                       argument("InboundPinholeAllowed", options.inboundAllowed)};
    }
    if (action == "AddPinhole")
        return addPinhole(args, caller, now);
    if (action == "UpdatePinhole" || action == "DeletePinhole" || action == "CheckPinholeWorking" ||
        action == "GetPinholePackets")
        return onPinhole(action, args, caller, now);
    return {401, {}};
}

SimPinholes::Answer SimPinholes::addPinhole(const Arguments& args, const QString& caller,
                                            qint64 now) {
    if (!named(args, {"RemoteHost", "RemotePort", "InternalClient", "InternalPort", "Protocol",
                      "LeaseTime"}))
        return {402, {}};
    if (!options.firewallEnabled)
        return {702, {}};
    if (!options.inboundAllowed)
        return {703, {}};
    SimPinhole p;
    p.remoteHost = args[0].second;
    const qint64 remotePort = number(args[1].second, 65535);
    p.internalClient = args[2].second;
    const qint64 port = number(args[3].second, 65535);
    const qint64 protocol = number(args[4].second, 65535);
    const qint64 lease = number(args[5].second, 86400);
    if (remotePort < 0 || port < 0 || protocol < 0 || lease <= 0)
        return {402, {}};
    if (p.internalClient.isEmpty())
        return {708, {}};
    if (port == 0)
        return {706, {}};
    if (protocol == 65535)
        return {707, {}};
    if (protocol != 6 && protocol != 17)
        return {705, {}};
    if (p.internalClient != caller || port < 1024)
        return {606, {}};
    p.remotePort = quint16(remotePort);
    p.internalPort = quint16(port);
    p.protocol = int(protocol);
    p.expiresAt = now + lease;
    for (SimPinhole& e : table_)
        if (e.remoteHost == p.remoteHost && e.remotePort == p.remotePort &&
            e.internalClient == p.internalClient && e.internalPort == p.internalPort &&
            e.protocol == p.protocol) {
            e.expiresAt = p.expiresAt;
            return {0, argument("UniqueID", e.id)};
        }
    if (table_.size() >= options.maxPinholes)
        return {701, {}};
    p.id = nextId_++;
    table_.append(p);
    return {0, argument("UniqueID", p.id)};
}

SimPinholes::Answer SimPinholes::onPinhole(const QByteArray& action, const Arguments& args,
                                           const QString& caller, qint64 now) {
    const bool update = action == "UpdatePinhole";
    if (update ? !named(args, {"UniqueID", "NewLeaseTime"}) : !named(args, {"UniqueID"}))
        return {402, {}};
    const qint64 id = number(args[0].second, 65535);
    const qsizetype at = id < 0 ? -1 : find(quint16(id));
    if (at < 0)
        return {options.unknownIdIs402 ? 402 : 704, {}};
    if (table_[at].internalClient != caller)
        return {606, {}};
    if (update) {
        const qint64 lease = number(args[1].second, 86400);
        if (lease <= 0)
            return {402, {}};
        table_[at].expiresAt = now + lease;
        return {0, {}};
    }
    if (action == "DeletePinhole") {
        table_.removeAt(at);
        return {0, {}};
    }
    if (action == "GetPinholePackets")
        return {0, argument("PinholePackets", 0)};
    return {709, {}}; // no counters, as miniupnpd on nftables
}
