// SPDX-License-Identifier: GPL-3.0-or-later
#include "router/firewall/FirewallConsent.h"

#include "config/IniFile.h"
#include "platform/Prompts.h"
#include "router/Router.h"

#include <QCoreApplication>

namespace {

const QString kMisc = QStringLiteral("Misc");
const QString kKey = QStringLiteral("LocalFirewall");

} // namespace

FirewallChoice ParseFirewallChoice(const QString& value) {
    const QString v = value.trimmed().toLower();
    if (v == QLatin1String("open"))
        return FirewallChoice::Open;
    if (v == QLatin1String("leave"))
        return FirewallChoice::Leave;
    return FirewallChoice::Ask;
}

FirewallChoice FirewallChoiceFor(const QString& iniPath) {
    return ParseFirewallChoice(IniFile(iniPath).read(kMisc, kKey));
}

QList<PortCheck> BlockedHere(const QList<PortCheck>& checks) {
    QList<PortCheck> out;
    for (const PortCheck& c : checks)
        if (c.firewall && c.firewall->state != HopState::Open && !c.firewall->todo.isEmpty())
            out << c;
    return out;
}

QString FirewallQuestion(const QList<PortCheck>& blocked) {
    QStringList ports;
    for (const PortCheck& c : blocked)
        ports << QStringLiteral("%1/%2 (%3)")
                     .arg(c.mapping.port)
                     .arg(c.mapping.protocol, c.mapping.application);
    const FirewallView& f = *blocked.first().firewall;
    const QString which =
        f.zone.isEmpty()
            ? f.firewall
            : QCoreApplication::translate("FirewallConsent", "%1, zone %2").arg(f.firewall, f.zone);
    return QCoreApplication::translate(
               "FirewallConsent",
               "The router now forwards %1 to this computer, but this computer's own firewall "
               "(%2) blocks them or may block them.\rOpen them here too? Harborly keeps them open "
               "with the forwards and closes them again with Clear All Points.")
        .arg(ports.join(QStringLiteral(", ")), which);
}

QStringList FirewallButtons() {
    return {QCoreApplication::translate("FirewallConsent", "Open them here too"),
            QCoreApplication::translate("FirewallConsent", "Not now"),
            QCoreApplication::translate("FirewallConsent", "Never ask")};
}

bool OfferFirewallOpening(Router& router, QList<PortCheck>& checks, const QString& iniPath,
                          Prompts* asker) {
    const QList<PortCheck> blocked = BlockedHere(checks);
    if (blocked.isEmpty())
        return false;
    switch (FirewallChoiceFor(iniPath)) {
    case FirewallChoice::Leave:
        return false;
    case FirewallChoice::Ask: {
        if (!asker)
            return false;
        const int answer =
            asker->Choose(FirewallQuestion(blocked), FirewallButtons(), QStringLiteral("Harborly"));
        if (answer == 2)
            IniFile(iniPath).write(kMisc, kKey, QStringLiteral("leave"));
        if (answer != 0)
            return false;
        break;
    }
    case FirewallChoice::Open:
        break;
    }
    QList<PlannedMapping> ports;
    for (const PortCheck& c : blocked)
        ports << c.mapping;
    router.OpenLocalFirewall(ports);
    LookAtFirewall(router, checks);
    return true;
}
