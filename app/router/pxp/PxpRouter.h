#pragma once

#include "router/MappingPlan.h"
#include "router/Router.h"
#include "router/leases/LeaseRecord.h"
#include "router/pxp/PxpClient.h"

#include <QDateTime>

#include <memory>

struct Module;
struct RouterDeps;
class Clock;
class MainView;
class Prompts;

// A router driven through PCP (falling back to NAT-PMP by itself) or NAT-PMP alone. Neither
// protocol lists a router's table, so what Harborly made is what it knows: the lease record
// is the list, the renewals and the clearing work from it. Leases last hours; each is renewed
// before half of it is gone, and every forward is made again when the router restarted (its
// epoch went back) or this computer's address changed.
class PxpRouter final : public Router {
public:
    static constexpr quint32 AskedLifetime = 7200;
    // How often the router is asked whether it restarted, while forwards are held.
    static constexpr qint64 CheckSeconds = 300;

    // `routeFile` is where the default gateway is read when no address is configured.
    PxpRouter(const RouterDeps& deps, PxpMode mode, PxpOptions options = {},
              QString routeFile = QStringLiteral("/proc/net/route"));
    ~PxpRouter() override;

    QString kindName() const override;
    RouterCapabilities capabilities() const override;
    void Timer1_Timer() override;
    QString wanAddress() const override { return wanAddress_; }
    QString wanWarning() const override { return wanWarning_; }
    QString routerDescription() const override { return description_; }
    void PointToMe() override;
    PointOutcome lastPointOutcome() const override { return pointOutcome_; }
    bool ClearAll() override;
    bool SetDmz(bool) override { return false; }
    std::optional<QList<ForwardEntry>> ReadForwards() override;
    QStringList lastProblems() const override { return problems_; }

    // The forwards held for this router, as recorded.
    QList<LeaseEntry> held() const;
    // Renews what is due, and makes everything again after a restart or an address change.
    // True when nothing was due or everything held.
    bool KeepAlive();

private:
    void queryStatus();
    bool runOperation(const QString& activity, const std::function<QString()>& body);
    // Makes or renews one forward; the record follows. Empty text when it holds.
    QString mapOne(const LeaseEntry& wanted);
    QString remapAll(const QString& why);
    LeaseEntry entryFor(const PlannedMapping& m) const;

    Module& module_;
    MainView& view_;
    Prompts& prompts_;
    const Clock& clock_;
    PxpMode mode_;
    PxpOptions options_;
    QString routeFile_;
    std::unique_ptr<UpnpWaiter> waiter_;
    std::unique_ptr<PxpClient> client_;
    LeaseRecord record_;
    QString routerKey_;
    QString wanAddress_;
    QString wanWarning_;
    QString description_;
    QStringList problems_;
    QDateTime nextCheck_;
    QDateTime retryAfter_; // renewals wait until then after one failed
    PointOutcome pointOutcome_ = PointOutcome::Sent;
    bool inTick_ = false;
};

// Where a PCP / NAT-PMP router is: `LanPrivateIP` as "host" or "host:port" (port 5351), or
// the default gateway of `routeFile` when no address is configured. Null when neither gives one.
std::pair<QHostAddress, quint16> PxpRouterAddress(const QString& lanPrivateIp,
                                                  const QString& routeFile);
