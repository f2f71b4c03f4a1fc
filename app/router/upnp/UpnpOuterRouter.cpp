// SPDX-License-Identifier: GPL-3.0-or-later
#include "router/upnp/UpnpOuterRouter.h"

#include "platform/Clock.h"
#include "router/MappingPlan.h"
#include "router/upnp/UpnpErrors.h"
#include "router/upnp/UpnpHolds.h"
#include "router/upnp/UpnpRouter.h"

#include <QCoreApplication>

#include <algorithm>

UpnpOuterRouter::UpnpOuterRouter(std::unique_ptr<IgdClient> client, QString innerOutside,
                                 const Clock& clock)
    : client_(std::move(client)), inner_(std::move(innerOutside)), clock_(clock) {
    const ExternalAddressResult wan = client_->getExternalIPAddress();
    if (wan.ok())
        public_ = wan.address;
}

QString UpnpOuterRouter::address() const {
    return client_->router().gateway.toString();
}

QString UpnpOuterRouter::description() const {
    const UpnpDeviceInfo& d = client_->router().device;
    const QString name = d.friendlyName.isEmpty() ? d.modelName : d.friendlyName;
    return QCoreApplication::translate("OuterRouter", "%1 at %2 (UPnP IGD v%3)")
        .arg(name, address())
        .arg(client_->router().version());
}

LeaseEntry UpnpOuterRouter::wanted(int port, const QString& protocol, const QString& application) {
    LeaseEntry e;
    e.router = address();
    e.routerId = client_->router().device.udn;
    e.kind = QStringLiteral("upnp");
    e.protocol = protocol;
    e.externalPort = e.internalPort = port;
    e.lifetime = RequestedLease(client_->router().version());
    e.application = application;
    return e;
}

bool UpnpOuterRouter::towardInner(const PortMappingEntry& e) const {
    return QHostAddress(e.internalClient).isEqual(QHostAddress(inner_));
}

std::optional<bool> UpnpOuterRouter::holdsForward(int port, const QString& protocol) {
    const SpecificEntryResult e = client_->getSpecificPortMappingEntry(quint16(port), protocol);
    if (e.entry)
        return towardInner(*e.entry) && e.entry->internalPort == port && e.entry->enabled;
    if (e.answer.isFault(UpnpError::NoSuchEntry) || e.answer.ok())
        return false;
    return std::nullopt;
}

std::optional<QList<ForwardEntry>> UpnpOuterRouter::forwards() {
    const ListingResult list = client_->listPortMappings();
    if (!list.complete && list.entries.isEmpty())
        return std::nullopt;
    QList<ForwardEntry> rows;
    for (const PortMappingEntry& e : list.entries)
        rows << ForwardRowOf(e);
    return rows;
}

bool UpnpOuterRouter::owns(const LeaseEntry& e) const {
    return e.kind == QLatin1String("upnp") && e.router == address() &&
           e.onRouter(client_->router().device.udn);
}

QString UpnpOuterRouter::words(const LeaseEntry& e) const {
    return portText(e.protocol, e.externalPort, e.application);
}

Made UpnpOuterRouter::make(const LeaseEntry& wanted) {
    const PlannedMapping m{wanted.internalPort, wanted.protocol, wanted.application,
                           MappingDescription(wanted.application)};
    PortMappingRequest request = MappingRequestFor(wanted, client_->router().version());
    request.internalClient = inner_;
    const AddMappingResult added = client_->addPortMapping(request);
    Made out;
    if (!added.ok) {
        out.reply = NoAnswer(added.answer) ? Reply::Silent : Reply::Refused;
        out.problem = problemStart() + RefusalText(m, added);
        return out;
    }
    const quint32 lease = added.permanent ? 0 : added.grantedLease;
    LeaseEntry e = wanted;
    e.lifetime = lease;
    e.leaseEnd = lease != 0 ? clock_.now().addSecs(lease).toUTC() : QDateTime();
    e.state = LeaseEntry::State::Held;
    out.reply = Reply::Done;
    out.granted = e;
    return out;
}

Removed UpnpOuterRouter::remove(const LeaseEntry& e) {
    const DeleteMappingResult d = client_->deletePortMapping(quint16(e.externalPort), e.protocol);
    if (d.gone)
        return {Reply::Done, {}};
    const QString what = problemStart() + words(e) + QStringLiteral(": ");
    if (NoAnswer(d.answer))
        return {Reply::Silent,
                what + QCoreApplication::translate("OuterRouter", "the router did not answer.")};
    return {Reply::Refused, what + QCoreApplication::translate(
                                       "OuterRouter", "the router refused to remove it (UPnP "
                                                      "error %1).")
                                       .arg(d.answer.errorCode)};
}

Presence UpnpOuterRouter::lookUp(const LeaseEntry& e) {
    const SpecificEntryResult found =
        client_->getSpecificPortMappingEntry(quint16(e.externalPort), e.protocol);
    if (NoAnswer(found.answer))
        return Presence::Silent;
    if (found.answer.isFault(UpnpError::NoSuchEntry))
        return Presence::Gone;
    if (!found.entry)
        return Presence::Unknown;
    const QString& description = found.entry->description;
    const bool ours = towardInner(*found.entry) && found.entry->internalPort == e.internalPort &&
                      (description.isEmpty() || MadeByHarborly(description));
    return ours ? Presence::Ours : Presence::Taken;
}

QList<LeaseEntry> UpnpOuterRouter::unrecorded(const QList<LeaseEntry>& recorded, Outcome& out) {
    QList<LeaseEntry> found;
    const ListingResult list = client_->listPortMappings();
    if (!list.complete)
        out = WorstOf(out, Outcome::Error);
    for (const PortMappingEntry& p : list.entries) {
        if (!towardInner(p) || !MadeByHarborly(p.description))
            continue;
        LeaseEntry e = wanted(p.externalPort, p.protocol.toUpper(), p.description.mid(10));
        e.internalPort = p.internalPort;
        if (std::none_of(recorded.begin(), recorded.end(), [&](const LeaseEntry& o) {
                return owns(o) && o.externalPort == e.externalPort && o.protocol == e.protocol;
            }))
            found << e;
    }
    return found;
}
