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

#include <QSet>

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

QString keyOf(const LeaseEntry& e) {
    return e.protocol + QString::number(e.internalPort);
}

} // namespace

quint32 RequestedLease(int igdVersion) {
    return igdVersion >= 2 ? kWeek : 0;
}

UpnpRouter::UpnpRouter(const RouterDeps& deps, UpnpOptions options, QString routeFile)
    : ProtocolRouter(deps), waiter_(makeWaiter(deps.pump)), options_(std::move(options)),
      routeFile_(std::move(routeFile)), record_(LeasePathFor(deps.module.paths.IniPath)) {}

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
        problems_ = {QStringLiteral("The router did not tell its Internet address.")};
        client_.reset();
        return endStatusQuery();
    }
    QString why;
    const auto pinholes = pinholeClient(why);
    const QString ipv6 = pinholes ? Ipv6Text(pinholes->source()) : QString();
    showFound(wan.address, ExternalAddressWarning(wan.address, ipv6), deviceText(r), ipv6);
    nextCheck_ = clock_.now().addSecs(CheckSeconds);
    // What an earlier run recorded is looked up at the first tick: the router may have
    // restarted while nobody watched.
    const auto mine = recorded();
    startCheck_ = mine && !mine->isEmpty();
    if (adoptOnStatus && RequestedLease(r.version()) != 0)
        adoptOwnForwards(client_->listPortMappings().entries);
    endStatusQuery();
}

std::optional<QList<LeaseEntry>> UpnpRouter::recorded() {
    return recordedOn(record_, routerKey());
}

QList<UpnpRouter::Held> UpnpRouter::held() const {
    QList<Held> out;
    for (const LeaseEntry& e : record_.load()) {
        if (e.kind != kindName() || e.router != routerKey() ||
            e.state == LeaseEntry::State::Clearing)
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
    e.kind = kindName();
    e.protocol = m.protocol;
    e.externalPort = e.internalPort = m.port;
    e.leaseEnd = lease != 0 ? clock_.now().addSecs(lease).toUTC() : QDateTime();
    e.lifetime = lease;
    e.application = m.application;
    e.remoteHost = added.sent.remoteHost;
    return e;
}

QString UpnpRouter::forward(const QList<PlannedMapping>& mappings) {
    const LeaseRecord::Batch batch(record_);
    if (client_->router().localAddress.protocol() == QAbstractSocket::IPv6Protocol)
        return forwardIpv6Only(mappings);
    const quint32 lease = RequestedLease(client_->router().version());
    bool refused = false;
    int done = 0;
    for (const PlannedMapping& m : mappings) {
        if (view_.cancelRequested()) {
            return kCancelled;
        }
        view_.showProgress(done + 1, int(mappings.size()));
        PortMappingRequest request;
        request.externalPort = quint16(m.port);
        request.internalPort = quint16(m.port);
        request.protocol = m.protocol;
        request.description = m.description;
        request.leaseSeconds = lease;
        const ForwardChangeLock change(record_.path());
        const AddMappingResult added = client_->addPortMapping(request);
        ++done;
        if (added.ok) {
            if (!record_.put(entryFor(m, added)))
                problems_ << forwardText(m.protocol, m.port, m.application) +
                                 QStringLiteral(": made, but not recorded: ") + record_.problem();
            continue;
        }
        problems_ << refusalText(m, added);
        if (noAnswer(added.answer)) {
            // The router may still make it: the next check looks it up.
            LeaseEntry e = entryFor(m, added);
            e.state = LeaseEntry::State::Unsure;
            record_.put(e);
            if (done < mappings.size())
                problems_ << QStringLiteral("%1 forward(s) not tried.").arg(mappings.size() - done);
            return kFailed;
        }
        refused = true;
    }
    view_.showProgress(done, int(mappings.size()));
    const QString six = openPinholes(mappings);
    if (six != kCompleted && six != kError)
        return six;
    return refused || six == kError ? kError : kCompleted;
}

QString UpnpRouter::forwardIpv6Only(const QList<PlannedMapping>& mappings) {
    // Reached over IPv6 only: an IPv4 forward would name no address of this computer, and the
    // router would send its traffic nowhere.
    QString why;
    if (pinholeClient(why))
        why.clear();
    else if (why.isEmpty())
        why = QStringLiteral("This computer has no IPv4 address toward the router, and the router "
                             "offers no IPv6 port opening: no port was opened.");
    return pinholesOnly(why, [&] { return openPinholes(mappings); });
}

bool UpnpRouter::commit(const LeaseEntry& e) {
    bool listed = false;
    record_.update([&](QList<LeaseEntry>& entries) {
        for (LeaseEntry& old : entries)
            if (old.sameForward(e) && old.state != LeaseEntry::State::Clearing) {
                old = e;
                listed = true;
            }
    });
    if (!listed) {
        // Cleared while it was being renewed: the user's last word was to remove it.
        client_->deletePortMapping(quint16(e.externalPort), e.protocol, e.remoteHost);
        tell(QStringLiteral("removed %1 again: it was cleared meanwhile")
                 .arg(forwardText(e.protocol, e.externalPort, e.application)));
    }
    return listed;
}

bool UpnpRouter::renew(const LeaseEntry& e, const QString& why, bool& silent) {
    const PlannedMapping m{e.internalPort, e.protocol, e.application,
                           MappingDescription(e.application)};
    PortMappingRequest request;
    request.externalPort = quint16(e.externalPort);
    request.internalPort = quint16(e.internalPort);
    request.protocol = e.protocol;
    request.description = m.description;
    request.leaseSeconds = RequestedLease(client_->router().version());
    request.remoteHost = e.remoteHost;
    const ForwardChangeLock change(record_.path());
    const AddMappingResult added = client_->addPortMapping(request);
    const QString key = keyOf(e);
    if (!added.ok) {
        silent = noAnswer(added.answer);
        if (!silent)
            retryAt_[key] = clock_.now().addSecs(kRetrySeconds);
        problems_ << refusalText(m, added);
        tell(problems_.constLast());
        return false;
    }
    retryAt_.remove(key);
    if (commit(entryFor(m, added)))
        tell(QStringLiteral("%1 %2 on %3: %4")
                 .arg(why.startsWith(QLatin1String("half")) ? QStringLiteral("renewed")
                                                            : QStringLiteral("made again"),
                      forwardText(e.protocol, e.externalPort, e.application), routerKey(), why));
    return true;
}

QString UpnpRouter::routerKey() const {
    return client_ ? client_->router().gateway.toString() : QString();
}

void UpnpRouter::adoptOwnForwards(const QList<PortMappingEntry>& entries) {
    QList<LeaseEntry> found;
    for (const PortMappingEntry& e : entries) {
        if (!isThisComputer(e.internalClient) || e.externalPort != e.internalPort ||
            !MadeByHarborly(e.description) || e.leaseDuration == 0)
            continue;
        LeaseEntry l;
        l.router = routerKey();
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
    startCheck_ = true;
}

bool UpnpRouter::KeepAlive() {
    if (!client_)
        return true;
    const auto read = recorded();
    if (!read)
        return false;
    const QList<LeaseEntry>& mine = *read;
    const QList<LeaseEntry> pinholes = recordedPinholes();
    if (mine.isEmpty() && pinholes.isEmpty() && !silent_)
        return true;
    // Another process renews this router's forwards; this one watches the record.
    if (!holdRenewerRole(record_.path(), routerKey()))
        return true;
    const QDateTime now = clock_.now();
    const bool check = startCheck_ || !nextCheck_.isValid() || nextCheck_ <= now;
    QList<LeaseEntry> due;
    for (const LeaseEntry& e : mine) {
        const QDateTime retry = retryAt_.value(keyOf(e));
        if (e.state == LeaseEntry::State::Held && e.lifetime != 0 &&
            e.leaseEnd.addSecs(-qint64(e.lifetime) / 2) <= now &&
            (!retry.isValid() || retry <= now))
            due << e;
    }
    const bool pinholeDue =
        std::any_of(pinholes.begin(), pinholes.end(),
                    [&](const LeaseEntry& e) { return e.halfLeaseGone(now); }) ||
        pinholesMoving(pinholes);
    if (due.isEmpty() && !pinholeDue && !check)
        return true;
    return runOperation(QStringLiteral("Renew Points"), [&] {
        QSet<QString> remade;
        if (check) {
            startCheck_ = false;
            nextCheck_ = now.addSecs(CheckSeconds);
            if (!this->check(mine, remade)) {
                routerSilent(now, mine.size());
                return kFailed;
            }
            // What the check made again is renewed already.
            due.removeIf([&](const LeaseEntry& e) { return remade.contains(keyOf(e)); });
        }
        bool refused = false;
        for (const LeaseEntry& e : due) {
            bool silent = false;
            if (!renew(e, QStringLiteral("half its lease was gone"), silent)) {
                if (silent) {
                    routerSilent(now, mine.size());
                    return kFailed;
                }
                refused = true;
            }
        }
        if (!keepPinholes(pinholes, check, refused)) {
            routerSilent(now, mine.size() + pinholes.size());
            return kFailed;
        }
        routerBack(remade.size());
        return refused ? kError : kCompleted;
    });
}

bool UpnpRouter::check(const QList<LeaseEntry>& mine, QSet<QString>& remade) {
    const IgdRouter& r = client_->router();
    const QHostAddress local = LocalAddressToward(r.gateway, quint16(r.descriptionUrl.port(80)));
    if (!local.isNull() && !local.isEqual(r.localAddress, QHostAddress::TolerantConversion))
        return moveForwards(mine, remade);
    for (const LeaseEntry& e : mine) {
        const QString what = forwardText(e.protocol, e.externalPort, e.application);
        if (e.state == LeaseEntry::State::Clearing) {
            const ForwardChangeLock change(record_.path());
            const DeleteMappingResult d =
                client_->deletePortMapping(quint16(e.externalPort), e.protocol, e.remoteHost);
            if (noAnswer(d.answer))
                return false;
            if (d.gone) {
                record_.dropCleared(e);
                tell(QStringLiteral("removed %1: cleared while the router was silent").arg(what));
            }
            continue;
        }
        const SpecificEntryResult found =
            client_->getSpecificPortMappingEntry(quint16(e.externalPort), e.protocol, e.remoteHost);
        if (noAnswer(found.answer))
            return false;
        const bool ours = found.entry && isThisComputer(found.entry->internalClient);
        const bool gone = found.answer.isFault(UpnpError::NoSuchEntry) ||
                          (found.entry && !isThisComputer(found.entry->internalClient));
        if (e.state == LeaseEntry::State::Unsure) {
            if (ours) {
                LeaseEntry held = e;
                held.state = LeaseEntry::State::Held;
                held.lifetime = found.entry->leaseDuration;
                held.leaseEnd =
                    held.lifetime != 0 ? clock_.now().addSecs(held.lifetime).toUTC() : QDateTime();
                if (commit(held))
                    tell(QStringLiteral("recorded %1: the router holds it").arg(what));
            } else if (gone) {
                record_.update([&](QList<LeaseEntry>& entries) {
                    entries.removeIf([&](const LeaseEntry& o) {
                        return o.sameForward(e) && o.state == LeaseEntry::State::Unsure;
                    });
                });
            }
            continue;
        }
        if (!gone)
            continue;
        bool silent = false;
        if (renew(e,
                  silent_ ? QStringLiteral("the router is back without it")
                          : QStringLiteral("gone from the router"),
                  silent))
            remade << keyOf(e);
        else if (silent)
            return false;
    }
    return true;
}

bool UpnpRouter::moveForwards(const QList<LeaseEntry>& mine, QSet<QString>& remade) {
    // The forwards still point at the old address; the router must be found again from the
    // new one first. Until then the check comes back soon.
    const QHostAddress old = client_->router().localAddress;
    auto fresh = std::make_unique<IgdClient>(*waiter_, options_);
    if (!fresh->discover()) {
        problems_ << QStringLiteral("This computer's address changed and the router could not "
                                    "be found again: ") +
                         fresh->router().failure;
        tell(problems_.constLast());
        return false;
    }
    for (const LeaseEntry& e : mine)
        if (e.state != LeaseEntry::State::Clearing)
            fresh->deletePortMapping(quint16(e.externalPort), e.protocol, e.remoteHost);
    client_ = std::move(fresh);
    module_.LocalIpAddress = client_->router().localAddress.toString();
    tell(QStringLiteral("this computer's address changed from %1 to %2")
             .arg(old.toString(), module_.LocalIpAddress));
    for (const LeaseEntry& e : mine) {
        if (e.state == LeaseEntry::State::Clearing)
            continue;
        bool silent = false;
        if (renew(e, QStringLiteral("this computer's address changed"), silent))
            remade << keyOf(e);
        else if (silent)
            return false;
    }
    return true;
}

bool UpnpRouter::ClearAll() {
    const bool ok = runOperation(QStringLiteral("Clear All Points"), [&] {
        // The intent goes into the record first: whatever happens next, nothing renews these.
        QList<LeaseEntry> mine;
        QList<LeaseEntry> pinholes;
        const bool marked = record_.update([&](QList<LeaseEntry>& entries) {
            for (LeaseEntry& e : entries) {
                if (e.router != routerKey())
                    continue;
                if (e.kind == kindName()) {
                    e.state = LeaseEntry::State::Clearing;
                    mine << e;
                } else if (e.kind == QLatin1String("pinhole6") && e.nonce.isEmpty()) {
                    e.state = LeaseEntry::State::Clearing;
                    pinholes << e;
                }
            }
        });
        if (!marked) {
            problems_ << record_.problem();
            return kError;
        }
        const QString v4 = [&]() -> QString {
            const ListingResult list = client_->listPortMappings();
            struct Target {
                quint16 port;
                QString protocol;
                QString remoteHost;
                QString client; // empty when only the record knows it
            };
            QList<Target> targets;
            // Harborly's own only: other programs' forwards and other computers' are not its to
            // remove (View Points removes one of them on purpose).
            for (const PortMappingEntry& e : list.entries) {
                const bool recorded =
                    std::any_of(mine.begin(), mine.end(), [&](const LeaseEntry& m) {
                        return m.externalPort == e.externalPort &&
                               m.protocol == e.protocol.toUpper();
                    });
                if (recorded || (isThisComputer(e.internalClient) && MadeByHarborly(e.description)))
                    targets.append(
                        {e.externalPort, e.protocol.toUpper(), e.remoteHost,
                         e.internalClient.isEmpty() ? QStringLiteral("?") : e.internalClient});
            }
            // Forwards of ours that a router leaves out of its list go too.
            for (const LeaseEntry& e : mine)
                if (std::none_of(targets.begin(), targets.end(), [&](const Target& t) {
                        return t.port == e.externalPort && t.protocol == e.protocol;
                    }))
                    targets.append({quint16(e.externalPort), e.protocol, e.remoteHost, {}});
            const auto unmark = [&](const QList<Target>& left) {
                record_.update([&](QList<LeaseEntry>& entries) {
                    for (LeaseEntry& e : entries)
                        for (const Target& t : left)
                            if (e.kind == kindName() && e.router == routerKey() &&
                                e.externalPort == t.port && e.protocol == t.protocol &&
                                e.state == LeaseEntry::State::Clearing)
                                e.state = LeaseEntry::State::Held;
                });
            };
            bool refused = false;
            if (!list.complete) {
                if (noAnswer(list.end) && list.entries.isEmpty()) {
                    problems_ << QStringLiteral(
                        "The router did not answer; its forwards are removed "
                        "when it answers again.");
                    return kFailed;
                }
                problems_ << QStringLiteral("The router's list could not be read whole (%1); "
                                            "forwards after the first %2 may remain.")
                                 .arg(list.endReason)
                                 .arg(list.entries.size());
                refused = true;
            }
            for (qsizetype i = 0; i < targets.size(); ++i) {
                const Target& t = targets[i];
                if (view_.cancelRequested()) {
                    unmark(targets.mid(i));
                    return kCancelled;
                }
                view_.showProgress(int(i) + 1, int(targets.size()));
                const ForwardChangeLock change(record_.path());
                const DeleteMappingResult d =
                    client_->deletePortMapping(t.port, t.protocol, t.remoteHost);
                bool gone = d.gone;
                if (d.answer.isFault(UpnpError::NoSuchEntry) && !t.client.isEmpty()) {
                    // The list said it is there: believe "no such entry" only once looked up.
                    const SpecificEntryResult again =
                        client_->getSpecificPortMappingEntry(t.port, t.protocol, t.remoteHost);
                    gone = again.answer.isFault(UpnpError::NoSuchEntry);
                }
                if (gone) {
                    std::optional<LeaseEntry> again;
                    record_.update([&](QList<LeaseEntry>& entries) {
                        const auto same = [&](const LeaseEntry& e) {
                            return e.kind == kindName() && e.router == routerKey() &&
                                   e.externalPort == t.port && e.protocol == t.protocol;
                        };
                        entries.removeIf([&](const LeaseEntry& e) {
                            return same(e) && e.state == LeaseEntry::State::Clearing;
                        });
                        for (const LeaseEntry& e : entries)
                            if (same(e))
                                again = e;
                    });
                    // Pointed to again by another process meanwhile: that is the last word.
                    bool silent = false;
                    if (again && again->state == LeaseEntry::State::Held)
                        renew(*again, QStringLiteral("pointed to again while it was cleared"),
                              silent);
                    continue;
                }
                const QString who = t.client == QLatin1String("?") ? QString() : t.client;
                const QString words =
                    DescribeUpnpError(d.answer.errorCode, t.port, who, UpnpAction::Remove);
                problems_ << QStringLiteral("%1 port %2%3: %4")
                                 .arg(t.protocol)
                                 .arg(t.port)
                                 .arg(who.isEmpty() ? QString()
                                                    : QStringLiteral(" (to %1)").arg(who))
                                 .arg(noAnswer(d.answer)
                                          ? QStringLiteral("the router did not answer.")
                                      : d.gone ? QStringLiteral("the router said it has no such "
                                                                "forward, but still lists it.")
                                      : words.isEmpty()
                                          ? QStringLiteral(
                                                "the router refused to remove it (UPnP error %1).")
                                                .arg(d.answer.errorCode)
                                          : words);
                if (noAnswer(d.answer)) {
                    // The rest stays marked: the next check removes it once the router answers.
                    if (i + 1 < targets.size())
                        problems_ << QStringLiteral("%1 forward(s) left to remove when the router "
                                                    "answers again.")
                                         .arg(targets.size() - i - 1);
                    return kFailed;
                }
                // Still on the router: held, as before.
                unmark({t});
                refused = true;
            }
            view_.showProgress(int(targets.size()), int(targets.size()));
            return refused ? kError : kCompleted;
        }();
        if (v4 == kCancelled) {
            record_.keepUncleared(pinholes);
            return v4;
        }
        const QString v6 = clearPinholes(pinholes);
        if (v4 == kFailed || v6 == kFailed || v6 == kCancelled)
            return v4 == kFailed ? v4 : v6;
        return v4 == kError || v6 == kError ? kError : kCompleted;
    });
    reportProblems(QStringLiteral("Some forwards were not removed"));
    return ok;
}

std::optional<QList<ForwardEntry>> UpnpRouter::ReadForwards() {
    std::optional<QList<ForwardEntry>> rows;
    runOperation(QStringLiteral("Query Points"), [&] {
        const ListingResult list = client_->listPortMappings();
        if (!list.complete && list.entries.isEmpty()) {
            problems_ << (noAnswer(list.end)
                              ? QStringLiteral("The router did not answer.")
                              : QStringLiteral("The router did not list its forwards (%1).")
                                    .arg(list.endReason));
            return noAnswer(list.end) ? kFailed : kError;
        }
        QList<ForwardEntry> out;
        for (const PortMappingEntry& e : list.entries) {
            ForwardEntry f;
            f.externalPort = f.externalPortEnd = e.externalPort;
            f.protocol = e.protocol.toUpper();
            f.internalClient = e.internalClient;
            f.remoteHost = e.remoteHost;
            f.internalPort = e.internalPort;
            f.description = e.description;
            f.secondsLeft = e.leaseDuration;
            f.thisComputer = isThisComputer(e.internalClient);
            out << f;
        }
        SortForwards(out);
        rows = out + pinholeRows();
        if (!list.complete) {
            problems_ << QStringLiteral("The router's list ended early (%1); forwards after the "
                                        "first %2 may be missing.")
                             .arg(list.endReason)
                             .arg(list.entries.size());
            return kError;
        }
        return kCompleted;
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
        problems_ = {QStringLiteral("%1 port %2 forwards to another computer (%3); Harborly "
                                    "removes only this computer's forwards.")
                         .arg(e.protocol)
                         .arg(e.externalPort)
                         .arg(e.internalClient)};
        return false;
    }
    const bool ok = runOperation(QStringLiteral("Remove Point"), [&] {
        const ForwardChangeLock change(record_.path());
        const DeleteMappingResult d =
            client_->deletePortMapping(quint16(e.externalPort), e.protocol, e.remoteHost);
        if (d.gone) {
            record_.update([&](QList<LeaseEntry>& entries) {
                entries.removeIf([&](const LeaseEntry& x) {
                    return x.kind == kindName() && x.router == routerKey() &&
                           x.externalPort == e.externalPort && x.protocol == e.protocol;
                });
            });
            return kCompleted;
        }
        const QString words = DescribeUpnpError(d.answer.errorCode, quint16(e.externalPort),
                                                e.internalClient, UpnpAction::Remove);
        problems_ << QStringLiteral("%1 port %2: %3")
                         .arg(e.protocol)
                         .arg(e.externalPort)
                         .arg(noAnswer(d.answer) ? QStringLiteral("the router did not answer.")
                              : words.isEmpty()
                                  ? QStringLiteral("the router refused to remove it (UPnP error "
                                                   "%1).")
                                        .arg(d.answer.errorCode)
                                  : words);
        return noAnswer(d.answer) ? kFailed : kError;
    });
    reportProblems(QStringLiteral("The forward was not removed"));
    return ok;
}
