// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "router/Router.h"
#include "router/pcpnatpmp/PcpNatPmpClient.h"
#include "router/upnp/IgdClient.h"

#include <chrono>
#include <memory>
#include <optional>
#include <utility>

struct AutoProbes;
struct Module;
struct RouterDeps;
class EventPump;
class MainView;
class Prompts;

// "auto": at the first look, UPnP and PCP (with NAT-PMP) are asked at the same time, each in
// a thread of its own; AutoKindChoice says which answer is taken (UPnP when both do, the kind
// the last run found at once). The program starts asking before its window is built
// (StartEarly). From then on the kind found does everything, as if the file had named it.
class AutoRouter final : public Router {
public:
    AutoRouter(const RouterDeps& deps, QString routeFile = QStringLiteral("/proc/net/route"),
               UpnpOptions upnp = {}, PcpNatPmpOptions pcpNatPmp = {});
    // With the kind already found: no look is made (the tests' recording router).
    AutoRouter(const RouterDeps& deps, std::unique_ptr<Router> found);
    ~AutoRouter() override;

    QString kindName() const override;
    RouterCapabilities capabilities() const override;
    void Timer1_Timer() override;
    QString wanAddress() const override { return inner_ ? inner_->wanAddress() : QString(); }
    QString wanWarning() const override { return inner_ ? inner_->wanWarning() : QString(); }
    QString routerDescription() const override;
    void PointToMe() override;
    PointOutcome lastPointOutcome() const override;
    std::optional<PartlyMade> lastPartlyMade() const override {
        return inner_ ? inner_->lastPartlyMade() : std::nullopt;
    }
    // Without a kind found no router has answered.
    Outcome lastOutcome() const override {
        return inner_ ? inner_->lastOutcome() : Outcome::Failed;
    }
    bool ClearAll() override;
    bool SetDmz(bool bDisable) override;
    std::optional<QList<ForwardEntry>> ReadForwards() override;
    bool RemoveForward(const ForwardEntry& e) override;
    std::optional<bool> HoldsForward(const PlannedMapping& mapping) override;
    bool RemakeForward(const PlannedMapping& mapping) override;
    std::optional<OuterView> OuterFor(const PlannedMapping& mapping) override;
    std::optional<bool> HoldsPinhole(const PlannedMapping& mapping) override;
    bool ipv6Only() const override { return inner_ && inner_->ipv6Only(); }
    LocalFirewall* localFirewall() override;
    bool OpenLocalFirewall(const QList<PlannedMapping>& ports) override;
    bool CaptureScreen(bool dmz) override;
    void Close() override;
    QStringList lastProblems() const override;
    QStringList lastNotes() const override { return inner_ ? inner_->lastNotes() : QStringList(); }
    QString cannotKeep() const override { return inner_ ? inner_->cannotKeep() : QString(); }
    qsizetype forwardsKeptHere() const override { return inner_ ? inner_->forwardsKeptHere() : 0; }
    qsizetype forwardsHeld() const override { return inner_ ? inner_->forwardsHeld() : 0; }
    qsizetype lastPinholes() const override { return inner_ ? inner_->lastPinholes() : 0; }

    // The kind found ("upnp", "pcp", "natpmp"); empty before the first look or when none.
    QString foundKind() const { return inner_ ? inner_->kindName() : QString(); }

    // The program's own start, before the window is built, with the configuration's router
    // address: the first look finds the search under way (with the default options; a later
    // look with other settings asks afresh).
    static void StartEarly(const QString& iniPath, const QString& lanPrivateIp);

private:
    // Asks both protocols at once; the kind to use, or empty.
    QString probe();
    // Once the UPnP search left running beside the kind taken ends, what it found is the
    // kind remembered for the next start.
    void settleSearchBeside();
    // The kind found, told what was set on this router since (keep sets reportRenewal after
    // the status query found the kind); null before.
    Router* passOn();

    Module& module_;
    MainView& view_;
    Prompts& prompts_;
    EventPump& pump_;
    std::unique_ptr<RouterDeps> deps_;
    QString routeFile_;
    UpnpOptions upnp_;
    PcpNatPmpOptions pcpNatPmp_;
    std::unique_ptr<Router> inner_;
    std::unique_ptr<AutoProbes> searchBeside_;
    QStringList problems_;
    // What the PCP / NAT-PMP probe was told, and this computer's address toward the router.
    std::optional<std::pair<PcpNatPmpAddressResult, QHostAddress>> pcpNatPmpAnswer_;
};
