// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The PCP and NAT-PMP kinds' simulated router: one UDP port on a loopback address, a mapping
// table with leases and the epoch on an injectable clock.

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QString>

#include <functional>

class QUdpSocket;

struct PcpNatPmpSimOptions {
    bool pcp = true; // false: NAT-PMP alone, PCP answered "unsupported version"
    QString externalIp = QStringLiteral("11.22.33.44"); // empty or 0.0.0.0: no WAN address
    quint32 lifetimeMax = 0;  // grant at most this many seconds (0: no cap of its own)
    quint16 refusePort = 0;   // NOT_AUTHORIZED / result 2 for this internal or external port
    bool silent = false;      // read every request, answer none
    bool pcpVersion1 = false; // pre-RFC firmware: PCP answered with a version-1 header
    qint64 restartAfterS =
        0;                 // lose every mapping and restart the epoch once, this long after start
    int maxMappings = 128; // beyond this: NO_RESOURCES / result 4
    quint32 refusalLifetime = 0; // PCP NOT_AUTHORIZED: this lifetime (a "long" error's wait)
    QString logPath;             // append every datagram received, in hex, one per line
    // PCP also on [::1] at the same port: a MAP for an IPv6 client opens a pinhole (the
    // client's own address and port, nothing translated), as a router that filters IPv6 does.
    bool ipv6 = false;
    // miniupnpd 2.3.1's way: a pinhole once renewed refuses its own nonce's delete
    // (NOT_AUTHORIZED) and stays until it expires.
    bool renewedPinholeStays = false;
};

// One row of the mapping table. A PCP row carries the nonce that made it; NAT-PMP rows have none.
struct PcpNatPmpMapping {
    QHostAddress client;
    int protocol = 0; // IANA number: 6 TCP, 17 UDP
    quint16 internalPort = 0;
    quint16 externalPort = 0;
    QByteArray nonce;     // 12 bytes, or empty for NAT-PMP
    quint32 lifetime = 0; // as granted
    qint64 expiresAt = 0; // clock seconds
    bool renewed = false;

    bool operator==(const PcpNatPmpMapping&) const = default;
};

// A router speaking NAT-PMP (RFC 6886) and, unless told otherwise, PCP (RFC 6887) on one UDP
// port of an IPv4 loopback address. Mappings are made for the sender's own address; leases and
// the epoch run on an injectable clock, so a restart is visible to clients only through the
// epoch going back and the mappings being gone.
class PcpNatPmpSimulator : public QObject {
    Q_OBJECT
public:
    using Clock = std::function<qint64()>; // seconds, never going backwards

    static constexpr qsizetype MaxDatagramBytes = 1100;
    static constexpr quint32 PcpMinLifetime = 120;
    static constexpr quint32 PcpMaxLifetime = 86400;

    explicit PcpNatPmpSimulator(PcpNatPmpSimOptions options = {}, QObject* parent = nullptr);
    ~PcpNatPmpSimulator() override;

    // IPv4 loopback only; port 0 picks a free one.
    bool listen(const QHostAddress& address = QHostAddress::LocalHost, quint16 port = 0);
    QHostAddress address() const;
    quint16 port() const;

    const PcpNatPmpSimOptions& options() const { return options_; }
    void setOptions(const PcpNatPmpSimOptions& options);
    void setClock(Clock clock); // also starts the epoch afresh

    // Epoch back to zero, every mapping gone: what a router's reboot looks like from outside.
    void restart();
    quint32 epoch();
    int restarts() const { return restarts_; }

    // The live table, oldest first, expired rows dropped.
    QList<PcpNatPmpMapping> mappings();
    void addMapping(const PcpNatPmpMapping& mapping); // as if another computer made it (no checks)
    // Every datagram read from the socket, answered or not.
    qsizetype datagramsReceived() const { return received_; }

    // The answer to one datagram from `peer`, or nothing; public for the fuzzer.
    QByteArray respond(const QByteArray& datagram, const QHostAddress& peer);

signals:
    void restarted();

private:
    QByteArray natPmp(const QByteArray& request, const QHostAddress& peer);
    QByteArray natPmpHead(quint8 opcode, quint16 result) const;
    QByteArray pcp(const QByteArray& request, const QHostAddress& peer);
    QByteArray pcpMap(const QByteArray& request, const QHostAddress& peer);

    void onDatagrams(QUdpSocket* socket);
    void maintain(); // the scheduled restart and lease expiry
    qint64 now() const;
    quint32 epochNow() const; // without the upkeep epoch() does
    QHostAddress wanAddress() const;
    qsizetype find(const QHostAddress& client, int protocol, quint16 internalPort) const;
    // A free external port, `wanted` when it is free (0: the internal port), or 0 when none is.
    quint16 freeExternalPort(int protocol, quint16 wanted, quint16 internalPort) const;
    quint32 grant(quint32 asked, bool clamp) const;

    PcpNatPmpSimOptions options_;
    Clock clock_;
    qint64 startedAt_ = 0; // when the program (or the injected clock) started
    qint64 epochAt_ = 0;   // when the current epoch began
    bool scheduledRestartDone_ = false;
    int restarts_ = 0;
    qsizetype received_ = 0;
    QUdpSocket* socket_;
    QUdpSocket* socket6_ = nullptr; // [::1], with ipv6
    QList<PcpNatPmpMapping> table_;
};
