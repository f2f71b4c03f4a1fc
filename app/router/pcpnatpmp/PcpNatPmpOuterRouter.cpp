// SPDX-License-Identifier: GPL-3.0-or-later
#include "router/pcpnatpmp/PcpNatPmpOuterRouter.h"

#include "platform/Clock.h"
#include "router/pcpnatpmp/PcpNatPmpHolds.h"
#include "router/pcpnatpmp/PcpNatPmpRouter.h"

#include <QCoreApplication>

PcpNatPmpOuterRouter::PcpNatPmpOuterRouter(std::unique_ptr<PcpNatPmpClient> client,
                                           const PcpNatPmpAddressResult& told, const Clock& clock)
    : client_(std::move(client)), public_(told.address),
      kind_(client_->options().mode == PcpNatPmpMode::NatPmpOnly ? QStringLiteral("natpmp")
                                                                 : QStringLiteral("pcp")),
      clock_(clock) {}

QString PcpNatPmpOuterRouter::address() const {
    // Another port is another router (a simulated one beside the inner one on loopback).
    const PcpNatPmpOptions& o = client_->options();
    return o.port == PcpNatPmpDefaultPort
               ? o.router.toString()
               : QStringLiteral("%1:%2").arg(o.router.toString()).arg(o.port);
}

QString PcpNatPmpOuterRouter::description() const {
    return QCoreApplication::translate("OuterRouter", "the router at %1 (%2)")
        .arg(address(),
             kind_ == QLatin1String("pcp") ? QStringLiteral("PCP") : QStringLiteral("NAT-PMP"));
}

QString PcpNatPmpOuterRouter::toward() const {
    const QHostAddress& named = client_->options().clientAddress;
    return named.isNull() ? QString() : named.toString();
}

LeaseEntry PcpNatPmpOuterRouter::wanted(int port, const QString& protocol,
                                        const QString& application) {
    LeaseEntry e;
    e.router = address();
    e.kind = kind_;
    e.protocol = protocol;
    e.externalPort = e.internalPort = port;
    e.lifetime = PcpNatPmpRouter::AskedLifetime;
    e.application = application;
    return e;
}

std::optional<bool> PcpNatPmpOuterRouter::holdsForward(int port, const QString& protocol) {
    (void)port;
    (void)protocol;
    // Neither protocol can ask without making it.
    return std::nullopt;
}

std::optional<QList<ForwardEntry>> PcpNatPmpOuterRouter::forwards() {
    return std::nullopt;
}

bool PcpNatPmpOuterRouter::owns(const LeaseEntry& e) const {
    // Both words: the inner router may have told its outside address in one run and not in
    // another; a NAT-PMP mapping (no nonce) is deleted by NAT-PMP either way.
    return e.router == address() &&
           (e.kind == QLatin1String("pcp") || e.kind == QLatin1String("natpmp"));
}

QString PcpNatPmpOuterRouter::words(const LeaseEntry& e) const {
    return portText(e.protocol, e.internalPort, e.application);
}

Made PcpNatPmpOuterRouter::make(const LeaseEntry& wanted) {
    const PcpNatPmpMapResult r =
        client_->map(MapRequestFor(wanted, PcpNatPmpRouter::AskedLifetime));
    Made out;
    if (!r.ok) {
        out.reply = r.answered ? Reply::Refused : Reply::Silent;
        out.retryAfter = r.retryAfter;
        out.problem =
            problemStart() + words(wanted) + QStringLiteral(": ") +
            (r.text.isEmpty() ? QCoreApplication::translate("OuterRouter", "the router refused it.")
                              : r.text);
        return out;
    }
    LeaseEntry e = wanted;
    if (r.externalPort != wanted.internalPort)
        out.note = QCoreApplication::translate("OuterRouter",
                                               "%1/%2 comes in at the router in front through "
                                               "outside port %3.")
                       .arg(wanted.internalPort)
                       .arg(wanted.protocol)
                       .arg(r.externalPort);
    e.externalPort = r.externalPort;
    e.lifetime = r.grantedLifetime;
    e.leaseEnd = clock_.now().addSecs(r.grantedLifetime).toUTC();
    e.nonce = r.nonce;
    e.epoch = r.epoch;
    e.externalAddress = r.externalAddress;
    e.state = LeaseEntry::State::Held;
    if (r.restartDetected)
        remake_ = QCoreApplication::translate("OuterRouter", "the router in front restarted");
    out.reply = Reply::Done;
    out.granted = e;
    out.restarted = r.restartDetected;
    return out;
}

Removed PcpNatPmpOuterRouter::remove(const LeaseEntry& e) {
    const PcpNatPmpMapResult r = client_->unmap(e.protocol, quint16(e.internalPort), e.nonce);
    if (r.ok)
        return {Reply::Done, {}};
    return {r.answered ? Reply::Refused : Reply::Silent,
            problemStart() + words(e) + QStringLiteral(": ") + r.text};
}

CheckStart PcpNatPmpOuterRouter::startCheck(bool wasSilent) {
    const PcpNatPmpAddressResult wan = client_->externalAddress();
    if (!wan.answered)
        return {true, {}};
    if (wan.ok)
        public_ = wan.address;
    QString why = std::exchange(remake_, QString());
    if (why.isEmpty() && wan.restartDetected)
        why = QCoreApplication::translate("OuterRouter", "the router in front restarted");
    if (why.isEmpty() && wasSilent)
        why = QCoreApplication::translate("OuterRouter", "the router in front answers again");
    return {false, why};
}
