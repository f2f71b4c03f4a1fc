// SPDX-License-Identifier: GPL-3.0-or-later
#include "router/keep/Keeper.h"

#include "platform/Clock.h"

#include <QCoreApplication>
#include <QSet>
#include <QtGlobal>

#include <algorithm>

namespace {

qint64 CheckPeriod(qint64 usual) {
    bool ok = false;
    const qint64 asked = qEnvironmentVariableIntValue("HARBORLY_CHECK_SECONDS", &ok);
    return ok && asked > 0 && asked < usual ? asked : usual;
}

// A renewal the router refused is asked again after this long at the soonest.
constexpr qint64 kRetrySeconds = 60;

// The router too: a router in front holds the same port of the same kind.
QString keyOf(const LeaseEntry& e) {
    return e.router + QLatin1Char(' ') + e.kind + e.protocol + QString::number(e.internalPort);
}

} // namespace

const qint64 Keeper::CheckSeconds = CheckPeriod(300);
const qint64 Keeper::GlanceSeconds = CheckPeriod(45);

// One tick's reading of the record and what it did so far.
struct Keeper::Tick {
    QDateTime now;
    bool check = false;
    QHash<HoldKind*, QList<LeaseEntry>> lines;
    QSet<QString> made; // made or renewed this tick: not renewed twice
    qsizetype remade = 0;
    bool restarted = false; // a kind's check found the router restarted
    Outcome out = Outcome::Completed;
};

Keeper::Keeper(const LeaseRecord& record, const Clock& clock, QStringList& problems,
               QStringList& notes, Hooks hooks)
    : record_(record), clock_(clock), problems_(problems), notes_(notes), hooks_(std::move(hooks)) {
}

Keeper::~Keeper() = default;

void Keeper::setRouter(const QString& router, QList<HoldKind*> kinds) {
    if (router != router_)
        role_.reset();
    router_ = router;
    kinds_ = std::move(kinds);
    nextCheck_ = clock_.now().addSecs(CheckSeconds);
    nextGlance_ = clock_.now().addSecs(GlanceSeconds);
}

HoldKind* Keeper::kindOf(const LeaseEntry& e) const {
    for (HoldKind* k : kinds_)
        if (k->owns(e))
            return k;
    return nullptr;
}

QList<LeaseEntry> Keeper::linesOf(const HoldKind& kind) const {
    QList<LeaseEntry> out;
    for (const LeaseEntry& e : record_.load())
        if (kind.owns(e))
            out << e;
    return out;
}

bool Keeper::waiting(const LeaseEntry& e, const QDateTime& now) const {
    const QDateTime retry = retryAt_.value(keyOf(e));
    return retry.isValid() && retry > now;
}

void Keeper::wait(const LeaseEntry& e, qint64 seconds) {
    retryAt_[keyOf(e)] = clock_.now().addSecs(std::max(kRetrySeconds, seconds));
}

void Keeper::unwritable(const QString& problem) {
    if (cannotKeep_ != problem && hooks_.tell)
        hooks_.tell(QCoreApplication::translate("Router", "Cannot keep the forwards: ") + problem);
    cannotKeep_ = problem;
}

bool Keeper::due() {
    if (kinds_.isEmpty())
        return false;
    const LeaseRecord::Read read = record_.read();
    if (!read.ok) {
        unwritable(read.problem);
        return false;
    }
    if (cannotKeep_ == read.problem || read.problem.isEmpty())
        cannotKeep_.clear();
    const QDateTime now = clock_.now();
    bool any = false;
    bool work = !nextCheck_.isValid() || nextCheck_ <= now ||
                (!silent_ && (!nextGlance_.isValid() || nextGlance_ <= now));
    for (HoldKind* k : kinds_) {
        work = work || k->checkSoon();
        for (const LeaseEntry& e : read.entries) {
            if (!k->owns(e))
                continue;
            any = true;
            if (e.state != LeaseEntry::State::Held || waiting(e, now))
                continue;
            const QDateTime at = k->renewAt(e);
            work = work || (at.isValid() && at <= now) || k->followed(e).has_value();
        }
    }
    if (!any && !silent_)
        return false;
    // Another process keeps this router's holds; this one watches the record.
    if (!role_)
        role_ = std::make_unique<RenewerRole>(record_.path(), router_);
    renewer_ = role_->hold();
    return renewer_ && work;
}

void Keeper::noAnswer() {
    if (silent_ || kinds_.isEmpty())
        return;
    qsizetype waiting = 0;
    for (const LeaseEntry& e : record_.load())
        waiting += kindOf(e) ? 1 : 0;
    routerSilent(clock_.now(), waiting);
    // The keeper's own first look at it waits no longer than usual.
    backoffSeconds_ = 0;
}

qsizetype Keeper::keptHere() const {
    if (!renewer_)
        return 0;
    qsizetype n = 0;
    for (const LeaseEntry& e : record_.load())
        n += e.state == LeaseEntry::State::Held && e.lifetime != 0 && kindOf(e) ? 1 : 0;
    return n;
}

qsizetype Keeper::heldHere() const {
    qsizetype n = 0;
    for (const LeaseEntry& e : record_.load())
        n += e.state != LeaseEntry::State::Clearing && kindOf(e) ? 1 : 0;
    return n;
}

std::optional<std::pair<HoldKind*, CheckStart>> Keeper::glance(const Tick& t) {
    for (HoldKind* k : kinds_) {
        QString why;
        if (t.lines.value(k).isEmpty() || !k->reachable(why))
            continue;
        if (const std::optional<CheckStart> g = k->glance())
            return std::pair{k, *g};
    }
    return std::nullopt;
}

Outcome Keeper::keep() {
    Tick t;
    t.now = clock_.now();
    t.check = !nextCheck_.isValid() || nextCheck_ <= t.now ||
              std::any_of(kinds_.begin(), kinds_.end(), [](HoldKind* k) { return k->checkSoon(); });
    qsizetype held = 0;
    for (const LeaseEntry& e : record_.load())
        if (HoldKind* k = kindOf(e)) {
            t.lines[k] << e;
            ++held;
        }
    const bool glancing = !t.check && !silent_ && (!nextGlance_.isValid() || nextGlance_ <= t.now);
    if (t.check || glancing)
        nextGlance_ = t.now.addSecs(GlanceSeconds);
    const auto glanced = glancing ? glance(t) : std::nullopt;
    if (glanced && glanced->second.silent) {
        routerSilent(t.now, held);
        return Outcome::Failed;
    }
    // What the glance found lost is looked at whole now.
    t.check = t.check || (glanced && !glanced->second.remakeAll.isEmpty());
    if (t.check)
        nextCheck_ = t.now.addSecs(CheckSeconds);
    const bool wasSilent = silent_;
    for (HoldKind* k : kinds_) {
        const QList<LeaseEntry> lines = t.lines.value(k);
        QString why;
        if (!k->reachable(why)) {
            // No way to the router for these now: what was cleared and has lapsed is done.
            for (const LeaseEntry& e : lines)
                if (e.state == LeaseEntry::State::Clearing && e.leaseEnd.isValid() &&
                    e.leaseEnd <= t.now)
                    drop(e, LeaseEntry::State::Clearing);
                else
                    wait(e, kRetrySeconds);
            continue;
        }
        const CheckStart* start = glanced && glanced->first == k ? &glanced->second : nullptr;
        if ((t.check && !checkKind(*k, lines, t, start)) || !followKind(*k, lines, t)) {
            routerSilent(t.now, held, k->routerName());
            return Outcome::Failed;
        }
        for (const LeaseEntry& e : lines) {
            const QDateTime at = k->renewAt(e);
            if (e.state != LeaseEntry::State::Held || !at.isValid() || at > t.now ||
                waiting(e, t.now) || t.made.contains(keyOf(e)) || k->followed(e))
                continue;
            if (!remake(*k, e, QCoreApplication::translate("Router", "half its lease was gone"),
                        true, t)) {
                routerSilent(t.now, held, k->routerName());
                return Outcome::Failed;
            }
        }
    }
    routerBack(t.remade);
    if (t.restarted && !wasSilent)
        hooks_.announce(
            QCoreApplication::translate("Keeper", "The router restarted; %1 forwards made again")
                .arg(t.remade));
    return t.out;
}

bool Keeper::checkKind(HoldKind& kind, const QList<LeaseEntry>& lines, Tick& t,
                       const CheckStart* glanced) {
    const CheckStart start = glanced ? *glanced : kind.startCheck(silent_);
    if (start.silent)
        return false;
    t.restarted = t.restarted || start.restarted;
    for (const LeaseEntry& e : lines) {
        if (e.state == LeaseEntry::State::Clearing) {
            if (!settleClearing(kind, e, t.out, true))
                return false;
            continue;
        }
        if (kind.followed(e))
            continue; // followKind makes it for the new address
        if (!start.remakeAll.isEmpty()) {
            if (!remake(kind, e, start.remakeAll, false, t))
                return false;
            ++t.remade;
            continue;
        }
        if (kind.renewAtCheck() && e.state == LeaseEntry::State::Held) {
            // Renewed at every check; said only where it was due anyway or had to be made anew.
            const QDateTime at = kind.renewAt(e);
            const bool due = at.isValid() && at <= t.now;
            if (!remake(kind, e,
                        due ? QCoreApplication::translate("Router", "half its lease was gone")
                            : QStringLiteral("checked"),
                        true, t))
                return false;
            continue;
        }
        const Presence p = kind.lookUp(e);
        const QString what = kind.words(e);
        switch (p) {
        case Presence::Silent:
            return false;
        case Presence::Ours:
            if (e.state == LeaseEntry::State::Unsure &&
                !remake(kind, e, QCoreApplication::translate("Router", "the router holds it"), true,
                        t))
                return false;
            break;
        case Presence::Unknown:
            if (e.state == LeaseEntry::State::Unsure &&
                !remake(
                    kind, e,
                    QCoreApplication::translate("Router", "made after the router answered again"),
                    false, t))
                return false;
            break;
        case Presence::Taken:
            drop(e, e.state);
            hooks_.announce(QCoreApplication::translate(
                                "Router", "%1: another computer or program holds this port now; "
                                          "Harborly no longer keeps it.")
                                .arg(what));
            break;
        case Presence::Gone:
            if (e.state == LeaseEntry::State::Unsure) {
                // Asked for when the router went silent, and never made.
                drop(e, LeaseEntry::State::Unsure);
                break;
            }
            if (!remake(kind, e,
                        silent_
                            ? QCoreApplication::translate("Router", "the router is back without it")
                            : kind.goneWords(),
                        false, t))
                return false;
            ++t.remade;
            break;
        }
    }
    return true;
}

bool Keeper::followKind(HoldKind& kind, const QList<LeaseEntry>& lines, Tick& t) {
    qsizetype moved = 0;
    LeaseEntry last;
    for (const LeaseEntry& e : lines) {
        if (e.state == LeaseEntry::State::Clearing || waiting(e, t.now))
            continue;
        const std::optional<LeaseEntry> wanted = kind.followed(e);
        if (!wanted)
            continue;
        // Until the router grants it the line keeps the old address, and a later tick tries
        // again.
        const ForwardChangeLock change(record_.path());
        const Made m = kind.make(*wanted);
        if (m.reply == Reply::Silent)
            return false;
        if (m.reply == Reply::Refused) {
            wait(e, m.retryAfter);
            problems_ << m.problem;
            hooks_.tell(m.problem);
            t.out = WorstOf(t.out, Outcome::Error);
            continue;
        }
        t.made << keyOf(e);
        if (commit(kind, m.granted) != Commit::Recorded)
            continue;
        hooks_.tell(QCoreApplication::translate("Router",
                                                "opened again %1: this computer's address changed")
                        .arg(kind.words(m.granted)));
        kind.leftBehind(e);
        last = m.granted;
        ++moved;
    }
    if (moved != 0)
        hooks_.announce(kind.followedNews(last));
    return true;
}

bool Keeper::remake(HoldKind& kind, const LeaseEntry& e, const QString& why, bool renewal,
                    Tick& t) {
    const ForwardChangeLock change(record_.path());
    const Made m = kind.make(e);
    t.made << keyOf(e);
    if (m.reply != Reply::Done) {
        if (m.reply == Reply::Refused) {
            wait(e, m.retryAfter);
            t.out = WorstOf(t.out, Outcome::Error);
        }
        problems_ << m.problem;
        hooks_.tell(m.problem);
        return m.reply != Reply::Silent;
    }
    retryAt_.remove(keyOf(e));
    if (m.restarted)
        nextCheck_ = {};
    const Commit c = commit(kind, m.granted);
    if (c == Commit::Unwritable) {
        t.out = WorstOf(t.out, Outcome::Error);
        wait(e, kRetrySeconds);
        return true;
    }
    const bool quiet = why == QLatin1String("checked") && !m.again;
    if (c == Commit::Recorded && !quiet)
        hooks_.tell(QCoreApplication::translate("Router", "%1 %2 on %3: %4")
                        .arg(renewal && !m.again ? QCoreApplication::translate("Router", "renewed")
                             : e.state == LeaseEntry::State::Unsure
                                 ? QCoreApplication::translate("Router", "recorded")
                                 : QCoreApplication::translate("Router", "made again"),
                             kind.words(e),
                             kind.routerName().isEmpty() ? router_ : kind.routerName(),
                             why == QLatin1String("checked")
                                 ? QCoreApplication::translate("Router", "checked")
                                 : why));

    return true;
}

Keeper::Commit Keeper::commit(HoldKind& kind, const LeaseEntry& granted) {
    bool listed = false;
    const bool written = record_.update([&](QList<LeaseEntry>& entries) {
        for (LeaseEntry& o : entries)
            if (o.sameForward(granted)) {
                if (o.state != LeaseEntry::State::Clearing) {
                    o = granted;
                    listed = true;
                }
                return;
            }
    });
    if (!written) {
        problems_ << kind.words(granted) +
                         QCoreApplication::translate("Router",
                                                     ": the record could not be written: ") +
                         record_.problem();
        unwritable(record_.problem());
        return Commit::Unwritable;
    }
    if (!listed) {
        // Cleared while it was being made: the user's last word was to remove it.
        kind.remove(granted);
        hooks_.tell(
            QCoreApplication::translate("Router", "removed %1 again: it was cleared meanwhile")
                .arg(kind.words(granted)));
        return Commit::Cleared;
    }
    if (cannotKeep_ == record_.problem())
        cannotKeep_.clear();
    return Commit::Recorded;
}

void Keeper::drop(const LeaseEntry& e, LeaseEntry::State state) {
    record_.update([&](QList<LeaseEntry>& entries) {
        entries.removeIf([&](const LeaseEntry& o) { return o.sameForward(e) && o.state == state; });
    });
}

void Keeper::routerSilent(const QDateTime& now, qsizetype waiting, const QString& which) {
    backoffSeconds_ = backoffSeconds_ == 0 ? 5 : std::min<qint64>(60, backoffSeconds_ * 2);
    nextCheck_ = now.addSecs(backoffSeconds_);
    if (silent_)
        return;
    silent_ = true;
    // A router in front is named: the router here may still answer.
    hooks_.silentNews(which.isEmpty()
                          ? QCoreApplication::translate(
                                "Router", "The router stopped answering; %1 forward(s) wait for it")
                                .arg(waiting)
                          : QCoreApplication::translate(
                                "Router", "%1 stopped answering; %2 forward(s) wait for it")
                                .arg(which.left(1).toUpper() + which.mid(1))
                                .arg(waiting));
}

void Keeper::routerBack(qsizetype remade) {
    backoffSeconds_ = 0;
    if (!silent_)
        return;
    silent_ = false;
    hooks_.backNews(
        QCoreApplication::translate("Router", "Router back; %1 forwards made again").arg(remade));
}
