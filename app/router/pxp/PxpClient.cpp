#include "router/pxp/PxpClient.h"

#include "router/net/ExternalAddress.h"
#include "router/net/LocalAddress.h"

#include <QNetworkDatagram>
#include <QNetworkProxy>
#include <QRandomGenerator>
#include <QUdpSocket>

#include <algorithm>
#include <cerrno>

#include <cstring>

#include <linux/errqueue.h>
#include <netinet/in.h>
#include <sys/socket.h>

namespace {

using std::chrono::milliseconds;

// How soon a closed port is noticed.
constexpr milliseconds RefusalPoll{25};

// A failure that never reached the router.
PxpMapResult mapFailure(const QString& text) {
    PxpMapResult r;
    r.text = text;
    return r;
}

// miniupnpd answers with its private WAN address when it has no public one; saying so is
// more use than "cannot create more".
QString pcpRefusalText(const PcpAnswer& a) {
    const QString address = a.externalAddress.isNull() ? QString() : a.externalAddress.toString();
    const ExternalAddressKind kind = ClassifyExternalAddress(address);
    if (a.resultCode == PcpResult::NoResources && kind != ExternalAddressKind::Public &&
        kind != ExternalAddressKind::None)
        return ExternalAddressWarning(address);
    return DescribePcpResult(a.resultCode);
}

} // namespace

QString PxpProtocolName(PxpProtocol protocol) {
    switch (protocol) {
    case PxpProtocol::Pcp:
        return QStringLiteral("PCP");
    case PxpProtocol::NatPmp:
        return QStringLiteral("NAT-PMP");
    case PxpProtocol::None:
        break;
    }
    return {};
}

// One request being (re)sent on its protocol's schedule.
struct PxpClient::Track {
    QByteArray packet;
    bool pcpClock = false;
    int maxSends = 0; // 0: until the call's deadline
    int sent = 0;
    milliseconds wait{0};
    milliseconds nextAt{0};
    bool finished = false; // answered, or every send waited out
};

PxpClient::PxpClient(Waiter& waiter, PxpOptions options, QObject* parent)
    : QObject(parent), waiter_(waiter), options_(std::move(options)) {
    options_.router = PlainAddress(options_.router);
    if (!options_.random)
        options_.random = [] { return QRandomGenerator::system()->generate(); };
}

PxpClient::~PxpClient() {
    close();
}

bool PxpClient::open(QString& why) {
    close();
    refused_ = false;
    changed_ = false;
    deadline_ = waiter_.now() + options_.timings.limit;
    if (options_.router.isNull() || options_.port == 0) {
        why = QStringLiteral("No router address is set.");
        return false;
    }
    local_ = options_.localAddress.isNull() ? LocalAddressToward(options_.router, options_.port)
                                            : PlainAddress(options_.localAddress);
    if (local_.isNull()) {
        why = QStringLiteral("This computer has no route to the router at %1.")
                  .arg(options_.router.toString());
        return false;
    }
    socket_ = std::make_unique<QUdpSocket>();
    socket_->setProxy(QNetworkProxy::NoProxy);
    // Connected, so that the system drops whatever does not come from the router's port
    // and tells when that port is closed.
    if (socket_->bind(local_, 0))
        socket_->connectToHost(options_.router, options_.port);
    if (socket_->state() != QAbstractSocket::ConnectedState && !socket_->waitForConnected(200)) {
        socket_.reset();
        why = QStringLiteral("Harborly could not open a network socket toward the router.");
        return false;
    }
    const int on = 1;
    ::setsockopt(int(socket_->socketDescriptor()), SOL_IP, IP_RECVERR, &on, sizeof on);
    connect(socket_.get(), &QUdpSocket::readyRead, this, &PxpClient::readDatagrams);
    connect(socket_.get(), &QAbstractSocket::errorOccurred, this,
            [this](QAbstractSocket::SocketError error) {
                if (error == QAbstractSocket::ConnectionRefusedError) {
                    refused_ = true;
                    waiter_.wake();
                }
            });
    return true;
}

void PxpClient::close() {
    onAnswer_ = nullptr;
    if (socket_) {
        socket_->disconnect(this);
        socket_.reset();
    }
}

void PxpClient::readDatagrams() {
    if (!socket_)
        return;
    // A flood must not keep the wait from ending; Qt signals again for the rest.
    for (int n = 0; n < 64 && socket_ && socket_->hasPendingDatagrams(); ++n) {
        const qint64 size = socket_->pendingDatagramSize();
        if (size < 0 || size > MaxPxpDatagram) {
            char discard = 0;
            socket_->readDatagram(&discard, 1);
            continue;
        }
        const QNetworkDatagram datagram = socket_->receiveDatagram(size);
        // The connected socket already filters; this holds wherever it would not.
        const QHostAddress sender = PlainAddress(datagram.senderAddress());
        if (!sender.isNull() &&
            (sender != options_.router || datagram.senderPort() != options_.port))
            continue;
        if (onAnswer_)
            onAnswer_(datagram.data());
    }
    changed_ = true;
    waiter_.wake();
}

milliseconds PxpClient::jitter(milliseconds wait) {
    // (1 + RAND) with RAND uniform in [-0.1, +0.1]
    return wait * (900 + qint64(options_.random() % 201)) / 1000;
}

void PxpClient::send(Track& t) {
    const PxpTimings& timing = options_.timings;
    if (t.pcpClock) {
        milliseconds next = t.sent == 0 ? jitter(timing.pcpFirstWait) : jitter(2 * t.wait);
        if (next > timing.pcpMaxWait)
            next = jitter(timing.pcpMaxWait);
        t.wait = std::max(next, milliseconds(1));
    } else {
        t.wait = t.sent == 0 ? timing.natPmpFirstWait : 2 * t.wait;
    }
    socket_->write(t.packet);
    ++t.sent;
    t.nextAt = waiter_.now() + t.wait;
}

void PxpClient::exchange(const QList<Track*>& tracks) {
    for (;;) {
        if (refused_ || !socket_)
            return;
        const milliseconds now = waiter_.now();
        if (now >= deadline_)
            return;
        bool pending = false;
        milliseconds next = deadline_;
        for (Track* t : tracks) {
            if (t->finished)
                continue;
            if (now >= t->nextAt) {
                if (t->maxSends > 0 && t->sent >= t->maxSends) {
                    t->finished = true;
                    continue;
                }
                send(*t);
            }
            pending = true;
            next = std::min(next, t->nextAt);
        }
        if (!pending)
            return;
        changed_ = false;
        waiter_.waitFor([this] { return changed_ || refused_; }, std::min(next - now, RefusalPoll));
        checkRefused();
    }
}

void PxpClient::checkRefused() {
    // A closed port answers with an ICMP "port unreachable". Qt reports it for no UDP socket
    // and even clears it while peeking for datagrams, so the socket also queues it apart
    // (IP_RECVERR), where it waits for this.
    if (!socket_)
        return;
    const int fd = int(socket_->socketDescriptor());
    int error = 0;
    socklen_t size = sizeof error;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error == ECONNREFUSED)
        refused_ = true;
    for (int i = 0; i < 16; ++i) {
        char data[64];
        alignas(cmsghdr) char control[256];
        iovec iov{data, sizeof data};
        msghdr message{};
        message.msg_iov = &iov;
        message.msg_iovlen = 1;
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        if (::recvmsg(fd, &message, MSG_ERRQUEUE | MSG_DONTWAIT) < 0)
            return;
        for (cmsghdr* c = CMSG_FIRSTHDR(&message); c; c = CMSG_NXTHDR(&message, c)) {
            if (c->cmsg_level != SOL_IP || c->cmsg_type != IP_RECVERR)
                continue;
            sock_extended_err e{};
            std::memcpy(&e, CMSG_DATA(c), sizeof e);
            if (e.ee_errno == ECONNREFUSED)
                refused_ = true;
        }
    }
}

QByteArray PxpClient::newNonce() {
    QByteArray nonce;
    while (nonce.size() < PcpNonceSize) {
        const quint32 r = options_.random();
        for (int i = 0; i < 4; ++i)
            nonce.append(char((r >> (8 * i)) & 0xff));
    }
    return nonce;
}

QString PxpClient::silenceText() const {
    return options_.mode == PxpMode::NatPmpOnly
               ? QStringLiteral("The router at %1 did not answer NAT-PMP requests.")
                     .arg(options_.router.toString())
               : QStringLiteral("The router at %1 did not answer PCP or NAT-PMP requests.")
                     .arg(options_.router.toString());
}

QString PxpClient::refusedText() const {
    return QStringLiteral("The router at %1 does not take PCP or NAT-PMP requests (port %2 is "
                          "closed).")
        .arg(options_.router.toString())
        .arg(options_.port);
}

// ---- The address --------------------------------------------------------------------------

PxpAddressResult PxpClient::externalAddress() {
    PxpAddressResult result;
    if (busy_) {
        result.text = QStringLiteral("Another request to the router is still waiting.");
        return result;
    }
    busy_ = true;
    if (QString why; !open(why)) {
        busy_ = false;
        result.text = why;
        return result;
    }

    const bool tryPcp = options_.mode == PxpMode::Pcp;
    Track announce{.packet = BuildPcpAnnounce(local_), .maxSends = options_.timings.natPmpSends};
    Track probe{.packet = BuildNatPmpAddressRequest(), .maxSends = options_.timings.natPmpSends};
    announce.finished = !tryPcp;
    std::optional<PcpAnswer> pcp;
    std::optional<NatPmpAnswer> natPmp;
    bool restart = false;

    onAnswer_ = [&](const QByteArray& bytes) {
        const bool natPmpFormat = bytes.size() >= 4 && bytes[0] == 0;
        if (tryPcp && !announce.finished && natPmpFormat && bytes.size() >= 8 && bytes[2] == 0 &&
            bytes[3] == 1) {
            // Version 0 "unsupported version": a NAT-PMP-only router, answering the PCP probe.
            announce.finished = true;
        } else if (natPmpFormat) {
            const auto a = ParseNatPmpAnswer(bytes, NatPmpOp::ExternalAddress);
            if (!a || natPmp)
                return;
            natPmp = a;
            probe.finished = true;
            restart = natPmpEpoch_.observe(a->epoch, waiter_.now()) || restart;
        } else {
            const PcpParsed p = ParsePcpAnswer(bytes, {.opcode = PcpOp::Announce});
            if (p.verdict == PcpVerdict::OtherVersion) {
                // Version 2 saying so answers the NAT-PMP probe: a router of PCP alone.
                if (p.answer.version == 2)
                    probe.finished = true;
                else
                    announce.finished = true;
                return;
            }
            if (p.verdict != PcpVerdict::Answer || pcp || !tryPcp)
                return;
            pcp = p.answer;
            announce.finished = true;
            pcpHeard_ = true;
            restart = pcpEpoch_.observe(p.answer.epoch, waiter_.now()) || restart;
        }
        // Both come from the same router at once; the other gets one short wait more.
        if (announce.finished != probe.finished)
            deadline_ = std::min(deadline_, waiter_.now() + options_.timings.natPmpFirstWait);
    };
    exchange({&announce, &probe});
    onAnswer_ = nullptr;
    const bool refused = refused_;

    const bool pcpOk = pcp && pcp->ok();
    if (tryPcp && natPmp && !pcp)
        pcpIgnored_ = true;
    if (pcp)
        pcpIgnored_ = false;
    result.pcpAvailable = pcpOk;
    result.restartDetected = restart;
    result.answered = pcp || natPmp;

    const auto finish = [this, &result] {
        close();
        busy_ = false;
        return result;
    };
    if (natPmp && natPmp->ok()) {
        result.ok = true;
        result.address = natPmp->externalAddress.toString();
        result.protocolUsed = pcpOk ? PxpProtocol::Pcp : PxpProtocol::NatPmp;
        result.epoch = pcpOk ? pcp->epoch : natPmp->epoch;
        result.text = ExternalAddressWarning(result.address);
        return finish();
    }
    if (pcpOk) {
        // Only a mapping tells a PCP router's address: a short one of this socket's port,
        // which nothing else uses and which router rules for high ports allow.
        const quint16 port = socket_->localPort();
        const PxpMapResult m = doMap(
            {.protocol = QStringLiteral("UDP"), .internalPort = port, .lifetimeSeconds = 120});
        if (m.ok)
            doUnmap(QStringLiteral("UDP"), port, m.nonce);
        result.protocolUsed = PxpProtocol::Pcp;
        result.epoch = m.answered ? m.epoch : pcp->epoch;
        result.restartDetected = restart || m.restartDetected;
        result.resultCode = m.resultCode;
        result.address = m.externalAddress;
        result.ok = m.ok;
        result.text = m.ok ? ExternalAddressWarning(m.externalAddress) : m.text;
        return finish();
    }
    if (natPmp) {
        result.protocolUsed = PxpProtocol::NatPmp;
        result.epoch = natPmp->epoch;
        result.resultCode = natPmp->resultCode;
        result.text = DescribeNatPmpResult(natPmp->resultCode);
        return finish();
    }
    if (pcp) {
        result.protocolUsed = PxpProtocol::Pcp;
        result.epoch = pcp->epoch;
        result.resultCode = pcp->resultCode;
        result.text = DescribePcpResult(pcp->resultCode);
        return finish();
    }
    result.text = refused ? refusedText() : silenceText();
    return finish();
}

// ---- Mappings -----------------------------------------------------------------------------

PxpClient::PcpOutcome PxpClient::pcpMap(const PcpMapRequest& request, int maxSends,
                                        bool mayFallBack) {
    PcpOutcome out;
    Track track{.packet = BuildPcpMapRequest(request), .pcpClock = true, .maxSends = maxSends};
    const PcpExpected expected{.opcode = PcpOp::Map,
                               .nonce = request.nonce,
                               .protocol = request.protocol,
                               .internalPort = request.internalPort};
    bool ended = false;
    onAnswer_ = [&](const QByteArray& bytes) {
        if (ended)
            return;
        const PcpParsed p = ParsePcpAnswer(bytes, expected);
        switch (p.verdict) {
        case PcpVerdict::Drop:
            return;
        case PcpVerdict::NatPmpServer:
            out.end = PcpEnd::NatPmpServer;
            break;
        case PcpVerdict::OtherVersion:
            out.end = PcpEnd::OtherVersion;
            break;
        case PcpVerdict::Answer:
            out.end = PcpEnd::Answered;
            out.answer = p.answer;
            pcpHeard_ = true;
            pcpIgnored_ = false;
            break;
        }
        ended = track.finished = true;
    };
    const milliseconds callDeadline = deadline_;
    const bool watchSilence = mayFallBack && (!pcpHeard_ || pcpIgnored_);
    if (watchSilence)
        deadline_ =
            std::min(deadline_, waiter_.now() + (pcpIgnored_ ? options_.timings.natPmpFirstWait
                                                             : options_.timings.pcpAlone));
    exchange({&track});
    onAnswer_ = nullptr;
    const bool silentAlone = !ended && watchSilence && deadline_ < callDeadline;
    deadline_ = callDeadline;
    if (!ended)
        out.end = refused_ ? PcpEnd::Refused : silentAlone ? PcpEnd::SilentAlone : PcpEnd::Silent;
    return out;
}

PxpClient::NatPmpOutcome PxpClient::natPmpMap(quint8 opcode, quint16 internalPort,
                                              quint16 suggested, quint32 lifetime, int maxSends) {
    NatPmpOutcome out;
    Track track{.packet = BuildNatPmpMapRequest(opcode, internalPort, suggested, lifetime),
                .maxSends = maxSends};
    onAnswer_ = [&](const QByteArray& bytes) {
        if (out.answered)
            return;
        if (const auto a = ParseNatPmpAnswer(bytes, opcode, internalPort)) {
            out.answered = track.finished = true;
            out.answer = *a;
        }
    };
    exchange({&track});
    onAnswer_ = nullptr;
    return out;
}

PxpMapResult PxpClient::map(const QString& protocol, quint16 internalPort,
                            quint16 suggestedExternalPort, quint32 lifetimeSeconds,
                            const QByteArray& nonce) {
    return map(PxpMapRequest{.protocol = protocol,
                             .internalPort = internalPort,
                             .suggestedExternalPort = suggestedExternalPort,
                             .lifetimeSeconds = lifetimeSeconds,
                             .nonce = nonce});
}

PxpMapResult PxpClient::map(const PxpMapRequest& request) {
    // Internal port 0 or lifetime 0 would delete, the first every mapping of this computer.
    if (!PcpProtocolNumber(request.protocol) || request.internalPort == 0 ||
        request.lifetimeSeconds == 0 || (!request.nonce.isEmpty() && request.nonce.size() != 12))
        return mapFailure(QStringLiteral("Harborly made an invalid forwarding request."));
    if (busy_)
        return mapFailure(QStringLiteral("Another request to the router is still waiting."));
    busy_ = true;
    QString why;
    PxpMapResult result = open(why) ? doMap(request) : mapFailure(why);
    close();
    busy_ = false;
    return result;
}

PxpMapResult PxpClient::doMap(const PxpMapRequest& request) {
    PxpMapResult result;
    if (options_.mode == PxpMode::Pcp) {
        PcpMapRequest pcp{.nonce = request.nonce.isEmpty() ? newNonce() : request.nonce,
                          .protocol = *PcpProtocolNumber(request.protocol),
                          .internalPort = request.internalPort,
                          .suggestedExternalPort = request.suggestedExternalPort,
                          .suggestedExternalAddress =
                              PlainAddress(request.suggestedExternalAddress),
                          .lifetime = request.lifetimeSeconds,
                          .client = local_};
        const PcpOutcome o = pcpMap(pcp, 0, true);
        if (o.end == PcpEnd::Refused) {
            result.text = refusedText();
            return result;
        }
        if (o.end == PcpEnd::Silent) {
            result.text = silenceText();
            return result;
        }
        if (o.end == PcpEnd::Answered) {
            const PcpAnswer& a = o.answer;
            result.answered = true;
            result.protocolUsed = PxpProtocol::Pcp;
            result.nonce = pcp.nonce;
            result.resultCode = a.resultCode;
            result.epoch = a.epoch;
            result.restartDetected = pcpEpoch_.observe(a.epoch, waiter_.now());
            result.externalAddress =
                a.externalAddress.isNull() ? QString() : a.externalAddress.toString();
            if (!a.ok()) {
                result.retryAfter = a.lifetime;
                result.externalPort = 0;
                result.text = pcpRefusalText(a);
                return result;
            }
            result.externalPort = a.externalPort;
            result.grantedLifetime = a.lifetime;
            result.ok = a.externalPort != 0 && a.lifetime != 0;
            if (!result.ok)
                result.text = QStringLiteral("The router answered without granting a port.");
            return result;
        }
        // A router of NAT-PMP alone, or PCP never heard here: the same request in NAT-PMP.
    }
    const NatPmpOutcome o = natPmpMap(*NatPmpMapOpcode(request.protocol), request.internalPort,
                                      request.suggestedExternalPort, request.lifetimeSeconds,
                                      options_.timings.natPmpSends);
    if (!o.answered) {
        result.text = refused_ ? refusedText() : silenceText();
        return result;
    }
    const NatPmpAnswer& a = o.answer;
    result.answered = true;
    result.protocolUsed = PxpProtocol::NatPmp;
    result.resultCode = a.resultCode;
    result.epoch = a.epoch;
    result.restartDetected = natPmpEpoch_.observe(a.epoch, waiter_.now());
    if (!a.ok()) {
        result.text = DescribeNatPmpResult(a.resultCode);
        return result;
    }
    result.externalPort = a.externalPort;
    result.grantedLifetime = a.lifetime;
    result.ok = a.externalPort != 0 && a.lifetime != 0;
    if (!result.ok)
        result.text = QStringLiteral("The router answered without granting a port.");
    return result;
}

PxpMapResult PxpClient::unmap(const QString& protocol, quint16 internalPort,
                              const QByteArray& nonce) {
    if (!PcpProtocolNumber(protocol) || internalPort == 0 ||
        (!nonce.isEmpty() && nonce.size() != PcpNonceSize))
        return mapFailure(QStringLiteral("Harborly made an invalid forwarding request."));
    if (busy_)
        return mapFailure(QStringLiteral("Another request to the router is still waiting."));
    busy_ = true;
    QString why;
    PxpMapResult result = open(why) ? doUnmap(protocol, internalPort, nonce) : mapFailure(why);
    close();
    busy_ = false;
    return result;
}

PxpMapResult PxpClient::doUnmap(const QString& protocol, quint16 internalPort,
                                const QByteArray& nonce) {
    PxpMapResult result;
    if (options_.mode == PxpMode::Pcp && !nonce.isEmpty()) {
        const PcpMapRequest pcp{.nonce = nonce,
                                .protocol = *PcpProtocolNumber(protocol),
                                .internalPort = internalPort,
                                .lifetime = 0,
                                .client = local_};
        // No fall-back on silence: NAT-PMP cannot delete what PCP made.
        const PcpOutcome o = pcpMap(pcp, options_.timings.deleteSends, false);
        if (o.end == PcpEnd::Refused || o.end == PcpEnd::Silent) {
            result.text = o.end == PcpEnd::Refused ? refusedText() : silenceText();
            return result;
        }
        if (o.end == PcpEnd::Answered) {
            const PcpAnswer& a = o.answer;
            result.answered = true;
            result.protocolUsed = PxpProtocol::Pcp;
            result.nonce = nonce;
            result.resultCode = a.resultCode;
            result.epoch = a.epoch;
            result.restartDetected = pcpEpoch_.observe(a.epoch, waiter_.now());
            // NO_RESOURCES to a deletion: miniupnpd's way of saying it had no such mapping.
            result.ok = a.ok() || a.resultCode == PcpResult::NoResources;
            if (!result.ok) {
                result.retryAfter = a.lifetime;
                result.text = DescribePcpResult(a.resultCode);
            }
            return result;
        }
    }
    const NatPmpOutcome o =
        natPmpMap(*NatPmpMapOpcode(protocol), internalPort, 0, 0, options_.timings.deleteSends);
    if (!o.answered) {
        result.text = refused_ ? refusedText() : silenceText();
        return result;
    }
    result.answered = true;
    result.protocolUsed = PxpProtocol::NatPmp;
    result.resultCode = o.answer.resultCode;
    result.epoch = o.answer.epoch;
    result.restartDetected = natPmpEpoch_.observe(o.answer.epoch, waiter_.now());
    result.ok = o.answer.ok();
    result.text = DescribeNatPmpResult(o.answer.resultCode);
    return result;
}
