// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What the UPnP client is told: where the router is, whether multicast may go out, and the
// time limits of every step.

#include <QHostAddress>
#include <QString>
#include <QUrl>

#include <chrono>
#include <functional>
#include <optional>

// Where to look for the router: `LanPrivateIP` for the upnp kind.
struct UpnpTarget {
    QString host; // the router: an address, or a name still to be looked up
    quint16 ssdpPort = 1900;
    QUrl descriptionUrl; // set when the user gave the description's URL: no discovery then
};
std::optional<UpnpTarget> ParseUpnpTarget(const QString& lanPrivateIp);

struct UpnpTimings {
    using ms = std::chrono::milliseconds;
    ms connect{2000};
    ms description{5000};
    ms soap{8000};
    // The discovery schedule, from the first unicast search.
    ms firstMulticast{250};
    ms secondRound{1000};
    ms thirdRound{2500};
    ms giveUp{5000};
    ms collectAfterReply{250};
    ms busyRetry{1000}; // after HTTP 503
    ms listing{60000};  // a whole listing, however many entries
    ms nameLookup{2000};
};

struct UpnpOptions {
    QString router; // as ParseUpnpTarget reads it
    bool allowMulticast = true;
    QHostAddress multicastGroup{QStringLiteral("239.255.255.250")};
    quint16 multicastPort = 1900;
    QHostAddress localAddress; // this computer toward the router; found when null
    UpnpTimings timings;
    // Told when the router first answers the search, before its description is read (the
    // automatic kind then knows a UPnP router is there).
    std::function<void()> gatewayHeard;
    // IPv6 pinholes: this computer's address for them and the router's IPv6 address; null:
    // read from these files (the stable global address, the IPv6 default route).
    QHostAddress pinholeAddress;
    QHostAddress router6;
    QString pinholeInterface; // where pinholeAddress is not set: the address on it
    QString ifInet6Path = QStringLiteral("/proc/net/if_inet6");
    QString ipv6RoutePath = QStringLiteral("/proc/net/ipv6_route");
};
