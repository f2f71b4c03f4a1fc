// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The UPnP IGD client the router operations are written against.
//
//   LoopWaiter waiter;                       // or PumpWaiter over the program's EventPump
//   UpnpOptions options;
//   options.router = settings.LanPrivateIP;  // "host", "host:port" or an http:// description URL
//   IgdClient client(waiter, options);
//   if (!client.discover()) { ... client.router().failure ... }
//   const ExternalAddressResult wan = client.getExternalIPAddress();
//   PortMappingRequest map{.externalPort = 8080, .protocol = "TCP", .internalPort = 8080,
//                          .description = "Harborly: Web server"};
//   const AddMappingResult added = client.addPortMapping(map);   // fallbacks included
//   client.deletePortMapping(8080, "TCP");
//   const ListingResult list = client.listPortMappings();
//
// Every call returns within its time limit and runs the event loop while it waits, so the
// window keeps painting; one exchange at a time (a call made while another waits is refused
// with SoapOutcome::Busy). Only the router's own address is ever contacted, with no proxy.
// Multicast discovery is sent only when allowed and never toward a loopback router.

#include "platform/Waiter.h"
#include "router/upnp/DeviceDescription.h"
#include "router/upnp/HttpExchange.h"
#include "router/upnp/Soap.h"
#include "router/upnp/Ssdp.h"
#include "router/upnp/SsdpSearch.h"
#include "router/upnp/UpnpOptions.h"

#include <QHostAddress>
#include <QList>
#include <QMap>
#include <QObject>
#include <QString>
#include <QUrl>

#include <chrono>
#include <memory>
#include <optional>

struct IgdRouter {
    bool found = false;
    QString failure; // why not, in a line for the log and the status

    QHostAddress gateway;
    QHostAddress localAddress; // what goes into NewInternalClient
    QUrl descriptionUrl;
    QString server; // SSDP SERVER, for display (already cleaned)
    QString bootId; // BOOTID.UPNP.ORG: changes when the router reboots
    UpnpDeviceInfo device;
    int igdVersion = 1;
    IgdService service;           // the connection service in use
    IgdService firewall;          // WANIPv6FirewallControl; serviceType empty when none
    QList<IgdService> candidates; // all of them, best first
    QString connectionStatus;     // when candidates were compared
    QString externalAddress;      // likewise
    QList<SsdpDevice> otherDevices;

    // 1 or 2: on 2 a lease of 0 means a week, on 1 a forward that stays for good.
    int version() const { return service.version; }
};

struct ExternalAddressResult {
    SoapAnswer answer;
    QString address; // may be empty, 0.0.0.0 or private: see ClassifyExternalAddress
    bool ok() const { return answer.ok(); }
};

struct StatusInfoResult {
    SoapAnswer answer;
    QString connectionStatus;
    QString lastConnectionError;
    quint32 uptime = 0;
    bool ok() const { return answer.ok(); }
    bool connected() const;
};

struct PortMappingRequest {
    quint16 externalPort = 0;
    QString protocol{}; // "TCP" or "UDP"; sent upper case
    quint16 internalPort = 0;
    QString description{}; // sent through AsciiDescription
    quint32 leaseSeconds = 3600;
    QString internalClient{}; // empty: this computer's address toward the router
    QString remoteHost{};     // empty: any remote host
    bool verify = true;       // read the entry back after success for the granted lease
};

struct AddMappingResult {
    bool ok = false;
    SoapAnswer answer;        // of the last AddPortMapping sent
    int errorCode = 0;        // the final UPnP code when refused, else 0
    PortMappingRequest sent;  // the last form sent, after the fallbacks
    quint32 grantedLease = 0; // seconds; 0 with permanent
    bool permanent = false;   // v1 lease 0: stays on the router until deleted
    bool alreadyOurs = false; // 718 answered, but the entry is this computer's
    bool verified = false;    // read back with GetSpecificPortMappingEntry
    QString conflictClient;   // who holds the port on a 718
};

struct DeleteMappingResult {
    SoapAnswer answer;
    bool gone = false; // success and 714 alike
};

struct SpecificEntryResult {
    SoapAnswer answer;
    std::optional<PortMappingEntry> entry; // nothing on 714 or any failure
};

struct ListingResult {
    QList<PortMappingEntry> entries;
    bool fastPath = false; // read with GetListOfPortMappings
    bool complete = false; // the list ended where the router says it ends
    SoapAnswer end;        // the answer that ended the loop
    QString endReason;
};

// The raw bytes of one exchange, for the diagnostic report.
struct UpnpExchangeRecord {
    QByteArray request;
    int status = 0;
    QByteArray answer;
};

class IgdClient : public QObject {
    Q_OBJECT
public:
    static constexpr int KeptExchanges = 50;

    IgdClient(Waiter& waiter, UpnpOptions options, QObject* parent = nullptr);
    ~IgdClient() override;

    // Finds the router, reads its description and picks the connection service. False with
    // router().failure when no usable router answered.
    bool discover();
    const IgdRouter& router() const { return router_; }
    // What a later run needs to skip discovery (RouterMemory), and taking it back: nothing is
    // sent, so the caller's first call is the check. False when the values make no router.
    QMap<QString, QString> remembered() const;
    bool recall(const QMap<QString, QString>& values);
    // Whether the recalled router is the device remembered: its description names the same
    // UDN. True where none was remembered.
    bool sameDevice();

    ExternalAddressResult getExternalIPAddress();
    StatusInfoResult getStatusInfo();
    AddMappingResult addPortMapping(const PortMappingRequest& request);
    DeleteMappingResult deletePortMapping(quint16 externalPort, const QString& protocol,
                                          const QString& remoteHost = {});
    SpecificEntryResult getSpecificPortMappingEntry(quint16 externalPort, const QString& protocol,
                                                    const QString& remoteHost = {});
    ListingResult listPortMappings();

    // One action on the chosen service (or on `service`), waited for.
    SoapAnswer call(const QString& action, const SoapArguments& arguments,
                    qsizetype bodyLimit = MaxSoapBytes);
    SoapAnswer call(const IgdService& service, const QString& action,
                    const SoapArguments& arguments, qsizetype bodyLimit = MaxSoapBytes);

    const QList<UpnpExchangeRecord>& exchanges() const { return exchanges_; }

private:
    bool discoverRouter();
    bool fail(const QString& why);
    bool resolveRouter(const UpnpTarget& target);
    bool fetchDescription();
    void chooseService();
    HttpResult exchange(const QUrl& url, const QByteArray& request, const HttpLimits& limits);
    void record(const QByteArray& request, const HttpResult& result);
    static SoapAnswer failedAnswer(SoapOutcome outcome);
    // After a 718: success when the entry holding the port is this computer's, else its holder.
    void acceptOwnEntry(const PortMappingRequest& sent, AddMappingResult& result);
    // After success: the lease granted, read back when asked to verify.
    void settleLease(const PortMappingRequest& sent, bool permanentOnly, AddMappingResult& result);
    bool listAtOnce(ListingResult& result);
    bool listGeneric(ListingResult& result, std::chrono::milliseconds deadline);

    Waiter& waiter_;
    UpnpOptions options_;
    IgdRouter router_;
    HttpExchange http_;
    bool busy_ = false;
    bool discovering_ = false;
    QList<UpnpExchangeRecord> exchanges_;
};

class RouterMemory;

// The router as the last run left it when it still answers there (one SOAP call), else found
// by discovery; then its external address. The memory follows what was found, and is
// forgotten when the router no longer answers where it was. False with router().failure.
bool FindRouter(IgdClient& client, const RouterMemory& memory, const QString& target,
                ExternalAddressResult& wan);

// Routers keep short descriptions (miniupnpd stores 63 bytes): printable ASCII only, capped.
inline constexpr qsizetype MaxDescriptionLength = 40;
QString AsciiDescription(const QString& text);
