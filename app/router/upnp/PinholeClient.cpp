// SPDX-License-Identifier: GPL-3.0-or-later
#include "router/upnp/PinholeClient.h"

#include <chrono>

#include <QCoreApplication>

namespace {

const char* const kNoAnswer =
    QT_TRANSLATE_NOOP("Router", "The router did not answer the IPv6 port request.");

} // namespace

QString Ipv6Text(const QHostAddress& address) {
    return QHostAddress(address.toIPv6Address()).toString();
}

QUrl OnIpv6Host(const QUrl& control, const QHostAddress& router6) {
    QUrl u = control;
    // A link-local router is reached through its interface: the zone stays in the URL (the
    // Host header leaves it out).
    u.setHost(router6.isLinkLocal() && !router6.scopeId().isEmpty() ? router6.toString()
                                                                    : Ipv6Text(router6));
    return u;
}

QString PinholeProblem(int code, quint16 port) {
    switch (code) {
    case 501:
        return QCoreApplication::translate("Router", "The router could not open the IPv6 port %1.")
            .arg(port);
    case 606:
        return QCoreApplication::translate(
                   "Router", "The router does not allow this computer to open IPv6 port %1.")
            .arg(port);
    case 701:
        return QCoreApplication::translate("Router",
                                           "The router has no room for more open IPv6 ports.");
    case 702:
        return QCoreApplication::translate(
            "Router", "The router does not filter IPv6; nothing needed to be opened.");
    case 703:
        return QCoreApplication::translate(
            "Router", "The router does not let programs open IPv6 ports. Allow it in the "
                      "router's settings.");
    case 705:
    case 706:
    case 707:
    case 708:
        return QCoreApplication::translate(
                   "Router", "The router refused the IPv6 port request for %1 (error %2).")
            .arg(port)
            .arg(code);
    default:
        return QCoreApplication::translate("Router",
                                           "The router refused to open IPv6 port %1 (error %2).")
            .arg(port)
            .arg(code);
    }
}

PinholeClient::PinholeClient(Waiter& waiter, IgdService firewall, QHostAddress source,
                             UpnpTimings timings)
    : waiter_(waiter), firewall_(std::move(firewall)), source_(std::move(source)),
      timings_(timings) {
    http_.setSource(source_);
    QObject::connect(&http_, &HttpExchange::finished, [this] { waiter_.wake(); });
}

SoapAnswer PinholeClient::call(const QString& action, const SoapArguments& arguments) {
    SoapAnswer failed;
    const QByteArray request =
        BuildSoapRequest(firewall_.controlUrl, firewall_.serviceType, action, arguments);
    if (request.isEmpty() || http_.busy())
        return failed;
    const HttpLimits limits{timings_.connect, timings_.soap, MaxSoapBytes};
    const QHostAddress router(firewall_.controlUrl.host());
    if (!http_.start(router, firewall_.controlUrl, request, limits))
        return failed;
    waiter_.waitFor([this] { return !http_.busy(); },
                    limits.total + std::chrono::milliseconds(500));
    if (http_.busy())
        http_.cancel();
    const HttpResult& r = http_.result();
    if (r.outcome != HttpResult::Outcome::Done) {
        failed.outcome = r.outcome == HttpResult::Outcome::TimedOut ? SoapOutcome::TimedOut
                                                                    : SoapOutcome::Unreachable;
        return failed;
    }
    return ParseSoapAnswer(r.status, r.body, action);
}

PinholeResult PinholeClient::judge(const SoapAnswer& answer, quint16 port, bool byId) {
    PinholeResult r;
    r.answer = answer;
    r.ok = answer.ok();
    if (r.ok)
        return r;
    if (answer.outcome != SoapOutcome::Fault) {
        r.problem = QCoreApplication::translate("Router", kNoAnswer);

        return r;
    }
    // Gateways name an unknown or lapsed pinhole 704, or 402 as miniupnpd does.
    r.gone = byId && (answer.errorCode == 704 || answer.errorCode == 402);
    if (!r.gone)
        r.problem = PinholeProblem(answer.errorCode, port);
    return r;
}

FirewallStatus PinholeClient::getFirewallStatus() {
    FirewallStatus s;
    s.answer = call(QStringLiteral("GetFirewallStatus"), {});
    s.enabled = ParseUpnpBoolean(s.answer.value(u"FirewallEnabled"));
    s.inboundAllowed = ParseUpnpBoolean(s.answer.value(u"InboundPinholeAllowed"));
    return s;
}

PinholeResult PinholeClient::addPinhole(quint16 port, const QString& protocol, quint32 lease) {
    const bool tcp = protocol.compare(QLatin1String("TCP"), Qt::CaseInsensitive) == 0;
    const bool udp = protocol.compare(QLatin1String("UDP"), Qt::CaseInsensitive) == 0;
    // Checked here: some gateways take out-of-range values and silently truncate them.
    if (port == 0 || (!tcp && !udp) || lease == 0 || lease > MaxLease ||
        source_.protocol() != QAbstractSocket::IPv6Protocol) {
        PinholeResult r;
        r.problem =
            QCoreApplication::translate("Router", "Harborly cannot ask for IPv6 port %1 this way.")
                .arg(port);
        return r;
    }
    // An empty RemoteHost is the wildcard; "::" would be taken literally by some gateways.
    const SoapAnswer a = call(QStringLiteral("AddPinhole"),
                              {{"RemoteHost", QString()},
                               {"RemotePort", QStringLiteral("0")},
                               {"InternalClient", Ipv6Text(source_)},
                               {"InternalPort", QString::number(port)},
                               {"Protocol", tcp ? QStringLiteral("6") : QStringLiteral("17")},
                               {"LeaseTime", QString::number(lease)}});
    PinholeResult r = judge(a, port, false);
    if (r.ok) {
        bool numeric = false;
        const uint id = a.value(u"UniqueID").toUInt(&numeric);
        r.ok = numeric && id <= 0xFFFF;
        r.uniqueId = quint16(id);
        if (!r.ok)
            r.problem = QCoreApplication::translate(
                            "Router", "The router's answer for IPv6 port %1 named no pinhole.")
                            .arg(port);
    }
    return r;
}

PinholeResult PinholeClient::updatePinhole(quint16 uniqueId, quint32 lease) {
    const quint32 asked = lease == 0 ? 1 : std::min(lease, MaxLease);
    PinholeResult r =
        judge(call(QStringLiteral("UpdatePinhole"), {{"UniqueID", QString::number(uniqueId)},
                                                     {"NewLeaseTime", QString::number(asked)}}),
              0, true);
    r.uniqueId = uniqueId;
    return r;
}

PinholeResult PinholeClient::deletePinhole(quint16 uniqueId) {
    PinholeResult r = judge(
        call(QStringLiteral("DeletePinhole"), {{"UniqueID", QString::number(uniqueId)}}), 0, true);
    r.uniqueId = uniqueId;
    if (r.gone)
        r.ok = true; // already gone is what deleting wants
    return r;
}
