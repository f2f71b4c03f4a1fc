// SPDX-License-Identifier: GPL-3.0-or-later
#include "router/MappingPlan.h"

#include "config/Settings.h"
#include "router/AppList.h"

#include <QCoreApplication>

namespace {

int portNumber(const QString& text) {
    bool ok = false;
    const int n = text.trimmed().toInt(&ok);
    return ok && n >= 1 && n <= 65535 ? n : 0;
}

} // namespace

QString MappingDescription(const QString& application) {
    QString text = QStringLiteral("Harborly: ");
    for (const QChar c : application.simplified())
        if (c.unicode() >= 0x20 && c.unicode() < 0x7f)
            text += c;
    return text.left(40).trimmed();
}

bool MadeByHarborly(const QString& description) {
    return description.startsWith(QLatin1String("Harborly: "));
}

MappingPlan PlanMappings(const ApplCatalog& catalog, const AppList& list, int maxMappings) {
    MappingPlan plan;
    qsizetype total = 0;
    for (int row = 0; row < list.ListCount(); ++row) {
        const int index = list.ItemData(row);
        if (!list.Selected(row) || !catalog.contains(index))
            continue;
        const QString app = list.List(row);
        for (const ApplPortRange& r : catalog.entry(index).Ranges) {
            const int low = portNumber(r.PortRangeLow);
            const int high = portNumber(r.PortRangeHigh);
            if (low == 0 || high < low) {
                plan.refusal = QCoreApplication::translate(
                                   "Router", "The ports of %1 (%2-%3) are not a range of port "
                                             "numbers from 1 to 65535; correct them with Edit "
                                             "Applications.")
                                   .arg(app, r.PortRangeLow, r.PortRangeHigh);
                plan.mappings.clear();
                return plan;
            }
            QStringList protocols;
            if (r.Protocol != ProtocolUdp)
                protocols << QStringLiteral("TCP");
            if (r.Protocol != ProtocolTcp)
                protocols << QStringLiteral("UDP");
            total += qsizetype(high - low + 1) * protocols.size();
            if (total > maxMappings) {
                plan.refusal =
                    QCoreApplication::translate(
                        "Router", "The chosen applications need more than %1 port forwards "
                                  "(%2 has the ports %3-%4). This router takes them one port "
                                  "at a time: choose fewer applications or narrower ranges.")
                        .arg(maxMappings)
                        .arg(app)
                        .arg(low)
                        .arg(high);
                plan.mappings.clear();
                return plan;
            }
            for (int port = low; port <= high; ++port)
                for (const QString& p : protocols)
                    plan.mappings.append({port, p, app, MappingDescription(app)});
        }
    }
    return plan;
}
