// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "KindRig.h"
#include "UpnpSimulator.h"
#include "router/upnp/UpnpRouter.h"

#include <memory>

#include <gtest/gtest.h>

// A UPnP router kind on the simulated router, wired as the window wires it, with a clock the
// test moves by hand for the simulator and the renewals alike.
struct UpnpRig : KindRig {
    explicit UpnpRig(UpnpSimOptions simOptions = {}) : sim(std::move(simOptions)) {
        sim.setClock([this] { return clock.t.toSecsSinceEpoch(); });
        EXPECT_TRUE(sim.listen());
        module.settings.RouterKind = QStringLiteral("upnp");
        module.settings.LanPrivateIP = QStringLiteral("127.0.0.1:%1").arg(sim.ssdpPort());
        router = std::make_unique<UpnpRouter>(deps(), quickUpnp());
    }

    // The first tick of Timer1: the status query.
    void start() { router->Timer1_Timer(); }

    int requestsOf(const char* action) const {
        int n = 0;
        for (const QByteArray& r : sim.requests())
            n += r.contains(QByteArray("#") + action + '"') ? 1 : 0;
        return n;
    }

    UpnpSimulator sim;
    std::unique_ptr<UpnpRouter> router;
};
