// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "router/keep/Outcome.h"
#include "router/leases/LeaseRecord.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QString>

#include <optional>

// How one exchange with the router about a hold went.
enum class Reply {
    Done,    // the router did it
    Refused, // the router answered no
    Silent,  // the router did not answer: it may have done it
};

// A hold made or renewed.
struct Made {
    Reply reply = Reply::Silent;
    LeaseEntry granted;     // Done: the line to record, Held
    QString problem;        // otherwise, in a sentence naming the hold
    QString reason;         // Refused: why, naming no hold, where holds refused alike share it
    qint64 retryAfter = 0;  // Refused: not to be asked again sooner (seconds)
    bool restarted = false; // the router says it lost what it held (PCP's epoch)
    bool again = false;     // made anew, not renewed: the router had lost it
    bool giveUp = false;    // Refused: the rest would be refused alike
    QString note;           // Done, but the user should know (another outside port)
};

// A hold removed.
struct Removed {
    Reply reply = Reply::Silent;
    QString problem;
    bool lapses = false; // Done: the router ends it at its lease's end, not now
};

// What the router holds at a hold's place now.
enum class Presence {
    Ours,    // this computer's, made by Harborly
    Gone,    // nothing there
    Taken,   // another computer's or another program's: not Harborly's to touch
    Unknown, // the kind cannot ask
    Silent,  // the router did not answer
};

// What the keeper does at a check before looking at each hold.
struct CheckStart {
    bool silent = false;    // the router did not answer: nothing more this time
    QString remakeAll;      // why every hold must be made again (a restart, a new address); empty
                            // when none
    bool restarted = false; // the router lost what it held: the user is told
};

// One kind of thing Harborly holds open on a router: a UPnP forward or pinhole, a PCP or
// NAT-PMP mapping, a PCP pinhole. The kind speaks its protocol and chooses its words; when to
// renew, look up, follow, clear and back off is the keeper's alone.
class HoldKind {
public:
    virtual ~HoldKind() = default;

    // The record's lines this kind answers for (its kind word, its router).
    virtual bool owns(const LeaseEntry& e) const = 0;
    // "TCP port 27015 (Game)", "IPv6 pinhole 27015/TCP for Game".
    virtual QString words(const LeaseEntry& e) const = 0;
    // An IPv6 pinhole beside a forward, counted apart in what the user reads.
    virtual bool pinhole() const { return false; }
    // Makes or renews `wanted`; the keeper records what was granted.
    virtual Made make(const LeaseEntry& wanted) = 0;
    virtual Removed remove(const LeaseEntry& e) = 0;
    // Whether the router holds `e` for this computer and Harborly now.
    virtual Presence lookUp(const LeaseEntry& e) {
        (void)e;
        return Presence::Unknown;
    }
    // When `e` is renewed; invalid: it stays until removed.
    virtual QDateTime renewAt(const LeaseEntry& e) {
        if (e.lifetime == 0 || !e.leaseEnd.isValid())
            return {};
        return e.leaseEnd.addSecs(-qint64(e.lifetime) / 2);
    }
    // Why a hold the check found gone is made again.
    virtual QString goneWords() const {
        return QCoreApplication::translate("Router", "gone from the router");
    }
    // The router the holds are on where it is another than the keeper's (a router in front),
    // as `keep` names it; empty: the keeper's.
    virtual QString routerName() const { return {}; }
    // Whether the keeper must look at the router at the next tick, whatever the schedule.
    virtual bool checkSoon() const { return false; }
    // The check's first step: the router asked whether it restarted, this computer's address
    // compared. `wasSilent`: the router had stopped answering.
    virtual CheckStart startCheck(bool wasSilent) {
        (void)wasSilent;
        return {};
    }
    // A look between checks, one question whatever the number of holds: whether the router
    // answers and whether it restarted. nullopt where the protocol has no such question.
    virtual std::optional<CheckStart> glance() { return std::nullopt; }
    // Whether each held hold is made again at a check (a hold the router cannot be asked
    // about, which a restart may have lost).
    virtual bool renewAtCheck() const { return false; }
    // Whether the kind can reach the router for its holds now (an IPv6 pinhole needs an IPv6
    // address here); why not, when it matters.
    virtual bool reachable(QString& why) {
        (void)why;
        return true;
    }
    // Where `e` must follow a new address of this computer's: the hold as it must be now.
    virtual std::optional<LeaseEntry> followed(const LeaseEntry& e) {
        (void)e;
        return std::nullopt;
    }
    // What followed a new address left behind, closed where that can be done.
    virtual void leftBehind(const LeaseEntry& old) { (void)old; }
    // The news for holds that followed this computer's new address.
    virtual QString followedNews(const LeaseEntry& now) const {
        (void)now;
        return {};
    }
    // Holds of this kind on the router the record does not know (an earlier run's), to be
    // cleared with the rest; the router's list, where it has one. `out` worsens, with a
    // problem said, where the list could not be read.
    virtual QList<LeaseEntry> unrecorded(const QList<LeaseEntry>& recorded, Outcome& out) {
        (void)recorded;
        (void)out;
        return {};
    }
};
