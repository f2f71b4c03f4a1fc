#pragma once

#include "router/MappingPlan.h"
#include "router/Router.h"
#include "router/leases/LeaseRecord.h"
#include "router/upnp/IgdClient.h"

#include <QDateTime>

#include <memory>

struct Module;
struct RouterDeps;
class Clock;
class MainView;
class Prompts;

// A router driven through UPnP IGD: the same one-click job as the web pages, over SOAP.
// Forwards are asked for permanently where the IGD version has permanent forwards (v1) and for
// the longest lease otherwise (v2: a week); those Harborly holds are renewed at half their
// lease while it runs.
class UpnpRouter final : public Router {
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
    void Timer1_Timer() override;
    QString wanAddress() const override { return wanAddress_; }
    QString wanWarning() const override { return wanWarning_; }
    QString routerDescription() const override { return description_; }
    void PointToMe() override;
    // What "Point To Me" does once the selection is recorded: the plan's forwards, or the
    // plan's refusal.
    void ForwardPorts(const MappingPlan& plan);
    PointOutcome lastPointOutcome() const override { return pointOutcome_; }
    bool ClearAll() override;
    bool SetDmz(bool) override { return false; }
    std::optional<QList<ForwardEntry>> ReadForwards() override;
    QStringList lastProblems() const override { return problems_; }

    const QList<Held>& held() const { return held_; }
    // Renews every held forward whose time has come; true when none was due or all held.
    bool RenewDue();

private:
    void queryStatus();
    // The frame of every operation: Timer1 off and the window locked around `body`, whose
    // status word goes to lblStatus.
    bool runOperation(const QString& activity, const std::function<QString()>& body);
    // "Completed", "Error" (the router refused) or "Failed" (no answer), with problems_ filled.
    QString addMappings(const QList<PlannedMapping>& mappings);
    void hold(const PlannedMapping& m, const AddMappingResult& added);
    // Holds a forward granted `lease` seconds at `granted` (0: permanent) and records it.
    void remember(const PlannedMapping& m, quint32 lease, const QDateTime& granted);
    void forget(quint16 port, const QString& protocol);
    // The forwards the record holds for this router, from earlier runs.
    void recallRecorded();
    QString routerKey() const;
    void adoptOwnForwards(const QList<PortMappingEntry>& entries);
    void reportProblems(const QString& title);
    bool isThisComputer(const QString& client) const;

    Module& module_;
    MainView& view_;
    Prompts& prompts_;
    const Clock& clock_;
    std::unique_ptr<UpnpWaiter> waiter_;
    UpnpOptions options_;
    QString routeFile_;
    std::unique_ptr<IgdClient> client_;

    QString wanAddress_;
    QString wanWarning_;
    QString description_;
    QList<Held> held_;
    LeaseRecord record_;
    QStringList problems_;
    PointOutcome pointOutcome_ = PointOutcome::Sent;
    bool inTick_ = false;
};

// The lease a forward is asked for: none on IGD v1 (it stays), the longest v2 allows.
quint32 RequestedLease(int igdVersion);
