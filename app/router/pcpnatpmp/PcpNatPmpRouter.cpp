// SPDX-License-Identifier: GPL-3.0-or-later
#include "router/pcpnatpmp/PcpNatPmpRouter.h"

#include "Module.h"
#include "platform/Clock.h"
#include "platform/Prompts.h"
#include "router/MainView.h"
#include "router/RouterDeps.h"
#include "router/net/ExternalAddress.h"
#include "router/net/Ipv6Address.h"
#include "router/net/LocalAddress.h"
#include "router/net/RouterAddress.h"
#include "router/pcpnatpmp/PcpNatPmpHolds.h"

#include <QCoreApplication>

namespace {} // namespace

std::pair<QHostAddress, quint16> PcpNatPmpRouterAddress(const QString& lanPrivateIp,
                                                        const QString& routeFile,
                                                        const QString& ipv6RouteFile) {
    const RouterAddress a = ParseRouterAddress(
        RouterAddressText(lanPrivateIp, routeFile, ipv6RouteFile), PcpNatPmpDefaultPort);
    const QHostAddress host(a.host);
    if (!a.valid || host.isNull())
        return {QHostAddress(), 0};
    return {host, a.port};
}

PcpNatPmpRouter::PcpNatPmpRouter(const RouterDeps& deps, PcpNatPmpMode mode,
                                 PcpNatPmpOptions options, QString routeFile)
    : ProtocolRouter(deps), mode_(mode), options_(std::move(options)),
      routeFile_(std::move(routeFile)), waiter_(makeWaiter(deps.pump)),
      mappings_(std::make_unique<PcpNatPmpMappingHolds>(*this)),
      pinholes_(std::make_unique<PcpPinholeHolds>(*this)) {
    options_.mode = mode;
    givenRouter6_ = options_.router6;
}

PcpNatPmpRouter::~PcpNatPmpRouter() = default;

QString PcpNatPmpRouter::kindName() const {
    return mode_ == PcpNatPmpMode::Pcp ? QStringLiteral("pcp") : QStringLiteral("natpmp");
}

RouterCapabilities PcpNatPmpRouter::capabilities() const {
    RouterCapabilities c;
    c.mappingTable = true;
    c.noDmzReason = QCoreApplication::translate(
        "Router", "PCP and NAT-PMP offer no DMZ control: set the DMZ host in "
                  "the router's own settings.");
    return c;
}

void PcpNatPmpRouter::queryStatus() {
    beginStatusQuery();
    const auto [router, port] =
        PcpNatPmpRouterAddress(module_.settings.LanPrivateIP, routeFile_, options_.ipv6RoutePath);
    if (router.isNull()) {
        problems_ << QCoreApplication::translate(
            "Router", "No router address is set and this computer has no default "
                      "gateway.");
        return endStatusQuery();
    }
    if (mode_ == PcpNatPmpMode::NatPmpOnly && router.protocol() == QAbstractSocket::IPv6Protocol) {
        problems_ << QCoreApplication::translate(
                         "Router", "NAT-PMP works over IPv4 only, and this computer reaches the "
                                   "router at %1 over IPv6: choose PCP or UPnP.")
                         .arg(router.toString());
        return endStatusQuery();
    }
    options_.router = router;
    options_.port = port;
    // Reached over IPv6, the PCP server is also the one for pinholes.
    options_.router6 = router.protocol() == QAbstractSocket::IPv6Protocol ? router : givenRouter6_;
    routerKey_ = router.toString();
    client_ = std::make_unique<PcpNatPmpClient>(*waiter_, options_);
    PcpNatPmpAddressResult wan;
    if (probed_) {
        wan = probed_->first;
        client_->adopt(wan, probed_->second);
        probed_.reset();
    } else {
        wan = client_->externalAddress();
    }
    if (!wan.ok) {
        problems_ << (wan.text.isEmpty() ? QCoreApplication::translate(
                                               "Router", "No PCP or NAT-PMP router answered.")
                                         : wan.text);
        client_.reset();
        return endStatusQuery();
    }
    module_.LocalIpAddress = client_->localAddress().toString();
    protocol_ = wan.protocolUsed;
    const QString found = QCoreApplication::translate("Router", "%1 router at %2")
                              .arg(PcpNatPmpProtocolName(wan.protocolUsed), routerKey_);
    if (router.protocol() == QAbstractSocket::IPv6Protocol) {
        // Over IPv6 a mapping names this computer's own address: no IPv4 address to show, and
        // nothing to warn of at every start (the pinholes are the way in).
        pinholesHeard_ = true;
        showFound({}, {}, found, wan.address);
    } else {
        // Only where the IPv6 router answers PCP can a pinhole be opened: this computer's
        // address is then the way in, shown beside the WAN address.
        QString ipv6;
        if (const auto six = pinholeClient(); six && six->announce()) {
            pinholesHeard_ = true;
            ipv6 = pinholeSelf().toString();
        }
        lookForOuter(router, wan.address);
        showFound(wan.address, ExternalAddressWarning(wan.address, ipv6), found, ipv6);
    }
    const QDateTime now = clock_.now();
    keepOn(routerKey_, withOuter({mappings_.get(), pinholes_.get()}));
    // The epoch an earlier run recorded, carried forward by the time since, against what the
    // router tells now: one that fell behind restarted while nobody watched.
    if (wan.answered)
        for (const LeaseEntry& e : keeper_.linesOf(*mappings_))
            if (e.state == LeaseEntry::State::Held && e.leaseEnd.isValid() && e.epoch != 0) {
                const qint64 elapsed = e.leaseEnd.addSecs(-qint64(e.lifetime)).secsTo(now);
                if (elapsed >= 0 && qint64(wan.epoch) + 2 < qint64(e.epoch) + elapsed * 7 / 8) {
                    pendingRemake_ = QCoreApplication::translate(
                        "Router", "the router restarted while Harborly was "
                                  "not running");
                    break;
                }
            }
    endStatusQuery();
}

QList<LeaseEntry> PcpNatPmpRouter::held() const {
    QList<LeaseEntry> out;
    for (const LeaseEntry& e : keeper_.linesOf(*mappings_))
        if (e.state != LeaseEntry::State::Clearing)
            out << e;
    return out;
}

LeaseEntry PcpNatPmpRouter::entryFor(const PlannedMapping& m) {
    LeaseEntry e;
    e.router = routerKey_;
    e.kind = kindName();
    e.protocol = m.protocol;
    e.internalPort = m.port;
    e.externalPort = m.port;
    e.application = m.application;
    // Also one being cleared this moment: its nonce is the one the router knows.
    for (const LeaseEntry& old : keeper_.linesOf(*mappings_))
        if (old.sameForward(e)) {
            // Renewing keeps the nonce and asks for the port and address granted before.
            e.nonce = old.nonce;
            e.externalPort = old.externalPort;
            e.externalAddress = old.externalAddress;
        }
    // The nonce is recorded before the router is asked: a run killed before the answer
    // leaves a line that can still remove what the router made.
    if (e.nonce.isEmpty() && protocol_ == PcpNatPmpProtocol::Pcp)
        e.nonce = FreshNonce();
    return e;
}

QDateTime PcpNatPmpRouter::renewAt(const LeaseEntry& e) {
    if (!e.leaseEnd.isValid())
        return {};
    const QDateTime granted = e.leaseEnd.addSecs(-qint64(e.lifetime));
    if (e.nonce.isEmpty())
        return granted.addSecs(qint64(e.lifetime) / 2);
    auto& [end, at] = renewAt_[e.protocol + QString::number(e.internalPort)];
    if (end != e.leaseEnd) {
        end = e.leaseEnd;
        const double share = 0.5 + 0.125 * std::clamp(random(), 0.0, 1.0);
        at = granted.addMSecs(qint64(double(e.lifetime) * 1000.0 * share));
    }
    return at;
}

Outcome PcpNatPmpRouter::forward(const QList<PlannedMapping>& mappings) {
    const LeaseRecord::Batch batch(record_);
    if (options_.router.protocol() == QAbstractSocket::IPv6Protocol) {
        // An IPv4 mapping needs an IPv4 client address: over IPv6 a MAP opens pinholes only.
        return pinholesOnly(pinholeClient() ? QString()
                                            : QCoreApplication::translate(
                                                  "Router", "This computer has no IPv4 address "
                                                            "toward the router, and no IPv6 "
                                                            "address to open ports for: no port "
                                                            "was opened."),
                            [&] { return openPinholes(mappings); });
    }
    QList<LeaseEntry> wanted;
    for (const PlannedMapping& m : mappings)
        wanted << entryFor(m);
    Outcome v4 = keeper_.point(*mappings_, wanted, true);
    if (v4 == Outcome::Failed || v4 == Outcome::Cancelled)
        return v4;
    v4 = WorstOf(v4, forwardOuter(mappings));
    // Where a pinhole would be opened beside the forwards, NAT-PMP has nothing to ask with.
    if (protocol_ == PcpNatPmpProtocol::NatPmp) {
        const QHostAddress six = pinholeSelf();
        if (!six.isNull())
            notes_ << QCoreApplication::translate(
                          "Router", "NAT-PMP cannot open IPv6 pinholes: connections from outside "
                                    "to this computer's IPv6 address %1 stay blocked by the "
                                    "router's firewall.")
                          .arg(six.toString());
    }
    return WorstOf(v4, openPinholes(mappings));
}

std::optional<QList<ForwardEntry>> PcpNatPmpRouter::ReadForwards() {
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
    rows += PinholeRows(recordedPinholes(), clock_.now());
    rows += outerRows();
    showOutcome(Outcome::Completed);
    return rows;
}

bool PcpNatPmpRouter::RemoveForward(const ForwardEntry& f) {
    const bool ok = runOperation(QStringLiteral(QT_TRANSLATE_NOOP("Status", "Remove Point")), [&] {
        if (f.pinhole)
            return keeper_.removeAt(*pinholes_, f.internalPort, f.protocol);
        for (const LeaseEntry& e : held()) {
            if (e.externalPort != f.externalPort || e.protocol != f.protocol)
                continue;
            const ForwardChangeLock change(record_.path());
            const Removed r = mappings_->remove(e);
            if (r.reply != Reply::Done) {
                problems_ << r.problem;
                return r.reply == Reply::Silent ? Outcome::Failed : Outcome::Error;
            }
            record_.remove(e);
            // Its pinhole and firewall opening go with it: what is removed by hand is not kept
            // open.
            return WorstOf(keeper_.removeAt(*pinholes_, e.internalPort, e.protocol),
                           closeFirewallAt(e.internalPort, e.protocol));
        }
        problems_ << QCoreApplication::translate(
                         "Router", "%1 port %2 is not among the forwards this computer holds.")
                         .arg(f.protocol)
                         .arg(f.externalPort);
        return Outcome::Error;
    });
    reportProblems(QCoreApplication::translate("Router", "The forward was not removed"));
    return ok;
}

HoldKind* PcpNatPmpRouter::forwardHolds() {
    return mappings_.get();
}

// Neither protocol can be asked about one mapping without making it: the record of what the
// router granted, and its lease, answer for it.
std::optional<bool> PcpNatPmpRouter::HoldsForward(const PlannedMapping& mapping) {
    if (!client_)
        return std::nullopt;
    const QDateTime now = clock_.now();
    for (const LeaseEntry& e : held())
        if (e.protocol == mapping.protocol && e.internalPort == mapping.port)
            return !e.leaseEnd.isValid() || e.leaseEnd > now;
    return false;
}
