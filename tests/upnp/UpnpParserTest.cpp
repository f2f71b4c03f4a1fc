// SPDX-License-Identifier: GPL-3.0-or-later
#include "router/net/ExternalAddress.h"
#include "router/upnp/DeviceDescription.h"
#include "router/upnp/HttpExchange.h"
#include "router/upnp/PinholeClient.h"
#include "router/upnp/Soap.h"
#include "router/upnp/Ssdp.h"
#include "router/upnp/UpnpErrors.h"

#include "IgdFixtures.h"
#include "QtPrint.h"

#include <QTcpServer>
#include <QTcpSocket>

#include <gtest/gtest.h>

namespace {

// ---- HTTP ---------------------------------------------------------------------------------

TEST(HttpExchange, ARequestGoesFromItsSourceAddressOrNotAtAll) {
    QTcpServer router;
    ASSERT_TRUE(router.listen(QHostAddress::LocalHost));
    const QUrl url(QStringLiteral("http://127.0.0.1:%1/ctl").arg(router.serverPort()));
    // 192.0.2.55 is on no interface here: binding to it fails before anything is sent.
    for (const auto& [source, sent] : {std::pair{"192.0.2.55", false}, {"127.0.0.1", true}}) {
        HttpExchange http;
        http.setSource(QHostAddress(QString::fromLatin1(source)));
        EXPECT_EQ(http.start(QHostAddress::LocalHost, url, "POST /ctl HTTP/1.1\r\n\r\n", {}), sent)
            << source;
        EXPECT_EQ(router.waitForNewConnection(sent ? 5000 : 100), sent) << source;
        if (!sent) {
            EXPECT_EQ(http.result().outcome, HttpResult::Outcome::Unreachable);
        }
        delete router.nextPendingConnection();
    }
}

// ---- SSDP ---------------------------------------------------------------------------------

TEST(SsdpSearch, MSearchIsTheExactDatagramRoutersAnswer) {
    EXPECT_EQ(BuildMSearch(SearchTarget::Igd1),
              "M-SEARCH * HTTP/1.1\r\n"
              "HOST: 239.255.255.250:1900\r\n"
              "MAN: \"ssdp:discover\"\r\n"
              "MX: 2\r\n"
              "ST: urn:schemas-upnp-org:device:InternetGatewayDevice:1\r\n"
              "USER-AGENT: Linux/6.1 UPnP/1.1 Harborly/1.0\r\n"
              "\r\n");
}

// Over IPv6 the HOST names the IPv6 group; Host headers carry a literal in brackets and never
// the zone, which only names this computer's interface.
TEST(SsdpSearch, Ipv6HostHeaders) {
    EXPECT_TRUE(BuildMSearch(SearchTarget::Igd2, "[FF02::C]:1900")
                    .startsWith("M-SEARCH * HTTP/1.1\r\nHOST: [FF02::C]:1900\r\nMAN:"));
    const struct {
        const char* url;
        const char* host;
    } rows[] = {
        {"http://[2001:db8:1::1]:5000/rootDesc.xml", "[2001:db8:1::1]:5000"},
        {"http://[fe80::1%25eth0]:5000/rootDesc.xml", "[fe80::1]:5000"},
        {"http://[fd00:db8:1::1]/x", "[fd00:db8:1::1]:80"},
        {"http://10.251.0.1:5000/x", "10.251.0.1:5000"},
    };
    // A control URL moved onto a link-local router keeps the zone to connect through.
    const QUrl control(QStringLiteral("http://10.251.0.1:5000/ctl/IP6FCtl"));
    EXPECT_EQ(OnIpv6Host(control, QHostAddress(QStringLiteral("fe80::1%eth0"))).host(),
              QStringLiteral("fe80::1%eth0"));
    EXPECT_EQ(OnIpv6Host(control, QHostAddress(QStringLiteral("2001:db8:1::1"))).host(),
              QStringLiteral("2001:db8:1::1"));
    for (const auto& r : rows) {
        const QUrl url(QString::fromLatin1(r.url));
        EXPECT_EQ(HostHeader(url), QByteArray(r.host)) << r.url;
        EXPECT_TRUE(BuildGetRequest(url).contains("\r\nHost: " + QByteArray(r.host) + "\r\n"))
            << r.url;
        EXPECT_TRUE(BuildSoapRequest(url, QStringLiteral("urn:x:1"), QStringLiteral("A"), {})
                        .contains("\r\nHost: " + QByteArray(r.host) + "\r\n"))
            << r.url;
    }
}

const QByteArray kMeasuredReply =
    "HTTP/1.1 200 OK\r\nCACHE-CONTROL: max-age=120\r\n"
    "ST: urn:schemas-upnp-org:device:InternetGatewayDevice:1\r\n"
    "USN: uuid:3d3cec3a-8cf0-11e0-98ee-001a6bd2d07b::urn:schemas-upnp-org:device:"
    "InternetGatewayDevice:1\r\nEXT:\r\nSERVER: Debian/6.18 UPnP/1.1 MiniUPnPd/2.3.1\r\n"
    "LOCATION: http://10.251.0.1:5000/rootDesc.xml\r\n"
    "OPT: \"http://schemas.upnp.org/upnp/1/0/\"; ns=01\r\n01-NLS: 1796670798\r\n"
    "BOOTID.UPNP.ORG: 1796670798\r\nCONFIGID.UPNP.ORG: 1337\r\n\r\n";

struct SsdpCase {
    const char* name;
    QByteArray datagram;
    bool accepted;
    const char* location;
    const char* st;
};

class SsdpReplyTest : public testing::TestWithParam<SsdpCase> {};

TEST_P(SsdpReplyTest, Reads) {
    const SsdpCase& c = GetParam();
    const std::optional<SsdpReply> r = ParseSsdpReply(c.datagram);
    ASSERT_EQ(r.has_value(), c.accepted);
    if (r) {
        EXPECT_EQ(r->location, QString::fromLatin1(c.location));
        EXPECT_EQ(r->st, QString::fromLatin1(c.st));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Replies, SsdpReplyTest,
    testing::Values(
        SsdpCase{"MeasuredMiniupnpd", kMeasuredReply, true, "http://10.251.0.1:5000/rootDesc.xml",
                 SearchTarget::Igd1},
        SsdpCase{"LowerCaseBareLfNoSpace",
                 "HTTP/1.1 200 OK\nst:ssdp:all\nlocation:http://h:1/d.xml  \n\n", true,
                 "http://h:1/d.xml", "ssdp:all"},
        SsdpCase{"Http10", "HTTP/1.0 200 OK\r\nLOCATION: http://h/x\r\n\r\n", true, "http://h/x",
                 ""},
        SsdpCase{"NameOnlyAtLineStart",
                 "HTTP/1.1 200 OK\r\nX-Note: st: wrong\r\nLocation: http://h/x\r\nST: right\r\n",
                 true, "http://h/x", "right"},
        SsdpCase{"Notify", "NOTIFY * HTTP/1.1\r\nLOCATION: http://h/x\r\n\r\n", false, "", ""},
        SsdpCase{"NotFound", "HTTP/1.1 404 Not Found\r\nLOCATION: http://h/x\r\n\r\n", false, "",
                 ""},
        SsdpCase{"LongerCode", "HTTP/1.1 2000 OK\r\nLOCATION: http://h/x\r\n\r\n", false, "", ""},
        SsdpCase{"NoLocation", "HTTP/1.1 200 OK\r\nST: ssdp:all\r\n\r\n", false, "", ""},
        SsdpCase{"EmptyLocation", "HTTP/1.1 200 OK\r\nLOCATION:\r\n\r\n", false, "", ""},
        SsdpCase{"Oversize",
                 "HTTP/1.1 200 OK\r\nLOCATION: http://h/x\r\nX: " + QByteArray(8200, 'a') +
                     "\r\n\r\n",
                 false, "", ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SsdpReplyKind, GatewayAndVersionFromStOrUsn) {
    SsdpReply r;
    r.st = QString::fromLatin1(SearchTarget::Igd2);
    EXPECT_TRUE(r.isGateway());
    EXPECT_EQ(r.igdVersion(), 2);
    r.st = QString::fromLatin1(SearchTarget::WanPpp1);
    EXPECT_TRUE(r.isGateway());
    EXPECT_EQ(r.igdVersion(), 1);
    r.st = QStringLiteral("upnp:rootdevice");
    r.usn = QStringLiteral("uuid:x::urn:schemas-upnp-org:device:InternetGatewayDevice:2");
    EXPECT_TRUE(r.isGateway());
    EXPECT_EQ(r.igdVersion(), 2);
    r.usn = QStringLiteral("uuid:x::urn:schemas-upnp-org:device:MediaServer:1");
    EXPECT_FALSE(r.isGateway());
}

// ---- Device description -------------------------------------------------------------------

struct UrlCase {
    const char* name;
    const char* location;
    const char* urlBase;
    const char* controlUrl;
    const char* router;
    const char* expected; // "" = refused
};

class ControlUrlTest : public testing::TestWithParam<UrlCase> {};

TEST_P(ControlUrlTest, Resolves) {
    const UrlCase& c = GetParam();
    const QByteArray xml = Description(Service(WanIp1, c.controlUrl), c.urlBase);
    const DeviceDescriptionResult d = ParseDeviceDescription(
        xml, QUrl(QString::fromLatin1(c.location)), QString::fromLatin1(c.router));
    ASSERT_TRUE(d.ok) << d.error.toStdString();
    if (*c.expected == 0) {
        EXPECT_TRUE(d.services.isEmpty());
        return;
    }
    ASSERT_EQ(d.services.size(), 1);
    EXPECT_EQ(d.services.front().controlUrl.toString(), QString::fromLatin1(c.expected));
}

INSTANTIATE_TEST_SUITE_P(
    Urls, ControlUrlTest,
    testing::Values(UrlCase{"Absolute path", "http://192.168.1.1:49152/gatedesc.xml", "",
                            "/upnp/control/WANIPConn1", "192.168.1.1",
                            "http://192.168.1.1:49152/upnp/control/WANIPConn1"},
                    UrlCase{"RelativeWithoutSlash", "http://192.168.1.1:5000/rootDesc.xml", "",
                            "ctl/IPConn", "192.168.1.1", "http://192.168.1.1:5000/ctl/IPConn"},
                    UrlCase{"QueryKept", "http://192.168.1.1:1780/igd/desc.xml", "",
                            "control?WANIPConnection", "192.168.1.1",
                            "http://192.168.1.1:1780/igd/control?WANIPConnection"},
                    UrlCase{"UrlBase", "http://192.168.1.1:5000/d.xml", "http://192.168.1.1:49000/",
                            "/igdupnp/control/WANIPConn1", "192.168.1.1",
                            "http://192.168.1.1:49000/igdupnp/control/WANIPConn1"},
                    UrlCase{"OtherHostMovedToRouter", "http://192.168.1.1:5000/d.xml", "",
                            "http://10.0.0.138:49000/ctl", "192.168.1.1",
                            "http://192.168.1.1:49000/ctl"},
                    UrlCase{"NotHttp", "http://192.168.1.1:5000/d.xml", "",
                            "https://192.168.1.1/ctl", "192.168.1.1", ""},
                    UrlCase{"FileScheme", "http://192.168.1.1:5000/d.xml", "", "file:///etc/passwd",
                            "192.168.1.1", ""},
                    UrlCase{"Credentials", "http://192.168.1.1:5000/d.xml", "",
                            "http://u:p@192.168.1.1/c", "192.168.1.1", ""},
                    UrlCase{"DescriptionNotFromRouter", "http://10.0.0.9:5000/d.xml", "", "/ctl",
                            "192.168.1.1", ""}),
    [](const auto& info) {
        std::string n = info.param.name;
        std::erase(n, ' ');
        return n;
    });

TEST(DeviceDescriptionServices, CandidatesInPreferenceOrder) {
    const QByteArray services =
        Service("urn:dslforum-org:service:WANPPPConnection:1", "/a") + Service(WanPpp1, "/b") +
        Service(WanIp1, "/c") + Service("urn:schemas-upnp-org:service:WANIPConnection:3", "/d") +
        Service("urn:dslforum-org:service:WANIPConnection:1", "/e") +
        Service("urn:schemas-upnp-org:service:WANIPv6FirewallControl:1", "/f") +
        Service(WanIp2, "/g");
    const DeviceDescriptionResult d = ParseDeviceDescription(
        Description(services), QUrl(QStringLiteral("http://127.0.0.1:5000/d.xml")),
        QStringLiteral("127.0.0.1"));
    ASSERT_TRUE(d.ok);
    QStringList paths;
    QList<int> versions;
    for (const IgdService& s : d.services) {
        paths << s.controlUrl.path();
        versions << s.version;
    }
    EXPECT_EQ(paths, QStringList({"/d", "/g", "/c", "/b", "/e", "/a"}));
    EXPECT_EQ(versions, QList<int>({2, 2, 1, 1, 1, 1}));
}

// Descriptions real routers serve that bend the rules in ways Harborly still reads.
struct QuirkCase {
    const char* name;
    QByteArray xml;
    const char* control; // "" = no usable connection service
    int version;
};

class DescriptionQuirkTest : public testing::TestWithParam<QuirkCase> {};

TEST_P(DescriptionQuirkTest, Reads) {
    const QuirkCase& c = GetParam();
    const DeviceDescriptionResult d = ParseDeviceDescription(
        c.xml, QUrl(QStringLiteral("http://127.0.0.1:5000/d.xml")), QStringLiteral("127.0.0.1"));
    ASSERT_TRUE(d.ok) << d.error.toStdString();
    EXPECT_EQ(d.device.udn, QStringLiteral("uuid:r"));
    if (*c.control == 0) {
        EXPECT_TRUE(d.services.isEmpty());
        return;
    }
    ASSERT_EQ(d.services.size(), 1);
    EXPECT_EQ(d.services.front().controlUrl.path(), QString::fromLatin1(c.control));
    EXPECT_EQ(d.services.front().version, c.version);
}

// Livebox style: a PPP service type of a version never published, named and reached as WANIPConn1.
QByteArray livebox(const QByteArray& type, const QByteArray& igdType) {
    return Description(Service(type, "/5e1f/upnp/control/WANIPConn1"), {}, igdType)
        .replace("serviceId:x", "serviceId:WANIPConn1");
}

const QByteArray kPpp2 = "urn:schemas-upnp-org:service:WANPPPConnection:2";

// Technicolor style: manufacturerURL opened and never closed, ahead of fields Harborly reads.
QByteArray unclosedUrl(const QByteArray& services) {
    return Description(services).replace("<modelName>", "<manufacturerURL><modelName>");
}

INSTANTIATE_TEST_SUITE_P(
    Routers, DescriptionQuirkTest,
    testing::Values(
        QuirkCase{"Ppp2OnIgd2", livebox(kPpp2, "2"), "/5e1f/upnp/control/WANIPConn1", 2},
        QuirkCase{"Ppp2OnIgd1", livebox(kPpp2, "1"), "/5e1f/upnp/control/WANIPConn1", 1},
        QuirkCase{"UnclosedManufacturerUrl", unclosedUrl(Service(WanPpp1, "/igd/wanpppc_1")),
                  "/igd/wanpppc_1", 1},
        QuirkCase{"Ppp3OnIgd2", livebox("urn:schemas-upnp-org:service:WANPPPConnection:3", "2"),
                  "/5e1f/upnp/control/WANIPConn1", 2},
        // Broken markup anywhere else is read by the tags alone.
        QuirkCase{"UnclosedUrlBrokenElsewhere",
                  unclosedUrl(Service(WanIp1, "/c")).replace("</serviceId>", "</serviceID>"), "/c",
                  1},
        QuirkCase{"UnclosedReadField",
                  Description(Service(WanIp1, "/c")).replace("</modelName>", ""), "/c", 1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DeviceDescriptionDisplay, RootDeviceFieldsCleanedAndCapped) {
    QByteArray xml = Description(Service(WanIp1, "/c"), {}, "1");
    xml.replace("<friendlyName>Home Router</friendlyName>", "");
    xml.replace("<friendlyName>WAN</friendlyName>",
                "<friendlyName>WAN</friendlyName><UDN>uuid:wan</UDN>");
    xml.replace("<modelName>AR-1</modelName>",
                "<modelName>AR&#x85;-1&#xA; " + QByteArray(80, 'x') + "</modelName>");
    const DeviceDescriptionResult d = ParseDeviceDescription(
        xml, QUrl(QStringLiteral("http://127.0.0.1/d.xml")), QStringLiteral("127.0.0.1"));
    ASSERT_TRUE(d.ok);
    EXPECT_EQ(d.igdVersion, 1);
    EXPECT_EQ(d.device.manufacturer, QStringLiteral("Acme"));
    EXPECT_TRUE(d.device.modelName.startsWith(QStringLiteral("AR-1 xxx")));
    EXPECT_EQ(d.device.modelName.size(), MaxDisplayLength);
    // No friendlyName on the root device: the model stands in, not the WAN device's name.
    EXPECT_EQ(d.device.friendlyName, d.device.modelName);
    // The root device's own UDN, which tells one router from another at the same address.
    EXPECT_EQ(d.device.udn, QStringLiteral("uuid:r"));
}

QByteArray nested(int depth) {
    return QByteArray("<a>").repeated(depth) + QByteArray("</a>").repeated(depth);
}

struct RefusedCase {
    const char* name;
    QByteArray xml;
};

class DescriptionRefusedTest : public testing::TestWithParam<RefusedCase> {};

TEST_P(DescriptionRefusedTest, Refused) {
    const DeviceDescriptionResult d =
        ParseDeviceDescription(GetParam().xml, QUrl(QStringLiteral("http://127.0.0.1/d.xml")),
                               QStringLiteral("127.0.0.1"));
    EXPECT_FALSE(d.ok);
    EXPECT_FALSE(d.error.isEmpty());
    EXPECT_TRUE(d.services.isEmpty());
}

QByteArray manyDevices(int n) {
    QByteArray inner;
    for (int i = 0; i < n; ++i)
        inner += "<device><deviceType>x</deviceType></device>";
    return Description(Service(WanIp1, "/c"))
        .replace("<deviceList><device><deviceType>urn:schemas-upnp-org:device:WANDevice:1",
                 "<deviceList>" + inner +
                     "<device><deviceType>urn:schemas-upnp-org:device:WANDevice:1");
}

INSTANTIATE_TEST_SUITE_P(
    Hostile, DescriptionRefusedTest,
    testing::Values(
        RefusedCase{"Dtd", "<?xml version=\"1.0\"?><!DOCTYPE root [<!ENTITY a \"aaaa\">]>" +
                               Description(Service(WanIp1, "&a;")).mid(23)},
        RefusedCase{"Oversize", Description(Service(WanIp1, "/c") + "<!--" +
                                            QByteArray(MaxDescriptionBytes, ' ') + "-->")},
        RefusedCase{"TooDeep", Description(Service(WanIp1, "/c") + nested(40))},
        RefusedCase{"TooManyDevices", manyDevices(40)},
        RefusedCase{"NoRootDevice", "<root><specVersion/></root>"},
        RefusedCase{"Broken", Description(Service(WanIp1, "/c")).left(300)},
        RefusedCase{"UnclosedUrlNoConnection", unclosedUrl({})}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- SOAP ---------------------------------------------------------------------------------

TEST(SoapRequestBytes, AddPortMappingIsTheExactRequest) {
    const QByteArray body =
        "<?xml version=\"1.0\"?>\r\n<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/"
        "envelope/\" s:encodingStyle=\"http://schemas.xmlsoap.org/soap/encoding/\"><s:Body><u:"
        "AddPortMapping xmlns:u=\"urn:schemas-upnp-org:service:WANIPConnection:2\"><NewRemoteHost>"
        "</NewRemoteHost><NewExternalPort>8080</NewExternalPort><NewProtocol>TCP</NewProtocol>"
        "<NewInternalPort>8080</NewInternalPort><NewInternalClient>192.168.1.23</"
        "NewInternalClient><NewEnabled>1</NewEnabled><NewPortMappingDescription>Harborly: Web "
        "server</NewPortMappingDescription><NewLeaseDuration>3600</NewLeaseDuration></"
        "u:AddPortMapping></s:Body></s:Envelope>";
    ASSERT_EQ(body.size(), 603);
    const QByteArray request =
        BuildSoapRequest(QUrl(QStringLiteral("http://192.168.1.1:5000/ctl/IPConn")),
                         QString::fromLatin1(WanIp2), QStringLiteral("AddPortMapping"),
                         {{"NewRemoteHost", ""},
                          {"NewExternalPort", "8080"},
                          {"NewProtocol", "TCP"},
                          {"NewInternalPort", "8080"},
                          {"NewInternalClient", "192.168.1.23"},
                          {"NewEnabled", "1"},
                          {"NewPortMappingDescription", "Harborly: Web server"},
                          {"NewLeaseDuration", "3600"}});
    EXPECT_EQ(request, "POST /ctl/IPConn HTTP/1.1\r\n"
                       "Host: 192.168.1.1:5000\r\n"
                       "Content-Type: text/xml; charset=\"utf-8\"\r\n"
                       "Content-Length: 603\r\n"
                       "SOAPAction: \"urn:schemas-upnp-org:service:WANIPConnection:2#"
                       "AddPortMapping\"\r\n"
                       "Connection: close\r\n"
                       "User-Agent: Linux/6.1 UPnP/1.1 Harborly/1.0\r\n"
                       "\r\n" +
                           body);
}

TEST(SoapRequestBytes, DefaultPortQueryAndEscapes) {
    const QByteArray request =
        BuildSoapRequest(QUrl(QStringLiteral("http://10.0.0.1/igd/control?WANIPConnection")),
                         QString::fromLatin1(WanIp1), QStringLiteral("AddPortMapping"),
                         {{"NewPortMappingDescription", "Harborly: A&B <C>\x01"}});
    EXPECT_TRUE(request.startsWith("POST /igd/control?WANIPConnection HTTP/1.1\r\n"
                                   "Host: 10.0.0.1:80\r\n"));
    EXPECT_TRUE(request.contains(
        "<NewPortMappingDescription>Harborly: A&amp;B &lt;C&gt;</NewPortMappingDescription>"));
}

TEST(SoapRequestBytes, ServiceTypeThatWouldBreakTheHeaderIsRefused) {
    const QUrl url(QStringLiteral("http://10.0.0.1/c"));
    EXPECT_TRUE(BuildSoapRequest(url, QStringLiteral("urn:x\r\nX-Evil: 1"),
                                 QStringLiteral("GetStatusInfo"), {})
                    .isEmpty());
    EXPECT_TRUE(
        BuildSoapRequest(url, QStringLiteral("urn:x\"y"), QStringLiteral("GetStatusInfo"), {})
            .isEmpty());
    EXPECT_TRUE(BuildSoapRequest(url, QString::fromLatin1(WanIp1), QStringLiteral("Get Status"), {})
                    .isEmpty());
}

struct AnswerCase {
    const char* name;
    int status;
    QByteArray body;
    const char* action;
    SoapOutcome outcome;
    int code;
    const char* value; // NewExternalIPAddress
};

class SoapAnswerTest : public testing::TestWithParam<AnswerCase> {};

TEST_P(SoapAnswerTest, Reads) {
    const AnswerCase& c = GetParam();
    const SoapAnswer a = ParseSoapAnswer(c.status, c.body, QString::fromLatin1(c.action));
    EXPECT_EQ(a.outcome, c.outcome);
    EXPECT_EQ(a.errorCode, c.code);
    EXPECT_EQ(a.value(u"NewExternalIPAddress"), QString::fromLatin1(c.value));
}

const QByteArray kMeasuredFault =
    "<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\" "
    "s:encodingStyle=\"http://schemas.xmlsoap.org/soap/encoding/\"><s:Body><s:Fault><faultcode>"
    "s:Client</faultcode><faultstring>UPnPError</faultstring><detail><UPnPError "
    "xmlns=\"urn:schemas-upnp-org:control-1-0\"><errorCode>718</errorCode><errorDescription>"
    "ConflictInMappingEntry</errorDescription></UPnPError></detail></s:Fault></s:Body>"
    "</s:Envelope>";

INSTANTIATE_TEST_SUITE_P(
    Answers, SoapAnswerTest,
    testing::Values(
        AnswerCase{"MeasuredSuccess", 200,
                   Envelope("<u:AddPortMappingResponse xmlns:u=\"urn:schemas-upnp-org:service:"
                            "WANIPConnection:2\"/>"),
                   "AddPortMapping", SoapOutcome::Ok, 0, ""},
        AnswerCase{"OutArgument", 200,
                   ResponseBody("GetExternalIPAddress",
                                "<NewExternalIPAddress>11.22.33.44</NewExternalIPAddress>"),
                   "GetExternalIPAddress", SoapOutcome::Ok, 0, "11.22.33.44"},
        AnswerCase{"WhitespaceFirstOtherPrefixOtherCase", 200,
                   "<E:Envelope xmlns:E=\"http://schemas.xmlsoap.org/soap/envelope/\"><E:Body>\n  "
                   "<m:getexternalipaddressresponse xmlns:m=\"" +
                       QByteArray(WanIp1) +
                       "\"><NEWEXTERNALIPADDRESS>1.2.3.4</NEWEXTERNALIPADDRESS>"
                       "</m:getexternalipaddressresponse></E:Body></E:Envelope>",
                   "GetExternalIPAddress", SoapOutcome::Ok, 0, "1.2.3.4"},
        AnswerCase{"OtherActionsResponse", 200, ResponseBody("GetStatusInfo", ""),
                   "GetExternalIPAddress", SoapOutcome::BadAnswer, 0, ""},
        AnswerCase{"MeasuredFault", 500, kMeasuredFault, "AddPortMapping", SoapOutcome::Fault, 718,
                   ""},
        AnswerCase{"CapitalisedNames", 500,
                   QByteArray(kMeasuredFault)
                       .replace("faultcode", "faultCode")
                       .replace("errorCode", "ErrorCode"),
                   "AddPortMapping", SoapOutcome::Fault, 718, ""},
        AnswerCase{"GarbageInDescription", 500, FaultBody(725, "bad \x01<<&& bytes"),
                   "AddPortMapping", SoapOutcome::Fault, 725, ""},
        AnswerCase{"Http500WithoutCode", 500, "", "AddPortMapping", SoapOutcome::UnknownFault, 0,
                   ""},
        AnswerCase{"Http500NonNumericCode", 500, FaultBody(0).replace(">0<", ">x7<"),
                   "AddPortMapping", SoapOutcome::UnknownFault, 0, ""},
        AnswerCase{"AuthenticationWanted", 401, "", "GetExternalIPAddress", SoapOutcome::HttpError,
                   0, ""},
        AnswerCase{"DtdInAnswer", 200,
                   "<!DOCTYPE x [<!ENTITY e \"1.2.3.4\">]>" +
                       ResponseBody("GetExternalIPAddress",
                                    "<NewExternalIPAddress>&e;</NewExternalIPAddress>")
                           .mid(23),
                   "GetExternalIPAddress", SoapOutcome::BadAnswer, 0, ""}),
    [](const auto& info) { return std::string(info.param.name); });

const QByteArray kListing =
    "<p:PortMappingList xmlns:p=\"urn:schemas-upnp-org:gw:WANIPConnection\">"
    "<p:PortMappingEntry><p:NewRemoteHost/><p:NewExternalPort>8090</p:NewExternalPort>"
    "<p:NewProtocol>TCP</p:NewProtocol><p:NewInternalPort>8090</p:NewInternalPort>"
    "<p:NewInternalClient>10.251.0.2</p:NewInternalClient><p:NewEnabled>1</p:NewEnabled>"
    "<p:NewDescription>harborly-test</p:NewDescription><p:NewLeaseTime>3600</p:NewLeaseTime>"
    "</p:PortMappingEntry>"
    "<p:PortMappingEntry><p:NewExternalPort>0</p:NewExternalPort><p:NewProtocol>TCP"
    "</p:NewProtocol><p:NewInternalPort>1</p:NewInternalPort></p:PortMappingEntry>"
    "<p:PortMappingEntry><p:NewExternalPort>53</p:NewExternalPort><p:NewProtocol>udp"
    "</p:NewProtocol><p:NewInternalPort>5353</p:NewInternalPort><p:NewEnabled>false"
    "</p:NewEnabled></p:PortMappingEntry></p:PortMappingList>";

QByteArray escaped(const QByteArray& xml) {
    return QByteArray(xml).replace("&", "&amp;").replace("<", "&lt;").replace(">", "&gt;");
}

class PortListingTest : public testing::TestWithParam<QByteArray> {};

TEST_P(PortListingTest, EntriesFromTheAnswersText) {
    const SoapAnswer a =
        ParseSoapAnswer(200,
                        ResponseBody("GetListOfPortMappings",
                                     "<NewPortListing>" + GetParam() + "</NewPortListing>"),
                        QStringLiteral("GetListOfPortMappings"));
    ASSERT_TRUE(a.ok());
    const auto entries = ParsePortListing(a.value(u"NewPortListing").toUtf8());
    ASSERT_TRUE(entries.has_value());
    // The entry with external port 0 is no mapping and is left out.
    ASSERT_EQ(entries->size(), 2);
    const PortMappingEntry& first = entries->at(0);
    EXPECT_EQ(first.externalPort, 8090);
    EXPECT_EQ(first.protocol, QStringLiteral("TCP"));
    EXPECT_EQ(first.internalClient, QStringLiteral("10.251.0.2"));
    EXPECT_EQ(first.description, QStringLiteral("harborly-test"));
    EXPECT_EQ(first.leaseDuration, 3600u);
    EXPECT_TRUE(first.enabled);
    EXPECT_EQ(entries->at(1).protocol, QStringLiteral("UDP"));
    EXPECT_EQ(entries->at(1).internalPort, 5353);
    EXPECT_FALSE(entries->at(1).enabled);
}

INSTANTIATE_TEST_SUITE_P(Forms, PortListingTest,
                         testing::Values("<![CDATA[" + kListing + "]]>", escaped(kListing)));

TEST(PortListingRefused, DtdOrBrokenGivesNothing) {
    EXPECT_FALSE(ParsePortListing("<!DOCTYPE p [<!ENTITY x \"y\">]>" + kListing).has_value());
    EXPECT_FALSE(ParsePortListing(kListing.left(200)).has_value());
}

// ---- HTTP framing -------------------------------------------------------------------------

struct FramingCase {
    const char* name;
    QByteArray bytes;
    qsizetype limit;
    bool close; // the peer closes after the bytes
    HttpResponseReader::State state;
    const char* body;
};

class HttpFramingTest : public testing::TestWithParam<FramingCase> {};

TEST_P(HttpFramingTest, WholeAndByteByByteAgree) {
    const FramingCase& c = GetParam();
    for (const qsizetype piece : {c.bytes.size(), qsizetype(1), qsizetype(7)}) {
        HttpResponseReader reader(c.limit);
        for (qsizetype at = 0; at < c.bytes.size(); at += std::max<qsizetype>(piece, 1))
            reader.feed(
                QByteArrayView(c.bytes.constData() + at, std::min(piece, c.bytes.size() - at)));
        if (c.close)
            reader.finish();
        EXPECT_EQ(reader.state(), c.state) << "pieces of " << piece;
        if (c.state == HttpResponseReader::State::Done) {
            EXPECT_EQ(reader.body(), QByteArray(c.body));
            EXPECT_GE(reader.status(), 200);
        }
    }
}

using S = HttpResponseReader::State;
INSTANTIATE_TEST_SUITE_P(
    Bodies, HttpFramingTest,
    testing::Values(
        FramingCase{"ContentLength", "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhelloEXTRA", 64,
                    false, S::Done, "hello"},
        FramingCase{"Chunked",
                    "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
                    "5;ext=1\r\nhello\r\nA\r\n, world!!!\r\n0\r\nX-Trailer: 1\r\n\r\n",
                    64, false, S::Done, "hello, world!!!"},
        FramingCase{"CloseDelimitedBareLf", "HTTP/1.0 200 OK\nServer: x\n\nall of it", 64, true,
                    S::Done, "all of it"},
        FramingCase{
            "InterimContinue",
            "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 500 Error\r\nContent-Length: 2\r\n\r\nno", 64,
            false, S::Done, "no"},
        FramingCase{"LengthOverLimit", "HTTP/1.1 200 OK\r\nContent-Length: 65\r\n\r\n", 64, false,
                    S::TooLarge, ""},
        FramingCase{"ChunksOverLimit",
                    "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n20\r\n" +
                        QByteArray(32, 'a') + "\r\n21\r\n",
                    64, false, S::TooLarge, ""},
        FramingCase{"CloseOverLimit", "HTTP/1.1 200 OK\r\n\r\n" + QByteArray(65, 'a'), 64, true,
                    S::TooLarge, ""},
        FramingCase{"TruncatedLength", "HTTP/1.1 200 OK\r\nContent-Length: 9\r\n\r\nshort", 64,
                    true, S::Malformed, ""},
        FramingCase{"TruncatedChunks",
                    "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhel", 64, true,
                    S::Malformed, ""},
        FramingCase{"BadChunkSize",
                    "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\nhello\r\n", 64,
                    false, S::Malformed, ""},
        FramingCase{"ConflictingLengths",
                    "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nContent-Length: 3\r\n\r\nabc", 64,
                    false, S::Malformed, ""},
        FramingCase{"NotHttp", "SSH-2.0-OpenSSH\r\n\r\n", 64, false, S::Malformed, ""},
        FramingCase{"EndlessHeaders",
                    "HTTP/1.1 200 OK\r\nX: " +
                        QByteArray(HttpResponseReader::MaxHeaderBytes + 10, 'x'),
                    64, false, S::Malformed, ""}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- Words for the user -------------------------------------------------------------------

TEST(UpnpErrorWords, PortAndOtherDeviceFilledIn) {
    EXPECT_EQ(DescribeUpnpError(718, 8080, QStringLiteral("192.168.1.7")),
              QStringLiteral("Port 8080 is already forwarded to another device (192.168.1.7)."));
    EXPECT_TRUE(DescribeUpnpError(606, 80, {})
                    .startsWith(QStringLiteral(
                        "The router does not allow this computer to open port 80. ")));
    EXPECT_TRUE(DescribeUpnpError(713, 1, {}).isEmpty());
    const QString removing = DescribeUpnpError(606, 8080, {}, UpnpAction::Remove);
    EXPECT_TRUE(removing.contains(QStringLiteral("remove the forward of port 8080")));
    EXPECT_FALSE(removing.contains(QStringLiteral("1024")));
}

} // namespace
