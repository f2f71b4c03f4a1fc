// The main window's widgets, menus and their connections; what they do is in frmMain*.cpp.
#include "ui/frmMain.h"

#include "Module.h"
#include "config/ActivityLog.h"
#include "platform/EventPump.h"
#include "router/Router.h"
#include "ui/WidgetAppList.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
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

frmMain::frmMain(Module& module, Prompts& prompts, ProgramLauncher& launcher, const Clock& clock,
                 std::function<void()> terminate, std::chrono::milliseconds passLength)
    : module_(module), prompts_(prompts), launcher_(launcher),
      log_(std::make_unique<ActivityLog>(module.paths, prompts, clock)),
      terminate_(std::move(terminate)), clock_(clock) {
    setWindowTitle(QStringLiteral("Harborly"));
    setWindowIcon(QIcon(QStringLiteral(":/harborly.svg")));

    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->addWidget(buildIndicators(central));
    layout->addWidget(buildApplications(central), 1);
    setCentralWidget(central);
    buildStatusBar();
    buildMenus();
    buildTrayMenu();

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

QWidget* frmMain::buildIndicators(QWidget* parent) {
    auto* frameIndicators = new QGroupBox(QStringLiteral("Indicators"), parent);
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
    // A sentence longer than the field ("Router back; 3 forwards made again") takes a second
    // line rather than being cut, in room kept for it: the list below does not move.
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);
    for (QLabel* l : {lblStatus, lblWanIpAddress}) {
        l->setWordWrap(true);
        l->setMinimumHeight(2 * l->fontMetrics().lineSpacing() + 2 * l->frameWidth() + 4);
    }
    // Stays in sight after the pop-up: forwards made here cannot reach this computer.
    lblWanWarning = new QLabel(frameIndicators);
    lblWanWarning->setStyleSheet(QStringLiteral("color: #b00000; font-weight: bold"));
    lblWanWarning->setWordWrap(true);
    lblWanWarning->hide();
    grid->addWidget(lblWanWarning, 2, 0, 1, 4);
    return frameIndicators;
}

QWidget* frmMain::buildApplications(QWidget* parent) {
    auto* frameAppls = new QGroupBox(QStringLiteral("Applications"), parent);
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
    btnCancel = button(frameAppls, QStringLiteral("Cancel"),
                       QStringLiteral("Ends the operation after the exchange under way (Esc)"));
    btnCancel->setShortcut(QKeySequence(Qt::Key_Escape));
    btnCancel->hide();
    for (QPushButton* b :
         {btnPoint, btnClearAllPoints, btnSelectAll, btnDeselectAll, btnViewPoints, btnCancel})
        buttons->addWidget(b);
    buttons->addStretch();
    appls->addLayout(buttons);
    connect(btnPoint, &QPushButton::clicked, this, &frmMain::btnPoint_Click);
    connect(btnClearAllPoints, &QPushButton::clicked, this, &frmMain::btnClearAllPoints_Click);
    connect(btnSelectAll, &QPushButton::clicked, this, &frmMain::btnSelectAll_Click);
    connect(btnDeselectAll, &QPushButton::clicked, this, &frmMain::btnDeselectAll_Click);
    connect(btnViewPoints, &QPushButton::clicked, this, &frmMain::btnViewPoints_Click);
    connect(btnCancel, &QPushButton::clicked, this, &frmMain::btnCancel_Click);
    return frameAppls;
}

void frmMain::buildStatusBar() {
    sbStatusBar = new QStatusBar(this);
    sbStatusBar->setToolTip(QStringLiteral("Version of router's firmware"));
    // A permanent widget: a temporary message would be cleared by every menu hover.
    sbFirmware = new QLabel(sbStatusBar);
    sbFirmware->setToolTip(sbStatusBar->toolTip());
    sbStatusBar->addPermanentWidget(sbFirmware, 1);
    setStatusBar(sbStatusBar);
}

void frmMain::buildMenus() {
    mnuConfig = menuBar()->addMenu(QStringLiteral("&Configuration"));
    connect(mnuConfig->addAction(QStringLiteral("Edit &Applications")), &QAction::triggered, this,
            &frmMain::mnuEditApps_Click);
    connect(mnuConfig->addAction(QStringLiteral("Edit &Router Settings...")), &QAction::triggered,
            this, &frmMain::mnuPassword_Click);
    connect(mnuConfig->addAction(QStringLiteral("&Check Points")), &QAction::triggered, this,
            &frmMain::mnuCheckPoints_Click);
    mnuConfig->addSeparator();
    mnuQuit = mnuConfig->addAction(QStringLiteral("&Quit"));
    mnuQuit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    // The menu is disabled during an operation; through the window the shortcut still asks
    // to close.
    connect(mnuQuit, &QAction::triggered, this, &frmMain::mnuQuit_Click);
    addAction(mnuQuit);
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
}

// The tray's right-click menu; built with the window so that it can be reached without a tray.
void frmMain::buildTrayMenu() {
    trayMenu = new QMenu(this);
    connect(trayMenu->addAction(QStringLiteral("Show/Hide")), &QAction::triggered, this,
            &frmMain::toggleShown);
    connect(trayMenu->addAction(QStringLiteral("Point To Me")), &QAction::triggered, this, [this] {
        if (btnPoint->isEnabled() && isEnabled())
            btnPoint_Click();
    });
    connect(trayMenu->addAction(QStringLiteral("Clear All Points")), &QAction::triggered, this,
            [this] {
                if (btnClearAllPoints->isEnabled() && isEnabled())
                    btnClearAllPoints_Click();
            });
    trayMenu->addSeparator();
    connect(trayMenu->addAction(QStringLiteral("Quit")), &QAction::triggered, this,
            &frmMain::mnuQuit_Click);
}
