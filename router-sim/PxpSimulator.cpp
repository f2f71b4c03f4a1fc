// The PCP and NAT-PMP router, its packets read and written here apart from app/router/pxp on
// purpose: the simulator checks the client independently.
#include "PxpSimulator.h"

#include "SimHttp.h"

#include <QNetworkDatagram>
#include <QTimer>
#include <QUdpSocket>

#include <algorithm>
#include <chrono>
#include <utility>

namespace {

constexpr quint8 NatPmpVersion = 0;
constexpr quint8 PcpVersion = 2;
constexpr quint8 PreRfcPcpVersion = 1;
constexpr quint8 ResponseBit = 0x80;
constexpr qsizetype PcpHeaderBytes = 24;
constexpr qsizetype MapBodyBytes = 36;
constexpr int Tcp = 6;
constexpr int Udp = 17;

// NAT-PMP result codes.
enum : quint16 {
    PmpSuccess = 0,
    PmpUnsupportedVersion = 1,
    PmpRefused = 2,
    PmpNetworkFailure = 3,
    PmpOutOfResources = 4,
    PmpUnsupportedOpcode = 5,
};

// PCP result codes.
enum : quint8 {
    Success = 0,
    UnsuppVersion = 1,
    NotAuthorized = 2,
    MalformedRequest = 3,
    UnsuppOpcode = 4,
    UnsuppOption = 5,
    MalformedOption = 6,
    NetworkFailure = 7,
    NoResources = 8,
    UnsuppProtocol = 9,
    AddressMismatch = 12,
};

enum : quint8 { Announce = 0, Map = 1 };

// How long an error will keep coming back: miniupnpd says 30 s for the short ones, 0 otherwise.
quint32 errorLifetime(quint8 result) {
    return result == NetworkFailure || result == NoResources || result == 10 || result == 11 ? 30
                                                                                             : 0;
}

quint16 get16(const QByteArray& d, qsizetype at) {
    return static_cast<quint16>((static_cast<quint8>(d[at]) << 8) | static_cast<quint8>(d[at + 1]));
}

quint32 get32(const QByteArray& d, qsizetype at) {
    return (quint32{get16(d, at)} << 16) | get16(d, at + 2);
}

void put16(QByteArray& d, quint16 v) {
    d.append(static_cast<char>(v >> 8));
    d.append(static_cast<char>(v & 0xFF));
}

void put32(QByteArray& d, quint32 v) {
    put16(d, static_cast<quint16>(v >> 16));
    put16(d, static_cast<quint16>(v & 0xFFFF));
}

void putIpv4(QByteArray& d, const QHostAddress& a) {
    put32(d, a.isNull() ? 0 : a.toIPv4Address());
}

// The 16-byte form PCP writes addresses in: ::ffff:a.b.c.d for IPv4, IPv6 as it is.
QByteArray mapped(const QHostAddress& a) {
    if (a.protocol() == QAbstractSocket::IPv6Protocol) {
        const Q_IPV6ADDR v6 = a.toIPv6Address();
        return QByteArray(reinterpret_cast<const char*>(v6.c), 16);
    }
    QByteArray d(10, '\0');
    d.append(2, '\xFF');
    putIpv4(d, a);
    return d;
}

QByteArray pcpHeader(quint8 version, quint8 opcode, quint8 result, quint32 lifetime, quint32 epoch,
                     const QByteArray& reserved = {}) {
    QByteArray d;
    d.append(static_cast<char>(version));
    d.append(static_cast<char>(ResponseBit | opcode));
    d.append('\0');
    d.append(static_cast<char>(result));
    put32(d, lifetime);
    put32(d, epoch);
    d.append(reserved.size() == 12 ? reserved : QByteArray(12, '\0'));
    return d;
}

// What goes into the reserved field of an answer to a request that could not be read: the last
// 12 bytes of its client address field, when it has one.
QByteArray unparsedTail(const QByteArray& request) {
    return request.size() >= PcpHeaderBytes ? request.mid(12, 12) : QByteArray();
}

// The first problem with the options from `at` on, or Success. None is understood here, so a
// mandatory one (code below 128) cannot be honoured; optional ones are skipped.
quint8 checkOptions(const QByteArray& d, qsizetype at) {
    while (at < d.size()) {
        if (d.size() - at < 4)
            return MalformedOption;
        const quint8 code = static_cast<quint8>(d[at]);
        const qsizetype length = get16(d, at + 2);
        const qsizetype padded = (length + 3) & ~qsizetype{3};
        if (padded > d.size() - at - 4)
            return MalformedOption;
        if (code < 128)
            return UnsuppOption;
        at += 4 + padded;
    }
    return Success;
}

} // namespace

PxpSimulator::PxpSimulator(PxpSimOptions options, QObject* parent)
    : QObject(parent), clock_(Sim::steadySeconds), socket_(new QUdpSocket(this)) {
    startedAt_ = epochAt_ = now();
    setOptions(std::move(options));
    connect(socket_, &QUdpSocket::readyRead, this, [this] { onDatagrams(socket_); });
}

PxpSimulator::~PxpSimulator() = default;

bool PxpSimulator::listen(const QHostAddress& address, quint16 port) {
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
        QTimer::singleShot(std::chrono::milliseconds(ms), this, &PxpSimulator::maintain);
    }
    return true;
}

QHostAddress PxpSimulator::address() const {
    return socket_->localAddress();
}

quint16 PxpSimulator::port() const {
    return socket_->localPort();
}

void PxpSimulator::setOptions(const PxpSimOptions& options) {
    options_ = options;
    options_.maxMappings = std::max(options_.maxMappings, 1);
}

void PxpSimulator::setClock(Clock clock) {
    clock_ = std::move(clock);
    startedAt_ = epochAt_ = now();
    scheduledRestartDone_ = false;
}

qint64 PxpSimulator::now() const {
    return clock_();
}

void PxpSimulator::restart() {
    epochAt_ = now();
    table_.clear();
    ++restarts_;
    emit restarted();
}

quint32 PxpSimulator::epoch() {
    maintain();
    return epochNow();
}

quint32 PxpSimulator::epochNow() const {
    return static_cast<quint32>(std::max<qint64>(now() - epochAt_, 0));
}

void PxpSimulator::maintain() {
    const qint64 t = now();
    if (options_.restartAfterS > 0 && !scheduledRestartDone_ &&
        t >= startedAt_ + options_.restartAfterS) {
        scheduledRestartDone_ = true;
        restart();
        // The epoch counts from the moment the restart was due, however late it is noticed.
        epochAt_ = startedAt_ + options_.restartAfterS;
    }
    table_.removeIf([t](const PxpMapping& m) { return m.expiresAt <= t; });
}

QList<PxpMapping> PxpSimulator::mappings() {
    maintain();
    return table_;
}

void PxpSimulator::addMapping(const PxpMapping& mapping) {
    table_.append(mapping);
}

QHostAddress PxpSimulator::wanAddress() const {
    const QHostAddress a(options_.externalIp);
    if (a.protocol() != QAbstractSocket::IPv4Protocol || a.toIPv4Address() == 0)
        return {};
    return a;
}

qsizetype PxpSimulator::find(const QHostAddress& client, int protocol, quint16 internalPort) const {
    for (qsizetype i = 0; i < table_.size(); ++i) {
        const PxpMapping& m = table_[i];
        if (m.protocol == protocol && m.internalPort == internalPort && m.client == client)
            return i;
    }
    return -1;
}

quint16 PxpSimulator::freeExternalPort(int protocol, quint16 wanted, quint16 internalPort) const {
    const auto taken = [this, protocol](quint32 port) {
        return std::any_of(table_.begin(), table_.end(), [&](const PxpMapping& m) {
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

quint32 PxpSimulator::grant(quint32 asked, bool clamp) const {
    quint32 lifetime = clamp ? std::clamp(asked, PcpMinLifetime, PcpMaxLifetime) : asked;
    if (options_.lifetimeMax != 0)
        lifetime = std::min(lifetime, options_.lifetimeMax);
    return lifetime;
}

// --- transport -------------------------------------------------------------------------------

void PxpSimulator::onDatagrams(QUdpSocket* socket) {
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

QByteArray PxpSimulator::respond(const QByteArray& datagram, const QHostAddress& peer) {
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

// --- NAT-PMP ---------------------------------------------------------------------------------

QByteArray PxpSimulator::natPmp(const QByteArray& request, const QHostAddress& peer) {
    const quint8 opcode = static_cast<quint8>(request[1]);
    QByteArray answer;
    answer.append(static_cast<char>(NatPmpVersion));
    answer.append(static_cast<char>(ResponseBit | opcode));
    const auto head = [&](quint16 result) {
        put16(answer, result);
        put32(answer, epochNow());
        return answer;
    };
    const QHostAddress wan = wanAddress();
    if (opcode == 0) {
        head(wan.isNull() ? PmpNetworkFailure : PmpSuccess);
        putIpv4(answer, wan);
        return answer;
    }
    if (opcode != 1 && opcode != 2)
        return head(PmpUnsupportedOpcode);
    if (request.size() < 12)
        return {};

    const int protocol = opcode == 1 ? Udp : Tcp;
    const quint16 internalPort = get16(request, 4);
    const quint16 suggested = get16(request, 6);
    const quint32 asked = get32(request, 8);
    const auto reply = [&](quint16 result, quint16 externalPort, quint32 lifetime) {
        head(result);
        put16(answer, internalPort);
        put16(answer, externalPort);
        put32(answer, lifetime);
        return answer;
    };

    if (asked == 0) {
        // Deleting what is not there succeeds; internal port 0 means every NAT-PMP mapping of
        // this computer for the protocol. Mappings made over PCP are not NAT-PMP's to delete.
        if (internalPort == 0) {
            table_.removeIf([&](const PxpMapping& m) {
                return m.client == peer && m.protocol == protocol && m.nonce.isEmpty();
            });
            return reply(PmpSuccess, 0, 0);
        }
        const qsizetype i = find(peer, protocol, internalPort);
        if (i >= 0 && !table_[i].nonce.isEmpty())
            return reply(PmpRefused, 0, 0);
        if (i >= 0)
            table_.removeAt(i);
        return reply(PmpSuccess, 0, 0);
    }
    if (internalPort == 0 || (options_.refusePort != 0 && (internalPort == options_.refusePort ||
                                                           suggested == options_.refusePort)))
        return reply(PmpRefused, 0, 0);
    if (wan.isNull())
        return reply(PmpNetworkFailure, 0, 0);
    const quint32 lifetime = grant(asked, false);
    const qsizetype i = find(peer, protocol, internalPort);
    if (i >= 0) {
        PxpMapping& m = table_[i];
        if (!m.nonce.isEmpty())
            return reply(PmpRefused, 0, 0);
        // A repeated request keeps the port already given, whatever it suggests.
        m.lifetime = lifetime;
        m.expiresAt = now() + lifetime;
        return reply(PmpSuccess, m.externalPort, lifetime);
    }
    const quint16 externalPort = freeExternalPort(protocol, suggested, internalPort);
    if (table_.size() >= options_.maxMappings || externalPort == 0)
        return reply(PmpOutOfResources, 0, 0);
    table_.append(
        PxpMapping{peer, protocol, internalPort, externalPort, {}, lifetime, now() + lifetime});
    return reply(PmpSuccess, externalPort, lifetime);
}

// --- PCP -------------------------------------------------------------------------------------

QByteArray PxpSimulator::pcp(const QByteArray& request, const QHostAddress& peer) {
    const quint8 version = static_cast<quint8>(request[0]);
    const quint8 opcode = static_cast<quint8>(request[1]) & ~ResponseBit;
    if (!options_.pcp) {
        // What a NAT-PMP router says to anything but version 0.
        QByteArray answer;
        answer.append(static_cast<char>(NatPmpVersion));
        answer.append(static_cast<char>(ResponseBit | opcode));
        put16(answer, PmpUnsupportedVersion);
        put32(answer, epochNow());
        return answer;
    }
    if (options_.pcpVersion1)
        return pcpHeader(PreRfcPcpVersion, opcode, UnsuppVersion, 0, epochNow(),
                         unparsedTail(request));
    if (version != PcpVersion)
        return pcpHeader(PcpVersion, opcode, UnsuppVersion, 0, epochNow(), unparsedTail(request));
    if (request.size() < PcpHeaderBytes || request.size() % 4 != 0)
        return pcpHeader(PcpVersion, opcode, MalformedRequest, 0, epochNow(),
                         unparsedTail(request));
    if (opcode == Map)
        return pcpMap(request, peer);
    if (opcode != Announce)
        return pcpHeader(PcpVersion, opcode, UnsuppOpcode, 0, epochNow());
    quint8 result = checkOptions(request, PcpHeaderBytes);
    if (result == Success && request.mid(8, 16) != mapped(peer))
        result = AddressMismatch;
    return pcpHeader(PcpVersion, Announce, result, 0, epochNow());
}

QByteArray PxpSimulator::pcpMap(const QByteArray& request, const QHostAddress& peer) {
    if (request.size() < PcpHeaderBytes + MapBodyBytes)
        return pcpHeader(PcpVersion, Map, MalformedRequest, 0, epochNow(), unparsedTail(request));
    const quint32 asked = get32(request, 4);
    const QByteArray nonce = request.mid(24, 12);
    const int protocol = static_cast<quint8>(request[36]);
    const quint16 internalPort = get16(request, 40);
    const quint16 suggested = get16(request, 42);

    // Errors copy the request's body; a success names what was assigned.
    const auto error = [&](quint8 result) {
        const quint32 wait = result == NotAuthorized && options_.refusalLifetime != 0
                                 ? options_.refusalLifetime
                                 : errorLifetime(result);
        return pcpHeader(PcpVersion, Map, result, wait, epochNow()) +
               request.mid(PcpHeaderBytes, MapBodyBytes);
    };
    const auto success = [&](quint32 lifetime, quint16 externalPort, const QHostAddress& wan) {
        QByteArray body = nonce;
        body.append(static_cast<char>(protocol));
        body.append(3, '\0');
        put16(body, internalPort);
        put16(body, externalPort);
        body.append(mapped(wan));
        return pcpHeader(PcpVersion, Map, Success, lifetime, epochNow()) + body;
    };

    if (const quint8 bad = checkOptions(request, PcpHeaderBytes + MapBodyBytes); bad != Success)
        return error(bad);
    if (request.mid(8, 16) != mapped(peer))
        return error(AddressMismatch);
    if (protocol == 0 && internalPort != 0)
        return error(MalformedRequest);
    if (protocol != Tcp && protocol != Udp)
        return error(UnsuppProtocol);
    // "Every port" is a policy question this router answers with no.
    if (internalPort == 0)
        return error(NotAuthorized);

    const qsizetype i = find(peer, protocol, internalPort);
    // Only the nonce that made a mapping may renew or delete it.
    if (i >= 0 && table_[i].nonce != nonce)
        return error(NotAuthorized);
    if (asked == 0) {
        if (i < 0) {
            // Nothing to delete is a done delete.
            QByteArray answer = pcpHeader(PcpVersion, Map, Success, 0, epochNow());
            return answer + request.mid(PcpHeaderBytes, MapBodyBytes);
        }
        if (options_.renewedPinholeStays && table_[i].renewed)
            return error(NotAuthorized);
        const PxpMapping gone = table_.takeAt(i);
        return success(0, gone.externalPort, wanAddress());
    }
    if (options_.refusePort != 0 &&
        (internalPort == options_.refusePort || suggested == options_.refusePort))
        return error(NotAuthorized);
    const bool pinhole = peer.protocol() == QAbstractSocket::IPv6Protocol;
    // A pinhole lets connections through to the client's own address and port.
    const QHostAddress wan = pinhole ? peer : wanAddress();
    if (wan.isNull())
        return error(NetworkFailure);
    const quint32 lifetime = grant(asked, true);
    if (i >= 0) {
        PxpMapping& m = table_[i];
        m.lifetime = lifetime;
        m.expiresAt = now() + lifetime;
        m.renewed = pinhole;
        return success(lifetime, m.externalPort, wan);
    }
    const quint16 externalPort =
        pinhole ? internalPort : freeExternalPort(protocol, suggested, internalPort);
    if (table_.size() >= options_.maxMappings || externalPort == 0)
        return error(NoResources);
    table_.append(
        PxpMapping{peer, protocol, internalPort, externalPort, nonce, lifetime, now() + lifetime});
    return success(lifetime, externalPort, wan);
}
