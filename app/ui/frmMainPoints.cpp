// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's commands on the router's forwards and DMZ: Point To Me, Clear All Points,
// View Points, and the selection they act on.
#include "ui/frmMain.h"

#include "Module.h"
#include "platform/Prompts.h"
#include "router/MappingPlan.h"
#include "router/Router.h"
#include "ui/WidgetAppList.h"
#include "ui/frmForwards.h"

#include <QPushButton>

void frmMain::btnPoint_Click() {
    if (webKind()) {
        router_->PointToMe();
        return;
    }
    const QList<PlannedMapping> planned = PlanMappings(module_.catalog, *list_).mappings;
    progressTotal_ = -1;
    router_->PointToMe();
    if (router_->lastPointOutcome() != Router::PointOutcome::Sent)
        return;
    // Refused in part: what was made is said, logged and checked all the same.
    if (const auto partly = router_->lastPartlyMade()) {
        tellOutcome(partly->sentence, partly->sentence + QStringLiteral(": ") + partly->refused);
        checkAfterPoint(partly->made);
        return;
    }
    // The router's own outcome: news it brings with it (the router back, pinholes moved) may
    // stand in the status already.
    if (router_->lastOutcome() != Outcome::Completed)
        return;
    tellPointMade(progressTotal_ >= 0 ? progressTotal_ : planned.size());
    checkAfterPoint(planned);
    if (const QString warning = router_->wanWarning(); !warning.isEmpty())
        prompts_.MsgBox(tr("The forwards were made, but they cannot reach this "
                           "computer from the Internet:\r") +
                            warning,
                        MsgIcon::Exclamation, QStringLiteral("Harborly"));
}

void frmMain::tellPointMade(qsizetype made) {
    const qsizetype pinholes = router_->lastPinholes();
    if (router_->ipv6Only())
        tellOutcome(made == 1 ? tr("1 IPv6 port opened") : tr("%1 IPv6 ports opened").arg(made));
    else if (pinholes == 0)
        tellOutcome(made == 1 ? tr("1 forward made") : tr("%1 forwards made").arg(made));
    else
        tellOutcome(tr("%1 and %2 made").arg(forwardsText(made), pinholesText(pinholes)));
}

QString frmMain::forwardsText(qsizetype n) {
    return n == 1 ? tr("1 forward") : tr("%1 forwards").arg(n);
}

QString frmMain::pinholesText(qsizetype n) {
    return n == 1 ? tr("1 IPv6 pinhole") : tr("%1 IPv6 pinholes").arg(n);
}

void frmMain::btnClearAllPoints_Click() {
    if (webKind()) {
        router_->ClearAll();
        return;
    }
    progressTotal_ = -1;
    if (!router_->ClearAll())
        return;
    btnCheckResults->hide(); // about forwards that are gone
    // The progress counts every hold: the pinholes are said apart.
    if (const qsizetype pinholes = router_->lastPinholes(); pinholes > 0 && progressTotal_ > 0)
        return tellOutcome(
            progressTotal_ == pinholes
                ? tr("%1 removed").arg(pinholesText(pinholes))
                : tr("%1 and %2 removed")
                      .arg(forwardsText(progressTotal_ - pinholes), pinholesText(pinholes)));
    tellOutcome(progressTotal_ < 0    ? tr("All forwards removed")
                : progressTotal_ == 0 ? tr("No forward to remove")
                : progressTotal_ == 1 ? tr("The 1 forward removed")
                                      : tr("All %1 forwards removed").arg(progressTotal_));
}

void frmMain::btnViewPoints_Click() {
    if (router_->capabilities().pageScreens) {
        if (showRouterScreen)
            showRouterScreen(false);
    } else if (const auto rows = router_->ReadForwards()) {
        frmForwards forwards(*rows, router_->routerDescription(), this, speaksDatagrams());
        forwards.removeForward = [this](const ForwardEntry& e) {
            return router_->RemoveForward(e);
        };
        runDialog(forwards);
    }
}

void frmMain::selectAll(bool selected) {
    for (int row = 0; row < list_->ListCount(); ++row)
        list_->setSelected(row, selected);
}

void frmMain::mnuDMZPoint_Click() {
    if (router_->capabilities().dmz)
        router_->SetDmz(false);
}

void frmMain::mnuDMZClear_Click() {
    if (router_->capabilities().dmz)
        router_->SetDmz(true);
}

void frmMain::mnuDMZView_Click() {
    if (router_->capabilities().pageScreens && router_->capabilities().dmz && showRouterScreen)
        showRouterScreen(true);
}
