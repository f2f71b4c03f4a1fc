// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The PCP / NAT-PMP client the pcp and natpmp router kinds are written against.
//
//   LoopWaiter waiter;                        // or PumpWaiter over the program's EventPump
//   PcpNatPmpOptions options;
//   options.router = QHostAddress("192.168.1.1");   // or ReadDefaultGateway()
//   options.mode = PcpNatPmpMode::Pcp;              // falls back to NAT-PMP by itself
//   PcpNatPmpClient client(waiter, options);
//   const PcpNatPmpAddressResult wan = client.externalAddress();   // wan.text: why not, or a
//   warning PcpNatPmpMapResult m = client.map("TCP", 8080, 8080, 7200);    // new nonce; keep
//   m.nonce
//   // renew before half of m.grantedLifetime is gone, with the same nonce and port:
//   m = client.map("TCP", 8080, m.externalPort, 7200, m.nonce);
//   if (m.restartDetected) { ... the router lost every other forward too: make them again }
//   client.unmap("TCP", 8080, m.nonce);      // empty nonce: made with NAT-PMP
//
// Keep one client per router: it remembers the epochs that tell a restart, and whether the
// router ignores PCP. Every call returns within timings.limit and runs the event loop while it
// waits; one call at a time (a call made while another waits fails at once). Datagrams go to the
// router's address and port only, from one socket connected there; answers from anywhere else, and
// datagrams over MaxPcpNatPmpDatagram bytes, are ignored.

#include "platform/Waiter.h"
#include "router/pcpnatpmp/PcpNatPmpEpoch.h"
#include "router/pcpnatpmp/PcpNatPmpExchange.h"
#include "router/pcpnatpmp/PcpNatPmpPackets.h"

#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QString>

#include <chrono>
#include <functional>
#include <memory>

enum class PcpNatPmpProtocol { None, Pcp, NatPmp };
QString PcpNatPmpProtocolName(PcpNatPmpProtocol protocol); // "PCP", "NAT-PMP", ""

struct PcpNatPmpAddressResult {
    bool ok = false;
    bool answered = false; // the router said something valid
    QString address{};     // may be private or 0.0.0.0: see ClassifyExternalAddress
    PcpNatPmpProtocol protocolUsed = PcpNatPmpProtocol::None;
    bool pcpAvailable = false; // a PCP server answered
    quint32 epoch = 0;
    int resultCode = 0; // of protocolUsed
    bool restartDetected = false;
    QString text{}; // why not; on success the warning for an unreachable address, if any
};

struct PcpNatPmpMapRequest {
    QString protocol{}; // "TCP" or "UDP"
    quint16 internalPort = 0;
    quint16 suggestedExternalPort = 0; // renewal: the port granted before
    quint32 lifetimeSeconds = 7200;
    QByteArray nonce{}; // PCP: PcpNonceSize bytes, kept for renewal and deletion; made when empty
    QHostAddress suggestedExternalAddress{}; // PCP renewal: the address granted before
};

struct PcpNatPmpMapResult {
    bool ok = false;
    bool answered = false;
    quint16 externalPort = 0;
    QString externalAddress{}; // PCP only (NAT-PMP mapping answers carry none)
    quint32 grantedLifetime = 0;
    quint32 retryAfter = 0; // PCP refusals: seconds the same request keeps failing
    quint32 epoch = 0;
    bool restartDetected = false; // the router lost its mappings since the last answer
    PcpNatPmpProtocol protocolUsed = PcpNatPmpProtocol::None;
    QByteArray nonce{}; // PCP; empty when NAT-PMP did it
    int resultCode = 0;
    QString text{}; // why not, for the user
};

class PcpNatPmpClient : public QObject {
    Q_OBJECT
public:
    PcpNatPmpClient(Waiter& waiter, PcpNatPmpOptions options, QObject* parent = nullptr);
    ~PcpNatPmpClient() override;

    // PCP ANNOUNCE and NAT-PMP's address request together (NAT-PMP's alone in NatPmpOnly).
    // A PCP router that does not speak NAT-PMP tells its address only through a mapping:
    // a short one of this client's own UDP port is made and deleted again.
    PcpNatPmpAddressResult externalAddress();

    // PCP ANNOUNCE alone: whether a PCP server answers (success) at the router's address,
    // nothing made on it. Over IPv6 it tells whether pinholes can be asked for there.
    bool announce();

    PcpNatPmpMapResult map(const PcpNatPmpMapRequest& request);
    PcpNatPmpMapResult map(const QString& protocol, quint16 internalPort,
                           quint16 suggestedExternalPort, quint32 lifetimeSeconds,
                           const QByteArray& nonce = {});
    // Deletes this computer's mapping of `internalPort`: with PCP under `nonce`, with NAT-PMP
    // when the nonce is empty. A mapping the router no longer has counts as deleted.
    PcpNatPmpMapResult unmap(const QString& protocol, quint16 internalPort,
                             const QByteArray& nonce);

    // What another client was just told by the same router (the automatic kind's probe), taken
    // as this client's own first answer: its epoch is the one a restart is measured against.
    void adopt(const PcpNatPmpAddressResult& known, const QHostAddress& local);

    const PcpNatPmpOptions& options() const { return options_; }
    QHostAddress localAddress() const {
        return exchange_.local().isNull() ? adoptedLocal_ : exchange_.local();
    }

private:
    using Track = PcpNatPmpExchange::Track;
    enum class PcpEnd { Answered, NatPmpServer, OtherVersion, Silent, SilentAlone, Refused };
    struct PcpOutcome {
        PcpEnd end = PcpEnd::Silent;
        PcpAnswer answer;
    };
    struct NatPmpOutcome {
        bool answered = false;
        NatPmpAnswer answer;
    };

    struct AddressProbe;

    QByteArray newNonce();
    // The client address PCP requests carry.
    QHostAddress pcpClient() const {
        return options_.clientAddress.isNull() ? exchange_.local() : options_.clientAddress;
    }

    void takeAddressAnswer(AddressProbe& probe, const QByteArray& bytes);
    PcpNatPmpAddressResult addressResult(const AddressProbe& probe, bool refused);
    void addressByMapping(quint32 announcedEpoch, PcpNatPmpAddressResult& result);

    PcpOutcome pcpMap(const PcpMapRequest& request, int maxSends, bool mayFallBack);
    NatPmpOutcome natPmpMap(quint8 opcode, quint16 internalPort, quint16 suggested,
                            quint32 lifetime, int maxSends);
    PcpNatPmpMapResult doMap(const PcpNatPmpMapRequest& request);
    // False when the request goes to NAT-PMP instead.
    bool mapWithPcp(const PcpNatPmpMapRequest& request, PcpNatPmpMapResult& result);
    PcpNatPmpMapResult doUnmap(const QString& protocol, quint16 internalPort,
                               const QByteArray& nonce);
    void takePcpAnswer(const PcpAnswer& answer, const QByteArray& nonce,
                       PcpNatPmpMapResult& result);
    void takeNatPmpAnswer(const NatPmpAnswer& answer, PcpNatPmpMapResult& result);
    QString silenceText() const;
    QString refusedText() const;
    QString unansweredText(bool refused) const;
    static QString busyText();

    Waiter& waiter_;
    PcpNatPmpOptions options_;
    PcpNatPmpExchange exchange_;
    bool busy_ = false;
    bool pcpHeard_ = false;   // some PCP answer came from this router
    bool pcpIgnored_ = false; // the last probe: NAT-PMP answered, PCP stayed silent
    EpochWatch pcpEpoch_{EpochWatch::Rule::Pcp};
    EpochWatch natPmpEpoch_{EpochWatch::Rule::NatPmp};
    QHostAddress adoptedLocal_{}; // until this client's own first exchange
};
