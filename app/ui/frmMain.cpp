#include "ui/frmMain.h"

#include "Module.h"
#include "config/ActivityLog.h"
#include "config/Configuration.h"
#include "config/ProgramLauncher.h"
#include "platform/EventPump.h"
#include "platform/Prompts.h"
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
#include <QDBusConnection>
#include <QDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QListWidget>
#include <QLockFile>
#include <QMenuBar>
#include <QPushButton>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

namespace {

QLabel* valueLabel(QWidget* parent, const QString& toolTip) {
    auto* label = new QLabel(QStringLiteral("Unknown"), parent);
    label->setToolTip(toolTip);
    label->setFrameShape(QFrame::StyledPanel);
    label->setMinimumWidth(130);
    return label;
}

QPushButton* button(QWidget* parent, const QString& caption, const QString& toolTip) {
    auto* b = new QPushButton(caption, parent);
    b->setToolTip(toolTip);
    return b;
}

} // namespace

bool RefuseSecondCopy(QLockFile& lock, Prompts& prompts) {
    if (lock.tryLock(0))
        return false;
    prompts.MsgBox(QStringLiteral("The Harborly program is already running.\r"
                                  "Double click the Harborly icon in the taskbar to get focus."),
                   MsgIcon::Information, QStringLiteral("Harborly"));
    return true;
}

frmMain::frmMain(Module& module, Prompts& prompts, ProgramLauncher& launcher, const Clock& clock,
                 std::function<void()> terminate, std::chrono::milliseconds passLength)
    : module_(module), prompts_(prompts), launcher_(launcher),
      log_(std::make_unique<ActivityLog>(module.paths, prompts, clock)),
      terminate_(std::move(terminate)), clock_(clock) {
    setWindowTitle(QStringLiteral("Harborly"));
    setWindowIcon(QIcon(QStringLiteral(":/harborly.svg")));

    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);

    auto* frameIndicators = new QGroupBox(QStringLiteral("Indicators"), central);
    auto* grid = new QGridLayout(frameIndicators);
    lblWanIpAddress = valueLabel(frameIndicators, QStringLiteral("Internet side IP"));
    lblLanIpAddress = valueLabel(frameIndicators, QStringLiteral("Intranet side IP"));
    lblStatus = valueLabel(frameIndicators, QStringLiteral("Activity information"));
    SendStatus = valueLabel(frameIndicators, QStringLiteral("Communication indicator"));
    grid->addWidget(new QLabel(QStringLiteral("WAN Public IP Address"), frameIndicators), 0, 0);
    grid->addWidget(lblWanIpAddress, 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("LAN Private IP Address"), frameIndicators), 1, 0);
    grid->addWidget(lblLanIpAddress, 1, 1);
    grid->addWidget(new QLabel(QStringLiteral("Status"), frameIndicators), 0, 2);
    grid->addWidget(lblStatus, 0, 3);
    grid->addWidget(new QLabel(QStringLiteral("Send / Receive"), frameIndicators), 1, 2);
    grid->addWidget(SendStatus, 1, 3);
    layout->addWidget(frameIndicators);

    auto* frameAppls = new QGroupBox(QStringLiteral("Applications"), central);
    auto* appls = new QHBoxLayout(frameAppls);
    lbAppsWidget = new QListWidget(frameAppls);
    lbAppsWidget->setToolTip(QStringLiteral("Select applications to forward"));
    appls->addWidget(lbAppsWidget, 1);
    auto* buttons = new QVBoxLayout;
    btnPoint = button(frameAppls, QStringLiteral("&Point To Me"),
                      QStringLiteral("Forward highlighted application's ports to my computer"));
    btnClearAllPoints = button(frameAppls, QStringLiteral("&Clear All Points"),
                               QStringLiteral("Removes port forwarding to all computers"));
    btnSelectAll = button(frameAppls, QStringLiteral("&Select All"),
                          QStringLiteral("Highlights all application"));
    btnDeselectAll = button(frameAppls, QStringLiteral("&Deselect All"),
                            QStringLiteral("Removes all applicaton highlighting"));
    btnViewPoints = button(frameAppls, QStringLiteral("&View Points"),
                           QStringLiteral("Show router's port forwarding screen"));
    for (QPushButton* b :
         {btnPoint, btnClearAllPoints, btnSelectAll, btnDeselectAll, btnViewPoints})
        buttons->addWidget(b);
    buttons->addStretch();
    appls->addLayout(buttons);
    layout->addWidget(frameAppls, 1);
    setCentralWidget(central);

    sbStatusBar = new QStatusBar(this);
    sbStatusBar->setToolTip(QStringLiteral("Version of router's firmware"));
    // A permanent widget: a temporary message would be cleared by every menu hover.
    sbFirmware = new QLabel(sbStatusBar);
    sbFirmware->setToolTip(sbStatusBar->toolTip());
    sbStatusBar->addPermanentWidget(sbFirmware, 1);
    setStatusBar(sbStatusBar);

    mnuConfig = menuBar()->addMenu(QStringLiteral("&Configuration"));
    connect(mnuConfig->addAction(QStringLiteral("Edit &Applications")), &QAction::triggered, this,
            &frmMain::mnuEditApps_Click);
    connect(mnuConfig->addAction(QStringLiteral("Edit &Router Settings...")), &QAction::triggered,
            this, &frmMain::mnuPassword_Click);
    connect(mnuConfig->addAction(QStringLiteral("&Check Points")), &QAction::triggered, this,
            &frmMain::mnuCheckPoints_Click);
    mnuDMZ = menuBar()->addMenu(QStringLiteral("&DMZ"));
    mnuDMZ->setToolTipsVisible(true);
    mnuDMZPoint = mnuDMZ->addAction(QStringLiteral("&Harborly"));
    connect(mnuDMZPoint, &QAction::triggered, this, &frmMain::mnuDMZPoint_Click);
    mnuDMZClear = mnuDMZ->addAction(QStringLiteral("&Clear Point"));
    connect(mnuDMZClear, &QAction::triggered, this, &frmMain::mnuDMZClear_Click);
    mnuDMZView = mnuDMZ->addAction(QStringLiteral("&View Point"));
    connect(mnuDMZView, &QAction::triggered, this, &frmMain::mnuDMZView_Click);
    mnuAbout = menuBar()->addAction(QStringLiteral("&About"));
    connect(mnuAbout, &QAction::triggered, this, &frmMain::mnuAbout_Click);
    mnuHelp = menuBar()->addAction(QStringLiteral("&Help"));
    connect(mnuHelp, &QAction::triggered, this, &frmMain::mnuHelp_Click);

    connect(btnPoint, &QPushButton::clicked, this, &frmMain::btnPoint_Click);
    connect(btnClearAllPoints, &QPushButton::clicked, this, &frmMain::btnClearAllPoints_Click);
    connect(btnSelectAll, &QPushButton::clicked, this, &frmMain::btnSelectAll_Click);
    connect(btnDeselectAll, &QPushButton::clicked, this, &frmMain::btnDeselectAll_Click);
    connect(btnViewPoints, &QPushButton::clicked, this, &frmMain::btnViewPoints_Click);

    Timer1 = new QTimer(this);
    Timer1->setInterval(500);
    connect(Timer1, &QTimer::timeout, this, &frmMain::Timer1_Timer);

    list_ = std::make_unique<WidgetAppList>(*lbAppsWidget);
    pump_ = std::make_unique<EventPump>(passLength);
    makeRouter();
    module_.FrontWindow = this;
    keepIndicatorsReadable();
    resize(560, 400);
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
        trayKind = DetectTrayKind(QDBusConnection::sessionBus());
        tray = new QSystemTrayIcon(windowIcon(), this);
        tray->setToolTip(QStringLiteral("Harborly DSL/Cable Router Utility"));
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
    RestoreSelection(*list_, ReadSelected(module_.paths));

    // Kinds that speak to the router without a password ask for one only to guard the
    // program itself: the login appears when one is stored.
    // On a first start the user names the router before anything is sent to an address the
    // shipped catalog only guesses.
    const bool needsPassword = router_->capabilities().needsPassword;
    if ((needsPassword && module_.settings.Password.isEmpty()) || firstStart) {
        frmSettings settings(module_, prompts_, *log_,
                             [this](const QString& lan) { setLanAddressCaption(lan); });
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
    Timer1->start();
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

void frmMain::setStatusCaption(const QString& caption) {
    lblStatus->setText(caption);
}

void frmMain::setSendStatusCaption(const QString& caption) {
    SendStatus->setText(caption);
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
    setEnabled(bEnable);
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
    router_->Timer1_Timer();
}

void frmMain::btnPoint_Click() {
    router_->PointToMe();
}

void frmMain::btnClearAllPoints_Click() {
    router_->ClearAll();
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
        frmForwards forwards(*rows, router_->routerDescription(), this);
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
    runWithMainHidden(
        [this] {
            const QStringList editor = TextEditorCommand();
            launcher_.Run(editor.front(), editor.mid(1) << module_.paths.IniPath);
        },
        false);
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
