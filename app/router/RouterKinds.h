// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QString>

#include <memory>

class Router;
struct RouterDeps;

// The kinds of router Harborly speaks, as `[Misc] RouterKind` names them. An open set: a new
// kind adds a row here and an implementation of Router.
struct RouterKindInfo {
    QString id;    // the INI value
    QString label; // what the settings dialog shows
};
const QList<RouterKindInfo>& KnownRouterKinds();

// The kind an INI value names, compared without regard to case; a missing value is the web
// kind, which every file written before the key existed relies on. Empty for an unknown one.
QString RouterKindOf(const QString& iniValue);

// The router of the configured kind (module.settings.RouterKind).
std::unique_ptr<Router> MakeRouter(const RouterDeps& deps);
