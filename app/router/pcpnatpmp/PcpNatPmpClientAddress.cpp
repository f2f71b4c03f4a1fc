// SPDX-License-Identifier: GPL-3.0-or-later
// The router's external address: PCP's ANNOUNCE and NAT-PMP's request sent together, and a
// short mapping when PCP alone answers.
#include "router/pcpnatpmp/PcpNatPmpClient.h"

#include "router/net/ExternalAddress.h"

#include <algorithm>
#include <optional>

// Both requests in flight, and what came back to them.
struct PcpNatPmpClient::AddressProbe {
    bool tryPcp = false;
    Track announce;
    Track probe;
    std::optional<PcpAnswer> pcp;
    std::optional<NatPmpAnswer> natPmp;
    bool restart = false;
};

PcpNatPmpAddressResult PcpNatPmpClient::externalAddress() {
    PcpNatPmpAddressResult result;
    if (busy_) {
        result.text = busyText();
        return result;
    }
    busy_ = true;
    if (QString why; !exchange_.open(why)) {
        busy_ = false;
        result.text = why;
        return result;
    }

    AddressProbe p;
    p.tryPcp = options_.mode == PcpNatPmpMode::Pcp;
    p.announce = {.packet = BuildPcpAnnounce(pcpClient()),
                  .maxSends = options_.timings.natPmpSends};
    p.probe = {.packet = BuildNatPmpAddressRequest(), .maxSends = options_.timings.natPmpSends};
    p.announce.finished = !p.tryPcp;
    // NAT-PMP has no IPv6: to an IPv6 router its probe would only wait out its sends.
    p.probe.finished = p.tryPcp && options_.router.protocol() == QAbstractSocket::IPv6Protocol;
    exchange_.onAnswer = [this, &p](const QByteArray& bytes) { takeAddressAnswer(p, bytes); };
    exchange_.run({&p.announce, &p.probe});
    exchange_.onAnswer = nullptr;
    result = addressResult(p, exchange_.refused());
    exchange_.close();
    busy_ = false;
    return result;
}

void PcpNatPmpClient::takeAddressAnswer(AddressProbe& p, const QByteArray& bytes) {
    const bool natPmpFormat = bytes.size() >= 4 && bytes[0] == 0;
    if (p.tryPcp && !p.announce.finished && natPmpFormat && bytes.size() >= 8 && bytes[2] == 0 &&
        bytes[3] == 1) {
        // Version 0 "unsupported version": a NAT-PMP-only router, answering the PCP probe.
        p.announce.finished = true;
    } else if (natPmpFormat) {
        const auto a = ParseNatPmpAnswer(bytes, NatPmpOp::ExternalAddress);
        if (!a || p.natPmp)
            return;
        p.natPmp = a;
        p.probe.finished = true;
        p.restart = natPmpEpoch_.observe(a->epoch, waiter_.now()) || p.restart;
    } else {
        const PcpParsed parsed = ParsePcpAnswer(bytes, {.opcode = PcpOp::Announce});
        if (parsed.verdict == PcpVerdict::OtherVersion) {
            // Version 2 saying so answers the NAT-PMP probe: a router of PCP alone.
            if (parsed.answer.version == 2)
                p.probe.finished = true;
            else
                p.announce.finished = true;
            return;
        }
        if (parsed.verdict != PcpVerdict::Answer || p.pcp || !p.tryPcp)
            return;
        p.pcp = parsed.answer;
        p.announce.finished = true;
        pcpHeard_ = true;
        p.restart = pcpEpoch_.observe(parsed.answer.epoch, waiter_.now()) || p.restart;
    }
    // Both come from the same router at once; the other gets one short wait more.
    if (p.announce.finished != p.probe.finished)
        exchange_.deadline =
            std::min(exchange_.deadline, waiter_.now() + options_.timings.natPmpFirstWait);
}

PcpNatPmpAddressResult PcpNatPmpClient::addressResult(const AddressProbe& p, bool refused) {
    PcpNatPmpAddressResult result;
    const bool pcpOk = p.pcp && p.pcp->ok();
    if (p.tryPcp && p.natPmp && !p.pcp)
        pcpIgnored_ = true;
    if (p.pcp)
        pcpIgnored_ = false;
    result.pcpAvailable = pcpOk;
    result.restartDetected = p.restart;
    result.answered = p.pcp || p.natPmp;

    if (p.natPmp && p.natPmp->ok()) {
        result.ok = true;
        result.address = p.natPmp->externalAddress.toString();
        result.protocolUsed = pcpOk ? PcpNatPmpProtocol::Pcp : PcpNatPmpProtocol::NatPmp;
        result.epoch = pcpOk ? p.pcp->epoch : p.natPmp->epoch;
        result.text = ExternalAddressWarning(result.address);
    } else if (pcpOk) {
        addressByMapping(p.pcp->epoch, result);
    } else if (p.natPmp) {
        result.protocolUsed = PcpNatPmpProtocol::NatPmp;
        result.epoch = p.natPmp->epoch;
        result.resultCode = p.natPmp->resultCode;
        result.text = DescribeNatPmpResult(p.natPmp->resultCode);
    } else if (p.pcp) {
        result.protocolUsed = PcpNatPmpProtocol::Pcp;
        result.epoch = p.pcp->epoch;
        result.resultCode = p.pcp->resultCode;
        result.text = DescribePcpResult(p.pcp->resultCode);
    } else {
        result.text = unansweredText(refused);
    }
    return result;
}

void PcpNatPmpClient::addressByMapping(quint32 announcedEpoch, PcpNatPmpAddressResult& result) {
    // Only a mapping tells a PCP router's address: a short one of this socket's port,
    // which nothing else uses and which router rules for high ports allow.
    const quint16 port = exchange_.localPort();
    const PcpNatPmpMapResult m =
        doMap({.protocol = QStringLiteral("UDP"), .internalPort = port, .lifetimeSeconds = 120});
    if (m.ok)
        doUnmap(QStringLiteral("UDP"), port, m.nonce);
    result.protocolUsed = PcpNatPmpProtocol::Pcp;
    result.epoch = m.answered ? m.epoch : announcedEpoch;
    result.restartDetected = result.restartDetected || m.restartDetected;
    result.resultCode = m.resultCode;
    result.address = m.externalAddress;
    result.ok = m.ok;
    result.text = m.ok ? ExternalAddressWarning(m.externalAddress) : m.text;
}
