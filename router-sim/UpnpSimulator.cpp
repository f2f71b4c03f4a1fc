#include "UpnpSimulator.h"

#include <QFile>
#include <QNetworkDatagram>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUdpSocket>
#include <QXmlStreamReader>

#include <algorithm>
#include <chrono>
#include <utility>

namespace {

constexpr char ServerString[] = "Linux/6.1 UPnP/1.1 HarborlySim/1.0";
constexpr char SoapEnvelopeNs[] = "http://schemas.xmlsoap.org/soap/envelope/";
constexpr char EnvelopeOpen[] =
    "<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\" "
    "s:encodingStyle=\"http://schemas.xmlsoap.org/soap/encoding/\"><s:Body>";
constexpr char EnvelopeClose[] = "</s:Body></s:Envelope>";
constexpr quint32 MaxLeaseV2 = 604800;
constexpr int MaxXmlDepth = 32;
// miniupnpd keeps 63 bytes of a description.
constexpr qsizetype MaxDescription = 63;

struct Header {
    QByteArray name; // lower case
    QByteArray value;
};

struct Head {
    QByteArray method;
    QByteArray target;
    QByteArray version;
    QList<Header> headers;
    qsizetype end = -1; // first byte after the blank line

    QByteArray value(const QByteArray& name, bool* present = nullptr) const {
        for (const Header& h : headers) {
            if (h.name == name) {
                if (present)
                    *present = true;
                return h.value;
            }
        }
        if (present)
            *present = false;
        return {};
    }
};

// Where the header block ends, or -1 while the blank line has not come.
qsizetype headEnd(const QByteArray& data) {
    const qsizetype crlf = data.indexOf("\r\n\r\n");
    const qsizetype lf = data.indexOf("\n\n");
    if (crlf < 0 && lf < 0)
        return -1;
    if (lf < 0 || (crlf >= 0 && crlf + 2 <= lf))
        return crlf + 4;
    return lf + 2;
}

QList<QByteArray> splitLines(const QByteArray& block) {
    QList<QByteArray> lines = block.split('\n');
    for (QByteArray& l : lines) {
        if (l.endsWith('\r'))
            l.chop(1);
    }
    return lines;
}

bool parseHead(const QByteArray& data, Head& head) {
    head.end = headEnd(data);
    if (head.end < 0)
        return false;
    const QList<QByteArray> lines = splitLines(data.left(head.end));
    const QList<QByteArray> words = lines.value(0).split(' ');
    if (words.size() != 3)
        return false;
    head.method = words[0];
    head.target = words[1];
    head.version = words[2];
    for (qsizetype i = 1; i < lines.size(); ++i) {
        if (lines[i].isEmpty())
            continue;
        const qsizetype colon = lines[i].indexOf(':');
        if (colon <= 0)
            return false;
        head.headers.append(
            {lines[i].left(colon).trimmed().toLower(), lines[i].mid(colon + 1).trimmed()});
    }
    return true;
}

QByteArray xmlEscape(const QString& text) {
    return text.toHtmlEscaped().toUtf8();
}

QByteArray httpAnswer(const QByteArray& status, const QByteArray& contentType,
                      const QByteArray& body) {
    return "HTTP/1.1 " + status + "\r\nContent-Type: " + contentType +
           "\r\nConnection: close\r\nContent-Length: " + QByteArray::number(body.size()) +
           "\r\nServer: " + ServerString + "\r\nExt:\r\n\r\n" + body;
}

QByteArray httpError(const QByteArray& status) {
    return httpAnswer(status, "text/html",
                      "<HTML><HEAD><TITLE>" + status + "</TITLE></HEAD><BODY><H1>" + status +
                          "</H1></BODY></HTML>\r\n");
}

QByteArray errorName(int code) {
    switch (code) {
    case 401:
        return "Invalid Action";
    case 402:
        return "Invalid Args";
    case 501:
        return "Action Failed";
    case 606:
        return "Action not authorized";
    case 701:
        return "PinholeSpaceExhausted";
    case 702:
        return "FirewallDisabled";
    case 703:
        return "InboundPinholeNotAllowed";
    case 704:
        return "NoSuchEntry";
    case 705:
        return "ProtocolNotSupported";
    case 706:
        return "InternalPortWildcardingNotAllowed";
    case 707:
        return "ProtocolWildcardingNotAllowed";
    case 708:
        return "WildCardNotPermittedInSrcIP";
    case 709:
        return "NoTrafficReceived";
    case 713:
        return "SpecifiedArrayIndexInvalid";
    case 714:
        return "NoSuchEntryInArray";
    case 716:
        return "WildCardNotPermittedInExtPort";
    case 718:
        return "ConflictInMappingEntry";
    case 725:
        return "OnlyPermanentLeasesSupported";
    case 726:
        return "RemoteHostOnlySupportsWildcard";
    case 728:
        return "NoPortMapsAvailable";
    case 730:
        return "PortMappingNotFound";
    case 732:
        return "WildCardNotPermittedInIntPort";
    case 733:
        return "InconsistentParameters";
    default:
        return "Error";
    }
}

QByteArray fault(int code) {
    return httpAnswer("500 Internal Server Error", "text/xml; charset=\"utf-8\"",
                      QByteArray(EnvelopeOpen) +
                          "<s:Fault><faultcode>s:Client</faultcode><faultstring>UPnPError</"
                          "faultstring><detail><UPnPError "
                          "xmlns=\"urn:schemas-upnp-org:control-1-0\"><errorCode>" +
                          QByteArray::number(code) + "</errorCode><errorDescription>" +
                          errorName(code) + "</errorDescription></UPnPError></detail></s:Fault>" +
                          EnvelopeClose);
}

QByteArray argument(const char* name, const QByteArray& value) {
    return "<" + QByteArray(name) + ">" + value + "</" + QByteArray(name) + ">";
}

QByteArray argument(const char* name, qint64 value) {
    return argument(name, QByteArray::number(value));
}

QByteArray success(const QByteArray& action, const QByteArray& serviceType, const QByteArray& out) {
    const QByteArray open = "<u:" + action + "Response xmlns:u=\"" + serviceType + "\"";
    return httpAnswer(
        "200 OK", "text/xml; charset=\"utf-8\"",
        "<?xml version=\"1.0\"?>\r\n" + QByteArray(EnvelopeOpen) +
            (out.isEmpty() ? open + "/>" : open + ">" + out + "</u:" + action + "Response>") +
            EnvelopeClose);
}

qint64 steadySeconds() {
    using namespace std::chrono;
    return duration_cast<seconds>(steady_clock::now().time_since_epoch()).count();
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

// One SOAP call: the action and its arguments, in the order they came.
struct UpnpSimulator::Call {
    QByteArray action;
    QList<std::pair<QByteArray, QString>> args;
    QString peer;
    int bad = 0; // a fault found while reading the arguments

    // True when the arguments are exactly these names in this order.
    bool expect(std::initializer_list<const char*> names) const {
        if (args.size() != static_cast<qsizetype>(names.size()))
            return false;
        qsizetype i = 0;
        for (const char* n : names) {
            if (args[i++].first != n)
                return false;
        }
        return true;
    }
    QString text(const char* name) const {
        for (const auto& [n, v] : args) {
            if (n == name)
                return v;
        }
        return {};
    }
    qint64 number(const char* name, qint64 max) {
        bool ok = false;
        const QString t = text(name);
        const qint64 v = t.toLongLong(&ok);
        if (!ok || v < 0 || v > max || t.startsWith(QLatin1Char('+'))) {
            bad = 402;
            return 0;
        }
        return v;
    }
    quint16 port(const char* name) { return static_cast<quint16>(number(name, 65535)); }
    bool boolean(const char* name) {
        const QString t = text(name).toLower();
        if (t == QLatin1String("1") || t == QLatin1String("true") || t == QLatin1String("yes"))
            return true;
        if (!(t == QLatin1String("0") || t == QLatin1String("false") || t == QLatin1String("no")))
            bad = 402;
        return false;
    }
    // Strict routers take the protocol in upper case only.
    QString protocol(const char* name) {
        const QString t = text(name);
        if (t != QLatin1String("TCP") && t != QLatin1String("UDP"))
            bad = 402;
        return t;
    }
};

UpnpSimulator::UpnpSimulator(UpnpSimOptions options, QObject* parent)
    : QObject(parent), clock_(steadySeconds), server_(new QTcpServer(this)),
      ssdp_(new QUdpSocket(this)) {
    startedAt_ = now();
    setOptions(std::move(options));
    connect(server_, &QTcpServer::newConnection, this, [this] { onConnection(); });
    connect(ssdp_, &QUdpSocket::readyRead, this, &UpnpSimulator::onDatagrams);
}

UpnpSimulator::~UpnpSimulator() = default;

bool UpnpSimulator::listen(const QHostAddress& address, quint16 httpPort, quint16 ssdpPort) {
    if (!address.isLoopback() || address.protocol() != QAbstractSocket::IPv4Protocol)
        return false;
    if (!server_->listen(address, httpPort))
        return false;
    if (!ssdp_->bind(address, ssdpPort)) {
        server_->close();
        return false;
    }
    if (options_.ipv6 && !listenIpv6())
        return false;
    return true;
}

bool UpnpSimulator::listenIpv6() {
    server6_ = new QTcpServer(this);
    connect(server6_, &QTcpServer::newConnection, this, [this] { onConnection(server6_); });
    return server6_->listen(QHostAddress::LocalHostIPv6, httpPort());
}

QList<SimPinhole> UpnpSimulator::pinholes() {
    return pinholes_.pinholes(now());
}

QHostAddress UpnpSimulator::address() const {
    return server_->serverAddress();
}

quint16 UpnpSimulator::httpPort() const {
    return server_->serverPort();
}

quint16 UpnpSimulator::ssdpPort() const {
    return ssdp_->localPort();
}

QString UpnpSimulator::locationUrl() const {
    const QString host =
        options_.locationHost.isEmpty() ? address().toString() : options_.locationHost;
    return QStringLiteral("http://%1:%2%3").arg(host).arg(httpPort()).arg(descriptionPath());
}

void UpnpSimulator::setOptions(const UpnpSimOptions& options) {
    options_ = options;
    options_.igdVersion = options_.igdVersion == 1 ? 1 : 2;
    if (options_.conflictPort == 0)
        return;
    // The conflicting port belongs to a computer that mapped it for good.
    for (const char* protocol : {"TCP", "UDP"}) {
        if (find(QString::fromLatin1(protocol), options_.conflictPort) >= 0)
            continue;
        table_.prepend(UpnpMapping{{},
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
    expire();
    return table_;
}

void UpnpSimulator::addMapping(const UpnpMapping& mapping) {
    const qsizetype i = find(mapping.protocol, mapping.externalPort);
    if (i >= 0)
        table_.removeAt(i);
    table_.prepend(mapping);
}

void UpnpSimulator::expire() {
    const qint64 t = now();
    table_.removeIf([t](const UpnpMapping& m) { return m.expiresAt != 0 && m.expiresAt <= t; });
}

qsizetype UpnpSimulator::find(const QString& protocol, quint16 externalPort) const {
    for (qsizetype i = 0; i < table_.size(); ++i) {
        if (table_[i].externalPort == externalPort && table_[i].protocol == protocol)
            return i;
    }
    return -1;
}

// --- transport -------------------------------------------------------------------------------

void UpnpSimulator::onConnection(QTcpServer* server) {
    while (QTcpSocket* socket = (server ? server : server_)->nextPendingConnection()) {
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onReadable(socket); });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        // A client that never finishes its request does not hold the connection for ever.
        QTimer::singleShot(IdleTimeoutMs, socket, [socket] { socket->abort(); });
    }
}

void UpnpSimulator::onReadable(QTcpSocket* socket) {
    if (socket->property("answered").toBool()) {
        socket->readAll();
        return;
    }
    QByteArray buffer = socket->property("buffer").toByteArray() + socket->readAll();
    const auto finish = [socket](const QByteArray& reply) {
        socket->setProperty("answered", true);
        socket->setProperty("buffer", QByteArray());
        socket->write(reply);
        socket->disconnectFromHost();
    };

    Head head;
    if (!parseHead(buffer, head)) {
        if (head.end >= 0)
            finish(httpError("400 Bad Request"));
        else if (buffer.size() > MaxHeaderBytes)
            finish(httpError("431 Request Header Fields Too Large"));
        else
            socket->setProperty("buffer", buffer);
        return;
    }
    if (head.end > MaxHeaderBytes) {
        finish(httpError("431 Request Header Fields Too Large"));
        return;
    }
    qsizetype length = 0;
    bool hasLength = false;
    const QByteArray lengthText = head.value("content-length", &hasLength);
    if (hasLength) {
        bool ok = false;
        length = lengthText.toLongLong(&ok);
        if (!ok || length < 0) {
            finish(httpError("400 Bad Request"));
            return;
        }
        if (length > MaxBodyBytes) {
            finish(httpError("413 Payload Too Large"));
            return;
        }
    }
    if (buffer.size() < head.end + length) {
        socket->setProperty("buffer", buffer);
        return;
    }
    const QByteArray request = buffer.left(head.end + length);
    requests_ << request;
    if (!options_.logPath.isEmpty()) {
        QFile log(options_.logPath);
        if (log.open(QIODevice::Append))
            log.write(request + "\n");
    }
    emit requestReceived(request);
    finish(respondHttp(request, socket->peerAddress()));
}

void UpnpSimulator::onDatagrams() {
    while (ssdp_->hasPendingDatagrams()) {
        const qint64 size = ssdp_->pendingDatagramSize();
        if (size < 0 || size > MaxDatagramBytes) {
            ssdp_->receiveDatagram(0);
            continue;
        }
        const QNetworkDatagram datagram = ssdp_->receiveDatagram(size);
        // The socket sits on loopback; answer nobody else all the same.
        if (!datagram.senderAddress().isLoopback() || options_.ssdpSilent)
            continue;
        for (const QByteArray& reply : respondSsdp(datagram.data()))
            ssdp_->writeDatagram(reply, datagram.senderAddress(),
                                 static_cast<quint16>(datagram.senderPort()));
    }
}

// --- discovery -------------------------------------------------------------------------------

QList<QByteArray> UpnpSimulator::respondSsdp(const QByteArray& datagram) const {
    if (datagram.size() > MaxDatagramBytes || headEnd(datagram) != datagram.size())
        return {};
    const QList<QByteArray> lines = splitLines(datagram);
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
                       "LOCATION: " + locationUrl().toLatin1() + eol +
                       "OPT: \"http://schemas.upnp.org/upnp/1/0/\"; ns=01" + eol +
                       "01-NLS: " + boot + eol + "BOOTID.UPNP.ORG: " + boot + eol +
                       "CONFIGID.UPNP.ORG: 1337" + eol + eol;
    }
    return replies;
}

// --- HTTP ------------------------------------------------------------------------------------

QByteArray UpnpSimulator::respondHttp(const QByteArray& request, const QHostAddress& peer) {
    Head head;
    if (!parseHead(request, head) || !head.version.startsWith("HTTP/1."))
        return httpError("400 Bad Request");
    // Strict routers want the Host header with its port.
    const QByteArray host = head.value("host");
    const qsizetype colon = host.lastIndexOf(':');
    bool portOk = false;
    if (colon > 0)
        host.mid(colon + 1).toUShort(&portOk);
    if (!portOk)
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
    // The action is named twice: in the quoted SOAPAction and in the body. Both must agree.
    const bool firewall =
        options_.ipv6 && soapAction.startsWith("\"" + QByteArray(SimPinholes::ServiceType) + "#");
    const QString type = firewall ? QString::fromLatin1(SimPinholes::ServiceType) : serviceType();
    const QByteArray prefix = "\"" + type.toLatin1() + "#";
    if (!soapAction.startsWith(prefix) || !soapAction.endsWith('"') ||
        soapAction.size() <= prefix.size() + 1)
        return fault(401);
    Call call;
    call.action = soapAction.mid(prefix.size(), soapAction.size() - prefix.size() - 1);
    call.peer = peer.toString();

    QXmlStreamReader xml(body);
    int depth = 0;
    bool inEnvelope = false;
    bool inBody = false;
    bool inAction = false;
    bool sawAction = false;
    while (!xml.atEnd()) {
        const QXmlStreamReader::TokenType token = xml.readNext();
        if (token == QXmlStreamReader::DTD || token == QXmlStreamReader::EntityReference)
            return httpError("400 Bad Request");
        if (token == QXmlStreamReader::EndElement) {
            --depth;
            if (inAction && depth == 2)
                inAction = false;
            continue;
        }
        if (token != QXmlStreamReader::StartElement)
            continue;
        if (++depth > MaxXmlDepth)
            return httpError("400 Bad Request");
        const auto name = xml.name();
        const auto ns = xml.namespaceUri();
        if (depth == 1) {
            inEnvelope = name == QLatin1String("Envelope") && ns == QLatin1String(SoapEnvelopeNs);
            if (!inEnvelope)
                return httpError("400 Bad Request");
        } else if (depth == 2) {
            inBody = name == QLatin1String("Body") && ns == QLatin1String(SoapEnvelopeNs);
        } else if (depth == 3 && inBody) {
            if (sawAction || name != QString::fromLatin1(call.action) || ns != type)
                return fault(401);
            sawAction = inAction = true;
        } else if (depth == 4 && inAction) {
            const QByteArray argName = name.toLatin1();
            const QString value = xml.readElementText(QXmlStreamReader::ErrorOnUnexpectedElement);
            --depth;
            if (xml.hasError())
                return fault(402);
            call.args.append({argName, value});
        }
    }
    if (xml.hasError() || !sawAction)
        return httpError("400 Bad Request");
    if (firewall) {
        pinholes_.options = options_.firewall;
        const SimPinholes::Answer a = pinholes_.respond(call.action, call.args, peer, now());
        return a.fault ? fault(a.fault)
                       : success(call.action, SimPinholes::ServiceType, a.arguments);
    }
    return dispatch(call);
}

QByteArray UpnpSimulator::dispatch(Call& call) {
    expire();
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

QByteArray UpnpSimulator::addPortMapping(Call& call, bool any) {
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

    const auto usable = [&](quint16 port) {
        const qsizetype i = find(protocol, port);
        return i < 0 || table_[i].internalClient == client;
    };
    if (any) {
        // The port asked for if it is free or already this computer's, else the next free one.
        quint16 port = std::max(externalPort == 0 ? internalPort : externalPort, lowest);
        int tries = 0;
        while (!usable(port) && ++tries <= 65536)
            port = port == 65535 ? lowest : static_cast<quint16>(port + 1);
        if (tries > 65536)
            return fault(728);
        externalPort = port;
    } else if (!usable(externalPort)) {
        return fault(718);
    }

    qsizetype i = find(protocol, externalPort);
    if (i < 0 && table_.size() >= options_.maxMappings)
        return fault(v2 ? 728 : 501);
    if (i >= 0)
        table_.removeAt(i);
    quint32 granted = lease;
    if (v2 && !options_.permanentOnly && (lease == 0 || lease > MaxLeaseV2))
        granted = MaxLeaseV2;
    table_.prepend(UpnpMapping{remoteHost, externalPort, protocol, internalPort, client, enabled,
                               description, granted, granted == 0 ? 0 : now() + granted});
    return success(call.action, serviceType().toLatin1(),
                   any ? argument("NewReservedPort", externalPort) : QByteArray());
}

QByteArray UpnpSimulator::deletePortMapping(Call& call) {
    const quint16 externalPort = call.port("NewExternalPort");
    const QString protocol = call.protocol("NewProtocol");
    if (call.bad)
        return fault(call.bad);
    const qsizetype i = find(protocol, externalPort);
    if (i < 0) {
        if (options_.deleteMissingFaults)
            return fault(714);
    } else if (options_.secureMode && table_[i].internalClient != call.peer) {
        return fault(606);
    } else {
        table_.removeAt(i);
    }
    return success(call.action, serviceType().toLatin1(), {});
}

QByteArray UpnpSimulator::deletePortMappingRange(Call& call) {
    const quint16 start = call.port("NewStartPort");
    const quint16 end = call.port("NewEndPort");
    const QString protocol = call.protocol("NewProtocol");
    const bool manage = call.boolean("NewManage");
    if (call.bad)
        return fault(call.bad);
    if (start > end)
        return fault(733);
    const bool all = manage && !options_.secureMode;
    const qsizetype removed = table_.removeIf([&](const UpnpMapping& m) {
        return m.protocol == protocol && m.externalPort >= start && m.externalPort <= end &&
               (all || m.internalClient == call.peer);
    });
    if (removed == 0)
        return fault(730);
    return success(call.action, serviceType().toLatin1(), {});
}

QByteArray UpnpSimulator::entryArguments(const UpnpMapping& m, bool withKey) const {
    const qint64 left = m.expiresAt == 0 ? 0 : std::max<qint64>(m.expiresAt - now(), 1);
    QByteArray out;
    if (withKey)
        out = argument("NewRemoteHost", xmlEscape(m.remoteHost)) +
              argument("NewExternalPort", m.externalPort) +
              argument("NewProtocol", m.protocol.toLatin1());
    return out + argument("NewInternalPort", m.internalPort) +
           argument("NewInternalClient", xmlEscape(m.internalClient)) +
           argument("NewEnabled", m.enabled ? 1 : 0) +
           argument("NewPortMappingDescription", xmlEscape(m.description)) +
           argument("NewLeaseDuration", left);
}

QByteArray UpnpSimulator::genericEntry(Call& call) {
    const quint16 index = call.port("NewPortMappingIndex");
    if (call.bad)
        return fault(call.bad);
    if (options_.listEmptyAtStart || index >= table_.size())
        return fault(713);
    return success(call.action, serviceType().toLatin1(), entryArguments(table_[index], true));
}

QByteArray UpnpSimulator::specificEntry(Call& call) {
    const QString remoteHost = call.text("NewRemoteHost");
    const quint16 externalPort = call.port("NewExternalPort");
    const QString protocol = call.protocol("NewProtocol");
    if (call.bad)
        return fault(call.bad);
    const qsizetype i = find(protocol, externalPort);
    if (i < 0 || table_[i].remoteHost != remoteHost)
        return fault(714);
    return success(call.action, serviceType().toLatin1(), entryArguments(table_[i], false));
}

QByteArray UpnpSimulator::listOfPortMappings(Call& call) {
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
    QList<UpnpMapping> rows;
    for (const UpnpMapping& m : std::as_const(table_)) {
        if (m.protocol == protocol && m.externalPort >= start && m.externalPort <= end &&
            (manage || m.internalClient == call.peer))
            rows << m;
    }
    std::sort(rows.begin(), rows.end(), [](const UpnpMapping& x, const UpnpMapping& y) {
        return x.externalPort < y.externalPort;
    });
    if (rows.isEmpty())
        return fault(730);
    QByteArray listing = "<?xml version=\"1.0\" encoding=\"UTF-8\"?><p:PortMappingList "
                         "xmlns:p=\"urn:schemas-upnp-org:gw:WANIPConnection\" "
                         "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
                         "xsi:schemaLocation=\"urn:schemas-upnp-org:gw:WANIPConnection "
                         "http://www.upnp.org/schemas/gw/WANIPConnection-v2.xsd\">";
    for (const UpnpMapping& m : rows.first(std::min<qsizetype>(rows.size(), limit))) {
        const qint64 left = m.expiresAt == 0 ? 0 : std::max<qint64>(m.expiresAt - now(), 1);
        const auto p = [](const char* name, const QByteArray& value) {
            return "<p:" + QByteArray(name) + ">" + value + "</p:" + QByteArray(name) + ">";
        };
        // Escaped values never contain "]]>", which would end the CDATA section early.
        listing += "<p:PortMappingEntry>" + p("NewRemoteHost", xmlEscape(m.remoteHost)) +
                   p("NewExternalPort", QByteArray::number(m.externalPort)) +
                   p("NewProtocol", m.protocol.toLatin1()) +
                   p("NewInternalPort", QByteArray::number(m.internalPort)) +
                   p("NewInternalClient", xmlEscape(m.internalClient)) +
                   p("NewEnabled", m.enabled ? "1" : "0") +
                   p("NewDescription", xmlEscape(m.description)) +
                   p("NewLeaseTime", QByteArray::number(left)) + "</p:PortMappingEntry>";
    }
    listing += "</p:PortMappingList>";
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
