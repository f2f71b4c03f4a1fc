// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The UPnP kind's simulated router: an Internet Gateway Device with SSDP discovery, its
// description and the WANIPConnection actions, on a loopback address.

#include "SimDescription.h"
#include "SimIgdTable.h"
#include "SimPinholes.h"
#include "SimSoap.h"

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>

#include <functional>
#include <optional>

class QUdpSocket;
class SimHttpServer;
struct SimHttpSite;

// Forwards the router lists and renews but carries nothing for: until deleted and made again
// (what helps on such routers), or for good.
enum class DeadForwards { None, UntilRemade, Always };

struct UpnpSimOptions {
    int igdVersion = 2;          // 1: IGD:1 with WANIPConnection:1; 2: IGD:2 with :2
    bool permanentOnly = false;  // refuse every lease but 0 with 725
    quint16 conflictPort = 0;    // this external port is mapped to another computer
    bool lowPortsRefused = true; // 606 for ports below 1024, as miniupnpd's default ACL
    bool secureMode = true;      // InternalClient must be the requester
    QString externalIp = QStringLiteral("11.22.33.44");
    bool ssdpSilent = false; // read discovery requests, never answer
    bool ssdpBareLf = false; // end the discovery answer's lines in LF alone
    QString locationHost;    // host put into LOCATION; empty: the listen address
    quint32 bootId = 1;      // BOOTID.UPNP.ORG
    QString friendlyName = QStringLiteral("Harborly Simulated Router");
    bool deleteMissingFaults = false; // 714 for deleting a missing mapping (miniupnpd: 200)
    bool deleteIgnored = false;       // answer DeletePortMapping with 200 and keep the mapping
    bool listEmptyAtStart = false;    // 713 at index 0 although mappings exist
    int maxMappings = 128;            // table full beyond this: 728 (v2) or 501 (v1)
    quint32 leaseMax = 0;             // grant at most this many seconds, permanent ones too
    int listFailsAt = -1;             // GetGenericPortMappingEntry from this index: bare HTTP 500
    QString logPath;                  // append every HTTP request received, byte for byte
    // IGD:2 only: WANIPv6FirewallControl:1 in the description, its control also on [::1] at
    // the HTTP port, pinholes as `firewall` says.
    bool ipv6 = false;
    SimPinholeOptions firewall;
    // A root description served as it is in place of the simulator's own: its device type,
    // UDN and connection services are the router's, their control URLs answered (on ports of
    // their own too). With ssdpReply, discovery answers are that answer with LOCATION and ST
    // filled in, and the description is served at the path its LOCATION names.
    QByteArray description;
    QByteArray ssdpReply;
    SimSoap::Style style; // how every HTTP answer is written
    DeadForwards deadForwards = DeadForwards::None;
};

// A UPnP Internet Gateway Device on a loopback address, strict the way real routers are:
// unicast SSDP discovery on a UDP port, the device description and WANIPConnection control on
// HTTP, and a mapping table whose leases run on an injectable clock. Every HTTP answer closes
// the connection.
class UpnpSimulator : public QObject {
    Q_OBJECT
public:
    using Clock = std::function<qint64()>; // seconds, never going backwards

    static constexpr qsizetype MaxHeaderBytes = 8 * 1024;
    static constexpr qsizetype MaxBodyBytes = 64 * 1024;
    static constexpr qsizetype MaxDatagramBytes = 8 * 1024;
    static constexpr int IdleTimeoutMs = 10000;

    explicit UpnpSimulator(UpnpSimOptions options = {}, QObject* parent = nullptr);
    ~UpnpSimulator() override;

    // IPv4 loopback only; port 0 picks a free one. SSDP listens on the same address.
    bool listen(const QHostAddress& address = QHostAddress::LocalHost, quint16 httpPort = 0,
                quint16 ssdpPort = 0);
    QHostAddress address() const;
    quint16 httpPort() const;
    quint16 ssdpPort() const;
    // With ipv6: discovery on [::1] too (the same port where it is free), answered with an
    // IPv6 LOCATION. 0 without.
    quint16 ssdp6Port() const;
    QString locationUrl(bool ipv6 = false) const;

    const UpnpSimOptions& options() const { return options_; }
    void setOptions(const UpnpSimOptions& options);
    void setClock(Clock clock);

    QString serviceType() const;
    QString deviceType() const;
    QString rootUdn() const; // udn(), or the served description's
    static QString controlPath() { return QStringLiteral("/ctl/IPConn"); }
    static QString descriptionPath() { return QStringLiteral("/rootDesc.xml"); }
    // The outside checker as the simulated Internet sees the router: GET /check?port=N&
    // protocol=tcp answers "open" where a live forward carries the port to a program that
    // accepts a connection, "closed" otherwise; UDP cannot be told.
    static QString checkerPath() { return QStringLiteral("/check"); }
    static QString udn() { return QStringLiteral("uuid:6f1c7a52-3b7e-4d0c-9a55-4861726f726c"); }

    // The live table, newest first, expired entries dropped.
    QList<UpnpMapping> mappings();
    // The live pinholes (with ipv6).
    QList<SimPinhole> pinholes();
    quint16 addPinhole(const SimPinhole& pinhole); // as if another address opened it
    void addMapping(const UpnpMapping& mapping);   // as if made another way (no checks)
    // A reboot as clients see it: the table and the pinholes gone, the next boot id.
    void restart();
    // With ipv6: the control on [::1] stops or starts listening (a router silent on IPv6).
    bool setIpv6Listening(bool on);

    const QList<QByteArray>& requests() const;

    // The answer to one complete HTTP request from `peer`, in the style asked for; public for
    // the fuzzer.
    QByteArray respondHttp(const QByteArray& request, const QHostAddress& peer);
    // The answers to one discovery datagram (none, one, or several for ssdp:all).
    QList<QByteArray> respondSsdp(const QByteArray& datagram, bool ipv6 = false) const;

signals:
    void requestReceived(const QByteArray& request);

private:
    SimHttpSite site();
    bool listenIpv6();
    void onDatagrams(QUdpSocket* socket);
    qint64 now() const;

    QByteArray answerHttp(const QByteArray& request, const QHostAddress& peer);
    // The served description's connection service whose control `target` names, or empty.
    QString describedControl(const QByteArray& target) const;
    bool listenOnControlPorts();
    QByteArray capturedSsdpReply(const QByteArray& target, bool ipv6) const;
    QList<QByteArray> describedTargets(const QByteArray& st) const;
    QByteArray description() const;
    QByteArray control(const QByteArray& headers, const QByteArray& body, const QHostAddress& peer);
    QByteArray dispatch(SimSoap::Call& call);
    QByteArray addPortMapping(SimSoap::Call& call, bool any);
    QByteArray deletePortMapping(SimSoap::Call& call);
    QByteArray deletePortMappingRange(SimSoap::Call& call);
    QByteArray genericEntry(SimSoap::Call& call);
    QByteArray specificEntry(SimSoap::Call& call);
    QByteArray listOfPortMappings(SimSoap::Call& call);
    QByteArray outsideCheck(const QByteArray& target);
    // A forward made or renewed, and one deleted: whether it carries anything.
    void forwardMade(const QString& protocol, quint16 externalPort);
    void forwardDeleted(const QString& protocol, quint16 externalPort);

    UpnpSimOptions options_;
    Clock clock_;
    qint64 startedAt_ = 0;
    SimHttpServer* http_ = nullptr;
    SimHttpServer* http6_ = nullptr; // [::1], with ipv6
    SimPinholes pinholes_;
    QUdpSocket* ssdp_;
    QUdpSocket* ssdp6_ = nullptr; // [::1], with ipv6
    SimIgdTable table_;
    std::optional<SimDescription> described_;
    QList<SimHttpServer*> controlServers_; // ports the served description's controls name
    QString descriptionPath_ = descriptionPath();
    QString callType_;      // the service type of the control being answered
    QSet<QString> dead_;    // "TCP 6660": listed, carrying nothing
    QSet<QString> deleted_; // deleted once: made again, it carries (DeadForwards::UntilRemade)
};
