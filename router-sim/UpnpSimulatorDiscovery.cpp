// SPDX-License-Identifier: GPL-3.0-or-later
// The UPnP simulator's discovery: SSDP answers and the device description they point at.
#include "UpnpSimulator.h"

#include "SimHttp.h"
#include "SimSoap.h"
#include "UpnpSimulatorAnswers.h"

#include <QNetworkDatagram>
#include <QUdpSocket>

namespace {

using UpnpSimAnswer::ServerString;

bool isIgdTarget(const QByteArray& st, const char* kind, int highest) {
    const QByteArray prefix = QByteArray("urn:schemas-upnp-org:") + kind + ":";
    if (!st.startsWith(prefix))
        return false;
    bool ok = false;
    const int v = st.mid(prefix.size()).toInt(&ok);
    return ok && v >= 1 && v <= highest;
}

} // namespace

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
    const QByteArray uuid = rootUdn().toLatin1();
    QList<QByteArray> targets;
    if (described_) {
        targets = describedTargets(st);
    } else if (st == "ssdp:all") {
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
        if (!options_.ssdpReply.isEmpty()) {
            replies << capturedSsdpReply(target, ipv6);
            continue;
        }
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

QList<QByteArray> UpnpSimulator::describedTargets(const QByteArray& st) const {
    QList<QByteArray> types{"upnp:rootdevice", rootUdn().toLatin1(), deviceType().toLatin1()};
    for (const auto& connection : described_->connections) {
        if (!types.contains(connection.first.toLatin1()))
            types << connection.first.toLatin1();
    }
    if (st == "ssdp:all")
        return types;
    return types.contains(st) ? QList<QByteArray>{st} : QList<QByteArray>{};
}

QByteArray UpnpSimulator::capturedSsdpReply(const QByteArray& target, bool ipv6) const {
    // Each line as the firmware wrote it, its ending and the space after the colon kept.
    QByteArray reply;
    for (const QByteArray& line : options_.ssdpReply.split('\n')) {
        const qsizetype colon = line.indexOf(':');
        const QByteArray name = line.left(colon).trimmed().toLower();
        QByteArray value;
        if (name == "location")
            value = locationUrl(ipv6).toLatin1();
        else if (name == "st")
            value = target;
        if (colon < 0 || value.isEmpty()) {
            reply += line + '\n';
            continue;
        }
        const bool space = line.mid(colon + 1).startsWith(' ');
        reply += line.left(colon + 1) + (space ? " " : "") + value +
                 (line.endsWith('\r') ? "\r\n" : "\n");
    }
    reply.chop(1); // the split added a line end the answer may not have
    return reply;
}

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
    const QByteArray root = device(
        "InternetGatewayDevice:" + v, SimSoap::xmlEscape(options_.friendlyName), uuid.right(1),
        "<serviceList>" + service("Layer3Forwarding:1", "L3Forwarding1", "L3F") +
            "</serviceList><deviceList>" + wan + "</deviceList>");
    return "<?xml version=\"1.0\"?>\r\n<root xmlns=\"urn:schemas-upnp-org:device-1-0\">"
           "<specVersion><major>1</major><minor>1</minor></specVersion>" +
           root + "</root>";
}
