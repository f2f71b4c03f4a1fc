// SPDX-License-Identifier: GPL-3.0-or-later
#include "router/RouterKinds.h"

#include "router/RouterDeps.h"

#include "Module.h"
#include "router/AutoRouter.h"
#include "router/pcpnatpmp/PcpNatPmpRouter.h"
#include "router/upnp/UpnpRouter.h"
#include "router/web/WebRouter.h"

#include <QRegularExpression>

const QList<RouterKindInfo>& KnownRouterKinds() {
    static const QList<RouterKindInfo> kinds = {
        // Labels for the settings dialog, which shows them translated.
        {QStringLiteral("auto"),
         QStringLiteral(QT_TRANSLATE_NOOP("RouterKind", "Find it by itself (UPnP, PCP, NAT-PMP)"))},
        {QStringLiteral("web"),
         QStringLiteral(QT_TRANSLATE_NOOP("RouterKind", "Web pages (Linksys-style)"))},
        {QStringLiteral("upnp"), QStringLiteral("UPnP IGD")},
        {QStringLiteral("pcp"),
         QStringLiteral(QT_TRANSLATE_NOOP("RouterKind", "PCP (and NAT-PMP)"))},

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

namespace {

bool IsInterfaceName(const QString& name) {
    static const QRegularExpression kName(QStringLiteral("^[A-Za-z0-9_.-]{1,15}$"));
    return kName.match(name).hasMatch();
}

} // namespace

std::unique_ptr<Router> MakeRouter(const RouterDeps& deps) {
    const QString kind = RouterKindOf(deps.module.settings.RouterKind);
    // A chosen address is taken as given (a documentation prefix included): the user knows
    // which of the computer's addresses the applications answer on.
    const QHostAddress chosen(deps.module.settings.Ipv6Address);
    UpnpOptions upnp;
    PcpNatPmpOptions pcpNatPmp;
    if (chosen.protocol() == QAbstractSocket::IPv6Protocol && chosen.scopeId().isEmpty())
        upnp.pinholeAddress = pcpNatPmp.pinholeAddress = chosen;
    // An interface's name instead: its address, which follows the provider's prefix changes.
    else if (chosen.isNull() && IsInterfaceName(deps.module.settings.Ipv6Address))
        upnp.pinholeInterface = pcpNatPmp.pinholeInterface = deps.module.settings.Ipv6Address;
    if (kind == QLatin1String("auto"))
        return std::make_unique<AutoRouter>(deps, QStringLiteral("/proc/net/route"), upnp,
                                            pcpNatPmp);
    if (kind == QLatin1String("upnp"))
        return std::make_unique<UpnpRouter>(deps, upnp);
    if (kind == QLatin1String("pcp"))
        return std::make_unique<PcpNatPmpRouter>(deps, PcpNatPmpMode::Pcp, pcpNatPmp);
    if (kind == QLatin1String("natpmp"))
        return std::make_unique<PcpNatPmpRouter>(deps, PcpNatPmpMode::NatPmpOnly, pcpNatPmp);
    return std::make_unique<WebRouter>(deps);
}
