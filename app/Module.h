#pragma once

#include "config/Settings.h"
#include "router/SlotTable.h"

#include <Base64.h>

#include <QByteArray>
#include <QObject>
#include <QString>

#include <memory>

// The program's run-time state, one object for the whole run. main() creates it and hands it
// by reference to whoever needs it.
struct Module {
    RouterSettings settings;
    ApplCatalog catalog;
    LocalPaths paths;
    SlotTable slotTable;

    QByteArray RouterResponse; // raw bytes of the last response, headers included
    bool ResponseComplete = false;
    QString LocalIpAddress;

    bool StatusQueryPending = true;
    bool RouterFound = false;
    bool LoginAccepted = false;
    bool DialogActive = false;
    QObject* FrontWindow = nullptr; // the window a tray double-click brings forward

    std::unique_ptr<Base64> codec = std::make_unique<Base64>();
};
