// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "router/keep/Outcome.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <functional>

struct Module;
class MainView;
class RouterSocket;
class EventPump;

// The one way to the router: one HTTP exchange at a time over `sckSend`, the whole response
// collected in RouterResponse.
class RouterLink : public QObject {
    Q_OBJECT
public:
    // A response that grows past this ends the exchange as Failed.
    static constexpr qsizetype MaxResponseBytes = 1 << 20;
    static constexpr int MaxPasses = 25;

    RouterLink(Module& module, MainView& view, RouterSocket& sckSend, EventPump& pump,
               QObject* parent = nullptr);

    // True when the router answered and closed in time; the window is then still locked and
    // the caller unlocks it. False after Failed, with the window unlocked again.
    bool SendRouterRequest(const QString& sRequestLine, const QString& sActivity,
                           bool bPageRequest);

    // A router operation other than the status query: Timer1 off, the exchange, then scan()
    // of the response, whose outcome goes to lblStatus; Timer1 on again on every way out.
    // False when the exchange failed.
    bool RunOperation(const QString& sRequestLine, const QString& sActivity, bool bPageRequest,
                      const std::function<Outcome()>& scan);

    // The end of an operation, the status query's too: kept for lastOutcome() and shown.
    void showOutcome(Outcome outcome);
    Outcome lastOutcome() const { return outcome_; }

    void ShowStatus();
    void DataArrival(qint64 bytesTotal);
    // One pass of a waiting loop: pending events, then at most nSeconds passes of the pump,
    // over early once `done` holds or the socket changes state.
    void WaitSeconds(int nSeconds, const std::function<bool()>& done = {});

    // The request bytes of one exchange in Windows-1252, CR alone between lines. Empty when
    // the password cannot be encoded or the line or the address holds a character that
    // Windows-1252 lacks.
    QByteArray BuildRequest(const QString& sRequestLine, bool bPageRequest) const;

    RouterSocket& socket() { return sckSend_; }

    // The raw bytes of the last response, headers included.
    QByteArray RouterResponse;
    bool ResponseComplete = false;

private:
    bool fail();

    Module& module_;
    MainView& view_;
    RouterSocket& sckSend_;
    EventPump& pump_;
    bool overflow_ = false;
    Outcome outcome_ = Outcome::Failed; // nothing has answered yet
};
