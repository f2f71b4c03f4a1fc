#include "router/upnp/UpnpRouter.h"

#include "platform/Clock.h"
#include "router/MainView.h"
#include "router/net/Ipv6Address.h"
#include "router/upnp/PinholeClient.h"

#include <QFile>

#include <algorithm>

// IPv6 pinholes beside the IPv4 forwards, on routers whose description offers the IPv6
// firewall. The gateway cannot list them, so the record is their only list: they share its
// lines, states and change lock with the forwards.

namespace {

const QString kPinholeKind = QStringLiteral("pinhole6");
constexpr qint64 kRetrySeconds = 60;

QByteArray readSmall(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.read(1 << 20) : QByteArray();
}

bool noAnswer(const SoapAnswer& a) {
    return a.outcome == SoapOutcome::Unreachable || a.outcome == SoapOutcome::TimedOut;
}

QString pinholeText(const LeaseEntry& e) {
    return QStringLiteral("IPv6 pinhole %1/%2 for %3")
        .arg(e.internalPort)
        .arg(e.protocol, e.application);
}

} // namespace

QHostAddress UpnpRouter::pinholeSelf() const {
    return CurrentPinholeAddress(options_.pinholeAddress, options_.pinholeInterface,
                                 options_.ifInet6Path);
}

std::unique_ptr<PinholeClient> UpnpRouter::pinholeClient(QString& why, const QHostAddress& from) {
    if (!client_ || client_->router().firewall.serviceType.isEmpty())
        return nullptr;
    const QHostAddress self = from.isNull() ? pinholeSelf() : from;
    if (self.isNull())
        return nullptr; // no global IPv6 address here: nothing to open, nothing to say
    QHostAddress router6 = options_.router6;
    const QHostAddress described(client_->router().descriptionUrl.host());
    if (router6.isNull() && described.protocol() == QAbstractSocket::IPv6Protocol)
        router6 = described;
    // A router reached on IPv4 loopback runs on this computer (a simulated one): its IPv6
    // side is ::1.
    if (router6.isNull() && described.isLoopback())
        router6 = QHostAddress::LocalHostIPv6;
    if (router6.isNull())
        router6 = Ipv6DefaultRouter(readSmall(options_.ipv6RoutePath));
    if (router6.isNull()) {
        why = QStringLiteral("The router offers IPv6 port opening but cannot be reached over "
                             "IPv6 from this computer.");
        return nullptr;
    }
    IgdService firewall = client_->router().firewall;
    firewall.controlUrl = OnIpv6Host(firewall.controlUrl, router6);
    return std::make_unique<PinholeClient>(*waiter_, firewall, self, options_.timings);
}

LeaseEntry UpnpRouter::pinholeEntry(int port, const QString& protocol, const QString& application,
                                    const QString& address, quint16 uniqueId) const {
    const quint32 lease = PinholeClient::AskedLease;
    LeaseEntry e;
    e.router = routerKey();
    e.kind = kPinholeKind;
    e.protocol = protocol;
    e.externalPort = e.internalPort = port;
    e.leaseEnd = clock_.now().addSecs(lease).toUTC();
    e.lifetime = lease;
    e.application = application;
    e.address = address;
    e.uniqueId = uniqueId;
    return e;
}

QString UpnpRouter::openPinholes(const QList<PlannedMapping>& mappings) {
    QString why;
    const auto pinholes = pinholeClient(why);
    if (!pinholes) {
        if (why.isEmpty())
            return kCompleted;
        problems_ << why;
        return kError;
    }
    const FirewallStatus status = pinholes->getFirewallStatus();
    if (!status.ok()) {
        problems_ << (noAnswer(status.answer)
                          ? QStringLiteral("The router did not answer over IPv6.")
                          : QStringLiteral("The router did not say whether it filters IPv6."));
        return noAnswer(status.answer) ? kFailed : kError;
    }
    if (!status.enabled)
        return kCompleted; // IPv6 already gets through: nothing needs opening
    if (!status.inboundAllowed) {
        problems_ << PinholeProblem(703, 0);
        return kError;
    }
    bool refused = false;
    const QList<LeaseEntry> before = recordedPinholes();
    qsizetype moved = 0;
    for (const PlannedMapping& m : mappings) {
        if (view_.cancelRequested())
            return kCancelled;
        const ForwardChangeLock change(record_.path());
        const PinholeResult r = pinholes->addPinhole(quint16(m.port), m.protocol);
        LeaseEntry e = pinholeEntry(m.port, m.protocol, m.application, Ipv6Text(pinholes->source()),
                                    r.uniqueId);
        if (r.ok) {
            if (!record_.put(e))
                problems_ << pinholeText(e) + QStringLiteral(": opened, but not recorded: ") +
                                 record_.problem();
            // The line for an address this computer had before is replaced: its pinhole goes.
            for (const LeaseEntry& old : before)
                if (old.sameForward(e) && old.address != e.address &&
                    old.state != LeaseEntry::State::Clearing) {
                    closeLeftBehind(old);
                    ++moved;
                }
            continue;
        }
        problems_ << r.problem;
        if (noAnswer(r.answer)) {
            // The router may have opened it: the next check asks again with the same arguments,
            // which names the pinhole it has.
            e.state = LeaseEntry::State::Unsure;
            record_.put(e);
            return kFailed;
        }
        refused = true;
        if (r.answer.errorCode == 701 || r.answer.errorCode == 703)
            break;
    }
    if (moved != 0) {
        notes_ << Ipv6MovedText(Ipv6Text(pinholes->source()));
        announce(notes_.constLast());
    }
    return refused ? kError : kCompleted;
}

QList<LeaseEntry> UpnpRouter::recordedPinholes() const {
    QList<LeaseEntry> mine;
    for (const LeaseEntry& e : record_.load())
        if (e.kind == kPinholeKind && e.router == routerKey() && e.nonce.isEmpty())
            mine << e;
    return mine;
}

bool UpnpRouter::ipv6Only() const {
    return client_ && client_->router().localAddress.protocol() == QAbstractSocket::IPv6Protocol;
}

std::optional<bool> UpnpRouter::HoldsPinhole(const PlannedMapping& mapping) {
    return RecordedPinholeOpen(recordedPinholes(), mapping.port, mapping.protocol, clock_.now());
}

QList<ForwardEntry> UpnpRouter::pinholeRows() const {
    QList<ForwardEntry> rows;
    const QDateTime now = clock_.now();
    for (const LeaseEntry& e : recordedPinholes()) {
        if (e.state == LeaseEntry::State::Clearing || (e.leaseEnd.isValid() && e.leaseEnd <= now))
            continue;
        ForwardEntry f;
        f.externalPort = f.externalPortEnd = f.internalPort = e.internalPort;
        f.protocol = e.protocol;
        f.internalClient = e.address;
        f.description = QStringLiteral("IPv6 pinhole: ") + e.application;
        f.secondsLeft = e.leaseEnd.isValid() ? now.secsTo(e.leaseEnd) : -1;
        f.thisComputer = true;
        f.pinhole = true;
        rows << f;
    }
    return rows;
}

PinholeResult UpnpRouter::closePinhole(PinholeClient& pinholes, const LeaseEntry& e) {
    // Opened for an address this computer had before: only that address may close it, and
    // where it is gone nobody can; the pinhole then lapses at the end of its lease.
    const QHostAddress own(e.address);
    if (!own.isNull() && !own.isEqual(pinholes.source())) {
        PinholeResult lapses;
        lapses.ok = lapses.gone = true;
        if (!AddressStillHere(own, options_.ifInet6Path))
            return lapses;
        QString why;
        const auto fromOwn = pinholeClient(why, own);
        if (!fromOwn)
            return lapses;
        // Refused: it lapses too; only silence leaves it to try again.
        const PinholeResult r = closePinhole(*fromOwn, e);
        return r.ok || noAnswer(r.answer) ? r : lapses;
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

bool UpnpRouter::commitPinhole(PinholeClient& pinholes, const LeaseEntry& e) {
    bool listed = false;
    record_.update([&](QList<LeaseEntry>& entries) {
        for (LeaseEntry& old : entries)
            if (old.sameForward(e) && old.state != LeaseEntry::State::Clearing) {
                old = e;
                listed = true;
            }
    });
    if (!listed) {
        // Cleared while it was being renewed: the user's last word was to close it.
        pinholes.deletePinhole(e.uniqueId);
        tell(QStringLiteral("closed %1 again: it was cleared meanwhile").arg(pinholeText(e)));
    }
    return listed;
}

bool UpnpRouter::renewPinhole(PinholeClient& pinholes, const LeaseEntry& e, const QString& why,
                              bool& silent) {
    const ForwardChangeLock change(record_.path());
    PinholeResult r;
    r.gone = true;
    if (e.state == LeaseEntry::State::Held && e.uniqueId != 0)
        r = pinholes.updatePinhole(e.uniqueId);
    // Gone (a restart, or lapsed) or never confirmed: identical arguments make it again, or
    // name the one the router has.
    const bool again = r.gone;
    if (again)
        r = pinholes.addPinhole(quint16(e.internalPort), e.protocol);
    if (!r.ok) {
        silent = noAnswer(r.answer);
        if (!silent)
            retryAt_[PinholeRetryKey(e)] = clock_.now().addSecs(kRetrySeconds);
        problems_ << pinholeText(e) + QStringLiteral(": ") + r.problem;
        tell(problems_.constLast());
        return false;
    }
    retryAt_.remove(PinholeRetryKey(e));
    const LeaseEntry held =
        pinholeEntry(e.internalPort, e.protocol, e.application, e.address, r.uniqueId);
    if (commitPinhole(pinholes, held) && (again || !why.startsWith(QLatin1String("checked"))))
        tell(QStringLiteral("%1 %2 on %3: %4")
                 .arg(again ? QStringLiteral("opened again") : QStringLiteral("renewed"),
                      pinholeText(e), routerKey(), why));
    return true;
}

bool UpnpRouter::movePinholes(PinholeClient& pinholes, const QList<LeaseEntry>& moving,
                              bool& refused) {
    const QString now6 = Ipv6Text(pinholes.source());
    qsizetype moved = 0;
    for (const LeaseEntry& e : moving) {
        // Opened afresh for the new address; until the router grants it the line keeps the
        // old one and the next tick tries again.
        LeaseEntry wanted = e;
        wanted.address = now6;
        wanted.uniqueId = 0;
        bool silent = false;
        if (!renewPinhole(pinholes, wanted, QStringLiteral("this computer's IPv6 address changed"),
                          silent)) {
            if (silent)
                return false;
            refused = true;
            continue;
        }
        closeLeftBehind(e);
        ++moved;
    }
    if (moved != 0)
        announce(Ipv6MovedText(now6));
    return true;
}

bool UpnpRouter::pinholesMoving(const QList<LeaseEntry>& mine) const {
    const QHostAddress self = mine.isEmpty() ? QHostAddress() : pinholeSelf();
    return !DuePinholes(mine, self, retryAt_, clock_.now(), false).moving.isEmpty();
}

void UpnpRouter::closeLeftBehind(const LeaseEntry& old) {
    // From its own address only (the gateway checks the owner): a deprecated address is still
    // here; a removed one cannot ask, and its pinhole lapses at the end of its lease.
    const QHostAddress from(old.address);
    if (old.uniqueId == 0 || !AddressStillHere(from, options_.ifInet6Path))
        return;
    QString why;
    if (const auto pinholes = pinholeClient(why, from))
        pinholes->deletePinhole(old.uniqueId);
}

bool UpnpRouter::keepPinholes(const QList<LeaseEntry>& mine, bool check, bool& refused) {
    const QDateTime now = clock_.now();
    const QHostAddress self = pinholeSelf();
    const auto [work, moving] = DuePinholes(mine, self, retryAt_, now, check);
    if (work.isEmpty() && moving.isEmpty())
        return true;
    QString why;
    const auto pinholes = pinholeClient(why);
    if (!pinholes) {
        // No IPv6 now: what was being cleared closes by itself when its lease ends.
        record_.update([&](QList<LeaseEntry>& entries) {
            entries.removeIf([&](const LeaseEntry& o) {
                return o.kind == kPinholeKind && o.state == LeaseEntry::State::Clearing &&
                       o.leaseEnd <= now;
            });
        });
        for (const LeaseEntry& e : work + moving)
            retryAt_[PinholeRetryKey(e)] = now.addSecs(kRetrySeconds);
        return true;
    }
    if (!moving.isEmpty() && !movePinholes(*pinholes, moving, refused))
        return false;
    for (const LeaseEntry& e : work) {
        if (e.state == LeaseEntry::State::Clearing) {
            const ForwardChangeLock change(record_.path());
            const PinholeResult r = closePinhole(*pinholes, e);
            if (noAnswer(r.answer) && !r.ok)
                return false;
            if (r.ok) {
                record_.dropCleared(e);
                tell(QStringLiteral("closed %1: cleared while the router was silent")
                         .arg(pinholeText(e)));
            }
            continue;
        }
        const bool halfGone = now.secsTo(e.leaseEnd) <= qint64(e.lifetime / 2);
        bool silent = false;
        if (!renewPinhole(*pinholes, e,
                          halfGone ? QStringLiteral("half its lease was gone")
                                   : QStringLiteral("checked"),
                          silent)) {
            if (silent)
                return false;
            refused = true;
        }
    }
    return true;
}

QString UpnpRouter::clearPinholes(const QList<LeaseEntry>& marked) {
    if (marked.isEmpty())
        return kCompleted;
    QString why;
    const auto pinholes = pinholeClient(why);
    return clearMarkedPinholes(record_, marked, [&](const LeaseEntry& e) {
        if (!pinholes) {
            problems_ << pinholeText(e) + QStringLiteral(": ") +
                             (why.isEmpty() ? QStringLiteral("this computer has no global IPv6 "
                                                             "address now; it closes when its "
                                                             "lease ends.")
                                            : why);
            return PinholeClosing::NoWay;
        }
        const PinholeResult r = closePinhole(*pinholes, e);
        if (r.ok)
            return PinholeClosing::Closed;
        problems_ << pinholeText(e) + QStringLiteral(": ") + r.problem;
        return noAnswer(r.answer) ? PinholeClosing::Silent : PinholeClosing::Refused;
    });
}

bool UpnpRouter::removePinhole(const ForwardEntry& f) {
    std::optional<LeaseEntry> line;
    for (const LeaseEntry& e : recordedPinholes())
        if (e.internalPort == f.internalPort && e.protocol == f.protocol)
            line = e;
    if (!line) {
        problems_ = {QStringLiteral("IPv6 pinhole %1/%2 is not Harborly's.")
                         .arg(f.internalPort)
                         .arg(f.protocol)};
        return false;
    }
    const bool ok = runOperation(QStringLiteral("Remove Point"), [&] {
        QString why;
        const auto pinholes = pinholeClient(why);
        if (!pinholes) {
            problems_ << pinholeText(*line) + QStringLiteral(": ") +
                             (why.isEmpty() ? QStringLiteral("this computer has no global IPv6 "
                                                             "address now.")
                                            : why);
            return kError;
        }
        const ForwardChangeLock change(record_.path());
        const PinholeResult r = closePinhole(*pinholes, *line);
        if (r.ok) {
            record_.remove(*line);
            return kCompleted;
        }
        problems_ << pinholeText(*line) + QStringLiteral(": ") + r.problem;
        return noAnswer(r.answer) ? kFailed : kError;
    });
    reportProblems(QStringLiteral("The pinhole was not closed"));
    return ok;
}
