// SPDX-License-Identifier: GPL-3.0-or-later
// Whether the forwards can work: right after Point To Me, and on Check Points.
#include "ui/frmMain.h"

#include "Module.h"
#include "config/ActivityLog.h"
#include "config/Configuration.h"
#include "platform/Prompts.h"
#include "router/ListOps.h"
#include "router/MappingPlan.h"
#include "router/Router.h"
#include "router/check/PortCheck.h"
#include "router/firewall/FirewallConsent.h"
#include "ui/ActivityLogWindow.h"
#include "ui/WidgetAppList.h"
#include "ui/frmCheck.h"

#include <QLabel>
#include <QPushButton>
#include <QStyle>

#include <algorithm>

QList<PortCheck> frmMain::checkLocked(const std::function<QList<PortCheck>()>& check) {
    setTimer1Enabled(false);
    EnableInterface(false, false);
    // A forward made again inside the check ends an operation of its own: the window stays
    // locked until the whole check has ended.
    checking_ = true;
    const QList<PortCheck> checks = check();
    checking_ = false;
    EnableInterface(true, false);
    setTimer1Enabled(true);
    return checks;
}

// Whether each forward just made can work: every port's result to the activity log, those
// that need something done to the status field's tool tip.
void frmMain::checkAfterPoint(const QList<PlannedMapping>& planned) {
    QList<PortCheck> checks = checkLocked(
        [&] { return CheckAfterPoint(*router_, planned, CheckOptionsFor(module_.paths.IniPath)); });
    // Asked once, with the window free again; the router opens what the user agrees to.
    OfferFirewallOpening(*router_, checks, module_.paths.IniPath, &prompts_);
    for (const QString& line : CheckLines(checks))
        log_->WriteLog(line);
    const QStringList problems = ProblemLines(checks);
    // A tool tip taller than the screen is not shown at all: the first few, and the log for more.
    constexpr qsizetype ShownLines = 5;
    QStringList shown = problems.mid(0, ShownLines);
    if (problems.size() > ShownLines)
        shown << tr("… and %1 more in the activity log").arg(problems.size() - ShownLines);
    lblStatus->setToolTip(shown.isEmpty() ? tr("Every port just forwarded is taken by a program on "
                                               "this computer")
                                          : shown.join(QLatin1Char('\n')));
    keepCheckResults(checks);
}

void frmMain::keepCheckResults(const QList<PortCheck>& checks) {
    lastChecks_ = checks;
    const auto total = checks.size();
    const auto toFix =
        std::count_if(checks.begin(), checks.end(), [](const PortCheck& c) { return !c.good(); });
    QString text;
    if (toFix == 0)
        text = total == 1
                   ? tr("The port checked is forwarded and taken here — Show")
                   : tr("All %1 ports checked are forwarded and taken here — Show").arg(total);
    else if (total == 1)
        text = tr("The port checked needs something — Show");
    else if (toFix == 1)
        text = tr("1 of %1 ports needs something — Show").arg(total);
    else
        text = tr("%1 of %2 ports need something — Show").arg(toFix).arg(total);
    btnCheckResults->setText(text);
    btnCheckResults->setIcon(style()->standardIcon(toFix == 0 ? QStyle::SP_DialogApplyButton
                                                              : QStyle::SP_MessageBoxWarning));
    btnCheckResults->setAccessibleDescription(text);
    btnCheckResults->setVisible(!checks.isEmpty());
}

void frmMain::btnCheckResults_Click() {
    if (lastChecks_.isEmpty())
        return;
    frmCheck dialog(lastChecks_, router_->routerDescription(), this);
    runDialog(dialog);
}

void frmMain::mnuActivityLog_Click() {
    ActivityLogWindow window(module_.paths.LogPath, this);
    runDialog(window);
}

// The selected applications, or those last pointed when none is selected.
void frmMain::mnuCheckPoints_Click() {
    if (list_->SelCount() == 0)
        RestoreSelection(*list_, ReadSelected(module_.paths));
    const MappingPlan plan = PlanMappings(module_.catalog, *list_, 4096);
    if (plan.mappings.isEmpty()) {
        prompts_.MsgBox(plan.refusal.isEmpty()
                            ? tr("Choose the applications to check, or point some first")
                            : plan.refusal,
                        MsgIcon::Information, QStringLiteral("Harborly"));
        return;
    }
    const QList<PortCheck> checks = checkLocked([&] {
        return CheckPoints(*router_, plan.mappings, CheckOptionsFor(module_.paths.IniPath));
    });
    keepCheckResults(checks);
    frmCheck dialog(checks, router_->routerDescription(), this);
    runDialog(dialog);
}
