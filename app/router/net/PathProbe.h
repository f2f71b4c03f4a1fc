// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The routers on the way out, as tracepath finds them: UDP datagrams with a time-to-live of
// 1, 2, 3, and the ICMP answers the kernel queues on the socket (IP_RECVERR), so no privilege
// is needed. A probe goes no further than the hop asked; the walk stops at the first hop that
// is not a private address, and at the first that stays silent.

#include <QByteArray>
#include <QHostAddress>
#include <QList>

#include <chrono>
#include <optional>

// One ICMP answer to a probe, read from the socket's error queue.
struct HopAnswer {
    QHostAddress from;    // the router (or host) that sent it
    bool expired = false; // time exceeded: a router on the way; otherwise unreachable
};

// The answer among the control messages `control` of one recvmsg(MSG_ERRQUEUE): an IPv4
// IP_RECVERR record of ICMP origin naming its sender; nullopt where there is none, or the
// records are cut short or malformed.
std::optional<HopAnswer> ReadHopAnswer(const QByteArray& control);

struct PathProbeOptions {
    // Toward where: any address beyond the home routers. A documentation address, so that no
    // one's host is meant; the probes expire long before they could reach it.
    QHostAddress target{QStringLiteral("198.51.100.1")};
    quint16 port = 33434; // plus the hop's number, as traceroute does
    int maxHops = 3;
    std::chrono::milliseconds wait{400}; // for each hop's answer
};

// The routers that answered, hop by hop from the first; the walk ends at a silent hop, at the
// first address that is not private, or at the target.
QList<QHostAddress> ProbePath(const PathProbeOptions& options = {});

// The router in front of the first: the second hop, where the first two are private
// addresses (RFC 1918). Null where the path shows none.
QHostAddress RouterInFront(const QList<QHostAddress>& hops);
