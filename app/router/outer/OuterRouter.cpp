// SPDX-License-Identifier: GPL-3.0-or-later
#include "router/outer/OuterRouter.h"

#include "router/net/ExternalAddress.h"
#include "router/net/PathProbe.h"
#include "router/net/RouterAddress.h"
#include "router/pcpnatpmp/PcpNatPmpOuterRouter.h"
#include "router/upnp/UpnpOuterRouter.h"

#include <QCoreApplication>

namespace {

using namespace std::chrono_literals;

std::unique_ptr<OuterRouter> askUpnp(const OuterSearch& s, const QString& where,
                                     const QString& innerOutside, bool& answered) {
    UpnpOptions o;
    o.router = where;
    o.allowMulticast = false; // the router in front is not on this computer's link
    o.timings.giveUp = s.patience;
    o.timings.connect = s.patience;
    auto client = std::make_unique<IgdClient>(*s.waiter, o);
    if (!client->discover())
        return nullptr;
    answered = true;
    if (innerOutside.isEmpty())
        return nullptr;
    return std::make_unique<UpnpOuterRouter>(std::move(client), innerOutside, *s.clock);
}

std::unique_ptr<OuterRouter> askPcpNatPmp(const OuterSearch& s, const QHostAddress& at,
                                          quint16 port, const QString& innerOutside) {
    if (at.protocol() != QAbstractSocket::IPv4Protocol)
        return nullptr;
    PcpNatPmpOptions o;
    o.router = at;
    o.port = port;
    // PCP names the client's address, which only the inner router can tell; NAT-PMP maps
    // toward whatever address the router sees.
    o.mode = innerOutside.isEmpty() ? PcpNatPmpMode::NatPmpOnly : PcpNatPmpMode::Pcp;
    o.clientAddress = QHostAddress(innerOutside);
    o.timings.natPmpFirstWait = std::min<std::chrono::milliseconds>(250ms, s.patience / 8);
    o.timings.natPmpSends = 3;
    o.timings.pcpAlone = s.patience;
    o.timings.limit = 2 * s.patience;
    auto client = std::make_unique<PcpNatPmpClient>(*s.waiter, o);
    const PcpNatPmpAddressResult told = client->externalAddress();
    if (!told.ok)
        return nullptr;
    return std::make_unique<PcpNatPmpOuterRouter>(std::move(client), told, *s.clock);
}

} // namespace

QString OuterRouter::routerName() const {
    return QCoreApplication::translate("OuterRouter", "the router in front (%1)").arg(address());
}

QString OuterRouter::portText(const QString& protocol, int port, const QString& application) {
    return QStringLiteral("%1 port %2 (%3)").arg(protocol).arg(port).arg(application);
}

QString OuterRouter::problemStart() const {
    return QCoreApplication::translate("OuterRouter", "The router in front (%1): ").arg(address());
}

QString InnerOutsideAddress(const QString& told) {
    const ExternalAddressKind kind = ClassifyExternalAddress(told);
    return kind == ExternalAddressKind::DoubleNat || kind == ExternalAddressKind::Cgnat
               ? QHostAddress(told).toString()
               : QString();
}

OuterFound FindOuterRouter(const OuterSearch& s) {
    const QString setting = s.setting.trimmed();
    if (setting.compare(QLatin1String("none"), Qt::CaseInsensitive) == 0)
        return {};
    QString where = setting;
    QHostAddress at;
    quint16 pcpPort = PcpNatPmpDefaultPort;
    if (where.isEmpty()) {
        // A router on loopback is simulated: nothing stands in front of it.
        if (s.inner.isLoopback() || !s.path)
            return {};
        at = RouterInFront(s.path());
        if (at.isNull())
            return {};
        where = at.toString();
    } else if (const std::optional<UpnpTarget> t = ParseUpnpTarget(where)) {
        at = QHostAddress(t->host);
        // "address:port": the port of whichever protocol answers there.
        if (t->descriptionUrl.isEmpty() && t->ssdpPort != 0 &&
            ParseRouterAddress(where).host != where)
            pcpPort = t->ssdpPort;
    } else {
        return {nullptr,
                QCoreApplication::translate(
                    "OuterRouter", "[Misc] OuterRouter is neither an address, address:port, a "
                                   "description URL nor none.")};
    }
    const QString inner = InnerOutsideAddress(s.innerOutside);
    bool upnpAnswered = false;
    // Where the inner router tells its outside address, UPnP lists what the router in front
    // holds; where it does not, only NAT-PMP can forward toward it.
    if (!inner.isEmpty())
        if (auto r = askUpnp(s, where, inner, upnpAnswered))
            return {std::move(r), {}};
    if (auto r = askPcpNatPmp(s, at, pcpPort, inner))
        return {std::move(r), {}};
    if (inner.isEmpty())
        askUpnp(s, where, inner, upnpAnswered);
    if (upnpAnswered && inner.isEmpty())
        return {nullptr,
                QCoreApplication::translate(
                    "OuterRouter",
                    "The router in front (%1) answers UPnP only, and the router here tells a "
                    "public outside address: the one it has toward the router in front is "
                    "unknown, so nothing was forwarded there.")
                    .arg(where)};
    // A silent private second hop behind a router that tells a public address may be the
    // provider's own router: nothing is said then.
    if (setting.isEmpty() && inner.isEmpty())
        return {};
    return {nullptr, QCoreApplication::translate(
                         "OuterRouter",
                         "A second router is in front (%1), but it answers neither UPnP, PCP nor "
                         "NAT-PMP: forwards reach only the router here.")
                         .arg(where)};
}
