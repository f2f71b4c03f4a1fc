// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>

#include <chrono>
#include <functional>

class RouterSocket;

// How the exchange waits: "let pending events run" and "wait one pass".
// A pass runs the event loop for at most passLength, and returns early once the watched
// socket changes state or the caller's condition holds, so nobody waits a second for an
// answer that has already arrived and the window keeps painting meanwhile.
class EventPump : public QObject {
    Q_OBJECT
public:
    explicit EventPump(std::chrono::milliseconds passLength = std::chrono::seconds(1),
                       QObject* parent = nullptr);

    void watch(RouterSocket& socket);
    void DoEvents();
    // A pass never outlasts `limit`: a caller's deadline ends it on time, not at the next
    // full pass.
    void WaitPass(const std::function<bool()>& done,
                  std::chrono::milliseconds limit = std::chrono::milliseconds::max());

    std::chrono::milliseconds passLength() const { return passLength_; }
    // Passes waited so far; with a short pass length this is the virtual clock of the tests.
    int passes() const { return passes_; }
    // How long the last pass was allowed to run.
    std::chrono::milliseconds lastPassLength() const { return lastPassLength_; }

public slots:
    void wake();

signals:
    void woke();

private:
    std::chrono::milliseconds passLength_;
    int passes_ = 0;
    std::chrono::milliseconds lastPassLength_{0};
    bool woken_ = false;
};
