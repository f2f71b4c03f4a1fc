// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// "Is it really working?": for each forwarded port, whether a program here takes it, whether
// the router holds the forward now, and whether a connection to the router's outside address
// comes back to this computer (hairpin). Only local tables, the router and, when the user
// configured one, the outside checker are contacted.

#include "router/MappingPlan.h"
#include "router/net/SocketTable.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <chrono>
#include <optional>

class Router;

struct CheckOptions {
    QString procRoot = QStringLiteral("/proc");
    std::chrono::milliseconds hairpinWait{1500};
    QString checkUrl; // [Misc] CheckUrl; empty: no outside check
    // `LanPrivateIP` resolves to loopback: a simulated router, whose outside address is only
    // tried when it is loopback too.
    bool routerOnLoopback = false;
    std::chrono::milliseconds checkUrlWait{15000};
};

enum class Hairpin {
    NotTried,     // see hairpinNote
    Reached,      // the connection came back to this computer
    ReachedOther, // it was taken, but not here: the forward leads elsewhere
    CannotTell,   // no way back in from inside: the router does not loop back, or drops it
};

enum class Outside { NotAsked, Open, Closed, Unknown };

// A forward the router held while the outside checker could not reach it, deleted and made
// once more (some routers keep listing and renewing a forward that no longer forwards).
enum class Remade { NotTried, Arrives, StillNothing, Failed };

// How one stop on a port's way in from the Internet lets it through.
enum class HopState { Open, Blocked, CannotTell };

// This computer's own firewall, for one port.
struct FirewallView {
    HopState state = HopState::CannotTell;
    QString firewall; // "firewalld", "ufw"; empty where none was found or none could be read
    QString zone;     // firewalld's zone for the interface toward the router
    QString words;    // "this computer's firewall (firewalld, zone public) blocks 6660/TCP"
    QString todo;     // what lets it in, where it is blocked or may be: "sudo ufw allow 6660/tcp"
};

// A second router in front of the router (double NAT), for one port.
struct OuterView {
    QString router;                // as Harborly reached it
    std::optional<bool> forwarded; // nullopt: it could not be asked
    QString words;
};

struct PortCheck {
    PlannedMapping mapping;
    QList<Listener> listeners;
    std::optional<bool> forwarded; // nullopt: the router could not be asked
    std::optional<bool> pinhole;   // IPv6; nullopt: none opened
    bool ipv6Only = false;         // reached over IPv6 alone: no IPv4 forward to hold
    Hairpin hairpin = Hairpin::NotTried;
    QString hairpinNote; // why it was not tried
    Outside outside = Outside::NotAsked;
    QString outsideNote;                  // the checker's words when Unknown
    std::optional<FirewallView> firewall; // nullopt: not looked at
    std::optional<OuterView> outer;       // nullopt: no second router known
    Remade remade = Remade::NotTried;
    QString remadeNote; // why it could not be made again

    // Nothing to fix: forwarded, and a program takes it beyond this computer.
    bool good() const;
    // "forwarded, jellyfin listens on 8096, …" without the application's name.
    QString sentence() const;
    // What making a dead forward again did; empty where it was not tried.
    QString remadeSentence() const;
};

// The options for the program folder's Harborly.ini: [Misc] CheckUrl, when set.
CheckOptions CheckOptionsFor(const QString& iniPath);

// Checks each mapping in order; `router` is asked for each forward.
QList<PortCheck> CheckPoints(Router& router, const QList<PlannedMapping>& mappings,
                             const CheckOptions& options = {});

// Right after Point To Me: the same, but the router is not asked again about forwards it has
// just granted.
QList<PortCheck> CheckAfterPoint(Router& router, const QList<PlannedMapping>& mappings,
                                 const CheckOptions& options = {});

// Each check's view of this computer's firewall, read again (after an opening).
void LookAtFirewall(Router& router, QList<PortCheck>& checks);

// One line per port, "Jellyfin 8096/TCP: …".
QStringList CheckLines(const QList<PortCheck>& checks);
// The lines of the ports that need something done.
QStringList ProblemLines(const QList<PortCheck>& checks);

// The outside checker's tiny protocol: GET <url>?port=N&protocol=tcp|udp, plain http; the
// body's first line is "open", "closed", or any other text, shown as it is.
Outside AskOutsideChecker(const QString& url, int port, const QString& protocol,
                          std::chrono::milliseconds wait, QString* note = nullptr);
// What the checker answered, read from a body.
Outside ParseCheckerAnswer(const QByteArray& body, QString* note = nullptr);
