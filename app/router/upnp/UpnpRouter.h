#pragma once

#include "router/ProtocolRouter.h"
#include "router/leases/LeaseRecord.h"
#include "router/upnp/IgdClient.h"

#include <QDateTime>

#include <memory>

struct RouterDeps;
class PinholeClient;

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
    bool ClearAll() override;
    std::optional<QList<ForwardEntry>> ReadForwards() override;
    bool KeepAlive() override;
    std::optional<bool> HoldsForward(const PlannedMapping& mapping) override;
    std::optional<bool> HoldsPinhole(const PlannedMapping& mapping) override;

    const QList<Held>& held() const { return held_; }

private:
    void queryStatus() override;
    bool connected() const override { return client_ != nullptr; }
    QString forward(const QList<PlannedMapping>& mappings) override;
    void hold(const PlannedMapping& m, const AddMappingResult& added);
    // Holds a forward granted `lease` seconds at `granted` (0: permanent) and records it.
    void remember(const PlannedMapping& m, quint32 lease, const QDateTime& granted);
    void forget(quint16 port, const QString& protocol);
    // The forwards the record holds for this router, from earlier runs.
    void recallRecorded();
    QString routerKey() const;
    void adoptOwnForwards(const QList<PortMappingEntry>& entries);
    // `due` and every held forward the router no longer has for this computer; after a change
    // of this computer's address, all of them.
    QList<PlannedMapping> lostForwards(QList<PlannedMapping> due);
    bool isThisComputer(const QString& client) const;

    // IPv6 pinholes (UpnpPinholes.cpp): a client for them when the router offers them and this
    // computer has a global IPv6 address; `why` says it when it should work and cannot.
    std::unique_ptr<PinholeClient> pinholeClient(QString& why);
    void openPinholes(const QList<PlannedMapping>& mappings);
    void recordPinhole(int port, const QString& protocol, const QString& application,
                       const QString& address, quint16 uniqueId);
    QList<LeaseEntry> recordedPinholes() const;
    QList<ForwardEntry> pinholeRows() const;
    bool renewPinholes();
    bool closePinholes();

    std::unique_ptr<Waiter> waiter_;
    UpnpOptions options_;
    QString routeFile_;
    std::unique_ptr<IgdClient> client_;
    QList<Held> held_;
    LeaseRecord record_;
    bool renewing_ = false;     // forwards made again are not new: no pinholes opened
    QDateTime nextPinholeLook_; // pinholes' leases are looked at once a minute
};

// The lease a forward is asked for: none on IGD v1 (it stays), the longest v2 allows.
quint32 RequestedLease(int igdVersion);
