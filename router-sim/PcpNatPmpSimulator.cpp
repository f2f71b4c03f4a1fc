// SPDX-License-Identifier: GPL-3.0-or-later
// The PCP and NAT-PMP router: its sockets, clock, epoch and table. The answers themselves are in
// PcpNatPmpSimulatorNatPmp.cpp and PcpNatPmpSimulatorPcp.cpp.
#include "PcpNatPmpSimulator.h"

#include "PcpNatPmpSimulatorWire.h"
#include "SimHttp.h"

#include <QNetworkDatagram>
#include <QTimer>
#include <QUdpSocket>

#include <algorithm>
#include <chrono>
#include <utility>

using namespace PcpNatPmpSimWire;

PcpNatPmpSimulator::PcpNatPmpSimulator(PcpNatPmpSimOptions options, QObject* parent)
    : QObject(parent), clock_(Sim::steadySeconds), socket_(new QUdpSocket(this)) {
    startedAt_ = epochAt_ = now();
    setOptions(std::move(options));
    connect(socket_, &QUdpSocket::readyRead, this, [this] { onDatagrams(socket_); });
}

PcpNatPmpSimulator::~PcpNatPmpSimulator() = default;

bool PcpNatPmpSimulator::listen(const QHostAddress& address, quint16 port) {
    if (!address.isLoopback() || address.protocol() != QAbstractSocket::IPv4Protocol)
        return false;
    if (!socket_->bind(address, port))
        return false;
    if (options_.ipv6) {
        socket6_ = new QUdpSocket(this);
        connect(socket6_, &QUdpSocket::readyRead, this, [this] { onDatagrams(socket6_); });
        if (!socket6_->bind(QHostAddress::LocalHostIPv6, socket_->localPort()))
            return false;
    }
    if (options_.restartAfterS > 0) {
        // Only for the moment to come and the line it prints; answers check the clock themselves.
        const qint64 ms = std::min<qint64>(options_.restartAfterS, 1'000'000) * 1000;
        QTimer::singleShot(std::chrono::milliseconds(ms), this, &PcpNatPmpSimulator::maintain);
    }
    return true;
}

QHostAddress PcpNatPmpSimulator::address() const {
    return socket_->localAddress();
}

quint16 PcpNatPmpSimulator::port() const {
    return socket_->localPort();
}

void PcpNatPmpSimulator::setOptions(const PcpNatPmpSimOptions& options) {
    options_ = options;
    options_.maxMappings = std::max(options_.maxMappings, 1);
}

void PcpNatPmpSimulator::setClock(Clock clock) {
    clock_ = std::move(clock);
    startedAt_ = epochAt_ = now();
    scheduledRestartDone_ = false;
}

qint64 PcpNatPmpSimulator::now() const {
    return clock_();
}

void PcpNatPmpSimulator::restart() {
    epochAt_ = now();
    table_.clear();
    ++restarts_;
    emit restarted();
}

quint32 PcpNatPmpSimulator::epoch() {
    maintain();
    return epochNow();
}

quint32 PcpNatPmpSimulator::epochNow() const {
    return static_cast<quint32>(std::max<qint64>(now() - epochAt_, 0));
}

void PcpNatPmpSimulator::maintain() {
    const qint64 t = now();
    if (options_.restartAfterS > 0 && !scheduledRestartDone_ &&
        t >= startedAt_ + options_.restartAfterS) {
        scheduledRestartDone_ = true;
        restart();
        // The epoch counts from the moment the restart was due, however late it is noticed.
        epochAt_ = startedAt_ + options_.restartAfterS;
    }
    table_.removeIf([t](const PcpNatPmpMapping& m) { return m.expiresAt <= t; });
}

QList<PcpNatPmpMapping> PcpNatPmpSimulator::mappings() {
    maintain();
    return table_;
}

void PcpNatPmpSimulator::addMapping(const PcpNatPmpMapping& mapping) {
    table_.append(mapping);
}

QHostAddress PcpNatPmpSimulator::wanAddress() const {
    const QHostAddress a(options_.externalIp);
    if (a.protocol() != QAbstractSocket::IPv4Protocol || a.toIPv4Address() == 0)
        return {};
    return a;
}

qsizetype PcpNatPmpSimulator::find(const QHostAddress& client, int protocol,
                                   quint16 internalPort) const {
    for (qsizetype i = 0; i < table_.size(); ++i) {
        const PcpNatPmpMapping& m = table_[i];
        if (m.protocol == protocol && m.internalPort == internalPort && m.client == client)
            return i;
    }
    return -1;
}

quint16 PcpNatPmpSimulator::freeExternalPort(int protocol, quint16 wanted,
                                             quint16 internalPort) const {
    const auto taken = [this, protocol](quint32 port) {
        return std::any_of(table_.begin(), table_.end(), [&](const PcpNatPmpMapping& m) {
            return m.protocol == protocol && m.externalPort == port;
        });
    };
    const quint32 first = wanted != 0 ? wanted : internalPort;
    if (!taken(first))
        return static_cast<quint16>(first);
    // The table is small, so this ends within a few steps of the port asked for.
    const quint32 base = std::max<quint32>(first, 1024) - 1024;
    for (quint32 step = 1; step <= 65536 - 1024; ++step) {
        const quint32 port = 1024 + (base + step) % (65536 - 1024);
        if (!taken(port))
            return static_cast<quint16>(port);
    }
    return 0;
}

quint32 PcpNatPmpSimulator::grant(quint32 asked, bool clamp) const {
    quint32 lifetime = clamp ? std::clamp(asked, PcpMinLifetime, PcpMaxLifetime) : asked;
    if (options_.lifetimeMax != 0)
        lifetime = std::min(lifetime, options_.lifetimeMax);
    return lifetime;
}

// --- transport -------------------------------------------------------------------------------

void PcpNatPmpSimulator::onDatagrams(QUdpSocket* socket) {
    while (socket->hasPendingDatagrams()) {
        ++received_;
        const qint64 size = socket->pendingDatagramSize();
        if (size < 0 || size > MaxDatagramBytes) {
            socket->receiveDatagram(0);
            continue;
        }
        const QNetworkDatagram datagram = socket->receiveDatagram(size);
        // The socket sits on loopback; answer nobody else all the same.
        if (!datagram.senderAddress().isLoopback())
            continue;
        Sim::appendToLog(options_.logPath, datagram.data().toHex(' '));
        const QByteArray reply = respond(datagram.data(), datagram.senderAddress());
        if (!reply.isEmpty())
            socket->writeDatagram(reply, datagram.senderAddress(),
                                  static_cast<quint16>(datagram.senderPort()));
    }
}

QByteArray PcpNatPmpSimulator::respond(const QByteArray& datagram, const QHostAddress& peer) {
    maintain();
    // Too short to say what it is, too long for either protocol, or an answer: never answered.
    if (options_.silent || datagram.size() < 2 || datagram.size() > MaxDatagramBytes ||
        (static_cast<quint8>(datagram[1]) & ResponseBit) != 0)
        return {};
    bool v4 = false;
    const quint32 ip = peer.toIPv4Address(&v4);
    const QHostAddress client = v4 ? QHostAddress(ip) : peer;
    if (static_cast<quint8>(datagram[0]) == NatPmpVersion)
        return v4 ? natPmp(datagram, client) : QByteArray(); // NAT-PMP knows no IPv6
    return pcp(datagram, client);
}
