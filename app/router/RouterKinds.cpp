#include "router/RouterKinds.h"

#include "Module.h"
#include "router/upnp/UpnpRouter.h"
#include "router/web/WebRouter.h"

const QList<RouterKindInfo>& KnownRouterKinds() {
    static const QList<RouterKindInfo> kinds = {
        {QStringLiteral("web"), QStringLiteral("Web pages (Linksys-style)")},
        {QStringLiteral("upnp"), QStringLiteral("UPnP IGD")},
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
    if (kind == QLatin1String("upnp"))
        return std::make_unique<UpnpRouter>(deps);
    return std::make_unique<WebRouter>(deps);
}
