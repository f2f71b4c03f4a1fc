// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Module.h"
#include "RecordingPrompts.h"
#include "RecordingView.h"
#include "platform/EventPump.h"
#include "platform/RouterSocket.h"
#include "router/web/RouterLink.h"

#include <chrono>

// The pieces of one router exchange wired as the program wires them, with short passes so
// that time-outs are counted in passes rather than waited out. The router address must be
// set to a loopback server before any exchange.
struct RouterRig {
    explicit RouterRig(const QString& routerAddress,
                       std::chrono::milliseconds pass = std::chrono::milliseconds(20))
        : pump(pass), link(module, view, socket, pump) {
        module.settings.LanPrivateIP = routerAddress;
        module.settings.Password = QStringLiteral("admin");
    }

    Module module;
    RecordingView view;
    RecordingPrompts prompts;
    RouterSocket socket;
    EventPump pump;
    RouterLink link;
};
