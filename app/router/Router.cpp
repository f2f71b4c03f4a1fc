// SPDX-License-Identifier: GPL-3.0-or-later
#include "router/Router.h"

#include "platform/Prompts.h"
#include "router/MainView.h"

#include <QCoreApplication>

#include <algorithm>
#include <utility>

#include <QCoreApplication>

QString TimeLeftText(qint64 seconds) {
    if (seconds == 0)
        return QStringLiteral("permanent");
    if (seconds < 0)
        return QStringLiteral("unknown");
    const qint64 d = seconds / 86400;
    const qint64 h = seconds / 3600 % 24;
    const qint64 m = seconds / 60 % 60;
    if (d > 0)
        return QStringLiteral("%1d %2h").arg(d).arg(h);
    if (h > 0)
        return QStringLiteral("%1h %2m").arg(h).arg(m, 2, 10, QLatin1Char('0'));
    return QStringLiteral("%1m %2s").arg(m).arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

void SortForwards(QList<ForwardEntry>& rows) {
    std::stable_sort(rows.begin(), rows.end(), [](const ForwardEntry& a, const ForwardEntry& b) {
        return std::pair(a.externalPort, a.protocol) < std::pair(b.externalPort, b.protocol);
    });
}

QString PortsText(const ForwardEntry& e) {
    return e.externalPortEnd > e.externalPort
               ? QStringLiteral("%1-%2").arg(e.externalPort).arg(e.externalPortEnd)
               : QString::number(e.externalPort);
}

void EndForNoRouter(MainView& view, Prompts& prompts, bool webKind) {
    view.setTimer1Enabled(false);
    view.EnableInterface(false, false);
    view.setWindowEnabled(true);
    prompts.MsgBox(
        webKind
            ? QCoreApplication::translate("Router", "Communication failure with the router\r"
                                                    "Program has been aborted")
            : QCoreApplication::translate("Router", "No router answered\r"
                                                    "Harborly cannot forward ports without one"),
        MsgIcon::Critical, QStringLiteral("Harborly"));
    view.ExitProgram();
}
