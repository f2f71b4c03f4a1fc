#pragma once

// A port's way in, left to right: the Internet, the router(s), this computer's firewall, the
// program. Check Points draws it; `harborly-cli check` says it in words.

#include "router/check/PortCheck.h"

#include <QList>
#include <QString>

struct Hop {
    enum class Place { Internet, OuterRouter, Router, Firewall, Program };
    Place place = Place::Internet;
    HopState state = HopState::CannotTell;
    QString name;  // "Internet", "Router 192.168.1.1", "Firewall (firewalld, zone public)", ...
    QString words; // what was found there
};

struct WayIn {
    QList<Hop> hops;
    QString todo; // what to do at the first hop that is not open; empty when all are
};

WayIn WayInOf(const PortCheck& check);
