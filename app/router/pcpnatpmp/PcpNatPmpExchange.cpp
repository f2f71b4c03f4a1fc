// SPDX-License-Identifier: GPL-3.0-or-later
#include "router/pcpnatpmp/PcpNatPmpExchange.h"

#include "router/net/Datagrams.h"
#include "router/net/LocalAddress.h"

#include <QCoreApplication>
#include <QNetworkDatagram>
#include <QNetworkProxy>
#include <QUdpSocket>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <linux/errqueue.h>
#include <netinet/in.h>
#include <sys/socket.h>

namespace {

using std::chrono::milliseconds;

// How soon a closed port is noticed.
constexpr milliseconds RefusalPoll{25};
// After the user's Cancel, how long an answer to what was already sent is still taken.
constexpr milliseconds AbandonGrace{200};

} // namespace

PcpNatPmpExchange::PcpNatPmpExchange(Waiter& waiter, const PcpNatPmpOptions& options,
                                     QObject* parent)
    : QObject(parent), waiter_(waiter), options_(options) {}

PcpNatPmpExchange::~PcpNatPmpExchange() {
    close();
}

quint16 PcpNatPmpExchange::localPort() const {
    return socket_ ? socket_->localPort() : 0;
}

bool PcpNatPmpExchange::open(QString& why) {
    close();
    refused_ = false;
    changed_ = false;
    deadline = waiter_.now() + options_.timings.limit;
    if (options_.router.isNull() || options_.port == 0) {
        why = QCoreApplication::translate("Router", "No router address is set.");
        return false;
    }
    local_ = options_.localAddress.isNull() ? LocalAddressToward(options_.router, options_.port)
                                            : PlainAddress(options_.localAddress);
    if (local_.isNull()) {
        why =
            QCoreApplication::translate("Router", "This computer has no route to the router at %1.")
                .arg(options_.router.toString());
        return false;
    }
    socket_ = std::make_unique<QUdpSocket>();
    socket_->setProxy(QNetworkProxy::NoProxy);
    // Connected, so that the system drops whatever does not come from the router's port
    // and tells when that port is closed.
    if (socket_->bind(local_, 0))
        socket_->connectToHost(options_.router, options_.port);
    if (socket_->state() != QAbstractSocket::ConnectedState && !socket_->waitForConnected(200)) {
        socket_.reset();
        why = QCoreApplication::translate(
            "Router", "Harborly could not open a network socket toward the router.");
        return false;
    }
    const int on = 1;
    ::setsockopt(int(socket_->socketDescriptor()), SOL_IP, IP_RECVERR, &on, sizeof on);
    connect(socket_.get(), &QUdpSocket::readyRead, this, &PcpNatPmpExchange::readDatagrams);
    connect(socket_.get(), &QAbstractSocket::errorOccurred, this,
            [this](QAbstractSocket::SocketError error) {
                if (error == QAbstractSocket::ConnectionRefusedError) {
                    refused_ = true;
                    waiter_.wake();
                }
            });
    return true;
}

void PcpNatPmpExchange::close() {
    onAnswer = nullptr;
    if (socket_) {
        socket_->disconnect(this);
        socket_.reset();
    }
}

void PcpNatPmpExchange::readDatagrams() {
    if (!socket_)
        return;
    DrainDatagrams(*socket_, MaxPcpNatPmpDatagram, 64, [this](const QNetworkDatagram& datagram) {
        // The connected socket already filters; this holds wherever it would not.
        const QHostAddress sender = PlainAddress(datagram.senderAddress());
        if (!sender.isNull() &&
            (sender != options_.router || datagram.senderPort() != options_.port))
            return true;
        if (onAnswer)
            onAnswer(datagram.data());
        return socket_ != nullptr;
    });
    changed_ = true;
    waiter_.wake();
}

milliseconds PcpNatPmpExchange::jitter(milliseconds wait) {
    // (1 + RAND) with RAND uniform in [-0.1, +0.1]
    return wait * (900 + qint64(options_.random() % 201)) / 1000;
}

void PcpNatPmpExchange::send(Track& t) {
    const PcpNatPmpTimings& timing = options_.timings;
    if (t.pcpClock) {
        milliseconds next = t.sent == 0 ? jitter(timing.pcpFirstWait) : jitter(2 * t.wait);
        if (next > timing.pcpMaxWait)
            next = jitter(timing.pcpMaxWait);
        t.wait = std::max(next, milliseconds(1));
    } else {
        t.wait = t.sent == 0 ? timing.natPmpFirstWait : 2 * t.wait;
    }
    socket_->write(t.packet);
    // Each wait counts from when the send was due, so a late wake-up does not push every
    // later send back; after a stall (a suspend) the schedule starts again from now.
    const milliseconds now = waiter_.now();
    t.nextAt = (t.sent == 0 ? now : t.nextAt) + t.wait;
    if (t.nextAt <= now)
        t.nextAt = now + t.wait;
    ++t.sent;
}

void PcpNatPmpExchange::run(const QList<Track*>& tracks) {
    bool abandoned = false;
    for (;;) {
        if (refused_ || !socket_)
            return;
        const milliseconds now = waiter_.now();
        // Given up by the user: a request goes out at most once, and an answer already on its
        // way is taken for a moment more.
        if (!abandoned && waiter_.abandoned()) {
            abandoned = true;
            deadline = std::min(deadline, now + AbandonGrace);
        }
        if (now >= deadline)
            return;
        bool pending = false;
        milliseconds next = deadline;
        for (Track* t : tracks) {
            if (t->finished)
                continue;
            if (now >= t->nextAt && !(abandoned && t->sent > 0)) {
                if (t->maxSends > 0 && t->sent >= t->maxSends) {
                    t->finished = true;
                    continue;
                }
                send(*t);
            }
            pending = true;
            if (!(abandoned && t->sent > 0))
                next = std::min(next, t->nextAt);
        }
        if (!pending)
            return;
        changed_ = false;
        waiter_.waitFor([this] { return changed_ || refused_; }, std::min(next - now, RefusalPoll));
        checkRefused();
    }
}

void PcpNatPmpExchange::checkRefused() {
    // A closed port answers with an ICMP "port unreachable". Qt reports it for no UDP socket
    // and even clears it while peeking for datagrams, so the socket also queues it apart
    // (IP_RECVERR), where it waits for this.
    if (!socket_)
        return;
    const int fd = int(socket_->socketDescriptor());
    int error = 0;
    socklen_t size = sizeof error;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error == ECONNREFUSED)
        refused_ = true;
    for (int i = 0; i < 16; ++i) {
        char data[64];
        alignas(cmsghdr) char control[256];
        iovec iov{data, sizeof data};
        msghdr message{};
        message.msg_iov = &iov;
        message.msg_iovlen = 1;
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        if (::recvmsg(fd, &message, MSG_ERRQUEUE | MSG_DONTWAIT) < 0)
            return;
        for (cmsghdr* c = CMSG_FIRSTHDR(&message); c; c = CMSG_NXTHDR(&message, c)) {
            if (c->cmsg_level != SOL_IP || c->cmsg_type != IP_RECVERR)
                continue;
            sock_extended_err e{};
            std::memcpy(&e, CMSG_DATA(c), sizeof e);
            if (e.ee_errno == ECONNREFUSED)
                refused_ = true;
        }
    }
}
