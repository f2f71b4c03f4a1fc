#include "router/pxp/PxpRouter.h"

#include "Module.h"
#include "platform/Clock.h"
#include "router/MainView.h"
#include "router/RouterDeps.h"
#include "router/net/ExternalAddress.h"
#include "router/net/LocalAddress.h"
#include "router/net/RouterAddress.h"

namespace {

// A forward the router did not take is tried again after this long.
constexpr qint64 kRetrySeconds = 60;

QDateTime renewAt(const LeaseEntry& e) {
    return e.leaseEnd.addSecs(-qint64(e.lifetime) / 2);
}

} // namespace

std::pair<QHostAddress, quint16> PxpRouterAddress(const QString& lanPrivateIp,
                                                  const QString& routeFile) {
    const RouterAddress a =
        ParseRouterAddress(RouterAddressText(lanPrivateIp, routeFile), PxpDefaultPort);
    const QHostAddress host(a.host);
    if (!a.valid || host.isNull())
        return {QHostAddress(), 0};
    return {host, a.port};
}

PxpRouter::PxpRouter(const RouterDeps& deps, PxpMode mode, PxpOptions options, QString routeFile)
    : ProtocolRouter(deps), mode_(mode), options_(std::move(options)),
      routeFile_(std::move(routeFile)), waiter_(std::make_unique<PumpWaiter>(deps.pump)),
      record_(LeasePathFor(deps.module.paths.IniPath)) {
    options_.mode = mode;
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
    const auto [router, port] = PxpRouterAddress(module_.settings.LanPrivateIP, routeFile_);
    if (router.isNull()) {
        problems_ << QStringLiteral("No router address is set and this computer has no default "
                                    "gateway.");
        return endStatusQuery();
    }
    options_.router = router;
    options_.port = port;
    routerKey_ = router.toString();
    client_ = std::make_unique<PxpClient>(*waiter_, options_);
    const PxpAddressResult wan = client_->externalAddress();
    if (!wan.ok) {
        problems_ << (wan.text.isEmpty() ? QStringLiteral("No PCP or NAT-PMP router answered.")
                                         : wan.text);
        return endStatusQuery();
    }
    module_.LocalIpAddress = client_->localAddress().toString();
    showFound(wan.address, ExternalAddressWarning(wan.address),
              QStringLiteral("%1 router at %2").arg(PxpProtocolName(wan.protocolUsed), routerKey_));
    nextCheck_ = clock_.now().addSecs(CheckSeconds);
    endStatusQuery();
}

QList<LeaseEntry> PxpRouter::held() const {
    QList<LeaseEntry> mine;
    for (const LeaseEntry& e : record_.load())
        if (e.router == routerKey_ && e.kind == kindName())
            mine << e;
    return mine;
}

LeaseEntry PxpRouter::entryFor(const PlannedMapping& m) const {
    LeaseEntry e;
    e.router = routerKey_;
    e.kind = kindName();
    e.protocol = m.protocol;
    e.internalPort = m.port;
    e.externalPort = m.port;
    e.application = m.application;
    for (const LeaseEntry& old : held())
        if (old.sameForward(e)) {
            // Renewing keeps the nonce and asks for the port granted before.
            e.nonce = old.nonce;
            e.externalPort = old.externalPort;
        }
    return e;
}

QString PxpRouter::mapOne(const LeaseEntry& wanted) {
    const PxpMapResult r = client_->map(wanted.protocol, quint16(wanted.internalPort),
                                        quint16(wanted.externalPort), AskedLifetime, wanted.nonce);
    const QString what = QStringLiteral("%1 port %2 for %3: ")
                             .arg(wanted.protocol)
                             .arg(wanted.internalPort)
                             .arg(wanted.application);
    if (!r.ok)
        return what + (r.text.isEmpty() ? QStringLiteral("the router refused it.") : r.text);
    LeaseEntry e = wanted;
    e.externalPort = r.externalPort;
    e.lifetime = r.grantedLifetime;
    e.leaseEnd = clock_.now().addSecs(r.grantedLifetime).toUTC();
    e.nonce = r.nonce;
    e.epoch = r.epoch;
    record_.put(e);
    if (r.restartDetected)
        remapAll(QStringLiteral("restart"));
    return {};
}

QString PxpRouter::remapAll(const QString& why) {
    (void)why;
    bool refused = false;
    for (LeaseEntry e : held()) {
        // The same nonce and the port granted before, as a restarted router expects.
        const PxpMapResult r = client_->map(e.protocol, quint16(e.internalPort),
                                            quint16(e.externalPort), AskedLifetime, e.nonce);
        if (!r.ok) {
            problems_ << QStringLiteral("%1 port %2 for %3: %4")
                             .arg(e.protocol)
                             .arg(e.internalPort)
                             .arg(e.application, r.text);
            refused = true;
            continue;
        }
        e.externalPort = r.externalPort;
        e.lifetime = r.grantedLifetime;
        e.leaseEnd = clock_.now().addSecs(r.grantedLifetime).toUTC();
        e.nonce = r.nonce;
        e.epoch = r.epoch;
        record_.put(e);
    }
    return refused ? kError : kCompleted;
}

QString PxpRouter::forward(const QList<PlannedMapping>& mappings) {
    bool refused = false;
    int done = 0;
    for (const PlannedMapping& m : mappings) {
        if (view_.cancelRequested())
            return kCancelled;
        view_.showProgress(++done, int(mappings.size()));
        if (const QString why = mapOne(entryFor(m)); !why.isEmpty()) {
            problems_ << why;
            refused = true;
        }
    }
    return refused ? kError : kCompleted;
}

bool PxpRouter::KeepAlive() {
    if (!client_)
        return true;
    const QList<LeaseEntry> mine = held();
    if (mine.isEmpty())
        return true;
    const QDateTime now = clock_.now();
    const bool check = !nextCheck_.isValid() || nextCheck_ <= now;
    QList<LeaseEntry> due;
    if (!retryAfter_.isValid() || retryAfter_ <= now)
        for (const LeaseEntry& e : mine)
            if (!e.leaseEnd.isValid() || renewAt(e) <= now)
                due << e;
    if (!check && due.isEmpty())
        return true;
    const bool ok = runOperation(QStringLiteral("Renew Points"), [&] {
        if (check) {
            nextCheck_ = now.addSecs(CheckSeconds);
            // Another address here means every forward points at an address that is gone.
            const QHostAddress local = LocalAddressToward(options_.router, options_.port);
            if (!local.isNull() && local != client_->localAddress()) {
                client_ = std::make_unique<PxpClient>(*waiter_, options_);
                module_.LocalIpAddress = local.toString();
                return remapAll(QStringLiteral("address"));
            }
            const PxpAddressResult wan = client_->externalAddress();
            if (wan.restartDetected)
                return remapAll(QStringLiteral("restart"));
        }
        bool refused = false;
        for (const LeaseEntry& e : due)
            if (const QString why = mapOne(e); !why.isEmpty()) {
                problems_ << why;
                refused = true;
            }
        return refused ? kError : kCompleted;
    });
    // What the router did not take is tried again a little later, not on every tick.
    retryAfter_ = ok ? QDateTime() : now.addSecs(kRetrySeconds);
    tellRenewal(due.size(), ok, routerKey_);
    return ok;
}

bool PxpRouter::ClearAll() {
    const bool ok = runOperation(QStringLiteral("Clear All Points"), [&] {
        bool refused = false;
        const QList<LeaseEntry> all = held();
        int done = 0;
        for (const LeaseEntry& e : all) {
            if (view_.cancelRequested())
                return kCancelled;
            view_.showProgress(++done, int(all.size()));
            const PxpMapResult r = client_->unmap(e.protocol, quint16(e.internalPort), e.nonce);
            if (r.ok) {
                record_.remove(e);
                continue;
            }
            problems_ << QStringLiteral("%1 port %2 for %3: %4")
                             .arg(e.protocol)
                             .arg(e.internalPort)
                             .arg(e.application, r.text);
            refused = true;
        }
        return refused ? kError : kCompleted;
    });
    reportProblems(QStringLiteral("Some forwards were not removed"));
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
    view_.setStatusCaption(kCompleted);
    return rows;
}
