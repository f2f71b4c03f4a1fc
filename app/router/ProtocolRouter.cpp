// SPDX-License-Identifier: GPL-3.0-or-later
#include "router/ProtocolRouter.h"

#include "Module.h"
#include "config/Configuration.h"
#include "platform/Clock.h"
#include "platform/Prompts.h"
#include "platform/RouterSocket.h"
#include "platform/Waiter.h"
#include "router/AppList.h"
#include "router/ListOps.h"
#include "router/MainView.h"
#include "router/RouterDeps.h"
#include "router/firewall/FirewallHolds.h"
#include "router/firewall/LocalFirewall.h"
#include "router/leases/LeaseRecord.h"
#include "router/net/ExternalAddress.h"
#include "router/net/PathProbe.h"
#include "router/outer/OuterRouter.h"

#include <QCoreApplication>
#include <QRandomGenerator>
#include <QScopedValueRollback>
#include <QtGlobal>

#include <algorithm>
#include <utility>

namespace {
const QString kTitle = QStringLiteral("Harborly");
} // namespace

ProtocolRouter::ProtocolRouter(const RouterDeps& deps)
    : random([] { return QRandomGenerator::global()->generateDouble(); }), module_(deps.module),
      view_(deps.view), prompts_(deps.prompts), clock_(deps.clock),
      waitClock_(deps.waitClock ? deps.waitClock : SteadyWaitClock()),
      record_(LeasePathFor(deps.module.paths.IniPath)),
      keeper_(record_, clock_, problems_, notes_,
              {[this](const QString& line) { tell(line); },
               [this](const QString& line) { announce(line); },
               [this](const QString& line) {
                   view_.routerAnswering(false, line);
                   tell(line);
               },
               [this](const QString& line) {
                   // Told once the operation that found it back has put its own word in the
                   // status.
                   backNews_ = backNews_.isEmpty() ? line : line + QStringLiteral("; ") + backNews_;
                   tell(line);
               },
               [this] { return view_.cancelRequested(); },
               [this](int step, int of) { view_.showProgress(step, of); }}),
      firewallHolds_(std::make_unique<FirewallHolds>([this] { return localFirewall(); },
                                                     [this] { return keptRouter_; })) {
    pathProbe = [] { return ProbePath(); };
    outerWaiter_ = makeWaiter(deps.pump);
}

ProtocolRouter::~ProtocolRouter() = default;

void ProtocolRouter::Timer1_Timer() {
    // Ticks that fall due while an exchange waits are dropped.
    if (inTick_)
        return;
    const QScopedValueRollback<bool> busy(inTick_, true);
    if (module_.StatusQueryPending) {
        queryStatus();
        module_.StatusQueryPending = false;
        view_.setTimer1Interval(1000);
        if (!module_.RouterFound)
            return EndForNoRouter(view_, prompts_);
        if (!wanWarning_.isEmpty())
            prompts_.MsgBox(wanWarning_, MsgIcon::Exclamation, kTitle);
        return;
    }
    KeepAlive();
}

bool ProtocolRouter::KeepAlive() {
    if (!connected())
        return true;
    if (!keeper_.due())
        return keeper_.cannotKeep().isEmpty();
    return runOperation(QStringLiteral(QT_TRANSLATE_NOOP("Status", "Renew Points")),
                        [&] { return keeper_.keep(); });
}

bool ProtocolRouter::ClearAll() {
    keeper_.forgetRefusals();
    const bool ok = runOperation(QStringLiteral(QT_TRANSLATE_NOOP("Status", "Clear All Points")),
                                 [&] { return keeper_.clear(); });
    reportProblems(QCoreApplication::translate("Router", "Some forwards were not removed"));
    if (problems_.isEmpty() && !notes_.isEmpty())
        prompts_.MsgBox(notes_.join(QLatin1Char('\r')), MsgIcon::Information, kTitle);
    return ok;
}

bool ProtocolRouter::RemakeForward(const PlannedMapping& mapping) {
    HoldKind* forwards = forwardHolds();
    if (!forwards)
        return false;
    return runOperation(QStringLiteral("Make Point Again"), [&] {
        return keeper_.remakeAt(*forwards, mapping.port, mapping.protocol);
    });
}

LocalFirewall* ProtocolRouter::localFirewall() {
    // Looked for once the router is found: its zone is that of the interface toward it.
    if (!firewall_ && module_.RouterFound) {
        FirewallPlaces places;
        places.interface = InterfaceWith(module_.LocalIpAddress);
        places.mayElevate = mayElevate;
        firewall_ = FindLocalFirewall(places);
    }
    return firewall_.get();
}

void ProtocolRouter::keepOn(const QString& router, QList<HoldKind*> kinds) {
    keptRouter_ = router;
    kinds << firewallHolds_.get();
    keeper_.setRouter(router, std::move(kinds));
}

bool ProtocolRouter::OpenLocalFirewall(const QList<PlannedMapping>& ports) {
    LocalFirewall* fw = localFirewall();
    const QString place = fw ? fw->place() : QString();
    const bool ok = runOperation(QStringLiteral("Open Firewall"), [&] {
        if (place.isEmpty()) {
            problems_ << QCoreApplication::translate(
                "ProtocolRouter", "Harborly cannot open this computer's firewall.");
            return Outcome::Error;
        }
        QList<LeaseEntry> wanted;
        for (const PlannedMapping& m : ports) {
            LeaseEntry e;
            e.router = keptRouter_;
            e.kind = FirewallHolds::Kind;
            e.protocol = m.protocol;
            e.externalPort = e.internalPort = m.port;
            e.application = m.application;
            e.address = place;
            wanted << e;
        }
        const LeaseRecord::Batch batch(record_);
        return keeper_.point(*firewallHolds_, wanted, false);
    });
    reportProblems(
        QCoreApplication::translate("ProtocolRouter", "This computer's firewall was not opened"));
    return ok;
}

Outcome ProtocolRouter::closeFirewallAt(int port, const QString& protocol) {
    return keeper_.removeAt(*firewallHolds_, port, protocol);
}

void ProtocolRouter::beginStatusQuery() {
    module_.RouterFound = false;
    problems_.clear();
    view_.setStatusCaption(QStringLiteral(QT_TRANSLATE_NOOP("Status", "Find Router")));
    view_.setSendStatusCaption(QStringLiteral(QT_TRANSLATE_NOOP("Status", "Searching")));
    view_.EnableInterface(false, false);
}

void ProtocolRouter::showFound(const QString& wan, const QString& warning,
                               const QString& description, const QString& ipv6) {
    wanAddress_ = wan.isEmpty() ? QStringLiteral("none") : wan;
    wanWarning_ = warning;
    description_ = description;
    QString area;
    if (outer_ && !outer_->publicAddress().isEmpty()) {
        // The address the Internet sees is the router in front's.
        wanAddress_ = outer_->publicAddress();
        wanWarning_ = ExternalAddressWarning(wanAddress_, ipv6);
        area = QCoreApplication::translate("OuterRouter", " (through two routers)");
    }
    if (outer_)
        description_ = QCoreApplication::translate("OuterRouter", "%1, behind %2")
                           .arg(description, outer_->description());
    if (!outerWords_.isEmpty())
        wanWarning_ =
            wanWarning_.isEmpty() ? outerWords_ : wanWarning_ + QLatin1Char(' ') + outerWords_;
    view_.setWanAddressCaption(WanAreaText(wanAddress_, ipv6) + area);
    view_.setStatusBarText(description_);
    module_.RouterFound = true;
}

void ProtocolRouter::endStatusQuery() {
    view_.showSendState(SocketState::Closed);
    showOutcome(module_.RouterFound ? Outcome::Completed : Outcome::Failed);
    view_.EnableInterface(true, false);
}

void ProtocolRouter::showOutcome(Outcome outcome) {
    outcome_ = outcome;
    view_.showOutcome(outcome);
}

bool ProtocolRouter::runOperation(const QString& activity, const std::function<Outcome()>& body) {
    view_.setTimer1Enabled(false);
    view_.setStatusCaption(activity);
    view_.showSendState(SocketState::Connected);
    view_.EnableInterface(false, false);
    problems_.clear();
    notes_.clear();
    Outcome outcome = connected() ? body() : Outcome::Failed;
    if (outcome != Outcome::Completed && view_.cancelRequested()) {
        // Stopped by the user, mid-exchange too: what was left undone is recorded as such.
        outcome = Outcome::Cancelled;
        problems_.clear();
    }
    // Where forwards are kept alive, a router that did not answer the user is asked again soon,
    // and its return said, rather than "Failed" standing until the next check.
    if (outcome == Outcome::Failed && connected() && adoptOnStatus)
        keeper_.noAnswer();
    view_.showSendState(SocketState::Closed);
    showOutcome(outcome);
    if (!backNews_.isEmpty())
        view_.routerAnswering(true, std::exchange(backNews_, QString()));
    view_.EnableInterface(true, false);
    view_.setTimer1Enabled(true);
    return outcome == Outcome::Completed;
}

void ProtocolRouter::PointToMe() {
    AppList& list = view_.lbApps();
    problems_.clear();
    if (list.SelCount() == 0) {
        pointOutcome_ = PointOutcome::NothingSelected;
        prompts_.MsgBox(
            QCoreApplication::translate("ProtocolRouter", "No applications are selected."),
            MsgIcon::Information, kTitle);
        return;
    }
    WriteSelected(module_.paths, SelectedRows(list).display);
    ForwardPorts(PlanMappings(module_.catalog, list));
}

void ProtocolRouter::ForwardPorts(const MappingPlan& plan) {
    problems_.clear();
    partly_.reset();
    keeper_.forgetRefusals();
    if (!plan.refusal.isEmpty()) {
        pointOutcome_ = PointOutcome::Refused;
        problems_ = {plan.refusal};
        prompts_.MsgBox(plan.refusal, MsgIcon::Information, kTitle);
        return;
    }
    pointOutcome_ = PointOutcome::Sent;
    const bool held = runOperation(QStringLiteral(QT_TRANSLATE_NOOP("Status", "Add Points")),
                                   [&] { return forward(plan.mappings); });
    if (!held && lastOutcome() == Outcome::Error && !keeper_.refusals().isEmpty())
        reportPartlyMade(plan.mappings);
    if (partly_)
        return;
    // One problem per forward refused: none holds.
    reportProblems(!held && problems_.size() >= plan.mappings.size()
                       ? QCoreApplication::translate("Router", "No port was forwarded")
                       : QCoreApplication::translate("Router", "Some ports were not forwarded"));
    if (problems_.isEmpty() && !notes_.isEmpty())
        prompts_.MsgBox(notes_.join(QLatin1Char('\r')), MsgIcon::Information, kTitle);
}

void ProtocolRouter::reportPartlyMade(const QList<PlannedMapping>& planned) {
    // The forwards are the protocol's own kind; over IPv6 alone the pinholes stand in for them.
    const auto isForward = [this](const LeaseEntry& e) {
        return (e.kind == kindName()) != ipv6Only();
    };
    QList<PlannedMapping> made = planned;
    QStringList ports;
    QStringList reasons; // each once, in the order first met
    QHash<QString, QStringList> portsOf;
    QStringList others; // the problems that are not a forward's refusal
    for (const Keeper::Refusal& r : keeper_.refusals()) {
        const QString port = QStringLiteral("%1/%2 (%3)")
                                 .arg(r.hold.internalPort)
                                 .arg(r.hold.protocol, r.hold.application);
        if (!isForward(r.hold)) {
            others << r.problem;
            continue;
        }
        made.removeIf([&](const PlannedMapping& m) {
            return m.port == r.hold.internalPort && m.protocol == r.hold.protocol;
        });
        ports << port;
        if (!reasons.contains(r.reason))
            reasons << r.reason;
        portsOf[r.reason] << port;
    }
    if (made.isEmpty() || ports.isEmpty())
        return; // nothing made, or only pinholes refused: the usual message says it
    for (const QString& p : std::as_const(problems_))
        if (std::none_of(keeper_.refusals().begin(), keeper_.refusals().end(),
                         [&](const Keeper::Refusal& r) { return r.problem == p; }))
            others << p;
    const QString sentence =
        (ipv6Only()
             ? QCoreApplication::translate("ProtocolRouter",
                                           "%1 of %2 IPv6 ports opened; %3 refused")
             : QCoreApplication::translate("ProtocolRouter", "%1 of %2 forwards made; %3 refused"))
            .arg(made.size())
            .arg(planned.size())
            .arg(ports.size());
    partly_ = PartlyMade{made, sentence, ports.join(QStringLiteral(", "))};
    QStringList lines{sentence + QStringLiteral(": ") + partly_->refused + QLatin1Char('.'),
                      QString()};
    for (const QString& reason : std::as_const(reasons))
        lines << (reasons.size() == 1
                      ? reason
                      : portsOf[reason].join(QStringLiteral(", ")) + QStringLiteral(": ") + reason);
    if (!others.isEmpty() || !notes_.isEmpty())
        lines << QString() << others << notes_;
    prompts_.MsgBox(lines.join(QLatin1Char('\r')), MsgIcon::Exclamation, kTitle);
}

void ProtocolRouter::tell(const QString& line) {
    if (reportRenewal)
        reportRenewal(line);
}

void ProtocolRouter::announce(const QString& line) {
    tell(line);
    backNews_ = backNews_.isEmpty() ? line : backNews_ + QStringLiteral("; ") + line;
}

Outcome ProtocolRouter::pinholesOnly(const QString& noWay, const std::function<Outcome()>& open) {
    if (!noWay.isEmpty()) {
        problems_ << noWay;
        return Outcome::Error;
    }
    const Outcome six = open();
    if (six == Outcome::Completed)
        notes_ << QCoreApplication::translate(
            "Router", "This computer has no IPv4 address toward the router; only IPv6 "
                      "ports were opened.");
    return six;
}

QList<ForwardEntry> ProtocolRouter::PinholeRows(const QList<LeaseEntry>& lines,
                                                const QDateTime& now) {
    QList<ForwardEntry> rows;
    for (const LeaseEntry& e : lines) {
        if (e.state == LeaseEntry::State::Clearing || (e.leaseEnd.isValid() && e.leaseEnd <= now))
            continue;
        ForwardEntry f;
        f.externalPort = f.externalPortEnd = f.internalPort = e.internalPort;
        f.protocol = e.protocol;
        f.internalClient = e.address;
        f.description = QStringLiteral("IPv6 pinhole: ") + e.application;
        f.secondsLeft = e.leaseEnd.isValid() ? now.secsTo(e.leaseEnd) : -1;
        f.thisComputer = true;
        f.pinhole = true;
        rows << f;
    }
    return rows;
}

QString ProtocolRouter::Ipv6MovedText(const QString& address) {
    return QCoreApplication::translate(
               "Router", "This computer's IPv6 address changed to %1; IPv6 ports opened again "
                         "for it.")
        .arg(address);
}

QString ProtocolRouter::forwardText(const QString& protocol, int port, const QString& application) {
    return QCoreApplication::translate("Router", "%1 port %2 (%3)")
        .arg(protocol)
        .arg(port)
        .arg(application);
}

void ProtocolRouter::reportProblems(const QString& title) {
    if (problems_.isEmpty())
        return;
    prompts_.MsgBox(title + QStringLiteral(":\r") + problems_.join(QLatin1Char('\r')),
                    MsgIcon::Exclamation, kTitle);
}

std::unique_ptr<Waiter> ProtocolRouter::makeWaiter(EventPump& pump) {
    auto waiter = std::make_unique<PumpWaiter>(pump, waitClock_);
    waiter->abandonWhen([this] { return view_.cancelRequested(); });
    return waiter;
}
