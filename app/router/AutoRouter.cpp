// SPDX-License-Identifier: GPL-3.0-or-later
#include "router/AutoRouter.h"

#include "Module.h"
#include "platform/EventPump.h"
#include "platform/RouterSocket.h"
#include "router/AutoKindChoice.h"
#include "router/MainView.h"
#include "router/RouterDeps.h"
#include "router/RouterMemory.h"
#include "router/net/RouterAddress.h"
#include "router/pcpnatpmp/PcpNatPmpRouter.h"
#include "router/upnp/UpnpRouter.h"

#include <QCoreApplication>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <optional>

namespace {

using std::chrono::milliseconds;

// The probe's waits in slices, so that a probe no longer needed ends within one (the window
// waits for it to end before it asks the kind picked): once cancelled, every wait is over and
// the clock runs past every deadline.
class ProbeWaiter final : public Waiter {
public:
    explicit ProbeWaiter(const std::atomic<bool>& cancel) : cancel_(cancel) {}
    bool waitFor(const std::function<bool()>& done, milliseconds limit) override {
        const milliseconds end = inner_.now() + limit;
        while (!cancel_ && !done() && inner_.now() < end)
            inner_.waitFor([&] { return cancel_ || done(); },
                           std::min(milliseconds(5), end - inner_.now()));
        return done();
    }
    void wake() override { inner_.wake(); }
    milliseconds now() const override {
        // Every look at the clock after the cancel finds an hour more gone, so any deadline,
        // even one set after the cancel, passes at the next look.
        if (cancel_)
            skipped_ += std::chrono::hours(1);
        return inner_.now() + skipped_;
    }

private:
    const std::atomic<bool>& cancel_;
    LoopWaiter inner_;
    mutable milliseconds skipped_{0};
};

// One probe in a thread of its own, with its own event loop and sockets.
struct Probe {
    std::atomic<bool> done{false};
    std::atomic<bool> cancel{false};
    std::atomic<bool> heard{false};        // UPnP: a router answered the discovery
    std::atomic<EventPump*> pump{nullptr}; // woken when done; none yet for an early start
    bool found = false;
    PcpNatPmpProtocol protocol = PcpNatPmpProtocol::None;
    PcpNatPmpAddressResult
        pcpNatPmpAnswer; // PCP / NAT-PMP: handed to the kind picked, not asked again
    QHostAddress local;
    QString why;
    std::unique_ptr<QThread> thread;

    template <typename F> void start(F run) {
        thread.reset(QThread::create([this, run] {
            ProbeWaiter waiter(cancel);
            run(waiter, *this);
            done = true;
            // Ends the window's current wait at once.
            if (EventPump* p = pump)
                QMetaObject::invokeMethod(p, &EventPump::wake, Qt::QueuedConnection);
        }));
        thread->start();
    }
    ~Probe() {
        cancel = true;
        if (thread)
            thread->wait();
    }
};

} // namespace

// Both probes, from the moment the search went out.
struct AutoProbes {
    QString address; // LanPrivateIP as configured
    QString memoryPath;
    PcpNatPmpOptions pcpNatPmp;
    milliseconds start{};
    Probe u;
    Probe p;
};

namespace {

const QString kAuto = QStringLiteral("auto");
const QString kKindKey = QStringLiteral("kind");

// Started before the window is built, waiting for the automatic kind to take it.
std::unique_ptr<AutoProbes>& EarlyProbes() {
    static std::unique_ptr<AutoProbes> early;
    return early;
}

std::unique_ptr<AutoProbes> StartProbes(const QString& address, const QString& routeFile,
                                        const QString& memoryPath, UpnpOptions upnp,
                                        PcpNatPmpOptions pcpNatPmp) {
    auto probes = std::make_unique<AutoProbes>();
    probes->address = address;
    probes->memoryPath = memoryPath;
    probes->start = SteadyWaitClock()();
    const auto [pcpNatPmpRouter, pcpNatPmpPort] =
        PcpNatPmpRouterAddress(address, routeFile, pcpNatPmp.ipv6RoutePath);
    const QString upnpTarget = RouterAddressText(address, routeFile, upnp.ipv6RoutePath);
    // An empty address means the default gateway, for UPnP as for the others; "host:port"
    // sends every protocol to that port.
    upnp.router = address.trimmed().isEmpty() ? pcpNatPmpRouter.toString() : address;
    pcpNatPmp.router = pcpNatPmpRouter;
    pcpNatPmp.port = pcpNatPmpPort;
    pcpNatPmp.mode = PcpNatPmpMode::Pcp;
    probes->pcpNatPmp = pcpNatPmp;
    if (!upnp.router.isEmpty())
        probes->u.start([upnp, memoryPath, target = upnpTarget](Waiter& waiter, Probe& self) {
            UpnpOptions options = upnp;
            options.gatewayHeard = [&self] { self.heard = true; };
            IgdClient client(waiter, options);
            // What is found is remembered, so that the UPnP kind need not search again.
            ExternalAddressResult wan;
            if (!FindRouter(client, RouterMemory(memoryPath), target, wan)) {
                self.why = client.router().failure;
                return;
            }
            self.heard = true;
            self.found = wan.ok();
        });
    else
        probes->u.done = true;
    if (!pcpNatPmp.router.isNull())
        probes->p.start([pcpNatPmp](Waiter& waiter, Probe& self) {
            PcpNatPmpClient client(waiter, pcpNatPmp);
            const PcpNatPmpAddressResult r = client.externalAddress();
            self.found = r.ok;
            self.protocol = r.protocolUsed;
            self.why = r.text;
            self.pcpNatPmpAnswer = r;
            self.local = client.localAddress();
        });
    else
        probes->p.done = true;
    return probes;
}

} // namespace

AutoRouter::AutoRouter(const RouterDeps& deps, QString routeFile, UpnpOptions upnp,
                       PcpNatPmpOptions pcpNatPmp)
    : module_(deps.module), view_(deps.view), prompts_(deps.prompts), pump_(deps.pump),
      deps_(std::make_unique<RouterDeps>(deps)), routeFile_(std::move(routeFile)),
      upnp_(std::move(upnp)), pcpNatPmp_(std::move(pcpNatPmp)) {}

AutoRouter::AutoRouter(const RouterDeps& deps, std::unique_ptr<Router> found) : AutoRouter(deps) {
    inner_ = std::move(found);
}

AutoRouter::~AutoRouter() = default;

QString AutoRouter::kindName() const {
    return QStringLiteral("auto");
}

RouterCapabilities AutoRouter::capabilities() const {
    if (inner_)
        return inner_->capabilities();
    RouterCapabilities c;
    c.mappingTable = true;
    c.noDmzReason = QCoreApplication::translate(
        "Router", "UPnP, PCP and NAT-PMP offer no DMZ control: set the DMZ host "
                  "in the router's own settings.");
    return c;
}

QString AutoRouter::routerDescription() const {
    return inner_ ? inner_->routerDescription() : QString();
}

void AutoRouter::StartEarly(const QString& iniPath, const QString& lanPrivateIp) {
    EarlyProbes() = StartProbes(lanPrivateIp, QStringLiteral("/proc/net/route"),
                                RouterMemory::pathFor(iniPath), {}, {});
    // Ended with the application when nothing took it (the program ended before its look).
    qAddPostRoutine([] { EarlyProbes().reset(); });
}

QString AutoRouter::probe() {
    const QString memoryPath = RouterMemory::pathFor(module_.paths.IniPath);
    std::unique_ptr<AutoProbes> probes = std::move(EarlyProbes());
    // One started early is taken when it asked what the settings name now, where they name it,
    // and not long ago (a login may have come between).
    if (!probes || probes->address != module_.settings.LanPrivateIP ||
        probes->memoryPath != memoryPath || routeFile_ != QLatin1String("/proc/net/route") ||
        SteadyWaitClock()() - probes->start > AutoKindChoice::UpnpGrace)
        probes =
            StartProbes(module_.settings.LanPrivateIP, routeFile_, memoryPath, upnp_, pcpNatPmp_);
    Probe& u = probes->u;
    Probe& p = probes->p;
    u.pump = &pump_;
    p.pump = &pump_;

    const RouterMemory memory(memoryPath);
    AutoKindChoice choice(memory.load(kAuto, probes->address).value(kKindKey), probes->start);
    const auto heard = [&] {
        AutoKindChoice::Heard h;
        h.upnpDone = u.done;
        h.upnpFound = u.done && u.found;
        h.upnpHeard = u.heard;
        h.otherDone = p.done;
        if (p.done && p.found)
            h.otherFound = p.protocol == PcpNatPmpProtocol::NatPmp ? QStringLiteral("natpmp")
                                                                   : QStringLiteral("pcp");
        return h;
    };
    PumpWaiter waiter(pump_);
    std::optional<QString> kind;
    while (!(kind = choice.decide(heard(), waiter.now()))) {
        // Woken by a probe's end; otherwise at the moment UPnP's discovery time is over.
        const milliseconds untilDiscovered =
            probes->start + AutoKindChoice::UpnpDiscoveryTime - waiter.now();
        waiter.waitFor([&] { return choice.decide(heard(), waiter.now()).has_value(); },
                       std::clamp(untilDiscovered, milliseconds(1), milliseconds(20)));
    }
    if (kind->isEmpty()) {
        problems_.clear();
        for (const QString& why : {u.why, p.why})
            if (!why.isEmpty())
                problems_ << why;
        if (probes->pcpNatPmp.router.isNull())
            problems_ << QCoreApplication::translate(
                "Router", "No router address is set and this computer has no default gateway.");
        return {};
    }
    memory.save(kAuto, probes->address, {{kKindKey, *kind}});
    if (*kind != QLatin1String("upnp")) {
        pcpNatPmpAnswer_ = std::pair{p.pcpNatPmpAnswer, p.local};
        // The UPnP search goes on beside the kind taken, to tell the next start.
        if (!u.done)
            searchBeside_ = std::move(probes);
    }
    return *kind;
}

void AutoRouter::settleSearchBeside() {
    if (!searchBeside_ || !searchBeside_->u.done)
        return;
    if (searchBeside_->u.found)
        RouterMemory(searchBeside_->memoryPath)
            .save(kAuto, searchBeside_->address, {{kKindKey, QStringLiteral("upnp")}});
    searchBeside_.reset();
}

Router* AutoRouter::passOn() {
    if (inner_) {
        inner_->reportRenewal = reportRenewal;
        inner_->adoptOnStatus = adoptOnStatus;
        inner_->mayElevate = mayElevate;
    }
    return inner_.get();
}

void AutoRouter::Timer1_Timer() {
    settleSearchBeside();
    if (Router* found = passOn())
        return found->Timer1_Timer();
    if (!module_.StatusQueryPending)
        return;
    view_.setStatusCaption(QStringLiteral(QT_TRANSLATE_NOOP("Status", "Find Router")));
    view_.setSendStatusCaption(QStringLiteral(QT_TRANSLATE_NOOP("Status", "Searching")));
    view_.EnableInterface(false, false);
    const QString kind = probe();
    view_.showSendState(SocketState::Closed);
    if (kind.isEmpty()) {
        view_.showOutcome(Outcome::Failed);
        view_.EnableInterface(true, false);
        module_.StatusQueryPending = false;
        module_.RouterFound = false;
        return EndForNoRouter(view_, prompts_);
    }
    if (kind == QLatin1String("upnp")) {
        UpnpOptions o = upnp_;
        inner_ = std::make_unique<UpnpRouter>(*deps_, o, routeFile_);
    } else {
        auto pcpNatPmp = std::make_unique<PcpNatPmpRouter>(
            *deps_, kind == QLatin1String("pcp") ? PcpNatPmpMode::Pcp : PcpNatPmpMode::NatPmpOnly,
            pcpNatPmp_, routeFile_);
        if (pcpNatPmpAnswer_)
            pcpNatPmp->adoptProbe(pcpNatPmpAnswer_->first, pcpNatPmpAnswer_->second);
        inner_ = std::move(pcpNatPmp);
    }
    // The kind found looks at the router as at its own start-up.
    passOn()->Timer1_Timer();
    if (module_.RouterFound)
        view_.setStatusBarText(inner_->routerDescription() + QStringLiteral(" - found by itself"));
}

void AutoRouter::PointToMe() {
    if (Router* found = passOn())
        found->PointToMe();
}

Router::PointOutcome AutoRouter::lastPointOutcome() const {
    return inner_ ? inner_->lastPointOutcome() : PointOutcome::ReadFailed;
}

bool AutoRouter::ClearAll() {
    Router* found = passOn();
    return found && found->ClearAll();
}

bool AutoRouter::SetDmz(bool bDisable) {
    Router* found = passOn();
    return found && found->SetDmz(bDisable);
}

std::optional<QList<ForwardEntry>> AutoRouter::ReadForwards() {
    Router* found = passOn();
    return found ? found->ReadForwards() : std::nullopt;
}

bool AutoRouter::RemoveForward(const ForwardEntry& e) {
    Router* found = passOn();
    return found && found->RemoveForward(e);
}

bool AutoRouter::RemakeForward(const PlannedMapping& mapping) {
    Router* found = passOn();
    return found && found->RemakeForward(mapping);
}

std::optional<OuterView> AutoRouter::OuterFor(const PlannedMapping& mapping) {
    Router* found = passOn();
    return found ? found->OuterFor(mapping) : std::nullopt;
}

std::optional<bool> AutoRouter::HoldsForward(const PlannedMapping& mapping) {
    Router* found = passOn();
    return found ? found->HoldsForward(mapping) : std::nullopt;
}

std::optional<bool> AutoRouter::HoldsPinhole(const PlannedMapping& mapping) {
    Router* found = passOn();
    return found ? found->HoldsPinhole(mapping) : std::nullopt;
}

LocalFirewall* AutoRouter::localFirewall() {
    Router* found = passOn();
    return found ? found->localFirewall() : nullptr;
}

bool AutoRouter::OpenLocalFirewall(const QList<PlannedMapping>& ports) {
    Router* found = passOn();
    return found && found->OpenLocalFirewall(ports);
}

bool AutoRouter::CaptureScreen(bool dmz) {
    Router* found = passOn();
    return found && found->CaptureScreen(dmz);
}

void AutoRouter::Close() {
    if (Router* found = passOn())
        found->Close();
}

QStringList AutoRouter::lastProblems() const {
    return inner_ ? inner_->lastProblems() : problems_;
}
