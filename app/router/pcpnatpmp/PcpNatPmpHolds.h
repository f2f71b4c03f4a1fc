// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "router/keep/HoldKind.h"

class PcpNatPmpRouter;
class PcpNatPmpClient;
struct PcpNatPmpMapResult;

// The IPv4 mappings Harborly holds through PCP or NAT-PMP. Neither protocol can be asked about
// a mapping without making it, so a restart shows in the epoch, and every mapping is then made
// again with its nonce and the port and address granted before.
class PcpNatPmpMappingHolds final : public HoldKind {
public:
    explicit PcpNatPmpMappingHolds(PcpNatPmpRouter& router) : r_(router) {}

    bool owns(const LeaseEntry& e) const override;
    QString words(const LeaseEntry& e) const override;
    Made make(const LeaseEntry& wanted) override;
    Removed remove(const LeaseEntry& e) override;
    QDateTime renewAt(const LeaseEntry& e) override;
    bool checkSoon() const override;
    CheckStart startCheck(bool wasSilent) override;
    // The address request: its epoch tells a restart.
    std::optional<CheckStart> glance() override { return startCheck(false); }

private:
    PcpNatPmpRouter& r_;
};

// PCP pinholes: a MAP for this computer's IPv6 address, sent from that address to the IPv6
// router, each with the nonce that made it. Mapped again at every check, as a restart may
// have lost them.
class PcpPinholeHolds final : public HoldKind {
public:
    explicit PcpPinholeHolds(PcpNatPmpRouter& router) : r_(router) {}

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
    // Some routers (miniupnpd 2.3.1) refuse to delete a pinhole once it was renewed, even for
    // its own nonce: the shortest lease they grant closes it soon instead.
    bool letLapse(PcpNatPmpClient& six, const LeaseEntry& e);
    PcpNatPmpMapResult unmap(PcpNatPmpClient& six, const LeaseEntry& e);

    PcpNatPmpRouter& r_;
};

struct PcpNatPmpMapRequest;
// The MAP that makes or renews the hold `e` for `lifetime` seconds, with its nonce, and the
// outside port and address granted before where `e` has them.
PcpNatPmpMapRequest MapRequestFor(const LeaseEntry& e, quint32 lifetime);

// Twelve random bytes: the nonce a new PCP mapping is asked with.
QByteArray FreshNonce();
