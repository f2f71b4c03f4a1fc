// SPDX-License-Identifier: GPL-3.0-or-later
#include "router/pcpnatpmp/PcpNatPmpClient.h"
#include "router/net/ExternalAddress.h"

#include "FakePcpNatPmpRouter.h"
#include "QtPrint.h"
#include "SilentRouter.h"

#include <gtest/gtest.h>

namespace {

using std::chrono::milliseconds;
using Reply = FakePcpNatPmpRouter::Reply;

const QByteArray kNonce = QByteArray::fromHex("010203040102030401020304");

// Answers come back within microseconds; the long first waits keep retransmissions out of
// the requests these tests count.
PcpNatPmpOptions Options(const FakePcpNatPmpRouter& fake, PcpNatPmpMode mode = PcpNatPmpMode::Pcp) {
    PcpNatPmpOptions o;
    o.router = QHostAddress(QHostAddress::LocalHost);
    o.port = fake.port();
    o.mode = mode;
    o.random = [] { return 0x04030201u; };
    o.timings.natPmpFirstWait = milliseconds(2000);
    o.timings.pcpFirstWait = milliseconds(2000);
    o.timings.pcpAlone = milliseconds(3000);
    o.timings.limit = milliseconds(8000);
    return o;
}

// For routers that stay silent: the whole schedule in well under a second.
PcpNatPmpOptions Tiny(const FakePcpNatPmpRouter& fake, PcpNatPmpMode mode = PcpNatPmpMode::Pcp) {
    PcpNatPmpOptions o = Options(fake, mode);
    o.timings.natPmpFirstWait = milliseconds(4);
    o.timings.pcpFirstWait = milliseconds(10);
    o.timings.pcpMaxWait = milliseconds(40);
    o.timings.pcpAlone = milliseconds(200);
    o.timings.limit = milliseconds(3000);
    return o;
}

struct Rig {
    explicit Rig(PcpNatPmpMode mode = PcpNatPmpMode::Pcp, bool tiny = false)
        : client(waiter, tiny ? Tiny(fake, mode) : Options(fake, mode)) {}
    FakePcpNatPmpRouter fake;
    LoopWaiter waiter;
    PcpNatPmpClient client;
};

// ---- Mapping over PCP ---------------------------------------------------------------------

TEST(PcpNatPmpClientPcp, MapSendsTheRequestAndTakesTheGrant) {
    Rig rig;
    rig.fake.answer = [](const QByteArray& r) {
        return QList<Reply>{{PcpAnswerTo(r, 0, 3600, 50, 7001)}};
    };
    const PcpNatPmpMapResult m = rig.client.map("TCP", 7000, 7000, 7200);
    ASSERT_TRUE(m.ok) << m.text.toStdString();
    EXPECT_EQ(m.protocolUsed, PcpNatPmpProtocol::Pcp);
    EXPECT_EQ(m.externalPort, 7001);
    EXPECT_EQ(m.externalAddress, QStringLiteral("11.22.33.44"));
    EXPECT_EQ(m.grantedLifetime, 3600u);
    EXPECT_EQ(m.epoch, 50u);
    EXPECT_FALSE(m.restartDetected);
    EXPECT_EQ(m.nonce, kNonce);

    ASSERT_EQ(rig.fake.requests.size(), 1);
    const PcpMapRequest sent{.nonce = kNonce,
                             .protocol = 6,
                             .internalPort = 7000,
                             .suggestedExternalPort = 7000,
                             .lifetime = 7200,
                             .client = QHostAddress("127.0.0.1")};
    EXPECT_EQ(rig.fake.requests.front(), BuildPcpMapRequest(sent));
}

TEST(PcpNatPmpClientPcp, RenewalKeepsTheNonceAndSuggestsTheGrant) {
    Rig rig;
    rig.fake.answer = [](const QByteArray& r) {
        return QList<Reply>{{PcpAnswerTo(r, 0, 120, 50, 7001)}};
    };
    const QByteArray nonce = QByteArray::fromHex("aabbccddeeff001122334455");
    const PcpNatPmpMapResult m =
        rig.client.map({.protocol = "UDP",
                        .internalPort = 7000,
                        .suggestedExternalPort = 7001,
                        .lifetimeSeconds = 7200,
                        .nonce = nonce,
                        .suggestedExternalAddress = QHostAddress("1.2.3.4")});
    ASSERT_TRUE(m.ok);
    EXPECT_EQ(m.grantedLifetime, 120u) << "a shortened lease is what counts";
    EXPECT_EQ(m.nonce, nonce);
    ASSERT_EQ(rig.fake.requests.size(), 1);
    const QByteArray& r = rig.fake.requests.front();
    EXPECT_EQ(r.mid(24, 12), nonce);
    EXPECT_EQ(r[36], char(17));
    EXPECT_EQ(r.mid(42, 2), U16(7001));
    EXPECT_EQ(r.right(4), QByteArray::fromHex("01020304"));
}

TEST(PcpNatPmpClientPcp, RefusalsAreExplained) {
    struct Case {
        quint8 code;
        QHostAddress assigned;
        QString text;
    };
    const Case cases[] = {
        {2, QHostAddress("0.0.0.0"), DescribePcpResult(2)},
        {7, QHostAddress("0.0.0.0"), DescribePcpResult(7)},
        {8, QHostAddress("0.0.0.0"), DescribePcpResult(8)},
        {8, QHostAddress("192.168.0.2"), ExternalAddressWarning("192.168.0.2")},
        {12, QHostAddress("0.0.0.0"), DescribePcpResult(12)},
    };
    for (const Case& c : cases) {
        Rig rig;
        rig.fake.answer = [&c](const QByteArray& r) {
            return QList<Reply>{{PcpAnswerTo(r, c.code, 30, 9, 7000, c.assigned)}};
        };
        const PcpNatPmpMapResult m = rig.client.map("TCP", 7000, 7000, 7200);
        EXPECT_FALSE(m.ok) << int(c.code);
        EXPECT_TRUE(m.answered);
        EXPECT_EQ(m.resultCode, c.code);
        EXPECT_EQ(m.retryAfter, 30u);
        EXPECT_EQ(m.grantedLifetime, 0u);
        EXPECT_EQ(m.externalPort, 0);
        EXPECT_EQ(m.text, c.text) << int(c.code);
        EXPECT_FALSE(m.text.isEmpty());
        EXPECT_EQ(rig.fake.requests.size(), 1) << "no NAT-PMP after a PCP refusal";
    }
}

TEST(PcpNatPmpClientPcp, IgnoresAnswersNotMeantForTheRequest) {
    Rig rig;
    const QByteArray otherNonce = QByteArray::fromHex("ffffffffffffffffffffffff");
    rig.fake.answer = [&](const QByteArray& r) {
        QByteArray foreign = PcpAnswerTo(r, 2, 0, 9, 1111);
        foreign.replace(24, 12, otherNonce);
        return QList<Reply>{{foreign},
                            {PcpAnswerTo(r, 0, 3600, 9, 2222), true}, // another port
                            {QByteArray(1104, '\2')},
                            {PcpAnswerTo(r, 0, 3600, 9, 3333)}};
    };
    const PcpNatPmpMapResult m = rig.client.map("UDP", 7000, 0, 7200);
    ASSERT_TRUE(m.ok) << m.text.toStdString();
    EXPECT_EQ(m.externalPort, 3333);
}

TEST(PcpNatPmpClientPcp, EpochGoingBackIsARestart) {
    Rig rig;
    quint32 epoch = 5000;
    rig.fake.answer = [&](const QByteArray& r) {
        return QList<Reply>{{PcpAnswerTo(r, 0, 3600, epoch, 7000)}};
    };
    EXPECT_FALSE(rig.client.map("TCP", 7000, 7000, 7200).restartDetected);
    epoch = 5001;
    EXPECT_FALSE(rig.client.map("TCP", 7000, 7000, 7200).restartDetected);
    epoch = 2;
    const PcpNatPmpMapResult m = rig.client.map("TCP", 7000, 7000, 7200);
    EXPECT_TRUE(m.ok);
    EXPECT_TRUE(m.restartDetected);
    EXPECT_EQ(m.epoch, 2u);
}

TEST(PcpNatPmpClientPcp, UnmapUsesTheNonceAndTakesNoResourcesAsGone) {
    for (const quint8 code : {quint8(0), quint8(8)}) {
        Rig rig;
        rig.fake.answer = [code](const QByteArray& r) {
            return QList<Reply>{{PcpAnswerTo(r, code, code ? 30 : 0, 9, 0)}};
        };
        const PcpNatPmpMapResult m = rig.client.unmap("TCP", 7000, kNonce);
        EXPECT_TRUE(m.ok) << int(code);
        EXPECT_EQ(m.protocolUsed, PcpNatPmpProtocol::Pcp);
        ASSERT_EQ(rig.fake.requests.size(), 1);
        const PcpMapRequest sent{.nonce = kNonce,
                                 .protocol = 6,
                                 .internalPort = 7000,
                                 .lifetime = 0,
                                 .client = QHostAddress("127.0.0.1")};
        EXPECT_EQ(rig.fake.requests.front(), BuildPcpMapRequest(sent));
    }
    Rig foreign;
    foreign.fake.answer = [](const QByteArray& r) {
        return QList<Reply>{{PcpAnswerTo(r, 2, 0, 9, 0)}};
    };
    const PcpNatPmpMapResult refused = foreign.client.unmap("TCP", 7000, kNonce);
    EXPECT_FALSE(refused.ok);
    EXPECT_EQ(refused.text, DescribePcpResult(2));
}

// ---- Falling back to NAT-PMP --------------------------------------------------------------

TEST(PcpNatPmpClientFallback, VersionZeroAnswerSwitchesToNatPmpAtOnce) {
    Rig rig;
    rig.fake.answer = [](const QByteArray& r) {
        if (IsPcp(r))
            return QList<Reply>{{QByteArray::fromHex("0081000100000007")}};
        return QList<Reply>{{NatPmpAnswerTo(r, 0, 7, 7005, 3600)}};
    };
    const PcpNatPmpMapResult m = rig.client.map("UDP", 7000, 7000, 7200);
    ASSERT_TRUE(m.ok) << m.text.toStdString();
    EXPECT_EQ(m.protocolUsed, PcpNatPmpProtocol::NatPmp);
    EXPECT_TRUE(m.nonce.isEmpty());
    EXPECT_EQ(m.externalPort, 7005);
    EXPECT_EQ(m.grantedLifetime, 3600u);
    ASSERT_EQ(rig.fake.requests.size(), 2) << "one PCP request, then NAT-PMP";
    EXPECT_TRUE(IsPcp(rig.fake.requests.at(0)));
    EXPECT_EQ(rig.fake.requests.at(1), BuildNatPmpMapRequest(NatPmpOp::MapUdp, 7000, 7000, 7200));
}

TEST(PcpNatPmpClientFallback, SilentPcpRetransmitsThenNatPmpIsTried) {
    Rig rig(PcpNatPmpMode::Pcp, true);
    rig.fake.answer = [](const QByteArray& r) {
        if (IsPcp(r))
            return QList<Reply>{};
        return QList<Reply>{{NatPmpAnswerTo(r, 0, 7, 7000, 7200)}};
    };
    const PcpNatPmpMapResult m = rig.client.map("TCP", 7000, 7000, 7200);
    ASSERT_TRUE(m.ok) << m.text.toStdString();
    EXPECT_EQ(m.protocolUsed, PcpNatPmpProtocol::NatPmp);
    const QList<QByteArray>& sent = rig.fake.requests;
    ASSERT_GE(sent.size(), 3);
    EXPECT_EQ(sent.last(), BuildNatPmpMapRequest(NatPmpOp::MapTcp, 7000, 7000, 7200));
    for (qsizetype i = 0; i + 1 < sent.size(); ++i)
        EXPECT_EQ(sent.at(i), sent.front()) << "the same PCP bytes every time, " << i;
    EXPECT_TRUE(IsPcp(sent.front()));
}

TEST(PcpNatPmpClientFallback, SilenceEverywhereGivesUp) {
    Rig rig(PcpNatPmpMode::Pcp, true);
    const PcpNatPmpMapResult m = rig.client.map("TCP", 7000, 7000, 7200);
    EXPECT_FALSE(m.ok);
    EXPECT_FALSE(m.answered);
    EXPECT_EQ(m.text, QStringLiteral("The router at 127.0.0.1 did not answer PCP or NAT-PMP "
                                     "requests."));
    const QList<QByteArray>& sent = rig.fake.requests;
    ASSERT_GE(sent.size(), 6);
    EXPECT_TRUE(IsPcp(sent.at(sent.size() - 5)));
    for (qsizetype i = sent.size() - 4; i < sent.size(); ++i)
        EXPECT_EQ(sent.at(i), BuildNatPmpMapRequest(NatPmpOp::MapTcp, 7000, 7000, 7200));
}

TEST(PcpNatPmpClientFallback, ClosedPortStopsAtOnce) {
    // Over IPv6 too, where PCP is the only protocol.
    const struct {
        QHostAddress router;
        PcpNatPmpMode mode;
    } rows[] = {{QHostAddress(QHostAddress::LocalHost), PcpNatPmpMode::NatPmpOnly},
                {QHostAddress(QHostAddress::LocalHostIPv6), PcpNatPmpMode::Pcp}};
    for (const auto& r : rows) {
        quint16 closedPort = 0;
        {
            QUdpSocket s;
            s.bind(r.router, 0);
            closedPort = s.localPort();
        }
        LoopWaiter waiter;
        FakePcpNatPmpRouter unused;
        PcpNatPmpOptions o = Options(unused, r.mode);
        o.router = r.router;
        o.port = closedPort;
        PcpNatPmpClient client(waiter, o);
        const PcpNatPmpAddressResult a = client.externalAddress();
        EXPECT_FALSE(a.ok);
        EXPECT_EQ(a.text, QStringLiteral("The router at %1 does not take PCP or NAT-PMP "
                                         "requests (port %2 is closed).")
                              .arg(r.router.toString())
                              .arg(closedPort));
    }
}

// ---- NAT-PMP ------------------------------------------------------------------------------

TEST(PcpNatPmpClientNatPmp, MapRefusalsAndShortLeases) {
    struct Case {
        quint16 code;
        quint32 lifetime;
        bool ok;
    };
    for (const Case& c : {Case{0, 60, true}, Case{2, 7200, false}, Case{3, 7200, false},
                          Case{4, 0, false}, Case{5, 0, false}}) {
        Rig rig(PcpNatPmpMode::NatPmpOnly);
        rig.fake.answer = [&c](const QByteArray& r) {
            return QList<Reply>{{NatPmpAnswerTo(r, c.code, 100, c.code ? 0 : 7000, c.lifetime)}};
        };
        const PcpNatPmpMapResult m = rig.client.map("TCP", 7000, 7000, 7200);
        EXPECT_EQ(m.ok, c.ok) << c.code;
        EXPECT_EQ(m.resultCode, c.code);
        EXPECT_EQ(m.grantedLifetime, c.ok ? c.lifetime : 0u) << c.code;
        EXPECT_EQ(m.text, DescribeNatPmpResult(c.code)) << c.code;
        EXPECT_EQ(rig.fake.requests,
                  QList<QByteArray>{BuildNatPmpMapRequest(NatPmpOp::MapTcp, 7000, 7000, 7200)});
    }
}

TEST(PcpNatPmpClientNatPmp, UnmapWithoutNonceDeletesOverNatPmp) {
    Rig rig; // PCP mode: an empty nonce means NAT-PMP made the mapping
    rig.fake.answer = [](const QByteArray& r) {
        return QList<Reply>{{NatPmpAnswerTo(r, 0, 100, 0, 0)}};
    };
    const PcpNatPmpMapResult m = rig.client.unmap("UDP", 9090, {});
    EXPECT_TRUE(m.ok);
    EXPECT_EQ(m.protocolUsed, PcpNatPmpProtocol::NatPmp);
    EXPECT_EQ(rig.fake.requests,
              QList<QByteArray>{QByteArray::fromHex("000100002382000000000000")});
}

TEST(PcpNatPmpClientNatPmp, SilenceRetransmitsOnItsSchedule) {
    Rig rig(PcpNatPmpMode::NatPmpOnly, true);
    const PcpNatPmpMapResult m = rig.client.map("UDP", 9090, 9090, 7200);
    EXPECT_FALSE(m.answered);
    EXPECT_EQ(m.text, QStringLiteral("The router at 127.0.0.1 did not answer NAT-PMP requests."));
    EXPECT_EQ(rig.fake.requests,
              QList<QByteArray>(4, BuildNatPmpMapRequest(NatPmpOp::MapUdp, 9090, 9090, 7200)));

    Rig deleting(PcpNatPmpMode::NatPmpOnly, true);
    EXPECT_FALSE(deleting.client.unmap("UDP", 9090, {}).ok);
    EXPECT_EQ(deleting.fake.requests.size(), 2) << "two tries are enough for a deletion";
}

TEST(PcpNatPmpClientNatPmp, InvalidRequestsSendNothing) {
    Rig rig;
    EXPECT_FALSE(rig.client.map("tcp", 7000, 7000, 7200).ok);
    EXPECT_FALSE(rig.client.map("TCP", 0, 7000, 7200).ok) << "would delete every mapping";
    EXPECT_FALSE(rig.client.map("TCP", 7000, 7000, 0).ok);
    EXPECT_FALSE(rig.client.map("TCP", 7000, 7000, 7200, "short").ok);
    EXPECT_FALSE(rig.client.unmap("TCP", 0, {}).ok);
    EXPECT_TRUE(rig.fake.requests.isEmpty());
}

// ---- The external address -----------------------------------------------------------------

const QByteArray kWan = QByteArray::fromHex("0b16212c");

TEST(PcpNatPmpClientAddress, BothProtocolsAnswer) {
    Rig rig;
    rig.fake.answer = [](const QByteArray& r) {
        if (IsPcp(r))
            return QList<Reply>{{PcpAnswerTo(r, 0, 0, 40)}};
        return QList<Reply>{{NatPmpAddressAnswer(0, 41, kWan)}};
    };
    const PcpNatPmpAddressResult a = rig.client.externalAddress();
    ASSERT_TRUE(a.ok) << a.text.toStdString();
    EXPECT_EQ(a.address, QStringLiteral("11.22.33.44"));
    EXPECT_EQ(a.protocolUsed, PcpNatPmpProtocol::Pcp);
    EXPECT_TRUE(a.pcpAvailable);
    EXPECT_EQ(a.epoch, 40u);
    EXPECT_TRUE(a.text.isEmpty());
    EXPECT_EQ(rig.fake.requests, QList<QByteArray>({BuildPcpAnnounce(QHostAddress("127.0.0.1")),
                                                    BuildNatPmpAddressRequest()}));
}

TEST(PcpNatPmpClientAddress, NatPmpRouterAndItsPrivateAddress) {
    for (const PcpNatPmpMode mode : {PcpNatPmpMode::Pcp, PcpNatPmpMode::NatPmpOnly}) {
        Rig rig(mode);
        rig.fake.answer = [](const QByteArray& r) {
            if (IsPcp(r))
                return QList<Reply>{{QByteArray::fromHex("0080000100000007")}};
            return QList<Reply>{{NatPmpAddressAnswer(0, 7, QByteArray::fromHex("64400102"))}};
        };
        const PcpNatPmpAddressResult a = rig.client.externalAddress();
        ASSERT_TRUE(a.ok);
        EXPECT_EQ(a.protocolUsed, PcpNatPmpProtocol::NatPmp);
        EXPECT_FALSE(a.pcpAvailable);
        EXPECT_EQ(a.address, QStringLiteral("100.64.1.2"));
        EXPECT_EQ(a.text, ExternalAddressWarning("100.64.1.2"));
        EXPECT_EQ(rig.fake.requests.size(), mode == PcpNatPmpMode::Pcp ? 2 : 1);
    }
}

TEST(PcpNatPmpClientAddress, NatPmpRefusal) {
    Rig rig(PcpNatPmpMode::NatPmpOnly);
    rig.fake.answer = [](const QByteArray&) {
        return QList<Reply>{{NatPmpAddressAnswer(3, 7, QByteArray(4, '\0'))}};
    };
    const PcpNatPmpAddressResult a = rig.client.externalAddress();
    EXPECT_FALSE(a.ok);
    EXPECT_TRUE(a.answered);
    EXPECT_EQ(a.resultCode, 3);
    EXPECT_EQ(a.text, DescribeNatPmpResult(3));
}

TEST(PcpNatPmpClientAddress, PcpOnlyRouterIsAskedThroughAShortMapping) {
    Rig rig;
    rig.fake.answer = [](const QByteArray& r) {
        if (!IsPcp(r)) // PCP alone: NAT-PMP is an unsupported version to it
            return QList<Reply>{
                {QByteArray::fromHex("0280000100000000000000ff") + QByteArray(12, '\0')}};
        return QList<Reply>{{PcpAnswerTo(r, 0, r[1] == 1 ? 120 : 0, 40, 41000)}};
    };
    const PcpNatPmpAddressResult a = rig.client.externalAddress();
    ASSERT_TRUE(a.ok) << a.text.toStdString();
    EXPECT_EQ(a.protocolUsed, PcpNatPmpProtocol::Pcp);
    EXPECT_EQ(a.address, QStringLiteral("11.22.33.44"));
    ASSERT_EQ(rig.fake.requests.size(), 4);
    const QByteArray& made = rig.fake.requests.at(2);
    const QByteArray& deleted = rig.fake.requests.at(3);
    EXPECT_EQ(made[1], char(PcpOp::Map));
    EXPECT_EQ(made.mid(4, 4), U32(120));
    EXPECT_EQ(made[36], char(17));
    EXPECT_GE(qFromBigEndian<quint16>(made.constData() + 40), 1024) << "a high port";
    EXPECT_EQ(deleted.mid(4, 4), U32(0));
    EXPECT_EQ(deleted.mid(24, 20), made.mid(24, 20)) << "same nonce, protocol and port";
}

TEST(PcpNatPmpClientAddress, SilenceGivesUpAfterTheProbes) {
    Rig rig(PcpNatPmpMode::Pcp, true);
    const PcpNatPmpAddressResult a = rig.client.externalAddress();
    EXPECT_FALSE(a.ok);
    EXPECT_FALSE(a.answered);
    EXPECT_EQ(rig.fake.requests.count(BuildNatPmpAddressRequest()), 4);
    EXPECT_EQ(rig.fake.requests.count(BuildPcpAnnounce(QHostAddress("127.0.0.1"))), 4);
}

// ---- The reference's schedules, on a virtual clock ------------------------------------------

// The shipped timings (not shrunk) against a router that never answers; jitter held at 1.0.
struct ScheduleCase {
    const char* name;
    PcpNatPmpMode mode;
    bool address; // externalAddress(), else map()
    // Send times of NAT-PMP and of PCP requests, and when the call gives up.
    QList<int> natPmpAt, pcpAt;
    int endAt;
};

class PcpNatPmpSchedule : public testing::TestWithParam<ScheduleCase> {};

TEST_P(PcpNatPmpSchedule, SendsOnTimeAndGivesUpOnTime) {
    const ScheduleCase& c = GetParam();
    SilentRouter silent;
    PcpNatPmpOptions o;
    o.router = QHostAddress(QHostAddress::LocalHost);
    o.port = silent.port();
    o.mode = c.mode;
    o.random = [] { return 100u; };
    PcpNatPmpClient client(silent, o);
    if (c.address)
        EXPECT_FALSE(client.externalAddress().ok);
    else
        EXPECT_FALSE(client.map("UDP", 9090, 9090, 7200).ok);
    silent.collect();
    QList<int> natPmp, pcp;
    for (const SilentRouter::Arrival& a : silent.arrivals)
        (IsPcp(a.data) ? pcp : natPmp).append(int(a.at.count()));
    EXPECT_EQ(natPmp, c.natPmpAt);
    EXPECT_EQ(pcp, c.pcpAt);
    EXPECT_EQ(silent.now(), milliseconds(c.endAt));
}

INSTANTIATE_TEST_SUITE_P(
    Reference, PcpNatPmpSchedule,
    testing::Values(
        // 250 ms, doubled, four sends: 3.75 s
        ScheduleCase{"NatPmpMap", PcpNatPmpMode::NatPmpOnly, false, {0, 250, 750, 1750}, {}, 3750},
        ScheduleCase{
            "NatPmpAddress", PcpNatPmpMode::NatPmpOnly, true, {0, 250, 750, 1750}, {}, 3750},
        // the discovery ANNOUNCE rides on the NAT-PMP probe's clock
        ScheduleCase{
            "PcpAddress", PcpNatPmpMode::Pcp, true, {0, 250, 750, 1750}, {0, 250, 750, 1750}, 3750},
        // PCP's 3 s, doubled; NAT-PMP's four sends once PCP stayed silent for 3.75 s
        ScheduleCase{
            "PcpMap", PcpNatPmpMode::Pcp, false, {3750, 4000, 4500, 5500}, {0, 3000}, 7500}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
