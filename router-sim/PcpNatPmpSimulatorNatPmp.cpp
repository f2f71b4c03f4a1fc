// SPDX-License-Identifier: GPL-3.0-or-later
// The simulator's NAT-PMP: the address request and the UDP and TCP mappings.
#include "PcpNatPmpSimulator.h"

#include "PcpNatPmpSimulatorWire.h"

using namespace PcpNatPmpSimWire;

// The version, the opcode answered, the result and the epoch every answer starts with.
QByteArray PcpNatPmpSimulator::natPmpHead(quint8 opcode, quint16 result) const {
    QByteArray answer;
    answer.append(static_cast<char>(NatPmpVersion));
    answer.append(static_cast<char>(ResponseBit | opcode));
    put16(answer, result);
    put32(answer, epochNow());
    return answer;
}

QByteArray PcpNatPmpSimulator::natPmp(const QByteArray& request, const QHostAddress& peer) {
    const quint8 opcode = static_cast<quint8>(request[1]);
    QByteArray answer;
    const auto head = [&](quint16 result) {
        answer = natPmpHead(opcode, result);
        return answer;
    };
    const QHostAddress wan = wanAddress();
    if (opcode == 0) {
        head(wan.isNull() ? PmpNetworkFailure : PmpSuccess);
        putIpv4(answer, wan);
        return answer;
    }
    if (opcode != 1 && opcode != 2)
        return head(PmpUnsupportedOpcode);
    if (request.size() < 12)
        return {};

    const int protocol = opcode == 1 ? Udp : Tcp;
    const quint16 internalPort = get16(request, 4);
    const quint16 suggested = get16(request, 6);
    const quint32 asked = get32(request, 8);
    const auto reply = [&](quint16 result, quint16 externalPort, quint32 lifetime) {
        head(result);
        put16(answer, internalPort);
        put16(answer, externalPort);
        put32(answer, lifetime);
        return answer;
    };

    if (asked == 0) {
        // Deleting what is not there succeeds; internal port 0 means every NAT-PMP mapping of
        // this computer for the protocol. Mappings made over PCP are not NAT-PMP's to delete.
        if (internalPort == 0) {
            table_.removeIf([&](const PcpNatPmpMapping& m) {
                return m.client == peer && m.protocol == protocol && m.nonce.isEmpty();
            });
            return reply(PmpSuccess, 0, 0);
        }
        const qsizetype i = find(peer, protocol, internalPort);
        if (i >= 0 && !table_[i].nonce.isEmpty())
            return reply(PmpRefused, 0, 0);
        if (i >= 0)
            table_.removeAt(i);
        return reply(PmpSuccess, 0, 0);
    }
    if (internalPort == 0 || (options_.refusePort != 0 && (internalPort == options_.refusePort ||
                                                           suggested == options_.refusePort)))
        return reply(PmpRefused, 0, 0);
    if (wan.isNull())
        return reply(PmpNetworkFailure, 0, 0);
    const quint32 lifetime = grant(asked, false);
    const qsizetype i = find(peer, protocol, internalPort);
    if (i >= 0) {
        PcpNatPmpMapping& m = table_[i];
        if (!m.nonce.isEmpty())
            return reply(PmpRefused, 0, 0);
        // A repeated request keeps the port already given, whatever it suggests.
        m.lifetime = lifetime;
        m.expiresAt = now() + lifetime;
        return reply(PmpSuccess, m.externalPort, lifetime);
    }
    const quint16 externalPort = freeExternalPort(protocol, suggested, internalPort);
    if (table_.size() >= options_.maxMappings || externalPort == 0)
        return reply(PmpOutOfResources, 0, 0);
    table_.append(PcpNatPmpMapping{
        peer, protocol, internalPort, externalPort, {}, lifetime, now() + lifetime});
    return reply(PmpSuccess, externalPort, lifetime);
}
