#include "router/ProtocolRouter.h"

#include "Module.h"
#include "config/Configuration.h"
#include "platform/Prompts.h"
#include "router/AppList.h"
#include "router/ListOps.h"
#include "router/MainView.h"
#include "router/RouterDeps.h"

#include <QScopedValueRollback>

namespace {
const QString kTitle = QStringLiteral("Harborly");
} // namespace

const QString ProtocolRouter::kCompleted = QStringLiteral("Completed");
const QString ProtocolRouter::kError = QStringLiteral("Error");
const QString ProtocolRouter::kFailed = QStringLiteral("Failed");
const QString ProtocolRouter::kCancelled = QStringLiteral("Cancelled");

ProtocolRouter::ProtocolRouter(const RouterDeps& deps)
    : module_(deps.module), view_(deps.view), prompts_(deps.prompts), clock_(deps.clock) {}

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
                               const QString& description) {
    wanAddress_ = wan.isEmpty() ? QStringLiteral("none") : wan;
    wanWarning_ = warning;
    description_ = description;
    view_.setWanAddressCaption(wanAddress_);
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
    const QString word = connected() ? body() : kFailed;
    view_.setSendStatusCaption(QStringLiteral("Closed"));
    view_.setStatusCaption(word);
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
}

void ProtocolRouter::tellRenewal(qsizetype count, bool ok, const QString& router) {
    if (reportRenewal)
        reportRenewal(ok ? QStringLiteral("renewed %1 forward(s) on %2").arg(count).arg(router)
                         : problems_.join(QStringLiteral("; ")));
}

void ProtocolRouter::reportProblems(const QString& title) {
    if (problems_.isEmpty())
        return;
    prompts_.MsgBox(title + QStringLiteral(":\r") + problems_.join(QLatin1Char('\r')),
                    MsgIcon::Exclamation, kTitle);
}
