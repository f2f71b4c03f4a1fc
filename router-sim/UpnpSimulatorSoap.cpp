// SPDX-License-Identifier: GPL-3.0-or-later
// The UPnP simulator's HTTP side: requests checked as strict routers do, and the
// WANIPConnection actions over the mapping table.
#include "UpnpSimulator.h"

#include "SimHttp.h"
#include "SimSoap.h"
#include "UpnpSimulatorAnswers.h"

#include <algorithm>

namespace {

using SimSoap::argument;
using SimSoap::xmlEscape;
using UpnpSimAnswer::fault;
using UpnpSimAnswer::httpAnswer;
using UpnpSimAnswer::httpError;
using UpnpSimAnswer::success;

constexpr quint32 MaxLeaseV2 = 604800;
// miniupnpd keeps 63 bytes of a description.
constexpr qsizetype MaxDescription = 63;

} // namespace

QByteArray UpnpSimAnswer::httpAnswer(const QByteArray& status, const QByteArray& contentType,
                                     const QByteArray& body) {
    return SimHttp::answer(
        "HTTP/1.1 " + status + "\r\nContent-Type: " + contentType + "\r\nConnection: close\r\n",
        "Server: " + QByteArray(UpnpSimAnswer::ServerString) + "\r\nExt:\r\n", body);
}

QByteArray UpnpSimAnswer::httpError(const QByteArray& status) {
    return httpAnswer(status, "text/html",
                      "<HTML><HEAD><TITLE>" + status + "</TITLE></HEAD><BODY><H1>" + status +
                          "</H1></BODY></HTML>\r\n");
}

QByteArray UpnpSimAnswer::fault(int code) {
    return httpAnswer("500 Internal Server Error", "text/xml; charset=\"utf-8\"",
                      SimSoap::fault(code));
}

QByteArray UpnpSimAnswer::success(const QByteArray& action, const QByteArray& serviceType,
                                  const QByteArray& out) {
    return httpAnswer("200 OK", "text/xml; charset=\"utf-8\"",
                      SimSoap::success(action, serviceType, out));
}

QByteArray UpnpSimulator::respondHttp(const QByteArray& request, const QHostAddress& peer) {
    const QByteArray answer = SimSoap::restyled(answerHttp(request, peer), options_.style);
    callType_.clear();
    return answer;
}

QString UpnpSimulator::describedControl(const QByteArray& target) const {
    // An empty path is the root's: the request line cannot carry it.
    const auto key = [](const QUrl& url) {
        return (url.path().isEmpty() ? QStringLiteral("/") : url.path()) + u'?' + url.query();
    };
    const QString asked = key(QUrl::fromEncoded(target));
    for (const SimControl& c : described_->controls(QUrl(locationUrl()))) {
        if (key(c.url) == asked)
            return c.serviceType;
    }
    return {};
}

QByteArray UpnpSimulator::answerHttp(const QByteArray& request, const QHostAddress& peer) {
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
    if (path == descriptionPath_.toLatin1()) {
        if (head.method != "GET")
            return httpError("405 Method Not Allowed");
        return httpAnswer("200 OK", "text/xml; charset=\"utf-8\"",
                          described_ ? described_->document : description());
    }
    if (path.startsWith(checkerPath().toLatin1() + '?')) {
        if (head.method != "GET")
            return httpError("405 Method Not Allowed");
        return outsideCheck(path);
    }
    if (described_)
        callType_ = describedControl(path);
    if (described_ ? callType_.isEmpty()
                   : path != controlPath().toLatin1() && !(options_.ipv6 && path == "/ctl/IP6FCtl"))
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
    forwardMade(protocol, externalPort);
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
    } else if (!options_.deleteIgnored) {
        table_.removeAt(i);
        forwardDeleted(protocol, externalPort);
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
