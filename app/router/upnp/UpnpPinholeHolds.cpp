// SPDX-License-Identifier: GPL-3.0-or-later
#include "router/upnp/UpnpHolds.h"

#include "router/net/Ipv6Address.h"
#include "router/upnp/PinholeClient.h"
#include "router/upnp/UpnpRouter.h"

#include <QCoreApplication>

namespace {

const QString kPinholeKind = QStringLiteral("pinhole6");

} // namespace

bool UpnpPinholeHolds::owns(const LeaseEntry& e) const {
    return e.kind == kPinholeKind && e.router == r_.routerKey() && e.nonce.isEmpty() &&
           e.onRouter(r_.routerId());
}

QString UpnpPinholeHolds::words(const LeaseEntry& e) const {
    return QCoreApplication::translate("Router", "IPv6 pinhole %1/%2 for %3")
        .arg(e.internalPort)
        .arg(e.protocol, e.application);
}

bool UpnpPinholeHolds::reachable(QString& why) {
    if (r_.pinholeClient(why))
        return true;
    if (why.isEmpty())
        why = QCoreApplication::translate(
            "Router", "this computer has no global IPv6 address now; it closes when its "
                      "lease ends.");
    return false;
}

Made UpnpPinholeHolds::make(const LeaseEntry& wanted) {
    Made out;
    QString why;
    const auto pinholes = r_.pinholeClient(why);
    if (!pinholes) {
        out.reply = Reply::Refused;
        out.problem = words(wanted) + QStringLiteral(": ") +
                      (why.isEmpty() ? QCoreApplication::translate(
                                           "Router", "this computer has no global IPv6 address.")
                                     : why);
        return out;
    }
    PinholeResult r;
    r.gone = true;
    if (wanted.state == LeaseEntry::State::Held && wanted.uniqueId != 0)
        r = pinholes->updatePinhole(wanted.uniqueId);
    // Gone (a restart, or lapsed) or never confirmed: identical arguments make it again, or
    // name the one the router has.
    out.again = r.gone && wanted.uniqueId != 0;
    if (r.gone)
        r = pinholes->addPinhole(quint16(wanted.internalPort), wanted.protocol);
    if (!r.ok) {
        out.reply = NoAnswer(r.answer) ? Reply::Silent : Reply::Refused;
        out.problem = words(wanted) + QStringLiteral(": ") + r.problem;
        out.giveUp = r.answer.errorCode == 701 || r.answer.errorCode == 703;
        return out;
    }
    out.reply = Reply::Done;
    out.granted = r_.pinholeEntry(wanted.internalPort, wanted.protocol, wanted.application,
                                  Ipv6Text(pinholes->source()), r.uniqueId);
    return out;
}

Removed UpnpPinholeHolds::remove(const LeaseEntry& e) {
    QString why;
    const auto pinholes = r_.pinholeClient(why);
    if (!pinholes)
        return {Reply::Refused, words(e) + QStringLiteral(": ") + why};
    const PinholeResult r = close(*pinholes, e);
    if (r.ok)
        return {Reply::Done, {}};
    return {NoAnswer(r.answer) ? Reply::Silent : Reply::Refused,
            words(e) + QStringLiteral(": ") + r.problem};
}

PinholeResult UpnpPinholeHolds::close(PinholeClient& pinholes, const LeaseEntry& e) {
    // Opened for an address this computer had before: only that address may close it, and
    // where it is gone nobody can; the pinhole then lapses at the end of its lease.
    const QHostAddress own(e.address);
    if (!own.isNull() && !own.isEqual(pinholes.source())) {
        PinholeResult lapses;
        lapses.ok = lapses.gone = true;
        if (!AddressStillHere(own, r_.options_.ifInet6Path))
            return lapses;
        QString why;
        const auto fromOwn = r_.pinholeClient(why, own);
        if (!fromOwn)
            return lapses;
        // Refused: it lapses too; only silence leaves it to try again.
        const PinholeResult r = close(*fromOwn, e);
        return r.ok || NoAnswer(r.answer) ? r : lapses;
    }
    quint16 id = e.uniqueId;
    if (id == 0) {
        // Asked for while the router was silent: the same arguments name the pinhole it has.
        const PinholeResult found = pinholes.addPinhole(quint16(e.internalPort), e.protocol);
        if (!found.ok)
            return found;
        id = found.uniqueId;
    }
    return pinholes.deletePinhole(id);
}

std::optional<LeaseEntry> UpnpPinholeHolds::followed(const LeaseEntry& e) {
    const QHostAddress self = r_.pinholeSelf();
    if (self.isNull() || QHostAddress(e.address).isEqual(self))
        return std::nullopt;
    LeaseEntry wanted = e;
    wanted.address = Ipv6Text(self);
    wanted.uniqueId = 0;
    return wanted;
}

void UpnpPinholeHolds::leftBehind(const LeaseEntry& old) {
    // From its own address only (the gateway checks the owner): a deprecated address is still
    // here; a removed one cannot ask, and its pinhole lapses at the end of its lease.
    const QHostAddress from(old.address);
    if (old.uniqueId == 0 || !AddressStillHere(from, r_.options_.ifInet6Path))
        return;
    QString why;
    if (const auto pinholes = r_.pinholeClient(why, from))
        pinholes->deletePinhole(old.uniqueId);
}

QString UpnpPinholeHolds::followedNews(const LeaseEntry& now) const {
    return UpnpRouter::Ipv6MovedText(now.address);
}
