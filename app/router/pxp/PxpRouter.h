#pragma once

#include "router/ProtocolRouter.h"
#include "router/leases/LeaseRecord.h"
#include "router/pxp/PxpClient.h"

#include <QDateTime>

#include <memory>

struct RouterDeps;

// A router driven through PCP (falling back to NAT-PMP by itself) or NAT-PMP alone. Neither
// protocol lists a router's table, so what Harborly made is what it knows: the lease record
// is the list, the renewals and the clearing work from it. Leases last hours; each is renewed
// before half of it is gone, and every forward is made again when the router restarted (its
// epoch went back) or this computer's address changed.
class PxpRouter final : public ProtocolRouter {
public:
    static constexpr quint32 AskedLifetime = 7200;

    // `routeFile` is where the default gateway is read when no address is configured.
    PxpRouter(const RouterDeps& deps, PxpMode mode, PxpOptions options = {},
              QString routeFile = QStringLiteral("/proc/net/route"));
    ~PxpRouter() override;

    QString kindName() const override;
    RouterCapabilities capabilities() const override;
    bool ClearAll() override;
    std::optional<QList<ForwardEntry>> ReadForwards() override;
    // Renews what is due, and makes everything again after a restart or an address change.
    bool KeepAlive() override;
    std::optional<bool> HoldsForward(const PlannedMapping& mapping) override;

    // The forwards held for this router, as recorded.
    QList<LeaseEntry> held() const;

private:
    void queryStatus() override;
    bool connected() const override { return client_ != nullptr; }
    QString forward(const QList<PlannedMapping>& mappings) override;
    // Makes or renews one forward; the record follows. Empty text when it holds.
    QString mapOne(const LeaseEntry& wanted);
    QString remapAll(const QString& why);
    LeaseEntry entryFor(const PlannedMapping& m) const;

    PxpMode mode_;
    PxpOptions options_;
    QString routeFile_;
    std::unique_ptr<Waiter> waiter_;
    std::unique_ptr<PxpClient> client_;
    LeaseRecord record_;
    QString routerKey_;
    QDateTime retryAfter_; // renewals wait until then after one failed
};

// Where a PCP / NAT-PMP router is: `LanPrivateIP` as "host" or "host:port" (port 5351), or
// the default gateway of `routeFile` when no address is configured. Null when neither gives one.
std::pair<QHostAddress, quint16> PxpRouterAddress(const QString& lanPrivateIp,
                                                  const QString& routeFile);
