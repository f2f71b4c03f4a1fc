// SPDX-License-Identifier: GPL-3.0-or-later
#include "RouterSimulator.h"
#include "SimHttp.h"

#include "QtPrint.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTcpSocket>
#include <QTest>

#include <gtest/gtest.h>

namespace {

QByteArray auth(const QByteArray& password) {
    return "Authorization: Basic " + (":" + password).toBase64();
}

QByteArray get(const QByteArray& target, const QByteArray& eol = "\r",
               const QByteArray& password = "admin") {
    return "GET " + target + " HTTP/1.1" + eol + "Host: 127.0.0.1" + eol + auth(password) + eol +
           eol;
}

// Sends the bytes and collects the answer until the router closes (or the bound runs out).
QByteArray exchange(RouterSimulator& router, const QByteArray& request, bool* closed = nullptr) {
    QTcpSocket s;
    s.connectToHost(QHostAddress::LocalHost, router.port());
    if (!s.waitForConnected(5000))
        return {};
    s.write(request);
    QByteArray reply;
    bool gone = false;
    QObject::connect(&s, &QTcpSocket::disconnected, [&] { gone = true; });
    for (int i = 0; i < 100 && !gone; ++i) {
        QTest::qWait(20);
        reply += s.readAll();
    }
    reply += s.readAll();
    if (closed)
        *closed = gone;
    return reply;
}

class SimTest : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(router.listen()); }
    RouterSimulator router;
};

TEST_F(SimTest, StatusPageCarriesTheMarkers) {
    const QByteArray page = exchange(router, get("/Status.htm"));
    EXPECT_TRUE(page.startsWith("HTTP/1.0 200 OK"));
    const QByteArray flat = QByteArray(page).replace(" ", "");
    EXPECT_TRUE(flat.contains("MACAddress:"));
    EXPECT_EQ(flat.count("IPAddress:"), 2);
    EXPECT_TRUE(flat.contains("FirmwareVersion"));
    EXPECT_TRUE(page.contains(router.wanAddress().toLatin1()));
}

TEST_F(SimTest, WrongOrMissingPasswordGetsA401WithoutMarkers) {
    for (const QByteArray& request :
         {get("/Status.htm", "\r", "wrong"), QByteArray("GET /Status.htm HTTP/1.1\r\r")}) {
        const QByteArray page = exchange(router, request);
        EXPECT_TRUE(page.startsWith("HTTP/1.0 401")) << page.toStdString();
        EXPECT_FALSE(page.contains("MAC"));
        EXPECT_FALSE(page.contains("successful"));
    }
}

TEST_F(SimTest, AcceptsEveryLineEnd) {
    for (const QByteArray& eol : {QByteArray("\r"), QByteArray("\r\n"), QByteArray("\n")})
        EXPECT_TRUE(exchange(router, get("/Forward.htm", eol)).contains("V_nameJ"));
    EXPECT_EQ(router.requests().size(), 3);
}

TEST_F(SimTest, WaitsForTheLastLineFeedOfACrLfRequest) {
    QTcpSocket s;
    s.connectToHost(QHostAddress::LocalHost, router.port());
    ASSERT_TRUE(s.waitForConnected(5000));
    const QByteArray request = get("/Status.htm", "\r\n");
    s.write(request.chopped(1));
    s.flush();
    QTest::qWait(100);
    EXPECT_TRUE(router.requests().isEmpty());
    s.write("\n");
    QTRY_VERIFY_WITH_TIMEOUT(!router.requests().isEmpty(), 5000);
    QTRY_VERIFY_WITH_TIMEOUT(s.bytesAvailable() > 0 || s.state() != QAbstractSocket::ConnectedState,
                             5000);
    EXPECT_TRUE(s.readAll().contains("MAC Address"));
}

TEST_F(SimTest, CommandFormWithBareAddressLineIsUnderstood) {
    const QByteArray request =
        "GET /Gozila.cgi?exIP3=77 HTTP/1.1\r127.0.0.1:80\r" + auth("admin") + "\r\r";
    EXPECT_TRUE(exchange(router, request).contains("successful"));
    EXPECT_EQ(router.dmzHost(), QStringLiteral("77"));
    EXPECT_TRUE(exchange(router, get("/DMZ.htm")).contains("value=77>"));
    exchange(router, get("/Gozila.cgi?exIP3=0"));
    EXPECT_EQ(router.dmzHost(), QStringLiteral("0"));
}

TEST_F(SimTest, ForwardGroupsChangeTheSlotsAndThePage) {
    exchange(router, get("/Gozila.cgi?V_nameJ=ChatApp&V_portJS=6660&V_portJE=6670&V_proJTCP=1"
                         "&V_proJUDP=0&V_ipJ3=100&V_validJ=1?V_nameI=GameNet1&V_portIS=27015"
                         "&V_portIE=27030&V_proITCP=1&V_proIUDP=1&V_ipI3=100&V_validI=1"));
    const SimForward j{QStringLiteral("ChatApp"), 6660, 6670, true, false,
                       QStringLiteral("100"),     true};
    EXPECT_EQ(router.forwards()[9], j);
    EXPECT_EQ(router.forwards()[8].name, QStringLiteral("GameNet1"));
    EXPECT_TRUE(router.forwards()[8].udp);
    const QByteArray flat = exchange(router, get("/Forward.htm")).replace(" ", "");
    EXPECT_TRUE(flat.contains("name=V_validJcheckedvalue=1>"));
    EXPECT_TRUE(flat.contains("name=V_nameJsize=12maxlength=12value=ChatApp>"));
    EXPECT_TRUE(flat.contains("name=V_validAvalue=1>"));
}

TEST_F(SimTest, ClearAllEmptiesEverySlot) {
    router.setForward(
        0, SimForward{QStringLiteral("Other"), 1, 2, true, true, QStringLiteral("5"), true});
    QByteArray query = "/Gozila.cgi";
    for (char l = 'A'; l <= 'J'; ++l)
        query += QByteArray("?V_name") + l + "=\"\"&V_port" + l + "S=0&V_port" + l + "E=0&V_pro" +
                 l + "TCP=0&V_pro" + l + "UDP=0&V_ip" + l + "3=0&V_valid" + l + "=0";
    exchange(router, get(query));
    for (const SimForward& f : router.forwards()) {
        EXPECT_TRUE(f.name.isEmpty());
        EXPECT_FALSE(f.enabled);
    }
}

TEST_F(SimTest, QuotedFieldsVariantQuotesTheFieldNames) {
    SimOptions o;
    o.quotedFields = true;
    router.setOptions(o);
    EXPECT_TRUE(exchange(router, get("/Forward.htm")).contains("name=\"V_validA\""));
}

TEST_F(SimTest, KeepOpenAnswersButDoesNotClose) {
    SimOptions o;
    o.keepOpen = true;
    router.setOptions(o);
    bool closed = true;
    const QByteArray page = exchange(router, get("/Status.htm"), &closed);
    EXPECT_TRUE(page.contains("MAC"));
    EXPECT_FALSE(closed);
}

TEST_F(SimTest, SilentRecordsButNeverAnswers) {
    SimOptions o;
    o.silent = true;
    router.setOptions(o);
    bool closed = true;
    EXPECT_TRUE(exchange(router, get("/Status.htm"), &closed).isEmpty());
    EXPECT_FALSE(closed);
    EXPECT_EQ(router.requests().size(), 1);
}

TEST(RequestEndTest, FindsTheBlankLine) {
    EXPECT_EQ(RequestEnd("GET / HTTP/1.1\r\r"), 16);
    EXPECT_EQ(RequestEnd("GET / HTTP/1.1\r\n\r\nrest"), 18);
    EXPECT_EQ(RequestEnd("GET / HTTP/1.1\n\n"), 16);
    EXPECT_EQ(RequestEnd("GET / HTTP/1.1\r\nHost: x\r\n"), -1);
    EXPECT_EQ(RequestEnd("GET / HTTP/1.1\r"), -1);
    EXPECT_EQ(RequestEnd(""), -1);
}

TEST(RouterSimulatorBind, RefusesAnythingButLoopback) {
    RouterSimulator router;
    EXPECT_FALSE(router.listen(QHostAddress(QStringLiteral("0.0.0.0"))));
    EXPECT_FALSE(router.listen(QHostAddress(QStringLiteral("192.168.1.1"))));
}

TEST(RouterSimulatorProgram, PrintsItsAddressAndStopsOnTerm) {
    QProcess sim;
    sim.start(QStringLiteral(HARBORLY_SIM_EXE),
              {QStringLiteral("--listen"), QStringLiteral("127.0.0.1:0")});
    ASSERT_TRUE(sim.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(sim.canReadLine(), 10000);
    const QByteArray line = sim.readLine().trimmed();
    EXPECT_TRUE(line.startsWith("listening on 127.0.0.1:")) << line.toStdString();
    EXPECT_GT(line.mid(line.lastIndexOf(':') + 1).toInt(), 0);
    sim.terminate();
    ASSERT_TRUE(sim.waitForFinished(10000));
    EXPECT_EQ(sim.exitCode(), 0);
    EXPECT_TRUE(sim.readAllStandardOutput().isEmpty());
}

TEST(RouterSimulatorProgram, RefusesAPrivateAddress) {
    QProcess sim;
    sim.start(QStringLiteral(HARBORLY_SIM_EXE),
              {QStringLiteral("--listen"), QStringLiteral("192.168.1.1:80")});
    ASSERT_TRUE(sim.waitForFinished(10000));
    EXPECT_EQ(sim.exitCode(), 64);
}

} // namespace
