// SPDX-License-Identifier: GPL-3.0-or-later
#include "router/keep/Keeper.h"

#include "platform/Clock.h"

#include <QCoreApplication>

// What the user asks for at once: Point To Me, Clear All Points, a forward removed by hand.
// Each writes its intent into the record before it asks the router, so that a run killed
// between the router's answer and the record leaves nothing the next run does not know.

namespace {

bool lapsed(const LeaseEntry& e, const QDateTime& now) {
    return e.leaseEnd.isValid() && e.leaseEnd <= now;
}

} // namespace

Outcome Keeper::point(HoldKind& kind, const QList<LeaseEntry>& wanted, bool showProgress) {
    Outcome out = Outcome::Completed;
    qsizetype moved = 0;
    LeaseEntry last;
    const QList<LeaseEntry> before = linesOf(kind);
    for (qsizetype i = 0; i < wanted.size(); ++i) {
        if (hooks_.cancelled())
            return Outcome::Cancelled;
        if (showProgress)
            hooks_.progress(int(i) + 1, int(wanted.size()));
        LeaseEntry intent = wanted[i];
        intent.state = LeaseEntry::State::Unsure;
        std::optional<LeaseEntry> previous;
        for (const LeaseEntry& o : before)
            if (o.sameForward(intent))
                previous = o;
        const ForwardChangeLock change(record_.path());
        if (!record_.put(intent)) {
            // What cannot be recorded is not made: nothing would keep or clear it.
            problems_ << kind.words(intent) +
                             QCoreApplication::translate(
                                 "Router", ": not made, since the record of forwards cannot be "
                                           "written: ") +
                             record_.problem();
            return WorstOf(out, Outcome::Error);
        }
        const Made m = kind.make(intent);
        if (m.reply == Reply::Silent) {
            // The router may still make it: the intent stays, and the next check settles it.
            problems_ << m.problem;
            if (i + 1 < wanted.size())
                problems_ << QCoreApplication::translate("Router", "%1 forward(s) not tried.")
                                 .arg(wanted.size() - i - 1);
            return Outcome::Failed;
        }
        if (m.reply == Reply::Refused) {
            if (previous && previous->state != LeaseEntry::State::Clearing)
                record_.put(*previous);
            else
                drop(intent, LeaseEntry::State::Unsure);
            // A refusal without a problem is a kind's quiet "not here" (told in its note).
            if (!m.note.isEmpty())
                notes_ << m.note;
            if (!m.problem.isEmpty()) {
                refusals_.append({intent, m.reason.isEmpty() ? m.problem : m.reason, m.problem});
                problems_ << m.problem;
                out = WorstOf(out, Outcome::Error);
            }
            if (m.giveUp)
                break;
            continue;
        }
        if (!m.note.isEmpty())
            notes_ << m.note;
        const Commit c = commit(kind, m.granted);
        pinholes_ += c == Commit::Recorded && kind.pinhole() ? 1 : 0;
        if (c == Commit::Unwritable) {
            // Made but unrecorded: taken back rather than left for nobody to keep or clear.
            kind.remove(m.granted);
            problems_.last() +=
                QCoreApplication::translate("Router", " It was removed from the router again.");
            out = WorstOf(out, Outcome::Error);
            continue;
        }
        if (c == Commit::Recorded && previous && previous->address != m.granted.address &&
            previous->state != LeaseEntry::State::Clearing) {
            kind.leftBehind(*previous);
            last = m.granted;
            ++moved;
        }
    }
    if (showProgress)
        hooks_.progress(int(wanted.size()), int(wanted.size()));
    if (moved != 0) {
        notes_ << kind.followedNews(last);
        hooks_.announce(notes_.constLast());
    }
    return out;
}

Outcome Keeper::clear() {
    QList<std::pair<HoldKind*, LeaseEntry>> marked;
    QList<LeaseEntry> found;
    Outcome out = Outcome::Completed;
    const QList<LeaseEntry> recorded = record_.load();
    for (HoldKind* k : kinds_)
        for (LeaseEntry e : k->unrecorded(recorded, out)) {
            e.state = LeaseEntry::State::Clearing;
            found << e;
        }
    // The intent goes into the record first: whatever happens next, nothing renews these.
    const bool written = record_.update([&](QList<LeaseEntry>& entries) {
        entries += found;
        for (HoldKind* k : kinds_)
            for (LeaseEntry& e : entries)
                if (k->owns(e)) {
                    e.state = LeaseEntry::State::Clearing;
                    marked.append({k, e});
                }
    });
    if (!written) {
        problems_ << record_.problem();
        return Outcome::Error;
    }
    if (out == Outcome::Failed && marked.isEmpty())
        return out;
    for (qsizetype i = 0; i < marked.size(); ++i) {
        auto& [kind, e] = marked[i];
        if (hooks_.cancelled()) {
            QList<LeaseEntry> rest;
            for (qsizetype j = i; j < marked.size(); ++j)
                rest << marked[j].second;
            record_.keepUncleared(rest);
            return Outcome::Cancelled;
        }
        hooks_.progress(int(i) + 1, int(marked.size()));
        if (!settleClearing(*kind, e, out, false)) {
            // The rest stays marked: the next check removes it once the router answers.
            if (i + 1 < marked.size())
                problems_ << QCoreApplication::translate(
                                 "Router", "%1 forward(s) left to remove when the router "
                                           "answers again.")
                                 .arg(marked.size() - i - 1);
            return Outcome::Failed;
        }
    }
    hooks_.progress(int(marked.size()), int(marked.size()));
    for (const auto& [kind, e] : std::as_const(marked))
        pinholes_ += kind->pinhole() ? 1 : 0;
    return out;
}

bool Keeper::settleClearing(HoldKind& kind, const LeaseEntry& e, Outcome& out, bool quiet) {
    const ForwardChangeLock change(record_.path());
    const QString what = kind.words(e);
    if (lapsed(e, clock_.now())) {
        dropCleared(kind, e);
        return true;
    }
    QString why;
    if (!kind.reachable(why)) {
        // It stays marked, and closes by itself when its lease ends.
        if (!quiet)
            problems_ << what + QStringLiteral(": ") + why;
        out = WorstOf(out, Outcome::Error);
        return true;
    }
    // Only what the router shows as this computer's and Harborly's is removed.
    const Presence before = kind.lookUp(e);
    if (before == Presence::Silent) {
        if (!quiet)
            problems_ << what +
                             QCoreApplication::translate("Router", ": the router did not answer.");
        return false;
    }
    if (before == Presence::Gone || before == Presence::Taken) {
        dropCleared(kind, e);
        if (before == Presence::Taken)
            notes_ << what + QCoreApplication::translate(
                                 "Router", ": another computer or program holds this port now; it "
                                           "was left in place.");
        return true;
    }
    const Removed r = kind.remove(e);
    if (r.reply == Reply::Silent) {
        if (!quiet)
            problems_ << r.problem;
        return false;
    }
    if (r.reply == Reply::Refused) {
        problems_ << r.problem;
        record_.keepUncleared({e});
        out = WorstOf(out, Outcome::Error);
        return true;
    }
    if (r.lapses)
        return true; // marked until its lease ends
    // A router may answer yes and keep it: believe it once looked up.
    if (before == Presence::Ours && kind.lookUp(e) == Presence::Ours) {
        problems_ << what + QCoreApplication::translate(
                                "Router", ": the router said it removed it, but still holds it.");
        record_.keepUncleared({e});
        out = WorstOf(out, Outcome::Error);
        return true;
    }
    dropCleared(kind, e);
    if (quiet)
        hooks_.tell(
            QCoreApplication::translate("Router", "removed %1: cleared while the router was silent")
                .arg(what));
    return true;
}

void Keeper::dropCleared(HoldKind& kind, const LeaseEntry& e) {
    std::optional<LeaseEntry> again;
    record_.update([&](QList<LeaseEntry>& entries) {
        entries.removeIf([&](const LeaseEntry& o) {
            return o.sameForward(e) && o.state == LeaseEntry::State::Clearing;
        });
        for (const LeaseEntry& o : entries)
            if (o.sameForward(e))
                again = o;
    });
    // Pointed to again by another process meanwhile: that is the last word.
    if (again && again->state == LeaseEntry::State::Held) {
        const Made m = kind.make(*again);
        if (m.reply == Reply::Done)
            commit(kind, m.granted);
        else
            problems_ << m.problem;
    }
}

Outcome Keeper::remakeAt(HoldKind& kind, int port, const QString& protocol) {
    for (const LeaseEntry& e : linesOf(kind)) {
        if (e.internalPort != port || e.protocol != protocol || e.state != LeaseEntry::State::Held)
            continue;
        const ForwardChangeLock change(record_.path());
        const Removed r = kind.remove(e);
        if (r.reply != Reply::Done) {
            problems_ << r.problem;
            return r.reply == Reply::Silent ? Outcome::Failed : Outcome::Error;
        }
        // Gone from the router now: should it not be made, the line stays, and the next check
        // makes it again.
        const Made m = kind.make(e);
        if (m.reply != Reply::Done) {
            problems_ << m.problem;
            return m.reply == Reply::Silent ? Outcome::Failed : Outcome::Error;
        }
        if (!m.note.isEmpty())
            notes_ << m.note;
        if (commit(kind, m.granted) == Commit::Unwritable)
            return Outcome::Error;
        hooks_.tell(QStringLiteral("made again %1 on %2: the router held it, but nothing arrived")
                        .arg(kind.words(e), router_));
        return Outcome::Completed;
    }
    problems_ << QStringLiteral("%1 port %2 is not among the forwards Harborly holds.")
                     .arg(protocol)
                     .arg(port);
    return Outcome::Error;
}

Outcome Keeper::removeAt(HoldKind& kind, int port, const QString& protocol) {
    Outcome out = Outcome::Completed;
    for (const LeaseEntry& e : linesOf(kind)) {
        if (e.internalPort != port || e.protocol != protocol)
            continue;
        const ForwardChangeLock change(record_.path());
        QString why;
        if (!kind.reachable(why)) {
            problems_ << kind.words(e) + QStringLiteral(": ") + why;
            out = WorstOf(out, Outcome::Error);
            continue;
        }
        const Removed r = kind.remove(e);
        if (r.reply == Reply::Done) {
            record_.remove(e);
            continue;
        }
        problems_ << r.problem;
        out = WorstOf(out, r.reply == Reply::Silent ? Outcome::Failed : Outcome::Error);
    }
    return out;
}
