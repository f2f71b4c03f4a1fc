#include "router/pxp/PxpRouter.h"

#include "platform/Clock.h"
#include "router/MainView.h"
#include "router/net/Ipv6Address.h"
#include "router/pxp/PxpPackets.h"

#include <QFile>
#include <QRandomGenerator>

#include <algorithm>
#include <optional>

// PCP pinholes: a MAP for this computer's IPv6 address, sent from that address to the IPv6
// router, beside each forward. They live in the record like the forwards (kind "pinhole6" with
// the nonce that made them), under the same change lock and in the same states.

namespace {

const QString kPinholeKind = QStringLiteral("pinhole6");
constexpr qint64 kRetrySeconds = 60;

QString pinholeText(const LeaseEntry& e) {
    return QStringLiteral("IPv6 pinhole %1/%2 for %3")
        .arg(e.internalPort)
        .arg(e.protocol, e.application);
}

QByteArray freshNonce() {
    QByteArray nonce(12, '\0');
    for (char& c : nonce)
        c = char(QRandomGenerator::system()->bounded(256));
    return nonce;
}

} // namespace

QHostAddress PxpRouter::pinholeSelf() const {
    return CurrentPinholeAddress(options_.pinholeAddress, options_.pinholeInterface,
                                 options_.ifInet6Path);
}

std::unique_ptr<PxpClient> PxpRouter::pinholeClient(const QHostAddress& from) const {
    if (!client_ || mode_ != PxpMode::Pcp || protocol_ != PxpProtocol::Pcp)
        return nullptr;
    const QHostAddress self = from.isNull() ? pinholeSelf() : from;
    if (self.isNull())
        return nullptr;
    QHostAddress router6 = options_.router6;
    // A router on IPv4 loopback runs on this computer (a simulated one): its IPv6 side is ::1.
    if (router6.isNull() && options_.router.isLoopback())
        router6 = QHostAddress::LocalHostIPv6;
    if (router6.isNull()) {
        QFile route(options_.ipv6RoutePath);
        if (route.open(QIODevice::ReadOnly))
            router6 = Ipv6DefaultRouter(route.read(1 << 20));
    }
    if (router6.isNull())
        return nullptr;
    PxpOptions six = options_;
    six.router = router6;
    six.localAddress = self;
    six.mode = PxpMode::Pcp;
    return std::make_unique<PxpClient>(*waiter_, six);
}

QList<LeaseEntry> PxpRouter::recordedPinholes() const {
    QList<LeaseEntry> out;
    for (const LeaseEntry& e : record_.load())
        if (e.kind == kPinholeKind && e.router == routerKey_ && !e.nonce.isEmpty())
            out << e;
    return out;
}

LeaseEntry PxpRouter::pinholeEntry(int port, const QString& protocol, const QString& application,
                                   const QString& address, const QByteArray& nonce,
                                   quint32 lifetime) const {
    LeaseEntry e;
    e.router = routerKey_;
    e.kind = kPinholeKind;
    e.protocol = protocol;
    e.externalPort = e.internalPort = port;
    e.lifetime = lifetime;
    e.leaseEnd = clock_.now().addSecs(lifetime).toUTC();
    e.nonce = nonce;
    e.application = application;
    e.address = address;
    return e;
}

PxpRouter::MapOutcome PxpRouter::mapPinhole(PxpClient& six, const LeaseEntry& wanted) {
    const ForwardChangeLock change(record_.path());
    PxpMapRequest request;
    request.protocol = wanted.protocol;
    request.internalPort = quint16(wanted.internalPort);
    request.suggestedExternalPort = quint16(wanted.internalPort);
    request.lifetimeSeconds = AskedLifetime;
    request.nonce = wanted.nonce;
    const PxpMapResult r = six.map(request);
    pinholesHeard_ = pinholesHeard_ || r.answered;
    if (!r.ok) {
        if (!r.answered && pinholesHeard_) {
            // The router may have opened it: the next check asks again with the same nonce.
            LeaseEntry unsure = wanted;
            unsure.state = LeaseEntry::State::Unsure;
            record_.update([&](QList<LeaseEntry>& entries) {
                for (LeaseEntry& e : entries)
                    if (e.sameForward(unsure) && e.state != LeaseEntry::State::Clearing)
                        return;
                entries << unsure;
            });
        } else {
            retryAt_[PinholeRetryKey(wanted)] =
                clock_.now().addSecs(std::max<qint64>(kRetrySeconds, r.retryAfter));
        }
        return {false, !r.answered, pinholeText(wanted) + QStringLiteral(": ") + r.text};
    }
    const LeaseEntry held = pinholeEntry(wanted.internalPort, wanted.protocol, wanted.application,
                                         wanted.address, wanted.nonce, r.grantedLifetime);
    bool listed = false;
    record_.update([&](QList<LeaseEntry>& entries) {
        for (LeaseEntry& e : entries)
            if (e.sameForward(held)) {
                if (e.state == LeaseEntry::State::Clearing)
                    return;
                e = held;
                listed = true;
                return;
            }
        entries << held;
        listed = true;
    });
    if (!listed) {
        // Cleared while it was being renewed: the user's last word was to close it.
        six.unmap(held.protocol, quint16(held.internalPort), held.nonce);
        tell(QStringLiteral("closed %1 again: it was cleared meanwhile").arg(pinholeText(held)));
    }
    return {true, false, {}};
}

QString PxpRouter::openPinholes(const QList<PlannedMapping>& mappings) {
    const QHostAddress self = pinholeSelf();
    const auto six = pinholeClient();
    if (!six)
        return kCompleted;
    const QString address = self.toString();
    bool refused = false;
    qsizetype moved = 0;
    for (const PlannedMapping& m : mappings) {
        if (view_.cancelRequested())
            return kCancelled;
        // The nonce of a pinhole already held is kept: only it may renew the pinhole. One for
        // an address this computer had before is not this one's.
        QByteArray nonce = freshNonce();
        std::optional<LeaseEntry> old;
        for (const LeaseEntry& e : recordedPinholes())
            if (e.protocol == m.protocol && e.internalPort == m.port &&
                e.state != LeaseEntry::State::Clearing) {
                if (PinholeMoved(e, self))
                    old = e;
                else
                    nonce = e.nonce;
            }
        const MapOutcome o =
            mapPinhole(*six, pinholeEntry(m.port, m.protocol, m.application, address, nonce, 0));
        if (o.ok && old) {
            closeLeftBehind(*old);
            ++moved;
        }
        if (o.ok)
            continue;
        if (o.silent && !pinholesHeard_) {
            // Never heard over IPv6: a router that speaks PCP on IPv4 only.
            notes_ << QStringLiteral("The router did not answer PCP over IPv6: no IPv6 pinhole "
                                     "was opened for this computer's address %1.")
                          .arg(address);
            return kCompleted;
        }
        problems_ << o.text;
        if (o.silent)
            return kFailed;
        refused = true;
    }
    if (moved != 0) {
        notes_ << Ipv6MovedText(address);
        announce(notes_.constLast());
    }
    return refused ? kError : kCompleted;
}

bool PxpRouter::pinholesMoving(const QList<LeaseEntry>& mine) const {
    const QHostAddress self = mine.isEmpty() ? QHostAddress() : pinholeSelf();
    return !DuePinholes(mine, self, retryAt_, clock_.now(), false).moving.isEmpty();
}

bool PxpRouter::movePinholes(PxpClient& six, const QList<LeaseEntry>& moving, bool& refused) {
    const QString now6 = pinholeSelf().toString();
    qsizetype moved = 0;
    for (const LeaseEntry& e : moving) {
        // Until the router grants it the line keeps the old address, and a later tick tries
        // again.
        LeaseEntry wanted = e;
        wanted.address = now6;
        wanted.nonce = freshNonce();
        const MapOutcome o = mapPinhole(six, wanted);
        if (o.silent)
            return false;
        if (!o.ok) {
            problems_ << o.text;
            tell(o.text);
            refused = true;
            continue;
        }
        tell(QStringLiteral("opened again %1: this computer's IPv6 address changed")
                 .arg(pinholeText(wanted)));
        closeLeftBehind(e);
        ++moved;
    }
    if (moved != 0)
        announce(Ipv6MovedText(now6));
    return true;
}

PxpMapResult PxpRouter::unmapPinhole(PxpClient& six, const LeaseEntry& e) const {
    // Opened for an address this computer had before: only that address may close it, and
    // where it is gone nobody can; the pinhole then lapses at the end of its lease.
    const QHostAddress own(e.address);
    if (!own.isNull() && !own.isEqual(six.options().localAddress)) {
        PxpMapResult lapses;
        lapses.ok = lapses.answered = true;
        if (!AddressStillHere(own, options_.ifInet6Path))
            return lapses;
        const auto fromOwn = pinholeClient(own);
        if (!fromOwn)
            return lapses;
        // Refused: it lapses too; only silence leaves it to try again.
        const PxpMapResult r = fromOwn->unmap(e.protocol, quint16(e.internalPort), e.nonce);
        return r.ok || !r.answered ? r : lapses;
    }
    return six.unmap(e.protocol, quint16(e.internalPort), e.nonce);
}

void PxpRouter::closeLeftBehind(const LeaseEntry& old) {
    // Only its own address may delete it: a deprecated address is still here; a removed one
    // cannot ask, and the pinhole lapses at the end of its lease.
    const QHostAddress from(old.address);
    if (old.nonce.isEmpty() || !AddressStillHere(from, options_.ifInet6Path))
        return;
    if (const auto six = pinholeClient(from))
        six->unmap(old.protocol, quint16(old.internalPort), old.nonce);
}

bool PxpRouter::keepPinholes(const QList<LeaseEntry>& mine, bool check, bool& refused) {
    const QDateTime now = clock_.now();
    const QHostAddress self = pinholeSelf();
    const auto [work, moving] = DuePinholes(mine, self, retryAt_, now, check);
    if (work.isEmpty() && moving.isEmpty())
        return true;
    const auto six = pinholeClient();
    if (!six)
        return true;
    if (!moving.isEmpty() && !movePinholes(*six, moving, refused))
        return false;
    for (const LeaseEntry& e : work) {
        if (e.state == LeaseEntry::State::Clearing) {
            const ForwardChangeLock change(record_.path());
            const bool lapsed = e.leaseEnd.isValid() && e.leaseEnd <= now;
            const PxpMapResult r = lapsed ? PxpMapResult{} : unmapPinhole(*six, e);
            if (!lapsed && !r.answered)
                return false;
            if (lapsed) {
                record_.dropCleared(e);
            } else if (r.ok) {
                record_.dropCleared(e);
                tell(QStringLiteral("closed %1: cleared while the router was silent")
                         .arg(pinholeText(e)));
            }
            continue;
        }
        // The same MAP with the same nonce renews it, or opens it again after a restart.
        const MapOutcome o = mapPinhole(*six, e);
        if (o.silent)
            return false;
        if (!o.ok) {
            problems_ << o.text;
            tell(o.text);
            refused = true;
        } else if (!check) {
            tell(QStringLiteral("renewed %1: half its lease was gone").arg(pinholeText(e)));
        }
    }
    return true;
}

// Some routers (miniupnpd 2.3.1) refuse to delete a pinhole once it was renewed, even for its own
// nonce. The shortest lease they grant closes it soon instead; it stays marked until then.
bool PxpRouter::letLapse(PxpClient& six, const LeaseEntry& e) {
    PxpMapRequest request;
    request.protocol = e.protocol;
    request.internalPort = quint16(e.internalPort);
    request.suggestedExternalPort = quint16(e.internalPort);
    request.lifetimeSeconds = ShortestLifetime;
    request.nonce = e.nonce;
    const PxpMapResult r = six.map(request);
    if (!r.ok)
        return false;
    const QDateTime end = clock_.now().addSecs(r.grantedLifetime).toUTC();
    record_.update([&](QList<LeaseEntry>& entries) {
        for (LeaseEntry& o : entries)
            if (o.sameForward(e) && o.state == LeaseEntry::State::Clearing) {
                o.leaseEnd = end;
                o.lifetime = r.grantedLifetime;
            }
    });
    notes_ << QStringLiteral("%1: the router would not close it early; it closes by itself in "
                             "%2 s.")
                  .arg(pinholeText(e))
                  .arg(r.grantedLifetime);
    return true;
}

QString PxpRouter::clearPinholes(const QList<LeaseEntry>& marked) {
    if (marked.isEmpty())
        return kCompleted;
    const auto six = pinholeClient();
    return clearMarkedPinholes(record_, marked, [&](const LeaseEntry& e) {
        if (!six) {
            problems_ << pinholeText(e) +
                             QStringLiteral(": this computer cannot reach the router over IPv6 "
                                            "now; it closes when its lease ends.");
            return PinholeClosing::NoWay;
        }
        const PxpMapResult r = unmapPinhole(*six, e);
        if (r.ok)
            return PinholeClosing::Closed;
        if (r.answered && r.resultCode == PcpResult::NotAuthorized && letLapse(*six, e))
            return PinholeClosing::LeftToLapse;
        problems_ << pinholeText(e) + QStringLiteral(": ") + r.text;
        return r.answered ? PinholeClosing::Refused : PinholeClosing::Silent;
    });
}

std::optional<bool> PxpRouter::HoldsPinhole(const PlannedMapping& mapping) {
    return RecordedPinholeOpen(recordedPinholes(), mapping.port, mapping.protocol, clock_.now());
}

QList<ForwardEntry> PxpRouter::pinholeRows() const {
    QList<ForwardEntry> rows;
    const QDateTime now = clock_.now();
    for (const LeaseEntry& e : recordedPinholes()) {
        if (e.state == LeaseEntry::State::Clearing || e.leaseEnd <= now)
            continue;
        ForwardEntry f;
        f.externalPort = f.externalPortEnd = f.internalPort = e.internalPort;
        f.protocol = e.protocol;
        f.internalClient = e.address;
        f.description = QStringLiteral("IPv6 pinhole: ") + e.application;
        f.secondsLeft = now.secsTo(e.leaseEnd);
        f.thisComputer = true;
        f.pinhole = true;
        rows << f;
    }
    return rows;
}
