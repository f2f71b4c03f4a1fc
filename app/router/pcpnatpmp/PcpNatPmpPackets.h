// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The NAT-PMP (RFC 6886) and PCP (RFC 6887) messages as bytes, and what they say. Every
// answer is untrusted input: the parsers check lengths first and never read past them.

#include <QByteArray>
#include <QByteArrayView>
#include <QHostAddress>
#include <QString>

#include <optional>

inline constexpr quint16 PcpNatPmpDefaultPort = 5351;
// Larger datagrams are no answer of either protocol and are dropped unread.
inline constexpr qsizetype MaxPcpNatPmpDatagram = 1100;
inline constexpr qsizetype PcpNonceSize = 12;

// ---- NAT-PMP ------------------------------------------------------------------------------

namespace NatPmpOp {
inline constexpr quint8 ExternalAddress = 0;
inline constexpr quint8 MapUdp = 1;
inline constexpr quint8 MapTcp = 2;
} // namespace NatPmpOp

// 1 for "UDP", 2 for "TCP"; nothing for anything else (no lower case).
std::optional<quint8> NatPmpMapOpcode(const QString& protocol);

QByteArray BuildNatPmpAddressRequest();
// Lifetime 0 with suggested port 0 deletes the mapping of `internalPort`.
QByteArray BuildNatPmpMapRequest(quint8 opcode, quint16 internalPort, quint16 suggestedExternalPort,
                                 quint32 lifetime);

struct NatPmpAnswer {
    quint8 opcode = 0; // as received: 128 + the request's, or 0 in some error answers
    quint16 resultCode = 0;
    quint32 epoch = 0;              // seconds since the router's table began (SSSoE)
    QHostAddress externalAddress{}; // address answers with result 0
    quint16 internalPort = 0;       // mapping answers: the request's, echoed
    quint16 externalPort = 0;       // mapping answers with result 0
    quint32 lifetime = 0;           // mapping answers with result 0; undefined on failure
    bool ok() const { return resultCode == 0; }
};

// The answer to the request of `requestOpcode` (for internal port `internalPort` when a
// mapping), or nothing when the bytes are not that answer and are to be dropped.
std::optional<NatPmpAnswer> ParseNatPmpAnswer(QByteArrayView bytes, quint8 requestOpcode,
                                              quint16 internalPort = 0);

// ---- PCP ----------------------------------------------------------------------------------

namespace PcpOp {
inline constexpr quint8 Announce = 0;
inline constexpr quint8 Map = 1;
} // namespace PcpOp

namespace PcpResult {
inline constexpr quint8 Success = 0;
inline constexpr quint8 UnsuppVersion = 1;
inline constexpr quint8 NotAuthorized = 2;
inline constexpr quint8 MalformedRequest = 3;
inline constexpr quint8 UnsuppOpcode = 4;
inline constexpr quint8 NetworkFailure = 7;
inline constexpr quint8 NoResources = 8;
inline constexpr quint8 UserExQuota = 10;
inline constexpr quint8 CannotProvideExternal = 11;
inline constexpr quint8 AddressMismatch = 12;
inline constexpr quint8 ExcessiveRemotePeers = 13;
} // namespace PcpResult

// 6 for "TCP", 17 for "UDP"; nothing for anything else.
std::optional<quint8> PcpProtocolNumber(const QString& protocol);

// The 16-byte address field: IPv4 written IPv4-mapped; a null address is the IPv4
// "no preference" ::ffff:0.0.0.0.
QByteArray PcpAddressField(const QHostAddress& address);
// Back from the field: the plain IPv4 address of a mapped field, else the IPv6 one.
QHostAddress PcpAddressFromField(QByteArrayView field);

struct PcpMapRequest {
    QByteArray nonce{}; // PcpNonceSize bytes
    quint8 protocol = 6;
    quint16 internalPort = 0;
    quint16 suggestedExternalPort = 0;
    QHostAddress suggestedExternalAddress{}; // null: no preference
    quint32 lifetime = 7200;                 // 0 deletes
    QHostAddress client{};                   // this computer, as the router sees it
};

QByteArray BuildPcpAnnounce(const QHostAddress& client);
// Empty when the nonce is not PcpNonceSize bytes.
QByteArray BuildPcpMapRequest(const PcpMapRequest& request);

struct PcpAnswer {
    quint8 version = 0;
    quint8 opcode = 0; // without the R bit
    quint8 resultCode = 0;
    quint32 lifetime = 0; // granted; on an error, how long the same request keeps failing
    quint32 epoch = 0;
    // MAP answers
    QByteArray nonce{};
    quint8 protocol = 0;
    quint16 internalPort = 0;
    quint16 externalPort = 0; // assigned; on an error the suggested one, copied
    QHostAddress externalAddress{};
    bool ok() const { return resultCode == PcpResult::Success; }
};

enum class PcpVerdict {
    Drop,         // not an answer to the outstanding request: keep waiting
    NatPmpServer, // a NAT-PMP-only router: redo the request in NAT-PMP at once
    OtherVersion, // UNSUPP_VERSION from a PCP server of another version: PCP is unusable
    Answer,       // the answer to the outstanding request (success or not)
};

struct PcpParsed {
    PcpVerdict verdict = PcpVerdict::Drop;
    PcpAnswer answer; // filled for Answer and OtherVersion
};

// What the outstanding request was; an answer must match it to count.
struct PcpExpected {
    quint8 opcode = PcpOp::Announce;
    QByteArray nonce{}; // MAP only, like the two below
    quint8 protocol = 0;
    quint16 internalPort = 0;
};

PcpParsed ParsePcpAnswer(QByteArrayView bytes, const PcpExpected& expected);

// ---- What the user reads ------------------------------------------------------------------

// A plain sentence for a NAT-PMP result code, or a generic one naming the code.
QString DescribeNatPmpResult(int code);
// Likewise for PCP.
QString DescribePcpResult(int code);
