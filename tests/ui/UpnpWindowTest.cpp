// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/frmMain.h"

#include "Module.h"
#include "RecordingPrompts.h"
#include "TempHome.h"
#include "UpnpSimulator.h"
#include "config/ActivityLog.h"
#include "config/IniFile.h"
#include "config/ProgramLauncher.h"
#include "platform/Clock.h"
#include "router/AppList.h"
#include "router/Router.h"
#include "router/leases/LeaseRecord.h"
#include "ui/HelpWindow.h"
#include "ui/frmForwards.h"
#include "ui/frmLogin.h"
#include "ui/frmSettings.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

struct NoLauncher final : ProgramLauncher {
    bool Run(const QString&, const QStringList&) override { return true; }
};

struct NowClock final : Clock {
    QDateTime now() const override { return QDateTime::currentDateTimeUtc(); }
};

struct UpnpWindow {
    explicit UpnpWindow(const QByteArray& miscExtra = {}, QByteArray lan = {},
                        const UpnpSimOptions& options = {})
        : sim(options) {
        EXPECT_TRUE(sim.listen());
        if (lan.isEmpty())
            lan = "127.0.0.1:" + QByteArray::number(sim.ssdpPort());
        else if (lan == "[::1]")
            lan += ':' + QByteArray::number(sim.ssdp6Port());
        home.write(QStringLiteral("Harborly.ini"),
                   "[Application1]\r\nName=Game Server\r\nPortRangeLow1=27015\r\n"
                   "PortRangeHigh1=27016\r\nProtocol1=udp\r\n[Misc]\r\nRouterKind=upnp\r\n"
                   "LanPrivateIP=" +
                       lan + "\r\n" + miscExtra);
    }
    TempHome home;
    UpnpSimulator sim;
    Module module;
    RecordingPrompts prompts;
    NoLauncher launcher;
    NowClock clock;
    int exits = 0;
    frmMain window{
        module, prompts, launcher, clock, [this] { ++exits; }, std::chrono::milliseconds(20)};
};

// Runs `act` on the first modal dialog of type T once it is shown; operations before it may
// run the event loop while they wait, so one timer tick is not enough.
template <typename T, typename F> void whenShown(F act) {
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [poll, act] {
        if (auto* d = qobject_cast<T*>(QApplication::activeModalWidget())) {
            poll->stop();
            poll->deleteLater();
            act(d);
        }
    });
    poll->start(10);
}

} // namespace

TEST(UpnpWindow, StartsWithoutAPasswordAndSetsTheDmzAside) {
    UpnpWindow w;
    ASSERT_TRUE(w.window.Form_Load(w.home.path()));
    EXPECT_TRUE(w.prompts.boxes.isEmpty()); // neither settings nor login asked for
    w.window.Timer1_Timer();
    EXPECT_EQ(w.window.lblWanIpAddress->text(), QStringLiteral("11.22.33.44"));
    EXPECT_EQ(w.exits, 0);
    for (QAction* a : w.window.mnuDMZ->actions()) {
        EXPECT_FALSE(a->isEnabled()) << a->text().toStdString();
        EXPECT_FALSE(a->toolTip().isEmpty());
    }
    // A locked and unlocked window leaves them aside.
    w.window.EnableInterface(false, false);
    w.window.EnableInterface(true, false);
    EXPECT_FALSE(w.window.mnuDMZ->actions().front()->isEnabled());
}

TEST(UpnpWindow, AStoredPasswordStillGuardsTheLogin) {
    UpnpWindow w("Password=YWRtaW4=\r\n");
    bool loginShown = false;
    whenShown<frmLogin>([&](frmLogin* login) {
        loginShown = true;
        login->reject();
    });
    EXPECT_FALSE(w.window.Form_Load(w.home.path()));
    EXPECT_TRUE(loginShown);
}

TEST(UpnpWindow, ViewPointsListsTheRouterForwardsWithThisComputerMarked) {
    UpnpWindow w;
    ASSERT_TRUE(w.window.Form_Load(w.home.path()));
    w.window.Timer1_Timer();
    w.window.lbApps().setSelected(0, true);
    w.window.btnPoint_Click();
    EXPECT_EQ(w.window.lblStatus->text(), QStringLiteral("2 forwards made"));
    // The check right after: each port in the activity log, those nothing takes in the tool tip.
    const QString noListener = QStringLiteral("Game Server 27016/UDP: forwarded, nothing on this "
                                              "computer listens on 27016 — start Game Server");
    EXPECT_TRUE(
        QString::fromUtf8(w.home.read(QStringLiteral("Harborly.log"))).contains(noListener));
    EXPECT_TRUE(w.window.lblStatus->toolTip().split(QLatin1Char('\n')).at(1).startsWith(noListener))
        << w.window.lblStatus->toolTip().toStdString();
    int rows = -1;
    QString client;
    whenShown<frmForwards>([&](frmForwards* f) {
        rows = f->tblForwards->rowCount();
        client = f->tblForwards->item(0, 2)->text();
        f->reject();
    });
    w.window.btnViewPoints_Click();
    EXPECT_EQ(rows, 2);
    EXPECT_TRUE(client.contains(QStringLiteral("this computer")));

    w.window.btnClearAllPoints_Click();
    EXPECT_EQ(w.window.lblStatus->text(), QStringLiteral("All 2 forwards removed"));
    EXPECT_TRUE(w.sim.mappings().isEmpty());
}

// The outcome stands whatever news the router brings with it: here an earlier run's pinholes,
// opened for an address this computer had before, follow the new one.
TEST(UpnpWindow, OverIpv6AloneTheOutcomeSpeaksOfIpv6Ports) {
    for (const bool earlierRun : {false, true}) {
        SCOPED_TRACE(earlierRun);
        UpnpSimOptions ipv6;
        ipv6.ipv6 = true;
        UpnpWindow w("Ipv6Address=::1\r\n", "[::1]", ipv6);
        ASSERT_TRUE(w.window.Form_Load(w.home.path()));
        w.window.Timer1_Timer();
        if (earlierRun) {
            LeaseEntry old;
            old.router = QStringLiteral("::1");
            old.kind = QStringLiteral("pinhole6");
            old.protocol = QStringLiteral("UDP");
            old.externalPort = old.internalPort = 27015;
            old.lifetime = 3600;
            old.leaseEnd = QDateTime::currentDateTimeUtc().addSecs(3000);
            old.address = QStringLiteral("2001:db8:1::100");
            old.uniqueId = 7;
            ASSERT_TRUE(LeaseRecord(LeasePathFor(w.module.paths.IniPath)).put(old));
        }
        w.window.lbApps().setSelected(0, true);
        w.window.btnPoint_Click();
        EXPECT_EQ(w.window.lblStatus->text(), QStringLiteral("2 IPv6 ports opened"));
        EXPECT_EQ(w.sim.pinholes().size(), 2);
        EXPECT_TRUE(w.sim.mappings().isEmpty());
        EXPECT_EQ(QString::fromUtf8(w.home.read(QStringLiteral("Harborly.log")))
                      .contains(QStringLiteral("IPv6 address changed to ::1")),
                  earlierRun);
    }
}

TEST(UpnpWindow, SettingsChooseTheKindAndNeedNoPasswordForUpnp) {
    TempHome home;
    home.write(QStringLiteral("Harborly.ini"), "[Misc]\r\nLanPrivateIP=192.0.2.1\r\n");
    Module module;
    module.paths = LocalPaths::inFolder(home.path());
    RecordingPrompts prompts;
    NowClock clock;
    ActivityLog log(module.paths, prompts, clock);
    frmSettings settings(module, prompts, log, {});
    settings.cboRouterKind->setCurrentIndex(
        settings.cboRouterKind->findData(QStringLiteral("upnp")));
    settings.txtPW1->clear();
    settings.txtPW2->clear();
    settings.txtLanIpAddress->setText(QStringLiteral("http://192.0.2.1:5000/rootDesc.xml"));
    settings.btnSave_Click();
    EXPECT_TRUE(prompts.boxes.isEmpty());
    EXPECT_EQ(settings.result(), QDialog::Accepted);
    const IniFile ini(module.paths.IniPath);
    EXPECT_EQ(ini.read(QStringLiteral("Misc"), QStringLiteral("RouterKind")),
              QStringLiteral("upnp"));
    EXPECT_EQ(ini.read(QStringLiteral("Misc"), QStringLiteral("LanPrivateIP")),
              QStringLiteral("http://192.0.2.1:5000/rootDesc.xml"));
    EXPECT_TRUE(ini.read(QStringLiteral("Misc"), QStringLiteral("Password")).isEmpty());

    // Back to the web pages, the password is required again.
    frmSettings web(module, prompts, log, {});
    web.cboRouterKind->setCurrentIndex(web.cboRouterKind->findData(QStringLiteral("web")));
    web.btnSave_Click();
    ASSERT_EQ(prompts.boxes.size(), 1);
    EXPECT_EQ(prompts.boxes[0].text, QStringLiteral("This program requires your router password"));
}

TEST(UpnpWindow, SettingsTurnTheLoginStartOnAndOff) {
    TempHome home;
    Module module;
    module.paths = LocalPaths::inFolder(home.path());
    module.settings.RouterKind = QStringLiteral("upnp");
    RecordingPrompts prompts;
    NowClock clock;
    ActivityLog log(module.paths, prompts, clock);
    const Autostart autostart(home.file(QStringLiteral("autostart")));
    for (const bool on : {true, false}) {
        frmSettings settings(module, prompts, log, {});
        settings.setAutostart(autostart);
        EXPECT_EQ(settings.chkStartAtLogin->isChecked(), !on);
        settings.chkStartAtLogin->setChecked(on);
        settings.btnSave_Click();
        EXPECT_EQ(settings.result(), QDialog::Accepted);
        EXPECT_EQ(autostart.enabled(), on);
    }
    // A folder that cannot be made: said, and the dialog stays open.
    home.write(QStringLiteral("file"), "x");
    frmSettings settings(module, prompts, log, {});
    settings.setAutostart(Autostart(home.file(QStringLiteral("file/autostart"))));
    settings.chkStartAtLogin->setChecked(true);
    settings.btnSave_Click();
    EXPECT_NE(settings.result(), QDialog::Accepted);
    ASSERT_EQ(prompts.boxes.size(), 1);
    EXPECT_TRUE(prompts.boxes[0].text.contains(home.file(QStringLiteral("file/autostart"))));
}

TEST(UpnpWindow, AFirstStartAsksWhereTheRouterIsAndLooksThere) {
    UpnpWindow w({}, "127.0.0.1:9"); // where the catalog guesses, nothing answers
    w.window.firstStart = true;
    const QString router = QStringLiteral("127.0.0.1:%1").arg(w.sim.ssdpPort());
    whenShown<frmSettings>([&](frmSettings* s) {
        s->txtLanIpAddress->setText(router);
        s->btnSave_Click();
    });
    ASSERT_TRUE(w.window.Form_Load(w.home.path()));
    w.window.Timer1_Timer();
    EXPECT_EQ(w.exits, 0);
    EXPECT_EQ(w.window.lblWanIpAddress->text(), QStringLiteral("11.22.33.44"));
}

TEST(UpnpWindow, PinholesBesideTheForwardsAreCountedApart) {
    UpnpSimOptions ipv6;
    ipv6.ipv6 = true;
    UpnpWindow w("Ipv6Address=::1\r\n", {}, ipv6);
    ASSERT_TRUE(w.window.Form_Load(w.home.path()));
    w.window.Timer1_Timer();
    w.window.lbApps().setSelected(0, true);
    w.window.btnPoint_Click();
    ASSERT_EQ(w.sim.pinholes().size(), 2);
    EXPECT_EQ(w.window.lblStatus->text(), QStringLiteral("2 forwards and 2 IPv6 pinholes made"));
    w.window.btnClearAllPoints_Click();
    EXPECT_EQ(w.window.lblStatus->text(), QStringLiteral("2 forwards and 2 IPv6 pinholes removed"));
}

// Help opens beside the window, not over it.
TEST(UpnpWindow, HelpIsNotModal) {
    UpnpWindow w;
    ASSERT_TRUE(w.window.Form_Load(w.home.path()));
    w.window.show();
    QTimer::singleShot(0, [] {
        if (QWidget* modal = QApplication::activeModalWidget())
            modal->close();
    });
    w.window.mnuHelp_Click();
    const auto* help = w.window.findChild<HelpWindow*>();
    ASSERT_NE(help, nullptr);
    EXPECT_TRUE(help->isVisible());
    EXPECT_FALSE(help->isModal());
    EXPECT_TRUE(w.window.isVisible());
}
