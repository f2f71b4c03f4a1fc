// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// This computer's IPv6 address for pinholes: a global one, stable where the computer has one
// (a temporary address is replaced within a day and peers cannot know it), never link-local,
// unique-local, tunnelled or translated. Read from /proc/net/if_inet6, a local file.

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QString>

struct Ipv6Entry {
    QHostAddress address;
    int prefixLength = 0;
    int flags = 0; // the kernel's IFA_F_* bits (its low byte)
    QString interface;

    static constexpr int Temporary = 0x01;
    static constexpr int DadFailed = 0x08;
    static constexpr int Deprecated = 0x20;
    static constexpr int Tentative = 0x40;
};

// The rows of /proc/net/if_inet6; lines that do not parse are skipped.
QList<Ipv6Entry> ParseIfInet6(const QByteArray& text);

// Global unicast (2000::/3) that reaches past the router's firewall: not Teredo (2001::/32),
// 6to4 (2002::/16), nor documentation (2001:db8::/32) unless `allowDocumentation` (test
// networks stand in with it).
bool IsPinholeAddress(const QHostAddress& address, bool allowDocumentation = false);

// The address to open pinholes for: on `interface` when given, usable (not tentative,
// failed or deprecated), a stable one before a temporary one; null when there is none.
QHostAddress ChoosePinholeAddress(const QList<Ipv6Entry>& entries, const QString& interface = {},
                                  bool allowDocumentation = false);

// The next hop of the IPv6 default route in /proc/net/ipv6_route text, with its interface as
// the zone (routers advertise their link-local address); null when there is none.
QHostAddress Ipv6DefaultRouter(const QByteArray& ipv6Route);

// The same from `path` (default /proc/net/if_inet6).
QHostAddress PinholeAddress(const QString& path = QStringLiteral("/proc/net/if_inet6"),
                            const QString& interface = {}, bool allowDocumentation = false);

// On an interface the user named, its addresses are taken as given, as a chosen address is (the
// documentation prefix of a test network, ::1 on `lo` for a router on this computer): a usable
// one, global first, stable before temporary; never link-local or multicast. Null when none.
QHostAddress ChooseAddressOn(const QList<Ipv6Entry>& entries, const QString& interface);

// Where pinholes open now: `chosen` when the user chose an address; else on `interface` when
// one is named; else the computer's own choice. The computer's address changes (a new prefix
// from the provider, a temporary one replaced), so this is asked again, not remembered.
QHostAddress CurrentPinholeAddress(const QHostAddress& chosen, const QString& interface,
                                   const QString& path);

// Whether `address` is still one of this computer's in `path`, deprecated included: a pinhole
// for it can still be closed from it.
bool AddressStillHere(const QHostAddress& address, const QString& path);
