// SPDX-License-Identifier: GPL-3.0-or-later
#include "router/net/DefaultGateway.h"
#include "router/pcpnatpmp/PcpNatPmpEpoch.h"
#include "router/pcpnatpmp/PcpNatPmpPackets.h"

#include "QtPrint.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

QByteArray Hex(const char* text) {
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

const QByteArray kNonce = Hex("01 02 03 04 05 06 07 08 09 0a 0b 0c");
const QByteArray kMapped = QByteArray(10, '\0') + Hex("ff ff");

// The measured answer to MAP TCP 7000 for 3600 s: 11.22.33.44:7000.
QByteArray PcpMapAnswer(quint8 result = 0, const QByteArray& nonce = kNonce) {
    QByteArray a = Hex("02 81 00") + char(result) + Hex("00 00 0e 10 00 00 00 03") +
                   QByteArray(12, '\0') + nonce + Hex("06 00 00 00 1b 58 1b 58") + kMapped +
                   Hex("0b 16 21 2c");
    return a;
}

// ---- NAT-PMP ------------------------------------------------------------------------------

TEST(NatPmpCodec, RequestsAreTheMeasuredBytes) {
    EXPECT_EQ(BuildNatPmpAddressRequest(), Hex("00 00"));
    EXPECT_EQ(BuildNatPmpMapRequest(NatPmpOp::MapUdp, 9090, 9090, 7200),
              Hex("00 01 00 00 23 82 23 82 00 00 1c 20"));
    EXPECT_EQ(BuildNatPmpMapRequest(NatPmpOp::MapTcp, 9090, 0, 0),
              Hex("00 02 00 00 23 82 00 00 00 00 00 00"));
    EXPECT_EQ(NatPmpMapOpcode("UDP"), NatPmpOp::MapUdp);
    EXPECT_EQ(NatPmpMapOpcode("TCP"), NatPmpOp::MapTcp);
    EXPECT_FALSE(NatPmpMapOpcode("tcp"));
}

TEST(NatPmpCodec, AddressAnswer) {
    const auto a = ParseNatPmpAnswer(Hex("00 80 00 00 00 00 00 50 0b 16 21 2c"), 0);
    ASSERT_TRUE(a);
    EXPECT_TRUE(a->ok());
    EXPECT_EQ(a->epoch, 80u);
    EXPECT_EQ(a->externalAddress, QHostAddress("11.22.33.44"));
}

TEST(NatPmpCodec, MappingAnswers) {
    const auto a = ParseNatPmpAnswer(Hex("00 81 00 00 00 00 00 01 23 82 23 83 00 00 0e 10"),
                                     NatPmpOp::MapUdp, 9090);
    ASSERT_TRUE(a);
    EXPECT_EQ(a->epoch, 1u);
    EXPECT_EQ(a->internalPort, 9090);
    EXPECT_EQ(a->externalPort, 9091);
    EXPECT_EQ(a->lifetime, 3600u);
    // A deletion's answer: port and lifetime 0.
    const auto gone = ParseNatPmpAnswer(Hex("00 82 00 00 00 00 00 09 23 82 00 00 00 00 00 00"),
                                        NatPmpOp::MapTcp, 9090);
    ASSERT_TRUE(gone);
    EXPECT_TRUE(gone->ok());
    EXPECT_EQ(gone->externalPort, 0);
}

TEST(NatPmpCodec, ErrorAnswersAndWhatIsDropped) {
    struct Case {
        const char* bytes;
        quint8 op;
        int result; // -1: dropped
        const char* why;
    };
    const Case cases[] = {
        {"00 87 00 05 00 00 00 01", 1, 5, "8-byte error, other answer opcode"},
        {"00 00 00 01 00 00 00 01", 1, 1, "8-byte error, opcode 0"},
        {"00 81 00 03 00 00 00 02 23 82 23 82 00 00 1c 20", 1, 3, "full error, lifetime echoed"},
        {"00 80 00 00 00 00 00 50 0b 16 21", 0, -1, "short address answer"},
        {"01 80 00 00 00 00 00 50 0b 16 21 2c", 0, -1, "version 1"},
        {"00 81 00 00 00 00 00 50 0b 16 21 2c", 0, -1, "mapping opcode to an address request"},
        {"00 00 00 00 00 00 00 50 0b 16 21 2c", 0, -1, "request opcode"},
        {"00 80 00 00 00 00 00", 0, -1, "under 8 bytes"},
        {"00 82 00 00 00 00 00 01 23 82 23 82 00 00 1c 20", 1, -1, "TCP answer to UDP"},
        {"00 81 00 00 00 00 00 01 23 83 23 83 00 00 1c 20", 1, -1, "another internal port"},
        {"00 81 00 02 00 00 00 01 23 83 23 83 00 00 1c 20", 1, -1, "refusal of another port"},
        {"00 01 00 02 00 00 00 01", 1, -1, "error without the answer bit"},
        {"00 81 00 00 00 00 00 01 23 82 23 82", 1, -1, "short mapping answer"},
    };
    for (const Case& c : cases) {
        const auto a = ParseNatPmpAnswer(Hex(c.bytes), c.op, 9090);
        EXPECT_EQ(a ? int(a->resultCode) : -1, c.result) << c.why;
        EXPECT_TRUE(!a || a->lifetime == 0) << c.why << ": undefined on failure";
    }
    EXPECT_FALSE(ParseNatPmpAnswer(QByteArray(1101, '\0'), 0)) << "over 1100 bytes";
}

// ---- PCP ----------------------------------------------------------------------------------

TEST(PcpCodec, AnnounceIsTheMeasuredBytes) {
    EXPECT_EQ(BuildPcpAnnounce(QHostAddress("10.251.0.2")),
              Hex("02 00 00 00 00 00 00 00") + kMapped + Hex("0a fb 00 02"));
}

TEST(PcpCodec, MapRequestLayout) {
    const PcpMapRequest r{.nonce = kNonce,
                          .protocol = 6,
                          .internalPort = 7000,
                          .suggestedExternalPort = 7001,
                          .lifetime = 3600,
                          .client = QHostAddress("127.0.0.1")};
    EXPECT_EQ(BuildPcpMapRequest(r), Hex("02 01 00 00 00 00 0e 10") + kMapped + Hex("7f 00 00 01") +
                                         kNonce + Hex("06 00 00 00 1b 58 1b 59") + kMapped +
                                         Hex("00 00 00 00"));
    PcpMapRequest renewal = r;
    renewal.suggestedExternalAddress = QHostAddress("11.22.33.44");
    EXPECT_EQ(BuildPcpMapRequest(renewal).right(4), Hex("0b 16 21 2c"));
    PcpMapRequest badNonce = r;
    badNonce.nonce.chop(1);
    EXPECT_TRUE(BuildPcpMapRequest(badNonce).isEmpty());
    EXPECT_EQ(PcpProtocolNumber("UDP"), 17);
    EXPECT_FALSE(PcpProtocolNumber("udp"));
    EXPECT_EQ(PcpAddressFromField(kMapped + Hex("0b 16 21 2c")), QHostAddress("11.22.33.44"));
}

const PcpExpected kMapTcp7000{
    .opcode = PcpOp::Map, .nonce = kNonce, .protocol = 6, .internalPort = 7000};

TEST(PcpCodec, MeasuredAnswers) {
    const PcpParsed announce =
        ParsePcpAnswer(Hex("02 80 00 00 00 00 00 00 00 00 00 03") + QByteArray(12, '\0'), {});
    ASSERT_EQ(announce.verdict, PcpVerdict::Answer);
    EXPECT_EQ(announce.answer.epoch, 3u);
    EXPECT_EQ(announce.answer.lifetime, 0u);

    const PcpParsed map = ParsePcpAnswer(PcpMapAnswer(), kMapTcp7000);
    ASSERT_EQ(map.verdict, PcpVerdict::Answer);
    EXPECT_TRUE(map.answer.ok());
    EXPECT_EQ(map.answer.lifetime, 3600u);
    EXPECT_EQ(map.answer.epoch, 3u);
    EXPECT_EQ(map.answer.externalPort, 7000);
    EXPECT_EQ(map.answer.externalAddress, QHostAddress("11.22.33.44"));
    // Options after the body are skipped.
    EXPECT_EQ(ParsePcpAnswer(PcpMapAnswer() + Hex("80 00 00 00"), kMapTcp7000).verdict,
              PcpVerdict::Answer);
    const PcpParsed refused = ParsePcpAnswer(PcpMapAnswer(8), kMapTcp7000);
    ASSERT_EQ(refused.verdict, PcpVerdict::Answer);
    EXPECT_EQ(refused.answer.resultCode, 8);
}

TEST(PcpCodec, VersionsAndWhatIsDropped) {
    QByteArray noR = PcpMapAnswer();
    noR[1] = 0x01;
    QByteArray announceOp = PcpMapAnswer();
    announceOp[1] = char(0x80);
    QByteArray udp = PcpMapAnswer();
    udp[36] = 17;
    QByteArray otherPort = PcpMapAnswer();
    otherPort[41] = 0x59;
    QByteArray version3 = PcpMapAnswer();
    version3[0] = 3;
    using V = PcpVerdict;
    struct Case {
        QByteArray bytes;
        const char* why;
        PcpVerdict verdict = V::Drop;
    };
    const Case cases[] = {
        {Hex("00 81 00 01 00 00 00 07"), "NAT-PMP router, 8 bytes", V::NatPmpServer},
        {Hex("00 00 00 01 00 00 00 07"), "NAT-PMP router, opcode 0", V::NatPmpServer},
        {Hex("01 81 00 01") + QByteArray(20, '\0'), "PCP version 1", V::OtherVersion},
        {Hex("00 80 00 03") + QByteArray(20, '\0'), "miniupnpd's answer to an unreadable request"},
        {Hex("00 81 00 01"), "version-0 answer under 8 bytes"},
        {noR, "R bit clear"},
        {announceOp, "ANNOUNCE answer to a MAP"},
        {PcpMapAnswer(0, Hex("ff 02 03 04 05 06 07 08 09 0a 0b 0c")), "other nonce"},
        {udp, "other protocol"},
        {otherPort, "other internal port"},
        {version3, "version 3"},
        {PcpMapAnswer().left(56), "body cut short"},
        {PcpMapAnswer() + "xx", "not a multiple of 4"},
        {PcpMapAnswer().left(20), "under 24 bytes"},
        {PcpMapAnswer() + QByteArray(1044, '\0'), "over 1100 bytes"},
        {Hex("02 81"), "under 4 bytes"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ParsePcpAnswer(c.bytes, kMapTcp7000).verdict, c.verdict) << c.why;
}

TEST(PcpNatPmpText, ResultCodesHavePlainSentences) {
    EXPECT_EQ(DescribeNatPmpResult(0), QString());
    EXPECT_EQ(DescribeNatPmpResult(2), QStringLiteral("The router refuses port forwarding for "
                                                      "this computer (check NAT-PMP/UPnP in its "
                                                      "settings)."));
    EXPECT_EQ(DescribeNatPmpResult(3), QStringLiteral("The router is not connected to the "
                                                      "internet or has no public address."));
    EXPECT_EQ(DescribePcpResult(7),
              QStringLiteral("The router is not connected to the internet yet."));
    EXPECT_EQ(DescribePcpResult(13), DescribePcpResult(2));
    EXPECT_EQ(DescribePcpResult(11), DescribePcpResult(8));
    // Codes without a sentence of their own still say something, with the code.
    EXPECT_TRUE(DescribeNatPmpResult(5).contains(QLatin1String("5")));
    EXPECT_TRUE(DescribePcpResult(9).contains(QLatin1String("9")));
}

// ---- Epoch --------------------------------------------------------------------------------

struct EpochStep {
    quint32 server;
    qint64 clientMs;
    bool lost;
};

void RunEpoch(EpochWatch::Rule rule, std::initializer_list<EpochStep> steps, const char* name) {
    EpochWatch watch(rule);
    int i = 0;
    for (const EpochStep& s : steps) {
        EXPECT_EQ(watch.observe(s.server, milliseconds(s.clientMs)), s.lost)
            << name << ", step " << i;
        ++i;
    }
}

TEST(EpochWatch, NatPmpRule) {
    using R = EpochWatch::Rule;
    RunEpoch(R::NatPmp, {{100, 0, false}, {200, 100000, false}}, "in step");
    RunEpoch(R::NatPmp, {{100, 0, false}, {100, 0, false}, {100, 0, false}}, "no time passed");
    // ⅞ of 100 s is 87.5 s: 185 is 2.5 s behind it.
    RunEpoch(R::NatPmp, {{100, 0, false}, {185, 100000, true}}, "fell behind");
    RunEpoch(R::NatPmp, {{100, 0, false}, {186, 100000, false}}, "within slack");
    RunEpoch(R::NatPmp, {{5000, 0, false}, {3, 10000, true}, {13, 20000, false}},
             "restart, then in step again");
    RunEpoch(R::NatPmp, {{0, 0, false}, {900000, 1000, false}}, "leaping ahead is no loss");
}

TEST(EpochWatch, PcpRule) {
    using R = EpochWatch::Rule;
    RunEpoch(R::Pcp, {{100, 0, false}, {99, 0, false}}, "one second back is allowed");
    RunEpoch(R::Pcp, {{100, 0, false}, {98, 0, true}}, "two seconds back");
    RunEpoch(R::Pcp, {{100, 0, false}, {400, 300000, false}}, "in step");
    // 300 s here, 250 there: 252 < 300 - 18.
    RunEpoch(R::Pcp, {{100, 0, false}, {350, 300000, true}}, "server slower");
    // 300 s there, 100 here: 102 < 300 - 18.
    RunEpoch(R::Pcp, {{100, 0, false}, {400, 100000, true}}, "server faster");
    RunEpoch(R::Pcp, {{1000, 0, false}, {3, 5000, true}, {8, 10000, false}}, "restart");
    RunEpoch(R::Pcp, {{0xfffffff0u, 0, false}, {0xfffffff0u + 2, 2000, false}}, "large epochs");
}

} // namespace
