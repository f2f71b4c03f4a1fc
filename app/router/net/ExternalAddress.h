// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Whether the router's external address can be reached from the Internet at all, for every
// kind, and the warning when it cannot.

#include <QString>

enum class ExternalAddressKind {
    Public,
    None,      // empty or 0.0.0.0: the router has no usable WAN address
    DoubleNat, // 10/8, 172.16/12, 192.168/16: another router in front
    Cgnat,     // 100.64/10: the provider's carrier-grade NAT
    Reserved,  // loopback, link-local, documentation, multicast, ...
};

ExternalAddressKind ClassifyExternalAddress(const QString& address);

// The warning for an external address that the Internet cannot reach; empty when public. With
// `ipv6WayIn`, this computer's address where a pinhole can be opened, it says that IPv6 is the
// way in.
QString ExternalAddressWarning(const QString& address, const QString& ipv6WayIn = {});

// What the WAN area shows: the router's external address, and `ipv6WayIn` beside it when given.
QString WanAreaText(const QString& address, const QString& ipv6WayIn);
