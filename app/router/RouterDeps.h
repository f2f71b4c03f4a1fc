#pragma once

// What every router kind is built from; each takes what it needs. Kinds include this, never
// the factory, so that only the factory knows every kind.

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
};
