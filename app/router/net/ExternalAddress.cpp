// SPDX-License-Identifier: GPL-3.0-or-later
#include "router/net/ExternalAddress.h"

#include <QCoreApplication>
#include <QHostAddress>
#include <QRegularExpression>

namespace {

// Only the plain dotted form counts: "127.1" and other shorthand are not addresses here.
bool isDottedQuad(const QString& text) {
    static const QRegularExpression quad(
        QStringLiteral("^[0-9]{1,3}\\.[0-9]{1,3}\\.[0-9]{1,3}\\.[0-9]{1,3}$"));
    return quad.match(text).hasMatch() && !QHostAddress(text).isNull();
}

} // namespace

ExternalAddressKind ClassifyExternalAddress(const QString& address) {
    const QString text = address.trimmed();
    if (!isDottedQuad(text))
        return ExternalAddressKind::None;
    const QHostAddress a(text);
    if (a.toIPv4Address() == 0)
        return ExternalAddressKind::None;
    const auto in = [&a](const char* net, int bits) {
        return a.isInSubnet(QHostAddress(QString::fromLatin1(net)), bits);
    };
    if (in("10.0.0.0", 8) || in("172.16.0.0", 12) || in("192.168.0.0", 16))
        return ExternalAddressKind::DoubleNat;
    if (in("100.64.0.0", 10))
        return ExternalAddressKind::Cgnat;
    if (in("0.0.0.0", 8) || in("127.0.0.0", 8) || in("169.254.0.0", 16) || in("192.0.0.0", 24) ||
        in("192.0.2.0", 24) || in("198.18.0.0", 15) || in("198.51.100.0", 24) ||
        in("203.0.113.0", 24) || in("224.0.0.0", 4) || in("240.0.0.0", 4))
        return ExternalAddressKind::Reserved;
    return ExternalAddressKind::Public;
}

QString ExternalAddressWarning(const QString& address, const QString& ipv6WayIn) {
    if (ClassifyExternalAddress(address) == ExternalAddressKind::Public)
        return {};
    const QString shown = address.trimmed();
    if (!ipv6WayIn.isEmpty())
        return QCoreApplication::translate(
                   "Router", "Reachable over IPv6 at %1; IPv4 forwards cannot reach this "
                             "computer: the router has no public internet address%2.")
            .arg(ipv6WayIn, isDottedQuad(shown) ? QStringLiteral(" (%1)").arg(shown) : QString());
    const QString rest = QCoreApplication::translate(
        "Router",
        " Another router or your provider sits in front of it, so port forwarding on this router "
        "cannot make your computer reachable from the internet.");
    // An empty address has nothing to show in the parentheses.
    if (!isDottedQuad(shown))
        return QCoreApplication::translate("Router",
                                           "Your router does not have a public internet address.") +
               rest;
    return QCoreApplication::translate("Router",
                                       "Your router does not have a public internet address (%1).")
               .arg(shown) +
           rest;
}

QString WanAreaText(const QString& address, const QString& ipv6WayIn) {
    if (ipv6WayIn.isEmpty())
        return address;
    return QCoreApplication::translate("Router", "%1, IPv6 %2").arg(address, ipv6WayIn);
}
