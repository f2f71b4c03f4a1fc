#include "router/pxp/PxpClient.h"

#include "router/net/ExternalAddress.h"
#include "router/net/LocalAddress.h"

#include <QRandomGenerator>

#include <algorithm>

namespace {

using std::chrono::milliseconds;

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
PxpClient::PxpClient(Waiter& waiter, PxpOptions options, QObject* parent)
    : QObject(parent), waiter_(waiter), options_(std::move(options)), exchange_(waiter_, options_) {
    options_.router = PlainAddress(options_.router);
    if (!options_.random)
        options_.random = [] { return QRandomGenerator::system()->generate(); };
}

PxpClient::~PxpClient() = default;

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

void PxpClient::adopt(const PxpAddressResult& known, const QHostAddress& local) {
    adoptedLocal_ = local;
    if (!known.answered)
        return;
    if (known.protocolUsed == PxpProtocol::Pcp) {
        pcpHeard_ = true;
        pcpEpoch_.observe(known.epoch, waiter_.now());
    } else if (known.protocolUsed == PxpProtocol::NatPmp) {
        natPmpEpoch_.observe(known.epoch, waiter_.now());
    }
}

PxpAddressResult PxpClient::externalAddress() {
    PxpAddressResult result;
    if (busy_) {
        result.text = QStringLiteral("Another request to the router is still waiting.");
        return result;
    }
    busy_ = true;
    if (QString why; !exchange_.open(why)) {
        busy_ = false;
        result.text = why;
        return result;
    }

    const bool tryPcp = options_.mode == PxpMode::Pcp;
    Track announce{.packet = BuildPcpAnnounce(exchange_.local()),
                   .maxSends = options_.timings.natPmpSends};
    Track probe{.packet = BuildNatPmpAddressRequest(), .maxSends = options_.timings.natPmpSends};
    announce.finished = !tryPcp;
    // NAT-PMP has no IPv6: to an IPv6 router its probe would only wait out its sends.
    probe.finished = tryPcp && options_.router.protocol() == QAbstractSocket::IPv6Protocol;
    std::optional<PcpAnswer> pcp;
    std::optional<NatPmpAnswer> natPmp;
    bool restart = false;

    exchange_.onAnswer = [&](const QByteArray& bytes) {
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
            exchange_.deadline =
                std::min(exchange_.deadline, waiter_.now() + options_.timings.natPmpFirstWait);
    };
    exchange_.run({&announce, &probe});
    exchange_.onAnswer = nullptr;
    const bool refused = exchange_.refused();

    const bool pcpOk = pcp && pcp->ok();
    if (tryPcp && natPmp && !pcp)
        pcpIgnored_ = true;
    if (pcp)
        pcpIgnored_ = false;
    result.pcpAvailable = pcpOk;
    result.restartDetected = restart;
    result.answered = pcp || natPmp;

    const auto finish = [this, &result] {
        exchange_.close();
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
        const quint16 port = exchange_.localPort();
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

bool PxpClient::announce() {
    if (busy_)
        return false;
    busy_ = true;
    if (QString why; !exchange_.open(why)) {
        busy_ = false;
        return false;
    }
    // Two sends: a router that ignores PCP here must not hold up the window's first look long.
    Track track{.packet = BuildPcpAnnounce(exchange_.local()),
                .maxSends = std::min(2, options_.timings.natPmpSends)};
    bool ok = false;
    exchange_.onAnswer = [&](const QByteArray& bytes) {
        const PcpParsed p = ParsePcpAnswer(bytes, {.opcode = PcpOp::Announce});
        if (p.verdict == PcpVerdict::Drop)
            return;
        track.finished = true;
        if (p.verdict != PcpVerdict::Answer)
            return;
        ok = p.answer.ok();
        pcpHeard_ = true;
        pcpEpoch_.observe(p.answer.epoch, waiter_.now());
    };
    exchange_.run({&track});
    exchange_.onAnswer = nullptr;
    exchange_.close();
    busy_ = false;
    return ok;
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
    exchange_.onAnswer = [&](const QByteArray& bytes) {
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
    const milliseconds callDeadline = exchange_.deadline;
    const bool watchSilence = mayFallBack && (!pcpHeard_ || pcpIgnored_);
    if (watchSilence)
        exchange_.deadline = std::min(
            exchange_.deadline, waiter_.now() + (pcpIgnored_ ? options_.timings.natPmpFirstWait
                                                             : options_.timings.pcpAlone));
    exchange_.run({&track});
    exchange_.onAnswer = nullptr;
    const bool silentAlone = !ended && watchSilence && exchange_.deadline < callDeadline;
    exchange_.deadline = callDeadline;
    if (!ended)
        out.end = exchange_.refused() ? PcpEnd::Refused
                  : silentAlone       ? PcpEnd::SilentAlone
                                      : PcpEnd::Silent;
    return out;
}

PxpClient::NatPmpOutcome PxpClient::natPmpMap(quint8 opcode, quint16 internalPort,
                                              quint16 suggested, quint32 lifetime, int maxSends) {
    NatPmpOutcome out;
    Track track{.packet = BuildNatPmpMapRequest(opcode, internalPort, suggested, lifetime),
                .maxSends = maxSends};
    exchange_.onAnswer = [&](const QByteArray& bytes) {
        if (out.answered)
            return;
        if (const auto a = ParseNatPmpAnswer(bytes, opcode, internalPort)) {
            out.answered = track.finished = true;
            out.answer = *a;
        }
    };
    exchange_.run({&track});
    exchange_.onAnswer = nullptr;
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
    PxpMapResult result = exchange_.open(why) ? doMap(request) : mapFailure(why);
    exchange_.close();
    busy_ = false;
    return result;
}

PxpMapResult PxpClient::doMap(const PxpMapRequest& request) {
    PxpMapResult result;
    // To an IPv6 router a MAP opens a pinhole for this computer's IPv6 address; "no preference"
    // is the all-zeros address of that family, and NAT-PMP has nothing to fall back to.
    const bool six = options_.router.protocol() == QAbstractSocket::IPv6Protocol;
    if (options_.mode == PxpMode::Pcp) {
        PcpMapRequest pcp{.nonce = request.nonce.isEmpty() ? newNonce() : request.nonce,
                          .protocol = *PcpProtocolNumber(request.protocol),
                          .internalPort = request.internalPort,
                          .suggestedExternalPort = request.suggestedExternalPort,
                          .suggestedExternalAddress =
                              six && request.suggestedExternalAddress.isNull()
                                  ? QHostAddress(QHostAddress::AnyIPv6)
                                  : PlainAddress(request.suggestedExternalAddress),
                          .lifetime = request.lifetimeSeconds,
                          .client = exchange_.local()};
        const PcpOutcome o = pcpMap(pcp, 0, !six);
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
        if (six) {
            result.text = silenceText();
            return result;
        }
        // A router of NAT-PMP alone, or PCP never heard here: the same request in NAT-PMP.
    }
    const NatPmpOutcome o = natPmpMap(*NatPmpMapOpcode(request.protocol), request.internalPort,
                                      request.suggestedExternalPort, request.lifetimeSeconds,
                                      options_.timings.natPmpSends);
    if (!o.answered) {
        result.text = exchange_.refused() ? refusedText() : silenceText();
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
    PxpMapResult result =
        exchange_.open(why) ? doUnmap(protocol, internalPort, nonce) : mapFailure(why);
    exchange_.close();
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
                                .client = exchange_.local()};
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
        result.text = exchange_.refused() ? refusedText() : silenceText();
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
