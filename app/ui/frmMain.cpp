// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's life: start-up, the router it speaks to, the timer, and the way out. The
// other aspects are in frmMain*.cpp beside it.
#include "ui/frmMain.h"

#include "Module.h"
#include "config/ActivityLog.h"
#include "config/Configuration.h"
#include "platform/EventPump.h"
#include "platform/Prompts.h"
#include "router/AutoRouter.h"
#include "router/ListOps.h"
#include "router/Router.h"
#include "router/RouterDeps.h"
#include "router/RouterKinds.h"
#include "ui/WidgetAppList.h"
#include "ui/frmLogin.h"
#include "ui/frmSettings.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDialog>
#include <QLockFile>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QTimer>

bool RefuseSecondCopy(QLockFile& lock, Prompts& prompts, bool webKind) {
    if (lock.tryLock(0))
        return false;
    prompts.MsgBox(webKind ? frmMain::tr("The Harborly program is already running.\r"
                                         "Double click the Harborly icon in the taskbar to get "
                                         "focus.")
                           : frmMain::tr("Harborly is already running.\r"
                                         "Click its icon in the system tray to bring its window "
                                         "forward."),
                   MsgIcon::Information, QStringLiteral("Harborly"));
    return true;
}

void frmMain::changeEvent(QEvent* event) {
    if (event->type() == QEvent::PaletteChange)
        keepIndicatorsReadable();
    if (event->type() == QEvent::EnabledChange && isEnabled() && closePending_) {
        // Queued, so that the operation that unlocked the window finishes first; should it
        // lock the window again (a forward's write after its read), the close waits again.
        QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
    }
    QMainWindow::changeEvent(event);
}

frmMain::~frmMain() = default;

void frmMain::makeRouter() {
    router_ = MakeRouter({module_, *this, prompts_, *pump_, clock_});
    // Opening ufw asks for the user's password in the desktop's own dialog.
    router_->mayElevate = true;
    const RouterCapabilities caps = router_->capabilities();
    for (QAction* a : {mnuDMZPoint, mnuDMZClear, mnuDMZView}) {
        a->setEnabled(caps.dmz);
        a->setToolTip(caps.dmz ? QString() : caps.noDmzReason);
    }
    btnViewPoints->setToolTip(caps.pageScreens ? tr("Show router's port forwarding screen")
                                               : tr("Show the router's list of port forwards"));
}

void frmMain::lookAgain() {
    makeRouter();
    module_.StatusQueryPending = true;
    module_.RouterFound = false;
}

bool frmMain::webKind() const {
    return !router_ || router_->kindName() == QLatin1String("web");
}

bool frmMain::speaksDatagrams() const {
    QString kind = router_ ? router_->kindName() : QString();
    if (const auto* automatic = dynamic_cast<const AutoRouter*>(router_.get()))
        kind = automatic->foundKind();
    return kind == QLatin1String("pcp") || kind == QLatin1String("natpmp");
}

bool frmMain::Form_Load(const QString& programFolder) {
    showTrayIcon();
    module_.StatusQueryPending = true;
    module_.LoginAccepted = false;
    module_.settings.RequireLogin = true;
    module_.RouterFound = false;
    module_.settings.LanPrivateIP = QStringLiteral("192.168.1.1");

    LoadConfiguration(module_, programFolder);
    if (RouterKindOf(module_.settings.RouterKind).isEmpty()) {
        prompts_.MsgBox(tr("Harborly.ini names a router kind that Harborly does not know: "
                           "\"%1\"\rUse Edit Router Settings to choose one.")
                            .arg(module_.settings.RouterKind),
                        MsgIcon::Exclamation, QStringLiteral("Harborly"));
        module_.settings.RouterKind = QStringLiteral("web");
    }
    makeRouter();
    refreshTrayToolTip();
    if (const QString leftOut = module_.catalog.leftOutText(); !leftOut.isEmpty())
        log_->WriteLog(leftOut);
    setLanAddressCaption(module_.settings.LanPrivateIP);
    FillApplicationList(*list_, module_.catalog);
    showApplicationPorts();
    RestoreSelection(*list_, ReadSelected(module_.paths));

    if (!settingsAndLogin()) {
        ExitProgram();
        return false;
    }
    refreshTrayToolTip();
    // The web kind's first look waits its half second; the protocols ask at once, so the
    // address is there about when the window is.
    Timer1->start(webKind() ? 500 : 0);
    return true;
}

bool frmMain::settingsAndLogin() {
    // Kinds that speak to the router without a password ask for one only to guard the
    // program itself: the login appears when one is stored.
    // On a first start the user names the router before anything is sent to an address the
    // shipped catalog only guesses.
    const bool needsPassword = router_->capabilities().needsPassword;
    if ((needsPassword && module_.settings.Password.isEmpty()) || firstStart) {
        runSettings(firstStart);
        if (RouterKindOf(module_.settings.RouterKind) != router_->kindName())
            makeRouter();
    }
    if (router_->capabilities().needsPassword && !module_.settings.PasswordStored)
        return false;
    if (module_.settings.RequireLogin &&
        (router_->capabilities().needsPassword || module_.settings.PasswordStored)) {
        frmLogin login(module_, prompts_);
        runDialog(login);
        return module_.LoginAccepted;
    }
    return true;
}

int frmMain::runSettings(bool focusKind) {
    frmSettings settings(module_, prompts_, *log_,
                         [this](const QString& lan) { setLanAddressCaption(lan); });
    if (focusKind)
        settings.cboRouterKind->setFocus();
    return runDialog(settings);
}

int frmMain::runDialog(QDialog& dialog, bool restore) {
    module_.DialogActive = true;
    module_.FrontWindow = &dialog;
    const int result = dialog.exec();
    module_.DialogActive = false;
    module_.FrontWindow = this;
    if (restore && isVisible()) {
        showNormal();
        raise();
        activateWindow();
    }
    return result;
}

void frmMain::ExitProgram() {
    if (firstLook_ && !module_.RouterFound) {
        firstLook_ = false;
        if (offerSettings())
            return;
    }
    router_->Close();
    module_.codec.reset();
    if (tray) {
        tray->hide();
        delete tray;
        tray = nullptr;
    }
    terminate_();
}

void frmMain::closeEvent(QCloseEvent* event) {
    if (busy_) {
        event->ignore();
        if (closePending_)
            return;
        if (ask && ask(tr("Harborly is waiting for the router.\n"
                          "Cancel the operation and close Harborly?"),
                       tr("Cancel and Close"), tr("Keep Waiting"))) {
            cancel_ = true;
            closePending_ = true;
            // The operation may have ended while the question was open.
            if (!busy_)
                QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
        }
        return;
    }
    // A locked window takes no input, its close box included: ending now would cut an
    // exchange or a file write in half.
    if (!isEnabled()) {
        closePending_ = true;
        event->ignore();
        return;
    }
    if (!quitting_ && !closePending_ && staysForForwards()) {
        event->ignore();
        return;
    }
    event->accept();
    ExitProgram();
}

void frmMain::mnuQuit_Click() {
    const QScopedValueRollback<bool> quitting(quitting_, true);
    close();
}

void frmMain::Timer1_Timer() {
    // The protocols' first tick comes at once; the later ones at the kind's own pace.
    if (Timer1->interval() == 0)
        Timer1->setInterval(1000);
    // A tick that falls due while the router waits is the router's to drop.
    if (inTick_)
        return router_->Timer1_Timer();
    const QScopedValueRollback<bool> busy(inTick_, true);
    firstLook_ = module_.StatusQueryPending;
    router_->Timer1_Timer();
    if (firstLook_) {
        firstLook_ = false;
        showComputerAddress();
    }
    markWanWarning();
}

bool frmMain::offerSettings() {
    if (!ask)
        return false;
    QString reason = router_->lastProblems().join(QLatin1Char('\n'));
    const QString where = module_.settings.LanPrivateIP.isEmpty() ? tr("the default gateway")
                                                                  : module_.settings.LanPrivateIP;
    if (reason.isEmpty())
        reason = module_.LocalIpAddress.isEmpty()
                     ? tr("Nothing answered at %1.").arg(where)
                     : tr("The router at %1 answered but did not show its status: "
                          "it refused the password, or it is not a router of this "
                          "kind.")
                           .arg(where);
    QString kind = RouterKindOf(module_.settings.RouterKind);
    for (const RouterKindInfo& k : KnownRouterKinds())
        if (k.id == kind)
            kind = k.label;
    if (!ask(tr("Harborly found no router at %1 (router kind: %2).\n%3\n\n"
                "Change the router's kind, address or password?")
                 .arg(where, kind, reason),
             tr("Edit Router Settings..."), tr("Quit")))
        return false;
    // Queued: the router that failed is still on the call stack.
    QMetaObject::invokeMethod(this, &frmMain::retryWithNewSettings, Qt::QueuedConnection);
    return true;
}

void frmMain::offerToClearPrevious() {
    // The router of the old settings goes with them: what it holds would be left on the router
    // and in the record with nothing here to reach it.
    const qsizetype held = router_->forwardsHeld();
    if (held == 0 || !ask)
        return;
    const QString question =
        held == 1 ? tr("Harborly holds 1 forward made with the router settings used until now; "
                       "with the new settings the window no longer reaches it.\n"
                       "Remove it from the router now, or leave it to lapse?")
                  : tr("Harborly holds %1 forwards made with the router settings used until now; "
                       "with the new settings the window no longer reaches them.\n"
                       "Remove them from the router now, or leave them to lapse?")
                        .arg(held);
    if (ask(question, tr("Remove Now"), tr("Leave Them"))) {
        btnClearAllPoints_Click();
        return;
    }
    log_->WriteLog(tr("%1 forward(s) of the earlier router settings left to lapse; setting them "
                      "back keeps them again.")
                       .arg(held));
}

void frmMain::retryWithNewSettings() {
    if (runSettings() != QDialog::Accepted) {
        ExitProgram();
        return;
    }
    // Saved: look for the router at once with what was saved.
    lookAgain();
    EnableInterface(true, false);
    setStatusCaption(tr("Unknown"));
    refreshTrayToolTip();
    Timer1->start(webKind() ? 500 : 0);
}

void frmMain::mnuPassword_Click() {
    setTimer1Enabled(false);
    const QString before = module_.settings.LanPrivateIP;
    runSettings();
    // Another kind of router, or another address for a kind that finds its router once: look
    // for it as at start-up. The web kind reads the address at every request.
    if (RouterKindOf(module_.settings.RouterKind) != router_->kindName() ||
        (router_->kindName() != QLatin1String("web") && module_.settings.LanPrivateIP != before)) {
        offerToClearPrevious();
        lookAgain();
        setTimer1Interval(500);
    }
    setTimer1Enabled(true);
}
