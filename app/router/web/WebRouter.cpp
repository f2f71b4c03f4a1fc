// SPDX-License-Identifier: GPL-3.0-or-later
#include "router/web/WebRouter.h"

#include "router/RouterDeps.h"

WebRouter::WebRouter(const RouterDeps& deps)
    : link_(deps.module, deps.view, sckSend_, deps.pump),
      statusQuery_(deps.module, deps.view, link_, deps.prompts),
      forwarding_(deps.module, deps.view, link_, deps.prompts),
      capture_(deps.module, deps.view, link_) {}

QString WebRouter::kindName() const {
    return QStringLiteral("web");
}

RouterCapabilities WebRouter::capabilities() const {
    RouterCapabilities c;
    c.dmz = true;
    c.pageScreens = true;
    c.needsPassword = true;
    return c;
}

Router::PointOutcome WebRouter::lastPointOutcome() const {
    switch (forwarding_.lastOutcome()) {
    case PortForwarding::Outcome::NothingSelected:
        return PointOutcome::NothingSelected;
    case PortForwarding::Outcome::Shortage:
        return PointOutcome::Shortage;
    case PortForwarding::Outcome::ReadFailed:
        return PointOutcome::ReadFailed;
    case PortForwarding::Outcome::Unsendable:
        return PointOutcome::Refused;
    case PortForwarding::Outcome::Sent:
        break;
    }
    return PointOutcome::Sent;
}

std::optional<QList<ForwardEntry>> WebRouter::ReadForwards() {
    if (forwarding_.GetUsedSlots() < 0)
        return std::nullopt;
    QList<ForwardEntry> rows;
    for (int i = 0; i < SlotTable::SlotCount; ++i) {
        const SlotEntry& e = forwarding_.slotTable().entries[i];
        ForwardEntry f;
        f.slot = SlotTable::letter(i);
        f.inUse = e.Used;
        f.description = e.Name;
        rows << f;
    }
    return rows;
}

bool WebRouter::CaptureScreen(bool dmz) {
    return dmz ? capture_.GetDMZScreen() : capture_.GetForwardPortsScreen();
}
