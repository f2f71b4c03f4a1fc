// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/frmMain.h"

#include "CannedServer.h"
#include "HarborlyVersion.h"
#include "Module.h"
#include "RecordingPrompts.h"
#include "RouterSimulator.h"
#include "TempHome.h"
#include "config/ActivityLog.h"
#include "config/ProgramLauncher.h"
#include "platform/Clock.h"
#include "router/AppList.h"
#include "ui/frmAbout.h"
#include "ui/frmLogin.h"
#include "ui/frmSettings.h"

#include <QApplication>
#include <QCheckBox>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QDBusVirtualObject>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLockFile>
#include <QMenu>
#include <QMenuBar>
#include <QProcess>
#include <QPushButton>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <gtest/gtest.h>

#include <array>

namespace {

struct RecordingLauncher final : ProgramLauncher {
    bool Run(const QString& program, const QStringList& arguments) override {
        commands << (QStringList{program} + arguments).join(u' ');
        return true;
    }
    QStringList commands;
};

struct FixedClock final : Clock {
    QDateTime now() const override { return QDateTime(QDate(2026, 12, 7), QTime(12, 0)); }
};

QByteArray misc(const QString& lan, const QByteArray& extra = {}) {
    return "[Application1]\r\nName=Web Server\r\nPortRangeLow1=80\r\nPortRangeHigh1=80\r\n"
           "Protocol1=tcp\r\n[Application2]\r\nName=Secure Shell\r\nPortRangeLow1=22\r\n"
           "PortRangeHigh1=22\r\nProtocol1=tcp\r\n[Application3]\r\nName=alpha\r\n"
           "[Misc]\r\nLanPrivateIP=" +
           lan.toLatin1() + "\r\nPassword=YWRtaW4=\r\nRequireLogin=bm8=\r\n" + extra;
}

// What the status bar shows: a temporary message covers the bar's own labels.
QString shownInStatusBar(const QStatusBar& bar) {
    if (!bar.currentMessage().isEmpty())
        return bar.currentMessage();
    QStringList texts;
    for (const QLabel* label : bar.findChildren<QLabel*>())
        if (label->isVisibleTo(&bar) && !label->text().isEmpty())
            texts << label->text();
    return texts.join(u' ');
}

// The window with recording services: ExitProgram only counts, no program ends.
struct Window {
    Window()
        : window(
              module, prompts, launcher, clock,
              [this] {
                  ++exits;
                  statusAtExit = window.lblStatus->text();
              },
              std::chrono::milliseconds(20)) {}
    Module module;
    RecordingPrompts prompts;
    RecordingLauncher launcher;
    FixedClock clock;
    int exits = 0;
    QString statusAtExit;
    frmMain window;
};

TEST(MainWindow, CaptionsToolTipsAndMenus) {
    Window w;
    frmMain& m = w.window;
    EXPECT_EQ(m.windowTitle(), QStringLiteral("Harborly"));
    EXPECT_EQ(m.btnPoint->text(), QStringLiteral("&Point To Me"));
    EXPECT_EQ(m.btnPoint->toolTip(),
              QStringLiteral("Forward highlighted application's ports to my computer"));
    EXPECT_EQ(m.btnDeselectAll->toolTip(), QStringLiteral("Removes all applicaton highlighting"));
    EXPECT_EQ(m.btnSelectAll->toolTip(), QStringLiteral("Highlights all application"));
    EXPECT_EQ(m.lblWanIpAddress->text(), QStringLiteral("Unknown"));
    EXPECT_EQ(m.SendStatus->toolTip(), QStringLiteral("Communication indicator"));
    EXPECT_EQ(m.Timer1->interval(), 500);
    EXPECT_FALSE(m.Timer1->isActive());
    QStringList menus;
    for (QAction* a : m.menuBar()->actions())
        menus << a->text();
    EXPECT_EQ(menus, (QStringList{QStringLiteral("&Configuration"), QStringLiteral("&DMZ"),
                                  QStringLiteral("&About"), QStringLiteral("&Help")}));
    QStringList dmz;
    for (QAction* a : m.mnuDMZ->actions())
        dmz << a->text();
    EXPECT_EQ(dmz, (QStringList{QStringLiteral("&Harborly"), QStringLiteral("&Clear Point"),
                                QStringLiteral("&View Point")}));
}

TEST(MainWindow, StartUpListsTheCatalogRestoresTheSelectionAndStartsTheTimer) {
    TempHome home;
    home.write(QStringLiteral("Harborly.ini"),
               misc(ClosedLoopbackPort(), "Selected=Secure Shell,Gone,\r\n"));
    Window w;
    ASSERT_TRUE(w.window.Form_Load(home.path()));
    AppList& list = w.window.lbApps();
    ASSERT_EQ(list.ListCount(), 3);
    EXPECT_EQ(list.List(0), QStringLiteral("alpha"));
    EXPECT_EQ(list.List(1), QStringLiteral("Secure Shell"));
    EXPECT_EQ(list.ItemData(1), 2);
    EXPECT_TRUE(list.Selected(1));
    EXPECT_EQ(list.SelCount(), 1);
    EXPECT_EQ(w.module.catalog.entry(2).Name, QStringLiteral("SecureShell"));
    EXPECT_TRUE(w.window.Timer1->isActive());
    EXPECT_EQ(w.window.lblLanIpAddress->text(), w.module.settings.LanPrivateIP);
    EXPECT_EQ(w.exits, 0);

    w.window.btnSelectAll_Click();
    EXPECT_EQ(list.SelCount(), 3);
    w.window.btnDeselectAll_Click();
    EXPECT_EQ(list.SelCount(), 0);
}

TEST(MainWindow, EachClickTogglesARow) {
    TempHome home;
    home.write(QStringLiteral("Harborly.ini"), misc(ClosedLoopbackPort()));
    Window w;
    ASSERT_TRUE(w.window.Form_Load(home.path()));
    w.window.show();
    QListWidget* lb = w.window.lbAppsWidget;
    const QPoint row0 = lb->visualItemRect(lb->item(0)).center();
    const QPoint row2 = lb->visualItemRect(lb->item(2)).center();
    QTest::mouseClick(lb->viewport(), Qt::LeftButton, {}, row0);
    QTest::mouseClick(lb->viewport(), Qt::LeftButton, {}, row2);
    EXPECT_EQ(w.window.lbApps().SelCount(), 2);
    QTest::mouseClick(lb->viewport(), Qt::LeftButton, {}, row0);
    EXPECT_FALSE(w.window.lbApps().Selected(0));
    EXPECT_TRUE(w.window.lbApps().Selected(2));
}

TEST(MainWindow, LockingTheInterfaceDisablesControlsThenTheWindow) {
    Window w;
    w.window.EnableInterface(false, false);
    EXPECT_FALSE(w.window.btnPoint->isEnabled());
    EXPECT_FALSE(w.window.mnuDMZ->isEnabled());
    EXPECT_FALSE(w.window.isEnabled());
    w.window.EnableInterface(true, false);
    EXPECT_TRUE(w.window.btnViewPoints->isEnabled());
    EXPECT_TRUE(w.window.isEnabled());
}

// Every menu hover posts a status tip, which clears a temporary status bar message.
TEST(MainWindow, FirmwareTextSurvivesHoveringOverEveryMenu) {
    Window w;
    w.window.show();
    const QString firmware = QStringLiteral("Linksys Router Firmware Version 1.44.2");
    w.window.setStatusBarText(firmware);
    QMenuBar* bar = w.window.menuBar();
    for (QAction* top : bar->actions()) {
        QTest::mouseMove(bar, bar->actionGeometry(top).center());
        QStatusTipEvent tip(top->statusTip());
        QApplication::sendEvent(bar, &tip);
        if (QMenu* menu = top->menu()) {
            menu->popup(bar->mapToGlobal(bar->actionGeometry(top).bottomLeft()));
            for (QAction* entry : menu->actions()) {
                QTest::mouseMove(menu, menu->actionGeometry(entry).center());
                menu->setActiveAction(entry);
            }
            menu->hide();
        }
    }
    EXPECT_EQ(shownInStatusBar(*w.window.sbStatusBar), firmware);
    EXPECT_EQ(w.window.sbStatusBar->toolTip(), QStringLiteral("Version of router's firmware"));
}

// A locked window shows the operation's progress in the readable colours of an unlocked one.
TEST(MainWindow, IndicatorsStayReadableWhileLocked) {
    Window w;
    w.window.show();
    for (QLabel* indicator : {w.window.lblStatus, w.window.SendStatus}) {
        indicator->setText(QStringLiteral("Query Slots"));
        const QImage unlocked = indicator->grab().toImage();
        w.window.EnableInterface(false, false);
        EXPECT_EQ(indicator->grab().toImage(), unlocked) << indicator->toolTip().toStdString();
        EXPECT_FALSE(w.window.btnPoint->isEnabled());
        w.window.EnableInterface(true, false);
    }
}

// A close request during "Point To Me" (its read and its write) waits for the operation.
TEST(MainWindow, CloseDuringAnOperationWaitsUntilItHasFinished) {
    RouterSimulator router;
    ASSERT_TRUE(router.listen());
    TempHome home;
    home.write(QStringLiteral("Harborly.ini"), misc(router.hostAndPort()));
    Window w;
    ASSERT_TRUE(w.window.Form_Load(home.path()));
    w.window.show();
    w.window.lbApps().setSelected(2, true); // Web Server
    int closeRequests = 0;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        ++closeRequests;
        w.window.close();
    });
    closer.start(0);
    w.window.btnPoint_Click();
    closer.stop();
    EXPECT_GT(closeRequests, 1); // asked while the read and while the write ran
    EXPECT_EQ(w.exits, 0);
    EXPECT_EQ(router.forwards()[9].name, QStringLiteral("WebServer"));
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    EXPECT_EQ(w.exits, 1);
    EXPECT_EQ(w.statusAtExit, QStringLiteral("Completed"));
}

TEST(MainWindow, FirstTickFindsTheSimulatedRouter) {
    RouterSimulator router;
    ASSERT_TRUE(router.listen());
    TempHome home;
    home.write(QStringLiteral("Harborly.ini"), misc(router.hostAndPort()));
    Window w;
    ASSERT_TRUE(w.window.Form_Load(home.path()));
    w.window.Timer1_Timer();
    EXPECT_EQ(w.window.lblWanIpAddress->text(), router.wanAddress());
    EXPECT_EQ(shownInStatusBar(*w.window.sbStatusBar),
              QStringLiteral("Linksys Router Firmware Version 1.44.2"));
    EXPECT_EQ(w.window.Timer1->interval(), 100);
    EXPECT_EQ(w.exits, 0);

    w.window.lbApps().setSelected(2, true); // Web Server
    w.window.btnPoint_Click();
    EXPECT_EQ(w.window.lblStatus->text(), QStringLiteral("Completed"));
    EXPECT_EQ(router.forwards()[9].name, QStringLiteral("WebServer"));
    EXPECT_TRUE(w.window.Timer1->isActive());
}

TEST(MainWindow, NoRouterEndsTheProgramThroughExitProgram) {
    TempHome home;
    home.write(QStringLiteral("Harborly.ini"), misc(ClosedLoopbackPort()));
    Window w;
    ASSERT_TRUE(w.window.Form_Load(home.path()));
    w.window.Timer1_Timer();
    EXPECT_EQ(w.exits, 1);
    ASSERT_EQ(w.prompts.boxes.size(), 1);
    EXPECT_FALSE(w.module.codec);
    EXPECT_FALSE(w.window.Timer1->isActive());
}

TEST(MainWindow, NoStoredPasswordAndCancelEndsTheProgram) {
    TempHome home;
    home.write(QStringLiteral("Harborly.ini"), "[Misc]\r\nLanPrivateIP=127.0.0.1:9\r\n");
    Window w;
    QTimer::singleShot(0, [] {
        if (auto* s = qobject_cast<frmSettings*>(QApplication::activeModalWidget()))
            s->btnCancel->click();
    });
    EXPECT_FALSE(w.window.Form_Load(home.path()));
    EXPECT_EQ(w.exits, 1);
    EXPECT_FALSE(w.module.DialogActive);
}

TEST(MainWindow, RefusedLoginEndsTheProgram) {
    TempHome home;
    home.write(QStringLiteral("Harborly.ini"),
               "[Misc]\r\nLanPrivateIP=127.0.0.1:9\r\nPassword=YWRtaW4=\r\nRequireLogin=eWVz\r\n");
    Window w;
    QTimer::singleShot(0, [] {
        if (auto* login = qobject_cast<frmLogin*>(QApplication::activeModalWidget())) {
            login->txtPassword->setText(QStringLiteral("wrong"));
            login->cmdCancel->click();
        }
    });
    EXPECT_FALSE(w.window.Form_Load(home.path()));
    EXPECT_EQ(w.exits, 1);
    EXPECT_FALSE(w.window.Timer1->isActive());
}

TEST(MainWindow, SecondCopyIsTurnedAway) {
    TempHome home;
    RecordingPrompts prompts;
    QLockFile first(home.file(QStringLiteral("Harborly.lock")));
    QLockFile second(home.file(QStringLiteral("Harborly.lock")));
    EXPECT_FALSE(RefuseSecondCopy(first, prompts));
    EXPECT_TRUE(RefuseSecondCopy(second, prompts));
    ASSERT_EQ(prompts.boxes.size(), 1);
    EXPECT_EQ(prompts.boxes[0].text,
              QStringLiteral("The Harborly program is already running.\r"
                             "Double click the Harborly icon in the taskbar to get focus."));
    EXPECT_TRUE(RefuseSecondCopy(second, prompts, false));
    EXPECT_EQ(prompts.boxes[1].text,
              QStringLiteral("Harborly is already running.\rClick its icon in the system tray to "
                             "bring its window forward."));
    first.unlock();
    EXPECT_FALSE(RefuseSecondCopy(second, prompts));
}

TEST(MainWindow, ClosingTheWindowGoesThroughExitProgram) {
    Window w;
    w.window.show();
    w.window.close();
    EXPECT_EQ(w.exits, 1);
}

TEST(MainWindow, EditApplicationsRunsTheEditorOnTheUnquotedPath) {
    TempHome home;
    home.write(QStringLiteral("Harborly.ini"), misc(ClosedLoopbackPort()));
    Window w;
    ASSERT_TRUE(w.window.Form_Load(home.path()));
    w.window.mnuEditApps_Click();
    ASSERT_EQ(w.launcher.commands.size(), 1);
    EXPECT_EQ(w.launcher.commands[0],
              TextEditorCommand().join(u' ') + QLatin1Char(' ') + w.module.paths.IniPath);
    EXPECT_FALSE(w.module.DialogActive);
    EXPECT_TRUE(w.window.isVisible());
}

struct TrayCase {
    TrayKind kind;
    QSystemTrayIcon::ActivationReason reason;
    bool forward;
};

class TrayTest : public testing::TestWithParam<TrayCase> {};

// An XEmbed tray reports the double-click; a StatusNotifierItem tray reports a click as an
// activation (Trigger) and never a double-click.
TEST_P(TrayTest, BringsTheFrontWindowForward) {
    Window w;
    w.window.trayKind = GetParam().kind;
    w.window.showMinimized();
    w.window.trayActivated(GetParam().reason);
    EXPECT_EQ(!w.window.isMinimized(), GetParam().forward);

    // With a dialog open, the dialog comes forward and the window is left alone.
    w.window.showMinimized();
    QDialog dialog;
    w.module.DialogActive = true;
    w.module.FrontWindow = &dialog;
    w.window.trayActivated(GetParam().reason);
    EXPECT_TRUE(w.window.isMinimized());
}

INSTANTIATE_TEST_SUITE_P(
    Reasons, TrayTest,
    testing::Values(TrayCase{TrayKind::XEmbed, QSystemTrayIcon::DoubleClick, true},
                    TrayCase{TrayKind::XEmbed, QSystemTrayIcon::Trigger, false},
                    TrayCase{TrayKind::XEmbed, QSystemTrayIcon::Context, false},
                    TrayCase{TrayKind::StatusNotifierItem, QSystemTrayIcon::Trigger, true},
                    TrayCase{TrayKind::StatusNotifierItem, QSystemTrayIcon::DoubleClick, true},
                    TrayCase{TrayKind::StatusNotifierItem, QSystemTrayIcon::Context, false},
                    TrayCase{TrayKind::StatusNotifierItem, QSystemTrayIcon::MiddleClick, false}));

// A StatusNotifierWatcher as a tray host registers it, answering the one property Qt reads.
class FakeWatcher final : public QDBusVirtualObject {
public:
    explicit FakeWatcher(bool host) : host_(host) {}
    QString introspect(const QString&) const override { return {}; }
    bool handleMessage(const QDBusMessage& m, const QDBusConnection& bus) override {
        if (m.member() != QLatin1String("Get") ||
            m.arguments().value(1).toString() != QLatin1String("IsStatusNotifierHostRegistered"))
            return false;
        return bus.send(m.createReply(QVariant::fromValue(QDBusVariant(host_))));
    }

private:
    bool host_;
};

// A session bus of the test's own, on a socket in a private folder.
class PrivateBus {
public:
    PrivateBus() {
        daemon_.start(QStringLiteral("dbus-daemon"),
                      {QStringLiteral("--session"), QStringLiteral("--nofork"),
                       QStringLiteral("--nopidfile"), QStringLiteral("--print-address=1"),
                       QStringLiteral("--address=unix:dir=") + dir_.path()});
        if (daemon_.waitForStarted() && daemon_.waitForReadyRead())
            address_ = QString::fromUtf8(daemon_.readLine().trimmed());
    }
    ~PrivateBus() {
        for (const QString& name : names_)
            QDBusConnection::disconnectFromBus(name);
        daemon_.terminate();
        daemon_.waitForFinished();
    }
    bool running() const { return !address_.isEmpty(); }
    QDBusConnection connect(const QString& name) {
        names_ << name;
        return QDBusConnection::connectToBus(address_, name);
    }

private:
    QTemporaryDir dir_;
    QProcess daemon_;
    QString address_;
    QStringList names_;
};

struct DetectCase {
    const char* name;
    bool watcher;
    bool host;
    TrayKind kind;
};

class DetectTrayKindTest : public testing::TestWithParam<DetectCase> {};

TEST_P(DetectTrayKindTest, ByTheWatcherOnTheSessionBus) {
    PrivateBus bus;
    ASSERT_TRUE(bus.running()) << "dbus-daemon (package dbus-daemon) is needed";
    // The watcher answers from a thread of its own while the detection waits for it.
    QThread watcherThread;
    FakeWatcher fake(GetParam().host);
    fake.moveToThread(&watcherThread);
    watcherThread.start();
    QDBusConnection side = bus.connect(QStringLiteral("watcher-") + GetParam().name);
    if (GetParam().watcher) {
        EXPECT_TRUE(side.registerService(QStringLiteral("org.kde.StatusNotifierWatcher")));
        EXPECT_TRUE(side.registerVirtualObject(QStringLiteral("/StatusNotifierWatcher"), &fake));
    }
    EXPECT_EQ(DetectTrayKind(bus.connect(QStringLiteral("icon-") + GetParam().name)),
              GetParam().kind);
    side.unregisterObject(QStringLiteral("/StatusNotifierWatcher"));
    watcherThread.quit();
    watcherThread.wait();
}

INSTANTIATE_TEST_SUITE_P(
    Buses, DetectTrayKindTest,
    testing::Values(DetectCase{"NoWatcher", false, false, TrayKind::XEmbed},
                    DetectCase{"WatcherWithoutHost", true, false, TrayKind::XEmbed},
                    DetectCase{"WatcherWithHost", true, true, TrayKind::StatusNotifierItem}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DetectTrayKind, NoSessionBusIsXEmbed) {
    EXPECT_EQ(DetectTrayKind(QDBusConnection(QStringLiteral("never-connected"))), TrayKind::XEmbed);
}

struct LoginCase {
    const char* typed;
    bool accepted;
};

class LoginTest : public testing::TestWithParam<LoginCase> {};

TEST_P(LoginTest, ComparesExactly) {
    Module module;
    module.settings.Password = QStringLiteral("Secret");
    RecordingPrompts prompts;
    frmLogin login(module, prompts);
    login.txtUserName->setText(QStringLiteral("anyone"));
    login.txtPassword->setText(QString::fromLatin1(GetParam().typed));
    login.cmdOK_Click();
    EXPECT_EQ(module.LoginAccepted, GetParam().accepted);
    if (!GetParam().accepted) {
        ASSERT_EQ(prompts.boxes.size(), 1);
        EXPECT_EQ(prompts.boxes[0].text,
                  QStringLiteral(
                      "Invalid user name or password.\rCheck your Caps Lock key and try again."));
        EXPECT_EQ(prompts.boxes[0].title, QStringLiteral("Error"));
        EXPECT_EQ(prompts.beeps, 1);
        EXPECT_EQ(login.txtPassword->selectedText(), login.txtPassword->text());
    }
}

INSTANTIATE_TEST_SUITE_P(Passwords, LoginTest,
                         testing::Values(LoginCase{"Secret", true}, LoginCase{"secret", false},
                                         LoginCase{"Secret ", false}, LoginCase{"", false}));

TEST(Login, LabelsAndCancel) {
    Module module;
    module.settings.LanPrivateIP = QStringLiteral("127.0.0.1:8080");
    RecordingPrompts prompts;
    frmLogin login(module, prompts);
    EXPECT_EQ(login.windowTitle(), QStringLiteral("Enter Router Password"));
    EXPECT_EQ(login.lblLanIpAddress->text(), QStringLiteral("127.0.0.1:8080"));
    EXPECT_EQ(login.sbStatusBar->currentMessage(),
              QStringLiteral("HARBORLY DSL/Cable Router Utility [beta] " HARBORLY_VERSION_STRING));
    module.LoginAccepted = true;
    login.cmdCancel_Click();
    EXPECT_FALSE(module.LoginAccepted);
}

struct SettingsDialog {
    SettingsDialog()
        : log(module.paths, prompts, clock),
          dialog(module, prompts, log, [this](const QString& a) { lan = a; }) {}
    void fill(const QString& pw1, const QString& pw2) {
        dialog.txtPW1->setText(pw1);
        dialog.txtPW2->setText(pw2);
    }
    Module module;
    RecordingPrompts prompts;
    FixedClock clock;
    ActivityLog log;
    QString lan;
    frmSettings dialog;
};

struct ValidationCase {
    QString pw1;
    QString pw2;
    const char* message; // nullptr: saved
    QString stored;
};

class SettingsValidationTest : public testing::TestWithParam<ValidationCase> {};

// Empty boxes first, then the comparison of the boxes without their surrounding spaces (and
// nothing else), then the refusal of a password of spaces alone.
TEST_P(SettingsValidationTest, InOrder) {
    const ValidationCase& c = GetParam();
    TempHome home;
    SettingsDialog s;
    s.module.paths = LocalPaths::inFolder(home.path());
    s.fill(c.pw1, c.pw2);
    s.dialog.btnSave_Click();
    if (!c.message) {
        EXPECT_TRUE(s.prompts.boxes.isEmpty());
        EXPECT_TRUE(s.module.settings.PasswordStored);
        EXPECT_EQ(s.module.settings.Password, c.stored);
        return;
    }
    ASSERT_EQ(s.prompts.boxes.size(), 1);
    EXPECT_EQ(s.prompts.boxes[0].text, QString::fromUtf8(c.message));
    EXPECT_EQ(s.prompts.boxes[0].title, QStringLiteral("Error"));
    EXPECT_EQ(s.prompts.beeps, 1);
    if (QString::fromUtf8(c.message) == QStringLiteral("Password don't match!")) {
        EXPECT_EQ(s.dialog.txtPW1->selectedText(), c.pw1);
    }
    EXPECT_FALSE(home.exists(QStringLiteral("Harborly.ini")));
    EXPECT_FALSE(s.module.settings.PasswordStored);
}

const char* const kRequired = "This program requires your router password";
const char* const kMismatch = "Password don't match!";

INSTANTIATE_TEST_SUITE_P(
    Boxes, SettingsValidationTest,
    testing::Values(ValidationCase{"", "", kRequired, {}}, ValidationCase{"abc", "", kRequired, {}},
                    ValidationCase{"", "abc", kRequired, {}},
                    ValidationCase{"   ", "abc", kMismatch, {}},
                    ValidationCase{"abc", "   ", kMismatch, {}},
                    ValidationCase{"   ", "   ", kRequired, {}},
                    ValidationCase{"   ", " ", kRequired, {}},
                    ValidationCase{"Secret", "secret", kMismatch, {}},
                    ValidationCase{"\tadmin", "admin", kMismatch, {}},
                    ValidationCase{" admin ", "admin", nullptr, "admin"},
                    ValidationCase{"admin\t", "admin\t ", nullptr, "admin\t"}));

struct KeyCase {
    const char* name;
    int focus; // 0: txtPW1, 1: btnSave, 2: btnCancel
    Qt::Key key;
    const char* outcome; // "open", "saved" or "cancelled"
};

class SettingsKeyTest : public testing::TestWithParam<KeyCase> {};

// Neither button is bound to Enter or Esc; Enter (or Space) on a focused button presses it.
TEST_P(SettingsKeyTest, OnlyAFocusedButtonAnswers) {
    TempHome home;
    SettingsDialog s;
    s.module.paths = LocalPaths::inFolder(home.path());
    s.fill(QStringLiteral("admin"), QStringLiteral("admin"));
    s.dialog.show();
    QWidget* focus = std::array<QWidget*, 3>{s.dialog.txtPW1, s.dialog.btnSave,
                                             s.dialog.btnCancel}[GetParam().focus];
    focus->setFocus();
    QTest::keyClick(focus, GetParam().key);
    const QString outcome = s.dialog.isVisible()                     ? QStringLiteral("open")
                            : s.dialog.result() == QDialog::Accepted ? QStringLiteral("saved")
                                                                     : QStringLiteral("cancelled");
    EXPECT_EQ(outcome, QString::fromLatin1(GetParam().outcome));
    EXPECT_EQ(s.module.settings.PasswordStored, outcome == QStringLiteral("saved"));
}

INSTANTIATE_TEST_SUITE_P(Keys, SettingsKeyTest,
                         testing::Values(KeyCase{"EscInPassword", 0, Qt::Key_Escape, "open"},
                                         KeyCase{"EscOnSave", 1, Qt::Key_Escape, "open"},
                                         KeyCase{"EscOnCancel", 2, Qt::Key_Escape, "open"},
                                         KeyCase{"EnterInPassword", 0, Qt::Key_Return, "open"},
                                         KeyCase{"EnterOnSave", 1, Qt::Key_Return, "saved"},
                                         KeyCase{"KeypadEnterOnSave", 1, Qt::Key_Enter, "saved"},
                                         KeyCase{"SpaceOnSave", 1, Qt::Key_Space, "saved"},
                                         KeyCase{"EnterOnCancel", 2, Qt::Key_Return, "cancelled"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Settings, SaveWritesTheThreeKeysTrimmed) {
    TempHome home;
    SettingsDialog s;
    s.module.paths = LocalPaths::inFolder(home.path());
    s.fill(QStringLiteral(" admin "), QStringLiteral("admin"));
    s.dialog.txtLanIpAddress->setText(QStringLiteral("127.0.0.1:8080"));
    s.dialog.chkRequireLogin->click();
    EXPECT_FALSE(s.module.settings.RequireLogin);
    s.dialog.btnSave_Click();
    EXPECT_TRUE(s.prompts.boxes.isEmpty());
    EXPECT_EQ(s.lan, QStringLiteral("127.0.0.1:8080"));
    EXPECT_EQ(s.module.settings.Password, QStringLiteral("admin"));
    EXPECT_TRUE(s.module.settings.PasswordStored);
    const QByteArray ini = home.read(QStringLiteral("Harborly.ini"));
    EXPECT_TRUE(ini.contains("LanPrivateIP=127.0.0.1:8080"));
    EXPECT_TRUE(ini.contains("RequireLogin=bm8="));
    EXPECT_TRUE(ini.contains("Password=YWRtaW4="));
}

TEST(Settings, FailedWriteIsReportedAndLogged) {
    TempHome home;
    SettingsDialog s;
    s.module.paths = LocalPaths::inFolder(home.path());
    s.module.paths.IniPath = home.path() + QStringLiteral("missing-folder/Harborly.ini");
    s.fill(QStringLiteral("admin"), QStringLiteral("admin"));
    s.dialog.txtLanIpAddress->setText(QStringLiteral("10.0.0.1"));
    s.dialog.btnSave_Click();
    ASSERT_EQ(s.prompts.boxes.size(), 1);
    EXPECT_EQ(s.prompts.boxes[0].text,
              QStringLiteral("HARBORLY.INI entries not written\rKey = Misc, Value = 10.0.0.1"));
    EXPECT_EQ(s.prompts.boxes[0].icon, MsgIcon::None);
    EXPECT_EQ(s.module.settings.LanPrivateIP, QStringLiteral("10.0.0.1"));
    EXPECT_FALSE(s.module.settings.PasswordStored);
    const QByteArray log = home.read(QStringLiteral("Harborly.log"));
    EXPECT_TRUE(log.contains("HARBORLY.INI entries not written"));
    EXPECT_TRUE(log.contains("Can't write Key = Misc, Value = 10.0.0.1"));
    EXPECT_TRUE(log.contains("Writing to " + s.module.paths.IniPath.toUtf8()));
}

TEST(About, VersionAndMissingSystemInformationInTheKindsOwnWords) {
    struct Case {
        bool web;
        const char* version;
        const char* missing;
        const char* words; // in the description
    };
    for (const Case c : {Case{true, "Version [beta] " HARBORLY_VERSION_STRING,
                              "System Information Is Unavailable At This Time", "DSL/Cable"},
                         Case{false, "Version " HARBORLY_VERSION_STRING,
                              "No system information program was found (Harborly looked for "
                              "no-such-system-information-tool).",
                              "UPnP IGD, PCP or NAT-PMP"}}) {
        RecordingPrompts prompts;
        frmAbout about(prompts, QUrl::fromLocalFile(QStringLiteral("/tmp/Harborly.hlp")), nullptr,
                       c.web);
        EXPECT_EQ(about.lblVersion->text(), QString::fromUtf8(c.version));
        bool described = false;
        for (const QLabel* l : about.findChildren<QLabel*>())
            described = described || l->text().contains(QString::fromUtf8(c.words));
        EXPECT_TRUE(described) << c.web;
        about.sysInfoTools = {QStringLiteral("no-such-system-information-tool")};
        about.StartSysInfo();
        ASSERT_EQ(prompts.boxes.size(), 1);
        EXPECT_EQ(prompts.boxes[0].text, QString::fromUtf8(c.missing));
        EXPECT_EQ(prompts.boxes[0].icon, MsgIcon::None);
        // Enter is OK's, not a second System Info.
        EXPECT_FALSE(about.cmdSysInfo->autoDefault());
        EXPECT_TRUE(about.cmdOK->isDefault());
    }
}

} // namespace
