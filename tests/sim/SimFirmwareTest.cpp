// SPDX-License-Identifier: GPL-3.0-or-later
// The UPnP simulator answering as a real router's firmware: a served description's controls,
// a captured discovery answer, and SOAP answers in the firmware's style.
#include "SimSoap.h"
#include "UpnpSimulator.h"

#include "QtPrint.h"

#include <gtest/gtest.h>

namespace {

struct StyleCase {
    const char* name;
    SimSoap::Style style;
    const char* present; // each of these, '|' apart, is in the restyled answer
    const char* absent;
};

SimSoap::Style style(const QByteArray& envelope, const QByteArray& response,
                     SimSoap::Style::FaultNames names, bool http10) {
    return {envelope, response, names, http10};
}

class SimStyleTest : public testing::TestWithParam<StyleCase> {};

TEST_P(SimStyleTest, FaultAndSuccessRewritten) {
    const StyleCase& c = GetParam();
    const auto http = [](const QByteArray& body) {
        return "HTTP/1.1 500 Internal Server Error\r\nContent-Length: " +
               QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
    };
    const QByteArray answers =
        SimSoap::restyled(http(SimSoap::fault(714)), c.style) +
        SimSoap::restyled(http(SimSoap::success("GetExternalIPAddress", "urn:x:1",
                                                SimSoap::argument("NewExternalIPAddress", "1"))),
                          c.style);
    for (const QByteArray& text : QByteArray(c.present).split('|'))
        EXPECT_TRUE(answers.contains(text)) << text.constData() << "\n" << answers.constData();
    for (const QByteArray& text : QByteArray(c.absent).split('|'))
        EXPECT_FALSE(answers.contains(text)) << text.constData() << "\n" << answers.constData();
    // Whatever the style, the length said is the length sent.
    const QByteArray first = answers.left(answers.indexOf("HTTP/1.", 1));
    const qsizetype length = first.indexOf("Content-Length: ");
    if (length >= 0) {
        EXPECT_EQ(first.mid(length + 16, first.indexOf('\r', length) - length - 16).toInt(),
                  first.size() - first.indexOf("\r\n\r\n") - 4);
    }
}

using Names = SimSoap::Style::FaultNames;

INSTANTIATE_TEST_SUITE_P(
    Styles, SimStyleTest,
    testing::Values(
        StyleCase{"Plain",
                  {},
                  "<s:Envelope|<u:GetExternalIPAddressResponse|<errorCode>714|HTTP/1.1",
                  "SOAP-ENV|<m:|HTTP/1.0"},
        StyleCase{"SoapEnvAndM", style("SOAP-ENV", "m", Names::Standard, false),
                  "<SOAP-ENV:Envelope xmlns:SOAP-ENV=|SOAP-ENV:encodingStyle|>SOAP-ENV:Client<|"
                  "<m:GetExternalIPAddressResponse xmlns:m=|</m:GetExternalIPAddressResponse>",
                  "<s:|</s:|<u:|xmlns:u="},
        StyleCase{"CamelFaults", style("s", "u", Names::Camel, false),
                  "<faultCode>s:Client</faultCode>|<faultString>", "<faultcode>"},
        StyleCase{"LowerFaults", style("s", "u", Names::Lower, false),
                  "<upnperror xmlns=|<errorcode>714</errorcode>|</upnperror>", "UPnPError xmlns"},
        StyleCase{"Http10", style("s", "u", Names::Standard, true),
                  "HTTP/1.0 500 Internal Server Error\r\n|Connection: close",
                  "Content-Length|HTTP/1.1"}),
    [](const auto& info) { return std::string(info.param.name); });

// A description of the simulator's own test: PPP with a query-only control on IGD:1.
const QByteArray kDescription =
    "HTTP/1.0 200 OK\r\nContent-Type: text/xml\r\n\r\n<root><device><deviceType>urn:schemas-"
    "upnp-org:device:InternetGatewayDevice:1</deviceType><UDN>uuid:\n q</UDN><service><serviceType>"
    "urn:schemas-upnp-org:service:WANPPPConnection:1\n</serviceType><controlURL>?7</controlURL>"
    "</service></device></root>";

TEST(SimDescribed, ControlsDiscoveryAndDescriptionAreTheDocuments) {
    UpnpSimOptions o;
    o.description = kDescription;
    o.ssdpReply = "HTTP/1.1 200 OK\r\nLOCATION:http://192.168.1.1:8000/x/IGD.xml\r\n"
                  "SERVER:Box UPnP/1.0\r\nST:upnp:rootdevice\r\n\r\n";
    UpnpSimulator sim(o);
    ASSERT_TRUE(sim.listen());
    EXPECT_EQ(sim.serviceType(), QStringLiteral("urn:schemas-upnp-org:service:WANPPPConnection:1"));
    EXPECT_EQ(sim.rootUdn(), QStringLiteral("uuid:q"));
    EXPECT_EQ(sim.options().igdVersion, 1);

    const QByteArray search = "M-SEARCH * HTTP/1.1\r\nHOST: 239.255.255.250:1900\r\nMAN: "
                              "\"ssdp:discover\"\r\nMX: 2\r\nST: ";
    const QList<QByteArray> replies =
        sim.respondSsdp(search + "urn:schemas-upnp-org:service:WANPPPConnection:1\r\n\r\n");
    ASSERT_EQ(replies.size(), 1);
    EXPECT_EQ(replies.front(), "HTTP/1.1 200 OK\r\nLOCATION:" + sim.locationUrl().toLatin1() +
                                   "\r\nSERVER:Box UPnP/1.0\r\nST:urn:schemas-upnp-org:service:"
                                   "WANPPPConnection:1\r\n\r\n");
    EXPECT_TRUE(sim.locationUrl().endsWith(QStringLiteral("/x/IGD.xml")));
    EXPECT_TRUE(sim.respondSsdp(search + "urn:schemas-upnp-org:service:WANIPConnection:1\r\n\r\n")
                    .isEmpty());

    const QHostAddress peer(QHostAddress::LocalHost);
    const QByteArray host = "\r\nHost: 127.0.0.1:" + QByteArray::number(sim.httpPort());
    const QByteArray document =
        sim.respondHttp("GET /x/IGD.xml HTTP/1.1" + host + "\r\n\r\n", peer);
    EXPECT_TRUE(document.endsWith(kDescription.mid(kDescription.indexOf("<root>"))));
    const QByteArray body = "<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\">"
                            "<s:Body><u:GetExternalIPAddress xmlns:u=\"urn:schemas-upnp-org:"
                            "service:WANPPPConnection:1\"/></s:Body></s:Envelope>";
    const auto post = [&](const QByteArray& target) {
        return sim.respondHttp(
            "POST " + target + " HTTP/1.1" + host +
                "\r\nContent-Type: text/xml\r\nSOAPAction: \"urn:schemas-upnp-org:service:"
                "WANPPPConnection:1#GetExternalIPAddress\"\r\nContent-Length: " +
                QByteArray::number(body.size()) + "\r\n\r\n" + body,
            peer);
    };
    EXPECT_TRUE(post("/x/IGD.xml?7").startsWith("HTTP/1.1 200 OK"));
    EXPECT_TRUE(post("/x/IGD.xml?8").startsWith("HTTP/1.1 404"));
    EXPECT_TRUE(post("/ctl/IPConn").startsWith("HTTP/1.1 404"));
}

} // namespace
