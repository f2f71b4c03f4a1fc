// SPDX-License-Identifier: GPL-3.0-or-later
// The path probe's reading of the error queue: records the test writes, as the kernel lays
// them out; nothing is sent.
#include "router/net/PathProbe.h"

#include "QtPrint.h"

#include <arpa/inet.h>
#include <linux/errqueue.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstring>

#include <gtest/gtest.h>

namespace {

// One control message of `level`/`type` carrying `data`, padded as the kernel pads it.
QByteArray record(int level, int type, const QByteArray& data) {
    QByteArray out(int(CMSG_SPACE(std::size_t(data.size()))), '\0');
    cmsghdr h{};
    h.cmsg_len = CMSG_LEN(std::size_t(data.size()));
    h.cmsg_level = level;
    h.cmsg_type = type;
    std::memcpy(out.data(), &h, sizeof h);
    std::memcpy(out.data() + CMSG_LEN(0), data.constData(), std::size_t(data.size()));
    return out;
}

// An IP_RECVERR record: the extended error and the offender's address.
QByteArray icmpError(quint8 origin, quint8 type, const char* from, sa_family_t family = AF_INET) {
    sock_extended_err ee{};
    ee.ee_origin = origin;
    ee.ee_type = type;
    sockaddr_in offender{};
    offender.sin_family = family;
    inet_pton(AF_INET, from, &offender.sin_addr);
    QByteArray data(reinterpret_cast<const char*>(&ee), sizeof ee);
    data.append(reinterpret_cast<const char*>(&offender), sizeof offender);
    return record(IPPROTO_IP, IP_RECVERR, data);
}

struct RecordCase {
    const char* name;
    QByteArray control;
    const char* from; // nullptr: no answer read
    bool expired;
};

class HopAnswerTest : public testing::TestWithParam<RecordCase> {};

TEST_P(HopAnswerTest, Reads) {
    const RecordCase& c = GetParam();
    const std::optional<HopAnswer> a = ReadHopAnswer(c.control);
    ASSERT_EQ(a.has_value(), c.from != nullptr) << c.name;
    if (a) {
        EXPECT_EQ(a->from, QHostAddress(QString::fromLatin1(c.from))) << c.name;
        EXPECT_EQ(a->expired, c.expired) << c.name;
    }
}

const QByteArray kExpired = icmpError(SO_EE_ORIGIN_ICMP, 11, "192.168.77.1");
const QByteArray kTtlRecord = record(IPPROTO_IP, IP_TTL, QByteArray(4, '\1'));

INSTANTIATE_TEST_SUITE_P(
    Records, HopAnswerTest,
    testing::Values(
        RecordCase{"time exceeded", kExpired, "192.168.77.1", true},
        RecordCase{"unreachable", icmpError(SO_EE_ORIGIN_ICMP, 3, "11.22.33.1"), "11.22.33.1",
                   false},
        RecordCase{"after another record", kTtlRecord + kExpired, "192.168.77.1", true},
        RecordCase{"local origin", icmpError(SO_EE_ORIGIN_LOCAL, 11, "10.0.0.1"), nullptr, false},
        RecordCase{"other ICMP type", icmpError(SO_EE_ORIGIN_ICMP, 5, "10.0.0.1"), nullptr, false},
        RecordCase{"offender not IPv4", icmpError(SO_EE_ORIGIN_ICMP, 11, "10.0.0.1", AF_UNSPEC),
                   nullptr, false},
        RecordCase{"cut inside the record", kExpired.left(kExpired.size() - 12), nullptr, false},
        RecordCase{"cut inside the header", kExpired.left(8), nullptr, false},
        RecordCase{"no records", QByteArray(), nullptr, false},
        RecordCase{"only another record", kTtlRecord, nullptr, false},
        RecordCase{"length below the header",
                   [] {
                       QByteArray b = kExpired;
                       const std::size_t tiny = 4;
                       std::memcpy(b.data(), &tiny, sizeof tiny);
                       return b;
                   }(),
                   nullptr, false}),
    [](const testing::TestParamInfo<RecordCase>& i) {
        return QString::fromLatin1(i.param.name)
            .replace(QLatin1Char(' '), QLatin1Char('_'))
            .toStdString();
    });

struct FrontCase {
    QStringList hops;
    const char* front; // "": none
};

class RouterInFrontTest : public testing::TestWithParam<FrontCase> {};

TEST_P(RouterInFrontTest, Finds) {
    QList<QHostAddress> hops;
    for (const QString& h : GetParam().hops)
        hops << QHostAddress(h);
    EXPECT_EQ(RouterInFront(hops), QHostAddress(QString::fromLatin1(GetParam().front)))
        << GetParam().hops.join(QLatin1Char(' ')).toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Paths, RouterInFrontTest,
    testing::Values(FrontCase{{"10.251.0.1", "192.168.77.1"}, "192.168.77.1"},
                    FrontCase{{"192.168.1.1", "172.16.0.1", "100.64.0.1"}, "172.16.0.1"},
                    // The provider's first router: no second home router.
                    FrontCase{{"192.168.1.1", "81.2.69.1"}, ""},
                    FrontCase{{"192.168.1.1", "100.64.0.1"}, ""}, FrontCase{{"192.168.1.1"}, ""},
                    FrontCase{{}, ""}, FrontCase{{"81.2.69.1", "10.0.0.1"}, ""}));

} // namespace
