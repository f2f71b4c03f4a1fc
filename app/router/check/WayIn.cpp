// SPDX-License-Identifier: GPL-3.0-or-later
#include "router/check/WayIn.h"

#include <QCoreApplication>

#include <algorithm>

namespace {

QString portText(const PortCheck& c) {
    return QStringLiteral("%1/%2").arg(c.mapping.port).arg(c.mapping.protocol);
}

QString programsOf(const QList<Listener>& listeners) {
    QStringList names;
    for (const Listener& l : listeners)
        if (!l.program.isEmpty() && !names.contains(l.program))
            names << l.program;
    return names.join(QStringLiteral(", "));
}

struct Step {
    Hop hop;
    QString todo;
};

Step internetHop(const PortCheck& c) {
    Step s{{Hop::Place::Internet,
            HopState::CannotTell,
            QCoreApplication::translate("WayIn", "Internet"),
            {}},
           {}};
    switch (c.outside) {
    case Outside::Open:
        s.hop.state = HopState::Open;
        s.hop.words = QCoreApplication::translate("WayIn", "the outside checker reached it");
        break;
    case Outside::Closed:
        // Blocked here only where nothing further in stops it: set by WayInOf.
        s.hop.words =
            QCoreApplication::translate("WayIn", "the outside checker could not reach it");
        s.todo =
            QCoreApplication::translate(
                "WayIn", "ask the provider whether it lets %1 in, and whether the router's outside "
                         "address is its own (not shared)")
                .arg(portText(c));
        break;
    case Outside::Unknown:
        s.hop.words =
            QCoreApplication::translate("WayIn", "the outside checker could not tell (%1)")
                .arg(c.outsideNote);
        break;
    case Outside::NotAsked:
        s.hop.words = QCoreApplication::translate(
            "WayIn", "not looked at from outside: no outside checker is set (CheckUrl)");
        break;
    }
    if (c.remade != Remade::NotTried)
        s.hop.words = c.remadeSentence();
    if (c.remade == Remade::StillNothing)
        s.todo =
            QCoreApplication::translate(
                "WayIn", "restart the router, then check again; if nothing arrives still, ask the "
                         "provider whether it lets %1 in")
                .arg(portText(c));
    return s;
}

Step outerHop(const OuterView& o, const PortCheck& c) {
    Step s{{Hop::Place::OuterRouter, HopState::CannotTell,
            o.router.isEmpty()
                ? QCoreApplication::translate("WayIn", "Router in front")
                : QCoreApplication::translate("WayIn", "Router in front (%1)").arg(o.router),
            o.words},
           {}};
    if (o.forwarded == true) {
        s.hop.state = HopState::Open;
        if (s.hop.words.isEmpty())
            s.hop.words = QCoreApplication::translate("WayIn", "forwarded");
    } else if (o.forwarded == false) {
        s.hop.state = HopState::Blocked;
        if (s.hop.words.isEmpty())
            s.hop.words = QCoreApplication::translate("WayIn", "not forwarded");
        s.todo =
            QCoreApplication::translate("WayIn", "forward %1 on the router in front to this router")
                .arg(portText(c));
    } else if (s.hop.words.isEmpty()) {
        s.hop.words = QCoreApplication::translate("WayIn", "it could not be asked");
    }
    return s;
}

Step routerHop(const PortCheck& c) {
    Step s{{Hop::Place::Router,
            HopState::CannotTell,
            QCoreApplication::translate("WayIn", "Router"),
            {}},
           {}};
    const QString point = QCoreApplication::translate("WayIn", "press Point To Me");
    if (c.ipv6Only) {
        s.hop.state = c.pinhole == true ? HopState::Open : HopState::Blocked;
        s.hop.words = c.pinhole == true ? QCoreApplication::translate("WayIn", "IPv6 pinhole open")
                      : c.pinhole == false
                          ? QCoreApplication::translate("WayIn", "the IPv6 pinhole has lapsed")
                          : QCoreApplication::translate("WayIn", "no IPv6 pinhole open");
        if (c.pinhole != true)
            s.todo = point;
        return s;
    }
    if (!c.forwarded) {
        s.hop.words =
            QCoreApplication::translate("WayIn", "it cannot be asked whether it holds the forward");
        return s;
    }
    if (!*c.forwarded) {
        s.hop.state = HopState::Blocked;
        s.hop.words = QCoreApplication::translate("WayIn", "not forwarded");
        s.todo = point;
        return s;
    }
    if (c.hairpin == Hairpin::ReachedOther) {
        s.hop.state = HopState::Blocked;
        s.hop.words = QCoreApplication::translate(
            "WayIn", "a connection to its outside address was taken by another computer");
        s.todo =
            QCoreApplication::translate(
                "WayIn", "look in View Points for another forward of %1, then press Point To Me")
                .arg(portText(c));
        return s;
    }
    s.hop.state = HopState::Open;
    s.hop.words = QCoreApplication::translate("WayIn", "forwarded");
    if (c.pinhole)
        s.hop.words += *c.pinhole
                           ? QCoreApplication::translate("WayIn", ", IPv6 pinhole open")
                           : QCoreApplication::translate("WayIn", ", the IPv6 pinhole has lapsed");
    if (c.hairpin == Hairpin::Reached)
        s.hop.words += QCoreApplication::translate(
            "WayIn", "; a connection to its outside address came back to this computer");
    return s;
}

Step firewallHop(const PortCheck& c) {
    if (!c.firewall || c.firewall->firewall.isEmpty()) {
        // The outside checker reached the program: nothing on the way stopped it.
        if (c.outside == Outside::Open)
            return {{Hop::Place::Firewall, HopState::Open,
                     QCoreApplication::translate("WayIn", "This computer's firewall"),
                     QCoreApplication::translate("WayIn",
                                                 "lets it in: the outside checker got through")},
                    {}};
        return {{Hop::Place::Firewall, HopState::CannotTell,
                 QCoreApplication::translate("WayIn", "This computer's firewall"),
                 !c.firewall ? QCoreApplication::translate("WayIn", "not looked at")
                 : c.firewall->words.isEmpty()
                     ? QCoreApplication::translate("WayIn", "none found that Harborly can read")
                     : c.firewall->words},
                c.firewall ? c.firewall->todo : QString()};
    }
    const FirewallView& f = *c.firewall;
    QString name = QCoreApplication::translate("WayIn", "This computer's firewall");
    if (!f.firewall.isEmpty())
        name = f.zone.isEmpty()
                   ? QCoreApplication::translate("WayIn", "This computer's firewall (%1)")
                         .arg(f.firewall)
                   : QCoreApplication::translate("WayIn", "This computer's firewall (%1, zone %2)")
                         .arg(f.firewall, f.zone);
    return {{Hop::Place::Firewall, f.state, name, f.words}, f.todo};
}

Step programHop(const PortCheck& c) {
    const QString names = programsOf(c.listeners);
    Step s{{Hop::Place::Program,
            HopState::Blocked,
            names.isEmpty() ? QCoreApplication::translate("WayIn", "Program") : names,
            {}},
           {}};
    const QString port = QString::number(c.mapping.port);
    if (c.listeners.isEmpty()) {
        s.hop.words = QCoreApplication::translate("WayIn", "nothing on this computer listens on %1")
                          .arg(port);
        s.todo = QCoreApplication::translate("WayIn", "start %1").arg(c.mapping.application);
        return s;
    }
    const bool beyond = std::any_of(c.listeners.begin(), c.listeners.end(),
                                    [](const Listener& l) { return !l.loopbackOnly(); });
    if (!beyond) {
        s.hop.words =
            QCoreApplication::translate("WayIn", "listens on %1 only for this computer (%2)")
                .arg(port, c.listeners.first().address.toString());
        s.todo = QCoreApplication::translate("WayIn", "let %1 listen on all addresses")
                     .arg(names.isEmpty() ? c.mapping.application : names);
        return s;
    }
    s.hop.state = HopState::Open;
    s.hop.words = QCoreApplication::translate("WayIn", "listens on %1").arg(port);
    return s;
}

} // namespace

WayIn WayInOf(const PortCheck& check) {
    QList<Step> steps{internetHop(check)};
    if (check.outer)
        steps << outerHop(*check.outer, check);
    steps << routerHop(check) << firewallHop(check) << programHop(check);

    // The checker's "closed" is laid at the Internet's door only where nothing further in is
    // known to stop the connection.
    if (check.outside == Outside::Closed &&
        std::none_of(steps.begin() + 1, steps.end(),
                     [](const Step& s) { return s.hop.state == HopState::Blocked; }))
        steps.first().hop.state = HopState::Blocked;
    else
        steps.first().todo.clear();

    WayIn way;
    for (const Step& s : steps)
        way.hops << s.hop;
    // What to do: at the first hop that stops it; a hop here that may stop it and says how
    // comes before the provider, and before nothing.
    const auto blocked = std::find_if(
        steps.begin(), steps.end(), [](const Step& s) { return s.hop.state == HopState::Blocked; });
    const auto unsure = std::find_if(steps.begin(), steps.end(), [](const Step& s) {
        return s.hop.state == HopState::CannotTell && !s.todo.isEmpty();
    });
    if (unsure != steps.end() && (blocked == steps.end() || blocked == steps.begin()))
        way.todo = unsure->todo;
    else if (blocked != steps.end())
        way.todo = blocked->todo;
    return way;
}

QString HopStateWord(HopState state) {
    switch (state) {
    case HopState::Open:
        return QCoreApplication::translate("WayIn", "open");
    case HopState::Blocked:
        return QCoreApplication::translate("WayIn", "blocked");
    case HopState::CannotTell:
        break;
    }
    return QCoreApplication::translate("WayIn", "cannot tell");
}

QStringList WayInLines(const WayIn& way) {
    QStringList lines;
    for (const Hop& h : way.hops)
        lines << QStringLiteral("%1: %2 — %3").arg(h.name, HopStateWord(h.state), h.words);
    if (!way.todo.isEmpty())
        lines << QCoreApplication::translate("WayIn", "To do: %1").arg(way.todo);
    return lines;
}
