// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "router/firewall/LocalFirewall.h"

#include <QByteArray>
#include <QStringList>

// Whether ufw is switched on, from its configuration file's ENABLED line; nullopt where the
// text says neither.
std::optional<bool> UfwEnabled(const QByteArray& conf);

// ufw: whether it is on can be read by anyone; its rules by root alone, so where it is on a
// port may be blocked, and the user is given the command that lets it in.
class Ufw final : public LocalFirewall {
public:
    explicit Ufw(FirewallPlaces places) : places_(std::move(places)) {}

    QString name() const override { return QStringLiteral("ufw"); }
    FirewallView read(int port, const QString& protocol) override;
    QString place() override;
    FirewallAnswer open(const QString& place, int port, const QString& protocol) override;
    FirewallAnswer close(const QString& place, int port, const QString& protocol) override;
    std::optional<bool> holds(const QString&, int, const QString&) override { return std::nullopt; }

private:
    std::optional<bool> enabled() const;
    FirewallAnswer elevated(const QStringList& rule, const QString& command);

    FirewallPlaces places_;
};
