#include "router/upnp/SsdpSearch.h"

#include "router/net/Datagrams.h"
#include "router/net/LocalAddress.h"

#include <QNetworkDatagram>
#include <QNetworkInterface>
#include <QNetworkProxy>
#include <QUdpSocket>

#include <climits>

using std::chrono::milliseconds;

bool MulticastAllowed(bool allowed, const QHostAddress& router, const QHostAddress& local) {
    const QHostAddress r = PlainAddress(router);
    const QHostAddress l = PlainAddress(local);
    return allowed && r.protocol() == QAbstractSocket::IPv4Protocol && !r.isLoopback() &&
           !l.isNull() && !l.isLoopback();
}

SsdpSearch::SsdpSearch(Waiter& waiter, const UpnpOptions& options, QObject* parent)
    : QObject(parent), waiter_(waiter), options_(options) {}

SsdpSearch::~SsdpSearch() = default;

std::optional<SsdpReply> SsdpSearch::run(const QHostAddress& gateway, const QHostAddress& local,
                                         quint16 ssdpPort) {
    gateway_ = gateway;
    otherDevices_.clear();
    replies_.clear();
    gatewayAnsweredAt_.reset();
    udp_ = std::make_unique<QUdpSocket>();
    udp_->setProxy(QNetworkProxy::NoProxy);
    if (!udp_->bind(local, 0)) {
        udp_.reset();
        return std::nullopt;
    }
    connect(udp_.get(), &QUdpSocket::readyRead, this, &SsdpSearch::readDatagrams);

    const bool multicast = MulticastAllowed(options_.allowMulticast, gateway_, local);
    if (multicast) {
        udp_->setSocketOption(QAbstractSocket::MulticastTtlOption, 2);
        for (const QNetworkInterface& i : QNetworkInterface::allInterfaces())
            for (const QNetworkAddressEntry& e : i.addressEntries())
                if (e.ip() == local)
                    udp_->setMulticastInterface(i);
    }

    struct Round {
        milliseconds at;
        QList<const char*> unicast;
        QList<const char*> multicast;
    };
    const UpnpTimings& t = options_.timings;
    const QList<const char*> wide{SearchTarget::Igd1, SearchTarget::Igd2, SearchTarget::WanIp1,
                                  SearchTarget::WanIp2, SearchTarget::WanPpp1};
    const QList<Round> rounds{
        {milliseconds(0), {SearchTarget::All, SearchTarget::Igd1}, {}},
        {t.firstMulticast, {}, {SearchTarget::All, SearchTarget::Igd1, SearchTarget::Igd2}},
        {t.secondRound, {SearchTarget::Igd1}, wide},
        {t.thirdRound, {SearchTarget::Igd1}, wide},
    };

    const milliseconds start = waiter_.now();
    qsizetype next = 0;
    bool multicastSent = false;
    for (;;) {
        const milliseconds now = waiter_.now() - start;
        if (gatewayAnsweredAt_) {
            // Other devices answer only a multicast search; before one went out, the router's
            // answer is all there is to collect.
            if (!multicastSent || now >= *gatewayAnsweredAt_ - start + t.collectAfterReply)
                break;
        } else if (now >= t.giveUp) {
            break;
        }
        if (!gatewayAnsweredAt_ && next < rounds.size() && now >= rounds.at(next).at) {
            // Unicast first: it also opens the local firewall for the multicast answers.
            for (const char* st : rounds.at(next).unicast)
                udp_->writeDatagram(BuildMSearch(st), gateway_, ssdpPort);
            if (multicast)
                for (const char* st : rounds.at(next).multicast) {
                    udp_->writeDatagram(BuildMSearch(st), options_.multicastGroup,
                                        options_.multicastPort);
                    multicastSent = true;
                }
            ++next;
            continue;
        }
        const milliseconds until =
            gatewayAnsweredAt_
                ? *gatewayAnsweredAt_ - start + t.collectAfterReply
                : (next < rounds.size() ? std::min(rounds.at(next).at, t.giveUp) : t.giveUp);
        const bool answered = gatewayAnsweredAt_.has_value();
        waiter_.waitFor([this, answered] { return gatewayAnsweredAt_.has_value() != answered; },
                        until - now);
    }
    udp_->disconnect(this);
    udp_.reset();

    std::optional<SsdpReply> best;
    for (const auto& [address, reply] : replies_) {
        if (!address.isEqual(gateway_, QHostAddress::TolerantConversion)) {
            otherDevices_.append({address, reply});
            continue;
        }
        if (!best || reply.igdVersion() > best->igdVersion())
            best = reply;
    }
    return best;
}

void SsdpSearch::readDatagrams() {
    if (!udp_)
        return;
    DrainDatagrams(*udp_, MaxSsdpDatagram, INT_MAX, [this](const QNetworkDatagram& datagram) {
        const std::optional<SsdpReply> reply = ParseSsdpReply(datagram.data());
        if (!reply || !reply->isGateway())
            return true;
        const QHostAddress sender = PlainAddress(datagram.senderAddress());
        bool known = false;
        for (auto& [address, stored] : replies_) {
            if (stored.location != reply->location || stored.server != reply->server)
                continue;
            known = true;
            if (address == sender && reply->igdVersion() > stored.igdVersion())
                stored = *reply;
        }
        if (!known && replies_.size() < 32)
            replies_.append({sender, *reply});
        if (!known && !gatewayAnsweredAt_ &&
            sender.isEqual(gateway_, QHostAddress::TolerantConversion)) {
            gatewayAnsweredAt_ = waiter_.now();
            if (options_.gatewayHeard)
                options_.gatewayHeard();
            waiter_.wake();
        }
        return true;
    });
}
