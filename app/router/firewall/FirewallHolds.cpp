// SPDX-License-Identifier: GPL-3.0-or-later
#include "router/firewall/FirewallHolds.h"

#include "router/firewall/LocalFirewall.h"

#include <QCoreApplication>

namespace {

// "firewalld public" -> "firewalld, zone public"; "ufw" stays.
QString placeWords(const QString& place) {
    const qsizetype space = place.indexOf(QLatin1Char(' '));
    return space < 0 ? place
                     : place.left(space) + QCoreApplication::translate("FirewallHolds", ", zone ") +
                           place.mid(space + 1);
}

} // namespace

const QString FirewallHolds::Kind = QStringLiteral("firewall");

bool FirewallHolds::owns(const LeaseEntry& e) const {
    return e.kind == Kind && e.router == router_();
}

QString FirewallHolds::words(const LeaseEntry& e) const {
    return QCoreApplication::translate("FirewallHolds",
                                       "%1/%2 (%3) in this computer's firewall (%4)")
        .arg(e.internalPort)
        .arg(e.protocol, e.application, placeWords(e.address));
}

bool FirewallHolds::reachable(QString& why) {
    LocalFirewall* fw = firewall_();
    if (fw && !fw->name().isEmpty())
        return true;
    why = QCoreApplication::translate("FirewallHolds",
                                      "this computer's firewall cannot be reached now");
    return false;
}

Made FirewallHolds::make(const LeaseEntry& wanted) {
    Made out;
    LocalFirewall* fw = firewall_();
    // The place says which firewall it was opened in: another one now is not touched.
    if (!fw || fw->name().isEmpty() || !wanted.address.startsWith(fw->name())) {
        out.reply = Reply::Refused;
        out.problem = words(wanted) + QCoreApplication::translate(
                                          "FirewallHolds", ": that firewall is not running now");
        return out;
    }
    const FirewallAnswer a = fw->open(wanted.address, wanted.internalPort, wanted.protocol);
    if (a.result != FirewallAnswer::Result::Done) {
        out.reply = Reply::Refused;
        out.problem = words(wanted) + QStringLiteral(": ") + a.why;
        return out;
    }
    out.reply = Reply::Done;
    out.granted = wanted;
    out.granted.state = LeaseEntry::State::Held;
    out.granted.leaseEnd = {};
    out.granted.lifetime = 0;
    return out;
}

Removed FirewallHolds::remove(const LeaseEntry& e) {
    LocalFirewall* fw = firewall_();
    if (!fw || fw->name().isEmpty() || !e.address.startsWith(fw->name()))
        return {Reply::Refused,
                words(e) + QCoreApplication::translate("FirewallHolds",
                                                       ": that firewall is not running now")};
    const FirewallAnswer a = fw->close(e.address, e.internalPort, e.protocol);
    if (a.result == FirewallAnswer::Result::Done)
        return {Reply::Done, {}};
    return {Reply::Refused, words(e) + QStringLiteral(": ") + a.why};
}

Presence FirewallHolds::lookUp(const LeaseEntry& e) {
    LocalFirewall* fw = firewall_();
    if (!fw || fw->name().isEmpty() || !e.address.startsWith(fw->name()))
        return Presence::Unknown;
    const std::optional<bool> there = fw->holds(e.address, e.internalPort, e.protocol);
    if (!there)
        return Presence::Unknown;
    return *there ? Presence::Ours : Presence::Gone;
}

QString FirewallHolds::goneWords() const {
    return QCoreApplication::translate("FirewallHolds",
                                       "gone from this computer's firewall (it was reloaded)");
}

bool FirewallHolds::checkSoon() const {
    const LocalFirewall* fw = firewall_();
    return fw && fw->reloadPending();
}

CheckStart FirewallHolds::startCheck(bool wasSilent) {
    (void)wasSilent;
    if (LocalFirewall* fw = firewall_())
        fw->reloadSeen();
    return {};
}
