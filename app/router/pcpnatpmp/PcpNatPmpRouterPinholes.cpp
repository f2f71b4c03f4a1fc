// SPDX-License-Identifier: GPL-3.0-or-later
#include "router/pcpnatpmp/PcpNatPmpRouter.h"

#include "platform/Clock.h"
#include "router/MainView.h"
#include "router/net/Ipv6Address.h"
#include "router/pcpnatpmp/PcpNatPmpHolds.h"

#include <QFile>

// The router's side of PCP pinholes: where they are opened from and to, Point To Me's
// pinholes, the rows View Points shows. Keeping them is PcpPinholeHolds' and the keeper's.

namespace {

const QString kPinholeKind = QStringLiteral("pinhole6");

} // namespace

QHostAddress PcpNatPmpRouter::pinholeSelf() const {
    return CurrentPinholeAddress(options_.pinholeAddress, options_.pinholeInterface,
                                 options_.ifInet6Path);
}

std::unique_ptr<PcpNatPmpClient> PcpNatPmpRouter::pinholeClient(const QHostAddress& from) const {
    if (!client_ || mode_ != PcpNatPmpMode::Pcp || protocol_ != PcpNatPmpProtocol::Pcp)
        return nullptr;
    const QHostAddress self = from.isNull() ? pinholeSelf() : from;
    if (self.isNull())
        return nullptr;
    QHostAddress router6 = options_.router6;
    // A router on IPv4 loopback runs on this computer (a simulated one): its IPv6 side is ::1.
    if (router6.isNull() && options_.router.isLoopback())
        router6 = QHostAddress::LocalHostIPv6;
    if (router6.isNull()) {
        QFile route(options_.ipv6RoutePath);
        if (route.open(QIODevice::ReadOnly))
            router6 = Ipv6DefaultRouter(route.read(1 << 20));
    }
    if (router6.isNull())
        return nullptr;
    PcpNatPmpOptions six = options_;
    six.router = router6;
    six.localAddress = self;
    six.mode = PcpNatPmpMode::Pcp;
    return std::make_unique<PcpNatPmpClient>(*waiter_, six);
}

QList<LeaseEntry> PcpNatPmpRouter::recordedPinholes() const {
    return keeper_.linesOf(*pinholes_);
}

LeaseEntry PcpNatPmpRouter::pinholeEntry(int port, const QString& protocol,
                                         const QString& application, const QString& address,
                                         const QByteArray& nonce, quint32 lifetime) const {
    LeaseEntry e;
    e.router = routerKey_;
    e.kind = kPinholeKind;
    e.protocol = protocol;
    e.externalPort = e.internalPort = port;
    e.lifetime = lifetime;
    e.leaseEnd = clock_.now().addSecs(lifetime).toUTC();
    e.nonce = nonce;
    e.application = application;
    e.address = address;
    return e;
}

Outcome PcpNatPmpRouter::openPinholes(const QList<PlannedMapping>& mappings) {
    const QHostAddress self = pinholeSelf();
    if (!pinholeClient())
        return Outcome::Completed;
    QList<LeaseEntry> wanted;
    for (const PlannedMapping& m : mappings) {
        // The nonce of a pinhole already held is kept: only it may renew the pinhole. One for
        // an address this computer had before is not this one's.
        QByteArray nonce = FreshNonce();
        for (const LeaseEntry& e : recordedPinholes())
            if (e.protocol == m.protocol && e.internalPort == m.port &&
                e.state != LeaseEntry::State::Clearing && QHostAddress(e.address).isEqual(self))
                nonce = e.nonce;
        wanted << pinholeEntry(m.port, m.protocol, m.application, self.toString(), nonce, 0);
    }
    return keeper_.point(*pinholes_, wanted, false);
}

std::optional<bool> PcpNatPmpRouter::HoldsPinhole(const PlannedMapping& mapping) {
    return RecordedPinholeOpen(recordedPinholes(), mapping.port, mapping.protocol, clock_.now());
}
