// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "router/MappingPlan.h"
#include "router/check/PortCheck.h"
#include "router/keep/Outcome.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class MainView;
class Prompts;
class LocalFirewall;
struct PlannedMapping;

// What a kind of router can do; the window and the command line enable their entries from it.
struct RouterCapabilities {
    bool dmz = false;           // a DMZ host can be set and cleared
    bool pageScreens = false;   // the router's own pages can be shown read-only
    bool mappingTable = false;  // the router lists its current forwards
    bool needsPassword = false; // every exchange carries the router password
    QString noDmzReason;        // shown where dmz is false
};

// One forward as the router lists it.
struct ForwardEntry {
    QString slot;      // the router's own name for the place, when it has one ("A".."J")
    bool inUse = true; // false for an empty slot
    int externalPort = 0;
    int externalPortEnd = 0; // last port of the range; equal to externalPort for one port
    QString protocol;        // "TCP", "UDP", "TCP+UDP"
    QString internalClient;
    QString remoteHost; // UPnP: the remote host the forward is keyed on; empty: any
    int internalPort = 0;
    QString description;
    qint64 secondsLeft = -1; // 0: permanent; -1: not known
    bool thisComputer = false;
    bool pinhole = false; // an IPv6 pinhole: internalClient is this computer's IPv6 address
};

// "1h 05m", "permanent" and the like: what a person reads at a glance.
QString TimeLeftText(qint64 seconds);
// "8080" or "6881-6889".
QString PortsText(const ForwardEntry& e);
// By outside port, then protocol: how the list and View Points show forwards.
void SortForwards(QList<ForwardEntry>& rows);

// The ending when no router answered the first look: the window locked, the message, the way
// out. Every kind of router ends this way; the web kind in its own words.
void EndForNoRouter(MainView& view, Prompts& prompts, bool webKind = false);

// The one seam between the forms (and harborly-cli) and a router. Every operation reports
// its Outcome through the MainView it was made with, and locks the window and switches Timer1
// the same way whatever the kind.
class Router {
public:
    virtual ~Router() = default;

    virtual QString kindName() const = 0;
    virtual RouterCapabilities capabilities() const = 0;

    // Timer1's tick. The first one looks for the router and ends the program, as the window
    // defines, when none answers; later ones keep the indicators (and, where forwards lapse,
    // the forwards) up to date.
    virtual void Timer1_Timer() = 0;
    // Set by the status query.
    virtual QString wanAddress() const = 0;
    // The router's own name and model, as the status bar shows it; empty when unknown.
    virtual QString routerDescription() const { return {}; }
    // A plain sentence when forwards cannot reach this computer from the Internet whatever is
    // done here (double NAT, carrier-grade NAT, no WAN address); empty otherwise.
    virtual QString wanWarning() const { return {}; }

    enum class PointOutcome { Sent, NothingSelected, Shortage, ReadFailed, Refused };
    // "Point To Me" for the rows selected in lbApps.
    virtual void PointToMe() = 0;
    virtual PointOutcome lastPointOutcome() const = 0;
    // Where the router refused part of the last Point To Me and made the rest.
    struct PartlyMade {
        QList<PlannedMapping> made; // what the check after Point To Me looks at
        QString sentence;           // "42 of 50 forwards made; 8 refused"
        QString refused;            // each refused port once: "21/TCP (FTP), 80/TCP (Web)"
    };
    virtual std::optional<PartlyMade> lastPartlyMade() const { return std::nullopt; }
    // How the last operation (the status query included) ended, as the status showed it.
    virtual Outcome lastOutcome() const = 0;
    virtual bool ClearAll() = 0;
    virtual bool SetDmz(bool bDisable) = 0;

    // The router's current forwards; nullopt when they could not be read.
    virtual std::optional<QList<ForwardEntry>> ReadForwards() = 0;
    // Removes one forward of this computer, whatever program made it (View Points and
    // `harborly-cli remove`); kinds that list forwards only. False, with lastProblems(), when
    // it stays.
    virtual bool RemoveForward(const ForwardEntry& e) {
        (void)e;
        return false;
    }
    // Whether the router holds the forward of `mapping` to this computer now (the check asks);
    // nullopt when this kind cannot be asked or the router did not answer.
    virtual std::optional<bool> HoldsForward(const PlannedMapping& mapping) {
        (void)mapping;
        return std::nullopt;
    }
    // Deletes the forward of `mapping` Harborly holds and makes it once more: a router may keep
    // listing a forward that no longer forwards. False, with lastProblems(), where it was not
    // made again; kinds that cannot hold a forward for the check leave it as it is.
    virtual bool RemakeForward(const PlannedMapping& mapping) {
        (void)mapping;
        return false;
    }
    // Whether an IPv6 pinhole Harborly opened for `mapping` is open now; nullopt when none
    // was opened (the router or this computer has no IPv6 way in).
    virtual std::optional<bool> HoldsPinhole(const PlannedMapping& mapping) {
        (void)mapping;
        return std::nullopt;
    }
    // This computer's firewall toward the router; null where this kind does not look at it.
    virtual LocalFirewall* localFirewall() { return nullptr; }
    // Opens `ports` in this computer's firewall, each kept and cleared with the forwards; the
    // user agreed, or the configuration says so. False, with lastProblems(), where some stay
    // shut.
    virtual bool OpenLocalFirewall(const QList<PlannedMapping>& ports) {
        (void)ports;
        return false;
    }
    // The router in front of this one (double NAT) and whether it forwards `mapping` toward
    // this one; nullopt where none is known.
    virtual std::optional<OuterView> OuterFor(const PlannedMapping& mapping) {
        (void)mapping;
        return std::nullopt;
    }
    // Reached over IPv6 alone: Point To Me opens pinholes only, there is no IPv4 forward.
    virtual bool ipv6Only() const { return false; }
    // Page kinds: fetches the forwarding or DMZ screen into the captured page file.
    virtual bool CaptureScreen(bool dmz) {
        (void)dmz;
        return false;
    }

    // The program ends: a connection still open is closed.
    virtual void Close() {}

    // What went wrong in the last operation, one sentence each, for the command line and the
    // window's message; empty when everything held.
    virtual QStringList lastProblems() const { return {}; }
    // What the last operation did that the user should know although it held ("27015/UDP
    // reaches this computer through outside port 27016"); empty otherwise.
    virtual QStringList lastNotes() const { return {}; }

    // How many forwards (pinholes too) lapse when this program ends: held on leases that this
    // process renews, no other (`harborly-cli keep`) doing it.
    virtual qsizetype forwardsKeptHere() const { return 0; }
    // How many of the holds the last Point To Me made, or Clear All Points removed, were IPv6
    // pinholes beside the forwards.
    virtual qsizetype lastPinholes() const { return 0; }
    // How many forwards (pinholes too) the record holds for this router through this kind.
    virtual qsizetype forwardsHeld() const { return 0; }

    // Why the forwards cannot be kept alive (the record of them cannot be read or written);
    // empty when they can or the kind has nothing to keep.
    virtual QString cannotKeep() const { return {}; }

    // Told a line for every renewal of forwards made while Harborly runs (harborly-cli keep
    // prints them).
    std::function<void(const QString&)> reportRenewal;
    // The status query also takes over the forwards an earlier run made, to keep them alive;
    // a command that ends at once has no use for that (nor for the listing it costs).
    bool adoptOnStatus = true;
    // The firewall may be opened with the user's password typed in a dialog (the window).
    bool mayElevate = false;
};
