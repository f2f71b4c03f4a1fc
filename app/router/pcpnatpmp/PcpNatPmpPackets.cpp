// SPDX-License-Identifier: GPL-3.0-or-later
#include "router/pcpnatpmp/PcpNatPmpPackets.h"

#include <QCoreApplication>
#include <QtEndian>

namespace {

quint16 u16At(QByteArrayView b, qsizetype at) {
    return qFromBigEndian<quint16>(b.data() + at);
}

quint32 u32At(QByteArrayView b, qsizetype at) {
    return qFromBigEndian<quint32>(b.data() + at);
}

void putU16(QByteArray& out, quint16 v) {
    out.append(char(v >> 8)).append(char(v & 0xff));
}

void putU32(QByteArray& out, quint32 v) {
    putU16(out, quint16(v >> 16));
    putU16(out, quint16(v & 0xffff));
}

constexpr qsizetype NatPmpErrorSize = 8;
constexpr qsizetype NatPmpAddressSize = 12;
constexpr qsizetype NatPmpMapSize = 16;
constexpr qsizetype PcpHeaderSize = 24;
constexpr qsizetype PcpMapSize = 60;
constexpr quint8 PcpVersion = 2;
constexpr quint8 RBit = 0x80;

} // namespace

// ---- NAT-PMP ------------------------------------------------------------------------------

std::optional<quint8> NatPmpMapOpcode(const QString& protocol) {
    if (protocol == QLatin1String("UDP"))
        return NatPmpOp::MapUdp;
    if (protocol == QLatin1String("TCP"))
        return NatPmpOp::MapTcp;
    return std::nullopt;
}

QByteArray BuildNatPmpAddressRequest() {
    return QByteArray(2, '\0');
}

QByteArray BuildNatPmpMapRequest(quint8 opcode, quint16 internalPort, quint16 suggestedExternalPort,
                                 quint32 lifetime) {
    QByteArray out;
    out.append('\0').append(char(opcode));
    putU16(out, 0);
    putU16(out, internalPort);
    putU16(out, suggestedExternalPort);
    putU32(out, lifetime);
    return out;
}

std::optional<NatPmpAnswer> ParseNatPmpAnswer(QByteArrayView bytes, quint8 requestOpcode,
                                              quint16 internalPort) {
    if (bytes.size() < NatPmpErrorSize || bytes.size() > MaxPcpNatPmpDatagram || bytes[0] != 0)
        return std::nullopt;
    NatPmpAnswer a;
    a.opcode = quint8(bytes[1]);
    a.resultCode = u16At(bytes, 2);
    a.epoch = u32At(bytes, 4);
    const bool mapping = requestOpcode != NatPmpOp::ExternalAddress;
    const bool ownOpcode = a.opcode == quint8(RBit | requestOpcode);
    const qsizetype fullSize = mapping ? NatPmpMapSize : NatPmpAddressSize;

    if (a.resultCode != 0) {
        // Error answers may be cut short at 8 bytes and may carry opcode 0 or another
        // answer opcode; a full-length one of ours still names its internal port.
        if (a.opcode != 0 && (a.opcode & RBit) == 0)
            return std::nullopt;
        if (mapping && ownOpcode && bytes.size() >= NatPmpMapSize) {
            a.internalPort = u16At(bytes, 8);
            if (a.internalPort != internalPort)
                return std::nullopt;
        }
        return a;
    }
    if (!ownOpcode || bytes.size() < fullSize)
        return std::nullopt;
    if (!mapping) {
        a.externalAddress = QHostAddress(u32At(bytes, 8));
        return a;
    }
    a.internalPort = u16At(bytes, 8);
    a.externalPort = u16At(bytes, 10);
    a.lifetime = u32At(bytes, 12);
    if (a.internalPort != internalPort)
        return std::nullopt;
    return a;
}

// ---- PCP ----------------------------------------------------------------------------------

std::optional<quint8> PcpProtocolNumber(const QString& protocol) {
    if (protocol == QLatin1String("TCP"))
        return quint8(6);
    if (protocol == QLatin1String("UDP"))
        return quint8(17);
    return std::nullopt;
}

QByteArray PcpAddressField(const QHostAddress& address) {
    bool v4 = false;
    const quint32 ip = address.toIPv4Address(&v4);
    if (!v4 && address.protocol() == QAbstractSocket::IPv6Protocol) {
        const Q_IPV6ADDR v6 = address.toIPv6Address();
        return QByteArray(reinterpret_cast<const char*>(v6.c), 16);
    }
    QByteArray out(10, '\0');
    out.append(char(0xff)).append(char(0xff));
    putU32(out, v4 ? ip : 0);
    return out;
}

QHostAddress PcpAddressFromField(QByteArrayView field) {
    if (field.size() != 16)
        return {};
    static const QByteArray mapped = QByteArray(10, '\0') + QByteArray(2, char(0xff));
    if (field.first(12) == QByteArrayView(mapped))
        return QHostAddress(u32At(field, 12));
    Q_IPV6ADDR v6;
    std::copy(field.begin(), field.end(), reinterpret_cast<char*>(v6.c));
    return QHostAddress(v6);
}

namespace {

QByteArray pcpHeader(quint8 opcode, quint32 lifetime, const QHostAddress& client) {
    QByteArray out;
    out.append(char(PcpVersion)).append(char(opcode));
    putU16(out, 0);
    putU32(out, lifetime);
    out.append(PcpAddressField(client));
    return out;
}

} // namespace

QByteArray BuildPcpAnnounce(const QHostAddress& client) {
    return pcpHeader(PcpOp::Announce, 0, client);
}

QByteArray BuildPcpMapRequest(const PcpMapRequest& r) {
    if (r.nonce.size() != PcpNonceSize)
        return {};
    QByteArray out = pcpHeader(PcpOp::Map, r.lifetime, r.client);
    out.append(r.nonce);
    out.append(char(r.protocol)).append(QByteArray(3, '\0'));
    putU16(out, r.internalPort);
    putU16(out, r.suggestedExternalPort);
    out.append(PcpAddressField(r.suggestedExternalAddress));
    return out;
}

PcpParsed ParsePcpAnswer(QByteArrayView bytes, const PcpExpected& expected) {
    PcpParsed parsed;
    if (bytes.size() < 4 || bytes.size() > MaxPcpNatPmpDatagram)
        return parsed;
    if (bytes[0] == 0) {
        // A NAT-PMP router saying it does not speak this version; any other NAT-PMP-format
        // answer (miniupnpd's to a request it could not read) is dropped.
        if (bytes.size() >= 8 && u16At(bytes, 2) == PcpResult::UnsuppVersion)
            parsed.verdict = PcpVerdict::NatPmpServer;
        return parsed;
    }
    if (bytes.size() < PcpHeaderSize || bytes.size() % 4 != 0 || (quint8(bytes[1]) & RBit) == 0)
        return parsed;
    PcpAnswer& a = parsed.answer;
    a.version = quint8(bytes[0]);
    a.opcode = quint8(bytes[1]) & ~RBit;
    a.resultCode = quint8(bytes[3]);
    a.lifetime = u32At(bytes, 4);
    a.epoch = u32At(bytes, 8);
    if (a.resultCode == PcpResult::UnsuppVersion) {
        parsed.verdict = PcpVerdict::OtherVersion;
        return parsed;
    }
    if (a.version != PcpVersion || a.opcode != expected.opcode)
        return parsed;
    if (expected.opcode == PcpOp::Map) {
        if (bytes.size() < PcpMapSize)
            return parsed;
        a.nonce = bytes.sliced(PcpHeaderSize, PcpNonceSize).toByteArray();
        a.protocol = quint8(bytes[36]);
        a.internalPort = u16At(bytes, 40);
        a.externalPort = u16At(bytes, 42);
        a.externalAddress = PcpAddressFromField(bytes.sliced(44, 16));
        if (a.nonce != expected.nonce || a.protocol != expected.protocol ||
            a.internalPort != expected.internalPort)
            return parsed;
    }
    parsed.verdict = PcpVerdict::Answer;
    return parsed;
}

// ---- What the user reads ------------------------------------------------------------------

QString DescribeNatPmpResult(int code) {
    switch (code) {
    case 0:
        return {};
    case 1:
        return QCoreApplication::translate("Router",
                                           "The router's NAT-PMP service is not compatible.");
    case 2:
        return QCoreApplication::translate(
            "Router", "The router refuses port forwarding for this computer (check "
                      "NAT-PMP/UPnP in its settings).");
    case 3:
        return QCoreApplication::translate(
            "Router", "The router is not connected to the internet or has no public address.");
    case 4:
        return QCoreApplication::translate(
            "Router", "The router cannot create more port forwards right now.");
    default:
        return QCoreApplication::translate("Router",
                                           "The router refused the request (NAT-PMP error %1).")
            .arg(code);
    }
}

QString DescribePcpResult(int code) {
    switch (code) {
    case PcpResult::Success:
        return {};
    case PcpResult::NotAuthorized:
    case PcpResult::ExcessiveRemotePeers:
        return QCoreApplication::translate(
            "Router", "The router refuses port forwarding for this computer; allow it in "
                      "the router's settings.");
    case PcpResult::NetworkFailure:
        return QCoreApplication::translate("Router",
                                           "The router is not connected to the internet yet.");
    case PcpResult::NoResources:
    case PcpResult::CannotProvideExternal:
        return QCoreApplication::translate(
            "Router", "The router cannot create more port forwards right now.");
    case PcpResult::UserExQuota:
        return QCoreApplication::translate(
            "Router", "You have reached the router's limit of port forwards for this computer.");
    case PcpResult::AddressMismatch:
        return QCoreApplication::translate(
            "Router", "Another NAT (for example a virtual machine or container network) "
                      "sits between this computer and the router.");
    default:
        return QCoreApplication::translate("Router",
                                           "The router refused the request (PCP error %1).")
            .arg(code);
    }
}
