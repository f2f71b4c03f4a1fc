#pragma once

#include <QList>
#include <QString>

#include <memory>

struct Module;
class Clock;
class EventPump;
class MainView;
class Prompts;
class Router;
class RouterLink;

// The kinds of router Harborly speaks, as `[Misc] RouterKind` names them. An open set: a new
// kind adds a row here and an implementation of Router.
struct RouterKindInfo {
    QString id;    // the INI value
    QString label; // what the settings dialog shows
};
const QList<RouterKindInfo>& KnownRouterKinds();

// The kind an INI value names, compared without regard to case; a missing value is the web
// kind, which every file written before the key existed relies on. Empty for an unknown one.
QString RouterKindOf(const QString& iniValue);

// What every kind is built from; each takes what it needs.
struct RouterDeps {
    Module& module;
    MainView& view;
    Prompts& prompts;
    RouterLink& link;
    EventPump& pump;
    const Clock& clock;
};

// The router of the configured kind (module.settings.RouterKind).
std::unique_ptr<Router> MakeRouter(const RouterDeps& deps);
