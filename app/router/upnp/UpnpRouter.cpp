#include "router/upnp/UpnpRouter.h"

#include "Module.h"
#include "platform/Clock.h"
#include "router/MainView.h"
#include "router/RouterDeps.h"
#include "router/net/ExternalAddress.h"
#include "router/net/LocalAddress.h"
#include "router/net/RouterAddress.h"
#include "router/upnp/PinholeClient.h"
#include "router/upnp/UpnpErrors.h"

#include <QScopedValueRollback>

namespace {

constexpr quint32 kWeek = 604800;
// A renewal the router did not take is tried again after this long.
constexpr qint64 kRetrySeconds = 60;

bool noAnswer(const SoapAnswer& a) {
    return a.outcome == SoapOutcome::Unreachable || a.outcome == SoapOutcome::TimedOut;
}

// The sentence for a refused forward: the router's reason in words where the code has one.
QString refusalText(const PlannedMapping& m, const AddMappingResult& r) {
    const QString what =
        QStringLiteral("%1 port %2 for %3: ").arg(m.protocol).arg(m.port).arg(m.application);
    if (noAnswer(r.answer))
        return what + QStringLiteral("the router did not answer.");
    const QString words = DescribeUpnpError(r.errorCode, quint16(m.port), r.conflictClient);
    if (!words.isEmpty())
        return what + words;
    if (r.errorCode != 0)
        return what + QStringLiteral("the router refused it (UPnP error %1 %2).")
                          .arg(r.errorCode)
                          .arg(r.answer.errorDescription.left(60));
    return what + QStringLiteral("the router refused it (HTTP %1).").arg(r.answer.httpStatus);
}

QString deviceText(const IgdRouter& r) {
    QStringList model;
    // "Acme", "Acme Router 5" reads as "Acme Router 5".
    if (!r.device.modelName.startsWith(r.device.manufacturer))
        model << r.device.manufacturer;
    for (const QString& part : {r.device.modelName, r.device.modelNumber})
        if (!part.isEmpty() && !model.contains(part))
            model << part;
    model.removeAll(QString());
    QString text = r.device.friendlyName;
    if (!model.isEmpty() && model.join(QLatin1Char(' ')) != text)
        text += (text.isEmpty() ? QString() : QStringLiteral(" - ")) + model.join(QLatin1Char(' '));
    return text + QStringLiteral(" (UPnP IGD v%1)").arg(r.version());
}

} // namespace

quint32 RequestedLease(int igdVersion) {
    return igdVersion >= 2 ? kWeek : 0;
}

UpnpRouter::UpnpRouter(const RouterDeps& deps, UpnpOptions options, QString routeFile)
    : ProtocolRouter(deps), waiter_(std::make_unique<PumpWaiter>(deps.pump)),
      options_(std::move(options)), routeFile_(std::move(routeFile)),
      record_(LeasePathFor(deps.module.paths.IniPath)) {}

UpnpRouter::~UpnpRouter() = default;

QString UpnpRouter::kindName() const {
    return QStringLiteral("upnp");
}

RouterCapabilities UpnpRouter::capabilities() const {
    RouterCapabilities c;
    c.mappingTable = true;
    c.noDmzReason = QStringLiteral("A UPnP router offers no DMZ control: set the DMZ host in "
                                   "the router's own settings.");
    return c;
}

void UpnpRouter::queryStatus() {
    beginStatusQuery();
    // The address as it is now: the settings dialog may have changed it since.
    options_.router = RouterAddressText(module_.settings.LanPrivateIP, routeFile_);
    client_ = std::make_unique<IgdClient>(*waiter_, options_);
    if (!client_->discover()) {
        problems_ = {client_->router().failure};
        return endStatusQuery();
    }
    const IgdRouter& r = client_->router();
    module_.LocalIpAddress = r.localAddress.toString();
    const ExternalAddressResult wan = client_->getExternalIPAddress();
    if (!wan.ok()) {
        problems_ = {QStringLiteral("The router did not tell its Internet address.")};
        return endStatusQuery();
    }
    showFound(wan.address, ExternalAddressWarning(wan.address), deviceText(r));
    nextCheck_ = clock_.now().addSecs(CheckSeconds);
    // Forwards an earlier run made lapse unless someone renews them.
    recallRecorded();
    if (RequestedLease(r.version()) != 0)
        adoptOwnForwards(client_->listPortMappings().entries);
    endStatusQuery();
}

QString UpnpRouter::forward(const QList<PlannedMapping>& mappings) {
    const quint32 lease = RequestedLease(client_->router().version());
    bool refused = false;
    bool unanswered = false;
    for (const PlannedMapping& m : mappings) {
        PortMappingRequest request;
        request.externalPort = quint16(m.port);
        request.internalPort = quint16(m.port);
        request.protocol = m.protocol;
        request.description = m.description;
        request.leaseSeconds = lease;
        const AddMappingResult added = client_->addPortMapping(request);
        if (added.ok) {
            hold(m, added);
            continue;
        }
        problems_ << refusalText(m, added);
        (noAnswer(added.answer) ? unanswered : refused) = true;
    }
    if (!renewing_)
        openPinholes(mappings);
    return unanswered ? kFailed : refused ? kError : kCompleted;
}

void UpnpRouter::hold(const PlannedMapping& m, const AddMappingResult& added) {
    remember(m, added.permanent ? 0 : added.grantedLease, clock_.now());
}

void UpnpRouter::remember(const PlannedMapping& m, quint32 lease, const QDateTime& granted) {
    Held h{m, lease, {}};
    if (h.lease != 0)
        h.renewAt = granted.addSecs(h.lease / 2);
    LeaseEntry e{routerKey(), kindName(),
                 m.protocol,  m.port,
                 m.port,      lease != 0 ? granted.addSecs(lease).toUTC() : QDateTime(),
                 lease,       {},
                 0,           m.application};
    record_.put(e);
    for (Held& old : held_)
        if (old.mapping.port == m.port && old.mapping.protocol == m.protocol) {
            old = h;
            return;
        }
    held_.append(h);
}

void UpnpRouter::forget(quint16 port, const QString& protocol) {
    held_.removeIf(
        [&](const Held& h) { return h.mapping.port == port && h.mapping.protocol == protocol; });
    LeaseEntry e;
    e.router = routerKey();
    e.kind = kindName();
    e.protocol = protocol;
    e.internalPort = port;
    record_.remove(e);
}

QString UpnpRouter::routerKey() const {
    return client_ ? client_->router().gateway.toString() : QString();
}

void UpnpRouter::recallRecorded() {
    for (const LeaseEntry& e : record_.load()) {
        if (e.kind != kindName() || e.router != routerKey())
            continue;
        const PlannedMapping m{e.internalPort, e.protocol, e.application,
                               MappingDescription(e.application)};
        // Held again from where its lease stands; one already past half is renewed at once.
        Held h{m, e.lifetime, {}};
        if (e.lifetime != 0)
            h.renewAt = e.leaseEnd.addSecs(-qint64(e.lifetime) / 2);
        held_.removeIf([&](const Held& o) {
            return o.mapping.port == m.port && o.mapping.protocol == m.protocol;
        });
        held_.append(h);
    }
}

void UpnpRouter::adoptOwnForwards(const QList<PortMappingEntry>& entries) {
    for (const PortMappingEntry& e : entries) {
        if (!isThisComputer(e.internalClient) || e.externalPort != e.internalPort ||
            !e.description.startsWith(QLatin1String("Harborly: ")) || e.leaseDuration == 0)
            continue;
        const PlannedMapping m{e.externalPort, e.protocol.toUpper(), e.description.mid(10),
                               e.description};
        // The record knows when a forward was granted; the list only what is left of it.
        const bool held = std::any_of(held_.begin(), held_.end(), [&](const Held& h) {
            return h.mapping.port == m.port && h.mapping.protocol == m.protocol;
        });
        if (held)
            continue;
        // What is left of its lease decides; renew at half of it.
        remember(m, e.leaseDuration, clock_.now());
    }
}

bool UpnpRouter::KeepAlive() {
    if (!client_ || held_.isEmpty())
        return true;
    const QScopedValueRollback<bool> renewing(renewing_, true);
    renewPinholes();
    const QDateTime now = clock_.now();
    const bool check = !nextCheck_.isValid() || nextCheck_ <= now;
    QList<PlannedMapping> due;
    for (const Held& h : held_)
        if (h.renewAt.isValid() && h.renewAt <= now)
            due << h.mapping;
    if (due.isEmpty() && !check)
        return true;
    bool ok = runOperation(QStringLiteral("Renew Points"), [&] {
        if (check) {
            nextCheck_ = now.addSecs(CheckSeconds);
            due = lostForwards(due);
        }
        return due.isEmpty() ? kCompleted : forward(due);
    });
    if (!due.isEmpty())
        tellRenewal(due.size(), ok, routerKey());
    if (!ok) {
        // Try again a little later rather than on every tick.
        for (Held& h : held_)
            if (h.renewAt.isValid() && h.renewAt <= now)
                h.renewAt = now.addSecs(kRetrySeconds);
    }
    return ok;
}

QList<PlannedMapping> UpnpRouter::lostForwards(QList<PlannedMapping> due) {
    const IgdRouter& r = client_->router();
    const QHostAddress local = LocalAddressToward(r.gateway, quint16(r.descriptionUrl.port(80)));
    if (!local.isNull() && !local.isEqual(r.localAddress, QHostAddress::TolerantConversion)) {
        // This computer has another address now: every forward points at the old one.
        client_ = std::make_unique<IgdClient>(*waiter_, options_);
        if (!client_->discover())
            return due;
        module_.LocalIpAddress = client_->router().localAddress.toString();
        due.clear();
        for (const Held& h : held_)
            due << h.mapping;
        return due;
    }
    // A router that restarted (or dropped them) no longer has them.
    for (const Held& h : held_) {
        if (due.contains(h.mapping))
            continue;
        const SpecificEntryResult e =
            client_->getSpecificPortMappingEntry(quint16(h.mapping.port), h.mapping.protocol);
        const bool gone = e.answer.isFault(UpnpError::NoSuchEntry) ||
                          (e.entry && !isThisComputer(e.entry->internalClient));
        if (gone)
            due << h.mapping;
    }
    return due;
}

bool UpnpRouter::ClearAll() {
    const bool ok = runOperation(QStringLiteral("Clear All Points"), [&] {
        const ListingResult list = client_->listPortMappings();
        QList<std::pair<quint16, QString>> targets;
        for (const PortMappingEntry& e : list.entries)
            targets.append({e.externalPort, e.protocol.toUpper()});
        // Forwards of ours that a router leaves out of its list go too.
        for (const Held& h : held_) {
            const std::pair<quint16, QString> key{quint16(h.mapping.port), h.mapping.protocol};
            if (!targets.contains(key))
                targets.append(key);
        }
        bool refused = false;
        bool unanswered = !list.complete && list.entries.isEmpty() && noAnswer(list.end);
        for (const auto& [port, protocol] : targets) {
            const DeleteMappingResult d = client_->deletePortMapping(port, protocol);
            if (d.gone) {
                forget(port, protocol);
                continue;
            }
            QString who;
            for (const PortMappingEntry& e : list.entries)
                if (e.externalPort == port && e.protocol.toUpper() == protocol)
                    who = e.internalClient;
            const QString words = DescribeUpnpError(d.answer.errorCode, port, who);
            problems_ << QStringLiteral("%1 port %2%3: %4")
                             .arg(protocol)
                             .arg(port)
                             .arg(who.isEmpty() ? QString() : QStringLiteral(" (to %1)").arg(who))
                             .arg(noAnswer(d.answer) ? QStringLiteral("the router did not answer.")
                                  : words.isEmpty()
                                      ? QStringLiteral(
                                            "the router refused to remove it (UPnP error %1).")
                                            .arg(d.answer.errorCode)
                                      : words);
            (noAnswer(d.answer) ? unanswered : refused) = true;
        }
        refused = !closePinholes() || refused;
        return unanswered ? kFailed : refused ? kError : kCompleted;
    });
    reportProblems(QStringLiteral("Some forwards were not removed"));
    return ok;
}

std::optional<QList<ForwardEntry>> UpnpRouter::ReadForwards() {
    std::optional<QList<ForwardEntry>> rows;
    runOperation(QStringLiteral("Query Points"), [&] {
        const ListingResult list = client_->listPortMappings();
        if (!list.complete && list.entries.isEmpty() && noAnswer(list.end)) {
            problems_ << QStringLiteral("The router did not answer.");
            return kFailed;
        }
        QList<ForwardEntry> out;
        for (const PortMappingEntry& e : list.entries) {
            ForwardEntry f;
            f.externalPort = f.externalPortEnd = e.externalPort;
            f.protocol = e.protocol.toUpper();
            f.internalClient = e.internalClient;
            f.internalPort = e.internalPort;
            f.description = e.description;
            f.secondsLeft = e.leaseDuration;
            f.thisComputer = isThisComputer(e.internalClient);
            out << f;
        }
        rows = out + pinholeRows();
        return kCompleted;
    });
    return rows;
}

bool UpnpRouter::isThisComputer(const QString& client) const {
    return client_ && !client.isEmpty() &&
           QHostAddress(client).isEqual(client_->router().localAddress,
                                        QHostAddress::TolerantConversion);
}
