// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The byte order and the numbers both of the simulator's protocols use, read and written apart
// from app/router/pcpNatPmp on purpose: the simulator checks the client independently.

#include <QByteArray>
#include <QHostAddress>

namespace PcpNatPmpSimWire {

inline constexpr quint8 NatPmpVersion = 0;
inline constexpr quint8 ResponseBit = 0x80;
inline constexpr int Tcp = 6;
inline constexpr int Udp = 17;

// NAT-PMP result codes.
enum : quint16 {
    PmpSuccess = 0,
    PmpUnsupportedVersion = 1,
    PmpRefused = 2,
    PmpNetworkFailure = 3,
    PmpOutOfResources = 4,
    PmpUnsupportedOpcode = 5,
};

inline quint16 get16(const QByteArray& d, qsizetype at) {
    return static_cast<quint16>((static_cast<quint8>(d[at]) << 8) | static_cast<quint8>(d[at + 1]));
}

inline quint32 get32(const QByteArray& d, qsizetype at) {
    return (quint32{get16(d, at)} << 16) | get16(d, at + 2);
}

inline void put16(QByteArray& d, quint16 v) {
    d.append(static_cast<char>(v >> 8));
    d.append(static_cast<char>(v & 0xFF));
}

inline void put32(QByteArray& d, quint32 v) {
    put16(d, static_cast<quint16>(v >> 16));
    put16(d, static_cast<quint16>(v & 0xFFFF));
}

inline void putIpv4(QByteArray& d, const QHostAddress& a) {
    put32(d, a.isNull() ? 0 : a.toIPv4Address());
}

} // namespace PcpNatPmpSimWire
