// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "config/Configuration.h"
#include "config/Settings.h"

#include <Base64.h>

#include <QObject>
#include <QString>

#include <memory>

// The program's run-time state, one object for the whole run. main() creates it and hands it
// by reference to whoever needs it.
struct Module {
    RouterSettings settings;
    ApplCatalog catalog;
    LocalPaths paths;
    QString LocalIpAddress;

    bool StatusQueryPending = true;
    bool RouterFound = false;
    bool LoginAccepted = false;
    bool DialogActive = false;
    QObject* FrontWindow = nullptr; // the window a tray double-click brings forward

    std::unique_ptr<Base64> codec = std::make_unique<Base64>();
};

// The configuration of the folder appPath, loaded into the module.
inline void LoadConfiguration(Module& module, const QString& appPath) {
    LoadConfiguration(appPath, module.paths, module.catalog, module.settings, module.codec.get());
}
