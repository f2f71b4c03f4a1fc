// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Whether the configured router is on this computer's loopback, i.e. a simulated one whose
// outside address is made up. Decided by the addresses the name resolves to, never by how it is
// spelt: "localhost", the computer's own name and "127.1" all lead to loopback.

#include <QHostAddress>
#include <QList>
#include <QString>

#include <functional>

// Every address a host name stands for; empty when it does not resolve.
using HostResolver = std::function<QList<QHostAddress>(const QString& host)>;

// The system's resolver, given a few seconds at most; the event loop runs meanwhile.
QList<QHostAddress> ResolveHost(const QString& host);

// `lanPrivateIp` as the user wrote it (an address, "host:port", a name, or a description URL):
// true when any address it resolves to is in 127.0.0.0/8 or ::1. Empty means the default
// gateway, which is not on loopback.
bool NamesLoopback(const QString& lanPrivateIp, const HostResolver& resolve = ResolveHost);
