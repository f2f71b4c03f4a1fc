// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A second router in front of the one Harborly drives (double NAT): a forward there, toward
// the inner router's outside address, for every forward on the inner router. The outer
// router's forwards are holds of their own, kept by the inner router's keeper; its lines in
// the record name the outer router's address.

#include "router/Router.h"
#include "router/keep/HoldKind.h"

#include <QHostAddress>
#include <QList>
#include <QString>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

class Clock;
class Waiter;

class OuterRouter : public HoldKind {
public:
    // How the record's lines of this router are keyed: its address.
    virtual QString address() const = 0;
    // "Harborly test router (UPnP IGD v2)", "NAT-PMP".
    virtual QString description() const = 0;
    // The inner router's outside address its forwards name; empty where it maps toward the
    // address it sees (NAT-PMP).
    virtual QString toward() const = 0;
    // Its outside address as it tells it; empty where it did not.
    virtual QString publicAddress() const = 0;
    // A hold of this router for a forward of the inner one, to be made.
    virtual LeaseEntry wanted(int port, const QString& protocol, const QString& application) = 0;
    // Whether it holds the forward of `port` toward the inner router now; nullopt where it
    // cannot be asked or did not answer.
    virtual std::optional<bool> holdsForward(int port, const QString& protocol) = 0;
    // Its forwards as it lists them; nullopt where it lists none (the record's lines are
    // shown then).
    virtual std::optional<QList<ForwardEntry>> forwards() = 0;

    // "the router in front (192.168.0.1)".
    QString routerName() const override;
    // "The router in front (192.168.0.1): " before a problem.
    QString problemStart() const;
    // "TCP port 8096 (Jellyfin)", as the inner router's holds say it.
    static QString portText(const QString& protocol, int port, const QString& application);
};

// Where to look, and what the router Harborly drives told.
struct OuterSearch {
    QString setting;      // [Misc] OuterRouter: "", "none", address, address:port, URL
    QHostAddress inner;   // the router Harborly drives
    QString innerOutside; // its outside address, as it told it (it may be the public one)
    Waiter* waiter = nullptr;
    const Clock* clock = nullptr;
    // The routers on the way out (the path probe); tests give their own.
    std::function<QList<QHostAddress>()> path;
    // How long each protocol is waited for.
    std::chrono::milliseconds patience{2000};
};

struct OuterFound {
    std::unique_ptr<OuterRouter> router;
    QString words; // where a router in front is known but cannot be used: why, in a sentence
};

// The router in front: the one named, or the second hop of the path where none is named.
// Asked by UPnP, PCP or NAT-PMP, whichever answers and can forward toward the inner router.
OuterFound FindOuterRouter(const OuterSearch& search);

// The inner router's outside address where it is one an outer router sees (private or
// shared); empty where it told a public one, which only the outer router has.
QString InnerOutsideAddress(const QString& told);
