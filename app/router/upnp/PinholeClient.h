// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// IPv6 pinholes through an IGD:2's WANIPv6FirewallControl: there is no translation on IPv6,
// only the router's firewall, and a pinhole lets connections to this computer's own address
// and port through for a lease of at most a day. Gateways take a pinhole only from the
// address it is for, so every call leaves from that address.
//
//   PinholeClient pinholes(waiter, igd.router().firewall, OnIpv6Host(url, router6), myAddress);
//   if (pinholes.getFirewallStatus().inboundAllowed)
//       const PinholeResult r = pinholes.addPinhole(8096, "TCP");   // r.uniqueId
//   pinholes.updatePinhole(id);  pinholes.deletePinhole(id);

#include "platform/Waiter.h"
#include "router/upnp/DeviceDescription.h"
#include "router/upnp/HttpExchange.h"
#include "router/upnp/Soap.h"
#include "router/upnp/UpnpOptions.h"

#include <QHostAddress>
#include <QString>
#include <QUrl>

struct FirewallStatus {
    SoapAnswer answer;
    bool enabled = false;        // the router filters inbound IPv6 at all
    bool inboundAllowed = false; // programs may open pinholes
    bool ok() const { return answer.ok(); }
};

struct PinholeResult {
    SoapAnswer answer;
    bool ok = false;
    bool gone = false; // update/delete: the router knows no such pinhole (402, 704)
    quint16 uniqueId = 0;
    QString problem; // in words, empty when ok
};

class PinholeClient {
public:
    // The longest lease a pinhole may have, and the one asked for.
    static constexpr quint32 MaxLease = 86400;
    static constexpr quint32 AskedLease = 3600;

    // `firewall` with its control URL on the router's IPv6 address; `source` is the address
    // the pinholes are for, from which every request leaves.
    PinholeClient(Waiter& waiter, IgdService firewall, QHostAddress source,
                  UpnpTimings timings = {});

    const QHostAddress& source() const { return source_; }

    FirewallStatus getFirewallStatus();
    // Any remote host and port, to `source` on `port`; `protocol` "TCP" or "UDP".
    PinholeResult addPinhole(quint16 port, const QString& protocol, quint32 lease = AskedLease);
    PinholeResult updatePinhole(quint16 uniqueId, quint32 lease = AskedLease);
    PinholeResult deletePinhole(quint16 uniqueId);

private:
    SoapAnswer call(const QString& action, const SoapArguments& arguments);
    PinholeResult judge(const SoapAnswer& answer, quint16 port, bool byId);

    Waiter& waiter_;
    IgdService firewall_;
    QHostAddress source_;
    UpnpTimings timings_;
    HttpExchange http_;
};

// The sentence for a refusal of a pinhole on `port`; empty for codes that are Harborly's own
// mistakes or not failures.
QString PinholeProblem(int code, quint16 port);

// A control URL found over IPv4 moved onto the router's IPv6 address, same port and path: the
// gateway refuses pinholes asked for over IPv4.
QUrl OnIpv6Host(const QUrl& control, const QHostAddress& router6);

// RFC 5952 text without a zone, as gateways compare InternalClient with the caller.
QString Ipv6Text(const QHostAddress& address);
