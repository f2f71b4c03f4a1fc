// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/EventPump.h"

#include "platform/RouterSocket.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>

EventPump::EventPump(std::chrono::milliseconds passLength, QObject* parent)
    : QObject(parent), passLength_(passLength) {}

void EventPump::watch(RouterSocket& socket) {
    connect(&socket, &RouterSocket::stateChanged, this, &EventPump::wake);
}

void EventPump::DoEvents() {
    // A change from before this pass (the last exchange's close, say) must not cut it short.
    woken_ = false;
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void EventPump::wake() {
    woken_ = true;
    emit woke();
}

void EventPump::WaitPass(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    ++passes_;
    lastPassLength_ = std::max(std::min(passLength_, limit), std::chrono::milliseconds(0));
    if (done && done())
        return;
    if (woken_) {
        // A change that happened while the caller was busy still ends this pass at once.
        woken_ = false;
        return;
    }
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    // A coarse timer may end the pass 5 % early or late: a schedule of 250 ms steps needs
    // the millisecond.
    timer.setTimerType(Qt::PreciseTimer);
    connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    connect(this, &EventPump::woke, &loop, &QEventLoop::quit);
    timer.start(lastPassLength_);
    loop.exec();
    woken_ = false;
}
