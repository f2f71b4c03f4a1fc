// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "router/MainView.h"
#include "router/check/PortCheck.h"
#include "ui/TrayIcon.h"

#include <QMainWindow>
#include <QPointer>

#include <chrono>
#include <functional>
#include <memory>

struct Module;
struct PlannedMapping;
class ActivityLog;
class Clock;
class EventPump;
class HelpWindow;
class ProgramLauncher;
class Prompts;
class Router;
class WidgetAppList;
class QAction;
class QLabel;
class QListWidget;
class QLockFile;
class QMenu;
class QPushButton;
class QStatusBar;
class QTimer;

// The main window: the router's indicators, the application list and the commands.
class frmMain : public QMainWindow, public MainView {
    Q_OBJECT
public:
    // terminate ends the program at once; tests pass one that only records the call.
    frmMain(Module& module, Prompts& prompts, ProgramLauncher& launcher, const Clock& clock,
            std::function<void()> terminate,
            std::chrono::milliseconds passLength = std::chrono::seconds(1));
    ~frmMain() override;

    // Start-up from the Base64 object on; false when the program is to end.
    bool Form_Load(const QString& programFolder);
    // The program folder got the shipped catalog in this start: Form_Load opens the settings
    // dialog whatever the kind.
    bool firstStart = false;

    // MainView
    void setStatusCaption(const QString& caption) override;
    void setSendStatusCaption(const QString& caption) override;
    void showOutcome(Outcome outcome) override;
    void showSendState(int state) override;
    void setWanAddressCaption(const QString& caption) override;
    void setLanAddressCaption(const QString& caption) override;
    void setStatusBarText(const QString& text) override;
    void EnableInterface(bool bEnable, bool bLogon) override;
    void setWindowEnabled(bool enabled) override;
    void setTimer1Enabled(bool enabled) override;
    void setTimer1Interval(int milliseconds) override;
    AppList& lbApps() override;
    void ExitProgram() override;
    void showProgress(int done, int total) override;
    bool cancelRequested() override { return cancel_; }
    void routerAnswering(bool answering, const QString& sentence) override;

    // A protocol kind's operation runs: the controls are locked, the window is not, and Cancel
    // shows. The web kind locks the whole window instead.
    bool busy() const { return busy_; }
    // A question with two answers; true for `yes`. Tests replace it.
    std::function<bool(const QString& text, const QString& yes, const QString& no)> ask;

    // Handlers
    void Timer1_Timer();
    void btnPoint_Click();
    void btnClearAllPoints_Click();
    void btnSelectAll_Click() { selectAll(true); }
    void btnDeselectAll_Click() { selectAll(false); }
    void btnViewPoints_Click();
    void mnuDMZPoint_Click();
    void mnuDMZClear_Click();
    void mnuDMZView_Click();
    void mnuPassword_Click();
    void mnuEditApps_Click();
    void mnuHelp_Click();
    void mnuAbout_Click();
    void mnuCheckPoints_Click();
    // The last check's results in the Check Points window.
    void btnCheckResults_Click();
    // Harborly.log, read-only.
    void mnuActivityLog_Click();
    void trayActivated(QSystemTrayIcon::ActivationReason reason);
    void btnCancel_Click() { cancel_ = true; }
    void mnuQuit_Click();
    void toggleShown();

    // Shows a dialog modally with DialogActive and FrontWindow set around it; with restore,
    // the main window is brought back to the front afterwards.
    int runDialog(QDialog& dialog, bool restore = true);

    // The read-only router screens, supplied by the viewer; true shows the DMZ screen.
    std::function<void(bool dmz)> showRouterScreen;

    // The router of the configured kind; made anew when the kind changes.
    Router& router() { return *router_; }
    QTimer* Timer1;
    QLabel* lblWanIpAddress;
    QLabel* lblLanIpAddress;
    QLabel* lblStatus;
    QLabel* SendStatus;
    QLabel* lblWanWarning;
    // After a check: how many ports need something; opens the results. Hidden until then.
    QPushButton* btnCheckResults;
    QListWidget* lbAppsWidget;
    QPushButton* btnPoint;
    QPushButton* btnClearAllPoints;
    QPushButton* btnSelectAll;
    QPushButton* btnDeselectAll;
    QPushButton* btnViewPoints;
    QPushButton* btnCancel;
    QStatusBar* sbStatusBar;
    QLabel* sbFirmware; // the firmware text, never covered by a menu's status tip
    QMenu* mnuConfig;
    QMenu* mnuDMZ;
    QAction* mnuAbout;
    QAction* mnuHelp;
    QAction* mnuQuit;
    QMenu* trayMenu;
    QSystemTrayIcon* tray = nullptr;
    TrayKind trayKind = TrayKind::XEmbed;
    QString trayMessage; // the last balloon the tray showed

protected:
    // A close request while the window is locked waits until the operation has finished.
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    // The widgets, built once by the constructor.
    QWidget* buildIndicators(QWidget* parent);
    QWidget* buildApplications(QWidget* parent);
    void buildStatusBar();
    void buildMenus();
    void buildTrayMenu();

    void selectAll(bool selected);
    void keepIndicatorsReadable();
    void runWithMainHidden(const std::function<void()>& run, bool clearBeforeShow);
    // Makes the router of the configured kind and sets the entries it cannot serve aside.
    void makeRouter();
    // A new router from the saved settings, looked for at the next tick.
    void lookAgain();
    // The router settings dialog; its result.
    int runSettings(bool focusKind = false);
    // The settings on a first start or without a password, then the login; false to end.
    bool settingsAndLogin();
    bool webKind() const;
    // PCP or NAT-PMP, chosen or found: the router lists only what this computer holds.
    bool speaksDatagrams() const;
    // Every text lblStatus shows goes through here.
    void showStatus(const QString& text);
    // A sentence in lblStatus for a few seconds and in the activity log (`logged` there, when
    // the log keeps more than the status shows).
    void tellOutcome(const QString& sentence, const QString& logged = {});
    void tellPointMade(qsizetype made);
    // "1 forward", "3 forwards"; "1 IPv6 pinhole", "3 IPv6 pinholes".
    static QString forwardsText(qsizetype n);
    static QString pinholesText(qsizetype n);
    void checkAfterPoint(const QList<PlannedMapping>& planned);
    // The timer and the controls held still while `check` asks the router and this computer.
    QList<PortCheck> checkLocked(const std::function<QList<PortCheck>()>& check);
    // The results kept for btnCheckResults, and the cue shown.
    void keepCheckResults(const QList<PortCheck>& checks);
    // Where no router answered the first look: the reason, and the settings before the end.
    bool offerSettings();
    void retryWithNewSettings();
    // Settings that change the router: what the one in use holds is cleared, or knowingly left.
    void offerToClearPrevious();
    void showComputerAddress();
    void showApplicationPorts();
    void markWanWarning();
    void showTrayIcon();
    // The close box while forwards live only as long as this program renews them: the window
    // goes to the tray (said once) or, without a tray, the user is asked. True when it stays.
    bool staysForForwards();
    void refreshTrayToolTip();
    QString trayToolTip() const;

    Module& module_;
    Prompts& prompts_;
    ProgramLauncher& launcher_;
    std::unique_ptr<ActivityLog> log_;
    std::function<void()> terminate_;
    std::unique_ptr<WidgetAppList> list_;
    std::unique_ptr<EventPump> pump_;
    const Clock& clock_;
    std::unique_ptr<Router> router_;
    QPointer<HelpWindow> help_; // open beside the window (protocol kinds)
    QAction* mnuDMZPoint = nullptr;
    QAction* mnuDMZClear = nullptr;
    QAction* mnuDMZView = nullptr;
    bool closePending_ = false;
    bool quitting_ = false; // Quit was chosen: the close ends the program whatever it keeps
    bool busy_ = false;
    bool cancel_ = false;
    bool firstLook_ = false;
    bool inTick_ = false;
    bool checking_ = false; // a check runs: the operations inside it leave the window locked
    int progressTotal_ = -1;
    QString routerGone_;       // the sentence while the router does not answer
    bool sendWaiting_ = false; // SendStatus says the window waits for the router
    quint64 statusShown_ = 0;  // counts lblStatus's texts: an outcome still shown is not replaced
    QList<PortCheck> lastChecks_;
};

// True, after the message, when another copy holds the program folder's lock. A lock left by
// a copy that crashed names a dead process, and QLockFile takes it over.
// The web kind keeps the words of the router family it was made for.
bool RefuseSecondCopy(QLockFile& lock, Prompts& prompts, bool webKind = true);
