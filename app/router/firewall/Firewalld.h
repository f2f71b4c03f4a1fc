// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "router/firewall/LocalFirewall.h"

#include <QDBusConnection>
#include <QObject>
#include <QPair>
#include <QVariant>

#include <chrono>

// Whether firewalld's "6660" or "6000-7000" takes `port`.
bool PortRangeHolds(const QString& range, int port);

// Notes firewalld's Reloaded signal, which the program's event loop delivers.
class FirewalldReloads : public QObject {
    Q_OBJECT
public:
    bool seen = false;
public Q_SLOTS:
    void reloaded() { seen = true; }
};

// firewalld over D-Bus: the zone of the interface toward the router (else the default zone),
// whether a port, a service holding it or the zone's target lets the port in; openings for
// this run of the firewall only (runtime), never written to its permanent settings. Every
// call is bounded, and none starts firewalld where it does not run.
class Firewalld final : public LocalFirewall {
public:
    static constexpr std::chrono::milliseconds CallWait{3000};

    Firewalld(QDBusConnection bus, QString interface);

    // Whether firewalld holds its name on `bus` now.
    static bool Running(const QDBusConnection& bus);

    QString name() const override { return QStringLiteral("firewalld"); }
    FirewallView read(int port, const QString& protocol) override;
    QString place() override;
    FirewallAnswer open(const QString& place, int port, const QString& protocol) override;
    FirewallAnswer close(const QString& place, int port, const QString& protocol) override;
    std::optional<bool> holds(const QString& place, int port, const QString& protocol) override;
    bool reloadPending() const override { return reloads_.seen; }
    void reloadSeen() override { reloads_.seen = false; }

    // The zone named in a place ("firewalld public" -> "public"); empty where it is not one.
    static QString ZoneOf(const QString& place);

private:
    struct Call {
        bool ok = false;
        QVariant value;
        QString error;   // D-Bus error name
        QString message; // its text, as firewalld wrote it
    };
    Call call(bool zoneInterface, const QString& method, const QList<QVariant>& args);
    // The zone and why not, when it cannot be told.
    QString zone(QString& why);
    // Whether a service of `zone` or its target lets the port in; why, in a few words.
    std::optional<bool> zoneLets(const QString& zone, int port, const QString& protocol,
                                 QString& how, QString& why);
    QString callWords(const Call& c) const;

    QDBusConnection bus_;
    QString interface_;
    FirewalldReloads reloads_;
};
