// SPDX-License-Identifier: GPL-3.0-or-later
#include "router/upnp/UpnpRouter.h"

#include "Module.h"
#include "platform/Clock.h"
#include "router/MainView.h"
#include "router/RouterDeps.h"
#include "router/RouterMemory.h"
#include "router/net/ExternalAddress.h"
#include "router/net/LocalAddress.h"
#include "router/net/RouterAddress.h"
#include "router/upnp/PinholeClient.h"
#include "router/upnp/UpnpErrors.h"
#include "router/upnp/UpnpHolds.h"

#include <QCoreApplication>
#include <QSet>

namespace {

constexpr quint32 kWeek = 604800;
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
    return text + QCoreApplication::translate("Router", " (UPnP IGD v%1)").arg(r.version());
}

} // namespace

quint32 RequestedLease(int igdVersion) {
    return igdVersion >= 2 ? kWeek : 0;
}

UpnpRouter::UpnpRouter(const RouterDeps& deps, UpnpOptions options, QString routeFile)
    : ProtocolRouter(deps), waiter_(makeWaiter(deps.pump)), options_(std::move(options)),
      routeFile_(std::move(routeFile)), forwards_(std::make_unique<UpnpForwardHolds>(*this)),
      pinholes_(std::make_unique<UpnpPinholeHolds>(*this)) {}

UpnpRouter::~UpnpRouter() = default;

QString UpnpRouter::kindName() const {
    return QStringLiteral("upnp");
}

RouterCapabilities UpnpRouter::capabilities() const {
    RouterCapabilities c;
    c.mappingTable = true;
    c.noDmzReason = QCoreApplication::translate(
        "Router", "A UPnP router offers no DMZ control: set the DMZ host in "
                  "the router's own settings.");
    return c;
}

void UpnpRouter::queryStatus() {
    beginStatusQuery();
    // The address as it is now: the settings dialog may have changed it since.
    options_.router =
        RouterAddressText(module_.settings.LanPrivateIP, routeFile_, options_.ipv6RoutePath);
    client_ = std::make_unique<IgdClient>(*waiter_, options_);
    ExternalAddressResult wan;
    const RouterMemory memory(RouterMemory::pathFor(module_.paths.IniPath));
    if (!FindRouter(*client_, memory, options_.router, wan)) {
        problems_ = {client_->router().failure};
        client_.reset();
        return endStatusQuery();
    }
    const IgdRouter& r = client_->router();
    module_.LocalIpAddress = r.localAddress.toString();
    if (!wan.ok()) {
        problems_ = {
            QCoreApplication::translate("Router", "The router did not tell its Internet address.")};
        client_.reset();
        return endStatusQuery();
    }
    QString why;
    const auto pinholes = pinholeClient(why);
    const QString ipv6 = pinholes ? Ipv6Text(pinholes->source()) : QString();
    lookForOuter(r.gateway, wan.address);
    showFound(wan.address, ExternalAddressWarning(wan.address, ipv6), deviceText(r), ipv6);
    keepOn(routerKey(), withOuter({forwards_.get(), pinholes_.get()}));
    tellOtherRouters();
    // What an earlier run recorded is looked up at the first tick: the router may have
    // restarted while nobody watched.
    if (!keeper_.linesOf(*forwards_).isEmpty())
        keeper_.checkAtNextTick();
    if (adoptOnStatus && RequestedLease(r.version()) != 0)
        adoptOwnForwards(client_->listPortMappings().entries);
    endStatusQuery();
}

QList<UpnpRouter::Held> UpnpRouter::held() const {
    QList<Held> out;
    for (const LeaseEntry& e : keeper_.linesOf(*forwards_)) {
        if (e.state == LeaseEntry::State::Clearing)
            continue;
        Held h{{e.internalPort, e.protocol, e.application, MappingDescription(e.application)},
               e.lifetime,
               {}};
        if (e.lifetime != 0 && e.leaseEnd.isValid())
            h.renewAt = e.leaseEnd.addSecs(-qint64(e.lifetime) / 2);
        out << h;
    }
    return out;
}

LeaseEntry UpnpRouter::entryFor(const PlannedMapping& m, const AddMappingResult& added) const {
    const quint32 lease = added.permanent ? 0 : added.grantedLease;
    LeaseEntry e;
    e.router = routerKey();
    e.routerId = routerId();
    e.kind = kindName();
    e.protocol = m.protocol;
    e.externalPort = e.internalPort = m.port;
    e.leaseEnd = lease != 0 ? clock_.now().addSecs(lease).toUTC() : QDateTime();
    e.lifetime = lease;
    e.application = m.application;
    e.remoteHost = added.sent.remoteHost;
    return e;
}

Outcome UpnpRouter::forward(const QList<PlannedMapping>& mappings) {
    const LeaseRecord::Batch batch(record_);
    if (client_->router().localAddress.protocol() == QAbstractSocket::IPv6Protocol)
        return forwardIpv6Only(mappings);
    QList<LeaseEntry> wanted;
    for (const PlannedMapping& m : mappings) {
        LeaseEntry e = entryFor(m, {});
        e.lifetime = RequestedLease(client_->router().version());
        wanted << e;
    }
    const Outcome v4 = keeper_.point(*forwards_, wanted, true);
    if (v4 == Outcome::Failed || v4 == Outcome::Cancelled)
        return v4;
    return WorstOf(WorstOf(v4, forwardOuter(mappings)), openPinholes(mappings));
}

Outcome UpnpRouter::forwardIpv6Only(const QList<PlannedMapping>& mappings) {
    // Reached over IPv6 only: an IPv4 forward would name no address of this computer, and the
    // router would send its traffic nowhere.
    QString why;
    if (pinholeClient(why))
        why.clear();
    else if (why.isEmpty())
        why = QCoreApplication::translate(
            "Router", "This computer has no IPv4 address toward the router, and the router "
                      "offers no IPv6 port opening: no port was opened.");
    return pinholesOnly(why, [&] { return openPinholes(mappings); });
}

QString UpnpRouter::routerKey() const {
    return client_ ? client_->router().gateway.toString() : QString();
}

QString UpnpRouter::routerId() const {
    return client_ ? client_->router().device.udn : QString();
}

void UpnpRouter::tellOtherRouters() {
    // Made on another router that answered at this address (another network, a replaced
    // box): not made again here, and left in the record for when that router is back.
    qsizetype others = 0;
    for (const LeaseEntry& e : record_.load())
        if (e.router == routerKey() && !e.onRouter(routerId()) &&
            (e.kind == kindName() || e.kind == QLatin1String("pinhole6")))
            ++others;
    if (others != 0)
        announce(QCoreApplication::translate(
                     "Router", "%1 forward(s) in the record were made on another router at %2; "
                               "this one (%3) is not asked to hold them.")
                     .arg(others)
                     .arg(routerKey(), routerId()));
}

void UpnpRouter::adoptOwnForwards(const QList<PortMappingEntry>& entries) {
    QList<LeaseEntry> found;
    for (const PortMappingEntry& e : entries) {
        if (!isThisComputer(e.internalClient) || e.externalPort != e.internalPort ||
            !MadeByHarborly(e.description) || e.leaseDuration == 0)
            continue;
        LeaseEntry l;
        l.router = routerKey();
        l.routerId = routerId();
        l.kind = kindName();
        l.protocol = e.protocol.toUpper();
        l.externalPort = l.internalPort = e.externalPort;
        l.lifetime = e.leaseDuration;
        l.leaseEnd = clock_.now().addSecs(e.leaseDuration).toUTC();
        l.application = e.description.mid(10);
        l.remoteHost = e.remoteHost;
        // Someone may be clearing it this very moment: the check decides.
        l.state = LeaseEntry::State::Unsure;
        found << l;
    }
    if (found.isEmpty())
        return;
    record_.update([&](QList<LeaseEntry>& recorded) {
        for (const LeaseEntry& l : found)
            if (std::none_of(recorded.begin(), recorded.end(),
                             [&](const LeaseEntry& o) { return o.sameForward(l); }))
                recorded << l;
    });
    keeper_.checkAtNextTick();
}

bool UpnpRouter::rediscover() {
    const QHostAddress old = client_->router().localAddress;
    auto fresh = std::make_unique<IgdClient>(*waiter_, options_);
    if (!fresh->discover()) {
        problems_ << QCoreApplication::translate(
                         "Router", "This computer's address changed and the router could not "
                                   "be found again: ") +
                         fresh->router().failure;
        tell(problems_.constLast());
        return false;
    }
    for (const LeaseEntry& e : keeper_.linesOf(*forwards_))
        if (e.state != LeaseEntry::State::Clearing)
            fresh->deletePortMapping(quint16(e.externalPort), e.protocol, e.remoteHost);
    client_ = std::move(fresh);
    module_.LocalIpAddress = client_->router().localAddress.toString();
    tell(QCoreApplication::translate("Router", "this computer's address changed from %1 to %2")
             .arg(old.toString(), module_.LocalIpAddress));
    return true;
}

std::optional<QList<ForwardEntry>> UpnpRouter::ReadForwards() {
    std::optional<QList<ForwardEntry>> rows;
    runOperation(QStringLiteral(QT_TRANSLATE_NOOP("Status", "Query Points")), [&] {
        const ListingResult list = client_->listPortMappings();
        if (!list.complete && list.entries.isEmpty()) {
            problems_ << (NoAnswer(list.end)
                              ? QCoreApplication::translate("Router", "The router did not answer.")
                              : QCoreApplication::translate(
                                    "Router", "The router did not list its forwards (%1).")
                                    .arg(list.endReason));
            return NoAnswer(list.end) ? Outcome::Failed : Outcome::Error;
        }
        QList<ForwardEntry> out;
        for (const PortMappingEntry& e : list.entries) {
            ForwardEntry f = ForwardRowOf(e);
            f.thisComputer = isThisComputer(e.internalClient);
            out << f;
        }
        SortForwards(out);
        rows = out + PinholeRows(recordedPinholes(), clock_.now()) + outerRows();
        if (!list.complete) {
            problems_ << QCoreApplication::translate(
                             "Router", "The router's list ended early (%1); forwards after the "
                                       "first %2 may be missing.")
                             .arg(list.endReason)
                             .arg(list.entries.size());
            return Outcome::Error;
        }
        return Outcome::Completed;
    });
    return rows;
}

bool UpnpRouter::isThisComputer(const QString& client) const {
    return client_ && !client.isEmpty() &&
           QHostAddress(client).isEqual(client_->router().localAddress,
                                        QHostAddress::TolerantConversion);
}

bool UpnpRouter::RemoveForward(const ForwardEntry& e) {
    if (e.pinhole)
        return removePinhole(e);
    if (!e.thisComputer) {
        problems_ = {QCoreApplication::translate(
                         "Router", "%1 port %2 forwards to another computer (%3); Harborly "
                                   "removes only this computer's forwards.")
                         .arg(e.protocol)
                         .arg(e.externalPort)
                         .arg(e.internalClient)};
        return false;
    }
    const bool ok = runOperation(QStringLiteral(QT_TRANSLATE_NOOP("Status", "Remove Point")), [&] {
        const ForwardChangeLock change(record_.path());
        const DeleteMappingResult d =
            client_->deletePortMapping(quint16(e.externalPort), e.protocol, e.remoteHost);
        // A router may answer yes and keep it: believe it once looked up.
        if (d.gone &&
            client_->getSpecificPortMappingEntry(quint16(e.externalPort), e.protocol, e.remoteHost)
                .entry) {
            problems_ << QCoreApplication::translate(
                             "Router", "%1 port %2: the router said it removed it, but still "
                                       "holds it.")
                             .arg(e.protocol)
                             .arg(e.externalPort);
            return Outcome::Error;
        }
        if (d.gone) {
            record_.update([&](QList<LeaseEntry>& entries) {
                entries.removeIf([&](const LeaseEntry& x) {
                    return forwards_->owns(x) && x.externalPort == e.externalPort &&
                           x.protocol == e.protocol;
                });
            });
            // Its pinhole and firewall opening go with it: what is removed by hand is not kept
            // open.
            return WorstOf(keeper_.removeAt(*pinholes_, e.internalPort, e.protocol),
                           closeFirewallAt(e.internalPort, e.protocol));
        }
        const QString words = DescribeUpnpError(d.answer.errorCode, quint16(e.externalPort),
                                                e.internalClient, UpnpAction::Remove);
        problems_ << QCoreApplication::translate("Router", "%1 port %2: %3")
                         .arg(e.protocol)
                         .arg(e.externalPort)
                         .arg(NoAnswer(d.answer) ? QCoreApplication::translate(
                                                       "Router", "the router did not answer.")
                              : words.isEmpty()
                                  ? QCoreApplication::translate(
                                        "Router", "the router refused to remove it (UPnP error "
                                                  "%1).")
                                        .arg(d.answer.errorCode)
                                  : words);
        return NoAnswer(d.answer) ? Outcome::Failed : Outcome::Error;
    });
    reportProblems(QCoreApplication::translate("Router", "The forward was not removed"));
    return ok;
}

HoldKind* UpnpRouter::forwardHolds() {
    return forwards_.get();
}

// The router's own table says whether the forward stands, to this computer, on the same port.
std::optional<bool> UpnpRouter::HoldsForward(const PlannedMapping& mapping) {
    if (!client_)
        return std::nullopt;
    const SpecificEntryResult e =
        client_->getSpecificPortMappingEntry(quint16(mapping.port), mapping.protocol);
    if (e.entry)
        return isThisComputer(e.entry->internalClient) && e.entry->internalPort == mapping.port &&
               e.entry->enabled;
    if (e.answer.isFault(714) || e.answer.ok())
        return false;
    return std::nullopt;
}
