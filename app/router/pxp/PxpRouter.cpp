#include "router/pxp/PxpRouter.h"

#include "Module.h"
#include "platform/Clock.h"
#include "platform/Prompts.h"
#include "router/MainView.h"
#include "router/RouterDeps.h"
#include "router/net/ExternalAddress.h"
#include "router/net/Ipv6Address.h"
#include "router/net/LocalAddress.h"
#include "router/net/RouterAddress.h"

namespace {

// A forward the router did not take is tried again after this long, or after the lifetime a
// PCP refusal gave, when that is longer (a "long" error must not be retried within it).
constexpr qint64 kRetrySeconds = 60;

QString keyOf(const LeaseEntry& e) {
    return e.protocol + QString::number(e.internalPort);
}

bool mine(const LeaseEntry& e, const QString& router, const QString& kind) {
    return e.router == router && e.kind == kind;
}

} // namespace

std::pair<QHostAddress, quint16> PxpRouterAddress(const QString& lanPrivateIp,
                                                  const QString& routeFile,
                                                  const QString& ipv6RouteFile) {
    const RouterAddress a = ParseRouterAddress(
        RouterAddressText(lanPrivateIp, routeFile, ipv6RouteFile), PxpDefaultPort);
    const QHostAddress host(a.host);
    if (!a.valid || host.isNull())
        return {QHostAddress(), 0};
    return {host, a.port};
}

PxpRouter::PxpRouter(const RouterDeps& deps, PxpMode mode, PxpOptions options, QString routeFile)
    : ProtocolRouter(deps), mode_(mode), options_(std::move(options)),
      routeFile_(std::move(routeFile)), waiter_(makeWaiter(deps.pump)),
      record_(LeasePathFor(deps.module.paths.IniPath)) {
    options_.mode = mode;
    givenRouter6_ = options_.router6;
}

PxpRouter::~PxpRouter() = default;

QString PxpRouter::kindName() const {
    return mode_ == PxpMode::Pcp ? QStringLiteral("pcp") : QStringLiteral("natpmp");
}

RouterCapabilities PxpRouter::capabilities() const {
    RouterCapabilities c;
    c.mappingTable = true;
    c.noDmzReason = QStringLiteral("PCP and NAT-PMP offer no DMZ control: set the DMZ host in "
                                   "the router's own settings.");
    return c;
}

void PxpRouter::queryStatus() {
    beginStatusQuery();
    const auto [router, port] =
        PxpRouterAddress(module_.settings.LanPrivateIP, routeFile_, options_.ipv6RoutePath);
    if (router.isNull()) {
        problems_ << QStringLiteral("No router address is set and this computer has no default "
                                    "gateway.");
        return endStatusQuery();
    }
    if (mode_ == PxpMode::NatPmpOnly && router.protocol() == QAbstractSocket::IPv6Protocol) {
        problems_ << QStringLiteral("NAT-PMP works over IPv4 only, and this computer reaches the "
                                    "router at %1 over IPv6: choose PCP or UPnP.")
                         .arg(router.toString());
        return endStatusQuery();
    }
    options_.router = router;
    options_.port = port;
    // Reached over IPv6, the PCP server is also the one for pinholes.
    options_.router6 = router.protocol() == QAbstractSocket::IPv6Protocol ? router : givenRouter6_;
    routerKey_ = router.toString();
    client_ = std::make_unique<PxpClient>(*waiter_, options_);
    PxpAddressResult wan;
    if (probed_) {
        wan = probed_->first;
        client_->adopt(wan, probed_->second);
        probed_.reset();
    } else {
        wan = client_->externalAddress();
    }
    if (!wan.ok) {
        problems_ << (wan.text.isEmpty() ? QStringLiteral("No PCP or NAT-PMP router answered.")
                                         : wan.text);
        client_.reset();
        return endStatusQuery();
    }
    module_.LocalIpAddress = client_->localAddress().toString();
    protocol_ = wan.protocolUsed;
    const QString found =
        QStringLiteral("%1 router at %2").arg(PxpProtocolName(wan.protocolUsed), routerKey_);
    if (router.protocol() == QAbstractSocket::IPv6Protocol) {
        // Over IPv6 a mapping names this computer's own address: no IPv4 address to show.
        pinholesHeard_ = true;
        showFound({},
                  QStringLiteral("Over IPv6 the router does not tell its IPv4 Internet address."),
                  found, wan.address);
    } else {
        // Only where the IPv6 router answers PCP can a pinhole be opened: this computer's
        // address is then the way in, shown beside the WAN address.
        QString ipv6;
        if (const auto six = pinholeClient(); six && six->announce()) {
            pinholesHeard_ = true;
            ipv6 = pinholeSelf().toString();
        }
        showFound(wan.address, ExternalAddressWarning(wan.address, ipv6), found, ipv6);
    }
    const QDateTime now = clock_.now();
    nextCheck_ = now.addSecs(CheckSeconds);
    // The epoch an earlier run recorded, carried forward by the time since, against what the
    // router tells now: one that fell behind restarted while nobody watched.
    if (wan.answered)
        for (const LeaseEntry& e : recorded().value_or(QList<LeaseEntry>{}))
            if (e.state == LeaseEntry::State::Held && e.leaseEnd.isValid() && e.epoch != 0) {
                const qint64 elapsed = e.leaseEnd.addSecs(-qint64(e.lifetime)).secsTo(now);
                if (elapsed >= 0 && qint64(wan.epoch) + 2 < qint64(e.epoch) + elapsed * 7 / 8) {
                    pendingRemake_ = QStringLiteral("the router restarted while Harborly was "
                                                    "not running");
                    break;
                }
            }
    endStatusQuery();
}

std::optional<LeaseEntry> PxpRouter::dropCleared(const LeaseEntry& e) {
    std::optional<LeaseEntry> again;
    record_.update([&](QList<LeaseEntry>& entries) {
        entries.removeIf([&](const LeaseEntry& o) {
            return o.sameForward(e) && o.state == LeaseEntry::State::Clearing;
        });
        for (const LeaseEntry& o : entries)
            if (o.sameForward(e))
                again = o;
    });
    return again;
}

std::optional<QList<LeaseEntry>> PxpRouter::recorded() {
    return recordedOn(record_, routerKey_);
}

QList<LeaseEntry> PxpRouter::held() const {
    QList<LeaseEntry> out;
    for (const LeaseEntry& e : record_.load())
        if (mine(e, routerKey_, kindName()) && e.state != LeaseEntry::State::Clearing)
            out << e;
    return out;
}

LeaseEntry PxpRouter::entryFor(const PlannedMapping& m) {
    LeaseEntry e;
    e.router = routerKey_;
    e.kind = kindName();
    e.protocol = m.protocol;
    e.internalPort = m.port;
    e.externalPort = m.port;
    e.application = m.application;
    // Also one being cleared this moment: its nonce is the one the router knows.
    for (const LeaseEntry& old : recorded().value_or(QList<LeaseEntry>{}))
        if (old.sameForward(e)) {
            // Renewing keeps the nonce and asks for the port and address granted before.
            e.nonce = old.nonce;
            e.externalPort = old.externalPort;
            e.externalAddress = old.externalAddress;
        }
    return e;
}

QDateTime PxpRouter::renewAt(const LeaseEntry& e) {
    if (!e.leaseEnd.isValid())
        return {};
    const QDateTime granted = e.leaseEnd.addSecs(-qint64(e.lifetime));
    if (e.nonce.isEmpty())
        return granted.addSecs(qint64(e.lifetime) / 2);
    auto& [end, at] = renewAt_[keyOf(e)];
    if (end != e.leaseEnd) {
        end = e.leaseEnd;
        const double share = 0.5 + 0.125 * std::clamp(random(), 0.0, 1.0);
        at = granted.addMSecs(qint64(double(e.lifetime) * 1000.0 * share));
    }
    return at;
}

PxpRouter::MapOutcome PxpRouter::mapOne(const LeaseEntry& wanted, bool fromPoint) {
    PxpMapRequest request;
    request.protocol = wanted.protocol;
    request.internalPort = quint16(wanted.internalPort);
    request.suggestedExternalPort = quint16(wanted.externalPort);
    request.lifetimeSeconds = AskedLifetime;
    request.nonce = wanted.nonce;
    request.suggestedExternalAddress = QHostAddress(wanted.externalAddress);
    const ForwardChangeLock change(record_.path());
    const PxpMapResult r = client_->map(request);
    const QString what = QStringLiteral("%1 port %2 for %3: ")
                             .arg(wanted.protocol)
                             .arg(wanted.internalPort)
                             .arg(wanted.application);
    MapOutcome out;
    if (!r.ok) {
        out.silent = !r.answered;
        out.text = what + (r.text.isEmpty() ? QStringLiteral("the router refused it.") : r.text);
        if (!r.answered) {
            if (fromPoint) {
                // The router may still make it: the next check asks again.
                LeaseEntry e = wanted;
                e.state = LeaseEntry::State::Unsure;
                if (e.nonce.isEmpty())
                    e.nonce = r.nonce;
                record_.put(e);
            }
        } else {
            retryAt_[keyOf(wanted)] =
                clock_.now().addSecs(std::max<qint64>(kRetrySeconds, r.retryAfter));
        }
        return out;
    }
    retryAt_.remove(keyOf(wanted));
    LeaseEntry e = wanted;
    if (r.externalPort != wanted.internalPort)
        notes_ << QStringLiteral("%1/%2 reaches this computer through outside port %3.")
                      .arg(wanted.internalPort)
                      .arg(wanted.protocol)
                      .arg(r.externalPort);
    e.externalPort = r.externalPort;
    e.lifetime = r.grantedLifetime;
    e.leaseEnd = clock_.now().addSecs(r.grantedLifetime).toUTC();
    e.nonce = r.nonce;
    e.epoch = r.epoch;
    e.externalAddress = r.externalAddress;
    e.state = LeaseEntry::State::Held;
    bool listed = fromPoint;
    record_.update([&](QList<LeaseEntry>& entries) {
        if (fromPoint) {
            entries.removeIf([&](const LeaseEntry& o) { return o.sameForward(e); });
            entries << e;
            return;
        }
        for (LeaseEntry& o : entries)
            if (o.sameForward(e) && o.state != LeaseEntry::State::Clearing) {
                o = e;
                listed = true;
            }
    });
    if (!listed) {
        // Cleared while it was being renewed: the user's last word was to remove it.
        client_->unmap(e.protocol, quint16(e.internalPort), e.nonce);
        tell(QStringLiteral("removed %1 again: it was cleared meanwhile")
                 .arg(forwardText(e.protocol, e.internalPort, e.application)));
        out.text = what + QStringLiteral("cleared meanwhile.");
        return out;
    }
    out.ok = true;
    // The others were lost with it: the next tick makes them all again.
    if (r.restartDetected)
        pendingRemake_ = QStringLiteral("the router restarted");
    return out;
}

bool PxpRouter::remapAll(const QList<LeaseEntry>& mine, const QString& why, qsizetype& remade) {
    for (const LeaseEntry& e : mine) {
        if (e.state == LeaseEntry::State::Clearing)
            continue;
        // The same nonce and the port and address granted before, as a restarted router
        // expects.
        const MapOutcome o = mapOne(e, false);
        if (o.silent)
            return false;
        if (!o.ok) {
            problems_ << o.text;
            tell(o.text);
            continue;
        }
        ++remade;
        tell(QStringLiteral("made again %1 on %2: %3")
                 .arg(forwardText(e.protocol, e.internalPort, e.application), routerKey_, why));
    }
    return true;
}

QString PxpRouter::forward(const QList<PlannedMapping>& mappings) {
    const LeaseRecord::Batch batch(record_);
    if (options_.router.protocol() == QAbstractSocket::IPv6Protocol) {
        // An IPv4 mapping needs an IPv4 client address: over IPv6 a MAP opens pinholes only.
        return pinholesOnly(pinholeClient() ? QString()
                                            : QStringLiteral("This computer has no IPv4 address "
                                                             "toward the router, and no IPv6 "
                                                             "address to open ports for: no port "
                                                             "was opened."),
                            [&] { return openPinholes(mappings); });
    }
    bool refused = false;
    int done = 0;
    for (const PlannedMapping& m : mappings) {
        if (view_.cancelRequested()) {
            return kCancelled;
        }
        view_.showProgress(done + 1, int(mappings.size()));
        const MapOutcome o = mapOne(entryFor(m), true);
        ++done;
        if (o.ok)
            continue;
        problems_ << o.text;
        if (o.silent) {
            if (done < mappings.size())
                problems_ << QStringLiteral("%1 forward(s) not tried.").arg(mappings.size() - done);
            return kFailed;
        }
        refused = true;
    }
    view_.showProgress(done, int(mappings.size()));
    // Where a pinhole would be opened beside the forwards, NAT-PMP has nothing to ask with.
    if (protocol_ == PxpProtocol::NatPmp) {
        const QHostAddress six = pinholeSelf();
        if (!six.isNull())
            notes_ << QStringLiteral("NAT-PMP cannot open IPv6 pinholes: connections from outside "
                                     "to this computer's IPv6 address %1 stay blocked by the "
                                     "router's firewall.")
                          .arg(six.toString());
    }
    const QString pinholes = openPinholes(mappings);
    if (pinholes != kCompleted && pinholes != kError)
        return pinholes;
    return refused || pinholes == kError ? kError : kCompleted;
}

bool PxpRouter::check(const QList<LeaseEntry>& mine, qsizetype& remade) {
    // Another address here means every forward points at an address that is gone.
    const QHostAddress local = LocalAddressToward(options_.router, options_.port);
    if (!local.isNull() && local != client_->localAddress()) {
        client_ = std::make_unique<PxpClient>(*waiter_, options_);
        module_.LocalIpAddress = local.toString();
        return remapAll(mine, QStringLiteral("this computer's address changed"), remade);
    }
    const PxpAddressResult wan = client_->externalAddress();
    if (!wan.answered)
        return false;
    // What the user cleared while the router was silent goes first.
    for (const LeaseEntry& e : mine) {
        if (e.state != LeaseEntry::State::Clearing)
            continue;
        const ForwardChangeLock change(record_.path());
        const PxpMapResult r = client_->unmap(e.protocol, quint16(e.internalPort), e.nonce);
        if (!r.answered && !r.ok)
            return false;
        if (r.ok) {
            record_.dropCleared(e);
            tell(QStringLiteral("removed %1: cleared while the router was silent")
                     .arg(forwardText(e.protocol, e.internalPort, e.application)));
        }
    }
    QString why = pendingRemake_;
    pendingRemake_.clear();
    if (why.isEmpty() && wan.restartDetected)
        why = QStringLiteral("the router restarted");
    if (why.isEmpty() && silent_)
        why = QStringLiteral("the router answers again");
    if (!why.isEmpty())
        return remapAll(mine, why, remade);
    for (const LeaseEntry& e : mine) {
        if (e.state != LeaseEntry::State::Unsure)
            continue;
        // Asked for when the router went silent: the user wanted it, so it is made.
        const MapOutcome o = mapOne(e, false);
        if (o.silent)
            return false;
        if (o.ok)
            tell(QStringLiteral("recorded %1: made after the router answered again")
                     .arg(forwardText(e.protocol, e.internalPort, e.application)));
    }
    return true;
}

bool PxpRouter::KeepAlive() {
    if (!client_)
        return true;
    const auto read = recorded();
    if (!read)
        return false;
    const QList<LeaseEntry>& all = *read;
    const QList<LeaseEntry> pinholes = recordedPinholes();
    if (all.isEmpty() && pinholes.isEmpty() && !silent_)
        return true;
    if (!holdRenewerRole(record_.path(), routerKey_))
        return true;
    const QDateTime now = clock_.now();
    const bool check = !pendingRemake_.isEmpty() || !nextCheck_.isValid() || nextCheck_ <= now;
    QList<LeaseEntry> due;
    for (const LeaseEntry& e : all) {
        const QDateTime retry = retryAt_.value(keyOf(e));
        if (e.state == LeaseEntry::State::Held && (!retry.isValid() || retry <= now) &&
            (!e.leaseEnd.isValid() || renewAt(e) <= now))
            due << e;
    }
    const bool pinholeDue =
        std::any_of(pinholes.begin(), pinholes.end(),
                    [&](const LeaseEntry& e) { return e.halfLeaseGone(now); }) ||
        pinholesMoving(pinholes);
    if (!check && due.isEmpty() && !pinholeDue)
        return true;
    return runOperation(QStringLiteral("Renew Points"), [&] {
        qsizetype remade = 0;
        if (check) {
            nextCheck_ = now.addSecs(CheckSeconds);
            const qsizetype before = remade;
            if (!this->check(all, remade)) {
                routerSilent(now, all.size());
                return kFailed;
            }
            // Everything was made again: nothing is left to renew.
            if (remade != before)
                due.clear();
        }
        bool refused = false;
        for (const LeaseEntry& e : due) {
            const MapOutcome o = mapOne(e, false);
            if (o.silent) {
                problems_ << o.text;
                routerSilent(now, all.size());
                return kFailed;
            }
            if (!o.ok) {
                problems_ << o.text;
                tell(o.text);
                refused = true;
                continue;
            }
            tell(QStringLiteral("renewed %1 on %2: %3 of its lease gone")
                     .arg(forwardText(e.protocol, e.internalPort, e.application), routerKey_,
                          e.nonce.isEmpty() ? QStringLiteral("half")
                                            : QStringLiteral("a random point past half")));
        }
        if (!keepPinholes(pinholes, check, refused)) {
            routerSilent(now, all.size() + pinholes.size());
            return kFailed;
        }
        routerBack(remade);
        return refused ? kError : kCompleted;
    });
}

bool PxpRouter::ClearAll() {
    const bool ok = runOperation(QStringLiteral("Clear All Points"), [&] {
        // The intent goes into the record first: whatever happens next, nothing renews these.
        QList<LeaseEntry> targets;
        QList<LeaseEntry> pinholes;
        if (!record_.update([&](QList<LeaseEntry>& entries) {
                for (LeaseEntry& e : entries)
                    if (mine(e, routerKey_, kindName())) {
                        e.state = LeaseEntry::State::Clearing;
                        targets << e;
                    } else if (e.kind == QLatin1String("pinhole6") && e.router == routerKey_ &&
                               !e.nonce.isEmpty()) {
                        e.state = LeaseEntry::State::Clearing;
                        pinholes << e;
                    }
            })) {
            problems_ << record_.problem();
            return kError;
        }
        bool refused = false;
        for (qsizetype i = 0; i < targets.size(); ++i) {
            const LeaseEntry& e = targets[i];
            if (view_.cancelRequested()) {
                record_.keepUncleared(targets.mid(i) + pinholes);
                return kCancelled;
            }
            view_.showProgress(int(i) + 1, int(targets.size()));
            const ForwardChangeLock change(record_.path());
            const PxpMapResult r = client_->unmap(e.protocol, quint16(e.internalPort), e.nonce);
            if (r.ok) {
                if (const auto again = dropCleared(e)) {
                    // Pointed to again by another process meanwhile: that is the last word.
                    const MapOutcome o = mapOne(*again, false);
                    if (!o.ok)
                        problems_ << o.text;
                }
                continue;
            }
            problems_ << QStringLiteral("%1 port %2 for %3: %4")
                             .arg(e.protocol)
                             .arg(e.internalPort)
                             .arg(e.application, r.text);
            if (!r.answered) {
                // The rest stays marked: the next check removes it once the router answers.
                if (i + 1 < targets.size())
                    problems_ << QStringLiteral("%1 forward(s) left to remove when the router "
                                                "answers again.")
                                     .arg(targets.size() - i - 1);
                return kFailed;
            }
            record_.keepUncleared({e});
            refused = true;
        }
        view_.showProgress(int(targets.size()), int(targets.size()));
        const QString six = clearPinholes(pinholes);
        if (six != kCompleted && six != kError)
            return six;
        return refused || six == kError ? kError : kCompleted;
    });
    reportProblems(QStringLiteral("Some forwards were not removed"));
    if (problems_.isEmpty() && !notes_.isEmpty())
        prompts_.MsgBox(notes_.join(QLatin1Char('\r')), MsgIcon::Information,
                        QStringLiteral("Harborly"));
    return ok;
}

std::optional<QList<ForwardEntry>> PxpRouter::ReadForwards() {
    // These protocols cannot list the router's table: the record is what this computer holds.
    const QDateTime now = clock_.now();
    QList<ForwardEntry> rows;
    for (const LeaseEntry& e : held()) {
        ForwardEntry f;
        f.externalPort = f.externalPortEnd = e.externalPort;
        f.protocol = e.protocol;
        f.internalClient = module_.LocalIpAddress;
        f.internalPort = e.internalPort;
        f.description = e.application;
        f.secondsLeft = e.leaseEnd.isValid() ? std::max<qint64>(1, now.secsTo(e.leaseEnd)) : 0;
        f.thisComputer = true;
        rows << f;
    }
    SortForwards(rows);
    rows += pinholeRows();
    view_.setStatusCaption(kCompleted);
    return rows;
}

bool PxpRouter::RemoveForward(const ForwardEntry& f) {
    const bool ok = runOperation(QStringLiteral("Remove Point"), [&] {
        const auto six = f.pinhole ? pinholeClient() : nullptr;
        for (const LeaseEntry& e : f.pinhole ? recordedPinholes() : held()) {
            if (f.pinhole) {
                if (e.internalPort != f.internalPort || e.protocol != f.protocol || !six)
                    continue;
                const ForwardChangeLock change(record_.path());
                const PxpMapResult r = unmapPinhole(*six, e);
                if (r.ok)
                    record_.remove(e);
                else
                    problems_ << QStringLiteral("IPv6 pinhole %1/%2: %3")
                                     .arg(e.internalPort)
                                     .arg(e.protocol, r.text);
                return r.ok ? kCompleted : r.answered ? kError : kFailed;
            }
            if (e.externalPort != f.externalPort || e.protocol != f.protocol)
                continue;
            const ForwardChangeLock change(record_.path());
            const PxpMapResult r = client_->unmap(e.protocol, quint16(e.internalPort), e.nonce);
            if (r.ok) {
                record_.remove(e);
                return kCompleted;
            }
            problems_ << QStringLiteral("%1 port %2 for %3: removing it failed: %4")
                             .arg(e.protocol)
                             .arg(e.internalPort)
                             .arg(e.application, r.text);
            return r.answered ? kError : kFailed;
        }
        problems_ << QStringLiteral("%1 port %2 is not among the forwards this computer holds.")
                         .arg(f.protocol)
                         .arg(f.externalPort);
        return kError;
    });
    reportProblems(QStringLiteral("The forward was not removed"));
    return ok;
}
