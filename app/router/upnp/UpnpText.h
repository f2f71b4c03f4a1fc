#pragma once

#include <QString>

// What the user reads about a refusal of the router. Empty for codes that are handled
// without bothering the user (end of a list, "no such entry", ...). `otherClient` is the
// address a conflicting forward points at, when known.
QString DescribeUpnpError(int code, quint16 port, const QString& otherClient = {});

enum class ExternalAddressKind {
    Public,
    None,      // empty or 0.0.0.0: the router has no usable WAN address
    DoubleNat, // 10/8, 172.16/12, 192.168/16: another router in front
    Cgnat,     // 100.64/10: the provider's carrier-grade NAT
    Reserved,  // loopback, link-local, documentation, multicast, ...
};

ExternalAddressKind ClassifyExternalAddress(const QString& address);

// The warning for an external address that the Internet cannot reach; empty when public.
QString ExternalAddressWarning(const QString& address);
