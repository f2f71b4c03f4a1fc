// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/Waiter.h"
#include "router/MappingPlan.h"
#include "router/Router.h"
#include "router/keep/Keeper.h"
#include "router/keep/Outcome.h"
#include "router/leases/LeaseRecord.h"

#include <QDateTime>
#include <QHash>
#include <QHostAddress>
#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>
#include <memory>

struct Module;
class OuterRouter;
class EventPump;
class Waiter;
struct RouterDeps;
class Clock;
class MainView;
class Prompts;
class LocalFirewall;
class FirewallHolds;

// What the kinds that speak a port-mapping protocol (UPnP, PCP, NAT-PMP) share: the first
// tick's look for the router and its ending, the frame of every operation, "Point To Me" up
// to the plan, and how problems reach the user. A kind adds its protocol.
class ProtocolRouter : public Router {
public:
    QString wanAddress() const override { return wanAddress_; }
    QString wanWarning() const override { return wanWarning_; }
    QString routerDescription() const override { return description_; }
    QStringList lastProblems() const override { return problems_; }
    QStringList lastNotes() const override { return notes_; }
    PointOutcome lastPointOutcome() const override { return pointOutcome_; }
    std::optional<PartlyMade> lastPartlyMade() const override { return partly_; }
    Outcome lastOutcome() const override { return outcome_; }
    bool SetDmz(bool) override { return false; }
    bool ClearAll() final;
    bool RemakeForward(const PlannedMapping& mapping) final;
    QString cannotKeep() const override { return keeper_.cannotKeep(); }
    std::optional<OuterView> OuterFor(const PlannedMapping& mapping) override;
    qsizetype forwardsKeptHere() const override { return keeper_.keptHere(); }
    qsizetype forwardsHeld() const override { return keeper_.heldHere(); }
    qsizetype lastPinholes() const override { return keeper_.pinholes(); }

    // The first tick looks for the router (and ends the program when none answers); later
    // ticks keep the forwards alive.
    void Timer1_Timer() final;
    void PointToMe() final;
    // What "Point To Me" does once the selection is recorded: the plan's forwards, or the
    // plan's refusal.
    void ForwardPorts(const MappingPlan& plan);

    LocalFirewall* localFirewall() override;
    bool OpenLocalFirewall(const QList<PlannedMapping>& ports) final;

    // Renews what is due; true when nothing was due or everything held.
    bool KeepAlive();

    // Uniform in [0, 1): where in its window a PCP renewal goes. Tests pin it.
    std::function<double()> random;
    // Whether the router answered at the last keep-alive check.
    bool routerAnswering() const { return !keeper_.silent(); }
    // The routers on the way out, for finding one in front; tests give their own.
    std::function<QList<QHostAddress>()> pathProbe;
    // How long a router in front is waited for, for each protocol; tests shorten it.
    std::chrono::milliseconds outerPatience{2000};

protected:
    explicit ProtocolRouter(const RouterDeps& deps);
    ~ProtocolRouter() override;

    // Sets module.RouterFound, and on success the address, warning and description shown.
    virtual void queryStatus() = 0;
    virtual bool connected() const = 0;
    // The kind's IPv4 forwards, as the keeper holds them; null before the router is found.
    virtual HoldKind* forwardHolds() = 0;
    // Error (the router refused) or Failed (no answer), problems_ filled, where not Completed.
    virtual Outcome forward(const QList<PlannedMapping>& mappings) = 0;

    // The frame of every operation: Timer1 off and the window locked around `body`, whose word
    // goes to lblStatus; problems_ starts empty.
    bool runOperation(const QString& activity, const std::function<Outcome()>& body);
    // The window for the status query; the caller sets what it found.
    void beginStatusQuery();
    void endStatusQuery();
    // A router in front of this one ([Misc] OuterRouter, or found on the path), asked before
    // showFound: `inner` is this router, `told` the outside address it told.
    void lookForOuter(const QHostAddress& inner, const QString& told);
    // The kinds of holds for the keeper: `kinds`, and the router in front's forwards.
    QList<HoldKind*> withOuter(QList<HoldKind*> kinds) const;
    // Point To Me's forwards on the router in front too; Error, said in words, where it did not
    // make them (the inner forwards stay).
    Outcome forwardOuter(const QList<PlannedMapping>& mappings);
    // View Points' rows of the router in front.
    QList<ForwardEntry> outerRows();
    // The end of an operation: its outcome kept for lastOutcome() and shown.
    void showOutcome(Outcome outcome);
    // `ipv6` is this computer's address where a pinhole can be opened, empty where none can.
    void showFound(const QString& wan, const QString& warning, const QString& description,
                   const QString& ipv6 = {});
    // One line for reportRenewal (the command line's `keep` prints it): what was renewed,
    // made again or removed, and why.
    void tell(const QString& line);
    // News the user should see without asking, in one line: told as tell() does, and to the
    // window (status and activity log) once the operation has ended.
    void announce(const QString& line);
    // Reached over IPv6 alone an IPv4 forward would name no address of this computer: the
    // pinholes only, by `open`, and the user told. `noWay`: why none can be opened.
    Outcome pinholesOnly(const QString& noWay, const std::function<Outcome()>& open);
    // View Points' rows for the pinholes of `lines` still open at `now`.
    static QList<ForwardEntry> PinholeRows(const QList<LeaseEntry>& lines, const QDateTime& now);
    // The line for pinholes that followed this computer's new IPv6 address.
    static QString Ipv6MovedText(const QString& address);
    // "TCP port 27015 (Game)", for tell and problems.
    static QString forwardText(const QString& protocol, int port, const QString& application);
    // The keeper's holds on `router`: the kind's, then this computer's firewall openings.
    void keepOn(const QString& router, QList<HoldKind*> kinds);
    // The firewall openings of `port`/`protocol` closed (a forward removed by hand).
    Outcome closeFirewallAt(int port, const QString& protocol);
    // One message box with every problem, under `title`.
    void reportProblems(const QString& title);

    // How the kind's exchanges wait: in the program's passes, given up at the user's Cancel.
    std::unique_ptr<Waiter> makeWaiter(EventPump& pump);

    Module& module_;
    MainView& view_;
    Prompts& prompts_;
    const Clock& clock_;
    WaitClock waitClock_;
    QStringList problems_;
    QStringList notes_;
    LeaseRecord record_;
    Keeper keeper_;
    QString wanAddress_;
    QString wanWarning_;
    QString description_;
    PointOutcome pointOutcome_ = PointOutcome::Sent;

private:
    std::unique_ptr<LocalFirewall> firewall_;
    std::unique_ptr<FirewallHolds> firewallHolds_;
    QString keptRouter_;
    std::unique_ptr<Waiter> outerWaiter_;
    std::unique_ptr<OuterRouter> outer_;
    QString outerWords_; // why a router in front that is there cannot be used
    // After a Point To Me the router refused in part: what was made, and one message for it
    // all, each refused port named once and each reason said once.
    void reportPartlyMade(const QList<PlannedMapping>& planned);

    std::optional<PartlyMade> partly_;
    bool inTick_ = false;
    Outcome outcome_ = Outcome::Failed; // nothing has answered yet
    QString backNews_; // the router's return, for the view once the operation has ended
};
