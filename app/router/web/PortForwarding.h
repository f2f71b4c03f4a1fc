// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "router/web/SlotTable.h"

#include <QByteArray>
#include <QString>

struct ApplCatalog;
struct Module;
class AppList;
class MainView;
class RouterLink;
class Prompts;

// The slot name of range j of an application with rangeCount ranges: at most 11 characters.
QString MakeSlotName(const QString& key, int rangeCount, int j);

// Fills the table from the space-free forwarding page and returns the number of slots in use.
int ScanUsedSlots(const QByteArray& page, SlotTable& table);

bool FindApplName(const SlotTable& table, const QString& sApp);
// The letter of the first slot named exactly `name`, or empty text.
QString SlotLetterOf(const SlotTable& table, const QString& name);

// Gives every range of the applications in sAppls (keys, each followed by a comma) a slot:
// the slot that already carries its name, else a free one from "J" down.
void AssignSlots(ApplCatalog& catalog, const AppList& list, const SlotTable& table,
                 const QString& sAppls);
QString BuildForwardRequest(ApplCatalog& catalog, const AppList& list, const SlotTable& table,
                            const QString& localIpAddress, const QString& sAppls);
QString BuildClearAllRequest();
QString BuildDmzRequest(bool bDisable, const QString& localIpAddress);

// The main window's router commands: "Point To Me", clearing all forwards and the DMZ host.
class PortForwarding {
public:
    PortForwarding(Module& module, MainView& view, RouterLink& link, Prompts& prompts);

    void btnPoint_Click();
    void btnClearAllPoints_Click() { ClearAllForwards(); }
    void mnuDMZPoint_Click() { SetDMZPort(false); }
    void mnuDMZClear_Click() { SetDMZPort(true); }

    // What the last "Point To Me" did; the command line reports it.
    enum class Outcome { Sent, NothingSelected, Shortage, ReadFailed, Unsendable };
    Outcome lastOutcome() const { return lastOutcome_; }

    void ForwardPorts(const QString& sAppls);
    // Slots in use, or -1 when the page could not be read (the table is then unchanged).
    int GetUsedSlots();
    int GetTotalNeededSlots() const;
    bool ClearAllForwards();
    bool SetDMZPort(bool bDisable);

    // The ten slots as the forwarding page showed them last.
    const SlotTable& slotTable() const { return slotTable_; }

private:
    bool sendCommand(const QString& requestLine, const QString& activity);

    Module& module_;
    MainView& view_;
    RouterLink& link_;
    Prompts& prompts_;
    Outcome lastOutcome_ = Outcome::Sent;
    SlotTable slotTable_;
};
