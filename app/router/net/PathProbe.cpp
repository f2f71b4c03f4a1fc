// SPDX-License-Identifier: GPL-3.0-or-later
#include "router/net/PathProbe.h"

#include "router/net/ExternalAddress.h"

#include <QElapsedTimer>

#include <arpa/inet.h>
#include <linux/errqueue.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

namespace {

constexpr std::size_t kHeader = CMSG_LEN(0);

bool isPrivate(const QHostAddress& a) {
    return ClassifyExternalAddress(a.toString()) == ExternalAddressKind::DoubleNat;
}

// The answer in one IP_RECVERR record's data: the extended error, then the offender.
std::optional<HopAnswer> readRecord(const char* data, std::size_t size) {
    sock_extended_err ee{};
    sockaddr_in from{};
    if (size < sizeof ee + sizeof from)
        return std::nullopt;
    std::memcpy(&ee, data, sizeof ee);
    std::memcpy(&from, data + sizeof ee, sizeof from);
    if (ee.ee_origin != SO_EE_ORIGIN_ICMP || from.sin_family != AF_INET)
        return std::nullopt;
    constexpr quint8 kUnreachable = 3;
    constexpr quint8 kTimeExceeded = 11;
    if (ee.ee_type != kUnreachable && ee.ee_type != kTimeExceeded)
        return std::nullopt;
    return HopAnswer{QHostAddress(ntohl(from.sin_addr.s_addr)), ee.ee_type == kTimeExceeded};
}

class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

// One probe with time-to-live `ttl`, and the answer queued for it.
std::optional<HopAnswer> probeHop(const PathProbeOptions& o, int ttl) {
    const Fd s(::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    const int on = 1;
    if (s.get() < 0 || ::setsockopt(s.get(), IPPROTO_IP, IP_RECVERR, &on, sizeof on) != 0 ||
        ::setsockopt(s.get(), IPPROTO_IP, IP_TTL, &ttl, sizeof ttl) != 0)
        return std::nullopt;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(quint16(o.port + ttl));
    to.sin_addr.s_addr = htonl(o.target.toIPv4Address());
    const char byte = 0;
    if (::connect(s.get(), reinterpret_cast<const sockaddr*>(&to), sizeof to) != 0 ||
        ::send(s.get(), &byte, 1, 0) != 1)
        return std::nullopt;
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        const qint64 left = o.wait.count() - clock.elapsed();
        if (left <= 0)
            return std::nullopt;
        pollfd p{s.get(), POLLIN, 0};
        if (::poll(&p, 1, int(left)) <= 0)
            continue;
        alignas(cmsghdr) char control[512];
        char body[64];
        iovec iov{body, sizeof body};
        msghdr m{};
        m.msg_iov = &iov;
        m.msg_iovlen = 1;
        m.msg_control = control;
        m.msg_controllen = sizeof control;
        if (::recvmsg(s.get(), &m, MSG_ERRQUEUE) < 0) {
            // Not an error record (an answer from the target itself): nothing on the way.
            if (::recv(s.get(), body, sizeof body, 0) < 0)
                return std::nullopt;
            continue;
        }
        return ReadHopAnswer(QByteArray(control, int(m.msg_controllen)));
    }
}

} // namespace

std::optional<HopAnswer> ReadHopAnswer(const QByteArray& control) {
    const auto size = std::size_t(control.size());
    std::size_t at = 0;
    while (size - at >= kHeader) {
        cmsghdr h{};
        std::memcpy(&h, control.constData() + at, sizeof h);
        if (h.cmsg_len < kHeader || h.cmsg_len > size - at)
            return std::nullopt;
        if (h.cmsg_level == IPPROTO_IP && h.cmsg_type == IP_RECVERR)
            return readRecord(control.constData() + at + kHeader, h.cmsg_len - kHeader);
        at += CMSG_ALIGN(h.cmsg_len);
        if (at > size)
            return std::nullopt;
    }
    return std::nullopt;
}

QList<QHostAddress> ProbePath(const PathProbeOptions& options) {
    QList<QHostAddress> hops;
    if (options.target.protocol() != QAbstractSocket::IPv4Protocol)
        return hops;
    for (int ttl = 1; ttl <= options.maxHops; ++ttl) {
        const std::optional<HopAnswer> a = probeHop(options, ttl);
        if (!a)
            break;
        hops << a->from;
        if (!a->expired || !isPrivate(a->from))
            break;
    }
    return hops;
}

QHostAddress RouterInFront(const QList<QHostAddress>& hops) {
    if (hops.size() < 2 || !isPrivate(hops[0]) || !isPrivate(hops[1]) || hops[0] == hops[1])
        return {};
    return hops[1];
}
