// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "router/ProtocolRouter.h"
#include "router/leases/LeaseRecord.h"
#include "router/pcpnatpmp/PcpNatPmpClient.h"

#include <QDateTime>
#include <QHash>

#include <memory>
#include <optional>
#include <utility>

struct RouterDeps;
class PcpNatPmpMappingHolds;
class PcpPinholeHolds;

// A router driven through PCP (falling back to NAT-PMP by itself) or NAT-PMP alone. Neither
// protocol lists a router's table, so what Harborly made is what it knows: the lease record
// is the list, the renewals and the clearing work from it. Leases last hours; each is renewed
// before half of it is gone, and every forward is made again when the router restarted (its
// epoch went back) or this computer's address changed.
class PcpNatPmpRouter final : public ProtocolRouter {
public:
    static constexpr quint32 AskedLifetime = 7200;
    // What a pinhole is renewed with when the router will not delete it: RFC 6887's floor.
    static constexpr quint32 ShortestLifetime = 120;

    // `routeFile` is where the default gateway is read when no address is configured.
    PcpNatPmpRouter(const RouterDeps& deps, PcpNatPmpMode mode, PcpNatPmpOptions options = {},
                    QString routeFile = QStringLiteral("/proc/net/route"));
    ~PcpNatPmpRouter() override;

    QString kindName() const override;
    RouterCapabilities capabilities() const override;
    std::optional<QList<ForwardEntry>> ReadForwards() override;
    bool RemoveForward(const ForwardEntry& f) override;
    std::optional<bool> HoldsForward(const PlannedMapping& mapping) override;
    std::optional<bool> HoldsPinhole(const PlannedMapping& mapping) override;
    bool ipv6Only() const override {
        return options_.router.protocol() == QAbstractSocket::IPv6Protocol;
    }

    // The forwards held for this router, as recorded.
    QList<LeaseEntry> held() const;
    // The automatic kind's probe already asked this router for its address: the first look
    // takes that answer instead of asking again.
    void adoptProbe(const PcpNatPmpAddressResult& wan, const QHostAddress& local) {
        probed_ = std::pair{wan, local};
    }

private:
    friend class PcpNatPmpMappingHolds;
    friend class PcpPinholeHolds;

    void queryStatus() override;
    bool connected() const override { return client_ != nullptr; }
    HoldKind* forwardHolds() override;
    Outcome forward(const QList<PlannedMapping>& mappings) override;
    LeaseEntry entryFor(const PlannedMapping& m);
    // When a forward granted `e` is renewed: half its lease for NAT-PMP, a random point between
    // one half and five eighths for PCP, drawn once per grant.
    QDateTime renewAt(const LeaseEntry& e);

    // IPv6 pinholes (PcpNatPmpRouterPinholes.cpp). A client toward the IPv6 router from this
    // computer's IPv6 address, where the router speaks PCP and both are there. `from`: another
    // address of this computer's than the current one (to close what was opened for it).
    std::unique_ptr<PcpNatPmpClient> pinholeClient(const QHostAddress& from = {}) const;
    // This computer's address for pinholes now; null when it has none.
    QHostAddress pinholeSelf() const;
    QList<LeaseEntry> recordedPinholes() const;
    LeaseEntry pinholeEntry(int port, const QString& protocol, const QString& application,
                            const QString& address, const QByteArray& nonce,
                            quint32 lifetime) const;
    Outcome openPinholes(const QList<PlannedMapping>& mappings);

    PcpNatPmpMode mode_;
    PcpNatPmpOptions options_;
    QHostAddress givenRouter6_;  // options_.router6 as given, before a router found over IPv6
    bool pinholesHeard_ = false; // the router answered a pinhole's MAP over IPv6
    QString routeFile_;
    std::unique_ptr<Waiter> waiter_;
    std::unique_ptr<PcpNatPmpClient> client_;
    std::unique_ptr<PcpNatPmpMappingHolds> mappings_;
    std::unique_ptr<PcpPinholeHolds> pinholes_;
    QString routerKey_;
    PcpNatPmpProtocol protocol_ =
        PcpNatPmpProtocol::None; // what the router answered at the status query
    QHash<QString, std::pair<QDateTime, QDateTime>> renewAt_; // per forward: lease end, renew at
    QString pendingRemake_; // why every forward is made again at the first tick, if it must be
    std::optional<std::pair<PcpNatPmpAddressResult, QHostAddress>> probed_;
};

// Where a PCP / NAT-PMP router is: `LanPrivateIP` as "host" or "host:port" (port 5351), or
// the default gateway of `routeFile` when no address is configured, else the IPv6 default router
// of `ipv6RouteFile` (without configuration each family's default router is the PCP server).
// Null when none gives one.
std::pair<QHostAddress, quint16>
PcpNatPmpRouterAddress(const QString& lanPrivateIp, const QString& routeFile,
                       const QString& ipv6RouteFile = QStringLiteral("/proc/net/ipv6_route"));
