// SPDX-License-Identifier: GPL-3.0-or-later
#include "router/upnp/UpnpHolds.h"

#include "platform/Clock.h"
#include "router/MappingPlan.h"
#include "router/net/LocalAddress.h"
#include "router/upnp/UpnpErrors.h"
#include "router/upnp/UpnpRouter.h"

#include <algorithm>

#include <QCoreApplication>

PortMappingRequest MappingRequestFor(const LeaseEntry& wanted, int igdVersion) {
    PortMappingRequest request;
    request.externalPort = quint16(wanted.externalPort);
    request.internalPort = quint16(wanted.internalPort);
    request.protocol = wanted.protocol;
    request.description = MappingDescription(wanted.application);
    request.leaseSeconds = RequestedLease(igdVersion);
    return request;
}

ForwardEntry ForwardRowOf(const PortMappingEntry& e) {
    ForwardEntry f;
    f.externalPort = f.externalPortEnd = e.externalPort;
    f.protocol = e.protocol.toUpper();
    f.internalClient = e.internalClient;
    f.remoteHost = e.remoteHost;
    f.internalPort = e.internalPort;
    f.description = e.description;
    f.secondsLeft = e.leaseDuration;
    return f;
}

bool NoAnswer(const SoapAnswer& a) {
    return a.outcome == SoapOutcome::Unreachable || a.outcome == SoapOutcome::TimedOut;
}

QString RefusalText(const PlannedMapping& m, const AddMappingResult& r) {
    const QString what = QCoreApplication::translate("Router", "%1 port %2 for %3: ")
                             .arg(m.protocol)
                             .arg(m.port)
                             .arg(m.application);
    if (NoAnswer(r.answer))
        return what + QCoreApplication::translate("Router", "the router did not answer.");
    const QString words = DescribeUpnpError(r.errorCode, quint16(m.port), r.conflictClient);
    if (!words.isEmpty())
        return what + words;
    if (r.errorCode != 0)
        return what +
               QCoreApplication::translate("Router", "the router refused it (UPnP error %1 %2).")
                   .arg(r.errorCode)
                   .arg(r.answer.errorDescription.left(60));
    return what + QCoreApplication::translate("Router", "the router refused it (HTTP %1).")
                      .arg(r.answer.httpStatus);
}

bool UpnpForwardHolds::owns(const LeaseEntry& e) const {
    return e.kind == r_.kindName() && e.router == r_.routerKey() && e.onRouter(r_.routerId());
}

QString UpnpForwardHolds::words(const LeaseEntry& e) const {
    return UpnpRouter::forwardText(e.protocol, e.externalPort, e.application);
}

Made UpnpForwardHolds::make(const LeaseEntry& wanted) {
    const PlannedMapping m{wanted.internalPort, wanted.protocol, wanted.application,
                           MappingDescription(wanted.application)};
    PortMappingRequest request = MappingRequestFor(wanted, r_.client_->router().version());
    request.remoteHost = wanted.remoteHost;
    const AddMappingResult added = r_.client_->addPortMapping(request);
    Made out;
    if (!added.ok) {
        out.reply = NoAnswer(added.answer) ? Reply::Silent : Reply::Refused;
        out.problem = RefusalText(m, added);
        if (!NoAnswer(added.answer) && added.errorCode != 0)
            out.reason = DescribeUpnpError(added.errorCode, quint16(m.port), added.conflictClient,
                                           UpnpAction::OpenAlike);
        return out;
    }
    out.reply = Reply::Done;
    out.granted = r_.entryFor(m, added);
    return out;
}

Removed UpnpForwardHolds::remove(const LeaseEntry& e) {
    const DeleteMappingResult d =
        r_.client_->deletePortMapping(quint16(e.externalPort), e.protocol, e.remoteHost);
    if (d.gone)
        return {Reply::Done, {}};
    const QString words =
        DescribeUpnpError(d.answer.errorCode, quint16(e.externalPort), {}, UpnpAction::Remove);
    const QString what = this->words(e) + QStringLiteral(": ");
    if (NoAnswer(d.answer))
        return {Reply::Silent,
                what + QCoreApplication::translate("Router", "the router did not answer.")};
    return {Reply::Refused,
            what + (words.isEmpty() ? QCoreApplication::translate(
                                          "Router", "the router refused to remove it (UPnP "
                                                    "error %1).")
                                          .arg(d.answer.errorCode)
                                    : words)};
}

Presence UpnpForwardHolds::lookUp(const LeaseEntry& e) {
    const SpecificEntryResult found =
        r_.client_->getSpecificPortMappingEntry(quint16(e.externalPort), e.protocol, e.remoteHost);
    if (NoAnswer(found.answer))
        return Presence::Silent;
    if (found.answer.isFault(UpnpError::NoSuchEntry))
        return Presence::Gone;
    if (!found.entry)
        return Presence::Unknown;
    // A router that leaves the description out cannot say whose it is: this computer's is
    // taken as Harborly's then.
    const QString& description = found.entry->description;
    const bool ours = r_.isThisComputer(found.entry->internalClient) &&
                      found.entry->internalPort == e.internalPort &&
                      (description.isEmpty() || MadeByHarborly(description));
    return ours ? Presence::Ours : Presence::Taken;
}

CheckStart UpnpForwardHolds::startCheck(bool wasSilent) {
    (void)wasSilent;
    const IgdRouter& router = r_.client_->router();
    const QHostAddress local =
        LocalAddressToward(router.gateway, quint16(router.descriptionUrl.port(80)));
    if (local.isNull() || local.isEqual(router.localAddress, QHostAddress::TolerantConversion))
        return {};
    // The forwards point at the old address; the router is found again from the new one
    // first. Until then the check comes back soon.
    if (!r_.rediscover())
        return {true, {}};
    return {false, QCoreApplication::translate("Router", "this computer's address changed")};
}

std::optional<CheckStart> UpnpForwardHolds::glance() {
    const StatusInfoResult status = r_.client_->getStatusInfo();
    if (NoAnswer(status.answer))
        return CheckStart{true, {}};
    const QDateTime now = r_.clock_.now();
    const qint64 uptime = status.ok() ? qint64(status.uptime) : -1;
    const qint64 since = uptimeAt_.isValid() ? uptimeAt_.secsTo(now) : 0;
    // Up for less than the time since it was last heard, although it was up then: it started
    // again in between. A router that tells no uptime (0, or no answer) tells nothing.
    const bool restarted = uptime_ > 0 && uptime > 0 && uptime < since;
    uptime_ = uptime;
    uptimeAt_ = now;
    if (!restarted)
        return CheckStart{};
    return CheckStart{false, QStringLiteral("the router restarted"), true};
}

QList<LeaseEntry> UpnpForwardHolds::unrecorded(const QList<LeaseEntry>& recorded, Outcome& out) {
    QList<LeaseEntry> found;
    const ListingResult list = r_.client_->listPortMappings();
    if (!list.complete) {
        const bool silent = NoAnswer(list.end) && list.entries.isEmpty();
        r_.problems_ << (silent ? QCoreApplication::translate(
                                      "Router", "The router did not answer; its forwards are "
                                                "removed when it answers again.")
                                : QCoreApplication::translate(
                                      "Router", "The router's list could not be read whole (%1); "
                                                "forwards after the first %2 may remain.")
                                      .arg(list.endReason)
                                      .arg(list.entries.size()));
        out = WorstOf(out, silent ? Outcome::Failed : Outcome::Error);
    }
    for (const PortMappingEntry& p : list.entries) {
        if (!r_.isThisComputer(p.internalClient) || !MadeByHarborly(p.description))
            continue;
        LeaseEntry e;
        e.router = r_.routerKey();
        e.routerId = r_.routerId();
        e.kind = r_.kindName();
        e.protocol = p.protocol.toUpper();
        e.externalPort = p.externalPort;
        e.internalPort = p.internalPort;
        e.remoteHost = p.remoteHost;
        e.application = p.description.mid(10);
        if (std::none_of(recorded.begin(), recorded.end(), [&](const LeaseEntry& o) {
                return owns(o) && o.externalPort == e.externalPort && o.protocol == e.protocol;
            }))
            found << e;
    }
    return found;
}
