// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

// The search targets Harborly asks for, and the one text every request names itself with.
namespace SearchTarget {
inline constexpr char All[] = "ssdp:all";
inline constexpr char Igd1[] = "urn:schemas-upnp-org:device:InternetGatewayDevice:1";
inline constexpr char Igd2[] = "urn:schemas-upnp-org:device:InternetGatewayDevice:2";
inline constexpr char WanIp1[] = "urn:schemas-upnp-org:service:WANIPConnection:1";
inline constexpr char WanIp2[] = "urn:schemas-upnp-org:service:WANIPConnection:2";
inline constexpr char WanPpp1[] = "urn:schemas-upnp-org:service:WANPPPConnection:1";
} // namespace SearchTarget

inline constexpr char UpnpUserAgent[] = "Linux/6.1 UPnP/1.1 Harborly/1.0";

// Datagrams larger than this are not SSDP replies worth reading.
inline constexpr qsizetype MaxSsdpDatagram = 8 * 1024;

// The M-SEARCH datagram for one search target, CR LF throughout and ended by an empty line.
// `host` is the group of the family it goes out on ("[FF02::C]:1900" over IPv6).
QByteArray BuildMSearch(const QByteArray& searchTarget,
                        const QByteArray& host = "239.255.255.250:1900");

struct SsdpReply {
    QString location;
    QString st;
    QString usn;
    QString server;
    QString bootId;

    // The reply names an Internet gateway or one of its WAN connection services, or names
    // nothing (neither ST nor USN).
    bool isGateway() const;
    // 2 when ST or USN names version 2 of the gateway or of WANIPConnection, else 1.
    int igdVersion() const;
};

// One "Name: value" line of an HTTP or SSDP header: the name lower-cased, both trimmed.
// Nothing for a line without a name before its colon.
struct HeaderField {
    QByteArray name;
    QByteArray value;
};
std::optional<HeaderField> SplitHeaderLine(const QByteArray& line);

// One SSDP answer: "HTTP/1.1 200" (or 1.0) with a LOCATION. Anything else, NOTIFY included,
// and datagrams over MaxSsdpDatagram give nothing.
std::optional<SsdpReply> ParseSsdpReply(const QByteArray& datagram);
