#include "router/RouterKinds.h"

#include "router/RouterDeps.h"

#include "Module.h"
#include "router/AutoRouter.h"
#include "router/pxp/PxpRouter.h"
#include "router/upnp/UpnpRouter.h"
#include "router/web/WebRouter.h"

const QList<RouterKindInfo>& KnownRouterKinds() {
    static const QList<RouterKindInfo> kinds = {
        {QStringLiteral("auto"), QStringLiteral("Find it by itself (UPnP, PCP, NAT-PMP)")},
        {QStringLiteral("web"), QStringLiteral("Web pages (Linksys-style)")},
        {QStringLiteral("upnp"), QStringLiteral("UPnP IGD")},
        {QStringLiteral("pcp"), QStringLiteral("PCP (and NAT-PMP)")},
        {QStringLiteral("natpmp"), QStringLiteral("NAT-PMP")},
    };
    return kinds;
}

QString RouterKindOf(const QString& iniValue) {
    const QString v = iniValue.trimmed().toLower();
    if (v.isEmpty())
        return QStringLiteral("web");
    for (const RouterKindInfo& k : KnownRouterKinds())
        if (k.id == v)
            return k.id;
    return {};
}

std::unique_ptr<Router> MakeRouter(const RouterDeps& deps) {
    const QString kind = RouterKindOf(deps.module.settings.RouterKind);
    // A chosen address is taken as given (a documentation prefix included): the user knows
    // which of the computer's addresses the applications answer on.
    const QHostAddress chosen(deps.module.settings.Ipv6Address);
    UpnpOptions upnp;
    PxpOptions pxp;
    if (chosen.protocol() == QAbstractSocket::IPv6Protocol && chosen.scopeId().isEmpty())
        upnp.pinholeAddress = pxp.pinholeAddress = chosen;
    if (kind == QLatin1String("auto"))
        return std::make_unique<AutoRouter>(deps, QStringLiteral("/proc/net/route"), upnp, pxp);
    if (kind == QLatin1String("upnp"))
        return std::make_unique<UpnpRouter>(deps, upnp);
    if (kind == QLatin1String("pcp"))
        return std::make_unique<PxpRouter>(deps, PxpMode::Pcp, pxp);
    if (kind == QLatin1String("natpmp"))
        return std::make_unique<PxpRouter>(deps, PxpMode::NatPmpOnly, pxp);
    return std::make_unique<WebRouter>(deps);
}
