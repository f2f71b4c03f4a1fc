// SPDX-License-Identifier: GPL-3.0-or-later
// The client itself: its texts, its nonces, and what it takes from another client.
#include "router/pcpnatpmp/PcpNatPmpClient.h"

#include "router/net/LocalAddress.h"

#include <QCoreApplication>
#include <QRandomGenerator>

#include <algorithm>

QString PcpNatPmpProtocolName(PcpNatPmpProtocol protocol) {
    switch (protocol) {
    case PcpNatPmpProtocol::Pcp:
        return QStringLiteral("PCP");
    case PcpNatPmpProtocol::NatPmp:
        return QStringLiteral("NAT-PMP");
    case PcpNatPmpProtocol::None:
        break;
    }
    return {};
}

PcpNatPmpClient::PcpNatPmpClient(Waiter& waiter, PcpNatPmpOptions options, QObject* parent)
    : QObject(parent), waiter_(waiter), options_(std::move(options)), exchange_(waiter_, options_) {
    options_.router = PlainAddress(options_.router);
    if (!options_.random)
        options_.random = [] { return QRandomGenerator::system()->generate(); };
}

PcpNatPmpClient::~PcpNatPmpClient() = default;

QByteArray PcpNatPmpClient::newNonce() {
    QByteArray nonce;
    while (nonce.size() < PcpNonceSize) {
        const quint32 r = options_.random();
        for (int i = 0; i < 4; ++i)
            nonce.append(char((r >> (8 * i)) & 0xff));
    }
    return nonce;
}

QString PcpNatPmpClient::silenceText() const {
    return options_.mode == PcpNatPmpMode::NatPmpOnly
               ? QCoreApplication::translate("Router",
                                             "The router at %1 did not answer NAT-PMP requests.")
                     .arg(options_.router.toString())
               : QCoreApplication::translate(
                     "Router", "The router at %1 did not answer PCP or NAT-PMP requests.")
                     .arg(options_.router.toString());
}

QString PcpNatPmpClient::unansweredText(bool refused) const {
    return refused ? refusedText() : silenceText();
}

QString PcpNatPmpClient::busyText() {
    return QCoreApplication::translate("Router", "Another request to the router is still waiting.");
}

QString PcpNatPmpClient::refusedText() const {
    return QCoreApplication::translate(
               "Router", "The router at %1 does not take PCP or NAT-PMP requests (port %2 is "
                         "closed).")
        .arg(options_.router.toString())
        .arg(options_.port);
}

void PcpNatPmpClient::adopt(const PcpNatPmpAddressResult& known, const QHostAddress& local) {
    adoptedLocal_ = local;
    if (!known.answered)
        return;
    if (known.protocolUsed == PcpNatPmpProtocol::Pcp) {
        pcpHeard_ = true;
        pcpEpoch_.observe(known.epoch, waiter_.now());
    } else if (known.protocolUsed == PcpNatPmpProtocol::NatPmp) {
        natPmpEpoch_.observe(known.epoch, waiter_.now());
    }
}

bool PcpNatPmpClient::announce() {
    if (busy_)
        return false;
    busy_ = true;
    if (QString why; !exchange_.open(why)) {
        busy_ = false;
        return false;
    }
    // Two sends: a router that ignores PCP here must not hold up the window's first look long.
    Track track{.packet = BuildPcpAnnounce(pcpClient()),
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
