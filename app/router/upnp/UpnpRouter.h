// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "router/ProtocolRouter.h"
#include "router/leases/LeaseRecord.h"
#include "router/upnp/IgdClient.h"

#include <QDateTime>
#include <QHash>
#include <QSet>

#include <memory>

struct RouterDeps;
class PinholeClient;
class UpnpForwardHolds;
class UpnpPinholeHolds;

// A router driven through UPnP IGD: the same one-click job as the web pages, over SOAP.
// Forwards are asked for permanently where the IGD version has permanent forwards (v1) and for
// the longest lease otherwise (v2: a week); those Harborly holds are renewed at half their
// lease while it runs.
class UpnpRouter final : public ProtocolRouter {
public:
    // A forward Harborly made (or found as its own) and keeps alive.
    struct Held {
        PlannedMapping mapping;
        quint32 lease = 0; // granted seconds; 0: permanent
        QDateTime renewAt; // invalid when permanent
    };

    // `options` carries the endpoints and limits; its router field is taken from
    // `LanPrivateIP` at each status query.
    // An empty `LanPrivateIP` means the default gateway of `routeFile`.
    UpnpRouter(const RouterDeps& deps, UpnpOptions options = {},
               QString routeFile = QStringLiteral("/proc/net/route"));
    ~UpnpRouter() override;

    QString kindName() const override;
    RouterCapabilities capabilities() const override;
    std::optional<QList<ForwardEntry>> ReadForwards() override;
    bool RemoveForward(const ForwardEntry& e) override;
    std::optional<bool> HoldsForward(const PlannedMapping& mapping) override;
    std::optional<bool> HoldsPinhole(const PlannedMapping& mapping) override;
    bool ipv6Only() const override;

    // The forwards held on this router, as recorded (those being cleared left out).
    QList<Held> held() const;

private:
    friend class UpnpForwardHolds;
    friend class UpnpPinholeHolds;

    void queryStatus() override;
    bool connected() const override { return client_ != nullptr; }
    HoldKind* forwardHolds() override;
    Outcome forward(const QList<PlannedMapping>& mappings) override;
    // The router is reached over IPv6 alone: its pinholes, and no IPv4 forward.
    Outcome forwardIpv6Only(const QList<PlannedMapping>& mappings);
    LeaseEntry entryFor(const PlannedMapping& m, const AddMappingResult& added) const;
    QString routerKey() const;
    // The device's UDN, where its description names one.
    QString routerId() const;
    // Says how many recorded forwards at this address were made on another router.
    void tellOtherRouters();
    // Forwards of Harborly's toward this computer that the record lacks (an earlier run's, or
    // made after Harborly gave up on a silent router): recorded to be looked up at the check.
    void adoptOwnForwards(const QList<PortMappingEntry>& entries);
    bool isThisComputer(const QString& client) const;
    // This computer got another address: the router found again from it, the forwards toward
    // the old one removed. False when the router could not be found again.
    bool rediscover();

    // IPv6 pinholes (UpnpRouterPinholes.cpp). A client for them when the router offers them
    // and this computer has a global IPv6 address; `why` says it when it should work and
    // cannot. `from`: another address of this computer's than the current one (to close what
    // was opened for it).
    std::unique_ptr<PinholeClient> pinholeClient(QString& why, const QHostAddress& from = {});
    // This computer's address for pinholes now; null when it has none.
    QHostAddress pinholeSelf() const;
    LeaseEntry pinholeEntry(int port, const QString& protocol, const QString& application,
                            const QString& address, quint16 uniqueId) const;
    // Point To Me: a pinhole beside each forward.
    Outcome openPinholes(const QList<PlannedMapping>& mappings);
    // This router's pinholes in the record, every state.
    QList<LeaseEntry> recordedPinholes() const;
    bool removePinhole(const ForwardEntry& f);

    std::unique_ptr<Waiter> waiter_;
    UpnpOptions options_;
    QString routeFile_;
    std::unique_ptr<IgdClient> client_;
    std::unique_ptr<UpnpForwardHolds> forwards_;
    std::unique_ptr<UpnpPinholeHolds> pinholes_;
};

// The lease a forward is asked for: none on IGD v1 (it stays), the longest v2 allows.
quint32 RequestedLease(int igdVersion);
