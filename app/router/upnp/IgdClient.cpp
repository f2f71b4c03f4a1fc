#include "router/upnp/IgdClient.h"

#include "router/RouterMemory.h"
#include "router/net/ExternalAddress.h"
#include "router/net/LocalAddress.h"
#include "router/net/RouterAddress.h"
#include "router/upnp/UpnpErrors.h"

#include <QHostInfo>
#include <QNetworkDatagram>
#include <QNetworkInterface>
#include <QNetworkProxy>
#include <QUdpSocket>

namespace {

using std::chrono::milliseconds;

QString portText(quint16 port) {
    return QString::number(port);
}

// Entries asked for in one GetListOfPortMappings.
constexpr qsizetype kListPage = 1000;

SoapAnswer failedAnswer(SoapOutcome outcome) {
    SoapAnswer answer;
    answer.outcome = outcome;
    return answer;
}

bool isProtocol(const QString& protocol) {
    return protocol == QLatin1String("TCP") || protocol == QLatin1String("UDP");
}

} // namespace

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

QString AsciiDescription(const QString& text) {
    QString out;
    for (const QChar c : text)
        if (c.unicode() >= 0x20 && c.unicode() < 0x7f && out.size() < MaxDescriptionLength)
            out += c;
    return out;
}

bool StatusInfoResult::connected() const {
    const QString s = connectionStatus.trimmed();
    // Some routers say "Up".
    return s.compare(QLatin1String("Connected"), Qt::CaseInsensitive) == 0 ||
           s.compare(QLatin1String("Up"), Qt::CaseInsensitive) == 0;
}

IgdClient::IgdClient(Waiter& waiter, UpnpOptions options, QObject* parent)
    : QObject(parent), waiter_(waiter), options_(std::move(options)) {
    connect(&http_, &HttpExchange::finished, this, [this] { waiter_.wake(); });
}

IgdClient::~IgdClient() = default;

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
        return fail(QStringLiteral("the router address is not valid"));
    if (!resolveRouter(*target))
        return fail(QStringLiteral("the router's name could not be looked up"));

    const quint16 probePort = target->descriptionUrl.isEmpty()
                                  ? target->ssdpPort
                                  : quint16(target->descriptionUrl.port(80));
    router_.localAddress = options_.localAddress.isNull()
                               ? LocalAddressToward(router_.gateway, probePort)
                               : options_.localAddress;
    if (router_.localAddress.isNull())
        return fail(QStringLiteral("this computer has no route to the router"));

    QUrl location = target->descriptionUrl;
    if (location.isEmpty()) {
        SsdpSearch search(waiter_, options_);
        const std::optional<SsdpReply> reply =
            search.run(router_.gateway, router_.localAddress, target->ssdpPort);
        router_.otherDevices = search.otherDevices();
        if (!reply)
            return fail(QStringLiteral("no UPnP router answered"));
        location = QUrl(reply->location, QUrl::StrictMode);
        if (!location.isValid() || location.scheme() != QLatin1String("http") ||
            location.host().isEmpty() || !location.userInfo().isEmpty())
            return fail(QStringLiteral("the router gave an unusable description address"));
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
        if (wan.ok())
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

bool IgdClient::fetchDescription() {
    const HttpLimits limits{options_.timings.connect, options_.timings.description,
                            MaxDescriptionBytes};
    const HttpResult r =
        exchange(router_.descriptionUrl, BuildGetRequest(router_.descriptionUrl), limits);
    switch (r.outcome) {
    case HttpResult::Outcome::Done:
        break;
    case HttpResult::Outcome::TooLarge:
        return fail(QStringLiteral("the router's description is too large"));
    case HttpResult::Outcome::TimedOut:
        return fail(QStringLiteral("the router did not send its description in time"));
    case HttpResult::Outcome::Unreachable:
        return fail(QStringLiteral("the router's description could not be reached"));
    default:
        return fail(QStringLiteral("the router's description could not be read"));
    }
    if (r.status != 200)
        return fail(
            QStringLiteral("the router answered HTTP %1 for its description").arg(r.status));

    const DeviceDescriptionResult d =
        ParseDeviceDescription(r.body, router_.descriptionUrl, router_.gateway.toString());
    if (!d.ok)
        return fail(QStringLiteral("the router's description was refused: ") + d.error);
    if (d.services.isEmpty())
        return fail(QStringLiteral("the router offers no WAN connection service"));
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

HttpResult IgdClient::exchange(const QUrl& url, const QByteArray& request,
                               const HttpLimits& limits) {
    HttpResult result;
    if (busy_) {
        result.outcome = HttpResult::Outcome::Refused;
        return result;
    }
    busy_ = true;
    if (http_.start(router_.gateway, url, request, limits)) {
        // The exchange's own timers end it; the margin only guards against a stuck loop.
        waiter_.waitFor([this] { return !http_.busy(); }, limits.total + milliseconds(500));
        if (http_.busy())
            http_.cancel();
    }
    result = http_.result();
    record(request, result);
    busy_ = false;
    return result;
}

void IgdClient::record(const QByteArray& request, const HttpResult& result) {
    exchanges_.append({request, result.status, result.body});
    while (exchanges_.size() > KeptExchanges)
        exchanges_.removeFirst();
}

SoapAnswer IgdClient::call(const QString& action, const SoapArguments& arguments,
                           qsizetype bodyLimit) {
    return call(router_.service, action, arguments, bodyLimit);
}

SoapAnswer IgdClient::call(const IgdService& service, const QString& action,
                           const SoapArguments& arguments, qsizetype bodyLimit) {
    if (busy_)
        return failedAnswer(SoapOutcome::Busy);
    const QByteArray request =
        BuildSoapRequest(service.controlUrl, service.serviceType, action, arguments);
    if (request.isEmpty())
        return failedAnswer(SoapOutcome::Refused);
    const HttpLimits limits{options_.timings.connect, options_.timings.soap, bodyLimit};
    for (int attempt = 0;; ++attempt) {
        const HttpResult r = exchange(service.controlUrl, request, limits);
        switch (r.outcome) {
        case HttpResult::Outcome::Done:
            break;
        case HttpResult::Outcome::Unreachable:
            return failedAnswer(SoapOutcome::Unreachable);
        case HttpResult::Outcome::TimedOut:
            return failedAnswer(SoapOutcome::TimedOut);
        case HttpResult::Outcome::TooLarge:
            return failedAnswer(SoapOutcome::TooLarge);
        case HttpResult::Outcome::Malformed:
            return failedAnswer(SoapOutcome::Malformed);
        case HttpResult::Outcome::Refused:
            return failedAnswer(busy_ ? SoapOutcome::Busy : SoapOutcome::Refused);
        }
        // A busy router gets one more try a moment later.
        if (r.status == 503 && attempt == 0) {
            waiter_.waitFor([] { return false; }, options_.timings.busyRetry);
            continue;
        }
        return ParseSoapAnswer(r.status, r.body, action);
    }
}

ExternalAddressResult IgdClient::getExternalIPAddress() {
    ExternalAddressResult result;
    result.answer = call(QStringLiteral("GetExternalIPAddress"), {});
    if (result.ok())
        result.address = DisplayText(result.answer.value(u"NewExternalIPAddress"));
    return result;
}

StatusInfoResult IgdClient::getStatusInfo() {
    StatusInfoResult result;
    result.answer = call(QStringLiteral("GetStatusInfo"), {});
    if (result.ok()) {
        result.connectionStatus = DisplayText(result.answer.value(u"NewConnectionStatus"));
        result.lastConnectionError = DisplayText(result.answer.value(u"NewLastConnectionError"));
        result.uptime = result.answer.value(u"NewUptime").trimmed().toUInt();
    }
    return result;
}

bool IgdClient::isLocalAddress(const QString& client) const {
    return SameHost(client.trimmed(), router_.localAddress.toString());
}

AddMappingResult IgdClient::addPortMapping(const PortMappingRequest& request) {
    AddMappingResult result;
    PortMappingRequest r = request;
    r.protocol = r.protocol.trimmed().toUpper();
    r.description = AsciiDescription(r.description);
    if (r.internalClient.isEmpty())
        r.internalClient = router_.localAddress.toString();
    result.sent = r;
    // Port 0 means "all ports" to a router: never sent.
    if (r.externalPort == 0 || r.internalPort == 0 || !isProtocol(r.protocol)) {
        result.answer = failedAnswer(SoapOutcome::Refused);
        return result;
    }

    bool triedLeaseForm = false;
    bool triedPermanent = false;
    bool triedSamePort = false;
    bool triedAnyRemote = false;
    for (;;) {
        result.sent = r;
        result.answer = call(QStringLiteral("AddPortMapping"),
                             {{"NewRemoteHost", r.remoteHost},
                              {"NewExternalPort", portText(r.externalPort)},
                              {"NewProtocol", r.protocol},
                              {"NewInternalPort", portText(r.internalPort)},
                              {"NewInternalClient", r.internalClient},
                              {"NewEnabled", QStringLiteral("1")},
                              {"NewPortMappingDescription", r.description},
                              {"NewLeaseDuration", QString::number(r.leaseSeconds)}});
        const SoapAnswer& a = result.answer;
        if (a.ok())
            break;
        if (a.outcome != SoapOutcome::Fault)
            return result;
        result.errorCode = a.errorCode;
        if (a.errorCode == UpnpError::OnlyPermanentLeases && !triedPermanent &&
            r.leaseSeconds != 0) {
            triedPermanent = true;
            r.leaseSeconds = 0;
        } else if (a.errorCode == UpnpError::InvalidArgs && !triedLeaseForm) {
            // Routers refuse one lease form or the other with 402.
            triedLeaseForm = true;
            r.leaseSeconds = r.leaseSeconds != 0 ? 0 : 3600;
        } else if (a.errorCode == UpnpError::SamePortValuesRequired && !triedSamePort &&
                   r.externalPort != r.internalPort) {
            triedSamePort = true;
            r.externalPort = r.internalPort;
        } else if (a.errorCode == UpnpError::RemoteHostOnlyWildcard && !triedAnyRemote &&
                   !r.remoteHost.isEmpty()) {
            triedAnyRemote = true;
            r.remoteHost.clear();
        } else if (a.errorCode == UpnpError::Conflict) {
            // Some routers answer 718 to the owner re-adding its own forward.
            const SpecificEntryResult held =
                getSpecificPortMappingEntry(r.externalPort, r.protocol, r.remoteHost);
            if (!held.entry)
                return result;
            if (!SameHost(held.entry->internalClient, r.internalClient) ||
                held.entry->internalPort != r.internalPort) {
                result.conflictClient = DisplayText(held.entry->internalClient);
                return result;
            }
            result.alreadyOurs = true;
            result.ok = true;
            result.errorCode = 0;
            result.verified = true;
            result.grantedLease = held.entry->leaseDuration;
            result.permanent = held.entry->leaseDuration == 0 && router_.version() == 1;
            return result;
        } else {
            return result;
        }
    }

    result.ok = true;
    result.errorCode = 0;
    // Lease 0 is for good on version 1; version 2 routers must use a week instead.
    // 725 said the router keeps none but permanent ones, whatever its version.
    if (r.leaseSeconds == 0 && (router_.version() == 1 || triedPermanent))
        result.permanent = true;
    else
        result.grantedLease = r.leaseSeconds == 0 ? 604800 : r.leaseSeconds;
    if (r.verify) {
        // Some routers ignore the lease asked for, or drop the forward soon after.
        const SpecificEntryResult held =
            getSpecificPortMappingEntry(r.externalPort, r.protocol, r.remoteHost);
        result.verified = held.entry.has_value();
        if (held.entry && held.entry->leaseDuration != 0) {
            result.grantedLease = held.entry->leaseDuration;
            result.permanent = false;
        }
    }
    return result;
}

DeleteMappingResult IgdClient::deletePortMapping(quint16 externalPort, const QString& protocol,
                                                 const QString& remoteHost) {
    DeleteMappingResult result;
    const QString p = protocol.trimmed().toUpper();
    if (externalPort == 0 || !isProtocol(p)) {
        result.answer = failedAnswer(SoapOutcome::Refused);
        return result;
    }
    result.answer =
        call(QStringLiteral("DeletePortMapping"), {{"NewRemoteHost", remoteHost},
                                                   {"NewExternalPort", portText(externalPort)},
                                                   {"NewProtocol", p}});
    // Routers differ on deleting what is not there: success or 714 both mean gone (a caller
    // that saw the entry listed looks it up before believing a 714).
    result.gone = result.answer.ok() || result.answer.isFault(UpnpError::NoSuchEntry);
    return result;
}

SpecificEntryResult IgdClient::getSpecificPortMappingEntry(quint16 externalPort,
                                                           const QString& protocol,
                                                           const QString& remoteHost) {
    SpecificEntryResult result;
    const QString p = protocol.trimmed().toUpper();
    if (externalPort == 0 || !isProtocol(p)) {
        result.answer = failedAnswer(SoapOutcome::Refused);
        return result;
    }
    result.answer = call(QStringLiteral("GetSpecificPortMappingEntry"),
                         {{"NewRemoteHost", remoteHost},
                          {"NewExternalPort", portText(externalPort)},
                          {"NewProtocol", p}});
    if (!result.answer.ok())
        return result;
    // The answer leaves out the key it was asked for.
    SoapAnswer keyed = result.answer;
    keyed.values.prepend({QStringLiteral("NewProtocol"), p});
    keyed.values.prepend({QStringLiteral("NewExternalPort"), portText(externalPort)});
    keyed.values.prepend({QStringLiteral("NewRemoteHost"), remoteHost});
    result.entry = EntryFromAnswer(keyed);
    return result;
}

ListingResult IgdClient::listPortMappings() {
    ListingResult result;
    const milliseconds deadline = waiter_.now() + options_.timings.listing;
    if (router_.version() == 2) {
        QList<PortMappingEntry> all;
        bool usable = true;
        for (const char* protocol : {"TCP", "UDP"}) {
            const SoapAnswer a = call(QStringLiteral("GetListOfPortMappings"),
                                      {{"NewStartPort", QStringLiteral("1")},
                                       {"NewEndPort", QStringLiteral("65535")},
                                       {"NewProtocol", QString::fromLatin1(protocol)},
                                       {"NewManage", QStringLiteral("1")},
                                       {"NewNumberOfPorts", QString::number(kListPage)}},
                                      MaxListingBytes);
            if (a.isFault(UpnpError::PortMappingNotFound))
                continue;
            const auto listed =
                a.ok() ? ParsePortListing(a.value(u"NewPortListing").toUtf8()) : std::nullopt;
            // A full page may have been cut at the count asked for: the loop reads the rest.
            if (!listed || listed->size() >= kListPage) {
                usable = false;
                break;
            }
            all += *listed;
        }
        // An empty fast answer is not trusted: some routers list nothing there while the
        // per-index loop finds entries.
        if (usable && !all.isEmpty()) {
            result.entries = all.mid(0, MaxListedMappings);
            result.fastPath = true;
            result.complete = true;
            result.endReason = QStringLiteral("listed at once");
            return result;
        }
    }
    listGeneric(result, deadline);
    return result;
}

bool IgdClient::listGeneric(ListingResult& result, milliseconds deadline) {
    std::optional<PortMappingEntry> previous;
    for (int index = 0;; ++index) {
        if (index >= MaxListedMappings) {
            result.endReason = QStringLiteral("too many entries");
            return false;
        }
        if (waiter_.now() >= deadline) {
            result.endReason = QStringLiteral("time limit");
            return false;
        }
        const SoapAnswer a = call(QStringLiteral("GetGenericPortMappingEntry"),
                                  {{"NewPortMappingIndex", QString::number(index)}});
        if (!a.ok()) {
            // 713 is the end the standard gives; 714 is how other routers say it, but at
            // index 0 only 713 tells an empty table from a listing that failed.
            result.end = a;
            result.complete = a.isFault(UpnpError::ArrayIndexInvalid) ||
                              (index > 0 && a.isFault(UpnpError::NoSuchEntry));
            result.endReason = a.outcome == SoapOutcome::Fault
                                   ? QStringLiteral("error %1").arg(a.errorCode)
                                   : QStringLiteral("no answer");
            return result.complete;
        }
        const std::optional<PortMappingEntry> entry = EntryFromAnswer(a);
        if (!entry)
            continue;
        // Looping firmware hands the same entry out forever; its lease may tick meanwhile.
        if (previous && previous->externalPort == entry->externalPort &&
            previous->protocol == entry->protocol && previous->remoteHost == entry->remoteHost) {
            result.endReason = QStringLiteral("repeated entry");
            return false;
        }
        result.entries.append(*entry);
        previous = entry;
    }
}
