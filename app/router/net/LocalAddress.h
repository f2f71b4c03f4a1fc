// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// This computer's address as the router sees it: the kinds compare it with what the router
// lists, so a v4-mapped form must never stand where a plain IPv4 address is expected.

#include <QHostAddress>

// An IPv4 address written as ::ffff:a.b.c.d, made plain; any other address unchanged.
QHostAddress PlainAddress(const QHostAddress& address);

// The local address the kernel picks for a datagram to the router (no packet is sent); null
// when there is no route. Port 0 is taken as SSDP's port.
QHostAddress LocalAddressToward(const QHostAddress& router, quint16 port);
