#include "router/ProtocolRouter.h"

#include "Module.h"
#include "config/Configuration.h"
#include "platform/Clock.h"
#include "platform/Prompts.h"
#include "platform/Waiter.h"
#include "router/AppList.h"
#include "router/ListOps.h"
#include "router/MainView.h"
#include "router/RouterDeps.h"
#include "router/leases/LeaseRecord.h"
#include "router/net/ExternalAddress.h"

#include <QRandomGenerator>
#include <QScopedValueRollback>
#include <QtGlobal>

#include <algorithm>
#include <utility>

namespace {
const QString kTitle = QStringLiteral("Harborly");

qint64 CheckPeriod() {
    constexpr qint64 usual = 300;
    bool ok = false;
    const qint64 asked = qEnvironmentVariableIntValue("HARBORLY_CHECK_SECONDS", &ok);
    return ok && asked > 0 && asked < usual ? asked : usual;
}
} // namespace

const qint64 ProtocolRouter::CheckSeconds = CheckPeriod();

const QString ProtocolRouter::kCompleted = QStringLiteral("Completed");
const QString ProtocolRouter::kError = QStringLiteral("Error");
const QString ProtocolRouter::kFailed = QStringLiteral("Failed");
const QString ProtocolRouter::kCancelled = QStringLiteral("Cancelled");

ProtocolRouter::ProtocolRouter(const RouterDeps& deps)
    : random([] { return QRandomGenerator::global()->generateDouble(); }), module_(deps.module),
      view_(deps.view), prompts_(deps.prompts), clock_(deps.clock) {}

ProtocolRouter::~ProtocolRouter() = default;

bool ProtocolRouter::holdRenewerRole(const QString& recordPath, const QString& router) {
    if (!role_)
        role_ = std::make_unique<RenewerRole>(recordPath, router);
    return role_->hold();
}

void ProtocolRouter::routerSilent(const QDateTime& now, qsizetype waiting) {
    backoffSeconds_ = backoffSeconds_ == 0 ? 5 : std::min<qint64>(60, backoffSeconds_ * 2);
    nextCheck_ = now.addSecs(backoffSeconds_);
    if (silent_)
        return;
    silent_ = true;
    const QString sentence =
        QStringLiteral("The router stopped answering; %1 forward(s) wait for it").arg(waiting);
    view_.routerAnswering(false, sentence);
    tell(sentence);
}

void ProtocolRouter::routerBack(qsizetype remade) {
    backoffSeconds_ = 0;
    if (!silent_)
        return;
    silent_ = false;
    const QString sentence = QStringLiteral("Router back; %1 forwards made again").arg(remade);
    // Told once the operation that found it back has put its own word in the status.
    backNews_ = backNews_.isEmpty() ? sentence : sentence + QStringLiteral("; ") + backNews_;
    tell(sentence);
}

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

void ProtocolRouter::beginStatusQuery() {
    module_.RouterFound = false;
    problems_.clear();
    view_.setStatusCaption(QStringLiteral("Find Router"));
    view_.setSendStatusCaption(QStringLiteral("Searching"));
    view_.EnableInterface(false, false);
}

void ProtocolRouter::showFound(const QString& wan, const QString& warning,
                               const QString& description, const QString& ipv6) {
    wanAddress_ = wan.isEmpty() ? QStringLiteral("none") : wan;
    wanWarning_ = warning;
    description_ = description;
    view_.setWanAddressCaption(WanAreaText(wanAddress_, ipv6));
    view_.setStatusBarText(description_);
    module_.RouterFound = true;
}

void ProtocolRouter::endStatusQuery() {
    view_.setSendStatusCaption(QStringLiteral("Closed"));
    view_.setStatusCaption(module_.RouterFound ? kCompleted : kFailed);
    view_.EnableInterface(true, false);
}

bool ProtocolRouter::runOperation(const QString& activity, const std::function<QString()>& body) {
    view_.setTimer1Enabled(false);
    view_.setStatusCaption(activity);
    view_.setSendStatusCaption(QStringLiteral("Connected"));
    view_.EnableInterface(false, false);
    problems_.clear();
    notes_.clear();
    QString word = connected() ? body() : kFailed;
    if (word != kCompleted && view_.cancelRequested()) {
        // Stopped by the user, mid-exchange too: what was left undone is recorded as such.
        word = kCancelled;
        problems_.clear();
    }
    view_.setSendStatusCaption(QStringLiteral("Closed"));
    view_.setStatusCaption(word);
    if (!backNews_.isEmpty())
        view_.routerAnswering(true, std::exchange(backNews_, QString()));
    view_.EnableInterface(true, false);
    view_.setTimer1Enabled(true);
    return word == kCompleted;
}

void ProtocolRouter::PointToMe() {
    AppList& list = view_.lbApps();
    problems_.clear();
    if (list.SelCount() == 0) {
        pointOutcome_ = PointOutcome::NothingSelected;
        prompts_.MsgBox(QStringLiteral("No programs are selected"), MsgIcon::Information, kTitle);
        return;
    }
    WriteSelected(module_.paths, SelectedRows(list).display);
    ForwardPorts(PlanMappings(module_.catalog, list));
}

void ProtocolRouter::ForwardPorts(const MappingPlan& plan) {
    problems_.clear();
    if (!plan.refusal.isEmpty()) {
        pointOutcome_ = PointOutcome::Refused;
        problems_ = {plan.refusal};
        prompts_.MsgBox(plan.refusal, MsgIcon::Information, kTitle);
        return;
    }
    pointOutcome_ = PointOutcome::Sent;
    const bool held =
        runOperation(QStringLiteral("Add Points"), [&] { return forward(plan.mappings); });
    // One problem per forward refused: none holds.
    reportProblems(!held && problems_.size() >= plan.mappings.size()
                       ? QStringLiteral("No port was forwarded")
                       : QStringLiteral("Some ports were not forwarded"));
    if (problems_.isEmpty() && !notes_.isEmpty())
        prompts_.MsgBox(notes_.join(QLatin1Char('\r')), MsgIcon::Information, kTitle);
}

void ProtocolRouter::tell(const QString& line) {
    if (reportRenewal)
        reportRenewal(line);
}

void ProtocolRouter::announce(const QString& line) {
    tell(line);
    backNews_ = backNews_.isEmpty() ? line : backNews_ + QStringLiteral("; ") + line;
}

bool ProtocolRouter::PinholeMoved(const LeaseEntry& e, const QHostAddress& self) {
    return !self.isNull() && e.state != LeaseEntry::State::Clearing &&
           !QHostAddress(e.address).isEqual(self);
}

QString
ProtocolRouter::clearMarkedPinholes(LeaseRecord& record, const QList<LeaseEntry>& marked,
                                    const std::function<PinholeClosing(const LeaseEntry&)>& close) {
    bool refused = false;
    for (qsizetype i = 0; i < marked.size(); ++i) {
        const LeaseEntry& e = marked[i];
        if (view_.cancelRequested()) {
            record.keepUncleared(marked.mid(i));
            return kCancelled;
        }
        const bool lapsed = e.leaseEnd.isValid() && e.leaseEnd <= clock_.now();
        const ForwardChangeLock change(record.path());
        switch (lapsed ? PinholeClosing::Closed : close(e)) {
        case PinholeClosing::Closed:
            record.dropCleared(e);
            break;
        case PinholeClosing::LeftToLapse:
            break;
        case PinholeClosing::Refused:
            record.keepUncleared({e});
            refused = true;
            break;
        case PinholeClosing::NoWay:
            refused = true;
            break;
        case PinholeClosing::Silent:
            return kFailed;
        }
    }
    return refused ? kError : kCompleted;
}

QString ProtocolRouter::pinholesOnly(const QString& noWay, const std::function<QString()>& open) {
    if (!noWay.isEmpty()) {
        problems_ << noWay;
        return kError;
    }
    const QString six = open();
    if (six == kCompleted)
        notes_ << QStringLiteral("This computer has no IPv4 address toward the router; only IPv6 "
                                 "ports were opened.");
    return six;
}

QString ProtocolRouter::PinholeRetryKey(const LeaseEntry& e) {
    return QStringLiteral("pinhole6") + e.protocol + QString::number(e.internalPort);
}

ProtocolRouter::DueNow ProtocolRouter::DuePinholes(const QList<LeaseEntry>& mine,
                                                   const QHostAddress& self,
                                                   const QHash<QString, QDateTime>& retryAt,
                                                   const QDateTime& now, bool check) {
    DueNow due;
    for (const LeaseEntry& e : mine) {
        const QDateTime retry = retryAt.value(PinholeRetryKey(e));
        const bool waiting = retry.isValid() && retry > now;
        if (PinholeMoved(e, self)) {
            if (!waiting)
                due.moving << e;
        } else if ((e.halfLeaseGone(now) && !waiting) || check) {
            due.renew << e;
        }
    }
    return due;
}

QString ProtocolRouter::Ipv6MovedText(const QString& address) {
    return QStringLiteral("This computer's IPv6 address changed to %1; IPv6 ports opened again "
                          "for it.")
        .arg(address);
}

QString ProtocolRouter::forwardText(const QString& protocol, int port, const QString& application) {
    return QStringLiteral("%1 port %2 (%3)").arg(protocol).arg(port).arg(application);
}

void ProtocolRouter::reportProblems(const QString& title) {
    if (problems_.isEmpty())
        return;
    prompts_.MsgBox(title + QStringLiteral(":\r") + problems_.join(QLatin1Char('\r')),
                    MsgIcon::Exclamation, kTitle);
}

std::optional<QList<LeaseEntry>> ProtocolRouter::recordedOn(const LeaseRecord& record,
                                                            const QString& router) {
    const LeaseRecord::Read r = record.read();
    if (!r.ok) {
        if (recordProblem_ != r.problem)
            tell(r.problem);
        recordProblem_ = r.problem;
        return std::nullopt;
    }
    recordProblem_.clear();
    QList<LeaseEntry> out;
    for (const LeaseEntry& e : r.entries)
        if (e.kind == kindName() && e.router == router)
            out << e;
    return out;
}

std::unique_ptr<Waiter> ProtocolRouter::makeWaiter(EventPump& pump) {
    auto waiter = std::make_unique<PumpWaiter>(pump);
    waiter->abandonWhen([this] { return view_.cancelRequested(); });
    return waiter;
}
