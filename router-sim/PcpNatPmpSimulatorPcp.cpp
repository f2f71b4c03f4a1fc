// SPDX-License-Identifier: GPL-3.0-or-later
// The simulator's PCP: ANNOUNCE, and MAP for mappings over IPv4 and pinholes over IPv6.
#include "PcpNatPmpSimulator.h"

#include "PcpNatPmpSimulatorWire.h"

#include <algorithm>

using namespace PcpNatPmpSimWire;

namespace {

constexpr quint8 PcpVersion = 2;
constexpr quint8 PreRfcPcpVersion = 1;
constexpr qsizetype PcpHeaderBytes = 24;
constexpr qsizetype MapBodyBytes = 36;

// PCP result codes.
enum : quint8 {
    Success = 0,
    UnsuppVersion = 1,
    NotAuthorized = 2,
    MalformedRequest = 3,
    UnsuppOpcode = 4,
    UnsuppOption = 5,
    MalformedOption = 6,
    NetworkFailure = 7,
    NoResources = 8,
    UnsuppProtocol = 9,
    AddressMismatch = 12,
};

enum : quint8 { Announce = 0, Map = 1 };

// How long an error will keep coming back: miniupnpd says 30 s for the short ones, 0 otherwise.
quint32 errorLifetime(quint8 result) {
    return result == NetworkFailure || result == NoResources || result == 10 || result == 11 ? 30
                                                                                             : 0;
}

// The 16-byte form PCP writes addresses in: ::ffff:a.b.c.d for IPv4, IPv6 as it is.
QByteArray mapped(const QHostAddress& a) {
    if (a.protocol() == QAbstractSocket::IPv6Protocol) {
        const Q_IPV6ADDR v6 = a.toIPv6Address();
        return QByteArray(reinterpret_cast<const char*>(v6.c), 16);
    }
    QByteArray d(10, '\0');
    d.append(2, '\xFF');
    putIpv4(d, a);
    return d;
}

QByteArray pcpHeader(quint8 version, quint8 opcode, quint8 result, quint32 lifetime, quint32 epoch,
                     const QByteArray& reserved = {}) {
    QByteArray d;
    d.append(static_cast<char>(version));
    d.append(static_cast<char>(ResponseBit | opcode));
    d.append('\0');
    d.append(static_cast<char>(result));
    put32(d, lifetime);
    put32(d, epoch);
    d.append(reserved.size() == 12 ? reserved : QByteArray(12, '\0'));
    return d;
}

// What goes into the reserved field of an answer to a request that could not be read: the last
// 12 bytes of its client address field, when it has one.
QByteArray unparsedTail(const QByteArray& request) {
    return request.size() >= PcpHeaderBytes ? request.mid(12, 12) : QByteArray();
}

// The first problem with the options from `at` on, or Success. None is understood here, so a
// mandatory one (code below 128) cannot be honoured; optional ones are skipped.
quint8 checkOptions(const QByteArray& d, qsizetype at) {
    while (at < d.size()) {
        if (d.size() - at < 4)
            return MalformedOption;
        const quint8 code = static_cast<quint8>(d[at]);
        const qsizetype length = get16(d, at + 2);
        const qsizetype padded = (length + 3) & ~qsizetype{3};
        if (padded > d.size() - at - 4)
            return MalformedOption;
        if (code < 128)
            return UnsuppOption;
        at += 4 + padded;
    }
    return Success;
}

// A MAP request as read. Its answers copy its body when refused (and for a delete of nothing);
// a success names what was assigned.
struct MapRequest {
    explicit MapRequest(const QByteArray& request)
        : body(request.mid(PcpHeaderBytes, MapBodyBytes)), asked(get32(request, 4)),
          nonce(request.mid(24, 12)), protocol(static_cast<quint8>(request[36])),
          internalPort(get16(request, 40)), suggested(get16(request, 42)) {}

    // What makes the request unanswerable but by an error, or Success.
    quint8 problem(const QByteArray& request, const QHostAddress& peer) const {
        if (const quint8 bad = checkOptions(request, PcpHeaderBytes + MapBodyBytes); bad != Success)
            return bad;
        if (request.mid(8, 16) != mapped(peer))
            return AddressMismatch;
        if (protocol == 0 && internalPort != 0)
            return MalformedRequest;
        if (protocol != Tcp && protocol != Udp)
            return UnsuppProtocol;
        // "Every port" is a policy question this router answers with no.
        if (internalPort == 0)
            return NotAuthorized;
        return Success;
    }

    QByteArray echoed(quint8 result, quint32 wait, quint32 epoch) const {
        return pcpHeader(PcpVersion, Map, result, wait, epoch) + body;
    }

    QByteArray success(quint32 lifetime, quint16 externalPort, const QHostAddress& wan,
                       quint32 epoch) const {
        QByteArray answer = nonce;
        answer.append(static_cast<char>(protocol));
        answer.append(3, '\0');
        put16(answer, internalPort);
        put16(answer, externalPort);
        answer.append(mapped(wan));
        return pcpHeader(PcpVersion, Map, Success, lifetime, epoch) + answer;
    }

    QByteArray body;
    quint32 asked;
    QByteArray nonce;
    int protocol;
    quint16 internalPort;
    quint16 suggested;
};

} // namespace

QByteArray PcpNatPmpSimulator::pcp(const QByteArray& request, const QHostAddress& peer) {
    const quint8 version = static_cast<quint8>(request[0]);
    const quint8 opcode = static_cast<quint8>(request[1]) & ~ResponseBit;
    if (!options_.pcp) {
        // What a NAT-PMP router says to anything but version 0.
        return natPmpHead(opcode, PmpUnsupportedVersion);
    }
    if (options_.pcpVersion1)
        return pcpHeader(PreRfcPcpVersion, opcode, UnsuppVersion, 0, epochNow(),
                         unparsedTail(request));
    if (version != PcpVersion)
        return pcpHeader(PcpVersion, opcode, UnsuppVersion, 0, epochNow(), unparsedTail(request));
    if (request.size() < PcpHeaderBytes || request.size() % 4 != 0)
        return pcpHeader(PcpVersion, opcode, MalformedRequest, 0, epochNow(),
                         unparsedTail(request));
    if (opcode == Map)
        return pcpMap(request, peer);
    if (opcode != Announce)
        return pcpHeader(PcpVersion, opcode, UnsuppOpcode, 0, epochNow());
    quint8 result = checkOptions(request, PcpHeaderBytes);
    if (result == Success && request.mid(8, 16) != mapped(peer))
        result = AddressMismatch;
    return pcpHeader(PcpVersion, Announce, result, 0, epochNow());
}

QByteArray PcpNatPmpSimulator::pcpMap(const QByteArray& request, const QHostAddress& peer) {
    if (request.size() < PcpHeaderBytes + MapBodyBytes)
        return pcpHeader(PcpVersion, Map, MalformedRequest, 0, epochNow(), unparsedTail(request));
    const MapRequest m(request);
    const auto error = [&](quint8 result) {
        const quint32 wait = result == NotAuthorized && options_.refusalLifetime != 0
                                 ? options_.refusalLifetime
                                 : errorLifetime(result);
        return m.echoed(result, wait, epochNow());
    };
    if (const quint8 bad = m.problem(request, peer); bad != Success)
        return error(bad);

    const qsizetype i = find(peer, m.protocol, m.internalPort);
    // Only the nonce that made a mapping may renew or delete it.
    if (i >= 0 && table_[i].nonce != m.nonce)
        return error(NotAuthorized);
    if (m.asked == 0) {
        // Nothing to delete is a done delete.
        if (i < 0)
            return m.echoed(Success, 0, epochNow());
        if (options_.renewedPinholeStays && table_[i].renewed)
            return error(NotAuthorized);
        const PcpNatPmpMapping gone = table_.takeAt(i);
        return m.success(0, gone.externalPort, wanAddress(), epochNow());
    }
    if (options_.refusePort != 0 &&
        (m.internalPort == options_.refusePort || m.suggested == options_.refusePort))
        return error(NotAuthorized);
    const bool pinhole = peer.protocol() == QAbstractSocket::IPv6Protocol;
    // A pinhole lets connections through to the client's own address and port.
    const QHostAddress wan = pinhole ? peer : wanAddress();
    if (wan.isNull())
        return error(NetworkFailure);
    const quint32 lifetime = grant(m.asked, true);
    if (i >= 0) {
        PcpNatPmpMapping& row = table_[i];
        row.lifetime = lifetime;
        row.expiresAt = now() + lifetime;
        row.renewed = pinhole;
        return m.success(lifetime, row.externalPort, wan, epochNow());
    }
    const quint16 externalPort =
        pinhole ? m.internalPort : freeExternalPort(m.protocol, m.suggested, m.internalPort);
    if (table_.size() >= options_.maxMappings || externalPort == 0)
        return error(NoResources);
    table_.append(PcpNatPmpMapping{peer, m.protocol, m.internalPort, externalPort, m.nonce,
                                   lifetime, now() + lifetime});
    return m.success(lifetime, externalPort, wan, epochNow());
}
