// SPDX-License-Identifier: GPL-3.0-or-later
#include "router/web/PortForwarding.h"

#include "Module.h"
#include "config/Configuration.h"
#include "config/Settings.h"
#include "platform/Prompts.h"
#include "platform/Windows1252.h"
#include "router/AppList.h"
#include "router/ListOps.h"
#include "router/MainView.h"
#include "router/web/RouterLink.h"

#include <QCoreApplication>
#include <QSet>

namespace {

const QString kTitle = QStringLiteral("Harborly");

// The text after the last "." of this computer's address: its number on the router's LAN.
QString lastOctet(const QString& address) {
    return address.mid(address.lastIndexOf(QLatin1Char('.')) + 1);
}

// Calls f(entry) for each application of the key list that has a row in the list.
template <typename F>
void forEachChosen(ApplCatalog& catalog, const AppList& list, QString sAppls, F f) {
    for (QString key = NextListItem(sAppls); !key.isEmpty(); key = NextListItem(sAppls)) {
        const int index = CatalogIndexOf(list, key);
        if (catalog.contains(index))
            f(catalog.entry(index));
    }
}

struct Unsendable {
    QString row;       // the application's row in the list
    QString character; // the first character that the router cannot receive
};

// The first chosen application whose slot names or port texts hold a character that
// Windows-1252 lacks; such a request would reach the router with '?' in its place.
Unsendable FindUnsendable(ApplCatalog& catalog, const AppList& list, const QString& sAppls) {
    Unsendable found;
    forEachChosen(catalog, list, sAppls, [&](ApplEntry& e) {
        for (int j = 1; j <= e.RangeCount() && found.character.isEmpty(); ++j) {
            const ApplPortRange& r = e.Ranges[j - 1];
            for (const QString& text :
                 {MakeSlotName(e.Name, e.RangeCount(), j), r.PortRangeLow, r.PortRangeHigh}) {
                found.character = FirstCharacterNotInWindows1252(text);
                if (!found.character.isEmpty()) {
                    found.row = list.List(FindListIndex(list, e.Name, true));
                    break;
                }
            }
        }
    });
    return found;
}

} // namespace

QString MakeSlotName(const QString& key, int rangeCount, int j) {
    if (rangeCount == 1)
        return key.left(11);
    return j < 10 ? key.left(10) + QString::number(j) : key.left(9) + QString::number(j);
}

int ScanUsedSlots(const QByteArray& page, SlotTable& table) {
    int used = 0;
    for (int i = 0; i < SlotTable::SlotCount; ++i) {
        SlotEntry& e = table.entries[i];
        e = SlotEntry{};
        const QByteArray letter = SlotTable::letter(i).toLatin1();
        const qsizetype valid = page.indexOf("V_valid" + letter);
        if (valid >= 0 && page.mid(valid + 8, 7) == "checked") {
            e.Used = true;
            ++used;
        }
    }
    for (int i = 0; i < SlotTable::SlotCount; ++i) {
        const QByteArray letter = SlotTable::letter(i).toLatin1();
        const qsizetype name = page.indexOf("V_name" + letter);
        if (name < 0)
            continue;
        const qsizetype value = page.indexOf("value=", name);
        if (value < 0)
            continue;
        const QByteArray window = page.mid(value + 6, 50);
        const qsizetype end = window.indexOf('>');
        if (end >= 0)
            table.entries[i].Name = FromWindows1252(window.left(end));
    }
    return used;
}

bool FindApplName(const SlotTable& table, const QString& sApp) {
    return !sApp.isEmpty() && !SlotLetterOf(table, sApp).isEmpty();
}

QString SlotLetterOf(const SlotTable& table, const QString& name) {
    for (int i = 0; i < SlotTable::SlotCount; ++i)
        if (table.entries[i].Name == name)
            return SlotTable::letter(i);
    return {};
}

void AssignSlots(ApplCatalog& catalog, const AppList& list, const SlotTable& table,
                 const QString& sAppls) {
    // Letters pass 1 gives to named slots; pass 2 must not hand them to a second range, or
    // the router would keep one of the two groups and silently drop the other.
    QSet<QString> reused;
    forEachChosen(catalog, list, sAppls, [&](ApplEntry& e) {
        for (int j = 1; j <= e.RangeCount(); ++j) {
            ApplPortRange& r = e.Ranges[j - 1];
            const QString n = MakeSlotName(e.Name, e.RangeCount(), j);
            r.Slot = FindApplName(table, n) ? SlotLetterOf(table, n) : QString();
            if (!r.Slot.isEmpty())
                reused.insert(r.Slot);
        }
    });
    int cursor = SlotTable::SlotCount - 1;
    forEachChosen(catalog, list, sAppls, [&](ApplEntry& e) {
        for (int j = 1; j <= e.RangeCount(); ++j) {
            if (FindApplName(table, MakeSlotName(e.Name, e.RangeCount(), j)))
                continue;
            for (int i = cursor; i >= 0; --i) {
                const QString letter = SlotTable::letter(i);
                if (!table.entries[i].Used && !reused.contains(letter)) {
                    e.Ranges[j - 1].Slot = letter;
                    cursor = i - 1;
                    break;
                }
            }
        }
    });
}

QString BuildForwardRequest(ApplCatalog& catalog, const AppList& list, const SlotTable& table,
                            const QString& localIpAddress, const QString& sAppls) {
    QString line = QStringLiteral("GET /Gozila.cgi");
    const QString octet = lastOctet(localIpAddress);
    forEachChosen(catalog, list, sAppls, [&](ApplEntry& e) {
        const int count = e.RangeCount();
        for (int j = 1; j <= count; ++j) {
            ApplPortRange& r = e.Ranges[j - 1];
            const QString n = MakeSlotName(e.Name, count, j);
            const QString letter = SlotLetterOf(table, n);
            if (!letter.isEmpty())
                r.Slot = letter;
            const QString& s = r.Slot;
            const bool tcp = r.Protocol == ProtocolBoth || r.Protocol == ProtocolTcp;
            const bool udp = r.Protocol == ProtocolBoth || r.Protocol == ProtocolUdp;
            line += QStringLiteral("?V_name") + s + QLatin1Char('=') + n;
            line += QStringLiteral("&V_port") + s + QStringLiteral("S=") + r.PortRangeLow;
            line += QStringLiteral("&V_port") + s + QStringLiteral("E=") + r.PortRangeHigh;
            line += QStringLiteral("&V_pro") + s +
                    (tcp ? QStringLiteral("TCP=1") : QStringLiteral("TCP=0"));
            line += QStringLiteral("&V_pro") + s +
                    (udp ? QStringLiteral("UDP=1") : QStringLiteral("UDP=0"));
            line += QStringLiteral("&V_ip") + s + QStringLiteral("3=") + octet;
            line += QStringLiteral("&V_valid") + s + QStringLiteral("=1");
        }
    });
    return line + QStringLiteral(" HTTP/1.1");
}

QString BuildClearAllRequest() {
    QString line = QStringLiteral("GET /Gozila.cgi");
    for (int i = 0; i < SlotTable::SlotCount; ++i) {
        const QString l = SlotTable::letter(i);
        QString group = QStringLiteral("?V_name#=\"\"&V_port#S=0&V_port#E=0&V_pro#TCP=0&V_pro#UDP=0"
                                       "&V_ip#3=0&V_valid#=0");
        line += group.replace(QLatin1Char('#'), l);
    }
    return line + QStringLiteral(" HTTP/1.1");
}

QString BuildDmzRequest(bool bDisable, const QString& localIpAddress) {
    const QString host = bDisable ? QStringLiteral("0") : lastOctet(localIpAddress);
    return QStringLiteral("GET /Gozila.cgi?exIP3=") + host + QStringLiteral(" HTTP/1.1");
}

PortForwarding::PortForwarding(Module& module, MainView& view, RouterLink& link, Prompts& prompts)
    : module_(module), view_(view), link_(link), prompts_(prompts) {}

void PortForwarding::btnPoint_Click() {
    AppList& list = view_.lbApps();
    if (list.SelCount() == 0) {
        lastOutcome_ = Outcome::NothingSelected;
        prompts_.MsgBox(QCoreApplication::translate("Router", "No programs are selected"),
                        MsgIcon::Information, kTitle);
        return;
    }
    const ListSelection chosen = SelectedRows(list);
    WriteSelected(module_.paths, chosen.display);
    ForwardPorts(chosen.keys);
}

void PortForwarding::ForwardPorts(const QString& sAppls) {
    lastOutcome_ = Outcome::Sent;
    if (sAppls.isEmpty())
        return;
    AppList& list = view_.lbApps();
    const Unsendable bad = FindUnsendable(module_.catalog, list, sAppls);
    if (!bad.character.isEmpty()) {
        lastOutcome_ = Outcome::Unsendable;
        prompts_.MsgBox(QCoreApplication::translate(
                            "Router", "The application \"%1\" cannot be forwarded: its name or "
                                      "ports hold \"%2\", a character the router cannot receive.\r"
                                      "Rename it in Harborly.ini (Configuration > Edit "
                                      "Applications). Nothing was sent to the router.")
                            .arg(bad.row, bad.character),

                        MsgIcon::Exclamation, kTitle);
        return;
    }
    const int needed = GetTotalNeededSlots();
    const int used = GetUsedSlots();
    if (used < 0) {
        // Assigning from a table that was not refreshed could overwrite forwards in use.
        lastOutcome_ = Outcome::ReadFailed;
        return;
    }
    if (needed > SlotTable::SlotCount - used) {
        lastOutcome_ = Outcome::Shortage;
        prompts_.MsgBox(QCoreApplication::translate(
                            "Router",
                            "The programs you have chosen to forward require more\r"
                            "'slots' then are available.  Linksys supplies only 10\r"
                            "such slots for their firmware. Try selecting fewer applicatons\r"
                            "or make more slots available by unforwarding all ports."),
                        MsgIcon::Information, kTitle);
        return;
    }
    AssignSlots(module_.catalog, list, slotTable_, sAppls);
    sendCommand(
        BuildForwardRequest(module_.catalog, list, slotTable_, module_.LocalIpAddress, sAppls),
        QStringLiteral(QT_TRANSLATE_NOOP("Status", "Add Points")));
}

int PortForwarding::GetUsedSlots() {
    int used = -1;
    link_.RunOperation(QStringLiteral("GET /Forward.htm HTTP/1.1"),
                       QStringLiteral(QT_TRANSLATE_NOOP("Status", "Query Slots")), true,
                       [this, &used] {
                           link_.RouterResponse = RemoveSpaces(link_.RouterResponse);
                           used = ScanUsedSlots(link_.RouterResponse, slotTable_);
                           return ::Outcome::Completed;
                       });
    return used;
}

int PortForwarding::GetTotalNeededSlots() const {
    const AppList& list = view_.lbApps();
    int total = 0;
    for (int row = 0; row < list.ListCount(); ++row) {
        const int index = list.ItemData(row);
        if (list.Selected(row) && module_.catalog.contains(index))
            total += module_.catalog.entry(index).RangeCount();
    }
    return total;
}

bool PortForwarding::ClearAllForwards() {
    return sendCommand(BuildClearAllRequest(),
                       QStringLiteral(QT_TRANSLATE_NOOP("Status", "Clear All Points")));
}

bool PortForwarding::SetDMZPort(bool bDisable) {
    return sendCommand(BuildDmzRequest(bDisable, module_.LocalIpAddress),
                       bDisable ? QStringLiteral(QT_TRANSLATE_NOOP("Status", "Clear DMZ Point"))
                                : QStringLiteral(QT_TRANSLATE_NOOP("Status", "Set DMZ Point")));
}

bool PortForwarding::sendCommand(const QString& requestLine, const QString& activity) {
    return link_.RunOperation(requestLine, activity, false, [this] {
        link_.RouterResponse = RemoveSpaces(link_.RouterResponse);
        return link_.RouterResponse.contains("successful") ? ::Outcome::Completed
                                                           : ::Outcome::Error;
    });
}
