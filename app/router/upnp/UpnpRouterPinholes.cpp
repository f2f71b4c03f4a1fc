// SPDX-License-Identifier: GPL-3.0-or-later
#include "router/upnp/UpnpRouter.h"

#include "platform/Clock.h"
#include "router/MainView.h"
#include "router/net/Ipv6Address.h"
#include "router/upnp/PinholeClient.h"
#include "router/upnp/UpnpHolds.h"

#include <QCoreApplication>
#include <QFile>

// The router's side of IPv6 pinholes: where they are opened from and to, Point To Me's first
// questions, the rows View Points shows. Keeping them is UpnpPinholeHolds' and the keeper's.

namespace {

const QString kPinholeKind = QStringLiteral("pinhole6");

QByteArray readSmall(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.read(1 << 20) : QByteArray();
}

} // namespace

QHostAddress UpnpRouter::pinholeSelf() const {
    return CurrentPinholeAddress(options_.pinholeAddress, options_.pinholeInterface,
                                 options_.ifInet6Path);
}

std::unique_ptr<PinholeClient> UpnpRouter::pinholeClient(QString& why, const QHostAddress& from) {
    if (!client_ || client_->router().firewall.serviceType.isEmpty())
        return nullptr;
    const QHostAddress self = from.isNull() ? pinholeSelf() : from;
    if (self.isNull())
        return nullptr; // no global IPv6 address here: nothing to open, nothing to say
    QHostAddress router6 = options_.router6;
    const QHostAddress described(client_->router().descriptionUrl.host());
    if (router6.isNull() && described.protocol() == QAbstractSocket::IPv6Protocol)
        router6 = described;
    // A router reached on IPv4 loopback runs on this computer (a simulated one): its IPv6
    // side is ::1.
    if (router6.isNull() && described.isLoopback())
        router6 = QHostAddress::LocalHostIPv6;
    if (router6.isNull())
        router6 = Ipv6DefaultRouter(readSmall(options_.ipv6RoutePath));
    if (router6.isNull()) {
        why = QCoreApplication::translate(
            "Router", "The router offers IPv6 port opening but cannot be reached over "
                      "IPv6 from this computer.");
        return nullptr;
    }
    IgdService firewall = client_->router().firewall;
    firewall.controlUrl = OnIpv6Host(firewall.controlUrl, router6);
    return std::make_unique<PinholeClient>(*waiter_, firewall, self, options_.timings);
}

LeaseEntry UpnpRouter::pinholeEntry(int port, const QString& protocol, const QString& application,
                                    const QString& address, quint16 uniqueId) const {
    const quint32 lease = PinholeClient::AskedLease;
    LeaseEntry e;
    e.router = routerKey();
    e.routerId = routerId();
    e.kind = kPinholeKind;
    e.protocol = protocol;
    e.externalPort = e.internalPort = port;
    e.leaseEnd = clock_.now().addSecs(lease).toUTC();
    e.lifetime = lease;
    e.application = application;
    e.address = address;
    e.uniqueId = uniqueId;
    return e;
}

Outcome UpnpRouter::openPinholes(const QList<PlannedMapping>& mappings) {
    QString why;
    const auto pinholes = pinholeClient(why);
    if (!pinholes) {
        if (why.isEmpty())
            return Outcome::Completed;
        problems_ << why;
        return Outcome::Error;
    }
    const FirewallStatus status = pinholes->getFirewallStatus();
    if (!status.ok()) {
        problems_ << (NoAnswer(status.answer)
                          ? QCoreApplication::translate("Router",
                                                        "The router did not answer over IPv6.")
                          : QCoreApplication::translate(
                                "Router", "The router did not say whether it filters IPv6."));
        return NoAnswer(status.answer) ? Outcome::Failed : Outcome::Error;
    }
    if (!status.enabled)
        return Outcome::Completed; // IPv6 already gets through: nothing needs opening
    if (!status.inboundAllowed) {
        problems_ << PinholeProblem(703, 0);
        return Outcome::Error;
    }
    QList<LeaseEntry> wanted;
    for (const PlannedMapping& m : mappings)
        wanted << pinholeEntry(m.port, m.protocol, m.application, Ipv6Text(pinholes->source()), 0);
    return keeper_.point(*pinholes_, wanted, false);
}

QList<LeaseEntry> UpnpRouter::recordedPinholes() const {
    return keeper_.linesOf(*pinholes_);
}

bool UpnpRouter::ipv6Only() const {
    return client_ && client_->router().localAddress.protocol() == QAbstractSocket::IPv6Protocol;
}

std::optional<bool> UpnpRouter::HoldsPinhole(const PlannedMapping& mapping) {
    return RecordedPinholeOpen(recordedPinholes(), mapping.port, mapping.protocol, clock_.now());
}

bool UpnpRouter::removePinhole(const ForwardEntry& f) {
    const QList<LeaseEntry> mine = recordedPinholes();
    if (std::none_of(mine.begin(), mine.end(), [&](const LeaseEntry& e) {
            return e.internalPort == f.internalPort && e.protocol == f.protocol;
        })) {
        problems_ = {QCoreApplication::translate("Router", "IPv6 pinhole %1/%2 is not Harborly's.")
                         .arg(f.internalPort)
                         .arg(f.protocol)};
        return false;
    }
    const bool ok = runOperation(QStringLiteral(QT_TRANSLATE_NOOP("Status", "Remove Point")), [&] {
        return keeper_.removeAt(*pinholes_, f.internalPort, f.protocol);
    });
    reportProblems(QCoreApplication::translate("Router", "The pinhole was not closed"));
    return ok;
}
