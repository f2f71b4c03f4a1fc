#pragma once

#include "router/MappingPlan.h"
#include "router/Router.h"
#include "router/leases/LeaseRecord.h"

#include <QDateTime>
#include <QHash>
#include <QHostAddress>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

struct Module;
class EventPump;
class Waiter;
struct RouterDeps;
class Clock;
class MainView;
class Prompts;
class RenewerRole;

// What the kinds that speak a port-mapping protocol (UPnP, PCP, NAT-PMP) share: the first
// tick's look for the router and its ending, the frame of every operation, "Point To Me" up
// to the plan, and how problems reach the user. A kind adds its protocol.
class ProtocolRouter : public Router {
public:
    // How often, while forwards are held, the router is asked whether it still has them (it
    // may have restarted) and this computer's address is looked at again: five minutes. The
    // walkthrough shortens it (HARBORLY_CHECK_SECONDS, never longer) to see a router that
    // disappears and comes back without waiting that long.
    static const qint64 CheckSeconds;

    QString wanAddress() const override { return wanAddress_; }
    QString wanWarning() const override { return wanWarning_; }
    QString routerDescription() const override { return description_; }
    QStringList lastProblems() const override { return problems_; }
    QStringList lastNotes() const override { return notes_; }
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

    // Uniform in [0, 1): where in its window a PCP renewal goes. Tests pin it.
    std::function<double()> random;
    // Whether the router answered at the last keep-alive check.
    bool routerAnswering() const { return !silent_; }

protected:
    static const QString kCompleted;
    static const QString kError;
    static const QString kFailed;
    static const QString kCancelled; // the user's Cancel, between two exchanges

    explicit ProtocolRouter(const RouterDeps& deps);
    ~ProtocolRouter() override;

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
    // `ipv6` is this computer's address where a pinhole can be opened, empty where none can.
    void showFound(const QString& wan, const QString& warning, const QString& description,
                   const QString& ipv6 = {});
    // One line for reportRenewal (the command line's `keep` prints it): what was renewed,
    // made again or removed, and why.
    void tell(const QString& line);
    // News the user should see without asking, in one line: told as tell() does, and to the
    // window (status and activity log) once the operation has ended.
    void announce(const QString& line);
    // Whether the pinhole `e` was opened for another address than `self`, this computer's now
    // (null: none now, nothing to follow), and is not being cleared.
    static bool PinholeMoved(const LeaseEntry& e, const QHostAddress& self);
    // The key a pinhole waits under in a kind's table of refusals.
    static QString PinholeRetryKey(const LeaseEntry& e);
    // The pinholes of `mine` due now, leaving out those waiting after a refusal in `retryAt`:
    // to renew (half their lease gone, or all of them at a `check`), and to follow `self`.
    struct DueNow {
        QList<LeaseEntry> renew;
        QList<LeaseEntry> moving;
    };
    static DueNow DuePinholes(const QList<LeaseEntry>& mine, const QHostAddress& self,
                              const QHash<QString, QDateTime>& retryAt, const QDateTime& now,
                              bool check);
    // How closing one pinhole marked for clearing went.
    enum class PinholeClosing {
        Closed,      // its line goes
        LeftToLapse, // the kind settled it (a short lease the router will end)
        Refused,     // its line is kept, no longer marked
        NoWay,       // it stays marked and closes by itself when its lease ends
        Silent,      // the rest stay marked too: the next check closes them
    };
    // Closes the pinholes `marked` for clearing in `record` one by one by `close`, each under
    // its change lock; a lapsed one only leaves the record. Completed, Error, Failed or
    // Cancelled (the rest stay marked).
    QString clearMarkedPinholes(LeaseRecord& record, const QList<LeaseEntry>& marked,
                                const std::function<PinholeClosing(const LeaseEntry&)>& close);
    // Reached over IPv6 alone an IPv4 forward would name no address of this computer: the
    // pinholes only, by `open`, and the user told. `noWay`: why none can be opened.
    QString pinholesOnly(const QString& noWay, const std::function<QString()>& open);
    // The line for pinholes that followed this computer's new IPv6 address.
    static QString Ipv6MovedText(const QString& address);
    // "TCP port 27015 (Game)", for tell and problems.
    static QString forwardText(const QString& protocol, int port, const QString& application);
    // Whether this process renews `router`'s forwards of the record at `recordPath`; the
    // first to ask holds the role until it ends.
    bool holdRenewerRole(const QString& recordPath, const QString& router);
    // A keep-alive check found the router silent: say so once, and look again soon, sooner at
    // first (a few seconds, doubling to a minute).
    void routerSilent(const QDateTime& now, qsizetype waiting);
    // A check reached the router again after silence; `remade` forwards were made again.
    void routerBack(qsizetype remade);
    // One message box with every problem, under `title`.
    void reportProblems(const QString& title);

    // The record's lines of this kind on `router`; nothing when the record cannot be read
    // (its problem told once, not at every tick).
    std::optional<QList<LeaseEntry>> recordedOn(const LeaseRecord& record, const QString& router);
    // How the kind's exchanges wait: in the program's passes, given up at the user's Cancel.
    std::unique_ptr<Waiter> makeWaiter(EventPump& pump);

    Module& module_;
    MainView& view_;
    Prompts& prompts_;
    const Clock& clock_;
    QStringList problems_;
    QString recordProblem_;
    QStringList notes_;
    QString wanAddress_;
    QString wanWarning_;
    QString description_;
    PointOutcome pointOutcome_ = PointOutcome::Sent;
    QDateTime nextCheck_; // the next look for a restart or an address change

    bool silent_ = false;

private:
    bool inTick_ = false;
    qint64 backoffSeconds_ = 0;
    QString backNews_; // the router's return, for the view once the operation has ended
    std::unique_ptr<RenewerRole> role_;
};
