// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/CliCheck.h"

#include "Module.h"
#include "cli/CliOptions.h"
#include "cli/CliSession.h"
#include "config/Configuration.h"
#include "router/AppList.h"
#include "router/ListOps.h"
#include "router/MappingPlan.h"
#include "router/check/PortCheck.h"
#include "router/check/WayIn.h"
#include "router/firewall/FirewallConsent.h"

#include <QCoreApplication>
#include <QTextStream>

#include <algorithm>

int RunCheck(Router& router, Module& module, AppList& list, const QStringList& names,
             CliEnvironment& env) {
    for (int row = 0; row < list.ListCount(); ++row)
        list.setSelected(row, false);
    if (names.isEmpty())
        RestoreSelection(list, ReadSelected(module.paths));
    if (!SelectByName(list, names, env))
        return CliExit::Refused;
    if (list.SelCount() == 0) {
        env.err << QCoreApplication::translate(
                       "Cli", "Nothing to check: name the applications, or point some first.")
                << Qt::endl;
        return CliExit::Refused;
    }
    const MappingPlan plan = PlanMappings(module.catalog, list, 4096);
    if (!plan.refusal.isEmpty()) {
        env.err << plan.refusal << Qt::endl;
        return CliExit::Refused;
    }
    const QList<PortCheck> checks =
        CheckPoints(router, plan.mappings, CheckOptionsFor(module.paths.IniPath));
    // Each port's line as `point` prints it, then its way in, hop by hop, indented.
    const QStringList lines = CheckLines(checks);
    for (qsizetype i = 0; i < checks.size(); ++i) {
        env.out << lines[i] << Qt::endl;
        for (const QString& hop : WayInLines(WayInOf(checks[i])))
            env.out << "    " << hop << Qt::endl;
    }
    const bool good =
        std::all_of(checks.begin(), checks.end(), [](const PortCheck& c) { return c.good(); });
    return good ? CliExit::Completed : CliExit::Error;
}

void PrintPortCheck(Router& router, Module& module, AppList& list, CliEnvironment& env) {
    const MappingPlan plan = PlanMappings(module.catalog, list, 4096);
    QList<PortCheck> checks =
        CheckAfterPoint(router, plan.mappings, CheckOptionsFor(module.paths.IniPath));
    // Nobody is asked here: only `[Misc] LocalFirewall=open` opens it.
    OfferFirewallOpening(router, checks, module.paths.IniPath, nullptr);
    for (const QString& line : CheckLines(checks))
        env.out << line << Qt::endl;
}
