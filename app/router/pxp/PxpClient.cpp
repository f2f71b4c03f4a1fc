// The client itself: its texts, its nonces, and what it takes from another client.
#include "router/pxp/PxpClient.h"

#include "router/net/LocalAddress.h"

#include <QRandomGenerator>

#include <algorithm>

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

QString PxpClient::unansweredText(bool refused) const {
    return refused ? refusedText() : silenceText();
}

QString PxpClient::busyText() {
    return QStringLiteral("Another request to the router is still waiting.");
}

QString PxpClient::refusedText() const {
    return QStringLiteral("The router at %1 does not take PCP or NAT-PMP requests (port %2 is "
                          "closed).")
        .arg(options_.router.toString())
        .arg(options_.port);
}

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
