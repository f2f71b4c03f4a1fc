// SPDX-License-Identifier: GPL-3.0-or-later
#include "PcpNatPmpSimulator.h"

#include "QtPrint.h"

#include <QDeadlineTimer>
#include <QNetworkDatagram>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>
#include <QUdpSocket>

#include <gtest/gtest.h>

#include <csignal>
#include <functional>

namespace {

constexpr int Tcp = 6;
constexpr int Udp = 17;

QByteArray bytes(std::initializer_list<int> values) {
    QByteArray d;
    for (const int v : values)
        d.append(static_cast<char>(v));
    return d;
}

QByteArray be16(quint16 v) {
    return bytes({v >> 8, v & 0xFF});
}

QByteArray be32(quint32 v) {
    return be16(static_cast<quint16>(v >> 16)) + be16(static_cast<quint16>(v & 0xFFFF));
}

quint32 read(const QByteArray& d, qsizetype at, int bytes) {
    quint32 v = 0;
    for (int i = 0; i < bytes; ++i)
        v = (v << 8) | static_cast<quint8>(d.at(at + i));
    return v;
}

QByteArray mapped(int a, int b, int c, int d) {
    return QByteArray(10, '\0') + bytes({0xFF, 0xFF, a, b, c, d});
}

const QByteArray Me = mapped(127, 0, 0, 1);
const QByteArray Wan = mapped(11, 22, 33, 44);
const QByteArray NoPreference = mapped(0, 0, 0, 0);
const QByteArray NonceA = "nonce-A-0001";
const QByteArray NonceB = "nonce-B-0002";

QByteArray pmpMap(int opcode, quint16 internalPort, quint16 suggested, quint32 lifetime) {
    return bytes({0, opcode, 0, 0}) + be16(internalPort) + be16(suggested) + be32(lifetime);
}

QByteArray pcpHeader(int opcode, quint32 lifetime, const QByteArray& client = Me, int version = 2) {
    return bytes({version, opcode, 0, 0}) + be32(lifetime) + client;
}

QByteArray announce(const QByteArray& client = Me) {
    return pcpHeader(0, 0, client);
}

QByteArray pcpMap(quint32 lifetime, const QByteArray& nonce, int protocol, quint16 internalPort,
                  quint16 suggested = 0, const QByteArray& client = Me) {
    return pcpHeader(1, lifetime, client) + nonce + bytes({protocol, 0, 0, 0}) +
           be16(internalPort) + be16(suggested) + NoPreference;
}

// The fields of a NAT-PMP answer (8, 12 or 16 bytes).
struct Pmp {
    int size = 0, version = -1, opcode = -1, result = -1;
    quint32 epoch = 0, lifetime = 0, address = 0;
    quint16 internalPort = 0, externalPort = 0;
};

Pmp pmp(const QByteArray& d) {
    Pmp a;
    a.size = static_cast<int>(d.size());
    if (d.size() < 8)
        return a;
    a.version = static_cast<quint8>(d[0]);
    a.opcode = static_cast<quint8>(d[1]);
    a.result = static_cast<int>(read(d, 2, 2));
    a.epoch = read(d, 4, 4);
    if (d.size() == 12)
        a.address = read(d, 8, 4);
    if (d.size() == 16) {
        a.internalPort = static_cast<quint16>(read(d, 8, 2));
        a.externalPort = static_cast<quint16>(read(d, 10, 2));
        a.lifetime = read(d, 12, 4);
    }
    return a;
}

// The fields of a PCP answer, the MAP body when there is one.
struct Pcp {
    int size = 0, version = -1, opcode = -1, result = -1;
    quint32 lifetime = 0, epoch = 0;
    QByteArray reserved, nonce, externalAddress;
    int protocol = -1;
    quint16 internalPort = 0, externalPort = 0;
};

Pcp pcp(const QByteArray& d) {
    Pcp a;
    a.size = static_cast<int>(d.size());
    if (d.size() < 24)
        return a;
    a.version = static_cast<quint8>(d[0]);
    a.opcode = static_cast<quint8>(d[1]);
    a.result = static_cast<quint8>(d[3]);
    a.lifetime = read(d, 4, 4);
    a.epoch = read(d, 8, 4);
    a.reserved = d.mid(12, 12);
    if (d.size() >= 60) {
        a.nonce = d.mid(24, 12);
        a.protocol = static_cast<quint8>(d[36]);
        a.internalPort = static_cast<quint16>(read(d, 40, 2));
        a.externalPort = static_cast<quint16>(read(d, 42, 2));
        a.externalAddress = d.mid(44, 16);
    }
    return a;
}

bool waitFor(const std::function<bool()>& done) {
    QDeadlineTimer bound(5000);
    while (!done() && !bound.hasExpired())
        QTest::qWait(1);
    return done();
}

class PcpNatPmpSimTest : public testing::Test {
protected:
    void SetUp() override {
        sim.setClock([this] { return clock; });
        ASSERT_TRUE(sim.listen());
        ASSERT_TRUE(client.bind(QHostAddress::LocalHost, 0));
    }
    void reconfigure(const std::function<void(PcpNatPmpSimOptions&)>& change) {
        PcpNatPmpSimOptions o = sim.options();
        change(o);
        sim.setOptions(o);
    }
    // One request over UDP and its answer, or nothing when none came within the bound.
    QByteArray ask(const QByteArray& request) {
        client.writeDatagram(request, QHostAddress::LocalHost, sim.port());
        if (!waitFor([this] { return client.hasPendingDatagrams(); }))
            return {};
        const QNetworkDatagram d = client.receiveDatagram();
        answeredFrom = static_cast<quint16>(d.senderPort());
        return d.data();
    }
    // True when the router read the datagram and sent nothing back: the next answer to come is
    // the one to a probe sent after it, with every switch that silenced it turned off.
    void expectNoAnswer(const QByteArray& request, const char* what) {
        const qsizetype before = sim.datagramsReceived();
        client.writeDatagram(request, QHostAddress::LocalHost, sim.port());
        ASSERT_TRUE(waitFor([&] { return sim.datagramsReceived() > before; })) << what;
        const PcpNatPmpSimOptions kept = sim.options();
        reconfigure([](PcpNatPmpSimOptions& o) { o.silent = false; });
        const QByteArray probe = ask(QByteArray(2, '\0'));
        EXPECT_EQ(probe.size(), 12) << what;
        EXPECT_EQ(pmp(probe).opcode, 128) << what;
        sim.setOptions(kept);
    }

    qint64 clock = 1000;
    quint16 answeredFrom = 0;
    PcpNatPmpSimulator sim;
    QUdpSocket client;
};

// --- NAT-PMP ---------------------------------------------------------------------------------

TEST_F(PcpNatPmpSimTest, NatPmpExternalAddressCarriesTheEpochAndTheWanAddress) {
    struct Case {
        QString externalIp;
        int result;
        quint32 address;
    };
    clock += 80;
    for (const Case& c : {Case{"11.22.33.44", 0, 0x0B16212C}, Case{"", 3, 0}, Case{"0.0.0.0", 3, 0},
                          Case{"100.64.1.2", 0, 0x64400102}}) {
        reconfigure([&](PcpNatPmpSimOptions& o) { o.externalIp = c.externalIp; });
        const Pmp a = pmp(ask(QByteArray(2, '\0')));
        EXPECT_EQ(a.size, 12) << c.externalIp.toStdString();
        EXPECT_EQ(a.version, 0);
        EXPECT_EQ(a.opcode, 128);
        EXPECT_EQ(a.result, c.result) << c.externalIp.toStdString();
        EXPECT_EQ(a.epoch, 80u);
        EXPECT_EQ(a.address, c.address) << c.externalIp.toStdString();
        EXPECT_EQ(answeredFrom, sim.port());
    }
}

TEST_F(PcpNatPmpSimTest, NatPmpMappingsAreMadeRenewedAndDeletedPerProtocolAndPort) {
    struct Step {
        const char* what;
        QByteArray request;
        int size, opcode, result;
        quint16 externalPort;
        quint32 lifetime;
    };
    for (const Step& s : {
             Step{"new TCP 9090", pmpMap(2, 9090, 9090, 7200), 16, 130, 0, 9090, 7200},
             Step{"repeat keeps the port", pmpMap(2, 9090, 0, 3600), 16, 130, 0, 9090, 3600},
             Step{"UDP is apart", pmpMap(1, 9090, 9090, 7200), 16, 129, 0, 9090, 7200},
             Step{"taken port: the next", pmpMap(2, 9091, 9090, 7200), 16, 130, 0, 9091, 7200},
             Step{"no preference: internal", pmpMap(2, 9200, 0, 7200), 16, 130, 0, 9200, 7200},
             Step{"delete", pmpMap(2, 9090, 0, 0), 16, 130, 0, 0, 0},
             Step{"delete again", pmpMap(2, 9090, 0, 0), 16, 130, 0, 0, 0},
             Step{"internal port 0", pmpMap(2, 0, 9000, 7200), 16, 130, 2, 0, 0},
             Step{"unknown opcode", pmpMap(3, 9090, 9090, 7200), 8, 131, 5, 0, 0},
             Step{"version 1", QByteArray("\x01\x00", 2), 24, -1, -1, 0, 0},
         }) {
        const QByteArray answer = ask(s.request);
        if (s.size == 24) {
            // Not NAT-PMP: the PCP side says which version it speaks.
            EXPECT_EQ(pcp(answer).version, 2) << s.what;
            EXPECT_EQ(pcp(answer).result, 1) << s.what;
            continue;
        }
        const Pmp a = pmp(answer);
        EXPECT_EQ(a.size, s.size) << s.what;
        EXPECT_EQ(a.opcode, s.opcode) << s.what;
        EXPECT_EQ(a.result, s.result) << s.what;
        EXPECT_EQ(a.externalPort, s.externalPort) << s.what;
        EXPECT_EQ(a.lifetime, s.lifetime) << s.what;
        if (s.size == 16) {
            EXPECT_EQ(a.internalPort, read(s.request, 4, 2)) << s.what;
        }
    }
    QList<std::pair<int, quint16>> left;
    for (const PcpNatPmpMapping& m : sim.mappings()) {
        left.append({m.protocol, m.externalPort});
        EXPECT_EQ(m.client, QHostAddress(QHostAddress::LocalHost));
        EXPECT_TRUE(m.nonce.isEmpty());
    }
    EXPECT_EQ(left, (QList<std::pair<int, quint16>>{{Udp, 9090}, {Tcp, 9091}, {Tcp, 9200}}));

    // Internal port 0 with lifetime 0 deletes every NAT-PMP mapping of the protocol.
    EXPECT_EQ(pmp(ask(pmpMap(2, 0, 0, 0))).result, 0);
    ASSERT_EQ(sim.mappings().size(), 1);
    EXPECT_EQ(sim.mappings()[0].protocol, Udp);
}

TEST_F(PcpNatPmpSimTest, NatPmpSwitchesRefuseOrShortenAMapping) {
    struct Case {
        const char* what;
        std::function<void(PcpNatPmpSimOptions&)> change;
        QByteArray request;
        int result;
        quint32 lifetime;
    };
    for (const Case& c : {
             Case{"lease cap", [](PcpNatPmpSimOptions& o) { o.lifetimeMax = 600; },
                  pmpMap(2, 9090, 9090, 7200), 0, 600},
             Case{"no cap on NAT-PMP", [](PcpNatPmpSimOptions&) {}, pmpMap(2, 9090, 9090, 30), 0,
                  30},
             Case{"refused internal port", [](PcpNatPmpSimOptions& o) { o.refusePort = 9090; },
                  pmpMap(2, 9090, 9095, 7200), 2, 0},
             Case{"refused external port", [](PcpNatPmpSimOptions& o) { o.refusePort = 9095; },
                  pmpMap(1, 9090, 9095, 7200), 2, 0},
             Case{"no WAN address", [](PcpNatPmpSimOptions& o) { o.externalIp = "0.0.0.0"; },
                  pmpMap(2, 9090, 9090, 7200), 3, 0},
             Case{"table full", [](PcpNatPmpSimOptions& o) { o.maxMappings = 1; },
                  pmpMap(2, 9091, 9091, 7200), 4, 0},
         }) {
        sim.setOptions({});
        ASSERT_EQ(pmp(ask(pmpMap(1, 5000, 5000, 7200))).result, 0) << c.what;
        reconfigure(c.change);
        const Pmp a = pmp(ask(c.request));
        EXPECT_EQ(a.result, c.result) << c.what;
        EXPECT_EQ(a.lifetime, c.lifetime) << c.what;
        EXPECT_EQ(sim.mappings().size(), c.result == 0 ? 2 : 1) << c.what;
        sim.restart();
    }
}

TEST_F(PcpNatPmpSimTest, LeasesRunOnTheClock) {
    ASSERT_EQ(pmp(ask(pmpMap(2, 9090, 9090, 7200))).result, 0);
    ASSERT_EQ(pcp(ask(pcpMap(3600, NonceA, Udp, 9090))).result, 0);
    ASSERT_EQ(sim.mappings().size(), 2);
    EXPECT_EQ(sim.mappings()[1].expiresAt, clock + 3600);
    clock += 3600;
    EXPECT_EQ(sim.mappings().size(), 1);
    clock += 3600;
    EXPECT_TRUE(sim.mappings().isEmpty());
    // Gone for good: another nonce may take the port now.
    EXPECT_EQ(pcp(ask(pcpMap(3600, NonceB, Udp, 9090))).result, 0);
}

// --- PCP -------------------------------------------------------------------------------------

TEST_F(PcpNatPmpSimTest, PcpAnnounceSucceedsWithTheEpoch) {
    clock += 3;
    EXPECT_EQ(ask(announce()),
              QByteArray("\x02\x80\x00\x00", 4) + be32(0) + be32(3) + QByteArray(12, '\0'));
    EXPECT_EQ(answeredFrom, sim.port());
}

TEST_F(PcpNatPmpSimTest, PcpMapGrantsLifetimesBetween120And86400OrTheCap) {
    struct Case {
        quint32 asked, cap, granted;
    };
    quint16 port = 7000;
    for (const Case& c : {Case{30, 0, 120}, Case{3600, 0, 3600}, Case{1'000'000, 0, 86400},
                          Case{3600, 600, 600}, Case{3600, 60, 60}, Case{30, 60, 60}}) {
        reconfigure([&](PcpNatPmpSimOptions& o) { o.lifetimeMax = c.cap; });
        ++port;
        const Pcp a = pcp(ask(pcpMap(c.asked, NonceA, Tcp, port, port)));
        EXPECT_EQ(a.size, 60);
        EXPECT_EQ(a.opcode, 0x81);
        EXPECT_EQ(a.result, 0);
        EXPECT_EQ(a.lifetime, c.granted) << c.asked << " cap " << c.cap;
        EXPECT_EQ(a.nonce, NonceA);
        EXPECT_EQ(a.protocol, Tcp);
        EXPECT_EQ(a.internalPort, port);
        EXPECT_EQ(a.externalPort, port);
        EXPECT_EQ(a.externalAddress, Wan);
        EXPECT_EQ(sim.mappings().constLast().expiresAt, clock + c.granted);
    }
}

TEST_F(PcpNatPmpSimTest, OnlyTheNonceThatMadeAMappingRenewsOrDeletesIt) {
    struct Step {
        const char* what;
        QByteArray request;
        int result;
        quint32 lifetime;
        quint16 externalPort;
    };
    for (const Step& s : {
             Step{"create", pcpMap(3600, NonceA, Tcp, 7000, 7000), 0, 3600, 7000},
             Step{"renew", pcpMap(7200, NonceA, Tcp, 7000, 0), 0, 7200, 7000},
             Step{"renew, other nonce", pcpMap(7200, NonceB, Tcp, 7000, 7000), 2, 0, 7000},
             Step{"delete, other nonce", pcpMap(0, NonceB, Tcp, 7000), 2, 0, 0},
             Step{"same port, UDP", pcpMap(3600, NonceB, Udp, 7000, 7000), 0, 3600, 7000},
             Step{"other port, same ext", pcpMap(3600, NonceB, Tcp, 7001, 7000), 0, 3600, 7001},
             Step{"delete", pcpMap(0, NonceA, Tcp, 7000), 0, 0, 7000},
             Step{"delete of nothing", pcpMap(0, NonceA, Tcp, 7000), 0, 0, 0},
             Step{"NAT-PMP on PCP's", pmpMap(2, 7001, 7001, 3600), 2, 0, 0},
             Step{"NAT-PMP", pmpMap(2, 7002, 7002, 3600), 0, 3600, 7002},
             Step{"PCP on NAT-PMP's", pcpMap(0, NonceA, Tcp, 7002), 2, 0, 0},
         }) {
        const QByteArray answer = ask(s.request);
        const bool isPcp = s.request[0] == 2;
        EXPECT_EQ(isPcp ? pcp(answer).result : pmp(answer).result, s.result) << s.what;
        EXPECT_EQ(isPcp ? pcp(answer).lifetime : pmp(answer).lifetime, s.lifetime) << s.what;
        EXPECT_EQ(isPcp ? pcp(answer).externalPort : pmp(answer).externalPort, s.externalPort)
            << s.what;
        if (isPcp) {
            EXPECT_EQ(pcp(answer).nonce, s.request.mid(24, 12)) << s.what;
        }
    }
    const QList<PcpNatPmpMapping> table = sim.mappings();
    ASSERT_EQ(table.size(), 3);
    EXPECT_EQ(table[0].nonce, NonceB);
    EXPECT_EQ(table[1].internalPort, 7001);
    EXPECT_TRUE(table[2].nonce.isEmpty());
}

TEST_F(PcpNatPmpSimTest, BadPcpRequestsAreAnsweredWithTheirResultCode) {
    const QByteArray map = pcpMap(3600, NonceA, Tcp, 7000, 7000);
    const QByteArray mandatoryOption = QByteArray("\x01\x00\x00\x10", 4) + Me;
    const QByteArray optionalOption = QByteArray("\x80\x00\x00\x02\xAB\xCD\x00\x00", 8);
    struct Case {
        const char* what;
        std::function<void(PcpNatPmpSimOptions&)> change;
        QByteArray request;
        int version, opcode, result;
        quint32 lifetime;
        int size;
    };
    const auto none = [](PcpNatPmpSimOptions&) {};
    for (const Case& c : {
             Case{"version 3", none, QByteArray(map).replace(0, 1, "\x03"), 2, 0x81, 1, 0, 24},
             Case{"version 1", none, QByteArray(map).replace(0, 1, "\x01"), 2, 0x81, 1, 0, 24},
             Case{"58 bytes", none, map.left(58), 2, 0x81, 3, 0, 24},
             Case{"20 bytes", none, map.left(20), 2, 0x81, 3, 0, 24},
             Case{"MAP without its body", none, map.left(40), 2, 0x81, 3, 0, 24},
             Case{"PEER", none, QByteArray(map).replace(1, 1, "\x02"), 2, 0x82, 4, 0, 24},
             Case{"opcode 5", none, QByteArray(map).replace(1, 1, "\x05"), 2, 0x85, 4, 0, 24},
             Case{"another address", none, pcpMap(3600, NonceA, Tcp, 7000, 7000, Wan), 2, 0x81, 12,
                  0, 60},
             Case{"ANNOUNCE, another address", none, announce(Wan), 2, 0x80, 12, 0, 24},
             Case{"protocol 0, port set", none, pcpMap(3600, NonceA, 0, 7000), 2, 0x81, 3, 0, 60},
             Case{"ICMP", none, pcpMap(3600, NonceA, 1, 7000), 2, 0x81, 9, 0, 60},
             Case{"every port", none, pcpMap(3600, NonceA, Tcp, 0), 2, 0x81, 2, 0, 60},
             Case{"mandatory option", none, map + mandatoryOption, 2, 0x81, 5, 0, 60},
             Case{"option past the end", none, map + mandatoryOption.left(12), 2, 0x81, 6, 0, 60},
             Case{"ANNOUNCE, option", none, announce() + mandatoryOption, 2, 0x80, 5, 0, 24},
             Case{"optional option", none, map + optionalOption, 2, 0x81, 0, 3600, 60},
             Case{"refused port", [](PcpNatPmpSimOptions& o) { o.refusePort = 7000; }, map, 2, 0x81,
                  2, 0, 60},
             Case{"no WAN address", [](PcpNatPmpSimOptions& o) { o.externalIp.clear(); }, map, 2,
                  0x81, 7, 30, 60},
             Case{"table full", [](PcpNatPmpSimOptions& o) { o.maxMappings = 1; },
                  pcpMap(3600, NonceA, Udp, 7001), 2, 0x81, 8, 30, 60},
             Case{"pre-RFC firmware", [](PcpNatPmpSimOptions& o) { o.pcpVersion1 = true; }, map, 1,
                  0x81, 1, 0, 24},
         }) {
        sim.setOptions({});
        sim.restart();
        ASSERT_EQ(pcp(ask(pcpMap(3600, NonceB, Udp, 5000))).result, 0);
        reconfigure(c.change);
        const QByteArray answer = ask(c.request);
        const Pcp a = pcp(answer);
        EXPECT_EQ(a.size, c.size) << c.what;
        EXPECT_EQ(a.version, c.version) << c.what;
        EXPECT_EQ(a.opcode, c.opcode) << c.what;
        EXPECT_EQ(a.result, c.result) << c.what;
        EXPECT_EQ(a.lifetime, c.lifetime) << c.what;
        if (c.size == 60 && c.result != 0) {
            // An error copies the request's body.
            EXPECT_EQ(answer.mid(24, 36), c.request.mid(24, 36)) << c.what;
        }
        // Unreadable requests get the tail of their client address back; others zeros.
        const bool unread =
            (c.result == 1 || (c.result == 3 && c.size == 24)) && c.request.size() >= 24;
        EXPECT_EQ(a.reserved, unread ? c.request.mid(12, 12) : QByteArray(12, '\0')) << c.what;
        EXPECT_EQ(sim.mappings().size(), c.result == 0 ? 2 : 1) << c.what;
    }
}

TEST_F(PcpNatPmpSimTest, SomeDatagramsAreNeverAnswered) {
    const QByteArray map = pcpMap(3600, NonceA, Tcp, 7000, 7000);
    expectNoAnswer(QByteArray(map).replace(1, 1, "\x81"), "PCP with the R bit");
    expectNoAnswer(QByteArray::fromHex("0080000000000050"), "a NAT-PMP answer");
    expectNoAnswer(QByteArray(1, '\x02'), "one byte");
    expectNoAnswer(map + QByteArray(1044, '\0'), "1104 bytes");
    expectNoAnswer(pmpMap(2, 9090, 9090, 7200).left(8), "a short NAT-PMP mapping request");
    reconfigure([](PcpNatPmpSimOptions& o) { o.silent = true; });
    expectNoAnswer(map, "silent PCP");
    reconfigure([](PcpNatPmpSimOptions& o) { o.silent = true; });
    expectNoAnswer(pmpMap(2, 9090, 9090, 7200), "silent NAT-PMP");
    EXPECT_TRUE(sim.mappings().isEmpty());
}

TEST_F(PcpNatPmpSimTest, NatPmpRouterAnswersPcpWithUnsupportedVersion) {
    reconfigure([](PcpNatPmpSimOptions& o) { o.pcp = false; });
    clock += 42;
    EXPECT_EQ(ask(announce()), QByteArray::fromHex("008000010000002a"));
    EXPECT_EQ(ask(pcpMap(3600, NonceA, Tcp, 7000)), QByteArray::fromHex("008100010000002a"));
    EXPECT_TRUE(sim.mappings().isEmpty());
    const Pmp a = pmp(ask(pmpMap(2, 7000, 7000, 7200)));
    EXPECT_EQ(a.result, 0);
    EXPECT_EQ(a.externalPort, 7000);
    EXPECT_EQ(a.epoch, 42u);
}

// --- restart ---------------------------------------------------------------------------------

TEST_F(PcpNatPmpSimTest, ARestartLosesEveryMappingAndStartsTheEpochAgain) {
    struct Case {
        const char* what;
        qint64 restartAfterS;
        std::function<void(PcpNatPmpSimulator&)> trigger;
        quint32 epochAfter;
    };
    for (const Case& c : {
             Case{"restart()", 0, [](PcpNatPmpSimulator& s) { s.restart(); }, 0},
             Case{"scheduled", 50, [](PcpNatPmpSimulator&) {}, 20},
         }) {
        reconfigure([&](PcpNatPmpSimOptions& o) { o.restartAfterS = c.restartAfterS; });
        sim.setClock([this] { return clock; });
        const int before = sim.restarts();
        ASSERT_EQ(pcp(ask(pcpMap(3600, NonceA, Tcp, 7000))).result, 0) << c.what;
        ASSERT_EQ(pmp(ask(pmpMap(1, 7000, 7000, 3600))).result, 0) << c.what;
        clock += 70;
        EXPECT_EQ(pcp(ask(announce())).epoch, c.restartAfterS == 0 ? 70u : 20u) << c.what;
        c.trigger(sim);
        EXPECT_EQ(sim.restarts(), before + 1) << c.what;
        EXPECT_TRUE(sim.mappings().isEmpty()) << c.what;
        EXPECT_EQ(pmp(ask(QByteArray(2, '\0'))).epoch, c.epochAfter) << c.what;
        // The nonce guard went with the mapping.
        EXPECT_EQ(pcp(ask(pcpMap(3600, NonceB, Tcp, 7000))).result, 0) << c.what;
        clock += 1000;
        EXPECT_EQ(pcp(ask(announce())).epoch, c.epochAfter + 1000) << c.what;
        EXPECT_EQ(sim.restarts(), before + 1) << c.what << ": once only";
        sim.restart();
    }
}

// --- the program -----------------------------------------------------------------------------

class PcpNatPmpProgram : public testing::Test {
protected:
    void start(const QStringList& args) {
        process.start(QStringLiteral(HARBORLY_SIM_EXE),
                      QStringList{"--listen", "127.0.0.1:0"} + args);
        ASSERT_TRUE(process.waitForStarted());
        const QByteArray line = nextLine();
        const auto m = QRegularExpression(QStringLiteral("^listening on 127\\.0\\.0\\.1:(\\d+)\n$"))
                           .match(QString::fromLatin1(line));
        ASSERT_TRUE(m.hasMatch()) << line.toStdString();
        port = m.captured(1).toUShort();
        ASSERT_TRUE(client.bind(QHostAddress::LocalHost, 0));
    }
    QByteArray nextLine() {
        QDeadlineTimer bound(10000);
        while (!process.canReadLine() && process.waitForReadyRead(bound.remainingTime())) {
        }
        return process.readLine();
    }
    QByteArray ask(const QByteArray& request) {
        client.writeDatagram(request, QHostAddress::LocalHost, port);
        if (!client.waitForReadyRead(5000))
            return {};
        const QNetworkDatagram d = client.receiveDatagram();
        return d.senderPort() == port ? d.data() : QByteArray("wrong source port");
    }
    void stop() {
        process.terminate();
        ASSERT_TRUE(process.waitForFinished(10000));
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(process.exitCode(), 0);
    }

    QProcess process;
    QUdpSocket client;
    quint16 port = 0;
};

TEST_F(PcpNatPmpProgram, PcpKindTakesItsSwitchesAndRestartsOnSigusr1) {
    start({"--kind", "pcp", "--external-ip", "11.22.33.45", "--lifetime-max", "600"});
    const Pcp made = pcp(ask(pcpMap(7200, NonceA, Tcp, 7000, 7000)));
    EXPECT_EQ(made.result, 0);
    EXPECT_EQ(made.lifetime, 600u);
    EXPECT_EQ(made.externalAddress, mapped(11, 22, 33, 45));
    EXPECT_EQ(pcp(ask(pcpMap(0, NonceB, Tcp, 7000))).result, 2);
    ASSERT_EQ(::kill(static_cast<pid_t>(process.processId()), SIGUSR1), 0);
    EXPECT_EQ(nextLine(), "restarted\n");
    EXPECT_EQ(pcp(ask(pcpMap(0, NonceB, Tcp, 7000))).result, 0);
    stop();
}

TEST_F(PcpNatPmpProgram, NatPmpKindRefusesAPortAndSpeaksNoPcp) {
    start({"--kind", "natpmp", "--refuse-port", "9090"});
    const QByteArray unsupported = ask(announce());
    EXPECT_EQ(unsupported.size(), 8);
    EXPECT_EQ(pmp(unsupported).result, 1);
    EXPECT_EQ(pmp(ask(pmpMap(2, 9090, 9090, 7200))).result, 2);
    EXPECT_EQ(pmp(ask(pmpMap(2, 9091, 9091, 7200))).result, 0);
    stop();
}

TEST(PcpNatPmpProgramOptions, RefusedCommandLines) {
    for (const QStringList& args : {
             QStringList{"--kind", "natpmp", "--pcp-version1"},
             QStringList{"--kind", "web", "--lifetime-max", "5"},
             QStringList{"--kind", "upnp", "--refuse-port", "80"},
             QStringList{"--kind", "pcp", "--password", "x"},
             QStringList{"--kind", "pcp", "--igd", "2"},
             QStringList{"--kind", "pcp", "--lifetime-max", "0"},
             QStringList{"--kind", "pcp", "--refuse-port", "65536"},
             QStringList{"--kind", "natpmp", "--restart-after-s", "soon"},
             QStringList{"--kind", "pcp", "--listen", "10.0.0.1:5351"},
             QStringList{"--kind", "pcp", "--listen", "[::1]:0"},
         }) {
        QProcess sim;
        sim.start(QStringLiteral(HARBORLY_SIM_EXE), args);
        ASSERT_TRUE(sim.waitForFinished(10000)) << args.join(' ').toStdString();
        EXPECT_EQ(sim.exitCode(), 64) << args.join(' ').toStdString();
    }
}

} // namespace
