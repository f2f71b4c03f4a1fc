// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// This computer's own firewall, as far as Harborly can read it without privilege: whether a
// port gets in from the router's side, and, with the user's consent, an opening made and taken
// back again.

#include "router/check/PortCheck.h"

#include <QString>

#include <memory>
#include <optional>

// How an opening or a closing went.
struct FirewallAnswer {
    enum class Result { Done, Refused };
    Result result = Result::Refused;
    QString why; // Refused: in a sentence, naming the firewall
};

class LocalFirewall {
public:
    virtual ~LocalFirewall() = default;

    // "firewalld", "ufw"; empty where none was found that can be read.
    virtual QString name() const = 0;
    // Whether `port`/`protocol` ("TCP", "UDP") gets in from the router's side now.
    virtual FirewallView read(int port, const QString& protocol) = 0;
    // Where an opening is made now ("firewalld public", "ufw"), recorded with it; empty where
    // Harborly cannot open this firewall.
    virtual QString place() = 0;
    // An opening at `place`, for this run of the computer only where the firewall allows it.
    virtual FirewallAnswer open(const QString& place, int port, const QString& protocol) = 0;
    virtual FirewallAnswer close(const QString& place, int port, const QString& protocol) = 0;
    // Whether an opening made earlier at `place` is still there (a reload drops it); nullopt:
    // cannot tell.
    virtual std::optional<bool> holds(const QString& place, int port, const QString& protocol) = 0;
    // Whether the firewall said it reloaded (dropping its runtime openings) since reloadSeen.
    virtual bool reloadPending() const { return false; }
    virtual void reloadSeen() {}
};

// Where the firewalls keep what Harborly reads; the tests write their own.
struct FirewallPlaces {
    QString ufwConf = QStringLiteral("/etc/ufw/ufw.conf");
    // The interface toward the router (its zone in firewalld); empty: the default zone.
    QString interface;
    // The window may ask for privilege (pkexec) to open ufw; the command line never does.
    bool mayElevate = false;
};

// firewalld where it answers on the system bus, else ufw where it is installed, else none.
std::unique_ptr<LocalFirewall> FindLocalFirewall(const FirewallPlaces& places);

// The interface that holds `address` ("192.168.1.20"); empty when none does.
QString InterfaceWith(const QString& address);

// "sudo ufw allow 6660/tcp", "sudo firewall-cmd --zone=public --add-port=6660/tcp".
QString UfwAllowCommand(int port, const QString& protocol);
QString FirewalldAddCommand(const QString& zone, int port, const QString& protocol);
