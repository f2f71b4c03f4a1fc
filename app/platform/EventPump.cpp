#include "platform/EventPump.h"

#include "platform/RouterSocket.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

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

void EventPump::WaitPass(const std::function<bool()>& done) {
    ++passes_;
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
    connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    connect(this, &EventPump::woke, &loop, &QEventLoop::quit);
    timer.start(passLength_);
    loop.exec();
    woken_ = false;
}
