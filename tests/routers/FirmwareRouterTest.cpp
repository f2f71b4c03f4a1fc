// SPDX-License-Identifier: GPL-3.0-or-later
// The UPnP kind against the simulated router serving descriptions and answers written the way
// real firmware writes them: status, a forward and clearing it, for each quirk.
#include "QtPrint.h"
#include "UpnpRig.h"

#include <QTcpServer>

#include <gtest/gtest.h>

namespace {

const QByteArray kIp1 = "urn:schemas-upnp-org:service:WANIPConnection:1";
const QByteArray kPpp1 = "urn:schemas-upnp-org:service:WANPPPConnection:1";
const QByteArray kPpp2 = "urn:schemas-upnp-org:service:WANPPPConnection:2";

// A root description with one connection service; `urlBase` goes where `urlBaseLast` says, and
// `broken` leaves a field open.
QByteArray description(const QByteArray& type, const QByteArray& control, const QByteArray& igd,
                       const QByteArray& urlBase, bool urlBaseLast, bool broken) {
    const QByteArray base = urlBase.isEmpty() ? QByteArray() : "<URLBase>" + urlBase + "</URLBase>";
    return "<root xmlns=\"urn:schemas-upnp-org:device-1-0\">\r\n" +
           (urlBaseLast ? QByteArray() : base) +
           "<device><deviceType>urn:schemas-upnp-org:device:InternetGatewayDevice:" + igd +
           "</deviceType>\r\n<friendlyName>Quirky Box</friendlyName>" +
           (broken ? "<manufacturerURL>" : "") +
           "<UDN>uuid:q</UDN><deviceList><device><deviceType>urn:schemas-upnp-org:device:"
           "WANConnectionDevice:1</deviceType><serviceList><service>\r\n<serviceType>\n\t" +
           type +
           "\n\t</serviceType><serviceId>urn:upnp-org:serviceId:WANIPConn1</serviceId>"
           "<controlURL>" +
           control + "</controlURL></service></serviceList></device></deviceList></device>" +
           (urlBaseLast ? base : QByteArray()) + "</root>";
}

// A port free on loopback now, for a description that names a port of its own.
quint16 freePort() {
    QTcpServer probe;
    EXPECT_TRUE(probe.listen(QHostAddress::LocalHost));
    return probe.serverPort();
}

struct RouterQuirk {
    const char* name;
    QByteArray type;
    QByteArray control; // %p: a port of its own
    QByteArray igd;
    QByteArray urlBase; // %p: a port of its own
    bool urlBaseLast;
    bool broken;
    SimSoap::Style style;
};

SimSoap::Style style(const QByteArray& envelope, const QByteArray& response,
                     SimSoap::Style::FaultNames names, bool http10) {
    SimSoap::Style s;
    s.envelopePrefix = envelope;
    s.responsePrefix = response;
    s.faultNames = names;
    s.http10 = http10;
    return s;
}

using Names = SimSoap::Style::FaultNames;

class FirmwareRouterTest : public testing::TestWithParam<RouterQuirk> {};

TEST_P(FirmwareRouterTest, StatusOneForwardAndClear) {
    const RouterQuirk& q = GetParam();
    const QByteArray port = QByteArray::number(freePort());
    UpnpSimOptions o;
    o.description = description(q.type, QByteArray(q.control).replace("%p", port), q.igd,
                                QByteArray(q.urlBase).replace("%p", port), q.urlBaseLast, q.broken);
    o.style = q.style;
    UpnpRig rig(o);
    rig.addApp(QStringLiteral("Media"), ProtocolTcp, 8096, 8096);
    rig.start();
    ASSERT_TRUE(rig.module.RouterFound);
    EXPECT_TRUE(rig.view.statusBar.contains(QStringLiteral("Quirky Box")));
    EXPECT_EQ(rig.view.wanAddress, QStringLiteral("11.22.33.44"));

    rig.router->PointToMe();
    EXPECT_EQ(rig.router->lastProblems(), QStringList());
    const QList<UpnpMapping> table = rig.sim.mappings();
    ASSERT_EQ(table.size(), 1);
    EXPECT_EQ(table.front().externalPort, 8096);

    EXPECT_TRUE(rig.router->ClearAll());
    EXPECT_TRUE(rig.sim.mappings().isEmpty());
    EXPECT_EQ(rig.view.status, QStringLiteral("Completed"));
}

INSTANTIATE_TEST_SUITE_P(
    Firmware, FirmwareRouterTest,
    testing::Values(
        RouterQuirk{"PppOnlyUrlBaseOnAnotherPort",
                    kPpp1,
                    "/upnp/control/WANPPPConn1",
                    "1",
                    "http://192.168.1.1:%p",
                    false,
                    true,
                    {}},
        RouterQuirk{"Ppp2OnIgd2", kPpp2, "/87/upnp/control/WANIPConn1", "2", {}, false, false, {}},
        RouterQuirk{"AbsoluteControlWithQueryOnAnotherPort",
                    kIp1,
                    "http://192.168.0.1:%p/ctrl?1",
                    "1",
                    "http://127.0.0.1",
                    false,
                    false,
                    {}},
        RouterQuirk{"UrlBaseLastWithSlashHttp10PrefixM", kPpp1, "/uuid:q/WANPPPConn1", "1",
                    "http://192.168.0.1:%p/", true, false, style("s", "m", Names::Standard, true)},
        RouterQuirk{"QueryOnlySoapEnvCamelFaults",
                    kIp1,
                    "?9",
                    "1",
                    {},
                    false,
                    true,
                    style("SOAP-ENV", "u", Names::Camel, false)},
        RouterQuirk{"Ip2LowerCaseFaultsHttp10",
                    "urn:schemas-upnp-org:service:WANIPConnection:2",
                    "/ctl/IPConn",
                    "2",
                    {},
                    false,
                    false,
                    style("s", "u", Names::Lower, true)}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
