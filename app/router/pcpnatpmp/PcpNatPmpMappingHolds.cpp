// SPDX-License-Identifier: GPL-3.0-or-later
#include "router/pcpnatpmp/PcpNatPmpHolds.h"

#include "Module.h"
#include "platform/Clock.h"
#include "router/net/LocalAddress.h"
#include "router/pcpnatpmp/PcpNatPmpRouter.h"

#include <QCoreApplication>
#include <QRandomGenerator>

#include <algorithm>

QByteArray FreshNonce() {
    QByteArray nonce(12, '\0');
    for (char& c : nonce)
        c = char(QRandomGenerator::system()->bounded(256));
    return nonce;
}

PcpNatPmpMapRequest MapRequestFor(const LeaseEntry& e, quint32 lifetime) {
    PcpNatPmpMapRequest request;
    request.protocol = e.protocol;
    request.internalPort = quint16(e.internalPort);
    request.suggestedExternalPort = quint16(e.externalPort);
    request.lifetimeSeconds = lifetime;
    request.nonce = e.nonce;
    request.suggestedExternalAddress = QHostAddress(e.externalAddress);
    return request;
}

bool PcpNatPmpMappingHolds::owns(const LeaseEntry& e) const {
    return e.router == r_.routerKey_ && e.kind == r_.kindName();
}

QString PcpNatPmpMappingHolds::words(const LeaseEntry& e) const {
    return PcpNatPmpRouter::forwardText(e.protocol, e.internalPort, e.application);
}

Made PcpNatPmpMappingHolds::make(const LeaseEntry& wanted) {
    const PcpNatPmpMapResult r =
        r_.client_->map(MapRequestFor(wanted, PcpNatPmpRouter::AskedLifetime));
    Made out;
    if (!r.ok) {
        out.reply = r.answered ? Reply::Refused : Reply::Silent;
        out.retryAfter = r.retryAfter;
        out.problem =
            QCoreApplication::translate("Router", "%1 port %2 for %3: ")
                .arg(wanted.protocol)
                .arg(wanted.internalPort)
                .arg(wanted.application) +
            (r.text.isEmpty() ? QCoreApplication::translate("Router", "the router refused it.")
                              : r.text);
        out.reason = r.text; // the protocol's result names no port
        return out;
    }
    LeaseEntry e = wanted;
    if (r.externalPort != wanted.internalPort)
        out.note = QCoreApplication::translate(
                       "Router", "%1/%2 reaches this computer through outside port %3.")
                       .arg(wanted.internalPort)
                       .arg(wanted.protocol)
                       .arg(r.externalPort);
    e.externalPort = r.externalPort;
    e.lifetime = r.grantedLifetime;
    e.leaseEnd = r_.clock_.now().addSecs(r.grantedLifetime).toUTC();
    e.nonce = r.nonce;
    e.epoch = r.epoch;
    e.externalAddress = r.externalAddress;
    e.state = LeaseEntry::State::Held;
    out.reply = Reply::Done;
    out.granted = e;
    // The others were lost with it: the next tick makes them all again.
    if (r.restartDetected)
        r_.pendingRemake_ = QCoreApplication::translate("Router", "the router restarted");
    out.restarted = r.restartDetected;
    return out;
}

Removed PcpNatPmpMappingHolds::remove(const LeaseEntry& e) {
    const PcpNatPmpMapResult r = r_.client_->unmap(e.protocol, quint16(e.internalPort), e.nonce);
    if (r.ok)
        return {Reply::Done, {}};
    return {r.answered ? Reply::Refused : Reply::Silent,
            QCoreApplication::translate("Router", "%1 port %2 for %3: %4")
                .arg(e.protocol)
                .arg(e.internalPort)
                .arg(e.application, r.text)};
}

QDateTime PcpNatPmpMappingHolds::renewAt(const LeaseEntry& e) {
    return r_.renewAt(e);
}

bool PcpNatPmpMappingHolds::checkSoon() const {
    return !r_.pendingRemake_.isEmpty();
}

CheckStart PcpNatPmpMappingHolds::startCheck(bool wasSilent) {
    // Another address here means every mapping points at an address that is gone.
    const QHostAddress local = LocalAddressToward(r_.options_.router, r_.options_.port);
    if (!local.isNull() && local != r_.client_->localAddress()) {
        r_.client_ = std::make_unique<PcpNatPmpClient>(*r_.waiter_, r_.options_);
        r_.module_.LocalIpAddress = local.toString();
        return {false, QCoreApplication::translate("Router", "this computer's address changed")};
    }
    const PcpNatPmpAddressResult wan = r_.client_->externalAddress();
    if (!wan.answered)
        return {true, {}};
    QString why = std::exchange(r_.pendingRemake_, QString());
    const bool restarted = wan.restartDetected || why == QLatin1String("the router restarted");
    if (why.isEmpty() && wan.restartDetected)
        why = QCoreApplication::translate("Router", "the router restarted");
    if (why.isEmpty() && wasSilent)
        why = QCoreApplication::translate("Router", "the router answers again");
    return {false, why, restarted};
}
