// SPDX-License-Identifier: GPL-3.0-or-later
#include "UpnpSimulator.h"

#include "QtPrint.h"

#include <QDeadlineTimer>
#include <QNetworkDatagram>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTest>
#include <QUdpSocket>

#include <gtest/gtest.h>

#include <utility>

namespace {

using Args = QList<std::pair<QByteArray, QByteArray>>;

const QByteArray Igd2 = "urn:schemas-upnp-org:service:WANIPConnection:2";

// Sends the bytes and collects the answer until the router closes (or the bound runs out).
QByteArray exchange(quint16 port, const QByteArray& request) {
    QTcpSocket s;
    s.connectToHost(QHostAddress::LocalHost, port);
    if (!s.waitForConnected(5000))
        return {};
    s.write(request);
    QByteArray reply;
    QDeadlineTimer bound(5000);
    while (s.state() != QAbstractSocket::UnconnectedState && !bound.hasExpired()) {
        QTest::qWait(2);
        reply += s.readAll();
    }
    return reply + s.readAll();
}

QByteArray envelope(const QByteArray& action, const Args& args, const QByteArray& st) {
    QByteArray inner;
    for (const auto& [name, value] : args)
        inner += "<" + name + ">" + value + "</" + name + ">";
    return "<?xml version=\"1.0\"?>\r\n<s:Envelope "
           "xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\" "
           "s:encodingStyle=\"http://schemas.xmlsoap.org/soap/encoding/\"><s:Body><u:" +
           action + " xmlns:u=\"" + st + "\">" + inner + "</u:" + action +
           "></s:Body></s:Envelope>";
}

QByteArray post(quint16 port, const QByteArray& body, const QByteArray& soapAction) {
    return "POST /ctl/IPConn HTTP/1.1\r\nHost: 127.0.0.1:" + QByteArray::number(port) +
           "\r\nContent-Type: text/xml; charset=\"utf-8\"\r\nContent-Length: " +
           QByteArray::number(body.size()) + "\r\nSOAPAction: " + soapAction +
           "\r\nConnection: close\r\n\r\n" + body;
}

int statusOf(const QByteArray& reply) {
    return reply.startsWith("HTTP/1.1 ") ? reply.mid(9, 3).toInt() : 0;
}

// The fault's UPnP error code, 0 for a success, -status for an answer that is neither.
int codeOf(const QByteArray& reply) {
    const int status = statusOf(reply);
    if (status == 200)
        return 0;
    const auto m = QRegularExpression(QStringLiteral("<errorCode>(\\d+)</errorCode>"))
                       .match(QString::fromLatin1(reply));
    return status == 500 && m.hasMatch() ? m.captured(1).toInt() : -status;
}

QString valueOf(const QByteArray& reply, const char* name) {
    const auto m = QRegularExpression(QStringLiteral("<%1>([^<]*)</%1>").arg(QLatin1String(name)))
                       .match(QString::fromUtf8(reply));
    return m.hasMatch() ? m.captured(1) : QStringLiteral("<absent>");
}

Args addArgs(const QByteArray& port, const QByteArray& lease = "3600",
             const QByteArray& client = "127.0.0.1", const QByteArray& protocol = "TCP") {
    return {{"NewRemoteHost", ""},
            {"NewExternalPort", port},
            {"NewProtocol", protocol},
            {"NewInternalPort", port},
            {"NewInternalClient", client},
            {"NewEnabled", "1"},
            {"NewPortMappingDescription", "Harborly: Web server"},
            {"NewLeaseDuration", lease}};
}

Args key(const QByteArray& port, const QByteArray& protocol = "TCP") {
    return {{"NewRemoteHost", ""}, {"NewExternalPort", port}, {"NewProtocol", protocol}};
}

class UpnpSimTest : public testing::Test {
protected:
    void SetUp() override {
        sim.setClock([this] { return clock; });
        ASSERT_TRUE(sim.listen());
    }
    void reconfigure(const std::function<void(UpnpSimOptions&)>& change) {
        UpnpSimOptions o = sim.options();
        change(o);
        sim.setOptions(o);
    }
    QByteArray call(const QByteArray& action, const Args& args = {}) {
        const QByteArray st = sim.serviceType().toLatin1();
        return exchange(sim.httpPort(), post(sim.httpPort(), envelope(action, args, st),
                                             "\"" + st + "#" + action + "\""));
    }
    QByteArray entry(int index) {
        return call("GetGenericPortMappingEntry",
                    {{"NewPortMappingIndex", QByteArray::number(index)}});
    }
    QList<QByteArray> search(const QByteArray& datagram) {
        QUdpSocket s;
        if (!s.bind(QHostAddress::LocalHost, 0))
            return {};
        s.writeDatagram(datagram, QHostAddress::LocalHost, sim.ssdpPort());
        QList<QByteArray> replies;
        QDeadlineTimer bound(5000);
        while (replies.isEmpty() && !bound.hasExpired()) {
            QTest::qWait(2);
            while (s.hasPendingDatagrams()) {
                const QNetworkDatagram d = s.receiveDatagram();
                lastSenderPort = static_cast<quint16>(d.senderPort());
                replies << d.data();
            }
        }
        return replies;
    }

    qint64 clock = 1000;
    quint16 lastSenderPort = 0;
    UpnpSimulator sim;
};

QByteArray mSearch(const QByteArray& st, const QByteArray& man = "\"ssdp:discover\"",
                   const QByteArray& eol = "\r\n") {
    return "M-SEARCH * HTTP/1.1" + eol + "HOST: 239.255.255.250:1900" + eol + "MAN: " + man + eol +
           "MX: 2" + eol + "ST: " + st + eol + eol;
}

QByteArray headerOf(const QByteArray& reply, const QByteArray& name) {
    for (const QByteArray& line : reply.split('\n')) {
        if (line.startsWith(name + ":"))
            return line.mid(name.size() + 1).trimmed();
    }
    return "<absent>";
}

// --- discovery -------------------------------------------------------------------------------

TEST_F(UpnpSimTest, AnswersAUnicastSearchFromItsPortWithTheDescriptionsAddress) {
    const QList<QByteArray> replies =
        search(mSearch("urn:schemas-upnp-org:device:InternetGatewayDevice:1"));
    ASSERT_EQ(replies.size(), 1);
    EXPECT_TRUE(replies[0].startsWith("HTTP/1.1 200 OK\r\n"));
    EXPECT_TRUE(replies[0].endsWith("\r\n\r\n"));
    EXPECT_EQ(lastSenderPort, sim.ssdpPort());
    EXPECT_EQ(headerOf(replies[0], "ST"), "urn:schemas-upnp-org:device:InternetGatewayDevice:1");
    EXPECT_EQ(headerOf(replies[0], "LOCATION"),
              "http://127.0.0.1:" + QByteArray::number(sim.httpPort()) + "/rootDesc.xml");
    EXPECT_EQ(headerOf(replies[0], "USN"),
              sim.udn().toLatin1() + "::urn:schemas-upnp-org:device:InternetGatewayDevice:1");
    EXPECT_EQ(headerOf(replies[0], "BOOTID.UPNP.ORG"), "1");
}

TEST_F(UpnpSimTest, SearchTargetsAnsweredByVersion) {
    const QByteArray igd = "urn:schemas-upnp-org:device:InternetGatewayDevice:";
    const QByteArray ip = "urn:schemas-upnp-org:service:WANIPConnection:";
    struct Case {
        int version;
        QByteArray st;
        int replies;
    };
    for (const Case& c :
         {Case{2, igd + "1", 1}, Case{2, igd + "2", 1}, Case{1, igd + "2", 0}, Case{1, ip + "1", 1},
          Case{1, ip + "2", 0}, Case{2, "ssdp:all", 4}, Case{2, "upnp:rootdevice", 1},
          Case{2, "urn:schemas-upnp-org:service:WANPPPConnection:1", 1},
          Case{2, "urn:schemas-upnp-org:device:MediaServer:1", 0}}) {
        reconfigure([&](UpnpSimOptions& o) { o.igdVersion = c.version; });
        const QList<QByteArray> replies = sim.respondSsdp(mSearch(c.st));
        EXPECT_EQ(replies.size(), c.replies) << c.st.toStdString() << " v" << c.version;
        if (c.replies == 1) {
            EXPECT_EQ(headerOf(replies[0], "ST"), c.st);
        }
    }
}

TEST_F(UpnpSimTest, MalformedSearchesGetNoAnswer) {
    const QByteArray st = "upnp:rootdevice";
    for (const QByteArray& bad :
         {mSearch(st, "ssdp:discover"), mSearch(st).chopped(2),
          QByteArray(mSearch(st)).replace("M-SEARCH * HTTP/1.1", "M-SEARCH / HTTP/1.1"),
          QByteArray(mSearch(st)).replace("HOST: 239.255.255.250:1900\r\n", ""),
          QByteArray("NOTIFY * HTTP/1.1\r\nHOST: x\r\nNTS: ssdp:alive\r\n\r\n")})
        EXPECT_TRUE(sim.respondSsdp(bad).isEmpty()) << bad.toStdString();
    EXPECT_EQ(sim.respondSsdp(mSearch(st, "\"ssdp:discover\"", "\n")).size(), 1);
    EXPECT_EQ(sim.respondSsdp(mSearch(st).replace("ST:", "st:").replace("MAN:", "man:")).size(), 1);
}

TEST_F(UpnpSimTest, SilentDiscoveryDropsSearchesUntilTurnedBack) {
    reconfigure([](UpnpSimOptions& o) { o.ssdpSilent = true; });
    QUdpSocket s;
    ASSERT_TRUE(s.bind(QHostAddress::LocalHost, 0));
    s.writeDatagram(mSearch("upnp:rootdevice"), QHostAddress::LocalHost, sim.ssdpPort());
    QTest::qWait(50); // the datagram is already queued: this lets the router read it
    reconfigure([](UpnpSimOptions& o) { o.ssdpSilent = false; });
    // Datagrams on loopback keep their order: the first answer must be to the second search.
    s.writeDatagram(mSearch(sim.udn().toLatin1()), QHostAddress::LocalHost, sim.ssdpPort());
    QTRY_VERIFY_WITH_TIMEOUT(s.hasPendingDatagrams(), 5000);
    EXPECT_EQ(headerOf(s.receiveDatagram().data(), "ST"), sim.udn().toLatin1());
}

TEST_F(UpnpSimTest, LocationHostAndLineEndsFollowTheOptions) {
    reconfigure([](UpnpSimOptions& o) {
        o.locationHost = QStringLiteral("127.0.0.2");
        o.ssdpBareLf = true;
        o.bootId = 7;
    });
    const QByteArray reply = sim.respondSsdp(mSearch("upnp:rootdevice")).value(0);
    EXPECT_FALSE(reply.contains('\r'));
    EXPECT_TRUE(headerOf(reply, "LOCATION").startsWith("http://127.0.0.2:"));
    EXPECT_EQ(headerOf(reply, "BOOTID.UPNP.ORG"), "7");
}

// --- description and HTTP --------------------------------------------------------------------

TEST_F(UpnpSimTest, DescriptionNamesTheVersionedServiceAndItsControlUrl) {
    reconfigure([](UpnpSimOptions& o) { o.friendlyName = QStringLiteral("R&D <router>"); });
    for (const int v : {1, 2}) {
        reconfigure([v](UpnpSimOptions& o) { o.igdVersion = v; });
        const QByteArray reply =
            exchange(sim.httpPort(), "GET /rootDesc.xml HTTP/1.1\r\nHost: 127.0.0.1:" +
                                         QByteArray::number(sim.httpPort()) + "\r\n\r\n");
        EXPECT_EQ(statusOf(reply), 200);
        const QByteArray n = QByteArray::number(v);
        EXPECT_TRUE(reply.contains(
            "<deviceType>urn:schemas-upnp-org:device:InternetGatewayDevice:" + n + "<"));
        EXPECT_TRUE(
            reply.contains("<serviceType>urn:schemas-upnp-org:service:WANIPConnection:" + n +
                           "</serviceType><serviceId>urn:upnp-org:serviceId:"
                           "WANIPConn1</serviceId><SCPDURL>/IPConn.xml</SCPDURL>"
                           "<controlURL>/ctl/IPConn</controlURL>"));
        EXPECT_TRUE(reply.contains("<friendlyName>R&amp;D &lt;router&gt;</friendlyName>"));
        EXPECT_FALSE(reply.contains("<!DOCTYPE"));
    }
}

TEST_F(UpnpSimTest, StrictAboutTheRequestsForm) {
    const QByteArray port = QByteArray::number(sim.httpPort());
    const QByteArray body = envelope("GetExternalIPAddress", {}, Igd2);
    const QByteArray good = post(sim.httpPort(), body, "\"" + Igd2 + "#GetExternalIPAddress\"");
    const auto with = [&good](const QByteArray& from, const QByteArray& to) {
        return QByteArray(good).replace(from, to);
    };
    struct Case {
        const char* what;
        QByteArray request;
        int code;
    };
    const QByteArray dtd = "<!DOCTYPE x [<!ENTITY a \"b\">]>";
    for (const Case& c : {
             Case{"as sent by a careful client", good, 0},
             Case{"Host without port", with("Host: 127.0.0.1:" + port, "Host: 127.0.0.1"), -400},
             Case{"no Host", with("Host: 127.0.0.1:" + port + "\r\n", ""), -400},
             Case{"GET on control", with("POST", "GET"), -405},
             Case{"unknown path", with("/ctl/IPConn", "/ctl/Other"), -404},
             Case{"unquoted SOAPAction",
                  with("\"" + Igd2 + "#GetExternalIPAddress\"", Igd2 + "#GetExternalIPAddress"),
                  401},
             Case{"SOAPAction of another version", with(Igd2 + "#", Igd2.chopped(1) + "1#"), 401},
             Case{"body names another action", with("#GetExternalIPAddress", "#GetStatusInfo"),
                  401},
             Case{"not text/xml", with("text/xml", "application/soap+xml"), -415},
             Case{"no Content-Length", with("Content-Length: ", "X-Length: "), -411},
             Case{"body over the cap",
                  with("Content-Length: " + QByteArray::number(body.size()),
                       "Content-Length: 70000"),
                  -413},
             Case{"document type declaration",
                  post(sim.httpPort(),
                       QByteArray(body).replace("<?xml version=\"1.0\"?>\r\n",
                                                "<?xml version=\"1.0\"?>\r\n" + dtd),
                       "\"" + Igd2 + "#GetExternalIPAddress\""),
                  -400},
             Case{"unknown action",
                  post(sim.httpPort(), envelope("Reboot", {}, Igd2), "\"" + Igd2 + "#Reboot\""),
                  401},
             Case{"header block over the cap",
                  "GET /rootDesc.xml HTTP/1.1\r\nHost: 127.0.0.1:" + port +
                      "\r\nX: " + QByteArray(UpnpSimulator::MaxHeaderBytes, 'a') + "\r\n\r\n",
                  -431},
         }) {
        const QByteArray reply = exchange(sim.httpPort(), c.request);
        EXPECT_EQ(codeOf(reply), c.code) << c.what;
        EXPECT_TRUE(reply.contains("\r\nConnection: close\r\n")) << c.what;
    }
}

TEST_F(UpnpSimTest, RequestArrivingInPiecesIsAnsweredOnceComplete) {
    const QByteArray request = post(sim.httpPort(), envelope("GetExternalIPAddress", {}, Igd2),
                                    "\"" + Igd2 + "#GetExternalIPAddress\"");
    QTcpSocket s;
    s.connectToHost(QHostAddress::LocalHost, sim.httpPort());
    ASSERT_TRUE(s.waitForConnected(5000));
    const qsizetype cut = request.indexOf("\r\n\r\n") + 10;
    for (const QByteArray& piece : {request.left(40), request.mid(40, cut - 40)}) {
        s.write(piece);
        s.flush();
        QTest::qWait(50);
        EXPECT_TRUE(sim.requests().isEmpty());
    }
    s.write(request.mid(cut));
    QTRY_VERIFY_WITH_TIMEOUT(s.state() == QAbstractSocket::UnconnectedState, 5000);
    EXPECT_EQ(valueOf(s.readAll(), "NewExternalIPAddress"), QStringLiteral("11.22.33.44"));
    EXPECT_EQ(sim.requests().size(), 1);
}

// --- actions ---------------------------------------------------------------------------------

TEST_F(UpnpSimTest, AddPortMappingRefusesLikeAStrictRouter) {
    struct Case {
        const char* what;
        std::function<void(UpnpSimOptions&)> options;
        QByteArray action;
        Args args;
        int code;
    };
    const auto none = [](UpnpSimOptions&) {};
    Args outOfOrder = addArgs("8080");
    outOfOrder.swapItemsAt(0, 1);
    Args missing = addArgs("8080");
    missing.removeAt(5);
    Args remote = addArgs("8080");
    remote[0].second = "203.0.113.9";
    Args externalZero = addArgs("8080");
    externalZero[1].second = "0";
    for (const Case& c : {
             Case{"lower-case protocol", none, "AddPortMapping",
                  addArgs("8080", "3600", "127.0.0.1", "tcp"), 402},
             Case{"arguments out of order", none, "AddPortMapping", outOfOrder, 402},
             Case{"argument missing", none, "AddPortMapping", missing, 402},
             Case{"port not a number", none, "AddPortMapping", addArgs("80a"), 402},
             Case{"port out of range", none, "AddPortMapping", addArgs("65536"), 402},
             Case{"another computer", none, "AddPortMapping", addArgs("8080", "3600", "127.0.0.9"),
                  718},
             Case{"another computer, any port", none, "AddAnyPortMapping",
                  addArgs("8080", "3600", "127.0.0.9"), 606},
             Case{"another computer, insecure router",
                  [](UpnpSimOptions& o) { o.secureMode = false; }, "AddPortMapping",
                  addArgs("8080", "3600", "127.0.0.9"), 0},
             Case{"empty client", none, "AddPortMapping", addArgs("8080", "3600", ""), 501},
             Case{"low port", none, "AddPortMapping", addArgs("80"), 606},
             Case{"low port allowed", [](UpnpSimOptions& o) { o.lowPortsRefused = false; },
                  "AddPortMapping", addArgs("80"), 0},
             Case{"external port 0", none, "AddPortMapping", externalZero, 716},
             Case{"specific remote host", none, "AddPortMapping", remote, 726},
             Case{"lease on a permanent-only router",
                  [](UpnpSimOptions& o) { o.permanentOnly = true; }, "AddPortMapping",
                  addArgs("8080"), 725},
             Case{"lease 0 on a permanent-only router",
                  [](UpnpSimOptions& o) { o.permanentOnly = true; }, "AddPortMapping",
                  addArgs("8080", "0"), 0},
             Case{"port mapped to another computer",
                  [](UpnpSimOptions& o) { o.conflictPort = 8080; }, "AddPortMapping",
                  addArgs("8080"), 718},
             Case{"any port on IGD:1", [](UpnpSimOptions& o) { o.igdVersion = 1; },
                  "AddAnyPortMapping", addArgs("8080"), 401},
             Case{"table full", [](UpnpSimOptions& o) { o.maxMappings = 0; }, "AddPortMapping",
                  addArgs("8080"), 728},
         }) {
        UpnpSimulator fresh;
        fresh.setClock([] { return 0; });
        ASSERT_TRUE(fresh.listen());
        UpnpSimOptions o;
        c.options(o);
        fresh.setOptions(o);
        const QByteArray st = fresh.serviceType().toLatin1();
        const QByteArray reply =
            exchange(fresh.httpPort(), post(fresh.httpPort(), envelope(c.action, c.args, st),
                                            "\"" + st + "#" + c.action + "\""));
        EXPECT_EQ(codeOf(reply), c.code) << c.what;
        EXPECT_EQ(fresh.mappings().size(), (o.conflictPort ? 2 : 0) + (c.code == 0 ? 1 : 0))
            << c.what;
    }
}

TEST_F(UpnpSimTest, LeasesRunOnTheClockAndVanishWhenDue) {
    ASSERT_EQ(codeOf(call("AddPortMapping", addArgs("8080"))), 0);
    EXPECT_EQ(valueOf(entry(0), "NewLeaseDuration"), QStringLiteral("3600"));
    clock += 600;
    EXPECT_EQ(valueOf(call("GetSpecificPortMappingEntry", key("8080")), "NewLeaseDuration"),
              QStringLiteral("3000"));
    clock += 3000;
    EXPECT_EQ(codeOf(entry(0)), 713);
    EXPECT_EQ(codeOf(call("GetSpecificPortMappingEntry", key("8080"))), 714);
}

TEST_F(UpnpSimTest, LeaseZeroMeansAWeekOnIgd2AndForeverOnIgd1) {
    for (const auto& [version, lease] : {std::pair{2, "604800"}, std::pair{1, "0"}}) {
        reconfigure([v = version](UpnpSimOptions& o) { o.igdVersion = v; });
        ASSERT_EQ(codeOf(call("AddPortMapping", addArgs("9000", "0"))), 0);
        EXPECT_EQ(valueOf(entry(0), "NewLeaseDuration"), QString::fromLatin1(lease));
        clock += 604800;
        EXPECT_EQ(sim.mappings().size(), version == 1 ? 1 : 0);
        EXPECT_EQ(codeOf(call("DeletePortMapping", key("9000"))), 0);
    }
}

TEST_F(UpnpSimTest, ReAddByTheOwnerOverwrites) {
    Args again = addArgs("8080", "7200");
    again[3].second = "9090";
    for (const Args& args : {addArgs("8080"), again, addArgs("8080", "3600", "127.0.0.1", "UDP")})
        ASSERT_EQ(codeOf(call("AddPortMapping", args)), 0);
    const QList<UpnpMapping> table = sim.mappings();
    ASSERT_EQ(table.size(), 2);
    EXPECT_EQ(table[1].internalPort, 9090); // newest first: UDP, then the rewritten TCP
    EXPECT_EQ(table[1].leaseDuration, 7200u);
    const QByteArray first = entry(1);
    EXPECT_EQ(valueOf(first, "NewInternalPort"), QStringLiteral("9090"));
    EXPECT_EQ(valueOf(first, "NewPortMappingDescription"), QStringLiteral("Harborly: Web server"));
}

TEST_F(UpnpSimTest, AnyPortMappingReservesTheNextFreePort) {
    reconfigure([](UpnpSimOptions& o) { o.conflictPort = 8080; });
    const QByteArray reply = call("AddAnyPortMapping", addArgs("8080"));
    EXPECT_EQ(valueOf(reply, "NewReservedPort"), QStringLiteral("8081"));
    // Its own port comes back to it.
    EXPECT_EQ(valueOf(call("AddAnyPortMapping", addArgs("8081")), "NewReservedPort"),
              QStringLiteral("8081"));
    EXPECT_EQ(sim.mappings().size(), 3);
}

TEST_F(UpnpSimTest, DeleteAnswersByOwnerAndPresence) {
    reconfigure([](UpnpSimOptions& o) { o.conflictPort = 7000; });
    ASSERT_EQ(codeOf(call("AddPortMapping", addArgs("8080"))), 0);
    EXPECT_EQ(codeOf(call("DeletePortMapping", key("7000"))), 606);
    EXPECT_EQ(codeOf(call("DeletePortMapping", key("8080"))), 0);
    EXPECT_EQ(codeOf(call("GetSpecificPortMappingEntry", key("8080"))), 714);
    EXPECT_EQ(codeOf(call("DeletePortMapping", key("8080"))), 0);
    reconfigure([](UpnpSimOptions& o) { o.deleteMissingFaults = true; });
    EXPECT_EQ(codeOf(call("DeletePortMapping", key("8080"))), 714);
    EXPECT_EQ(sim.mappings().size(), 2);
}

TEST_F(UpnpSimTest, DeleteRangeTakesOnlyTheCallersOwnInRange) {
    reconfigure([](UpnpSimOptions& o) { o.conflictPort = 8001; });
    for (const QByteArray p : {"8000", "8002", "9000"})
        ASSERT_EQ(codeOf(call("AddPortMapping", addArgs(p))), 0);
    const auto range = [](const QByteArray& from, const QByteArray& to) {
        return Args{
            {"NewStartPort", from}, {"NewEndPort", to}, {"NewProtocol", "TCP"}, {"NewManage", "1"}};
    };
    EXPECT_EQ(codeOf(call("DeletePortMappingRange", range("8100", "8000"))), 733);
    EXPECT_EQ(codeOf(call("DeletePortMappingRange", range("8000", "8999"))), 0);
    EXPECT_EQ(codeOf(call("DeletePortMappingRange", range("8000", "8999"))), 730);
    QList<quint16> left;
    for (const UpnpMapping& m : sim.mappings())
        left << m.externalPort;
    EXPECT_EQ(left, (QList<quint16>{9000, 8001, 8001})); // the other computer's TCP and UDP
}

TEST_F(UpnpSimTest, GenericListingWalksNewestFirstThenEnds) {
    for (const QByteArray p : {"8000", "8001", "8002"})
        ASSERT_EQ(codeOf(call("AddPortMapping", addArgs(p))), 0);
    QStringList ports;
    int index = 0;
    for (QByteArray reply = entry(0); codeOf(reply) == 0; reply = entry(++index))
        ports << valueOf(reply, "NewExternalPort");
    EXPECT_EQ(ports, (QStringList{"8002", "8001", "8000"}));
    EXPECT_EQ(codeOf(entry(3)), 713);
    reconfigure([](UpnpSimOptions& o) { o.listEmptyAtStart = true; });
    EXPECT_EQ(codeOf(entry(0)), 713);
}

TEST_F(UpnpSimTest, ListOfPortMappingsIsACdataDocument) {
    reconfigure([](UpnpSimOptions& o) { o.conflictPort = 8500; });
    Args odd = addArgs("8400");
    odd[6].second = "A&amp;B ]]&gt;";
    ASSERT_EQ(codeOf(call("AddPortMapping", odd)), 0);
    ASSERT_EQ(codeOf(call("AddPortMapping", addArgs("8300"))), 0);
    const auto list = [this](const QByteArray& manage) {
        return call("GetListOfPortMappings", {{"NewStartPort", "8000"},
                                              {"NewEndPort", "8999"},
                                              {"NewProtocol", "TCP"},
                                              {"NewManage", manage},
                                              {"NewNumberOfPorts", "0"}});
    };
    const QByteArray all = list("1");
    const qsizetype open = all.indexOf("<NewPortListing><![CDATA[");
    ASSERT_GE(open, 0);
    const QByteArray inner = all.mid(open + 25, all.indexOf("]]></NewPortListing>") - open - 25);
    EXPECT_EQ(inner.count("<p:PortMappingEntry>"), 3);
    EXPECT_LT(inner.indexOf(">8300<"), inner.indexOf(">8400<")); // ascending ports
    EXPECT_TRUE(inner.contains("<p:NewDescription>A&amp;B ]]&gt;</p:NewDescription>"));
    EXPECT_TRUE(inner.contains("<p:NewLeaseTime>3600</p:NewLeaseTime>"));
    EXPECT_EQ(list("0").count("PortMappingEntry>"), 4); // the caller's own two, opened and closed
    EXPECT_EQ(codeOf(call("GetListOfPortMappings", {{"NewStartPort", "1"},
                                                    {"NewEndPort", "2"},
                                                    {"NewProtocol", "UDP"},
                                                    {"NewManage", "1"},
                                                    {"NewNumberOfPorts", "0"}})),
              730);
    reconfigure([](UpnpSimOptions& o) { o.igdVersion = 1; });
    EXPECT_EQ(codeOf(list("1")), 401);
}

TEST_F(UpnpSimTest, StatusAndExternalAddressFollowOptionsAndClock) {
    for (const QString& address : {QStringLiteral("100.64.1.2"), QStringLiteral("0.0.0.0")}) {
        reconfigure([&](UpnpSimOptions& o) { o.externalIp = address; });
        EXPECT_EQ(valueOf(call("GetExternalIPAddress"), "NewExternalIPAddress"), address);
    }
    clock += 42;
    const QByteArray status = call("GetStatusInfo");
    EXPECT_EQ(valueOf(status, "NewConnectionStatus"), QStringLiteral("Connected"));
    EXPECT_EQ(valueOf(status, "NewUptime"), QStringLiteral("42"));
    EXPECT_EQ(codeOf(call("GetStatusInfo", {{"NewExtra", "1"}})), 402);
}

// --- binding and the program -----------------------------------------------------------------

TEST(UpnpSimulatorBind, RefusesAnythingButIpv4Loopback) {
    for (const char* address : {"0.0.0.0", "192.168.1.1", "::1"}) {
        UpnpSimulator sim;
        EXPECT_FALSE(sim.listen(QHostAddress(QString::fromLatin1(address)))) << address;
    }
}

TEST(UpnpSimulatorProgram, PrintsBothPortsAndServesTheDescription) {
    QProcess sim;
    sim.start(QStringLiteral(HARBORLY_SIM_EXE),
              {QStringLiteral("--kind"), QStringLiteral("upnp"), QStringLiteral("--listen"),
               QStringLiteral("127.0.0.1:0"), QStringLiteral("--ssdp-port"), QStringLiteral("0"),
               QStringLiteral("--igd"), QStringLiteral("1")});
    ASSERT_TRUE(sim.waitForStarted());
    QByteArray out;
    QDeadlineTimer bound(10000);
    while (out.count('\n') < 2 && sim.waitForReadyRead(bound.remainingTime()))
        out += sim.readAllStandardOutput();
    const auto m = QRegularExpression(QStringLiteral("^listening on 127\\.0\\.0\\.1:(\\d+)\n"
                                                     "ssdp on 127\\.0\\.0\\.1:(\\d+)\n$"))
                       .match(QString::fromLatin1(out));
    ASSERT_TRUE(m.hasMatch()) << out.toStdString();
    QTcpSocket s;
    s.connectToHost(QHostAddress::LocalHost, m.captured(1).toUShort());
    ASSERT_TRUE(s.waitForConnected(5000));
    s.write("GET /rootDesc.xml HTTP/1.1\r\nHost: 127.0.0.1:" + m.captured(1).toLatin1() +
            "\r\n\r\n");
    QByteArray reply;
    while (s.waitForReadyRead(5000))
        reply += s.readAll();
    EXPECT_TRUE(reply.contains("WANIPConnection:1</serviceType>"));
    EXPECT_GT(m.captured(2).toInt(), 0);
    sim.terminate();
    ASSERT_TRUE(sim.waitForFinished(10000));
    EXPECT_EQ(sim.exitCode(), 0);
}

TEST(UpnpSimulatorProgram, RefusesOptionsOfTheOtherKindAndUnknownKinds) {
    for (const QStringList& args :
         {QStringList{"--kind", "upnp", "--password", "x"}, QStringList{"--kind", "dhcp"},
          QStringList{"--igd", "2"}, QStringList{"--kind", "upnp", "--igd", "3"},
          QStringList{"--kind", "upnp", "--listen", "10.0.0.1:5000"}}) {
        QProcess sim;
        sim.start(QStringLiteral(HARBORLY_SIM_EXE), args);
        ASSERT_TRUE(sim.waitForFinished(10000));
        EXPECT_EQ(sim.exitCode(), 64) << args.join(' ').toStdString();
    }
}

} // namespace
