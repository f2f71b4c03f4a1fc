// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "router/keep/HoldKind.h"
#include "router/keep/Outcome.h"
#include "router/leases/LeaseRecord.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <utility>

class Clock;

// Keeps alive everything Harborly holds open on one router, whatever the kind of hold: renews
// each at its time, looks at the router now and then (a restart, a hold gone, this computer's
// new address), carries out the clears the record marks, backs off from a silent router and
// says when it is back. The record is the one truth: it is read again at every tick, and every
// change on the router is written there under the forward's change lock, intent first.
class Keeper {
public:
    // How often, while holds are kept, the router is looked at: five minutes. The walkthrough
    // shortens it (HARBORLY_CHECK_SECONDS, never longer).
    static const qint64 CheckSeconds;
    // How often, between checks, the router is glanced at (a kind's one cheap question): 45 s,
    // well within any lease's renewal margin. Shortened with CheckSeconds.
    static const qint64 GlanceSeconds;

    // What the keeper tells and asks of the operation around it.
    struct Hooks {
        std::function<void(const QString&)> tell;       // a line for `keep`
        std::function<void(const QString&)> announce;   // news for the window too
        std::function<void(const QString&)> silentNews; // the router stopped answering
        std::function<void(const QString&)> backNews;   // the router answers again
        std::function<bool()> cancelled;                // the user's Cancel
        std::function<void(int, int)> progress;         // step of steps
    };

    Keeper(const LeaseRecord& record, const Clock& clock, QStringList& problems, QStringList& notes,
           Hooks hooks);
    ~Keeper();
    Keeper(const Keeper&) = delete;
    Keeper& operator=(const Keeper&) = delete;

    // The kinds of holds on this router, forwards before pinholes; `router` keys the renewer's
    // role. Set at each status query.
    void setRouter(const QString& router, QList<HoldKind*> kinds);
    // The first tick after a status query looks at every hold.
    void checkAtNextTick() { nextCheck_ = {}; }
    void checkAt(const QDateTime& at) { nextCheck_ = at; }
    bool silent() const { return silent_; }
    // Why the holds cannot be kept (the record cannot be read or written); empty when they can.
    const QString& cannotKeep() const { return cannotKeep_; }

    // Whether a tick has work: something due, a check, or a silent router to ask again. False
    // also when another process keeps this router's holds, or the record cannot be read.
    bool due();
    // The tick's work, inside the operation that due() asked for.
    Outcome keep();
    // An operation of the user's found the router silent: asked again soon, and told when back.
    void noAnswer();
    // How many holds with a lease only this process renews (no `keep` elsewhere): they lapse
    // when it ends.
    qsizetype keptHere() const;
    // How many holds on this router the record has, whoever renews them; those being cleared
    // not counted.
    qsizetype heldHere() const;

    // Point To Me for one kind: each hold recorded as an intent before it is asked for, so that
    // a run killed midway leaves nothing the record does not know.
    Outcome point(HoldKind& kind, const QList<LeaseEntry>& wanted, bool showProgress);
    // A hold point() saw refused: `reason` is shared by holds refused alike, `problem` names it.
    struct Refusal {
        LeaseEntry hold;
        QString reason;
        QString problem;
    };
    // What point() saw refused since forgetRefusals().
    const QList<Refusal>& refusals() const { return refusals_; }
    // The IPv6 pinholes point() made and clear() removed since forgetRefusals().
    qsizetype pinholes() const { return pinholes_; }
    void forgetRefusals() {
        refusals_.clear();
        pinholes_ = 0;
    }
    // Clear All Points: every hold of this router marked for clearing first, then removed where
    // the router shows it as this computer's and Harborly's.
    Outcome clear();
    // The holds of `kind` at `port`/`protocol` removed (a forward removed by hand takes its
    // pinhole with it).
    Outcome removeAt(HoldKind& kind, int port, const QString& protocol);
    // The hold of `kind` at `port`/`protocol` removed and made once more, as one change.
    Outcome remakeAt(HoldKind& kind, int port, const QString& protocol);
    // This router's lines of `kind`, every state; nothing when the record cannot be read.
    QList<LeaseEntry> linesOf(const HoldKind& kind) const;

private:
    struct Tick;
    enum class Commit { Recorded, Cleared, Unwritable };

    Commit commit(HoldKind& kind, const LeaseEntry& granted);
    // Makes `e` again (or renews it) and records it; false when the router was silent.
    bool remake(HoldKind& kind, const LeaseEntry& e, const QString& why, bool renewal, Tick& t);
    // `glanced`: the kind's glance already started the check.
    bool checkKind(HoldKind& kind, const QList<LeaseEntry>& lines, Tick& t,
                   const CheckStart* glanced = nullptr);
    // The glance between checks, by the first kind that has one; nullopt where none asked.
    std::optional<std::pair<HoldKind*, CheckStart>> glance(const Tick& t);
    bool followKind(HoldKind& kind, const QList<LeaseEntry>& lines, Tick& t);
    // A line marked for clearing: removed where the router holds it; false when silent.
    bool settleClearing(HoldKind& kind, const LeaseEntry& e, Outcome& out, bool quiet);
    // After a clear the router confirmed: the line goes, unless pointed to again meanwhile.
    void dropCleared(HoldKind& kind, const LeaseEntry& e);
    void drop(const LeaseEntry& e, LeaseEntry::State state);
    bool waiting(const LeaseEntry& e, const QDateTime& now) const;
    void wait(const LeaseEntry& e, qint64 seconds);
    HoldKind* kindOf(const LeaseEntry& e) const;
    // `which`: the router that fell silent where it is not the keeper's (HoldKind::routerName).
    void routerSilent(const QDateTime& now, qsizetype waiting, const QString& which = {});
    void routerBack(qsizetype remade);
    void unwritable(const QString& problem);

    const LeaseRecord& record_;
    const Clock& clock_;
    QStringList& problems_;
    QStringList& notes_;
    Hooks hooks_;
    QString router_;
    QList<HoldKind*> kinds_;
    std::unique_ptr<RenewerRole> role_;
    QHash<QString, QDateTime> retryAt_;
    QDateTime nextCheck_;
    QDateTime nextGlance_;
    bool renewer_ = false; // this process held the renewer role at the last due()
    QString cannotKeep_;
    QList<Refusal> refusals_;
    qsizetype pinholes_ = 0;
    bool silent_ = false;
    qint64 backoffSeconds_ = 0;
};
