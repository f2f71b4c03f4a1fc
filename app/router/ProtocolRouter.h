#pragma once

#include "router/MappingPlan.h"
#include "router/Router.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <functional>

struct Module;
struct RouterDeps;
class Clock;
class MainView;
class Prompts;

// What the kinds that speak a port-mapping protocol (UPnP, PCP, NAT-PMP) share: the first
// tick's look for the router and its ending, the frame of every operation, "Point To Me" up
// to the plan, and how problems reach the user. A kind adds its protocol.
class ProtocolRouter : public Router {
public:
    // How often, while forwards are held, the router is asked whether it still has them (it
    // may have restarted) and this computer's address is looked at again.
    static constexpr qint64 CheckSeconds = 300;

    QString wanAddress() const override { return wanAddress_; }
    QString wanWarning() const override { return wanWarning_; }
    QString routerDescription() const override { return description_; }
    QStringList lastProblems() const override { return problems_; }
    PointOutcome lastPointOutcome() const override { return pointOutcome_; }
    bool SetDmz(bool) override { return false; }

    // The first tick looks for the router (and ends the program when none answers); later
    // ticks keep the forwards alive.
    void Timer1_Timer() final;
    void PointToMe() final;
    // What "Point To Me" does once the selection is recorded: the plan's forwards, or the
    // plan's refusal.
    void ForwardPorts(const MappingPlan& plan);

    // Renews what is due; true when nothing was due or everything held.
    virtual bool KeepAlive() = 0;

protected:
    static const QString kCompleted;
    static const QString kError;
    static const QString kFailed;
    static const QString kCancelled; // the user's Cancel, between two exchanges

    explicit ProtocolRouter(const RouterDeps& deps);

    // Sets module.RouterFound, and on success the address, warning and description shown.
    virtual void queryStatus() = 0;
    virtual bool connected() const = 0;
    // "Completed", "Error" (the router refused) or "Failed" (no answer), problems_ filled.
    virtual QString forward(const QList<PlannedMapping>& mappings) = 0;

    // The frame of every operation: Timer1 off and the window locked around `body`, whose word
    // goes to lblStatus; problems_ starts empty.
    bool runOperation(const QString& activity, const std::function<QString()>& body);
    // The window for the status query; the caller sets what it found.
    void beginStatusQuery();
    void endStatusQuery();
    void showFound(const QString& wan, const QString& warning, const QString& description);
    // The line for reportRenewal after a renewal of `count` forwards on `router`.
    void tellRenewal(qsizetype count, bool ok, const QString& router);
    // One message box with every problem, under `title`.
    void reportProblems(const QString& title);

    Module& module_;
    MainView& view_;
    Prompts& prompts_;
    const Clock& clock_;
    QStringList problems_;
    QString wanAddress_;
    QString wanWarning_;
    QString description_;
    PointOutcome pointOutcome_ = PointOutcome::Sent;
    QDateTime nextCheck_; // the next look for a restart or an address change

private:
    bool inTick_ = false;
};
