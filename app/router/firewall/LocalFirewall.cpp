// SPDX-License-Identifier: GPL-3.0-or-later
#include "router/firewall/LocalFirewall.h"

#include "router/firewall/Firewalld.h"
#include "router/firewall/Ufw.h"

#include <QFileInfo>
#include <QHostAddress>
#include <QNetworkInterface>

namespace {

// Nothing found that can be read: the check says nothing of a firewall.
class NoFirewall final : public LocalFirewall {
public:
    QString name() const override { return {}; }
    FirewallView read(int, const QString&) override { return {}; }
    QString place() override { return {}; }
    FirewallAnswer open(const QString&, int, const QString&) override { return {}; }
    FirewallAnswer close(const QString&, int, const QString&) override { return {}; }
    std::optional<bool> holds(const QString&, int, const QString&) override { return {}; }
};

} // namespace

std::unique_ptr<LocalFirewall> FindLocalFirewall(const FirewallPlaces& places) {
    const QDBusConnection bus = QDBusConnection::systemBus();
    if (Firewalld::Running(bus))
        return std::make_unique<Firewalld>(bus, places.interface);
    if (QFileInfo::exists(places.ufwConf))
        return std::make_unique<Ufw>(places);
    return std::make_unique<NoFirewall>();
}

QString InterfaceWith(const QString& address) {
    const QHostAddress wanted(address);
    if (wanted.isNull())
        return {};
    for (const QNetworkInterface& i : QNetworkInterface::allInterfaces())
        for (const QNetworkAddressEntry& e : i.addressEntries())
            if (e.ip().isEqual(wanted, QHostAddress::TolerantConversion))
                return i.name();
    return {};
}
