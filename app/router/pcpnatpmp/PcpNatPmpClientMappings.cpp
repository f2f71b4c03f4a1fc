// SPDX-License-Identifier: GPL-3.0-or-later
// Mappings made and deleted: over PCP where the router speaks it, else over NAT-PMP.
#include "router/pcpnatpmp/PcpNatPmpClient.h"

#include "router/net/ExternalAddress.h"
#include "router/net/LocalAddress.h"

#include <algorithm>

#include <QCoreApplication>

namespace {

using std::chrono::milliseconds;

// A failure that never reached the router.
PcpNatPmpMapResult mapFailure(const QString& text) {
    PcpNatPmpMapResult r;
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

// A success that names no port or no lifetime granted nothing.
void takeGrant(quint16 externalPort, quint32 lifetime, PcpNatPmpMapResult& result) {
    result.externalPort = externalPort;
    result.grantedLifetime = lifetime;
    result.ok = externalPort != 0 && lifetime != 0;
    if (!result.ok)
        result.text =
            QCoreApplication::translate("Router", "The router answered without granting a port.");
}

} // namespace

PcpNatPmpClient::PcpOutcome PcpNatPmpClient::pcpMap(const PcpMapRequest& request, int maxSends,
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

PcpNatPmpClient::NatPmpOutcome PcpNatPmpClient::natPmpMap(quint8 opcode, quint16 internalPort,
                                                          quint16 suggested, quint32 lifetime,
                                                          int maxSends) {
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

PcpNatPmpMapResult PcpNatPmpClient::map(const QString& protocol, quint16 internalPort,
                                        quint16 suggestedExternalPort, quint32 lifetimeSeconds,
                                        const QByteArray& nonce) {
    return map(PcpNatPmpMapRequest{.protocol = protocol,
                                   .internalPort = internalPort,
                                   .suggestedExternalPort = suggestedExternalPort,
                                   .lifetimeSeconds = lifetimeSeconds,
                                   .nonce = nonce});
}

PcpNatPmpMapResult PcpNatPmpClient::map(const PcpNatPmpMapRequest& request) {
    // Internal port 0 or lifetime 0 would delete, the first every mapping of this computer.
    if (!PcpProtocolNumber(request.protocol) || request.internalPort == 0 ||
        request.lifetimeSeconds == 0 || (!request.nonce.isEmpty() && request.nonce.size() != 12))
        return mapFailure(
            QCoreApplication::translate("Router", "Harborly made an invalid forwarding request."));
    if (busy_)
        return mapFailure(busyText());
    busy_ = true;
    QString why;
    PcpNatPmpMapResult result = exchange_.open(why) ? doMap(request) : mapFailure(why);
    exchange_.close();
    busy_ = false;
    return result;
}

PcpNatPmpMapResult PcpNatPmpClient::doMap(const PcpNatPmpMapRequest& request) {
    PcpNatPmpMapResult result;
    if (options_.mode == PcpNatPmpMode::Pcp && mapWithPcp(request, result))
        return result;
    // A router of NAT-PMP alone, or PCP never heard here: the same request in NAT-PMP.
    const NatPmpOutcome o = natPmpMap(*NatPmpMapOpcode(request.protocol), request.internalPort,
                                      request.suggestedExternalPort, request.lifetimeSeconds,
                                      options_.timings.natPmpSends);
    if (!o.answered) {
        result.text = unansweredText(exchange_.refused());
        return result;
    }
    takeNatPmpAnswer(o.answer, result);
    if (!o.answer.ok()) {
        result.text = DescribeNatPmpResult(o.answer.resultCode);
        return result;
    }
    takeGrant(o.answer.externalPort, o.answer.lifetime, result);
    return result;
}

bool PcpNatPmpClient::mapWithPcp(const PcpNatPmpMapRequest& request, PcpNatPmpMapResult& result) {
    // To an IPv6 router a MAP opens a pinhole for this computer's IPv6 address; "no preference"
    // is the all-zeros address of that family, and NAT-PMP has nothing to fall back to.
    const bool six = options_.router.protocol() == QAbstractSocket::IPv6Protocol;
    const PcpMapRequest pcp{.nonce = request.nonce.isEmpty() ? newNonce() : request.nonce,
                            .protocol = *PcpProtocolNumber(request.protocol),
                            .internalPort = request.internalPort,
                            .suggestedExternalPort = request.suggestedExternalPort,
                            .suggestedExternalAddress =
                                six && request.suggestedExternalAddress.isNull()
                                    ? QHostAddress(QHostAddress::AnyIPv6)
                                    : PlainAddress(request.suggestedExternalAddress),
                            .lifetime = request.lifetimeSeconds,
                            .client = pcpClient()};
    const PcpOutcome o = pcpMap(pcp, 0, !six);
    if (o.end == PcpEnd::Refused || o.end == PcpEnd::Silent) {
        result.text = unansweredText(o.end == PcpEnd::Refused);
        return true;
    }
    if (o.end != PcpEnd::Answered) {
        if (six)
            result.text = silenceText();
        return six;
    }
    const PcpAnswer& a = o.answer;
    takePcpAnswer(a, pcp.nonce, result);
    result.externalAddress = a.externalAddress.isNull() ? QString() : a.externalAddress.toString();
    if (!a.ok()) {
        result.retryAfter = a.lifetime;
        result.externalPort = 0;
        result.text = pcpRefusalText(a);
        return true;
    }
    takeGrant(a.externalPort, a.lifetime, result);
    return true;
}

PcpNatPmpMapResult PcpNatPmpClient::unmap(const QString& protocol, quint16 internalPort,
                                          const QByteArray& nonce) {
    if (!PcpProtocolNumber(protocol) || internalPort == 0 ||
        (!nonce.isEmpty() && nonce.size() != PcpNonceSize))
        return mapFailure(
            QCoreApplication::translate("Router", "Harborly made an invalid forwarding request."));
    if (busy_)
        return mapFailure(busyText());
    busy_ = true;
    QString why;
    PcpNatPmpMapResult result =
        exchange_.open(why) ? doUnmap(protocol, internalPort, nonce) : mapFailure(why);
    exchange_.close();
    busy_ = false;
    return result;
}

PcpNatPmpMapResult PcpNatPmpClient::doUnmap(const QString& protocol, quint16 internalPort,
                                            const QByteArray& nonce) {
    PcpNatPmpMapResult result;
    if (options_.mode == PcpNatPmpMode::Pcp && !nonce.isEmpty()) {
        const PcpMapRequest pcp{.nonce = nonce,
                                .protocol = *PcpProtocolNumber(protocol),
                                .internalPort = internalPort,
                                .lifetime = 0,
                                .client = pcpClient()};
        // No fall-back on silence: NAT-PMP cannot delete what PCP made.
        const PcpOutcome o = pcpMap(pcp, options_.timings.deleteSends, false);
        if (o.end == PcpEnd::Refused || o.end == PcpEnd::Silent) {
            result.text = unansweredText(o.end == PcpEnd::Refused);
            return result;
        }
        if (o.end == PcpEnd::Answered) {
            const PcpAnswer& a = o.answer;
            takePcpAnswer(a, nonce, result);
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
        result.text = unansweredText(exchange_.refused());
        return result;
    }
    takeNatPmpAnswer(o.answer, result);
    result.ok = o.answer.ok();
    result.text = DescribeNatPmpResult(o.answer.resultCode);
    return result;
}

void PcpNatPmpClient::takePcpAnswer(const PcpAnswer& a, const QByteArray& nonce,
                                    PcpNatPmpMapResult& result) {
    result.answered = true;
    result.protocolUsed = PcpNatPmpProtocol::Pcp;
    result.nonce = nonce;
    result.resultCode = a.resultCode;
    result.epoch = a.epoch;
    result.restartDetected = pcpEpoch_.observe(a.epoch, waiter_.now());
}

void PcpNatPmpClient::takeNatPmpAnswer(const NatPmpAnswer& a, PcpNatPmpMapResult& result) {
    result.answered = true;
    result.protocolUsed = PcpNatPmpProtocol::NatPmp;
    result.resultCode = a.resultCode;
    result.epoch = a.epoch;
    result.restartDetected = natPmpEpoch_.observe(a.epoch, waiter_.now());
}
