// The UPnP kind's simulated router: the device and its description, SSDP discovery, and the
// WANIPConnection actions dispatched over the mapping table.
#include "UpnpSimulator.h"

#include "SimHttp.h"
#include "SimSoap.h"

#include <QNetworkDatagram>
#include <QUdpSocket>

#include <algorithm>
#include <utility>

namespace {

using SimSoap::argument;
using SimSoap::xmlEscape;

constexpr char ServerString[] = "Linux/6.1 UPnP/1.1 HarborlySim/1.0";
constexpr quint32 MaxLeaseV2 = 604800;
// miniupnpd keeps 63 bytes of a description.
constexpr qsizetype MaxDescription = 63;

QByteArray httpAnswer(const QByteArray& status, const QByteArray& contentType,
                      const QByteArray& body) {
    return SimHttp::answer("HTTP/1.1 " + status + "\r\nContent-Type: " + contentType +
                               "\r\nConnection: close\r\n",
                           "Server: " + QByteArray(ServerString) + "\r\nExt:\r\n", body);
}

QByteArray httpError(const QByteArray& status) {
    return httpAnswer(status, "text/html",
                      "<HTML><HEAD><TITLE>" + status + "</TITLE></HEAD><BODY><H1>" + status +
                          "</H1></BODY></HTML>\r\n");
}

QByteArray fault(int code) {
    return httpAnswer("500 Internal Server Error", "text/xml; charset=\"utf-8\"",
                      SimSoap::fault(code));
}

QByteArray success(const QByteArray& action, const QByteArray& serviceType, const QByteArray& out) {
    return httpAnswer("200 OK", "text/xml; charset=\"utf-8\"",
                      SimSoap::success(action, serviceType, out));
}

bool isIgdTarget(const QByteArray& st, const char* kind, int highest) {
    const QByteArray prefix = QByteArray("urn:schemas-upnp-org:") + kind + ":";
    if (!st.startsWith(prefix))
        return false;
    bool ok = false;
    const int v = st.mid(prefix.size()).toInt(&ok);
    return ok && v >= 1 && v <= highest;
}

} // namespace

UpnpSimulator::UpnpSimulator(UpnpSimOptions options, QObject* parent)
    : QObject(parent), clock_(Sim::steadySeconds), ssdp_(new QUdpSocket(this)) {
    startedAt_ = now();
    setOptions(std::move(options));
    http_ = new SimHttpServer(site(), this);
    connect(http_, &SimHttpServer::requestReceived, this, &UpnpSimulator::requestReceived);
    connect(ssdp_, &QUdpSocket::readyRead, this, [this] { onDatagrams(ssdp_); });
}

UpnpSimulator::~UpnpSimulator() = default;

SimHttpSite UpnpSimulator::site() {
    return {.frame =
                [](const QByteArray& received) {
                    return SimHttp::frameMessage(received, MaxHeaderBytes, MaxBodyBytes);
                },
            .respond = [this](const QByteArray& request,
                              const QHostAddress& peer) { return respondHttp(request, peer); },
            .refuse = httpError,
            .conduct = [this] { return SimConduct{.logPath = options_.logPath}; },
            .idleTimeoutMs = IdleTimeoutMs};
}

bool UpnpSimulator::listen(const QHostAddress& address, quint16 httpPort, quint16 ssdpPort) {
    if (!address.isLoopback() || address.protocol() != QAbstractSocket::IPv4Protocol)
        return false;
    if (!http_->listen(address, httpPort))
        return false;
    if (!ssdp_->bind(address, ssdpPort)) {
        http_->close();
        return false;
    }
    if (options_.ipv6 && !listenIpv6())
        return false;
    return true;
}

bool UpnpSimulator::listenIpv6() {
    http6_ = new SimHttpServer(site(), this);
    connect(http6_, &SimHttpServer::requestReceived, this, &UpnpSimulator::requestReceived);
    if (!http6_->listen(QHostAddress::LocalHostIPv6, httpPort()))
        return false;
    ssdp6_ = new QUdpSocket(this);
    connect(ssdp6_, &QUdpSocket::readyRead, this, [this] { onDatagrams(ssdp6_); });
    return ssdp6_->bind(QHostAddress::LocalHostIPv6, ssdpPort()) ||
           ssdp6_->bind(QHostAddress::LocalHostIPv6, 0);
}

bool UpnpSimulator::setIpv6Listening(bool on) {
    if (!http6_)
        return false;
    if (!on) {
        http6_->close();
        return true;
    }
    return http6_->listen(QHostAddress::LocalHostIPv6, httpPort());
}

QList<SimPinhole> UpnpSimulator::pinholes() {
    return pinholes_.pinholes(now());
}

quint16 UpnpSimulator::addPinhole(const SimPinhole& pinhole) {
    return pinholes_.add(pinhole);
}

QHostAddress UpnpSimulator::address() const {
    return http_->address();
}

quint16 UpnpSimulator::httpPort() const {
    return http_->port();
}

quint16 UpnpSimulator::ssdpPort() const {
    return ssdp_->localPort();
}

quint16 UpnpSimulator::ssdp6Port() const {
    return ssdp6_ ? ssdp6_->localPort() : 0;
}

QString UpnpSimulator::locationUrl(bool ipv6) const {
    const QString host = !options_.locationHost.isEmpty() ? options_.locationHost
                         : ipv6                           ? QStringLiteral("[::1]")
                                                          : address().toString();
    return QStringLiteral("http://%1:%2%3").arg(host).arg(httpPort()).arg(descriptionPath());
}

void UpnpSimulator::setOptions(const UpnpSimOptions& options) {
    options_ = options;
    options_.igdVersion = options_.igdVersion == 1 ? 1 : 2;
    if (options_.conflictPort == 0)
        return;
    // The conflicting port belongs to a computer that mapped it for good.
    for (const char* protocol : {"TCP", "UDP"}) {
        if (table_.find(QString::fromLatin1(protocol), options_.conflictPort) >= 0)
            continue;
        table_.put(UpnpMapping{{},
                               options_.conflictPort,
                               QString::fromLatin1(protocol),
                               options_.conflictPort,
                               QStringLiteral("192.168.1.77"),
                               true,
                               QStringLiteral("Game console"),
                               0,
                               0});
    }
}

void UpnpSimulator::setClock(Clock clock) {
    clock_ = std::move(clock);
    startedAt_ = now();
}

qint64 UpnpSimulator::now() const {
    return clock_();
}

QString UpnpSimulator::serviceType() const {
    return QStringLiteral("urn:schemas-upnp-org:service:WANIPConnection:%1")
        .arg(options_.igdVersion);
}

QString UpnpSimulator::deviceType() const {
    return QStringLiteral("urn:schemas-upnp-org:device:InternetGatewayDevice:%1")
        .arg(options_.igdVersion);
}

QList<UpnpMapping> UpnpSimulator::mappings() {
    table_.expire(now());
    return table_.rows();
}

void UpnpSimulator::addMapping(const UpnpMapping& mapping) {
    table_.put(mapping);
}

void UpnpSimulator::restart() {
    table_ = SimIgdTable();
    pinholes_ = SimPinholes();
    ++options_.bootId;
}

const QList<QByteArray>& UpnpSimulator::requests() const {
    return http_->requests();
}

// --- discovery -------------------------------------------------------------------------------

void UpnpSimulator::onDatagrams(QUdpSocket* socket) {
    while (socket->hasPendingDatagrams()) {
        const qint64 size = socket->pendingDatagramSize();
        if (size < 0 || size > MaxDatagramBytes) {
            socket->receiveDatagram(0);
            continue;
        }
        const QNetworkDatagram datagram = socket->receiveDatagram(size);
        // The socket sits on loopback; answer nobody else all the same.
        if (!datagram.senderAddress().isLoopback() || options_.ssdpSilent)
            continue;
        for (const QByteArray& reply : respondSsdp(datagram.data(), socket == ssdp6_))
            socket->writeDatagram(reply, datagram.senderAddress(),
                                  static_cast<quint16>(datagram.senderPort()));
    }
}

QList<QByteArray> UpnpSimulator::respondSsdp(const QByteArray& datagram, bool ipv6) const {
    if (datagram.size() > MaxDatagramBytes || SimHttp::headEnd(datagram) != datagram.size())
        return {};
    const QList<QByteArray> lines = SimHttp::splitLines(datagram);
    if (lines.value(0) != "M-SEARCH * HTTP/1.1")
        return {};
    QByteArray man;
    QByteArray st;
    bool hasHost = false;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const qsizetype colon = lines[i].indexOf(':');
        if (colon <= 0)
            continue;
        const QByteArray name = lines[i].left(colon).trimmed().toUpper();
        const QByteArray value = lines[i].mid(colon + 1).trimmed();
        if (name == "MAN")
            man = value;
        else if (name == "ST")
            st = value;
        else if (name == "HOST")
            hasHost = !value.isEmpty();
    }
    if (!hasHost || man != "\"ssdp:discover\"" || st.isEmpty())
        return {};

    const int v = options_.igdVersion;
    const QByteArray uuid = udn().toLatin1();
    QList<QByteArray> targets;
    if (st == "ssdp:all") {
        targets = {"upnp:rootdevice", uuid, deviceType().toLatin1(), serviceType().toLatin1()};
    } else if (st == "upnp:rootdevice" || st == uuid ||
               isIgdTarget(st, "device:InternetGatewayDevice", v) ||
               isIgdTarget(st, "device:WANDevice", v) ||
               isIgdTarget(st, "device:WANConnectionDevice", v) ||
               isIgdTarget(st, "service:WANIPConnection", v) ||
               isIgdTarget(st, "service:Layer3Forwarding", 1) ||
               isIgdTarget(st, "service:WANCommonInterfaceConfig", 1) ||
               // Advertised although the description has no such service, as miniupnpd does.
               st == "urn:schemas-upnp-org:service:WANPPPConnection:1") {
        targets = {st};
    }

    const QByteArray eol = options_.ssdpBareLf ? "\n" : "\r\n";
    const QByteArray boot = QByteArray::number(options_.bootId);
    QList<QByteArray> replies;
    for (const QByteArray& target : targets) {
        const QByteArray usn = target == uuid ? uuid : uuid + "::" + target;
        replies << "HTTP/1.1 200 OK" + eol + "CACHE-CONTROL: max-age=120" + eol + "ST: " + target +
                       eol + "USN: " + usn + eol + "EXT:" + eol + "SERVER: " + ServerString + eol +
                       "LOCATION: " + locationUrl(ipv6).toLatin1() + eol +
                       "OPT: \"http://schemas.upnp.org/upnp/1/0/\"; ns=01" + eol +
                       "01-NLS: " + boot + eol + "BOOTID.UPNP.ORG: " + boot + eol +
                       "CONFIGID.UPNP.ORG: 1337" + eol + eol;
    }
    return replies;
}

// --- HTTP ------------------------------------------------------------------------------------

QByteArray UpnpSimulator::respondHttp(const QByteArray& request, const QHostAddress& peer) {
    SimHttp::Head head;
    if (!SimHttp::parseHead(request, head) || !head.version.startsWith("HTTP/1."))
        return httpError("400 Bad Request");
    // Strict routers want the Host header with its port.
    const QByteArray host = head.value("host");
    const qsizetype colon = host.lastIndexOf(':');
    bool portOk = false;
    if (colon > 0)
        host.mid(colon + 1).toUShort(&portOk);
    // A zone names the sender's interface and has no place in Host.
    if (!portOk || host.contains('%'))
        return httpError("400 Bad Request");

    const QByteArray path = head.target;
    if (path == descriptionPath().toLatin1()) {
        if (head.method != "GET")
            return httpError("405 Method Not Allowed");
        return httpAnswer("200 OK", "text/xml; charset=\"utf-8\"", description());
    }
    if (path != controlPath().toLatin1() && !(options_.ipv6 && path == "/ctl/IP6FCtl"))
        return httpError("404 Not Found");
    if (head.method != "POST")
        return httpError("405 Method Not Allowed");
    bool hasLength = false;
    const qsizetype length = head.value("content-length", &hasLength).toLongLong();
    if (!hasLength)
        return httpError("411 Length Required");
    if (!head.value("content-type").toLower().startsWith("text/xml"))
        return httpError("415 Unsupported Media Type");
    return control(head.value("soapaction"), request.mid(head.end, length), peer);
}

QByteArray UpnpSimulator::control(const QByteArray& soapAction, const QByteArray& body,
                                  const QHostAddress& peer) {
    const bool firewall =
        options_.ipv6 && soapAction.startsWith("\"" + QByteArray(SimPinholes::ServiceType) + "#");
    SimSoap::Call call;
    call.peer = peer.toString();
    const int refused = SimSoap::read(
        soapAction, body, firewall ? QString::fromLatin1(SimPinholes::ServiceType) : serviceType(),
        call);
    if (refused == SimSoap::Malformed)
        return httpError("400 Bad Request");
    if (refused != 0)
        return fault(refused);
    if (firewall) {
        pinholes_.options = options_.firewall;
        const SimPinholes::Answer a = pinholes_.respond(call.action, call.args, peer, now());
        return a.fault ? fault(a.fault)
                       : success(call.action, SimPinholes::ServiceType, a.arguments);
    }
    return dispatch(call);
}

QByteArray UpnpSimulator::dispatch(SimSoap::Call& call) {
    table_.expire(now());
    const bool v2 = options_.igdVersion == 2;
    const QByteArray& a = call.action;
    if (a == "GetExternalIPAddress") {
        if (!call.expect({}))
            return fault(402);
    } else if (a == "GetStatusInfo") {
        if (!call.expect({}))
            return fault(402);
    } else if (a == "AddPortMapping" || (v2 && a == "AddAnyPortMapping")) {
        if (!call.expect({"NewRemoteHost", "NewExternalPort", "NewProtocol", "NewInternalPort",
                          "NewInternalClient", "NewEnabled", "NewPortMappingDescription",
                          "NewLeaseDuration"}))
            return fault(402);
        return addPortMapping(call, a == "AddAnyPortMapping");
    } else if (a == "DeletePortMapping") {
        if (!call.expect({"NewRemoteHost", "NewExternalPort", "NewProtocol"}))
            return fault(402);
        return deletePortMapping(call);
    } else if (v2 && a == "DeletePortMappingRange") {
        if (!call.expect({"NewStartPort", "NewEndPort", "NewProtocol", "NewManage"}))
            return fault(402);
        return deletePortMappingRange(call);
    } else if (a == "GetGenericPortMappingEntry") {
        if (!call.expect({"NewPortMappingIndex"}))
            return fault(402);
        return genericEntry(call);
    } else if (a == "GetSpecificPortMappingEntry") {
        if (!call.expect({"NewRemoteHost", "NewExternalPort", "NewProtocol"}))
            return fault(402);
        return specificEntry(call);
    } else if (v2 && a == "GetListOfPortMappings") {
        if (!call.expect(
                {"NewStartPort", "NewEndPort", "NewProtocol", "NewManage", "NewNumberOfPorts"}))
            return fault(402);
        return listOfPortMappings(call);
    } else {
        return fault(401);
    }

    QByteArray out;
    if (a == "GetExternalIPAddress") {
        out = argument("NewExternalIPAddress", xmlEscape(options_.externalIp));
    } else {
        out = argument("NewConnectionStatus", "Connected") +
              argument("NewLastConnectionError", "ERROR_NONE") +
              argument("NewUptime", now() - startedAt_);
    }
    return success(a, serviceType().toLatin1(), out);
}

QByteArray UpnpSimulator::addPortMapping(SimSoap::Call& call, bool any) {
    const bool v2 = options_.igdVersion == 2;
    const QString remoteHost = call.text("NewRemoteHost");
    quint16 externalPort = call.port("NewExternalPort");
    const QString protocol = call.protocol("NewProtocol");
    const quint16 internalPort = call.port("NewInternalPort");
    const QString client = call.text("NewInternalClient");
    const bool enabled = call.boolean("NewEnabled");
    const QString description = call.text("NewPortMappingDescription").left(MaxDescription);
    const auto lease = static_cast<quint32>(call.number("NewLeaseDuration", 0xFFFFFFFFLL));
    if (call.bad)
        return fault(call.bad);
    if (!remoteHost.isEmpty())
        return fault(726);
    if (externalPort == 0 && !any)
        return fault(716);
    if (internalPort == 0)
        return fault(v2 ? 732 : 402);
    if (client.isEmpty())
        return fault(501);
    if (options_.secureMode && client != call.peer)
        return fault(any ? 606 : 718);
    if (options_.permanentOnly && lease != 0)
        return fault(725);
    const quint16 lowest = options_.lowPortsRefused ? 1024 : 1;
    if (internalPort < lowest || (!any && externalPort < lowest))
        return fault(606);

    if (any) {
        // The port asked for if it is free or already this computer's, else the next free one.
        externalPort = table_.usablePort(
            protocol, std::max(externalPort == 0 ? internalPort : externalPort, lowest), lowest,
            client);
        if (externalPort == 0)
            return fault(728);
    } else if (!table_.usable(protocol, externalPort, client)) {
        return fault(718);
    }

    if (table_.find(protocol, externalPort) < 0 && table_.size() >= options_.maxMappings)
        return fault(v2 ? 728 : 501);
    quint32 granted = lease;
    if (v2 && !options_.permanentOnly && (lease == 0 || lease > MaxLeaseV2))
        granted = MaxLeaseV2;
    if (options_.leaseMax != 0 && (granted == 0 || granted > options_.leaseMax))
        granted = options_.leaseMax;
    table_.put(UpnpMapping{remoteHost, externalPort, protocol, internalPort, client, enabled,
                           description, granted, granted == 0 ? 0 : now() + granted});
    return success(call.action, serviceType().toLatin1(),
                   any ? argument("NewReservedPort", externalPort) : QByteArray());
}

QByteArray UpnpSimulator::deletePortMapping(SimSoap::Call& call) {
    const quint16 externalPort = call.port("NewExternalPort");
    const QString protocol = call.protocol("NewProtocol");
    if (call.bad)
        return fault(call.bad);
    // Keyed on the remote host too, as real routers do.
    qsizetype i = table_.find(protocol, externalPort);
    if (i >= 0 && table_.at(i).remoteHost != call.text("NewRemoteHost"))
        i = -1;
    if (i < 0) {
        if (options_.deleteMissingFaults)
            return fault(714);
    } else if (options_.secureMode && table_.at(i).internalClient != call.peer) {
        return fault(606);
    } else {
        table_.removeAt(i);
    }
    return success(call.action, serviceType().toLatin1(), {});
}

QByteArray UpnpSimulator::deletePortMappingRange(SimSoap::Call& call) {
    const quint16 start = call.port("NewStartPort");
    const quint16 end = call.port("NewEndPort");
    const QString protocol = call.protocol("NewProtocol");
    const bool manage = call.boolean("NewManage");
    if (call.bad)
        return fault(call.bad);
    if (start > end)
        return fault(733);
    const bool all = manage && !options_.secureMode;
    if (table_.removeRange(protocol, start, end, all, call.peer) == 0)
        return fault(730);
    return success(call.action, serviceType().toLatin1(), {});
}

QByteArray UpnpSimulator::genericEntry(SimSoap::Call& call) {
    const quint16 index = call.port("NewPortMappingIndex");
    if (call.bad)
        return fault(call.bad);
    if (options_.listFailsAt >= 0 && index >= options_.listFailsAt)
        return httpAnswer("500 Internal Server Error", "text/plain", "busy\n");
    if (options_.listEmptyAtStart || index >= table_.size())
        return fault(713);
    return success(call.action, serviceType().toLatin1(),
                   SimIgdTable::entryArguments(table_.at(index), true, now()));
}

QByteArray UpnpSimulator::specificEntry(SimSoap::Call& call) {
    const QString remoteHost = call.text("NewRemoteHost");
    const quint16 externalPort = call.port("NewExternalPort");
    const QString protocol = call.protocol("NewProtocol");
    if (call.bad)
        return fault(call.bad);
    const qsizetype i = table_.find(protocol, externalPort);
    if (i < 0 || table_.at(i).remoteHost != remoteHost)
        return fault(714);
    return success(call.action, serviceType().toLatin1(),
                   SimIgdTable::entryArguments(table_.at(i), false, now()));
}

QByteArray UpnpSimulator::listOfPortMappings(SimSoap::Call& call) {
    const quint16 start = call.port("NewStartPort");
    const quint16 end = call.port("NewEndPort");
    const QString protocol = call.protocol("NewProtocol");
    const bool manage = call.boolean("NewManage");
    qint64 limit = call.number("NewNumberOfPorts", 65535);
    if (call.bad)
        return fault(call.bad);
    if (start > end)
        return fault(733);
    if (limit == 0)
        limit = 1000;
    const QList<UpnpMapping> rows = table_.range(protocol, start, end, manage, call.peer);
    if (rows.isEmpty())
        return fault(730);
    // Escaped values never contain "]]>", which would end the CDATA section early.
    const QByteArray listing =
        SimIgdTable::portMappingList(rows.first(std::min<qsizetype>(rows.size(), limit)), now());
    return success(call.action, serviceType().toLatin1(),
                   argument("NewPortListing", "<![CDATA[" + listing + "]]>"));
}

// --- description -----------------------------------------------------------------------------

QByteArray UpnpSimulator::description() const {
    const QByteArray v = QByteArray::number(options_.igdVersion);
    const QByteArray uuid = udn().toLatin1();
    const auto service = [](const QByteArray& type, const QByteArray& id, const QByteArray& name) {
        return "<service><serviceType>urn:schemas-upnp-org:service:" + type +
               "</serviceType><serviceId>urn:upnp-org:serviceId:" + id + "</serviceId><SCPDURL>/" +
               name + ".xml</SCPDURL><controlURL>/ctl/" + name + "</controlURL><eventSubURL>/evt/" +
               name + "</eventSubURL></service>";
    };
    const auto device = [&](const QByteArray& type, const QByteArray& name, const QByteArray& id,
                            const QByteArray& inner) {
        return "<device><deviceType>urn:schemas-upnp-org:device:" + type +
               "</deviceType><friendlyName>" + name +
               "</friendlyName><manufacturer>Harborly</manufacturer><manufacturerURL>http://"
               "127.0.0.1/</manufacturerURL><modelDescription>Simulated UPnP Internet Gateway "
               "Device</modelDescription><modelName>Harborly Router Simulator</modelName>"
               "<modelNumber>1.0</modelNumber><serialNumber>00000001</serialNumber><UDN>" +
               uuid.chopped(1) + id + "</UDN>" + inner + "</device>";
    };
    const QByteArray connection =
        device("WANConnectionDevice:" + v, "WANConnectionDevice", "2",
               "<serviceList>" + service("WANIPConnection:" + v, "WANIPConn1", "IPConn") +
                   (options_.ipv6 && options_.igdVersion == 2
                        ? service("WANIPv6FirewallControl:1", "WANIPv6Firewall1", "IP6FCtl")
                        : QByteArray()) +
                   "</serviceList>");
    const QByteArray wan = device(
        "WANDevice:" + v, "WANDevice", "1",
        "<serviceList>" + service("WANCommonInterfaceConfig:1", "WANCommonIFC1", "CmnIfCfg") +
            "</serviceList><deviceList>" + connection + "</deviceList>");
    const QByteArray root =
        device("InternetGatewayDevice:" + v, xmlEscape(options_.friendlyName), uuid.right(1),
               "<serviceList>" + service("Layer3Forwarding:1", "L3Forwarding1", "L3F") +
                   "</serviceList><deviceList>" + wan + "</deviceList>");
    return "<?xml version=\"1.0\"?>\r\n<root xmlns=\"urn:schemas-upnp-org:device-1-0\">"
           "<specVersion><major>1</major><minor>1</minor></specVersion>" +
           root + "</root>";
}
