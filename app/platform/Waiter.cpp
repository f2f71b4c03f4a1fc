// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Waiter.h"

#include "platform/EventPump.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

WaitClock SteadyWaitClock() {
    return [] {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now().time_since_epoch());
    };
}

LoopWaiter::LoopWaiter(WaitClock clock, QObject* parent)
    : QObject(parent), clock_(std::move(clock)) {}

void LoopWaiter::wake() {
    woken_ = true;
    emit woke();
}

bool LoopWaiter::waitFor(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    const std::chrono::milliseconds deadline = clock_() + limit;
    woken_ = false;
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    while (!done()) {
        const std::chrono::milliseconds left = deadline - clock_();
        if (left <= std::chrono::milliseconds(0))
            return done();
        if (woken_) {
            // Woken while not inside the loop: look again before sleeping.
            woken_ = false;
            continue;
        }
        QEventLoop loop;
        QTimer timer;
        timer.setSingleShot(true);
        timer.setTimerType(Qt::PreciseTimer);
        connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
        connect(this, &LoopWaiter::woke, &loop, &QEventLoop::quit);
        timer.start(left);
        loop.exec();
        woken_ = false;
    }
    return true;
}

PumpWaiter::PumpWaiter(EventPump& pump, WaitClock clock) : pump_(pump), clock_(std::move(clock)) {}

void PumpWaiter::wake() {
    pump_.wake();
}

bool PumpWaiter::waitFor(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    if (limit <= std::chrono::milliseconds(0))
        return done();
    const std::chrono::milliseconds deadline = clock_() + limit;
    pump_.DoEvents();
    while (!done()) {
        if (abandon_ && abandon_())
            return false;
        // Every pass ends by the deadline: a timer that fired a hair early must not leave the
        // rest of the wait to a whole pass.
        const std::chrono::milliseconds left = deadline - clock_();
        if (left <= std::chrono::milliseconds(0))
            return done();
        pump_.WaitPass(done, left);
    }
    return true;
}
