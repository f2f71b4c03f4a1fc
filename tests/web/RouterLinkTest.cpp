// SPDX-License-Identifier: GPL-3.0-or-later
#include "router/web/RouterLink.h"

#include "router/ListOps.h"
#include "router/net/RouterAddress.h"

#include "CannedServer.h"
#include "RouterRig.h"

#include <gtest/gtest.h>

namespace {

const QByteArray kPage = "HTTP/1.0 200 OK\r\n\r\n<html>MAC Address: x</html>";

QByteArray base64(const QByteArray& text) {
    return text.toBase64();
}

TEST(RouterRequestBytes, PageFormHasHostAndKeepAlive) {
    RouterRig rig(QStringLiteral("192.168.1.1"));
    EXPECT_EQ(rig.link.BuildRequest(QStringLiteral("GET /Status.htm HTTP/1.1"), true),
              "GET /Status.htm HTTP/1.1\rHost: 192.168.1.1\rConnection: Keep-Alive\r"
              "Authorization: Basic " +
                  base64(":admin") + "\r\r");
}

TEST(RouterRequestBytes, CommandFormHasBareAddressAndNoConnectionLine) {
    RouterRig rig(QStringLiteral("127.0.0.1:8080"));
    const QByteArray r =
        rig.link.BuildRequest(QStringLiteral("GET /Gozila.cgi?exIP3=0 HTTP/1.1"), false);
    EXPECT_EQ(r, "GET /Gozila.cgi?exIP3=0 HTTP/1.1\r127.0.0.1:8080\rAuthorization: Basic " +
                     base64(":admin") + "\r\r");
    EXPECT_FALSE(r.contains('\n'));
    EXPECT_FALSE(r.contains("Connection"));
}

TEST(RouterRequestBytes, EmptyPasswordEncodesTheColonAlone) {
    RouterRig rig(QStringLiteral("127.0.0.1:1"));
    rig.module.settings.Password.clear();
    EXPECT_TRUE(rig.link.BuildRequest(QStringLiteral("GET / HTTP/1.1"), true)
                    .contains("Authorization: Basic Og==\r\r"));
}

TEST(RouterRequestBytes, LongPasswordStaysOnOneHeaderLine) {
    RouterRig rig(QStringLiteral("127.0.0.1:1"));
    rig.module.settings.Password = QString(120, QLatin1Char('p'));
    const QByteArray r = rig.link.BuildRequest(QStringLiteral("GET / HTTP/1.1"), true);
    EXPECT_FALSE(r.contains('\n'));
    EXPECT_TRUE(r.contains("Authorization: Basic " + base64(":" + QByteArray(120, 'p')) + "\r\r"));
}

TEST(RouterRequestBytes, Windows1252AndNothingForACharacterItLacks) {
    RouterRig rig(QStringLiteral("127.0.0.1:8080"));
    EXPECT_TRUE(
        rig.link.BuildRequest(QStringLiteral("GET /Gozila.cgi?V_nameJ=a€–“” HTTP/1.1"), false)
            .startsWith("GET /Gozila.cgi?V_nameJ=a\x80\x96\x93\x94 HTTP/1.1\r"));
    for (const QString& line : {QStringLiteral("GET /Gozila.cgi?V_nameJ=Zło HTTP/1.1"),
                                QStringLiteral("GET /Gozila.cgi?V_nameJ=\U0001F600 HTTP/1.1")})
        EXPECT_TRUE(rig.link.BuildRequest(line, false).isEmpty()) << line.toStdString();
}

TEST(RouterExchange, CollectsTheWholeAnswerAndLeavesTheWindowLocked) {
    CannedServer router(kPage);
    RouterRig rig(router.hostAndPort());
    ASSERT_TRUE(rig.link.SendRouterRequest(QStringLiteral("GET /Status.htm HTTP/1.1"),
                                           QStringLiteral("Req Ver"), true));
    EXPECT_EQ(rig.link.RouterResponse, kPage);
    EXPECT_EQ(rig.view.status, QStringLiteral("Req Ver"));
    EXPECT_FALSE(rig.view.controlsEnabled);
    EXPECT_EQ(rig.module.LocalIpAddress, QStringLiteral("127.0.0.1"));
    EXPECT_EQ(rig.socket.State(), SocketState::Closed);
    ASSERT_EQ(router.requests.size(), 1);
    EXPECT_EQ(router.requests[0],
              rig.link.BuildRequest(QStringLiteral("GET /Status.htm HTTP/1.1"), true));
}

TEST(RouterExchange, AnswerInPiecesArrivesWhole) {
    QByteArray big = "HTTP/1.0 200 OK\r\n\r\n" + QByteArray(200000, 'x') + "END";
    CannedServer router(big);
    router.setPieces(7);
    RouterRig rig(router.hostAndPort());
    ASSERT_TRUE(rig.link.SendRouterRequest(QStringLiteral("GET /Forward.htm HTTP/1.1"),
                                           QStringLiteral("Query Slots"), true));
    EXPECT_EQ(rig.link.RouterResponse, big);
}

TEST(RouterExchange, AnswerThatClosesFinishesWithinAFewPasses) {
    CannedServer router(kPage);
    RouterRig rig(router.hostAndPort(), std::chrono::seconds(5));
    ASSERT_TRUE(
        rig.link.SendRouterRequest(QStringLiteral("GET / HTTP/1.1"), QStringLiteral("x"), true));
    // Every pass ends early on a state change, so a long pass length is never waited out.
    EXPECT_LE(rig.pump.passes(), 6);
}

TEST(RouterExchange, RefusedConnectionFailsAtOnceAndUnlocks) {
    RouterRig rig(ClosedLoopbackPort());
    EXPECT_FALSE(rig.link.SendRouterRequest(QStringLiteral("GET / HTTP/1.1"),
                                            QStringLiteral("Req Ver"), true));
    EXPECT_EQ(rig.view.status, QStringLiteral("Failed"));
    EXPECT_TRUE(rig.view.controlsEnabled);
    EXPECT_LT(rig.pump.passes(), RouterLink::MaxPasses);
}

TEST(RouterExchange, RouterThatNeverClosesFailsAfterTwentyFivePasses) {
    CannedServer router(kPage, CannedServer::Ending::KeepOpen);
    RouterRig rig(router.hostAndPort());
    EXPECT_FALSE(
        rig.link.SendRouterRequest(QStringLiteral("GET / HTTP/1.1"), QStringLiteral("x"), false));
    EXPECT_EQ(rig.view.status, QStringLiteral("Failed"));
    EXPECT_TRUE(rig.view.controlsEnabled);
    EXPECT_GE(rig.pump.passes(), RouterLink::MaxPasses);
    EXPECT_LE(rig.pump.passes(), 2 * RouterLink::MaxPasses);
    EXPECT_EQ(rig.link.RouterResponse, kPage);
    EXPECT_EQ(rig.socket.State(), SocketState::Closed);
}

TEST(RouterExchange, EndlessAnswerIsCutOffAsFailed) {
    CannedServer router(QByteArray(RouterLink::MaxResponseBytes + 10, 'a'),
                        CannedServer::Ending::KeepOpen);
    RouterRig rig(router.hostAndPort());
    EXPECT_FALSE(
        rig.link.SendRouterRequest(QStringLiteral("GET / HTTP/1.1"), QStringLiteral("x"), true));
    EXPECT_EQ(rig.view.status, QStringLiteral("Failed"));
    EXPECT_LE(rig.link.RouterResponse.size(), RouterLink::MaxResponseBytes);
}

TEST(RouterExchange, CommandRequestDoesNotTouchTheLocalAddress) {
    CannedServer router(kPage);
    RouterRig rig(router.hostAndPort());
    rig.module.LocalIpAddress = QStringLiteral("10.0.0.7");
    ASSERT_TRUE(rig.link.SendRouterRequest(QStringLiteral("GET /Gozila.cgi HTTP/1.1"),
                                           QStringLiteral("x"), false));
    EXPECT_EQ(rig.module.LocalIpAddress, QStringLiteral("10.0.0.7"));
}

TEST(RouterExchange, InvalidAddressFailsWithoutConnecting) {
    RouterRig rig(QStringLiteral("127.0.0.1:99999"));
    EXPECT_FALSE(
        rig.link.SendRouterRequest(QStringLiteral("GET / HTTP/1.1"), QStringLiteral("x"), true));
    EXPECT_EQ(rig.view.status, QStringLiteral("Failed"));
    EXPECT_EQ(rig.pump.passes(), 0);
}

TEST(RemoveSpacesTest, RemovesOnlySpaces) {
    EXPECT_EQ(RemoveSpaces(QByteArray("a b  c\td\r\ne ")), QByteArray("abc\td\r\ne"));
    EXPECT_EQ(RemoveSpaces(QString()), QString());
    EXPECT_EQ(RemoveSpaces(QStringLiteral("Web Server")), QStringLiteral("WebServer"));
}

} // namespace
