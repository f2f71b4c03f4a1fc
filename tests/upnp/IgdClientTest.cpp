// SPDX-License-Identifier: GPL-3.0-or-later
#include "router/upnp/IgdClient.h"

#include "platform/EventPump.h"
#include "router/net/LocalAddress.h"

#include "FakeIgd.h"
#include "QtPrint.h"
#include "SilentRouter.h"

#include <gtest/gtest.h>

namespace {

using std::chrono::milliseconds;

// Discovery's schedule shrunk to milliseconds; multicast off, though a loopback router
// would never get any.
UpnpOptions Options(const QString& router) {
    UpnpOptions o;
    o.router = router;
    o.allowMulticast = false;
    o.timings.firstMulticast = milliseconds(10);
    o.timings.secondRound = milliseconds(30);
    o.timings.thirdRound = milliseconds(60);
    o.timings.giveUp = milliseconds(150);
    o.timings.collectAfterReply = milliseconds(10);
    o.timings.busyRetry = milliseconds(10);
    return o;
}

struct Rig {
    explicit Rig(bool direct = false)
        : client(waiter, Options(direct ? fake.descriptionUrl() : fake.router())) {}
    FakeIgd fake;
    LoopWaiter waiter;
    IgdClient client;
};

const QByteArray kFault500 = "500 Internal Server Error";

// ---- Discovery ----------------------------------------------------------------------------

TEST(IgdDiscovery, UnicastSearchFindsTheRouterAndItsService) {
    FakeIgd fake;
    // LOCATION names another address, and the answer comes from another port.
    fake.locationHost = "127.0.0.2";
    fake.replyFromOtherPort = true;
    LoopWaiter waiter;
    IgdClient client(waiter, Options(fake.router()));
    ASSERT_TRUE(client.discover()) << client.router().failure.toStdString();

    ASSERT_GE(fake.searches.size(), 2);
    EXPECT_EQ(fake.searches.at(0), BuildMSearch(SearchTarget::All));
    EXPECT_EQ(fake.searches.at(1), BuildMSearch(SearchTarget::Igd1));
    ASSERT_EQ(fake.requests.size(), 1);
    EXPECT_TRUE(fake.requests.front().startsWith(
        "GET /rootDesc.xml HTTP/1.1\r\nHost: 127.0.0.1:" + QByteArray::number(fake.httpPort()) +
        "\r\nConnection: close\r\n"));

    const IgdRouter& r = client.router();
    EXPECT_EQ(r.localAddress, QHostAddress(QHostAddress::LocalHost));
    EXPECT_EQ(r.device.friendlyName, QStringLiteral("Home Router"));
    EXPECT_EQ(r.server, QStringLiteral("Fake/1.0 UPnP/1.1 FakeIgd/1.0"));
    EXPECT_EQ(r.bootId, QStringLiteral("7"));
    EXPECT_EQ(r.igdVersion, 2);
    EXPECT_EQ(r.version(), 2);
    EXPECT_EQ(r.service.controlUrl.toString(),
              QStringLiteral("http://127.0.0.1:%1/ctl/IPConn").arg(fake.httpPort()));
}

TEST(IgdDiscovery, SilenceRepeatsUnicastRoundsThenGivesUp) {
    FakeIgd fake;
    fake.answerSearch = false;
    LoopWaiter waiter;
    IgdClient client(waiter, Options(fake.router()));
    EXPECT_FALSE(client.discover());
    EXPECT_EQ(client.router().failure, QStringLiteral("No UPnP router answered."));
    EXPECT_EQ(
        fake.searches,
        QList<QByteArray>({BuildMSearch(SearchTarget::All), BuildMSearch(SearchTarget::Igd1),
                           BuildMSearch(SearchTarget::Igd1), BuildMSearch(SearchTarget::Igd1)}));
}

TEST(IgdDiscovery, AnotherDeviceIsListedNotTaken) {
    FakeIgd fake;
    fake.replyFromOtherAddress = true;
    LoopWaiter waiter;
    IgdClient client(waiter, Options(fake.router()));
    EXPECT_FALSE(client.discover());
    ASSERT_EQ(client.router().otherDevices.size(), 1);
    EXPECT_EQ(client.router().otherDevices.front().address,
              QHostAddress(QStringLiteral("127.0.0.2")));
    EXPECT_TRUE(fake.requests.isEmpty());
}

TEST(IgdDiscovery, DescriptionUrlSkipsTheSearch) {
    Rig rig(true);
    ASSERT_TRUE(rig.client.discover()) << rig.client.router().failure.toStdString();
    EXPECT_TRUE(rig.fake.searches.isEmpty());
    EXPECT_TRUE(rig.client.router().server.isEmpty());
}

TEST(IgdDiscovery, ChunkedDescriptionIsRead) {
    Rig rig(true);
    const QByteArray d = rig.fake.description;
    rig.fake.rawDescriptionReply = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n" +
                                   QByteArray::number(100, 16) + "\r\n" + d.left(100) + "\r\n" +
                                   QByteArray::number(d.size() - 100, 16) + "\r\n" + d.mid(100) +
                                   "\r\n0\r\n\r\n";
    EXPECT_TRUE(rig.client.discover()) << rig.client.router().failure.toStdString();
}

struct RefusedDescription {
    const char* name;
    QByteArray reply;
    const char* failure;
};

class IgdDescriptionRefused : public testing::TestWithParam<RefusedDescription> {};

TEST_P(IgdDescriptionRefused, NoRouterFound) {
    Rig rig(true);
    rig.fake.rawDescriptionReply = GetParam().reply;
    EXPECT_FALSE(rig.client.discover());
    EXPECT_TRUE(rig.client.router().failure.startsWith(QString::fromLatin1(GetParam().failure)))
        << rig.client.router().failure.toStdString();
    // Nothing more is asked of a router whose description was refused.
    EXPECT_EQ(rig.fake.requests.size(), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Replies, IgdDescriptionRefused,
    testing::Values(
        RefusedDescription{"Dtd",
                           HttpAnswer("<?xml version=\"1.0\"?><!DOCTYPE root [<!ENTITY x \"y\">]>" +
                                      Description(Service(WanIp2, "/c")).mid(23)),
                           "the router's description was refused"},
        RefusedDescription{"Oversize", HttpAnswer(QByteArray(200 * 1024, ' ')),
                           "the router's description is too large"},
        RefusedDescription{"OversizeWithoutLength",
                           "HTTP/1.1 200 OK\r\n\r\n" + QByteArray(200 * 1024, ' '),
                           "the router's description is too large"},
        RefusedDescription{"Redirect",
                           "HTTP/1.1 302 Found\r\nLocation: http://127.0.0.1:1/x\r\n"
                           "Content-Length: 0\r\n\r\n",
                           "the router answered HTTP 302"},
        RefusedDescription{"NoConnectionService",
                           HttpAnswer(Description(Service("urn:x:service:Other:1", "/c"))),
                           "the router offers no WAN connection service"}),
    [](const auto& info) { return std::string(info.param.name); });

struct Candidates {
    const char* name;
    QByteArray statusA, addressA, statusB, addressB;
    const char* chosen;
};

class IgdServiceChoice : public testing::TestWithParam<Candidates> {};

TEST_P(IgdServiceChoice, PrefersConnectedWithPublicAddress) {
    const Candidates& c = GetParam();
    Rig rig(true);
    rig.fake.description = Description(Service(WanIp1, "/a") + Service(WanPpp1, "/b"), {}, "1");
    rig.fake.answer = [&c, &rig](const QByteArray& action, const QByteArray&) -> QByteArray {
        const bool a = rig.fake.requests.back().startsWith("POST /a ");
        const QByteArray type = a ? WanIp1 : WanPpp1;
        if (action == "GetStatusInfo")
            return HttpAnswer(ResponseBody(action,
                                           "<NewConnectionStatus>" + (a ? c.statusA : c.statusB) +
                                               "</NewConnectionStatus>",
                                           type));
        return HttpAnswer(ResponseBody(action,
                                       "<NewExternalIPAddress>" + (a ? c.addressA : c.addressB) +
                                           "</NewExternalIPAddress>",
                                       type));
    };
    ASSERT_TRUE(rig.client.discover());
    EXPECT_EQ(rig.client.router().service.controlUrl.path(), QString::fromLatin1(c.chosen));
}

INSTANTIATE_TEST_SUITE_P(
    Routers, IgdServiceChoice,
    testing::Values(
        Candidates{"FirstDisconnected", "Disconnected", "", "Connected", "11.22.33.44", "/b"},
        Candidates{"FirstPrivate", "Connected", "10.0.0.2", "Up", "11.22.33.44", "/b"},
        Candidates{"NonePublic", "Disconnected", "", "Connected", "100.64.0.1", "/b"},
        Candidates{"NoneConnected", "Disconnected", "", "Connecting", "", "/a"},
        Candidates{"BothFine", "Connected", "11.22.33.44", "Connected", "11.22.33.45", "/a"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(IgdDiscoveryGuards, MulticastNeverTowardLoopback) {
    const QHostAddress lan(QStringLiteral("10.251.0.1"));
    const QHostAddress me(QStringLiteral("10.251.0.2"));
    const QHostAddress lo(QHostAddress::LocalHost);
    EXPECT_TRUE(MulticastAllowed(true, lan, me));
    EXPECT_FALSE(MulticastAllowed(false, lan, me));
    EXPECT_FALSE(MulticastAllowed(true, lo, lo));
    EXPECT_FALSE(MulticastAllowed(true, QHostAddress(QStringLiteral("127.0.0.53")), me));
    EXPECT_FALSE(MulticastAllowed(true, QHostAddress(QStringLiteral("::ffff:127.0.0.1")), me));
    EXPECT_FALSE(MulticastAllowed(true, QHostAddress(QHostAddress::LocalHostIPv6), me));
    // Over IPv6 too, but only toward a router of the same family.
    const QHostAddress router6(QStringLiteral("fe80::1%eth0"));
    const QHostAddress me6(QStringLiteral("2001:db8:1::100"));
    EXPECT_TRUE(MulticastAllowed(true, router6, me6));
    EXPECT_FALSE(MulticastAllowed(false, router6, me6));
    EXPECT_FALSE(MulticastAllowed(true, router6, me));
    EXPECT_FALSE(MulticastAllowed(true, QHostAddress(QHostAddress::LocalHostIPv6),
                                  QHostAddress(QHostAddress::LocalHostIPv6)));
    EXPECT_EQ(LocalAddressToward(lo, 1900), lo);
}

TEST(IgdTarget, LanPrivateIpForms) {
    EXPECT_EQ(ParseUpnpTarget(QStringLiteral("192.168.1.1"))->ssdpPort, 1900);
    EXPECT_EQ(ParseUpnpTarget(QStringLiteral("127.0.0.1:5001"))->ssdpPort, 5001);
    const auto url = ParseUpnpTarget(QStringLiteral("http://127.0.0.1:5000/rootDesc.xml"));
    ASSERT_TRUE(url);
    EXPECT_EQ(url->host, QStringLiteral("127.0.0.1"));
    EXPECT_EQ(url->descriptionUrl.path(), QStringLiteral("/rootDesc.xml"));
    EXPECT_FALSE(ParseUpnpTarget(QStringLiteral("https://127.0.0.1/x")));
    EXPECT_FALSE(ParseUpnpTarget(QStringLiteral("http://u:p@127.0.0.1/x")));
    EXPECT_FALSE(ParseUpnpTarget(QStringLiteral("127.0.0.1:0")));
}

// ---- Actions ------------------------------------------------------------------------------

TEST(IgdActions, AddPortMappingSendsTheExactRequest) {
    Rig rig(true);
    ASSERT_TRUE(rig.client.discover());
    EXPECT_EQ(rig.client.getExternalIPAddress().address, QStringLiteral("11.22.33.44"));
    rig.fake.requests.clear();
    const AddMappingResult r =
        rig.client.addPortMapping({.externalPort = 8080,
                                   .protocol = QStringLiteral("tcp"),
                                   .internalPort = 8080,
                                   .description = QStringLiteral("Harborly: Web server")});
    ASSERT_TRUE(r.ok);
    // Exactly the request the builder makes from the reference's example, with this
    // computer's address toward the router and the protocol upper case.
    ASSERT_FALSE(rig.fake.requests.isEmpty());
    EXPECT_EQ(rig.fake.requests.front(),
              BuildSoapRequest(rig.client.router().service.controlUrl, QString::fromLatin1(WanIp2),
                               QStringLiteral("AddPortMapping"),
                               {{"NewRemoteHost", ""},
                                {"NewExternalPort", "8080"},
                                {"NewProtocol", "TCP"},
                                {"NewInternalPort", "8080"},
                                {"NewInternalClient", "127.0.0.1"},
                                {"NewEnabled", "1"},
                                {"NewPortMappingDescription", "Harborly: Web server"},
                                {"NewLeaseDuration", "3600"}}));
    EXPECT_TRUE(rig.fake.requests.front().contains(
        "\r\nHost: 127.0.0.1:" + QByteArray::number(rig.fake.httpPort()) + "\r\n"));
    // Read back for the lease the router really granted.
    EXPECT_EQ(rig.fake.actions.mid(rig.fake.actions.size() - 2),
              QList<QByteArray>({"AddPortMapping", "GetSpecificPortMappingEntry"}));
    EXPECT_TRUE(r.verified);
    EXPECT_EQ(r.grantedLease, 3600u);
}

struct AddCase {
    const char* name;
    int version;
    quint32 lease;
    // The router's answer to an AddPortMapping with this lease, "" for the table's own.
    std::function<QByteArray(const QByteArray& lease)> refuse;
    QByteArray heldBy; // an entry already there for 8080/TCP, internal port 8080
    bool ok;
    int errorCode;
    QList<QByteArray> leasesSent;
    bool permanent;
    bool alreadyOurs;
    const char* conflictClient;
};

class IgdAddFallbacks : public testing::TestWithParam<AddCase> {};

TEST_P(IgdAddFallbacks, Outcome) {
    const AddCase& c = GetParam();
    Rig rig(true);
    rig.fake.setVersion(c.version);
    if (!c.heldBy.isEmpty())
        rig.fake.table["8080/TCP"] = {c.heldBy, "8080", "other", "0"};
    rig.fake.answer = [&c](const QByteArray& action, const QByteArray& body) -> QByteArray {
        if (action != "AddPortMapping" || !c.refuse)
            return {};
        return c.refuse(Arg(body, "NewLeaseDuration"));
    };
    ASSERT_TRUE(rig.client.discover());
    rig.fake.requests.clear();
    const AddMappingResult r =
        rig.client.addPortMapping({.externalPort = 8080,
                                   .protocol = QStringLiteral("TCP"),
                                   .internalPort = 8080,
                                   .description = QStringLiteral("Harborly: Game"),
                                   .leaseSeconds = c.lease});
    EXPECT_EQ(r.ok, c.ok);
    EXPECT_EQ(r.errorCode, c.errorCode);
    QList<QByteArray> leases;
    for (const QByteArray& request : rig.fake.requests)
        if (request.contains("#AddPortMapping\""))
            leases << Arg(request, "NewLeaseDuration");
    EXPECT_EQ(leases, c.leasesSent);
    EXPECT_EQ(r.permanent, c.permanent);
    EXPECT_EQ(r.alreadyOurs, c.alreadyOurs);
    EXPECT_EQ(r.conflictClient, QString::fromLatin1(c.conflictClient));
}

QByteArray fault(int code) {
    return HttpAnswer(FaultBody(code), kFault500);
}

INSTANTIATE_TEST_SUITE_P(
    Routers, IgdAddFallbacks,
    testing::Values(
        AddCase{"OnlyPermanentOnV1",
                1,
                3600,
                [](const QByteArray& l) { return l == "0" ? QByteArray() : fault(725); },
                {},
                true,
                0,
                {"3600", "0"},
                true,
                false,
                ""},
        AddCase{"NonZeroLeaseRefused",
                2,
                3600,
                [](const QByteArray& l) { return l == "0" ? QByteArray() : fault(402); },
                {},
                true,
                0,
                {"3600", "0"},
                false,
                false,
                ""},
        AddCase{"ZeroLeaseRefused",
                1,
                0,
                [](const QByteArray& l) { return l == "0" ? fault(402) : QByteArray(); },
                {},
                true,
                0,
                {"0", "3600"},
                false,
                false,
                ""},
        AddCase{"ArgsRefusedEitherWay",
                2,
                3600,
                [](const QByteArray&) { return fault(402); },
                {},
                false,
                402,
                {"3600", "0"},
                false,
                false,
                ""},
        AddCase{"ConflictButOurs",
                2,
                3600,
                [](const QByteArray&) { return fault(718); },
                "127.0.0.1",
                true,
                0,
                {"3600"},
                false,
                true,
                ""},
        AddCase{"ConflictWithAnother",
                2,
                3600,
                [](const QByteArray&) { return fault(718); },
                "192.168.1.99",
                false,
                718,
                {"3600"},
                false,
                false,
                "192.168.1.99"},
        AddCase{"NotAuthorizedNotRetried",
                2,
                3600,
                [](const QByteArray&) { return fault(606); },
                {},
                false,
                606,
                {"3600"},
                false,
                false,
                ""},
        AddCase{"BareHttp500",
                2,
                3600,
                [](const QByteArray&) { return HttpAnswer("", kFault500); },
                {},
                false,
                0,
                {"3600"},
                false,
                false,
                ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(IgdActions, DescriptionKeptShortAndAscii) {
    EXPECT_EQ(AsciiDescription(QStringLiteral("Harborly: \u00dcn\u00efcode\tgame with a very long "
                                              "name indeed")),
              QStringLiteral("Harborly: ncodegame with a very long nam"));
}

TEST(IgdActions, LeaseGrantedIsTheOneReadBack) {
    Rig rig(true);
    rig.fake.answer = [](const QByteArray& action, const QByteArray&) -> QByteArray {
        if (action != "GetSpecificPortMappingEntry")
            return {};
        return HttpAnswer(ResponseBody(action, "<NewInternalPort>9000</NewInternalPort>"
                                               "<NewInternalClient>127.0.0.1</NewInternalClient>"
                                               "<NewLeaseDuration>86400</NewLeaseDuration>"));
    };
    ASSERT_TRUE(rig.client.discover());
    const AddMappingResult r = rig.client.addPortMapping(
        {.externalPort = 9000, .protocol = QStringLiteral("UDP"), .internalPort = 9000});
    EXPECT_TRUE(r.ok);
    EXPECT_EQ(r.grantedLease, 86400u);
}

TEST(IgdActions, DeleteTreatsNoSuchEntryAsGone) {
    Rig rig(true);
    ASSERT_TRUE(rig.client.discover());
    rig.fake.answer = [](const QByteArray& action, const QByteArray& body) -> QByteArray {
        if (action != "DeletePortMapping")
            return {};
        return fault(Arg(body, "NewExternalPort") == "1" ? 714 : 606);
    };
    EXPECT_TRUE(rig.client.deletePortMapping(1, QStringLiteral("TCP")).gone);
    const DeleteMappingResult refused = rig.client.deletePortMapping(2, QStringLiteral("UDP"));
    EXPECT_FALSE(refused.gone);
    EXPECT_EQ(refused.answer.errorCode, 606);
    // Port 0 is never sent.
    const qsizetype sent = rig.fake.requests.size();
    EXPECT_EQ(rig.client.deletePortMapping(0, QStringLiteral("TCP")).answer.outcome,
              SoapOutcome::Refused);
    EXPECT_EQ(rig.fake.requests.size(), sent);
}

// ---- Listing ------------------------------------------------------------------------------

void fill(FakeIgd& fake) {
    fake.table["3000/TCP"] = {"127.0.0.1", "3000", "Harborly: A", "3600"};
    fake.table["3001/UDP"] = {"10.0.0.9", "3001", "other", "0"};
    fake.table["3002/TCP"] = {"127.0.0.1", "3002", "Harborly: B", "100"};
}

struct ListCase {
    const char* name;
    int version;
    std::function<QByteArray(const QByteArray& action, const QByteArray& body)> answer;
    qsizetype entries;
    bool fastPath;
    bool complete;
};

class IgdListing : public testing::TestWithParam<ListCase> {};

TEST_P(IgdListing, Reads) {
    const ListCase& c = GetParam();
    Rig rig(true);
    rig.fake.setVersion(c.version);
    fill(rig.fake);
    rig.fake.answer = c.answer;
    ASSERT_TRUE(rig.client.discover());
    const ListingResult r = rig.client.listPortMappings();
    EXPECT_EQ(r.entries.size(), c.entries) << r.endReason.toStdString();
    EXPECT_EQ(r.fastPath, c.fastPath);
    EXPECT_EQ(r.complete, c.complete);
    if (c.entries == 3) {
        QStringList ports;
        for (const PortMappingEntry& e : r.entries)
            ports << QString::number(e.externalPort) + QLatin1Char('/') + e.protocol;
        ports.sort();
        EXPECT_EQ(ports, QStringList({"3000/TCP", "3001/UDP", "3002/TCP"}));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Routers, IgdListing,
    testing::Values(ListCase{"GenericLoopToTheEnd", 1, {}, 3, false, true},
                    ListCase{"ListOfPortMappings", 2, {}, 3, true, true},
                    ListCase{"FastPathRefusedFallsBack", 2,
                             [](const QByteArray& a, const QByteArray&) {
                                 return a == "GetListOfPortMappings" ? fault(401) : QByteArray();
                             },
                             3, false, true},
                    ListCase{"FastPathEmptyIsNotTrusted", 2,
                             [](const QByteArray& a, const QByteArray&) {
                                 return a == "GetListOfPortMappings" ? fault(730) : QByteArray();
                             },
                             3, false, true},
                    ListCase{"EndsOn714", 1,
                             [](const QByteArray& a, const QByteArray& b) {
                                 return a == "GetGenericPortMappingEntry" &&
                                                Arg(b, "NewPortMappingIndex") == "2"
                                            ? fault(714)
                                            : QByteArray();
                             },
                             2, false, true},
                    ListCase{"BareHttp500EndsEarly", 1,
                             [](const QByteArray& a, const QByteArray& b) {
                                 return a == "GetGenericPortMappingEntry" &&
                                                Arg(b, "NewPortMappingIndex") == "1"
                                            ? HttpAnswer("", kFault500)
                                            : QByteArray();
                             },
                             1, false, false},
                    ListCase{
                        "LoopingFirmware", 1,
                        [](const QByteArray& a, const QByteArray&) {
                            if (a != "GetGenericPortMappingEntry")
                                return QByteArray();
                            return HttpAnswer(ResponseBody(
                                a,
                                "<NewExternalPort>5</NewExternalPort><NewProtocol>TCP</NewProtocol>"
                                "<NewInternalPort>5</NewInternalPort>",
                                WanIp1));
                        },
                        1, false, false}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- Transport limits ---------------------------------------------------------------------

TEST(IgdTransport, SilentRouterTimesOut) {
    FakeIgd fake;
    LoopWaiter waiter;
    UpnpOptions o = Options(fake.descriptionUrl());
    o.timings.soap = milliseconds(50);
    IgdClient client(waiter, o);
    ASSERT_TRUE(client.discover());
    fake.silent = true;
    EXPECT_EQ(client.getExternalIPAddress().answer.outcome, SoapOutcome::TimedOut);
}

TEST(IgdTransport, OversizeAnswerIsRefused) {
    Rig rig(true);
    ASSERT_TRUE(rig.client.discover());
    rig.fake.answer = [](const QByteArray&, const QByteArray&) {
        return HttpAnswer(ResponseBody("GetExternalIPAddress", "<NewExternalIPAddress>" +
                                                                   QByteArray(70 * 1024, '1') +
                                                                   "</NewExternalIPAddress>"));
    };
    EXPECT_EQ(rig.client.getExternalIPAddress().answer.outcome, SoapOutcome::TooLarge);
}

TEST(IgdTransport, BusyRouterGetsOneRetry) {
    Rig rig(true);
    ASSERT_TRUE(rig.client.discover());
    int busy = 0;
    rig.fake.answer = [&busy](const QByteArray&, const QByteArray&) {
        return ++busy == 1 ? HttpAnswer("", "503 Service Unavailable") : QByteArray();
    };
    EXPECT_TRUE(rig.client.getStatusInfo().connected());
    EXPECT_EQ(busy, 2);
}

TEST(IgdTransport, ClosedPortIsUnreachable) {
    LoopWaiter waiter;
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    const quint16 port = probe.serverPort();
    probe.close();
    IgdClient client(waiter, Options(QStringLiteral("http://127.0.0.1:%1/d.xml").arg(port)));
    EXPECT_FALSE(client.discover());
    EXPECT_EQ(client.router().failure,
              QStringLiteral("the router's description could not be reached"));
}

TEST(IgdTransport, WaitsInTheProgramsEventPumpPasses) {
    FakeIgd fake;
    // Passes far longer than the whole test: only the exchange's own wake-ups end them.
    EventPump pump(std::chrono::seconds(30));
    PumpWaiter waiter(pump);
    IgdClient client(waiter, Options(fake.descriptionUrl()));
    ASSERT_TRUE(client.discover());
    EXPECT_EQ(client.getExternalIPAddress().address, QStringLiteral("11.22.33.44"));
}

TEST(IgdDiscovery, SilenceFollowsTheReferenceSchedule) {
    // The shipped timings on a virtual clock: unicast rounds at 0, 1 and 2.5 s, giving up at
    // 5 s (a loopback router gets no multicast).
    SilentRouter silent;
    UpnpOptions o;
    o.router = QStringLiteral("127.0.0.1:%1").arg(silent.port());
    IgdClient client(silent, o);
    EXPECT_FALSE(client.discover());
    EXPECT_EQ(silent.times(), QList<milliseconds>({milliseconds(0), milliseconds(0),
                                                   milliseconds(1000), milliseconds(2500)}));
    EXPECT_EQ(silent.now(), milliseconds(5000));
}

TEST(PumpWaiter, EveryPassEndsByTheDeadline) {
    // Passes of an hour; a clock that moves 7 ms each time it is read, so that the waiter's
    // deadline and the real timers disagree, as a coarse timer firing early makes them.
    EventPump pump(std::chrono::hours(1));
    milliseconds virtualNow{0};
    PumpWaiter waiter(pump, [&virtualNow] { return virtualNow += milliseconds(7); });
    int asked = 0;
    EXPECT_FALSE(waiter.waitFor([&] { return ++asked > 1000; }, milliseconds(30)));
    EXPECT_GE(pump.passes(), 1);
    EXPECT_LE(pump.lastPassLength(), milliseconds(30)) << "a pass outlasting the wait";
}

} // namespace
