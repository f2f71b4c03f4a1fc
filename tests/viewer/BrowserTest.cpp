// SPDX-License-Identifier: GPL-3.0-or-later
#include "viewer/RouterScreens.h"

#include "router/web/PageCapture.h"

#include "RouterRig.h"
#include "RouterSimulator.h"
#include "TempHome.h"

#include <QApplication>
#include <QDialog>
#include <QTcpServer>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

QWidget* childWithToolTip(QWidget* parent, const QString& toolTip) {
    for (QWidget* w : parent->findChildren<QWidget*>())
        if (w->toolTip() == toolTip)
            return w;
    return nullptr;
}

TEST(RouterScreenWindow, ShowsTheCaptureOfflineAndFetchesNothing) {
    QTcpServer bait;
    ASSERT_TRUE(bait.listen(QHostAddress::LocalHost, 0));
    int connections = 0;
    QObject::connect(&bait, &QTcpServer::newConnection, [&] { ++connections; });
    const QByteArray url = "http://127.0.0.1:" + QByteArray::number(bait.serverPort());

    TempHome home;
    home.write(QStringLiteral("Harborly.htm"), "<html><body><h1>Forwarding</h1><img src=\"" + url +
                                                   "/i.gif\">"
                                                   "<link rel=stylesheet href=\"" +
                                                   url +
                                                   "/s.css\">"
                                                   "<script src=\"" +
                                                   url +
                                                   "/s.js\"></script>"
                                                   "<iframe src=\"" +
                                                   url +
                                                   "/f.htm\"></iframe>"
                                                   "<meta http-equiv=refresh content=\"0; url=" +
                                                   url +
                                                   "/r.htm\">"
                                                   "</body></html>\r\n");

    RouterRig rig(QStringLiteral("127.0.0.1:9"));
    rig.module.paths = LocalPaths::inFolder(home.path());
    ScreenCapture capture(rig.module, rig.view, rig.link);
    RouterScreens screens(rig.module, [&capture](bool dmz) {
        return dmz ? capture.GetDMZScreen() : capture.GetForwardPortsScreen();
    });
    ASSERT_TRUE(screens.webViewAvailable()) << "the web view module did not load";
    std::unique_ptr<QDialog> browser(screens.createBrowser(nullptr));
    browser->show();
    QTRY_COMPARE_WITH_TIMEOUT(browser->windowTitle(), QStringLiteral("Harborly - Browser Offline"),
                              30000);
    EXPECT_NE(
        childWithToolTip(browser.get(), QStringLiteral("Read-only port forwarding router screen")),
        nullptr);
    QTest::qWait(1500); // room for a late request to show up
    EXPECT_EQ(connections, 0);
}

TEST(RouterScreenWindow, OpensModallyWithTheDialogInFrontAndAfterAFailedFetch) {
    TempHome home;
    home.write(QStringLiteral("Harborly.htm"), "<html>earlier capture</html>");
    RouterRig rig(QStringLiteral("127.0.0.1:9"));
    rig.module.paths = LocalPaths::inFolder(home.path());
    QWidget mainWindow;
    ScreenCapture capture(rig.module, rig.view, rig.link);
    RouterScreens screens(rig.module, [&capture](bool dmz) {
        return dmz ? capture.GetDMZScreen() : capture.GetForwardPortsScreen();
    });
    bool activeWhileOpen = false;
    QObject* frontWhileOpen = nullptr;
    QTimer::singleShot(200, [&] {
        activeWhileOpen = rig.module.DialogActive;
        frontWhileOpen = rig.module.FrontWindow;
        if (QWidget* modal = QApplication::activeModalWidget())
            modal->close();
    });
    screens.Show(RouterScreens::Screen::Dmz, &mainWindow);
    EXPECT_EQ(rig.view.status, QStringLiteral("Failed"));
    EXPECT_TRUE(activeWhileOpen);
    EXPECT_NE(frontWhileOpen, nullptr);
    EXPECT_NE(frontWhileOpen, &mainWindow);
    EXPECT_FALSE(rig.module.DialogActive);
    EXPECT_EQ(rig.module.FrontWindow, &mainWindow);
}

} // namespace
