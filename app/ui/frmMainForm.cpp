// SPDX-License-Identifier: GPL-3.0-or-later
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
    auto* label = new QLabel(frmMain::tr("Unknown"), parent);
    label->setToolTip(toolTip);
    label->setFrameShape(QFrame::StyledPanel);
    label->setMinimumWidth(130);
    return label;
}

// The caption beside a value: a screen reader reads it with the value (the label's buddy
// and the value's description), since the value's own text is the value alone.
QLabel* captionOf(QLabel* value, const QString& caption) {
    auto* label = new QLabel(caption, value->parentWidget());
    label->setBuddy(value);
    value->setAccessibleDescription(caption);
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
    auto* frameIndicators = new QGroupBox(tr("Indicators"), parent);
    auto* grid = new QGridLayout(frameIndicators);
    lblWanIpAddress = valueLabel(frameIndicators, tr("Internet side IP"));
    lblLanIpAddress = valueLabel(frameIndicators, tr("Intranet side IP"));
    lblStatus = valueLabel(frameIndicators, tr("Activity information"));
    SendStatus = valueLabel(frameIndicators, tr("Communication indicator"));
    grid->addWidget(captionOf(lblWanIpAddress, tr("WAN Public IP Address")), 0, 0);
    grid->addWidget(lblWanIpAddress, 0, 1);
    grid->addWidget(captionOf(lblLanIpAddress, tr("LAN Private IP Address")), 1, 0);
    grid->addWidget(lblLanIpAddress, 1, 1);
    grid->addWidget(captionOf(lblStatus, tr("Status")), 0, 2);
    grid->addWidget(lblStatus, 0, 3);
    grid->addWidget(captionOf(SendStatus, tr("Send / Receive")), 1, 2);
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
    // The check's results stay in reach after the status has moved on.
    btnCheckResults = new QPushButton(frameIndicators);
    btnCheckResults->setStyleSheet(QStringLiteral("text-align: left"));
    btnCheckResults->setAccessibleName(tr("Check results"));
    btnCheckResults->setToolTip(tr("Opens Check Points with the last check's results"));
    btnCheckResults->hide();
    grid->addWidget(btnCheckResults, 3, 0, 1, 4);
    connect(btnCheckResults, &QPushButton::clicked, this, &frmMain::btnCheckResults_Click);
    return frameIndicators;
}

QWidget* frmMain::buildApplications(QWidget* parent) {
    auto* frameAppls = new QGroupBox(tr("Applications"), parent);
    auto* appls = new QHBoxLayout(frameAppls);
    lbAppsWidget = new QListWidget(frameAppls);
    lbAppsWidget->setToolTip(tr("Select applications to forward"));
    lbAppsWidget->setAccessibleName(tr("Applications"));
    appls->addWidget(lbAppsWidget, 1);
    auto* buttons = new QVBoxLayout;
    btnPoint = button(frameAppls, tr("&Point To Me"),
                      tr("Forward highlighted application's ports to my computer"));
    btnClearAllPoints =
        button(frameAppls, tr("&Clear All Points"), tr("Removes port forwarding to all computers"));
    btnSelectAll = button(frameAppls, tr("&Select All"), tr("Highlights all application"));
    btnDeselectAll =
        button(frameAppls, tr("&Deselect All"), tr("Removes all applicaton highlighting"));
    btnViewPoints =
        button(frameAppls, tr("&View Points"), tr("Show router's port forwarding screen"));
    btnCancel = button(frameAppls, tr("Cancel"),
                       tr("Ends the operation after the exchange under way (Esc)"));
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
    sbStatusBar->setToolTip(tr("Version of router's firmware"));
    // A permanent widget: a temporary message would be cleared by every menu hover.
    sbFirmware = new QLabel(sbStatusBar);
    sbFirmware->setToolTip(sbStatusBar->toolTip());
    sbStatusBar->addPermanentWidget(sbFirmware, 1);
    setStatusBar(sbStatusBar);
}

void frmMain::buildMenus() {
    mnuConfig = menuBar()->addMenu(tr("&Configuration"));
    connect(mnuConfig->addAction(tr("Edit &Applications")), &QAction::triggered, this,
            &frmMain::mnuEditApps_Click);
    connect(mnuConfig->addAction(tr("Edit &Router Settings...")), &QAction::triggered, this,
            &frmMain::mnuPassword_Click);
    connect(mnuConfig->addAction(tr("&Check Points")), &QAction::triggered, this,
            &frmMain::mnuCheckPoints_Click);
    connect(mnuConfig->addAction(tr("Activity &Log")), &QAction::triggered, this,
            &frmMain::mnuActivityLog_Click);
    mnuConfig->addSeparator();
    mnuQuit = mnuConfig->addAction(tr("&Quit"));
    mnuQuit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    // The menu is disabled during an operation; through the window the shortcut still asks
    // to close.
    connect(mnuQuit, &QAction::triggered, this, &frmMain::mnuQuit_Click);
    addAction(mnuQuit);
    mnuDMZ = menuBar()->addMenu(tr("&DMZ"));
    mnuDMZ->setToolTipsVisible(true);
    mnuDMZPoint = mnuDMZ->addAction(tr("&Harborly"));
    connect(mnuDMZPoint, &QAction::triggered, this, &frmMain::mnuDMZPoint_Click);
    mnuDMZClear = mnuDMZ->addAction(tr("&Clear Point"));
    connect(mnuDMZClear, &QAction::triggered, this, &frmMain::mnuDMZClear_Click);
    mnuDMZView = mnuDMZ->addAction(tr("&View Point"));
    connect(mnuDMZView, &QAction::triggered, this, &frmMain::mnuDMZView_Click);
    mnuAbout = menuBar()->addAction(tr("&About"));
    connect(mnuAbout, &QAction::triggered, this, &frmMain::mnuAbout_Click);
    mnuHelp = menuBar()->addAction(tr("&Help"));
    connect(mnuHelp, &QAction::triggered, this, &frmMain::mnuHelp_Click);
}

// The tray's right-click menu; built with the window so that it can be reached without a tray.
void frmMain::buildTrayMenu() {
    trayMenu = new QMenu(this);
    connect(trayMenu->addAction(tr("Show/Hide")), &QAction::triggered, this, &frmMain::toggleShown);
    connect(trayMenu->addAction(tr("Point To Me")), &QAction::triggered, this, [this] {
        if (btnPoint->isEnabled() && isEnabled())
            btnPoint_Click();
    });
    connect(trayMenu->addAction(tr("Clear All Points")), &QAction::triggered, this, [this] {
        if (btnClearAllPoints->isEnabled() && isEnabled())
            btnClearAllPoints_Click();
    });
    trayMenu->addSeparator();
    connect(trayMenu->addAction(tr("Quit")), &QAction::triggered, this, &frmMain::mnuQuit_Click);
}
