// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What every router kind is built from; each takes what it needs. Kinds include this, never
// the factory, so that only the factory knows every kind.

#include "platform/Waiter.h"

struct Module;
class Clock;
class EventPump;
class MainView;
class Prompts;

struct RouterDeps {
    Module& module;
    MainView& view;
    Prompts& prompts;
    EventPump& pump; // every wait of every kind runs in its passes, so the window keeps painting
    const Clock& clock;
    // The exchanges' clock; empty: the steady one. Tests that move `clock` by hand move this
    // with it, so that a router's epoch and this computer's time agree.
    WaitClock waitClock = {};
};
