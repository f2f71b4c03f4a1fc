// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's tray icon: its tool tip, and bringing the window (or its dialog) forward.
#include "ui/frmMain.h"

#include "Module.h"
#include "router/Router.h"

#include <QDBusConnection>
#include <QFileInfo>
#include <QMenu>

void frmMain::showTrayIcon() {
    if (!QSystemTrayIcon::isSystemTrayAvailable())
        return;
    // Without a session bus, asking for one would start dbus-launch (a tenth of a second)
    // to find no StatusNotifierItem host: the tray is the XEmbed one.
    const bool sessionBus =
        qEnvironmentVariableIsSet("DBUS_SESSION_BUS_ADDRESS") ||
        QFileInfo::exists(qEnvironmentVariable("XDG_RUNTIME_DIR") + QStringLiteral("/bus"));
    trayKind = sessionBus ? DetectTrayKind(QDBusConnection::sessionBus()) : TrayKind::XEmbed;
    tray = new QSystemTrayIcon(windowIcon(), this);
    tray->setToolTip(trayToolTip());
    tray->setContextMenu(trayMenu);
    connect(tray, &QSystemTrayIcon::activated, this, &frmMain::trayActivated);
    tray->show();
}

void frmMain::refreshTrayToolTip() {
    if (tray)
        tray->setToolTip(trayToolTip());
}

QString frmMain::trayToolTip() const {
    if (webKind())
        return tr("Harborly DSL/Cable Router Utility");
    QString tip = tr("Harborly: forwards ports of chosen applications to this "
                     "computer");
    if (!routerGone_.isEmpty())
        tip += QLatin1Char('\n') + routerGone_;
    return tip;
}

bool frmMain::staysForForwards() {
    const qsizetype kept = router_ ? router_->forwardsKeptHere() : 0;
    if (kept == 0)
        return false;
    if (tray && tray->isVisible()) {
        hide();
        if (trayMessage.isEmpty()) {
            trayMessage = (kept == 1 ? tr("Harborly keeps 1 forward open from here; it lapses "
                                          "when Harborly quits.")
                                     : tr("Harborly keeps %1 forwards open from here; they lapse "
                                          "when Harborly quits.")
                                           .arg(kept));
            tray->showMessage(QStringLiteral("Harborly"), trayMessage, QSystemTrayIcon::Information,
                              10000);
        }
        return true;
    }
    return ask && !ask(kept == 1 ? tr("Harborly keeps 1 forward open; it lapses when Harborly "
                                      "quits.\nQuit anyway?")
                                 : tr("Harborly keeps %1 forwards open; they lapse when Harborly "
                                      "quits.\nQuit anyway?")
                                       .arg(kept),
                       tr("Quit"), tr("Keep Running"));
}

void frmMain::toggleShown() {
    if (isVisible() && !isMinimized()) {
        hide();
        return;
    }
    showNormal();
    raise();
    activateWindow();
}

void frmMain::trayActivated(QSystemTrayIcon::ActivationReason reason) {
    if (!TrayBringsForward(trayKind, reason))
        return;
    if (!module_.DialogActive) {
        showNormal();
    }
    if (auto* front = qobject_cast<QWidget*>(module_.FrontWindow)) {
        front->raise();
        front->activateWindow();
    }
}
