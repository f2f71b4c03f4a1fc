// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>

#include <chrono>
#include <functional>

class EventPump;

// Milliseconds on a steady clock; handed in so that tests can drive time.
using WaitClock = std::function<std::chrono::milliseconds()>;
WaitClock SteadyWaitClock();

// How the client waits with the event loop running, so that the window keeps painting.
class Waiter {
public:
    virtual ~Waiter() = default;
    // Returns once done() holds (true) or `limit` has passed (false, unless done() holds).
    virtual bool waitFor(const std::function<bool()>& done, std::chrono::milliseconds limit) = 0;
    // Something happened: the current wait looks at done() again at once.
    virtual void wake() = 0;
    virtual std::chrono::milliseconds now() const = 0;
    // The user gave the exchange up: no more sends, no more waits.
    virtual bool abandoned() const { return false; }
};

// Waits in a QEventLoop of its own; the command line and the tests use it.
class LoopWaiter : public QObject, public Waiter {
    Q_OBJECT
public:
    explicit LoopWaiter(WaitClock clock = SteadyWaitClock(), QObject* parent = nullptr);
    bool waitFor(const std::function<bool()>& done, std::chrono::milliseconds limit) override;
    void wake() override;
    std::chrono::milliseconds now() const override { return clock_(); }

signals:
    void woke();

private:
    WaitClock clock_;
    bool woken_ = false;
};

// Waits in the passes of the program's EventPump, as the web kind's exchange does; a wait
// never outlasts its limit, even where a pass is longer.
class PumpWaiter : public Waiter {
public:
    explicit PumpWaiter(EventPump& pump, WaitClock clock = SteadyWaitClock());
    bool waitFor(const std::function<bool()>& done, std::chrono::milliseconds limit) override;
    void wake() override;
    std::chrono::milliseconds now() const override { return clock_(); }
    // Looked at after every pass: true gives the wait up at once (the user's Cancel), so a
    // wait ends within a pass of it.
    void abandonWhen(std::function<bool()> abandon) { abandon_ = std::move(abandon); }
    bool abandoned() const override { return abandon_ && abandon_(); }

private:
    EventPump& pump_;
    WaitClock clock_;
    std::function<bool()> abandon_;
};
