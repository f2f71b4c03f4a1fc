// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A router that never answers, on a virtual clock: every wait lets pending events run, hands
// over what arrived, then jumps to its deadline. The send times it records are exactly those
// of the schedule under test, however busy the machine is.

#include "platform/Waiter.h"

#include <QCoreApplication>
#include <QHostAddress>
#include <QList>
#include <QNetworkDatagram>
#include <QUdpSocket>

#include <chrono>

class SilentRouter final : public Waiter {
public:
    struct Arrival {
        std::chrono::milliseconds at;
        QByteArray data;
    };

    SilentRouter() { socket.bind(QHostAddress(QHostAddress::LocalHost), 0); }
    quint16 port() const { return socket.localPort(); }

    bool waitFor(const std::function<bool()>& done, std::chrono::milliseconds limit) override {
        QCoreApplication::processEvents();
        collect();
        if (done())
            return true;
        now_ += std::max(limit, std::chrono::milliseconds(0));
        return done();
    }
    void wake() override {}
    std::chrono::milliseconds now() const override { return now_; }

    // Loopback delivers within the sending call, so what was sent is here already.
    void collect() {
        while (socket.hasPendingDatagrams())
            arrivals.append({now_, socket.receiveDatagram().data()});
    }
    QList<std::chrono::milliseconds> times() {
        collect();
        QList<std::chrono::milliseconds> t;
        for (const Arrival& a : arrivals)
            t.append(a.at);
        return t;
    }

    QUdpSocket socket;
    QList<Arrival> arrivals;

private:
    std::chrono::milliseconds now_{0};
};
