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
struct PinholeResult;

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
    bool RemoveForward(const ForwardEntry& e) override;
    bool KeepAlive() override;
    std::optional<bool> HoldsForward(const PlannedMapping& mapping) override;
    std::optional<bool> HoldsPinhole(const PlannedMapping& mapping) override;
    bool ipv6Only() const override;

    // The forwards held on this router, as recorded (those being cleared left out).
    QList<Held> held() const;

private:
    void queryStatus() override;
    bool connected() const override { return client_ != nullptr; }
    QString forward(const QList<PlannedMapping>& mappings) override;
    // The router is reached over IPv6 alone: its pinholes, and no IPv4 forward.
    QString forwardIpv6Only(const QList<PlannedMapping>& mappings);
    // This router's forwards in the record, every state; nothing when it cannot be read.
    std::optional<QList<LeaseEntry>> recorded();
    LeaseEntry entryFor(const PlannedMapping& m, const AddMappingResult& added) const;
    // Records a forward the router holds, unless the user cleared it meanwhile: then it is
    // removed from the router again. False in that case.
    bool commit(const LeaseEntry& e);
    // Makes or renews one recorded forward; the record follows. Sets `silent` when the router
    // did not answer.
    bool renew(const LeaseEntry& e, const QString& why, bool& silent);
    // The keep-alive check: every recorded forward looked up, what is gone made again, what
    // was cleared while the router was silent removed. False when the router did not answer.
    bool check(const QList<LeaseEntry>& mine, QSet<QString>& remade);
    // This computer got another address: the forwards toward the old one are removed and
    // made again toward the new one. False when the router could not be found again.
    bool moveForwards(const QList<LeaseEntry>& mine, QSet<QString>& remade);
    QString routerKey() const;
    // Forwards of Harborly's toward this computer that the record lacks (an earlier run's, or
    // made after Harborly gave up on a silent router): recorded to be looked up at the check.
    void adoptOwnForwards(const QList<PortMappingEntry>& entries);
    bool isThisComputer(const QString& client) const;

    // IPv6 pinholes (UpnpPinholes.cpp), in the record beside the forwards with the same
    // states and change lock. A client for them when the router offers them and this computer
    // has a global IPv6 address; `why` says it when it should work and cannot.
    // `from`: another address of this computer's than the current one (to close what was
    // opened for it).
    std::unique_ptr<PinholeClient> pinholeClient(QString& why, const QHostAddress& from = {});
    // This computer's address for pinholes now; null when it has none.
    QHostAddress pinholeSelf() const;
    LeaseEntry pinholeEntry(int port, const QString& protocol, const QString& application,
                            const QString& address, quint16 uniqueId) const;
    // Point To Me: a pinhole beside each forward.
    QString openPinholes(const QList<PlannedMapping>& mappings);
    // This router's pinholes in the record, every state.
    QList<LeaseEntry> recordedPinholes() const;
    QList<ForwardEntry> pinholeRows() const;
    PinholeResult closePinhole(PinholeClient& pinholes, const LeaseEntry& e);
    // As commit(), for a pinhole.
    bool commitPinhole(PinholeClient& pinholes, const LeaseEntry& e);
    // Renews one recorded pinhole, or opens it again when the router lost it; the record
    // follows. Sets `silent` when the router did not answer.
    bool renewPinhole(PinholeClient& pinholes, const LeaseEntry& e, const QString& why,
                      bool& silent);
    // The keep-alive for pinholes: what is due renewed; at the check every pinhole confirmed,
    // unsure ones settled and cleared ones closed. False when the router did not answer.
    bool keepPinholes(const QList<LeaseEntry>& mine, bool check, bool& refused);
    // Clear All Points' part: the pinholes marked for clearing closed.
    QString clearPinholes(const QList<LeaseEntry>& marked);
    // This computer's IPv6 address changed: each pinhole opened for the new one, its line
    // moved to it, the old one closed where that address is still here (else it lapses).
    // False when the router did not answer.
    bool movePinholes(PinholeClient& pinholes, const QList<LeaseEntry>& moving, bool& refused);
    void closeLeftBehind(const LeaseEntry& old);
    // Whether some of `mine` wait to follow a new address now (not waiting for a retry).
    bool pinholesMoving(const QList<LeaseEntry>& mine) const;
    bool removePinhole(const ForwardEntry& f);

    std::unique_ptr<Waiter> waiter_;
    UpnpOptions options_;
    QString routeFile_;
    std::unique_ptr<IgdClient> client_;
    LeaseRecord record_;
    QHash<QString, QDateTime> retryAt_; // renewals the router refused wait until then
    bool startCheck_ = false;           // look every recorded forward up at the first tick
};

// The lease a forward is asked for: none on IGD v1 (it stays), the longest v2 allows.
quint32 RequestedLease(int igdVersion);
