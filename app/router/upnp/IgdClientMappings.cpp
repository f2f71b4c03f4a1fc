// SPDX-License-Identifier: GPL-3.0-or-later
// The port mapping actions: adding with the fallbacks routers need, deleting, reading back
// and listing.
#include "router/upnp/IgdClient.h"

#include "router/upnp/UpnpErrors.h"

#include <QCoreApplication>

namespace {

using std::chrono::milliseconds;

QString portText(quint16 port) {
    return QString::number(port);
}

// Entries asked for in one GetListOfPortMappings.
constexpr qsizetype kListPage = 1000;

bool isProtocol(const QString& protocol) {
    return protocol == QLatin1String("TCP") || protocol == QLatin1String("UDP");
}

SoapArguments addArguments(const PortMappingRequest& r) {
    return {{"NewRemoteHost", r.remoteHost},
            {"NewExternalPort", portText(r.externalPort)},
            {"NewProtocol", r.protocol},
            {"NewInternalPort", portText(r.internalPort)},
            {"NewInternalClient", r.internalClient},
            {"NewEnabled", QStringLiteral("1")},
            {"NewPortMappingDescription", r.description},
            {"NewLeaseDuration", QString::number(r.leaseSeconds)}};
}

// The other forms a refused AddPortMapping is sent in, each tried once.
struct AddFallbacks {
    bool leaseForm = false;
    bool permanent = false;
    bool samePort = false;
    bool anyRemote = false;

    // Turns `r` into the form to send after fault `code`; false when none is left to try.
    bool next(int code, PortMappingRequest& r) {
        if (code == UpnpError::OnlyPermanentLeases && !permanent && r.leaseSeconds != 0) {
            permanent = true;
            r.leaseSeconds = 0;
        } else if (code == UpnpError::InvalidArgs && !leaseForm) {
            // Routers refuse one lease form or the other with 402.
            leaseForm = true;
            r.leaseSeconds = r.leaseSeconds != 0 ? 0 : 3600;
        } else if (code == UpnpError::SamePortValuesRequired && !samePort &&
                   r.externalPort != r.internalPort) {
            samePort = true;
            r.externalPort = r.internalPort;
        } else if (code == UpnpError::RemoteHostOnlyWildcard && !anyRemote &&
                   !r.remoteHost.isEmpty()) {
            anyRemote = true;
            r.remoteHost.clear();
        } else {
            return false;
        }
        return true;
    }
};

} // namespace

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

    AddFallbacks tried;
    for (;;) {
        result.sent = r;
        result.answer = call(QStringLiteral("AddPortMapping"), addArguments(r));
        const SoapAnswer& a = result.answer;
        if (a.ok())
            break;
        if (a.outcome != SoapOutcome::Fault)
            return result;
        result.errorCode = a.errorCode;
        if (tried.next(a.errorCode, r))
            continue;
        // Some routers answer 718 to the owner re-adding its own forward.
        if (a.errorCode == UpnpError::Conflict)
            acceptOwnEntry(r, result);
        return result;
    }
    settleLease(r, tried.permanent, result);
    return result;
}

void IgdClient::acceptOwnEntry(const PortMappingRequest& sent, AddMappingResult& result) {
    const SpecificEntryResult held =
        getSpecificPortMappingEntry(sent.externalPort, sent.protocol, sent.remoteHost);
    if (!held.entry)
        return;
    if (!SameHost(held.entry->internalClient, sent.internalClient) ||
        held.entry->internalPort != sent.internalPort) {
        result.conflictClient = DisplayText(held.entry->internalClient);
        return;
    }
    result.alreadyOurs = true;
    result.ok = true;
    result.errorCode = 0;
    result.verified = true;
    result.grantedLease = held.entry->leaseDuration;
    result.permanent = held.entry->leaseDuration == 0 && router_.version() == 1;
}

void IgdClient::settleLease(const PortMappingRequest& sent, bool permanentOnly,
                            AddMappingResult& result) {
    result.ok = true;
    result.errorCode = 0;
    // Lease 0 is for good on version 1; version 2 routers must use a week instead.
    // 725 said the router keeps none but permanent ones, whatever its version.
    if (sent.leaseSeconds == 0 && (router_.version() == 1 || permanentOnly))
        result.permanent = true;
    else
        result.grantedLease = sent.leaseSeconds == 0 ? 604800 : sent.leaseSeconds;
    if (!sent.verify)
        return;
    // Some routers ignore the lease asked for, or drop the forward soon after.
    const SpecificEntryResult held =
        getSpecificPortMappingEntry(sent.externalPort, sent.protocol, sent.remoteHost);
    result.verified = held.entry.has_value();
    if (held.entry && held.entry->leaseDuration != 0) {
        result.grantedLease = held.entry->leaseDuration;
        result.permanent = false;
    }
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
    if (router_.version() == 2 && listAtOnce(result))
        return result;
    listGeneric(result, deadline);
    return result;
}

bool IgdClient::listAtOnce(ListingResult& result) {
    QList<PortMappingEntry> all;
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
        if (!listed || listed->size() >= kListPage)
            return false;
        all += *listed;
    }
    // An empty fast answer is not trusted: some routers list nothing there while the
    // per-index loop finds entries.
    if (all.isEmpty())
        return false;
    result.entries = all.mid(0, MaxListedMappings);
    result.fastPath = true;
    result.complete = true;
    result.endReason = QCoreApplication::translate("Router", "listed at once");
    return true;
}

bool IgdClient::listGeneric(ListingResult& result, milliseconds deadline) {
    std::optional<PortMappingEntry> previous;
    for (int index = 0;; ++index) {
        if (index >= MaxListedMappings) {
            result.endReason = QCoreApplication::translate("Router", "too many entries");
            return false;
        }
        if (waiter_.now() >= deadline) {
            result.endReason = QCoreApplication::translate("Router", "time limit");
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
            result.endReason =
                a.outcome == SoapOutcome::Fault
                    ? QCoreApplication::translate("Router", "error %1").arg(a.errorCode)
                    : QCoreApplication::translate("Router", "no answer");
            return result.complete;
        }
        const std::optional<PortMappingEntry> entry = EntryFromAnswer(a);
        if (!entry)
            continue;
        // Looping firmware hands the same entry out forever; its lease may tick meanwhile.
        if (previous && previous->externalPort == entry->externalPort &&
            previous->protocol == entry->protocol && previous->remoteHost == entry->remoteHost) {
            result.endReason = QCoreApplication::translate("Router", "repeated entry");
            return false;
        }
        result.entries.append(*entry);
        previous = entry;
    }
}
