// SPDX-License-Identifier: GPL-3.0-or-later
// The window on the protocol kinds off the happy path: waits that can be seen and ended, no
// lock-out, a router that goes and comes back, and feedback that says what happened.
#include "ui/frmMain.h"

#include "Module.h"
#include "RecordingPrompts.h"
#include "TempHome.h"
#include "UpnpSimulator.h"
#include "config/ActivityLog.h"
#include "config/ProgramLauncher.h"
#include "platform/Clock.h"
#include "router/AppList.h"
#include "router/Router.h"
#include "ui/ActivityLogWindow.h"
#include "ui/WayInView.h"
#include "ui/frmCheck.h"
#include "ui/frmForwards.h"
#include "ui/frmLogin.h"
#include "ui/frmSettings.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

struct Launcher final : ProgramLauncher {
    bool starts = true;
    bool Run(const QString&, const QStringList&) override { return starts; }
};

struct NowClock final : Clock {
    QDateTime now() const override { return QDateTime::currentDateTimeUtc(); }
};

const QByteArray kTwoApps = "[Application1]\r\nName=Game Server\r\nPortRangeLow1=27015\r\n"
                            "PortRangeHigh1=27016\r\nProtocol1=udp\r\n"
                            "[Application2]\r\nName=Web Server\r\nPortRangeLow1=8080\r\n"
                            "PortRangeHigh1=8080\r\nProtocol1=tcp\r\n";

struct Window {
    explicit Window(UpnpSimOptions options = {}, QByteArray lan = {}, QByteArray kind = "upnp")
        : sim(options) {
        EXPECT_TRUE(sim.listen());
        if (lan.isEmpty())
            lan = "127.0.0.1:" + QByteArray::number(sim.ssdpPort());
        home.write(QStringLiteral("Harborly.ini"),
                   kTwoApps + "[Misc]\r\nRouterKind=" + kind + "\r\nLanPrivateIP=" + lan + "\r\n");
        window.ask = [this](const QString& text, const QString&, const QString&) {
            asked << text;
            return answer;
        };
    }
    bool start() {
        if (!window.Form_Load(home.path()))
            return false;
        window.Timer1_Timer();
        return true;
    }
    QString log() const { return QString::fromUtf8(home.read(QStringLiteral("Harborly.log"))); }

    TempHome home;
    UpnpSimulator sim;
    Module module;
    RecordingPrompts prompts;
    Launcher launcher;
    NowClock clock;
    int exits = 0;
    bool answer = true;
    QStringList asked;
    frmMain window{
        module, prompts, launcher, clock, [this] { ++exits; }, std::chrono::milliseconds(20)};
};

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

void settle() {
    for (int i = 0; i < 5; ++i)
        QApplication::processEvents();
}

} // namespace

TEST(WindowFeedback, AWaitShowsProgressAndACancelThatEndsIt) {
    Window w;
    ASSERT_TRUE(w.start());
    frmMain& m = w.window;
    EXPECT_FALSE(m.btnCancel->isVisible());

    m.EnableInterface(false, false); // an operation begins
    EXPECT_TRUE(m.busy());
    EXPECT_TRUE(m.isEnabled()); // Cancel and the close box still answer
    EXPECT_FALSE(m.btnPoint->isEnabled());
    EXPECT_FALSE(m.btnCancel->isHidden());
    m.showProgress(2, 5);
    EXPECT_EQ(m.lblStatus->text(), QStringLiteral("Forward 2 of 5"));
    EXPECT_FALSE(m.cancelRequested());
    m.btnCancel->click();
    EXPECT_TRUE(m.cancelRequested());
    m.EnableInterface(true, false);
    EXPECT_TRUE(m.btnCancel->isHidden());
    m.EnableInterface(false, false); // the next operation starts afresh
    EXPECT_FALSE(m.cancelRequested());
    m.EnableInterface(true, false);

    // End to end: Cancel during the first exchange gives that wait up at once.
    m.lbApps().setSelected(0, true);
    m.lbApps().setSelected(1, true);
    QTimer::singleShot(0, m.btnCancel, &QPushButton::click);
    m.btnPoint_Click();
    EXPECT_EQ(m.lblStatus->text(), QStringLiteral("Cancelled"));
    EXPECT_TRUE(w.sim.mappings().isEmpty());
}

TEST(WindowFeedback, TheCloseBoxDuringAWaitAsksAndClosesWhenItEnds) {
    struct Case {
        bool answer;
        int exitsAfter;
    };
    for (const Case c : {Case{false, 0}, Case{true, 1}}) {
        Window w;
        ASSERT_TRUE(w.start());
        w.answer = c.answer;
        w.window.EnableInterface(false, false);
        w.window.close();
        EXPECT_EQ(w.asked.size(), 1);
        EXPECT_EQ(w.window.cancelRequested(), c.answer);
        settle();
        EXPECT_EQ(w.exits, 0); // never while the exchange runs
        w.window.EnableInterface(true, false);
        settle();
        EXPECT_EQ(w.exits, c.exitsAfter) << c.answer;
    }
}

TEST(WindowFeedback, ARouterThatGoesAndComesBackIsShownAndLogged) {
    Window w;
    ASSERT_TRUE(w.start());
    w.window.routerAnswering(false, {});
    EXPECT_EQ(w.window.lblStatus->text(), QStringLiteral("Router not answering"));
    EXPECT_TRUE(w.window.lblStatus->toolTip().startsWith(
        QStringLiteral("The router stopped answering at")));
    EXPECT_EQ(w.window.SendStatus->text(), QStringLiteral("Waiting for the router"));
    w.window.routerAnswering(true, QStringLiteral("Router back; 3 forwards made again"));
    EXPECT_EQ(w.window.lblStatus->text(), QStringLiteral("Router back; 3 forwards made again"));
    const QString log = w.log();
    EXPECT_TRUE(log.contains(QStringLiteral("The router stopped answering at")))
        << log.toStdString();
    EXPECT_TRUE(log.contains(QStringLiteral("Router back; 3 forwards made again")));
}

TEST(WindowFeedback, PointAndClearSayWhatHappenedAndTheLogKeepsIt) {
    Window w;
    ASSERT_TRUE(w.start());
    w.window.lbApps().setSelected(0, true);
    w.window.lbApps().setSelected(1, true);
    w.window.btnPoint_Click();
    EXPECT_EQ(w.window.lblStatus->text(), QStringLiteral("3 forwards made"));
    w.window.btnClearAllPoints_Click();
    EXPECT_EQ(w.window.lblStatus->text(), QStringLiteral("All 3 forwards removed"));
    EXPECT_TRUE(w.sim.mappings().isEmpty());
    EXPECT_TRUE(w.log().contains(QStringLiteral("3 forwards made")));
    EXPECT_TRUE(w.log().contains(QStringLiteral("All 3 forwards removed")));
    // This computer's address toward the router, the router's in the tool tips.
    EXPECT_EQ(w.window.lblLanIpAddress->text(), QStringLiteral("127.0.0.1"));
    EXPECT_TRUE(w.window.sbFirmware->toolTip().contains(w.module.settings.LanPrivateIP));
    EXPECT_EQ(w.window.lbAppsWidget->item(0)->toolTip(), QStringLiteral("Ports: 27015-27016 UDP"));
}

TEST(WindowFeedback, ACarrierGradeNatWarningStaysAndPointToMeSaysSo) {
    UpnpSimOptions cgnat;
    cgnat.externalIp = QStringLiteral("100.64.1.2");
    Window w(cgnat);
    ASSERT_TRUE(w.start());
    ASSERT_EQ(w.prompts.boxes.size(), 1); // the pop-up
    EXPECT_FALSE(w.window.lblWanWarning->isHidden());
    EXPECT_FALSE(w.window.lblWanIpAddress->toolTip().isEmpty());
    w.window.lbApps().setSelected(0, true);
    w.window.btnPoint_Click();
    ASSERT_EQ(w.prompts.boxes.size(), 2);
    EXPECT_TRUE(w.prompts.boxes[1].text.contains(
        QStringLiteral("cannot reach this computer from the Internet")));
}

TEST(WindowFeedback, NoRouterOffersTheSettingsAndSavingLooksAgainAtOnce) {
    Window w({}, "127.0.0.1:9", "pcp"); // a closed port: refused at once
    ASSERT_TRUE(w.window.Form_Load(w.home.path()));
    const QString router = QStringLiteral("127.0.0.1:%1").arg(w.sim.ssdpPort());
    bool settingsShown = false;
    whenShown<frmSettings>([&](frmSettings* s) {
        settingsShown = true;
        s->cboRouterKind->setCurrentIndex(s->cboRouterKind->findData(QStringLiteral("upnp")));
        s->txtLanIpAddress->setText(router);
        s->btnSave_Click();
    });
    w.window.Timer1_Timer();
    ASSERT_EQ(w.asked.size(), 1);
    EXPECT_TRUE(w.asked[0].contains(QStringLiteral("127.0.0.1:9"))) << w.asked[0].toStdString();
    EXPECT_FALSE(w.prompts.boxes.isEmpty()); // the seeded failure message first
    EXPECT_EQ(w.exits, 0);
    settle();
    EXPECT_TRUE(settingsShown);
    w.window.Timer1_Timer();
    EXPECT_EQ(w.exits, 0);
    EXPECT_EQ(w.window.lblWanIpAddress->text(), QStringLiteral("11.22.33.44"));

    // Quit instead: the program ends as before.
    Window q({}, "127.0.0.1:9", "pcp");
    q.answer = false;
    ASSERT_TRUE(q.window.Form_Load(q.home.path()));
    q.window.Timer1_Timer();
    EXPECT_EQ(q.exits, 1);
}

TEST(WindowFeedback, WordsFitTheProtocolKinds) {
    Window w;
    ASSERT_TRUE(w.start());
    const QStringList tray = [&] {
        QStringList texts;
        for (QAction* a : w.window.trayMenu->actions())
            if (!a->isSeparator())
                texts << a->text();
        return texts;
    }();
    EXPECT_EQ(tray, (QStringList{"Show/Hide", "Point To Me", "Clear All Points", "Quit"}));
    EXPECT_EQ(w.window.mnuQuit->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));

    w.module.settings.Password = QStringLiteral("pw");
    frmLogin login(w.module, w.prompts);
    EXPECT_EQ(login.windowTitle(), QStringLiteral("Harborly Password"));
    EXPECT_TRUE(login.txtUserName->isHidden());

    struct Title {
        const char* kind;
        const char* title;
    };
    for (const Title t :
         {Title{"upnp", "Edit Router Settings"}, Title{"web", "Edit Router Configuration"}}) {
        w.module.settings.RouterKind = QString::fromLatin1(t.kind);
        ActivityLog log(w.module.paths, w.prompts, w.clock);
        frmSettings settings(w.module, w.prompts, log, {});
        EXPECT_EQ(settings.windowTitle(), QString::fromLatin1(t.title)) << t.kind;
        // Another kind picked in the dialog leaves the title as the menu named it.
        settings.cboRouterKind->setCurrentIndex(settings.cboRouterKind->findData(
            QString::fromLatin1(t.kind) == "web" ? QStringLiteral("upnp") : QStringLiteral("web")));
        EXPECT_EQ(settings.windowTitle(), QString::fromLatin1(t.title)) << t.kind;
    }

    ForwardEntry held;
    held.externalPort = held.externalPortEnd = held.internalPort = 8080;
    held.protocol = QStringLiteral("TCP");
    const frmForwards own({held, held}, {}, nullptr, true);
    EXPECT_TRUE(own.findChild<QLabel*>()->text().contains(
        QStringLiteral("This computer holds 2 forwards on the router")));

    // No editor: the message says so and names what was looked for.
    w.launcher.starts = false;
    const qsizetype before = w.prompts.boxes.size();
    w.window.mnuEditApps_Click();
    ASSERT_EQ(w.prompts.boxes.size(), before + 1);
    EXPECT_TRUE(w.prompts.boxes.back().text.contains(QStringLiteral("gedit")));
}

// A check's results stay in reach: a cue in the window opens them in Check Points, with the
// way in of the first port that needs something drawn; the activity log opens from the menu.
TEST(WindowFeedback, ACheckLeavesACueToItsResultsAndTheLogOpens) {
    Window w;
    ASSERT_TRUE(w.start());
    EXPECT_TRUE(w.window.btnCheckResults->isHidden());
    w.window.lbApps().setSelected(0, true);
    w.window.lbApps().setSelected(1, true);
    w.window.btnPoint_Click(); // nothing listens here in the test's namespace
    EXPECT_FALSE(w.window.btnCheckResults->isHidden());
    EXPECT_EQ(w.window.btnCheckResults->text(),
              QStringLiteral("3 of 3 ports need something — Show"));

    QList<Hop> hops;
    whenShown<frmCheck>([&](frmCheck* d) {
        hops = d->wayIn->way().hops;
        d->reject();
    });
    w.window.btnCheckResults->click();
    ASSERT_EQ(hops.size(), 4);
    EXPECT_EQ(hops[1].state, HopState::Open); // the router holds it
    EXPECT_EQ(hops[3].state, HopState::Blocked);
    EXPECT_EQ(hops[3].words, QStringLiteral("nothing on this computer listens on 27015"));

    QString shown;
    whenShown<ActivityLogWindow>([&](ActivityLogWindow* d) {
        shown = d->text->toPlainText();
        d->reject();
    });
    w.window.mnuActivityLog_Click();
    EXPECT_TRUE(shown.contains(QStringLiteral("Web Server 8080/TCP: forwarded, nothing on this "
                                              "computer listens on 8080")))
        << shown.toStdString();
    EXPECT_FALSE(shown.contains(QLatin1Char('\r')));

    w.window.btnClearAllPoints_Click();
    EXPECT_TRUE(w.window.btnCheckResults->isHidden());
}

TEST(WindowFeedback, APartlyRefusedPointToMeCountsLogsAndChecksWhatWasMade) {
    Window w; // ports below 1024 refused
    w.home.write(QStringLiteral("Harborly.ini"),
                 kTwoApps +
                     "[Application3]\r\nName=Mail\r\nPortRangeLow1=25\r\n"
                     "PortRangeHigh1=25\r\nProtocol1=tcp\r\n[Misc]\r\nRouterKind=upnp\r\n"
                     "LanPrivateIP=127.0.0.1:" +
                     QByteArray::number(w.sim.ssdpPort()) + "\r\n");
    ASSERT_TRUE(w.start());
    for (int row = 0; row < 3; ++row)
        w.window.lbApps().setSelected(row, true);
    w.window.btnPoint_Click();
    EXPECT_EQ(w.window.lblStatus->text(), QStringLiteral("3 of 4 forwards made; 1 refused"));
    EXPECT_TRUE(w.log().contains(QStringLiteral("3 of 4 forwards made; 1 refused: 25/TCP (Mail)")))
        << w.log().toStdString();
    ASSERT_EQ(w.prompts.boxes.size(), 1);
    // The check ran for the three made, and only for them.
    const QString checked = w.window.lblStatus->toolTip();
    EXPECT_TRUE(checked.contains(QStringLiteral("Web Server 8080/TCP"))) << checked.toStdString();
    EXPECT_FALSE(checked.contains(QStringLiteral("Mail")));
}

// The close box at idle: where forwards lapse without this program, it asks (no tray here).
TEST(WindowFeedback, ClosingWhileForwardsDependOnTheWindowAsks) {
    struct Case {
        int igd;    // 1: permanent forwards, nothing lapses
        bool point; // forwards made first
        bool answer;
        int asked;
        int exits;
    };
    for (const Case c : {Case{2, true, false, 1, 0}, Case{2, true, true, 1, 1},
                         Case{2, false, false, 0, 1}, Case{1, true, false, 0, 1}}) {
        UpnpSimOptions o;
        o.igdVersion = c.igd;
        Window w(o);
        ASSERT_TRUE(w.start());
        if (c.point) {
            w.window.lbApps().setSelected(1, true);
            w.window.btnPoint_Click();
            w.window.Timer1_Timer(); // the keeper's round: this process renews them
        }
        w.answer = c.answer;
        w.window.close();
        settle();
        EXPECT_EQ(w.asked.size(), c.asked) << c.igd << c.point << c.answer;
        EXPECT_EQ(w.exits, c.exits) << c.igd << c.point << c.answer;
        if (c.asked == 1) {
            EXPECT_TRUE(w.asked[0].startsWith(QStringLiteral("Harborly keeps 1 forward open")));
        }
        // Quit always ends it.
        if (w.exits == 0)
            w.window.mnuQuit_Click();
        EXPECT_EQ(w.exits, 1);
    }
}

// Another kind in the settings: what the kind in use holds is removed or knowingly left.
TEST(WindowFeedback, ChangingTheKindOffersToRemoveWhatTheOldOneHolds) {
    for (const bool remove : {true, false}) {
        Window w;
        ASSERT_TRUE(w.start());
        w.window.lbApps().setSelected(1, true);
        w.window.btnPoint_Click();
        ASSERT_EQ(w.sim.mappings().size(), 1);
        w.answer = remove;
        whenShown<frmSettings>([](frmSettings* s) {
            s->cboRouterKind->setCurrentIndex(s->cboRouterKind->findData(QStringLiteral("pcp")));
            s->btnSave_Click();
        });
        w.window.mnuPassword_Click();
        ASSERT_EQ(w.asked.size(), 1) << remove;
        EXPECT_TRUE(w.asked[0].startsWith(QStringLiteral("Harborly holds 1 forward made")));
        EXPECT_EQ(w.sim.mappings().size(), remove ? 0 : 1);
        EXPECT_EQ(w.log().contains(QStringLiteral("left to lapse")), !remove);
        EXPECT_EQ(w.window.router().kindName(), QStringLiteral("pcp"));
    }
}

// A long status or WAN text takes its second line in room kept for it: the list stays put.
TEST(WindowFeedback, LongIndicatorTextsMoveNothing) {
    Window w;
    ASSERT_TRUE(w.start());
    w.window.show();
    settle();
    const int listAt = w.window.lbAppsWidget->mapTo(&w.window, QPoint()).y();
    w.window.setWanAddressCaption(QStringLiteral("11.22.33.44, IPv6 2001:db8:1234:5678::2"));
    w.window.setStatusCaption(QStringLiteral("Router back; 42 forwards made again"));
    settle();
    EXPECT_EQ(w.window.lbAppsWidget->mapTo(&w.window, QPoint()).y(), listAt);
    EXPECT_GE(w.window.lblStatus->height(), 2 * w.window.lblStatus->fontMetrics().lineSpacing());
}
