// SPDX-License-Identifier: GPL-3.0-or-later
#include "router/upnp/SsdpSearch.h"

#include "router/net/Datagrams.h"
#include "router/net/LocalAddress.h"

#include <QNetworkDatagram>
#include <QNetworkInterface>
#include <QNetworkProxy>
#include <QUdpSocket>
#include <QUrl>

#include <climits>

using std::chrono::milliseconds;

bool MulticastAllowed(bool allowed, const QHostAddress& router, const QHostAddress& local) {
    const QHostAddress r = PlainAddress(router);
    const QHostAddress l = PlainAddress(local);
    return allowed && !r.isNull() && !r.isLoopback() && !l.isNull() && !l.isLoopback() &&
           r.protocol() == l.protocol();
}

namespace {

// The interface that carries `local`, else the one a link-local router's zone names.
QNetworkInterface interfaceOf(const QHostAddress& local, const QHostAddress& router) {
    for (const QNetworkInterface& i : QNetworkInterface::allInterfaces())
        for (const QNetworkAddressEntry& e : i.addressEntries())
            if (e.ip() == local)
                return i;
    if (!router.scopeId().isEmpty())
        return QNetworkInterface::interfaceFromName(router.scopeId());
    return {};
}

// Over IPv6 a router answers the site-wide group from another of its addresses than the one
// the default route names: its answer is known by the description address it gives.
bool fromGateway(const QHostAddress& sender, const SsdpReply& reply, const QHostAddress& gateway) {
    if (sender.isEqual(gateway, QHostAddress::TolerantConversion))
        return true;
    if (gateway.protocol() != QAbstractSocket::IPv6Protocol)
        return false;
    const QHostAddress described(QUrl(reply.location).host());
    // Without the zones: the answer's host never carries one.
    return described.protocol() == QAbstractSocket::IPv6Protocol &&
           QHostAddress(described.toIPv6Address()) == QHostAddress(gateway.toIPv6Address());
}

// One round of searches, `at` after the start: unicast to the router, multicast to the groups.
struct Round {
    milliseconds at;
    QList<const char*> unicast;
    QList<const char*> multicast;
};

QList<Round> searchRounds(const UpnpTimings& t) {
    const QList<const char*> wide{SearchTarget::Igd1, SearchTarget::Igd2, SearchTarget::WanIp1,
                                  SearchTarget::WanIp2, SearchTarget::WanPpp1};
    return {
        {milliseconds(0), {SearchTarget::All, SearchTarget::Igd1}, {}},
        {t.firstMulticast, {}, {SearchTarget::All, SearchTarget::Igd1, SearchTarget::Igd2}},
        {t.secondRound, {SearchTarget::Igd1}, wide},
        {t.thirdRound, {SearchTarget::Igd1}, wide},
    };
}

} // namespace

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
    search(ssdpPort, multicast ? multicastGroups(local) : Groups{});
    udp_->disconnect(this);
    udp_.reset();
    return gatewayReply();
}

SsdpSearch::Groups SsdpSearch::multicastGroups(const QHostAddress& local) {
    // Two hops: the router, and no further.
    udp_->setSocketOption(QAbstractSocket::MulticastTtlOption, 2);
    const QNetworkInterface i = interfaceOf(local, gateway_);
    if (i.isValid())
        udp_->setMulticastInterface(i);
    if (gateway_.protocol() != QAbstractSocket::IPv6Protocol)
        return {{options_.multicastGroup, QByteArrayLiteral("239.255.255.250:1900")}};
    QHostAddress linkGroup(QStringLiteral("ff02::c"));
    if (i.isValid())
        linkGroup.setScopeId(i.name());
    return {{linkGroup, QByteArrayLiteral("[FF02::C]:1900")},
            {QHostAddress(QStringLiteral("ff05::c")), QByteArrayLiteral("[FF05::C]:1900")}};
}

void SsdpSearch::search(quint16 ssdpPort, const Groups& groups) {
    const QByteArray unicastHost = gateway_.protocol() == QAbstractSocket::IPv6Protocol
                                       ? QByteArrayLiteral("[FF02::C]:1900")
                                       : QByteArrayLiteral("239.255.255.250:1900");
    const UpnpTimings& t = options_.timings;
    const QList<Round> rounds = searchRounds(t);
    const milliseconds start = waiter_.now();
    qsizetype next = 0;
    bool multicastSent = false;
    for (;;) {
        const milliseconds now = waiter_.now() - start;
        if (gatewayAnsweredAt_) {
            // Other devices answer only a multicast search; before one went out, the router's
            // answer is all there is to collect.
            if (!multicastSent || now >= *gatewayAnsweredAt_ - start + t.collectAfterReply)
                return;
        } else if (now >= t.giveUp) {
            return;
        }
        if (!gatewayAnsweredAt_ && next < rounds.size() && now >= rounds.at(next).at) {
            // Unicast first: it also opens the local firewall for the multicast answers.
            for (const char* st : rounds.at(next).unicast)
                udp_->writeDatagram(BuildMSearch(st, unicastHost), gateway_, ssdpPort);
            for (const char* st : rounds.at(next).multicast)
                for (const auto& [group, host] : groups) {
                    udp_->writeDatagram(BuildMSearch(st, host), group, options_.multicastPort);
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
}

std::optional<SsdpReply> SsdpSearch::gatewayReply() {
    std::optional<SsdpReply> best;
    for (const auto& [address, reply] : replies_) {
        if (!fromGateway(address, reply, gateway_)) {
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
        if (!known && !gatewayAnsweredAt_ && fromGateway(sender, *reply, gateway_)) {
            gatewayAnsweredAt_ = waiter_.now();
            if (options_.gatewayHeard)
                options_.gatewayHeard();
            waiter_.wake();
        }
        return true;
    });
}
