// SPDX-License-Identifier: GPL-3.0-or-later
#include "router/firewall/Firewalld.h"

#include "platform/ShownText.h"

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusMessage>

#include <algorithm>

namespace {

const QString kService = QStringLiteral("org.fedoraproject.FirewallD1");
const QString kPath = QStringLiteral("/org/fedoraproject/FirewallD1");
const QString kZoneInterface = QStringLiteral("org.fedoraproject.FirewallD1.zone");
// A zone with more services than this is read no further.
constexpr qsizetype kMaxServices = 64;
constexpr qsizetype kMaxPorts = 1024;

QString portText(int port, const QString& protocol) {
    return QStringLiteral("%1/%2").arg(port).arg(protocol.toUpper());
}

// firewalld's a(ss) lists: ports and protocols.
QList<QPair<QString, QString>> portPairs(const QVariant& v) {
    QList<QPair<QString, QString>> out;
    if (!v.canConvert<QDBusArgument>())
        return out;
    const auto arg = v.value<QDBusArgument>();
    if (arg.currentType() != QDBusArgument::ArrayType)
        return out;
    arg.beginArray();
    while (!arg.atEnd() && out.size() < kMaxPorts) {
        QString port;
        QString protocol;
        arg.beginStructure();
        arg >> port >> protocol;
        arg.endStructure();
        out.append({port, protocol});
    }
    arg.endArray();
    return out;
}

QVariantMap dictOf(const QVariant& v) {
    if (v.canConvert<QDBusArgument>()) {
        const auto arg = v.value<QDBusArgument>();
        if (arg.currentType() == QDBusArgument::MapType)
            return qdbus_cast<QVariantMap>(arg);
    }
    return v.toMap();
}

QStringList stringsOf(const QVariant& v) {
    if (v.canConvert<QDBusArgument>()) {
        const auto arg = v.value<QDBusArgument>();
        if (arg.currentType() == QDBusArgument::ArrayType)
            return qdbus_cast<QStringList>(arg);
        return {};
    }
    return v.toStringList();
}

bool listed(const QVariant& ports, int port, const QString& protocol) {
    const auto pairs = portPairs(ports);
    return std::any_of(pairs.begin(), pairs.end(), [&](const QPair<QString, QString>& p) {
        return p.second.compare(protocol, Qt::CaseInsensitive) == 0 &&
               PortRangeHolds(p.first, port);
    });
}

} // namespace

bool PortRangeHolds(const QString& range, int port) {
    const qsizetype dash = range.indexOf(QLatin1Char('-'));
    bool okLow = false;
    bool okHigh = false;
    const int low = range.left(dash < 0 ? range.size() : dash).toInt(&okLow);
    const int high = dash < 0 ? low : range.mid(dash + 1).toInt(&okHigh);
    return okLow && (dash < 0 || okHigh) && low <= port && port <= high;
}

Firewalld::Firewalld(QDBusConnection bus, QString interface)
    : bus_(std::move(bus)), interface_(std::move(interface)) {
    // A reload drops the runtime openings: the keeper looks at once, not at its next check.
    bus_.connect(kService, kPath, kService, QStringLiteral("Reloaded"), &reloads_,
                 SLOT(reloaded()));
}

bool Firewalld::Running(const QDBusConnection& bus) {
    if (!bus.isConnected())
        return false;
    QDBusMessage m = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
        QStringLiteral("org.freedesktop.DBus"), QStringLiteral("NameHasOwner"));
    m << kService;
    const QDBusMessage r = bus.call(m, QDBus::Block, int(CallWait.count()));
    return r.type() == QDBusMessage::ReplyMessage && !r.arguments().isEmpty() &&
           r.arguments().first().toBool();
}

Firewalld::Call Firewalld::call(bool zoneInterface, const QString& method,
                                const QList<QVariant>& args) {
    QDBusMessage m = QDBusMessage::createMethodCall(
        kService, kPath, zoneInterface ? kZoneInterface : kService, method);
    m.setArguments(args);
    // Asking must not start a firewall the user does not run.
    m.setAutoStartService(false);
    const QDBusMessage r = bus_.call(m, QDBus::Block, int(CallWait.count()));
    Call c;
    if (r.type() == QDBusMessage::ReplyMessage) {
        c.ok = true;
        if (!r.arguments().isEmpty())
            c.value = r.arguments().first();
        return c;
    }
    c.error = r.errorName();
    c.message = ShownText(r.errorMessage().left(160));
    return c;
}

QString Firewalld::callWords(const Call& c) const {
    if (c.error.endsWith(QLatin1String(".NotAuthorizedException")) ||
        c.error == QLatin1String("org.freedesktop.DBus.Error.AccessDenied"))
        return QCoreApplication::translate(
            "Firewalld", "firewalld refused: this user is not allowed to do it (the system's "
                         "authorisation said no)");
    if (c.error == QLatin1String("org.freedesktop.DBus.Error.NoReply") ||
        c.error == QLatin1String("org.freedesktop.DBus.Error.Timeout"))
        return QCoreApplication::translate("Firewalld", "firewalld did not answer in time");
    if (c.error == QLatin1String("org.freedesktop.DBus.Error.ServiceUnknown") ||
        c.error == QLatin1String("org.freedesktop.DBus.Error.NameHasNoOwner"))
        return QCoreApplication::translate("Firewalld", "firewalld is not running");
    return QCoreApplication::translate("Firewalld", "firewalld answered: %1")
        .arg(c.message.isEmpty() ? c.error : c.message);
}

QString Firewalld::zone(QString& why) {
    if (!interface_.isEmpty()) {
        const Call c = call(true, QStringLiteral("getZoneOfInterface"), {interface_});
        if (!c.ok) {
            why = callWords(c);
            return {};
        }
        if (!c.value.toString().isEmpty())
            return c.value.toString();
    }
    const Call c = call(false, QStringLiteral("getDefaultZone"), {});
    if (!c.ok || c.value.toString().isEmpty())
        why = callWords(c);
    return c.ok ? c.value.toString() : QString();
}

std::optional<bool> Firewalld::zoneLets(const QString& zone, int port, const QString& protocol,
                                        QString& how, QString& why) {
    const Call settings = call(true, QStringLiteral("getZoneSettings2"), {zone});
    if (!settings.ok) {
        why = callWords(settings);
        return std::nullopt;
    }
    const QVariantMap z = dictOf(settings.value);
    if (z.value(QStringLiteral("target")).toString() == QLatin1String("ACCEPT")) {
        how = QCoreApplication::translate("Firewalld", "the zone lets everything in");
        return true;
    }
    if (listed(z.value(QStringLiteral("ports")), port, protocol))
        return true; // a range
    const QStringList services = stringsOf(z.value(QStringLiteral("services")));
    for (const QString& s : services.mid(0, kMaxServices)) {
        const Call service = call(false, QStringLiteral("getServiceSettings2"), {s});
        if (service.ok &&
            listed(dictOf(service.value).value(QStringLiteral("ports")), port, protocol)) {
            how = QCoreApplication::translate("Firewalld", "service %1").arg(ShownText(s.left(60)));
            return true;
        }
    }
    if (!stringsOf(z.value(QStringLiteral("rules_str"))).isEmpty()) {
        why = QCoreApplication::translate("Firewalld",
                                          "the zone has rich rules, which Harborly does not read");
        return std::nullopt;
    }
    return false;
}

FirewallView Firewalld::read(int port, const QString& protocol) {
    FirewallView v;
    v.firewall = name();
    const QString what = portText(port, protocol);
    QString why;
    v.zone = zone(why);
    const QString where = v.zone.isEmpty()
                              ? QStringLiteral("firewalld")
                              : QStringLiteral("firewalld, zone %1").arg(ShownText(v.zone));
    const auto cannotTell = [&](const QString& reason) {
        v.state = HopState::CannotTell;
        v.words =
            QCoreApplication::translate(
                "Firewalld", "cannot tell whether this computer's firewall (%1) lets %2 in: %3")
                .arg(where, what, reason);
        return v;
    };
    if (v.zone.isEmpty())
        return cannotTell(why);
    const Call query = call(true, QStringLiteral("queryPort"),
                            {v.zone, QString::number(port), protocol.toLower()});
    if (!query.ok)
        return cannotTell(callWords(query));
    QString how;
    std::optional<bool> lets = query.value.toBool() ? std::optional<bool>(true) : std::nullopt;
    if (!lets)
        lets = zoneLets(v.zone, port, protocol, how, why);
    if (!lets)
        return cannotTell(why);
    if (*lets) {
        v.state = HopState::Open;
        v.words =
            QCoreApplication::translate("Firewalld", "this computer's firewall (%1) lets %2 in")
                .arg(where, what) +
            (how.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(how));
        return v;
    }
    v.state = HopState::Blocked;
    v.words = QCoreApplication::translate("Firewalld", "this computer's firewall (%1) blocks %2")
                  .arg(where, what);
    v.todo = FirewalldAddCommand(v.zone, port, protocol);
    return v;
}

QString Firewalld::place() {
    QString why;
    const QString z = zone(why);
    return z.isEmpty() ? QString() : name() + QLatin1Char(' ') + z;
}

QString Firewalld::ZoneOf(const QString& place) {
    const QString prefix = QStringLiteral("firewalld ");
    return place.startsWith(prefix) ? place.mid(prefix.size()) : QString();
}

FirewallAnswer Firewalld::open(const QString& place, int port, const QString& protocol) {
    const QString z = ZoneOf(place);
    // Timeout 0: until firewalld reloads or stops; runtime only, so a restart forgets it.
    const Call c =
        call(true, QStringLiteral("addPort"), {z, QString::number(port), protocol.toLower(), 0});
    if (c.ok || c.message.startsWith(QLatin1String("ALREADY_ENABLED")))
        return {FirewallAnswer::Result::Done, {}};
    return {FirewallAnswer::Result::Refused, callWords(c)};
}

FirewallAnswer Firewalld::close(const QString& place, int port, const QString& protocol) {
    const QString z = ZoneOf(place);
    const Call c =
        call(true, QStringLiteral("removePort"), {z, QString::number(port), protocol.toLower()});
    if (c.ok || c.message.startsWith(QLatin1String("NOT_ENABLED")))
        return {FirewallAnswer::Result::Done, {}};
    return {FirewallAnswer::Result::Refused, callWords(c)};
}

std::optional<bool> Firewalld::holds(const QString& place, int port, const QString& protocol) {
    const Call c = call(true, QStringLiteral("queryPort"),
                        {ZoneOf(place), QString::number(port), protocol.toLower()});
    if (!c.ok)
        return std::nullopt;
    return c.value.toBool();
}

QString FirewalldAddCommand(const QString& zone, int port, const QString& protocol) {
    return QStringLiteral("sudo firewall-cmd --zone=%1 --add-port=%2/%3")
        .arg(ShownText(zone))
        .arg(port)
        .arg(protocol.toLower());
}
