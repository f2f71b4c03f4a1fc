// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A port's way in, left to right: the Internet, the router(s), this computer's firewall, the
// program. Check Points draws it; `harborly-cli check` says it in words.

#include "router/check/PortCheck.h"

#include <QList>
#include <QString>
#include <QStringList>

struct Hop {
    enum class Place { Internet, OuterRouter, Router, Firewall, Program };
    Place place = Place::Internet;
    HopState state = HopState::CannotTell;
    QString name;  // "Internet", "Router 192.168.1.1", "Firewall (firewalld, zone public)", ...
    QString words; // what was found there
};

struct WayIn {
    QList<Hop> hops;
    // What to do at the first hop that stops it (or, where none is known to, at the first that
    // may and says how); empty when there is nothing to do here.
    QString todo;
};

WayIn WayInOf(const PortCheck& check);
// "open", "blocked", "cannot tell".
QString HopStateWord(HopState state);
// The way in, in words: one line per hop ("Router: open — forwarded"), then "To do: …".
QStringList WayInLines(const WayIn& way);
