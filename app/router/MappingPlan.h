// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QString>

class AppList;
struct ApplCatalog;

// One port of one protocol that "Point To Me" asks a protocol router to forward here; the
// outside port is the inside port.
struct PlannedMapping {
    int port = 0;
    QString protocol;    // "TCP" or "UDP"
    QString application; // as the list shows it
    QString description; // as the router's own list shows it

    bool operator==(const PlannedMapping&) const = default;
};

struct MappingPlan {
    QList<PlannedMapping> mappings;
    QString refusal; // why nothing may be sent; empty when the plan holds
};

// More than this many mappings in one "Point To Me" is a range too wide to map port by port:
// each is a request of its own, and routers keep small tables.
inline constexpr int MaxMappingsPerPoint = 128;

// The description a router lists beside a mapping: "Harborly: <application>", printable ASCII
// only and at most 40 characters, which every router's list holds.
QString MappingDescription(const QString& application);
// Whether a forward's description says Harborly made it (an older record may be lost).
bool MadeByHarborly(const QString& description);

// Every port of every range of the applications selected in the list, per protocol, in list
// order; refused as a whole when a range is not a port range or the total is too wide.
MappingPlan PlanMappings(const ApplCatalog& catalog, const AppList& list,
                         int maxMappings = MaxMappingsPerPoint);
