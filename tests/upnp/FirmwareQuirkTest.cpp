// SPDX-License-Identifier: GPL-3.0-or-later
// What real firmware sends, each quirk carried by a small document of the tests' own: root
// descriptions, discovery answers, SOAP answers and their HTTP framing.
#include "router/upnp/DeviceDescription.h"
#include "router/upnp/HttpExchange.h"
#include "router/upnp/Soap.h"
#include "router/upnp/Ssdp.h"
#include "router/upnp/UpnpErrors.h"

#include "IgdFixtures.h"
#include "QtPrint.h"

#include <gtest/gtest.h>

namespace {

// ---- Root descriptions --------------------------------------------------------------------

struct FirmwareCase {
    const char* name;
    QByteArray xml;
    const char* location;
    const char* control; // the best service's control URL; "" = refused
    int version;
};

class FirmwareDescriptionTest : public testing::TestWithParam<FirmwareCase> {};

TEST_P(FirmwareDescriptionTest, Reads) {
    const FirmwareCase& c = GetParam();
    const DeviceDescriptionResult d = ParseDeviceDescription(
        c.xml, QUrl(QString::fromLatin1(c.location)), QStringLiteral("127.0.0.1"));
    if (*c.control == 0) {
        EXPECT_FALSE(d.ok);
        EXPECT_FALSE(d.error.isEmpty());
        EXPECT_TRUE(d.services.isEmpty());
        return;
    }
    ASSERT_TRUE(d.ok) << d.error.toStdString();
    ASSERT_FALSE(d.services.isEmpty());
    EXPECT_EQ(d.services.front().controlUrl.toString(), QString::fromLatin1(c.control));
    EXPECT_EQ(d.services.front().version, c.version);
    EXPECT_EQ(d.device.udn, QStringLiteral("uuid:r"));
}

const char kHere[] = "http://127.0.0.1:5000/rootDesc.xml";
const QByteArray kPpp2 = "urn:schemas-upnp-org:service:WANPPPConnection:2";
const QByteArray kTrPpp1 = "urn:dslforum-org:service:WANPPPConnection:1";

QByteArray withoutDeclaration(const QByteArray& xml) {
    return xml.mid(xml.indexOf("<root"));
}

// URLBase after the root device, as one router puts it.
QByteArray urlBaseLast(const QByteArray& services, const QByteArray& urlBase) {
    return Description(services).replace("</device></root>",
                                         "</device><URLBase>" + urlBase + "</URLBase></root>");
}

// The document cut after the connection service, as a close-delimited answer cut short.
QByteArray cutAfterService(const QByteArray& services) {
    const QByteArray xml = Description(services);
    return xml.left(xml.lastIndexOf("</service>") + 10);
}

QByteArray services(int n) {
    QByteArray out;
    for (int i = 0; i < n; ++i)
        out += Service(WanIp1, "/c" + QByteArray::number(i));
    return out;
}

QByteArray siblingDevices(int n) {
    return QByteArray("<device><deviceType>x</deviceType></device>").repeated(n);
}

QByteArray nestedDevices(int n) {
    return QByteArray("<device><deviceType>x</deviceType>").repeated(n);
}

// Broken markup (a field left open) around the given services.
QByteArray broken(const QByteArray& services) {
    return Description(services).replace("<modelName>", "<manufacturerURL><modelName>");
}

INSTANTIATE_TEST_SUITE_P(
    Firmware, FirmwareDescriptionTest,
    testing::Values(
        FirmwareCase{"PppOnlyUrlBaseWithoutSlash",
                     Description(Service(WanPpp1, "/upnp/control/WANPPPConn1"),
                                 "http://192.168.1.1:49152", "1"),
                     kHere, "http://127.0.0.1:49152/upnp/control/WANPPPConn1", 1},
        FirmwareCase{"PppAnyVersionOnIgd2", Description(Service(kPpp2, "/ctl/ppp")), kHere,
                     "http://127.0.0.1:5000/ctl/ppp", 2},
        FirmwareCase{"IpConnection5",
                     Description(Service(QByteArray(WanIp1).replace(":1", ":5"), "/x")), kHere,
                     "http://127.0.0.1:5000/x", 2},
        FirmwareCase{
            "UrlBaseLastWithSlashColonInPath",
            urlBaseLast(Service(WanIp1, "/uuid:04bf-02/WANIPConn1"), "http://192.168.0.1:5431/"),
            kHere, "http://127.0.0.1:5431/uuid:04bf-02/WANIPConn1", 1},
        FirmwareCase{"UrlBaseWithPathRelativeControl",
                     Description(Service(WanIp1, "ctl/IPConn"), "http://192.168.1.1:8000/igd/"),
                     kHere, "http://127.0.0.1:8000/igd/ctl/IPConn", 1},
        FirmwareCase{
            "AbsoluteControlOnAnotherPort",
            Description(Service(WanIp1, "http://192.168.0.1:4444/wipconn"), "http://127.0.0.1"),
            kHere, "http://127.0.0.1:4444/wipconn", 1},
        FirmwareCase{"AbsoluteControlWithQuery",
                     Description(Service(WanIp1, "http://192.168.20.1:5556/ctrl?1"),
                                 "http://192.168.20.1:5556"),
                     kHere, "http://127.0.0.1:5556/ctrl?1", 1},
        FirmwareCase{"QueryOnlyControl", Description(Service(WanIp1, "?9")),
                     "http://127.0.0.1:5555/desc.xml", "http://127.0.0.1:5555/desc.xml?9", 1},
        FirmwareCase{"QueryAfterSlash", Description(Service(WanIp1, "/UD/?9")),
                     "http://127.0.0.1:5555/desc.xml", "http://127.0.0.1:5555/UD/?9", 1},
        FirmwareCase{"NoDeclarationNoNamespace",
                     withoutDeclaration(Description(Service(WanIp1, "/WANIPConnection"), {}, "1"))
                         .replace(" xmlns=\"urn:schemas-upnp-org:device-1-0\"", ""),
                     kHere, "http://127.0.0.1:5000/WANIPConnection", 1},
        FirmwareCase{"LineBreaksInsideValues",
                     Description(Service(QByteArray(WanIp1) + "\n\t\t\t\t", "\r\n /ctl/\r\nIP"),
                                 "http://192.168.0.1:\n5431/")
                         .replace("uuid:r", "uuid:\r\nr"),
                     kHere, "http://127.0.0.1:5431/ctl/IP", 1},
        FirmwareCase{"CrlfIndented", Description(Service(WanIp1, "/c")).replace("><", ">\r\n\t<"),
                     kHere, "http://127.0.0.1:5000/c", 1},
        FirmwareCase{"DslForumBesideTheForumsOwn",
                     Description(Service(kTrPpp1, "/UD/?10") + Service(WanIp1, "/UD/?9")), kHere,
                     "http://127.0.0.1:5000/UD/?9", 1},
        FirmwareCase{"NotUtf8InADisplayField",
                     Description(Service(WanIp1, "/c")).replace(">7<", ">\xf0_\xf0<"), kHere,
                     "http://127.0.0.1:5000/c", 1},
        FirmwareCase{"UndeclaredPrefix",
                     Description(Service(WanIp1, "/c"))
                         .replace("<serviceList><service>", "<serviceList><d:service>")
                         .replace("</service></serviceList></device></deviceList>",
                                  "</d:service></serviceList></device></deviceList>"),
                     kHere, "http://127.0.0.1:5000/c", 1},
        FirmwareCase{"CutShortAfterTheService", cutAfterService(Service(WanPpp1, "/p")), kHere,
                     "http://127.0.0.1:5000/p", 1},
        FirmwareCase{"BrokenEntitiesDecoded", broken(Service(WanIp1, "/a?x=1&amp;y=&#50;")), kHere,
                     "http://127.0.0.1:5000/a?x=1&y=2", 1},
        // The lenient reading keeps every limit and every rule on control URLs.
        FirmwareCase{"BrokenWithoutConnection", broken({}), kHere, "", 0},
        FirmwareCase{"BrokenWithDtd",
                     "<!DOCTYPE root [<!ENTITY c \"/c\">]>" + broken(Service(WanIp1, "&c;")), kHere,
                     "", 0},
        FirmwareCase{"BrokenTooManyServices", broken(services(MaxServices + 1)), kHere, "", 0},
        FirmwareCase{"BrokenTooManyDevices",
                     broken(Service(WanIp1, "/c") + siblingDevices(MaxDevices)), kHere, "", 0},
        FirmwareCase{"BrokenNestedTooDeeply",
                     broken(nestedDevices(MaxDeviceNesting) + Service(WanIp1, "/c")), kHere, "", 0},
        FirmwareCase{"BrokenNotFromTheRouter", broken(Service(WanIp1, "/c")),
                     "http://10.0.0.9:5000/d.xml", "", 0},
        FirmwareCase{"BrokenNotHttp", broken(Service(WanIp1, "https://127.0.0.1/c")), kHere, "",
                     0}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- Discovery answers --------------------------------------------------------------------

struct FirmwareSsdpCase {
    const char* name;
    QByteArray datagram;
    const char* location;
    bool gateway;
};

class FirmwareSsdpTest : public testing::TestWithParam<FirmwareSsdpCase> {};

TEST_P(FirmwareSsdpTest, Reads) {
    const FirmwareSsdpCase& c = GetParam();
    const std::optional<SsdpReply> r = ParseSsdpReply(c.datagram);
    ASSERT_TRUE(r.has_value());
    EXPECT_EQ(r->location, QString::fromLatin1(c.location));
    EXPECT_EQ(r->isGateway(), c.gateway);
}

INSTANTIATE_TEST_SUITE_P(
    Firmware, FirmwareSsdpTest,
    testing::Values(
        FirmwareSsdpCase{"NoSpaceAfterColons",
                         "HTTP/1.1 200 OK\r\nCACHE-CONTROL:max-age=1800\r\nEXT:\r\n"
                         "LOCATION:http://10.0.0.1:8000/x7/IGD.xml\r\nSERVER:Box 1.0 UPnP/1.0 "
                         "(00-11-22-33-44-55)\r\nST:urn:schemas-upnp-org:device:"
                         "InternetGatewayDevice:1\r\n\r\n",
                         "http://10.0.0.1:8000/x7/IGD.xml", true},
        FirmwareSsdpCase{"MixedCaseLocationFirst",
                         "HTTP/1.1 200 OK\r\nLocation: http://10.0.0.1:49000/igd2desc.xml\r\n"
                         "Cache-Control: max-age=1800\r\nServer: host UPnP/1.0 Box 7\r\nExt: \r\n"
                         "ST: urn:schemas-upnp-org:service:WANIPConnection:2\r\n\r\n",
                         "http://10.0.0.1:49000/igd2desc.xml", true},
        FirmwareSsdpCase{"NoTerminatingBlankLine",
                         "HTTP/1.1 200 OK\r\nLOCATION: http://10.0.0.1:5000/rootDesc.xml\r\n"
                         "ST: urn:schemas-upnp-org:device:InternetGatewayDevice:1\r\n"
                         "CONFIGID.UPNP.ORG: 1337",
                         "http://10.0.0.1:5000/rootDesc.xml", true},
        FirmwareSsdpCase{"HttpOnTheDiscoveryPort",
                         "HTTP/1.1 200 OK\r\nLOCATION: http://10.0.0.1:1900/igd.xml\r\n"
                         "USN: uuid:x::urn:schemas-upnp-org:device:InternetGatewayDevice:1\r\n\r\n",
                         "http://10.0.0.1:1900/igd.xml", true},
        FirmwareSsdpCase{"NeitherStNorUsn",
                         "HTTP/1.1 200 OK\r\nLOCATION: http://10.0.0.1/RootDevice.xml\r\n\r\n",
                         "http://10.0.0.1/RootDevice.xml", true},
        FirmwareSsdpCase{"AnotherDevice",
                         "HTTP/1.1 200 OK\r\nLOCATION: http://10.0.0.1/d.xml\r\n"
                         "ST: urn:schemas-upnp-org:device:MediaServer:1\r\n\r\n",
                         "http://10.0.0.1/d.xml", false}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- SOAP answers -------------------------------------------------------------------------

struct FirmwareAnswerCase {
    const char* name;
    int status;
    QByteArray body;
    const char* action;
    SoapOutcome outcome;
    int code;
};

class FirmwareAnswerTest : public testing::TestWithParam<FirmwareAnswerCase> {};

TEST_P(FirmwareAnswerTest, Reads) {
    const FirmwareAnswerCase& c = GetParam();
    const SoapAnswer a = ParseSoapAnswer(c.status, c.body, QString::fromLatin1(c.action));
    EXPECT_EQ(a.outcome, c.outcome);
    EXPECT_EQ(a.errorCode, c.code);
}

// A fault in the given envelope prefix and element names, one element per line.
QByteArray fault(const QByteArray& prefix, const QByteArray& faultCode, const QByteArray& upnpError,
                 const QByteArray& errorCode, int code) {
    return "<" + prefix + ":Envelope xmlns:" + prefix +
           "=\"http://schemas.xmlsoap.org/soap/envelope/\" " + prefix +
           ":encodingStyle=\"http://schemas.xmlsoap.org/soap/encoding/\">\r\n<" + prefix +
           ":Body>\r\n<" + prefix + ":Fault>\r\n<" + faultCode + ">" + prefix + ":Client</" +
           faultCode + ">\r\n<detail>\r\n<" + upnpError +
           " xmlns=\"urn:schemas-upnp-org:control-1-0\">\r\n<" + errorCode + ">" +
           QByteArray::number(code) + "</" + errorCode + ">\r\n</" + upnpError +
           ">\r\n</detail>\r\n</" + prefix + ":Fault>\r\n</" + prefix + ":Body>\r\n</" + prefix +
           ":Envelope>\r\n";
}

const QByteArray kPrefixM =
    "<?xml version=\"1.0\"?>\n<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\"\n"
    "  s:encodingStyle=\"http://schemas.xmlsoap.org/soap/encoding/\">\n <s:Body>\n"
    "<m:AddPortMappingResponse xmlns:m=\"urn:schemas-upnp-org:service:WANPPPConnection:1\">"
    "</m:AddPortMappingResponse> </s:Body>\n</s:Envelope>";

INSTANTIATE_TEST_SUITE_P(
    Firmware, FirmwareAnswerTest,
    testing::Values(
        FirmwareAnswerCase{"PrefixMWrappedAttributes", 200, kPrefixM, "AddPortMapping",
                           SoapOutcome::Ok, 0},
        FirmwareAnswerCase{"ActionNameAsNamespace", 200,
                           "<?xml version=\"1.0\" encoding=\"utf-8\"?><s:Envelope xmlns:s=\"http://"
                           "schemas.xmlsoap.org/soap/envelope/\"><s:Body><u:"
                           "DeletePortMappingResponse xmlns:u=\"DeletePortMapping\">\n"
                           "</u:DeletePortMappingResponse></s:Body></s:Envelope>",
                           "DeletePortMapping", SoapOutcome::Ok, 0},
        FirmwareAnswerCase{"SoapEnvPrefix", 500,
                           fault("SOAP-ENV", "faultcode", "UPnPError", "errorCode", 401),
                           "AddPortMapping", SoapOutcome::Fault, 401},
        FirmwareAnswerCase{"CamelCaseFault", 500,
                           fault("s", "faultCode", "UPnPError", "errorCode", 725), "AddPortMapping",
                           SoapOutcome::Fault, 725},
        FirmwareAnswerCase{"LowerCaseFault", 500,
                           fault("s", "faultcode", "upnperror", "errorcode", 714),
                           "DeletePortMapping", SoapOutcome::Fault, 714},
        FirmwareAnswerCase{"UpperCaseCode", 500,
                           fault("e", "FAULTCODE", "UPNPERROR", "ERRORCODE", 718), "AddPortMapping",
                           SoapOutcome::Fault, 718},
        // Broken XML: the code is still found, with a prefix and in any case.
        FirmwareAnswerCase{"DamagedPrefixedCode", 500,
                           fault("s", "faultcode", "UPnPError", "u:ErrorCode", 713)
                               .replace("</detail>", "\xff<</detail>"),
                           "GetGenericPortMappingEntry", SoapOutcome::Fault, 713},
        FirmwareAnswerCase{"DamagedCodeTextOnly", 500,
                           "<s:Fault><errorCode>718<errorDescription>x\xfe</s:Fault>",
                           "AddPortMapping", SoapOutcome::Fault, 718},
        FirmwareAnswerCase{"DamagedClosingTagOnly", 500, "<s:Fault></errorCode>718</s:Fault><",
                           "AddPortMapping", SoapOutcome::UnknownFault, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FirmwareAnswerValues, AnEmptyAddressIsReadAsEmpty) {
    const SoapAnswer a = ParseSoapAnswer(
        200, ResponseBody("GetExternalIPAddress", "<NewExternalIPAddress></NewExternalIPAddress>"),
        QStringLiteral("GetExternalIPAddress"));
    ASSERT_TRUE(a.ok());
    EXPECT_TRUE(a.value(u"NewExternalIPAddress").isEmpty());
}

// ---- HTTP/1.0 answers ---------------------------------------------------------------------

TEST(FirmwareFraming, Http10WithoutLengthIsReadToTheCloseWithinTheLimit) {
    const QByteArray head = "HTTP/1.0 200 OK\r\nConnection: close\r\nServer: Box UPnP/1.0\r\n"
                            "Content-Type: text/xml; charset=\"utf-8\"\r\nEXT:\r\n\r\n";
    const struct {
        qsizetype limit;
        HttpResponseReader::State state;
    } rows[] = {{kPrefixM.size(), HttpResponseReader::State::Done},
                {kPrefixM.size() - 1, HttpResponseReader::State::TooLarge}};
    for (const auto& r : rows) {
        HttpResponseReader reader(r.limit);
        reader.feed(head + kPrefixM.left(40));
        reader.feed(kPrefixM.mid(40));
        EXPECT_EQ(reader.finish(), r.state) << r.limit;
        if (r.state == HttpResponseReader::State::Done) {
            EXPECT_EQ(reader.status(), 200);
            EXPECT_EQ(reader.body(), kPrefixM);
        }
    }
}

// ---- Words --------------------------------------------------------------------------------

TEST(FirmwareFaultWords, CodesRoutersSendAreToldOrHandledQuietly) {
    const struct {
        int code;
        const char* words; // "" = handled without words
    } rows[] = {{725, "only keeps port forwards permanently"},
                {718, "already forwarded to another device"},
                {606, "does not allow this computer"},
                {713, ""},
                {714, ""}};
    for (const auto& r : rows) {
        const QString text = DescribeUpnpError(r.code, 8096);
        if (*r.words == 0)
            EXPECT_TRUE(text.isEmpty()) << r.code;
        else
            EXPECT_TRUE(text.contains(QLatin1String(r.words))) << r.code;
    }
}

} // namespace
