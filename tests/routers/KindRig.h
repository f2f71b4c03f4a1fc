// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Module.h"
#include "RecordingPrompts.h"
#include "RecordingView.h"
#include "platform/Clock.h"
#include "platform/EventPump.h"
#include "router/RouterDeps.h"
#include "router/RouterKinds.h"
#include "router/leases/LeaseRecord.h"
#include "router/pcpnatpmp/PcpNatPmpClient.h"
#include "router/upnp/IgdClient.h"

#include <QTemporaryDir>

#include <chrono>

// A clock the test moves by hand, for the simulators and the renewals alike.
class FakeClock final : public Clock {
public:
    QDateTime now() const override { return t; }
    QDateTime t = QDateTime(QDate(2026, 12, 7), QTime(12, 0), Qt::UTC);
};

// The protocols' schedules shrunk to milliseconds.
inline UpnpOptions quickUpnp() {
    using ms = std::chrono::milliseconds;
    UpnpOptions o;
    o.timings.firstMulticast = ms(20);
    o.timings.secondRound = ms(40);
    o.timings.thirdRound = ms(60);
    o.timings.giveUp = ms(150);
    o.timings.collectAfterReply = ms(5);
    return o;
}

inline PcpNatPmpOptions quickPcpNatPmp() {
    using ms = std::chrono::milliseconds;
    PcpNatPmpOptions o;
    o.timings.natPmpFirstWait = ms(10);
    o.timings.natPmpSends = 2;
    o.timings.pcpFirstWait = ms(20);
    o.timings.pcpAlone = ms(40);
    o.timings.limit = ms(300);
    return o;
}

// A PCP line of the record for UDP `port`, on a documentation address.
inline LeaseEntry PcpLine(int port) {
    LeaseEntry e;
    e.router = QStringLiteral("192.0.2.1");
    e.kind = QStringLiteral("pcp");
    e.protocol = QStringLiteral("UDP");
    e.externalPort = e.internalPort = port;
    e.application = QStringLiteral("App");
    return e;
}

// What a router kind is made from, wired as the window wires it, in a folder of its own.
struct KindRig {
    KindRig() { module.paths = LocalPaths::inFolder(home.path()); }

    // The exchanges' time moves with the clock the test moves, as a router's epoch does.
    RouterDeps deps() {
        return {module, view, prompts, pump, clock, [this] {
                    return SteadyWaitClock()() + std::chrono::milliseconds(start.msecsTo(clock.t));
                }};
    }
    // A catalog entry of one range, listed and selected.
    void addApp(const QString& name, qint16 protocol, int low, int high) {
        ApplEntry e;
        e.Name = QString(name).remove(QLatin1Char(' '));
        e.Ranges.append({protocol, {}, QString::number(low), QString::number(high)});
        module.catalog.entries.append(e);
        const int row = view.list.AddItem(name);
        view.list.setItemData(row, module.catalog.ApplCount());
        view.list.setSelected(row, true);
    }

    QTemporaryDir home;
    FakeClock clock;
    const QDateTime start = clock.t;
    Module module;
    RecordingView view;
    RecordingPrompts prompts;
    EventPump pump{std::chrono::milliseconds(20)};
};
