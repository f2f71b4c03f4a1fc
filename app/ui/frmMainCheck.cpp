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
#include "ui/WidgetAppList.h"
#include "ui/frmCheck.h"

#include <QLabel>

QList<PortCheck> frmMain::checkLocked(const std::function<QList<PortCheck>()>& check) {
    setTimer1Enabled(false);
    EnableInterface(false, false);
    const QList<PortCheck> checks = check();
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
        shown << QStringLiteral("… and %1 more in the activity log")
                     .arg(problems.size() - ShownLines);
    lblStatus->setToolTip(shown.isEmpty()
                              ? QStringLiteral("Every port just forwarded is taken by a program on "
                                               "this computer")
                              : shown.join(QLatin1Char('\n')));
}

// The selected applications, or those last pointed when none is selected.
void frmMain::mnuCheckPoints_Click() {
    if (list_->SelCount() == 0)
        RestoreSelection(*list_, ReadSelected(module_.paths));
    const MappingPlan plan = PlanMappings(module_.catalog, *list_, 4096);
    if (plan.mappings.isEmpty()) {
        prompts_.MsgBox(
            plan.refusal.isEmpty()
                ? QStringLiteral("Choose the applications to check, or point some first")
                : plan.refusal,
            MsgIcon::Information, QStringLiteral("Harborly"));
        return;
    }
    const QList<PortCheck> checks = checkLocked([&] {
        return CheckPoints(*router_, plan.mappings, CheckOptionsFor(module_.paths.IniPath));
    });
    frmCheck dialog(checks, router_->routerDescription(), this);
    runDialog(dialog);
}
