// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

// One forward Harborly made and answers for: it renews it while it runs and removes it on
// "Clear All Points", so none is left behind forgotten.
struct LeaseEntry {
    // What Harborly knows of the forward on the router.
    enum class State {
        Held,     // made, and kept alive
        Unsure,   // asked for, but the router went silent: looked up at the next check
        Clearing, // the user cleared it, but the router did not confirm: removed when it answers
    };

    QString router;   // the router's address as Harborly reached it
    QString kind;     // "upnp", "pcp", "natpmp", "pinhole6", "firewall"
    QString protocol; // "TCP" or "UDP"
    int externalPort = 0;
    int internalPort = 0;
    QDateTime leaseEnd;   // UTC; invalid when the forward stays until removed
    quint32 lifetime = 0; // granted seconds; 0 when permanent
    QByteArray nonce;     // PCP's 12 bytes; empty otherwise
    quint32 epoch = 0;    // the router's epoch when granted (PCP, NAT-PMP)
    QString application;  // as the list shows it
    State state = State::Held;
    QString externalAddress{}; // PCP: the address granted, suggested again on renewal
    QString remoteHost{};      // UPnP: the remote host the mapping is keyed on; empty: any
    // Kind "pinhole6" (an IPv6 pinhole): the address it lets in and the gateway's UniqueID;
    // kind "firewall" (an opening in this computer's firewall): where it was made
    // ("firewalld public", "ufw"), UniqueID 0. Written after the other fields on those lines
    // only, so older records read as before.
    QString address{};
    quint16 uniqueId = 0;
    // The router's own identity where it tells one (a UPnP device's UDN): another router at the
    // same address is not asked to hold what this one was. Empty on lines that predate it.
    QString routerId{};

    // Whether the line may be of the router `id` (empty: not known).
    bool onRouter(const QString& id) const {
        return routerId.isEmpty() || id.isEmpty() || routerId == id;
    }
    // Held, and half its lease gone: time to renew it.
    bool halfLeaseGone(const QDateTime& now) const {
        return state == State::Held && now.secsTo(leaseEnd) <= qint64(lifetime / 2);
    }
    bool sameForward(const LeaseEntry& o) const {
        return router == o.router && kind == o.kind && protocol == o.protocol &&
               internalPort == o.internalPort && onRouter(o.routerId);
    }
    bool operator==(const LeaseEntry&) const = default;
};

// Whether the pinhole of `port`/`protocol` among `pinholes` is open now, by its record (a
// router cannot be asked about a pinhole beyond its lease); nullopt when none was opened or
// the router did not say (the next check settles it).
std::optional<bool> RecordedPinholeOpen(const QList<LeaseEntry>& pinholes, int port,
                                        const QString& protocol, const QDateTime& now);

// `Harborly.leases`: one forward per line, tab-separated, after a version line. Text so a
// person can read what Harborly holds; written whole and crash-safe, owner-only.
struct LeaseText {
    enum class Shape {
        Whole,
        NotARecord, // some other file
        CutOff,     // ends inside a line: a write that did not finish, or a file cut short
    };
    Shape shape = Shape::Whole;
    int cutLine = 0; // the line that is cut off, from 1
    QList<LeaseEntry> entries;
    // Whole lines of a format this version does not know (a newer Harborly's kind, state or
    // fields): written back as they are, never taken for forwards.
    QList<QByteArray> unknownLines;
};
LeaseText ParseLeaseText(const QByteArray& text);
QByteArray FormatLeases(const QList<LeaseEntry>& entries,
                        const QList<QByteArray>& unknownLines = {});
// The forwards; nothing when the text is no whole lease record.
std::optional<QList<LeaseEntry>> ParseLeases(const QByteArray& text);
