// SPDX-License-Identifier: GPL-3.0-or-later
// The router found and remembered: discovery, its description, and the service chosen.
#include "router/upnp/IgdClient.h"

#include "router/RouterMemory.h"
#include "router/net/ExternalAddress.h"
#include "router/net/LocalAddress.h"
#include "router/net/RouterAddress.h"

#include <QCoreApplication>
#include <QHostInfo>

std::optional<UpnpTarget> ParseUpnpTarget(const QString& lanPrivateIp) {
    const QString text = lanPrivateIp.trimmed();
    UpnpTarget target;
    if (text.startsWith(QLatin1String("http://"), Qt::CaseInsensitive)) {
        const QUrl url(text, QUrl::StrictMode);
        if (!url.isValid() || url.scheme() != QLatin1String("http") || url.host().isEmpty() ||
            !url.userInfo().isEmpty())
            return std::nullopt;
        target.host = url.host();
        target.ssdpPort = 0;
        target.descriptionUrl = url;
        return target;
    }
    if (text.contains(QLatin1String("://")))
        return std::nullopt;
    const RouterAddress address = ParseRouterAddress(text);
    if (!address.valid)
        return std::nullopt;
    const bool portGiven =
        text != address.host && text != QLatin1Char('[') + address.host + QLatin1Char(']');
    target.host = address.host;
    target.ssdpPort = portGiven ? address.port : 1900;
    return target;
}

bool IgdClient::fail(const QString& why) {
    router_.found = false;
    router_.failure = why;
    return false;
}

bool IgdClient::resolveRouter(const UpnpTarget& target) {
    const QHostAddress literal(target.host);
    if (!literal.isNull()) {
        router_.gateway = PlainAddress(literal);
        return true;
    }
    // Shared, so that an answer arriving after the wait gave up writes nowhere it must not.
    const auto answer = std::make_shared<std::optional<QHostInfo>>();
    const int id = QHostInfo::lookupHost(target.host, this, [this, answer](const QHostInfo& i) {
        *answer = i;
        waiter_.wake();
    });
    waiter_.waitFor([answer] { return answer->has_value(); }, options_.timings.nameLookup);
    if (!answer->has_value()) {
        QHostInfo::abortHostLookup(id);
        return false;
    }
    for (const QHostAddress& a : (*answer)->addresses()) {
        if (a.protocol() == QAbstractSocket::IPv4Protocol) {
            router_.gateway = a;
            return true;
        }
    }
    // A name with IPv6 addresses alone: a router reached over IPv6.
    for (const QHostAddress& a : (*answer)->addresses()) {
        if (a.protocol() == QAbstractSocket::IPv6Protocol) {
            router_.gateway = a;
            return true;
        }
    }
    return false;
}

bool IgdClient::discover() {
    // Asked again from a handler while a discovery waits: the running one answers.
    if (discovering_ || busy_)
        return false;
    discovering_ = true;
    const bool found = discoverRouter();
    discovering_ = false;
    return found;
}

bool IgdClient::discoverRouter() {
    router_ = IgdRouter{};
    const std::optional<UpnpTarget> target = ParseUpnpTarget(options_.router);
    if (!target)
        return fail(QCoreApplication::translate("Router", "the router address is not valid"));
    if (!resolveRouter(*target))
        return fail(
            QCoreApplication::translate("Router", "the router's name could not be looked up"));

    const quint16 probePort = target->descriptionUrl.isEmpty()
                                  ? target->ssdpPort
                                  : quint16(target->descriptionUrl.port(80));
    router_.localAddress = options_.localAddress.isNull()
                               ? LocalAddressToward(router_.gateway, probePort)
                               : options_.localAddress;
    if (router_.localAddress.isNull())
        return fail(
            QCoreApplication::translate("Router", "this computer has no route to the router"));

    QUrl location = target->descriptionUrl;
    if (location.isEmpty()) {
        SsdpSearch search(waiter_, options_);
        const std::optional<SsdpReply> reply =
            search.run(router_.gateway, router_.localAddress, target->ssdpPort);
        router_.otherDevices = search.otherDevices();
        if (!reply)
            return fail(QCoreApplication::translate("Router", "No UPnP router answered."));
        location = QUrl(reply->location, QUrl::StrictMode);
        if (!location.isValid() || location.scheme() != QLatin1String("http") ||
            location.host().isEmpty() || !location.userInfo().isEmpty())
            return fail(QCoreApplication::translate(
                "Router", "the router gave an unusable description address"));
        router_.server = DisplayText(reply->server);
        router_.bootId = DisplayText(reply->bootId);
    }
    // The description is read from the router itself, whatever host LOCATION names.
    location.setHost(router_.gateway.toString());
    router_.descriptionUrl = location;

    if (!fetchDescription())
        return false;
    chooseService();
    router_.found = true;
    return true;
}

bool FindRouter(IgdClient& client, const RouterMemory& memory, const QString& target,
                ExternalAddressResult& wan) {
    const QString kind = QStringLiteral("upnp");
    if (client.recall(memory.load(kind, target))) {
        wan = client.getExternalIPAddress();
        // Another router may answer at the remembered address (another network, a new box):
        // its description tells.
        if (wan.ok() && client.sameDevice())
            return true;
        memory.forget(kind);
    }
    if (!client.discover())
        return false;
    wan = client.getExternalIPAddress();
    if (wan.ok())
        memory.save(kind, target, client.remembered());
    return true;
}

QMap<QString, QString> IgdClient::remembered() const {
    const IgdRouter& r = router_;
    if (!r.found)
        return {};
    return {{QStringLiteral("gateway"), r.gateway.toString()},
            {QStringLiteral("description"), r.descriptionUrl.toString()},
            {QStringLiteral("server"), r.server},
            {QStringLiteral("bootid"), r.bootId},
            {QStringLiteral("friendlyname"), r.device.friendlyName},
            {QStringLiteral("manufacturer"), r.device.manufacturer},
            {QStringLiteral("modelname"), r.device.modelName},
            {QStringLiteral("modelnumber"), r.device.modelNumber},
            {QStringLiteral("udn"), r.device.udn},
            {QStringLiteral("igdversion"), QString::number(r.igdVersion)},
            {QStringLiteral("servicetype"), r.service.serviceType},
            {QStringLiteral("serviceid"), r.service.serviceId},
            {QStringLiteral("control"), r.service.controlUrl.toString()},
            {QStringLiteral("serviceversion"), QString::number(r.service.version)},
            {QStringLiteral("firewalltype"), r.firewall.serviceType},
            {QStringLiteral("firewallid"), r.firewall.serviceId},
            {QStringLiteral("firewallcontrol"), r.firewall.controlUrl.toString()}};
}

bool IgdClient::recall(const QMap<QString, QString>& v) {
    IgdRouter r;
    r.gateway = PlainAddress(QHostAddress(v.value(QStringLiteral("gateway"))));
    r.descriptionUrl = QUrl(v.value(QStringLiteral("description")), QUrl::StrictMode);
    r.service.controlUrl = QUrl(v.value(QStringLiteral("control")), QUrl::StrictMode);
    r.service.serviceType = v.value(QStringLiteral("servicetype"));
    r.service.serviceId = v.value(QStringLiteral("serviceid"));
    r.service.version = v.value(QStringLiteral("serviceversion")).toInt();
    r.igdVersion = v.value(QStringLiteral("igdversion")).toInt();
    // Only the router's own address, as discovery would have it.
    const auto onRouter = [&r](const QUrl& u) {
        return u.isValid() && u.scheme() == QLatin1String("http") && u.userInfo().isEmpty() &&
               PlainAddress(QHostAddress(u.host())) == r.gateway;
    };
    if (r.gateway.isNull() || !onRouter(r.descriptionUrl) || !onRouter(r.service.controlUrl) ||
        r.service.serviceType.isEmpty() || (r.service.version != 1 && r.service.version != 2) ||
        r.igdVersion < 1)
        return false;
    r.localAddress = options_.localAddress.isNull()
                         ? LocalAddressToward(r.gateway, quint16(r.service.controlUrl.port(80)))
                         : options_.localAddress;
    if (r.localAddress.isNull())
        return false;
    r.server = v.value(QStringLiteral("server"));
    r.bootId = v.value(QStringLiteral("bootid"));
    r.device.friendlyName = v.value(QStringLiteral("friendlyname"));
    r.device.manufacturer = v.value(QStringLiteral("manufacturer"));
    r.device.modelName = v.value(QStringLiteral("modelname"));
    r.device.modelNumber = v.value(QStringLiteral("modelnumber"));
    r.device.udn = v.value(QStringLiteral("udn"));
    // Without it a later run could neither renew nor close the pinholes an earlier one opened.
    r.firewall.controlUrl = QUrl(v.value(QStringLiteral("firewallcontrol")), QUrl::StrictMode);
    r.firewall.serviceType = v.value(QStringLiteral("firewalltype"));
    r.firewall.serviceId = v.value(QStringLiteral("firewallid"));
    if (r.firewall.serviceType.isEmpty() || !onRouter(r.firewall.controlUrl))
        r.firewall = {};
    r.candidates = {r.service};
    r.found = true;
    router_ = r;
    return true;
}

bool IgdClient::sameDevice() {
    if (router_.device.udn.isEmpty())
        return true;
    const HttpLimits limits{options_.timings.connect, options_.timings.description,
                            MaxDescriptionBytes};
    const HttpResult r =
        exchange(router_.descriptionUrl, BuildGetRequest(router_.descriptionUrl), limits);
    if (r.outcome != HttpResult::Outcome::Done || r.status != 200)
        return false;
    const DeviceDescriptionResult d =
        ParseDeviceDescription(r.body, router_.descriptionUrl, router_.gateway.toString());
    return d.ok && d.device.udn == router_.device.udn;
}

bool IgdClient::fetchDescription() {
    const HttpLimits limits{options_.timings.connect, options_.timings.description,
                            MaxDescriptionBytes};
    const HttpResult r =
        exchange(router_.descriptionUrl, BuildGetRequest(router_.descriptionUrl), limits);
    switch (r.outcome) {
    case HttpResult::Outcome::Done:
        break;
    case HttpResult::Outcome::TooLarge:
        return fail(QCoreApplication::translate("Router", "the router's description is too large"));
    case HttpResult::Outcome::TimedOut:
        return fail(QCoreApplication::translate("Router",
                                                "the router did not send its description in time"));
    case HttpResult::Outcome::Unreachable:
        return fail(
            QCoreApplication::translate("Router", "the router's description could not be reached"));
    default:
        return fail(
            QCoreApplication::translate("Router", "the router's description could not be read"));
    }
    if (r.status != 200)
        return fail(
            QCoreApplication::translate("Router", "the router answered HTTP %1 for its description")
                .arg(r.status));

    const DeviceDescriptionResult d =
        ParseDeviceDescription(r.body, router_.descriptionUrl, router_.gateway.toString());
    if (!d.ok)
        return fail(
            QCoreApplication::translate("Router", "the router's description was refused: ") +
            d.error);
    if (d.services.isEmpty())
        return fail(
            QCoreApplication::translate("Router", "the router offers no WAN connection service"));
    router_.device = d.device;
    router_.igdVersion = d.igdVersion;
    router_.candidates = d.services;
    router_.firewall = d.firewall;
    router_.service = d.services.front();
    return true;
}

void IgdClient::chooseService() {
    if (router_.candidates.size() < 2)
        return;
    // The first connected with a public address, else the first connected, else the first.
    std::optional<qsizetype> connected;
    std::optional<qsizetype> chosen;
    QList<std::pair<QString, QString>> seen;
    for (qsizetype i = 0; i < router_.candidates.size() && !chosen; ++i) {
        const IgdService& c = router_.candidates.at(i);
        const SoapAnswer status = call(c, QStringLiteral("GetStatusInfo"), {});
        const SoapAnswer external = call(c, QStringLiteral("GetExternalIPAddress"), {});
        StatusInfoResult s;
        s.connectionStatus = status.value(u"NewConnectionStatus");
        const QString address = DisplayText(external.value(u"NewExternalIPAddress"));
        seen.append({DisplayText(s.connectionStatus), address});
        if (!status.ok() || !s.connected())
            continue;
        if (!connected)
            connected = i;
        if (external.ok() && ClassifyExternalAddress(address) == ExternalAddressKind::Public)
            chosen = i;
    }
    const qsizetype pick = chosen.value_or(connected.value_or(0));
    router_.service = router_.candidates.at(pick);
    if (pick < seen.size()) {
        router_.connectionStatus = seen.at(pick).first;
        router_.externalAddress = seen.at(pick).second;
    }
}
