// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "router/keep/HoldKind.h"

#include <functional>

class LocalFirewall;

// The openings Harborly made in this computer's firewall, kept beside the router's holds: one
// a reload dropped is made again at the next check, Clear All Points takes them back. Lines
// of kind "firewall"; where it was opened ("firewalld public") is kept in the line's address.
class FirewallHolds final : public HoldKind {
public:
    static const QString Kind;

    FirewallHolds(std::function<LocalFirewall*()> firewall, std::function<QString()> router)
        : firewall_(std::move(firewall)), router_(std::move(router)) {}

    bool owns(const LeaseEntry& e) const override;
    QString words(const LeaseEntry& e) const override;
    Made make(const LeaseEntry& wanted) override;
    Removed remove(const LeaseEntry& e) override;
    Presence lookUp(const LeaseEntry& e) override;
    bool reachable(QString& why) override;
    QString goneWords() const override;
    // A reload of the firewall: looked at now, not at the next check.
    bool checkSoon() const override;
    CheckStart startCheck(bool wasSilent) override;

private:
    std::function<LocalFirewall*()> firewall_;
    std::function<QString()> router_;
};
