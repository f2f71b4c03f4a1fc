// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "router/keep/HoldKind.h"

class UpnpRouter;
class PinholeClient;
struct PinholeResult;

// The router's IPv4 forwards that Harborly holds, over the IGD's connection service.
class UpnpForwardHolds final : public HoldKind {
public:
    explicit UpnpForwardHolds(UpnpRouter& router) : r_(router) {}

    bool owns(const LeaseEntry& e) const override;
    QString words(const LeaseEntry& e) const override;
    Made make(const LeaseEntry& wanted) override;
    Removed remove(const LeaseEntry& e) override;
    Presence lookUp(const LeaseEntry& e) override;
    CheckStart startCheck(bool wasSilent) override;
    // GetStatusInfo: an uptime shorter than the time since the last glance is a restart.
    std::optional<CheckStart> glance() override;
    QList<LeaseEntry> unrecorded(const QList<LeaseEntry>& recorded, Outcome& out) override;

private:
    UpnpRouter& r_;
    qint64 uptime_ = -1; // as the last glance heard it, and when
    QDateTime uptimeAt_;
};

// IPv6 pinholes beside the forwards, on routers whose description offers the IPv6 firewall.
// The gateway cannot list them, so the record is their only list; a pinhole is renewed at
// every check, which also opens again what a restart lost.
class UpnpPinholeHolds final : public HoldKind {
public:
    explicit UpnpPinholeHolds(UpnpRouter& router) : r_(router) {}

    bool owns(const LeaseEntry& e) const override;
    QString words(const LeaseEntry& e) const override;
    bool pinhole() const override { return true; }
    Made make(const LeaseEntry& wanted) override;
    Removed remove(const LeaseEntry& e) override;
    bool renewAtCheck() const override { return true; }
    bool reachable(QString& why) override;
    std::optional<LeaseEntry> followed(const LeaseEntry& e) override;
    void leftBehind(const LeaseEntry& old) override;
    QString followedNews(const LeaseEntry& now) const override;

private:
    PinholeResult close(PinholeClient& pinholes, const LeaseEntry& e);

    UpnpRouter& r_;
};

struct SoapAnswer;
struct PlannedMapping;
struct AddMappingResult;
struct PortMappingRequest;
struct PortMappingEntry;
struct ForwardEntry;

// The request that makes or renews `wanted` on an IGD of `igdVersion`; the caller names the
// client or the remote host.
PortMappingRequest MappingRequestFor(const LeaseEntry& wanted, int igdVersion);
// View Points' row for a forward the router lists.
ForwardEntry ForwardRowOf(const PortMappingEntry& e);

// The router did not answer (as opposed to answering no).
bool NoAnswer(const SoapAnswer& a);
// The sentence for a refused forward: the router's reason in words where the code has one.
QString RefusalText(const PlannedMapping& m, const AddMappingResult& r);
