#include "ui/frmMain.h"

#include "Module.h"
#include "config/ActivityLog.h"
#include "config/Configuration.h"
#include "config/ProgramLauncher.h"
#include "platform/Clock.h"
#include "platform/EventPump.h"
#include "platform/Prompts.h"
#include "router/AutoRouter.h"
#include "router/ListOps.h"
#include "router/MappingPlan.h"
#include "router/Router.h"
#include "router/RouterDeps.h"
#include "router/RouterKinds.h"
#include "router/check/PointCheck.h"
#include "ui/HelpWindow.h"
#include "ui/WidgetAppList.h"
#include "ui/frmAbout.h"
#include "ui/frmCheck.h"
#include "ui/frmForwards.h"
#include "ui/frmLogin.h"
#include "ui/frmSettings.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDBusConnection>
#include <QDialog>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QLockFile>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QStandardPaths>
#include <QTimer>
#include <QUrl>

bool RefuseSecondCopy(QLockFile& lock, Prompts& prompts) {
    if (lock.tryLock(0))
        return false;
    prompts.MsgBox(QStringLiteral("The Harborly program is already running.\r"
                                  "Double click the Harborly icon in the taskbar to get focus."),
                   MsgIcon::Information, QStringLiteral("Harborly"));
    return true;
}

void frmMain::keepIndicatorsReadable() {
    // The locked window is disabled as a whole, and the indicators that show the operation's
    // progress would be drawn in the disabled colours: they get the enabled ones instead.
    for (QLabel* indicator : {lblStatus, SendStatus}) {
        QPalette readable = indicator->parentWidget()->palette();
        for (int role = 0; role < QPalette::NColorRoles; ++role) {
            const auto r = static_cast<QPalette::ColorRole>(role);
            readable.setBrush(QPalette::Disabled, r, readable.brush(QPalette::Active, r));
        }
        indicator->setPalette(readable);
    }
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
    const RouterCapabilities caps = router_->capabilities();
    for (QAction* a : {mnuDMZPoint, mnuDMZClear, mnuDMZView}) {
        a->setEnabled(caps.dmz);
        a->setToolTip(caps.dmz ? QString() : caps.noDmzReason);
    }
    btnViewPoints->setToolTip(caps.pageScreens
                                  ? QStringLiteral("Show router's port forwarding screen")
                                  : QStringLiteral("Show the router's list of port forwards"));
}

bool frmMain::Form_Load(const QString& programFolder) {
    if (QSystemTrayIcon::isSystemTrayAvailable()) {
        // Without a session bus, asking for one would start dbus-launch (a tenth of a second)
        // to find no StatusNotifierItem host: the tray is the XEmbed one.
        const bool sessionBus =
            qEnvironmentVariableIsSet("DBUS_SESSION_BUS_ADDRESS") ||
            QFileInfo::exists(qEnvironmentVariable("XDG_RUNTIME_DIR") + QStringLiteral("/bus"));
        trayKind = sessionBus ? DetectTrayKind(QDBusConnection::sessionBus()) : TrayKind::XEmbed;
        tray = new QSystemTrayIcon(windowIcon(), this);
        tray->setToolTip(QStringLiteral("Harborly DSL/Cable Router Utility"));
        tray->setContextMenu(trayMenu);
        connect(tray, &QSystemTrayIcon::activated, this, &frmMain::trayActivated);
        tray->show();
    }
    module_.StatusQueryPending = true;
    module_.LoginAccepted = false;
    module_.settings.RequireLogin = true;
    module_.RouterFound = false;
    module_.settings.LanPrivateIP = QStringLiteral("192.168.1.1");

    LoadConfiguration(module_, programFolder);
    if (RouterKindOf(module_.settings.RouterKind).isEmpty()) {
        prompts_.MsgBox(QStringLiteral("Harborly.ini names a router kind that Harborly does not "
                                       "know: \"") +
                            module_.settings.RouterKind +
                            QStringLiteral("\"\rUse Edit Router Settings to choose one."),
                        MsgIcon::Exclamation, QStringLiteral("Harborly"));
        module_.settings.RouterKind = QStringLiteral("web");
    }
    makeRouter();
    setLanAddressCaption(module_.settings.LanPrivateIP);
    FillApplicationList(*list_, module_.catalog);
    showApplicationPorts();
    RestoreSelection(*list_, ReadSelected(module_.paths));

    // Kinds that speak to the router without a password ask for one only to guard the
    // program itself: the login appears when one is stored.
    // On a first start the user names the router before anything is sent to an address the
    // shipped catalog only guesses.
    const bool needsPassword = router_->capabilities().needsPassword;
    if ((needsPassword && module_.settings.Password.isEmpty()) || firstStart) {
        frmSettings settings(module_, prompts_, *log_,
                             [this](const QString& lan) { setLanAddressCaption(lan); });
        if (firstStart)
            settings.cboRouterKind->setFocus();
        runDialog(settings);
        if (RouterKindOf(module_.settings.RouterKind) != router_->kindName())
            makeRouter();
    }
    if (router_->capabilities().needsPassword && !module_.settings.PasswordStored) {
        ExitProgram();
        return false;
    }
    if (module_.settings.RequireLogin &&
        (router_->capabilities().needsPassword || module_.settings.PasswordStored)) {
        frmLogin login(module_, prompts_);
        runDialog(login);
        if (!module_.LoginAccepted) {
            ExitProgram();
            return false;
        }
    }
    if (tray)
        tray->setToolTip(trayToolTip());
    // The web kind's first look waits its half second; the protocols ask at once, so the
    // address is there about when the window is.
    Timer1->start(webKind() ? 500 : 0);
    return true;
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

void frmMain::setWindowEnabled(bool enabled) {
    setEnabled(enabled);
    // Asked only when no router was found and the program is about to end (or to offer its
    // settings): the wait is over, nothing is left to cancel.
    if (enabled)
        btnCancel->hide();
}

void frmMain::setStatusCaption(const QString& caption) {
    // A look that failed while the router is gone says so, not a bare "Failed".
    lblStatus->setText(!routerGone_.isEmpty() && caption == QLatin1String("Failed")
                           ? QStringLiteral("Router not answering")
                           : caption);
}

void frmMain::setSendStatusCaption(const QString& caption) {
    // PCP and NAT-PMP hold no connection: they send and wait; so does a router that is gone.
    const bool waiting = (caption == QLatin1String("Connected") && speaksDatagrams()) ||
                         (caption == QLatin1String("Closed") && !routerGone_.isEmpty());
    SendStatus->setText(waiting ? QStringLiteral("Waiting for the router") : caption);
}

bool frmMain::speaksDatagrams() const {
    QString kind = router_ ? router_->kindName() : QString();
    if (const auto* automatic = dynamic_cast<const AutoRouter*>(router_.get()))
        kind = automatic->foundKind();
    return kind == QLatin1String("pcp") || kind == QLatin1String("natpmp");
}

void frmMain::setWanAddressCaption(const QString& caption) {
    lblWanIpAddress->setText(caption);
}

void frmMain::setLanAddressCaption(const QString& caption) {
    lblLanIpAddress->setText(caption);
}

void frmMain::setStatusBarText(const QString& text) {
    sbFirmware->setText(text);
}

void frmMain::EnableInterface(bool bEnable, bool) {
    for (QWidget* w : std::initializer_list<QWidget*>{btnPoint, btnViewPoints, btnClearAllPoints,
                                                      btnSelectAll, btnDeselectAll})
        w->setEnabled(bEnable);
    mnuDMZ->setEnabled(bEnable);
    mnuConfig->setEnabled(bEnable);
    mnuHelp->setEnabled(bEnable);
    mnuAbout->setEnabled(bEnable);
    lbAppsWidget->setEnabled(bEnable);
    if (webKind()) {
        setEnabled(bEnable);
        return;
    }
    // The protocol kinds leave the window enabled, so that Cancel and the close box answer
    // while they wait.
    if (!bEnable && !busy_) {
        cancel_ = false;
        progressTotal_ = -1;
    }
    busy_ = !bEnable;
    btnCancel->setVisible(busy_);
    btnCancel->setEnabled(true);
    setEnabled(true);
    if (!busy_ && closePending_)
        QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
}

bool frmMain::webKind() const {
    return !router_ || router_->kindName() == QLatin1String("web");
}

void frmMain::showProgress(int done, int total) {
    progressTotal_ = total;
    lblStatus->setText(QStringLiteral("Forward %1 of %2").arg(done).arg(total));
}

void frmMain::tellOutcome(const QString& sentence) {
    lblStatus->setText(sentence);
    log_->WriteLog(sentence);
    QTimer::singleShot(5000, this, [this, sentence] {
        if (lblStatus->text() == sentence && !busy_)
            lblStatus->setText(QStringLiteral("Completed"));
    });
}

void frmMain::routerAnswering(bool answering, const QString& sentence) {
    if (answering) {
        routerGone_.clear();
        lblStatus->setToolTip(QStringLiteral("Activity information"));
        if (SendStatus->text() == QLatin1String("Waiting for the router"))
            SendStatus->setText(QStringLiteral("Closed"));
        tellOutcome(sentence.isEmpty() ? QStringLiteral("Router back") : sentence);
    } else {
        routerGone_ = sentence.isEmpty()
                          ? QStringLiteral("The router stopped answering at %1")
                                .arg(QLocale::system().toString(clock_.now().toLocalTime().time(),
                                                                QLocale::ShortFormat))
                          : sentence;
        lblStatus->setText(QStringLiteral("Router not answering"));
        lblStatus->setToolTip(routerGone_);
        SendStatus->setText(QStringLiteral("Waiting for the router"));
        log_->WriteLog(routerGone_);
    }
    if (tray)
        tray->setToolTip(trayToolTip());
}

QString frmMain::trayToolTip() const {
    if (webKind())
        return QStringLiteral("Harborly DSL/Cable Router Utility");
    QString tip = QStringLiteral("Harborly: forwards ports of chosen applications to this "
                                 "computer");
    if (!routerGone_.isEmpty())
        tip += QLatin1Char('\n') + routerGone_;
    return tip;
}

void frmMain::showComputerAddress() {
    if (webKind() || !module_.RouterFound)
        return;
    const QString router = module_.settings.LanPrivateIP.isEmpty()
                               ? QStringLiteral("the default gateway")
                               : module_.settings.LanPrivateIP;
    if (!module_.LocalIpAddress.isEmpty()) {
        setLanAddressCaption(module_.LocalIpAddress);
        lblLanIpAddress->setToolTip(
            QStringLiteral("This computer's address toward the router at %1").arg(router));
    }
    sbFirmware->setToolTip(QStringLiteral("The router at %1").arg(router));
}

void frmMain::showApplicationPorts() {
    // The list's texts are the applications' names, which the operations match; the ports go
    // in the tool tips.
    static const char* const protocols[] = {"TCP+UDP", "TCP", "UDP"};
    for (int row = 0; row < list_->ListCount(); ++row) {
        const int i = list_->ItemData(row);
        if (i < 1 || i > module_.catalog.ApplCount())
            continue;
        QStringList ports;
        for (const ApplPortRange& r : module_.catalog.entry(i).Ranges) {
            const QString range = r.PortRangeLow == r.PortRangeHigh
                                      ? r.PortRangeLow
                                      : r.PortRangeLow + QLatin1Char('-') + r.PortRangeHigh;
            ports << range + QLatin1Char(' ') +
                         QLatin1String(
                             protocols[r.Protocol >= 0 && r.Protocol <= 2 ? r.Protocol : 0]);
        }
        if (QListWidgetItem* item = lbAppsWidget->item(row))
            item->setToolTip(ports.isEmpty()
                                 ? QStringLiteral("No ports")
                                 : QStringLiteral("Ports: ") + ports.join(QStringLiteral(", ")));
    }
}

void frmMain::markWanWarning() {
    const QString warning = module_.RouterFound ? router_->wanWarning() : QString();
    lblWanWarning->setVisible(!warning.isEmpty());
    lblWanWarning->setText(
        QStringLiteral("Forwards on this router cannot reach this computer from the Internet"));
    lblWanWarning->setToolTip(warning);
    lblWanIpAddress->setStyleSheet(warning.isEmpty() ? QString()
                                                     : QStringLiteral("color: #b00000"));
    lblWanIpAddress->setToolTip(warning.isEmpty() ? QStringLiteral("Internet side IP") : warning);
}

void frmMain::setTimer1Enabled(bool enabled) {
    if (enabled)
        Timer1->start();
    else
        Timer1->stop();
}

void frmMain::setTimer1Interval(int milliseconds) {
    Timer1->setInterval(milliseconds);
}

AppList& frmMain::lbApps() {
    return *list_;
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
        if (ask && ask(QStringLiteral("Harborly is waiting for the router.\n"
                                      "Cancel the operation and close Harborly?"),
                       QStringLiteral("Cancel and Close"), QStringLiteral("Keep Waiting"))) {
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
    event->accept();
    ExitProgram();
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
    const QString where = module_.settings.LanPrivateIP.isEmpty()
                              ? QStringLiteral("the default gateway")
                              : module_.settings.LanPrivateIP;
    if (reason.isEmpty())
        reason = module_.LocalIpAddress.isEmpty()
                     ? QStringLiteral("Nothing answered at %1.").arg(where)
                     : QStringLiteral("The router at %1 answered but did not show its status: "
                                      "it refused the password, or it is not a router of this "
                                      "kind.")
                           .arg(where);
    if (!ask(QStringLiteral("Harborly found no router (kind: %1, address: %2).\n%3\n\n"
                            "Change the router's kind, address or password?")
                 .arg(RouterKindOf(module_.settings.RouterKind), where, reason),
             QStringLiteral("Edit Router Settings..."), QStringLiteral("Quit")))
        return false;
    // Queued: the router that failed is still on the call stack.
    QMetaObject::invokeMethod(this, &frmMain::retryWithNewSettings, Qt::QueuedConnection);
    return true;
}

void frmMain::retryWithNewSettings() {
    frmSettings settings(module_, prompts_, *log_,
                         [this](const QString& lan) { setLanAddressCaption(lan); });
    if (runDialog(settings) != QDialog::Accepted) {
        ExitProgram();
        return;
    }
    // Saved: look for the router at once with what was saved.
    makeRouter();
    module_.StatusQueryPending = true;
    module_.RouterFound = false;
    EnableInterface(true, false);
    setStatusCaption(QStringLiteral("Unknown"));
    if (tray)
        tray->setToolTip(trayToolTip());
    Timer1->start(webKind() ? 500 : 0);
}

void frmMain::btnPoint_Click() {
    if (webKind()) {
        router_->PointToMe();
        return;
    }
    const QList<PlannedMapping> planned = PlanMappings(module_.catalog, *list_).mappings;
    progressTotal_ = -1;
    router_->PointToMe();
    if (router_->lastPointOutcome() != Router::PointOutcome::Sent ||
        lblStatus->text() != QLatin1String("Completed"))
        return;
    const qsizetype made = progressTotal_ >= 0 ? progressTotal_ : planned.size();
    if (router_->ipv6Only())
        tellOutcome(made == 1 ? QStringLiteral("1 IPv6 port opened")
                              : QStringLiteral("%1 IPv6 ports opened").arg(made));
    else
        tellOutcome(made == 1 ? QStringLiteral("1 forward made")
                              : QStringLiteral("%1 forwards made").arg(made));
    checkAfterPoint(planned);
    if (const QString warning = router_->wanWarning(); !warning.isEmpty())
        prompts_.MsgBox(QStringLiteral("The forwards were made, but they cannot reach this "
                                       "computer from the Internet:\r") +
                            warning,
                        MsgIcon::Exclamation, QStringLiteral("Harborly"));
}

// Whether each forward just made can work: every port's result to the activity log, those
// that need something done to the status field's tool tip.
void frmMain::checkAfterPoint(const QList<PlannedMapping>& planned) {
    setTimer1Enabled(false);
    EnableInterface(false, false);
    const QList<PortCheck> checks =
        CheckAfterPoint(*router_, planned, CheckOptionsFor(module_.paths.IniPath));
    EnableInterface(true, false);
    setTimer1Enabled(true);
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

void frmMain::btnClearAllPoints_Click() {
    if (webKind()) {
        router_->ClearAll();
        return;
    }
    progressTotal_ = -1;
    if (!router_->ClearAll())
        return;
    tellOutcome(progressTotal_ < 0    ? QStringLiteral("All forwards removed")
                : progressTotal_ == 0 ? QStringLiteral("No forward to remove")
                : progressTotal_ == 1
                    ? QStringLiteral("The 1 forward removed")
                    : QStringLiteral("All %1 forwards removed").arg(progressTotal_));
}

void frmMain::mnuQuit_Click() {
    close();
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

void frmMain::mnuDMZPoint_Click() {
    if (router_->capabilities().dmz)
        router_->SetDmz(false);
}

void frmMain::mnuDMZClear_Click() {
    if (router_->capabilities().dmz)
        router_->SetDmz(true);
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
    setTimer1Enabled(false);
    EnableInterface(false, false);
    const QList<PortCheck> checks =
        CheckPoints(*router_, plan.mappings, CheckOptionsFor(module_.paths.IniPath));
    EnableInterface(true, false);
    setTimer1Enabled(true);
    frmCheck dialog(checks, router_->routerDescription(), this);
    runDialog(dialog);
}

void frmMain::mnuDMZView_Click() {
    if (router_->capabilities().pageScreens && router_->capabilities().dmz && showRouterScreen)
        showRouterScreen(true);
}

void frmMain::selectAll(bool selected) {
    for (int row = 0; row < list_->ListCount(); ++row)
        list_->setSelected(row, selected);
}

void frmMain::mnuPassword_Click() {
    setTimer1Enabled(false);
    frmSettings settings(module_, prompts_, *log_,
                         [this](const QString& lan) { setLanAddressCaption(lan); });
    const QString before = module_.settings.LanPrivateIP;
    runDialog(settings);
    // Another kind of router, or another address for a kind that finds its router once: look
    // for it as at start-up. The web kind reads the address at every request.
    if (RouterKindOf(module_.settings.RouterKind) != router_->kindName() ||
        (router_->kindName() != QLatin1String("web") && module_.settings.LanPrivateIP != before)) {
        makeRouter();
        module_.StatusQueryPending = true;
        module_.RouterFound = false;
        setTimer1Interval(500);
    }
    setTimer1Enabled(true);
}

void frmMain::runWithMainHidden(const std::function<void()>& run, bool clearBeforeShow) {
    module_.DialogActive = true;
    module_.FrontWindow = this;
    hide();
    run();
    if (clearBeforeShow)
        module_.DialogActive = false;
    show();
    module_.DialogActive = false;
}

void frmMain::mnuEditApps_Click() {
    bool editorStarted = true;
    runWithMainHidden(
        [this, &editorStarted] {
            const QStringList editor = TextEditorCommand();
            editorStarted = launcher_.Run(editor.front(), editor.mid(1) << module_.paths.IniPath);
        },
        false);
    if (!editorStarted)
        prompts_.MsgBox(
            QStringLiteral("No text editor was found to open %1.\rHarborly looked for: "
                           "%2.\rInstall one of them, or open the file in an editor "
                           "of your own; changes count at the next start.")
                .arg(module_.paths.IniPath, TextEditorsLookedFor().join(QStringLiteral(", "))),
            MsgIcon::Exclamation, QStringLiteral("Harborly"));
}

void frmMain::mnuHelp_Click() {
    runWithMainHidden(
        [this] {
            if (!QStandardPaths::findExecutable(QStringLiteral("winhlp32")).isEmpty()) {
                launcher_.RunAndWait(QStringLiteral("winhlp32 ") + module_.paths.HlpPath);
                return;
            }
            HelpWindow help(module_.paths.HlpPath);
            module_.FrontWindow = &help;
            help.exec();
            module_.FrontWindow = this;
        },
        true);
}

void frmMain::mnuAbout_Click() {
    frmAbout about(prompts_, QUrl::fromLocalFile(module_.paths.HlpPath), this);
    about.setWindowIcon(windowIcon());
    runDialog(about, false);
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
