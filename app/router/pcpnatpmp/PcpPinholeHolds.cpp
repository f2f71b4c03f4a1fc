// SPDX-License-Identifier: GPL-3.0-or-later
#include "router/pcpnatpmp/PcpNatPmpHolds.h"

#include "platform/Clock.h"
#include "router/net/Ipv6Address.h"
#include "router/pcpnatpmp/PcpNatPmpPackets.h"
#include "router/pcpnatpmp/PcpNatPmpRouter.h"

#include <QCoreApplication>

namespace {

const QString kPinholeKind = QStringLiteral("pinhole6");

} // namespace

bool PcpPinholeHolds::owns(const LeaseEntry& e) const {
    return e.kind == kPinholeKind && e.router == r_.routerKey_ && !e.nonce.isEmpty();
}

QString PcpPinholeHolds::words(const LeaseEntry& e) const {
    return QCoreApplication::translate("Router", "IPv6 pinhole %1/%2 for %3")
        .arg(e.internalPort)
        .arg(e.protocol, e.application);
}

bool PcpPinholeHolds::reachable(QString& why) {
    if (r_.pinholeClient())
        return true;
    why = QCoreApplication::translate(
        "Router", "this computer cannot reach the router over IPv6 now; it closes when "
                  "its lease ends.");
    return false;
}

Made PcpPinholeHolds::make(const LeaseEntry& wanted) {
    Made out;
    const auto six = r_.pinholeClient();
    if (!six) {
        out.reply = Reply::Refused;
        out.problem = words(wanted) + QCoreApplication::translate(
                                          "Router", ": this computer cannot reach the router "
                                                    "over IPv6 now.");
        return out;
    }
    const PcpNatPmpMapResult r = six->map(MapRequestFor(wanted, PcpNatPmpRouter::AskedLifetime));
    const bool heardBefore = r_.pinholesHeard_;
    r_.pinholesHeard_ = r_.pinholesHeard_ || r.answered;
    if (r.ok) {
        out.reply = Reply::Done;
        out.granted = r_.pinholeEntry(wanted.internalPort, wanted.protocol, wanted.application,
                                      wanted.address, wanted.nonce, r.grantedLifetime);
        return out;
    }
    if (!r.answered && !heardBefore) {
        // Never heard over IPv6: a router that speaks PCP on IPv4 only.
        out.reply = Reply::Refused;
        out.giveUp = true;
        out.note = QCoreApplication::translate(
                       "Router", "The router did not answer PCP over IPv6: no IPv6 pinhole was "
                                 "opened for this computer's address %1.")
                       .arg(wanted.address);
        return out;
    }
    out.reply = r.answered ? Reply::Refused : Reply::Silent;
    out.retryAfter = r.retryAfter;
    out.problem = words(wanted) + QStringLiteral(": ") + r.text;
    return out;
}

PcpNatPmpMapResult PcpPinholeHolds::unmap(PcpNatPmpClient& six, const LeaseEntry& e) {
    // Opened for an address this computer had before: only that address may close it, and
    // where it is gone nobody can; the pinhole then lapses at the end of its lease.
    const QHostAddress own(e.address);
    if (!own.isNull() && !own.isEqual(six.options().localAddress)) {
        PcpNatPmpMapResult lapses;
        lapses.ok = lapses.answered = true;
        if (!AddressStillHere(own, r_.options_.ifInet6Path))
            return lapses;
        const auto fromOwn = r_.pinholeClient(own);
        if (!fromOwn)
            return lapses;
        // Refused: it lapses too; only silence leaves it to try again.
        const PcpNatPmpMapResult r = fromOwn->unmap(e.protocol, quint16(e.internalPort), e.nonce);
        return r.ok || !r.answered ? r : lapses;
    }
    return six.unmap(e.protocol, quint16(e.internalPort), e.nonce);
}

Removed PcpPinholeHolds::remove(const LeaseEntry& e) {
    const auto six = r_.pinholeClient();
    if (!six)
        return {Reply::Refused,
                words(e) + QCoreApplication::translate("Router", ": this computer cannot reach the "
                                                                 "router over IPv6 now.")};
    const PcpNatPmpMapResult r = unmap(*six, e);
    if (r.ok)
        return {Reply::Done, {}};
    if (r.answered && r.resultCode == PcpResult::NotAuthorized && letLapse(*six, e))
        return {Reply::Done, {}, true};
    return {r.answered ? Reply::Refused : Reply::Silent, words(e) + QStringLiteral(": ") + r.text};
}

bool PcpPinholeHolds::letLapse(PcpNatPmpClient& six, const LeaseEntry& e) {
    const PcpNatPmpMapResult r = six.map(MapRequestFor(e, PcpNatPmpRouter::ShortestLifetime));
    if (!r.ok)
        return false;
    const QDateTime end = r_.clock_.now().addSecs(r.grantedLifetime).toUTC();
    r_.record_.update([&](QList<LeaseEntry>& entries) {
        for (LeaseEntry& o : entries)
            if (o.sameForward(e) && o.state == LeaseEntry::State::Clearing) {
                o.leaseEnd = end;
                o.lifetime = r.grantedLifetime;
            }
    });
    r_.notes_ << QCoreApplication::translate(
                     "Router", "%1: the router would not close it early; it closes by itself "
                               "in %2 s.")
                     .arg(words(e))
                     .arg(r.grantedLifetime);
    return true;
}

std::optional<LeaseEntry> PcpPinholeHolds::followed(const LeaseEntry& e) {
    const QHostAddress self = r_.pinholeSelf();
    if (self.isNull() || QHostAddress(e.address).isEqual(self))
        return std::nullopt;
    LeaseEntry wanted = e;
    wanted.address = self.toString();
    wanted.nonce = FreshNonce();
    return wanted;
}

void PcpPinholeHolds::leftBehind(const LeaseEntry& old) {
    // Only its own address may delete it: a deprecated address is still here; a removed one
    // cannot ask, and the pinhole lapses at the end of its lease.
    const QHostAddress from(old.address);
    if (old.nonce.isEmpty() || !AddressStillHere(from, r_.options_.ifInet6Path))
        return;
    if (const auto six = r_.pinholeClient(from))
        six->unmap(old.protocol, quint16(old.internalPort), old.nonce);
}

QString PcpPinholeHolds::followedNews(const LeaseEntry& now) const {
    return PcpNatPmpRouter::Ipv6MovedText(now.address);
}
