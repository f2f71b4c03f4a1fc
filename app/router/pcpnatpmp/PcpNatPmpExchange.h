// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// One UDP socket connected to the router's PCP / NAT-PMP port, and the retransmission
// schedules of the requests sent on it: NAT-PMP's doubling waits, PCP's jittered ones, a
// closed port told apart from silence.

#include "platform/Waiter.h"
#include "router/pcpnatpmp/PcpNatPmpPackets.h"

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QString>

#include <chrono>
#include <functional>
#include <memory>

class QUdpSocket;

enum class PcpNatPmpMode {
    Pcp,        // PCP first, NAT-PMP when the router speaks only that
    NatPmpOnly, // NAT-PMP alone
};

// The reference's retransmission schedules; tests shrink them to milliseconds.
struct PcpNatPmpTimings {
    using ms = std::chrono::milliseconds;
    ms natPmpFirstWait{250}; // then doubled after every send
    int natPmpSends = 4;     // 3.75 s in all: enough for the user waiting on it
    ms pcpFirstWait{3000};   // PCP: IRT, then doubled, each ±10 %
    ms pcpMaxWait{1024000};  // PCP: MRT
    // How long a PCP request waits before NAT-PMP is tried instead, while no PCP answer has
    // ever come; a router already seen ignoring PCP gets one NAT-PMP wait.
    ms pcpAlone{3750};
    int deleteSends = 2;
    ms limit{10000}; // a whole call, whatever happens
};

struct PcpNatPmpOptions {
    QHostAddress router{};
    quint16 port = PcpNatPmpDefaultPort;
    PcpNatPmpMode mode = PcpNatPmpMode::Pcp;
    QHostAddress localAddress{}; // this computer toward the router; found when null
    // The address a PCP request names as its client, where the router sees another than this
    // computer's (a router in front, reached through the inner one's NAT); null: this computer's.
    QHostAddress clientAddress{};
    PcpNatPmpTimings timings;
    std::function<quint32()> random; // for nonces and jitter; the system's CSPRNG when empty
    // Where this computer's IPv6 addresses are read (NAT-PMP cannot open pinholes for them).
    QString ifInet6Path = QStringLiteral("/proc/net/if_inet6");
    // PCP pinholes: this computer's IPv6 address and the IPv6 router; null: read from
    // ifInet6Path and this file (the IPv6 default route).
    QHostAddress pinholeAddress{};
    QHostAddress router6{};
    QString pinholeInterface{}; // where pinholeAddress is not set: the address on it
    QString ipv6RoutePath = QStringLiteral("/proc/net/ipv6_route");
};

class PcpNatPmpExchange : public QObject {
    Q_OBJECT
public:
    // One request being sent on its schedule until answered or waited out.
    struct Track {
        QByteArray packet;
        bool pcpClock = false;
        int maxSends = 0; // 0: until the call's deadline
        int sent = 0;
        std::chrono::milliseconds wait{0};
        std::chrono::milliseconds nextAt{0};
        bool finished = false; // answered, or every send waited out
    };

    PcpNatPmpExchange(Waiter& waiter, const PcpNatPmpOptions& options, QObject* parent = nullptr);
    ~PcpNatPmpExchange() override;

    // A socket toward the router, and the call's deadline from now; false with why.
    bool open(QString& why);
    void close();
    // Sends every track on its schedule until each is finished, the port is found closed or
    // the deadline passes.
    void run(const QList<Track*>& tracks);

    bool refused() const { return refused_; }
    QHostAddress local() const { return local_; }
    quint16 localPort() const;

    // Every datagram from the router while run() waits.
    std::function<void(const QByteArray&)> onAnswer;
    // The end of the current call; a caller may bring it closer.
    std::chrono::milliseconds deadline{0};

private:
    void readDatagrams();
    void send(Track& track);
    void checkRefused();
    std::chrono::milliseconds jitter(std::chrono::milliseconds wait);

    Waiter& waiter_;
    const PcpNatPmpOptions& options_;
    QHostAddress local_{};
    std::unique_ptr<QUdpSocket> socket_;
    bool changed_ = false;
    bool refused_ = false;
};
