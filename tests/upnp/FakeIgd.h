// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "IgdFixtures.h"

#include <QHostAddress>
#include <QMap>
#include <QNetworkDatagram>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUdpSocket>

#include <functional>

// The text of one argument in a captured SOAP request.
inline QByteArray Arg(const QByteArray& request, const QByteArray& name) {
    const qsizetype open = request.indexOf('<' + name + '>');
    const qsizetype close = request.indexOf("</" + name + '>');
    if (open < 0 || close < 0)
        return {};
    const qsizetype from = open + name.size() + 2;
    return request.mid(from, close - from);
}

// A UPnP router on 127.0.0.1: unicast SSDP on a port of its own, the description, and a
// mapping table behind the SOAP actions. Every datagram and request is kept as bytes; an
// override answers an action in place of the table.
class FakeIgd : public QObject {
public:
    struct Mapping {
        QByteArray client;
        QByteArray internalPort;
        QByteArray description;
        QByteArray lease;
    };

    FakeIgd() {
        http_.listen(QHostAddress::LocalHost, 0);
        ssdp_.bind(QHostAddress::LocalHost, 0);
        otherPort_.bind(QHostAddress::LocalHost, 0);
        otherAddress_.bind(QHostAddress(QStringLiteral("127.0.0.2")), 0);
        connect(&ssdp_, &QUdpSocket::readyRead, this, [this] { onSearch(); });
        connect(&http_, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* s = http_.nextPendingConnection())
                connect(s, &QTcpSocket::readyRead, this, [this, s] { onData(s); });
        });
        setVersion(2);
    }

    QString router() const { return QStringLiteral("127.0.0.1:%1").arg(ssdp_.localPort()); }
    QString descriptionUrl() const {
        return QStringLiteral("http://127.0.0.1:%1/rootDesc.xml").arg(http_.serverPort());
    }
    quint16 httpPort() const { return http_.serverPort(); }

    void setVersion(int v) {
        version = v;
        description = Description(Service(v == 2 ? WanIp2 : WanIp1, "/ctl/IPConn"), {},
                                  QByteArray::number(v));
    }

    // Knobs.
    int version = 2;
    bool answerSearch = true;
    bool replyFromOtherPort = false;
    bool replyFromOtherAddress = false; // another UPnP device on the network, not the router
    QByteArray locationHost = "127.0.0.1";
    QByteArray description;
    QByteArray rawDescriptionReply; // whole HTTP reply in place of the description
    bool silent = false;            // take requests, never answer
    QByteArray externalAddress = "11.22.33.44";
    // Answers an action in place of the table when it returns bytes (a whole HTTP reply).
    std::function<QByteArray(const QByteArray& action, const QByteArray& request)> answer;

    QMap<QByteArray, Mapping> table; // "8080/TCP"
    QList<QByteArray> searches;
    QList<QByteArray> requests;
    QList<QByteArray> actions;

private:
    void onSearch() {
        while (ssdp_.hasPendingDatagrams()) {
            const QNetworkDatagram d = ssdp_.receiveDatagram();
            searches << d.data();
            if (!answerSearch)
                continue;
            QByteArray st;
            for (const QByteArray& line : d.data().split('\n'))
                if (line.startsWith("ST: "))
                    st = line.mid(4).trimmed();
            const QByteArray reply =
                "HTTP/1.1 200 OK\r\nCACHE-CONTROL: max-age=120\r\nST: " + st +
                "\r\nUSN: uuid:fake::urn:schemas-upnp-org:device:InternetGatewayDevice:" +
                QByteArray::number(version) +
                "\r\nEXT:\r\nSERVER: Fake/1.0 UPnP/1.1 FakeIgd/1.0\r\nLOCATION: http://" +
                locationHost + ':' + QByteArray::number(http_.serverPort()) +
                "/rootDesc.xml\r\nBOOTID.UPNP.ORG: 7\r\n\r\n";
            QUdpSocket& from = replyFromOtherAddress ? otherAddress_
                               : replyFromOtherPort  ? otherPort_
                                                     : ssdp_;
            from.writeDatagram(reply, d.senderAddress(), quint16(d.senderPort()));
        }
    }

    void onData(QTcpSocket* s) {
        QByteArray buffer = s->property("buffer").toByteArray() + s->readAll();
        s->setProperty("buffer", buffer);
        const qsizetype end = buffer.indexOf("\r\n\r\n");
        if (end < 0)
            return;
        const QByteArray head = buffer.left(end);
        qsizetype length = 0;
        for (const QByteArray& line : head.split('\n'))
            if (line.toLower().startsWith("content-length:"))
                length = line.mid(15).trimmed().toLongLong();
        if (buffer.size() < end + 4 + length || s->property("done").toBool())
            return;
        s->setProperty("done", true);
        requests << buffer;
        if (silent)
            return;
        QByteArray reply;
        if (head.startsWith("GET ")) {
            reply = !rawDescriptionReply.isEmpty() ? rawDescriptionReply : HttpAnswer(description);
        } else {
            const qsizetype at = head.indexOf("SOAPAction: \"");
            const QByteArray soapAction = head.mid(at + 13, head.indexOf('"', at + 13) - at - 13);
            const QByteArray action = soapAction.mid(soapAction.indexOf('#') + 1);
            actions << action;
            const QByteArray body = buffer.mid(end + 4);
            if (answer)
                reply = answer(action, body);
            if (reply.isEmpty())
                reply = fromTable(action, body);
        }
        s->write(reply);
        s->disconnectFromHost();
    }

    QByteArray ok(const QByteArray& action, const QByteArray& out = {}) const {
        return HttpAnswer(ResponseBody(action, out, version == 2 ? WanIp2 : WanIp1));
    }

    static QByteArray entryOut(const QByteArray& key, const Mapping& m, bool withKey) {
        const QList<QByteArray> k = key.split('/');
        QByteArray out = withKey
                             ? "<NewRemoteHost></NewRemoteHost><NewExternalPort>" + k.at(0) +
                                   "</NewExternalPort><NewProtocol>" + k.at(1) + "</NewProtocol>"
                             : QByteArray();
        return out + "<NewInternalPort>" + m.internalPort +
               "</NewInternalPort><NewInternalClient>" + m.client +
               "</NewInternalClient><NewEnabled>1</NewEnabled>"
               "<NewPortMappingDescription>" +
               m.description + "</NewPortMappingDescription><NewLeaseDuration>" + m.lease +
               "</NewLeaseDuration>";
    }

    QByteArray fromTable(const QByteArray& action, const QByteArray& body) {
        const QByteArray key = Arg(body, "NewExternalPort") + '/' + Arg(body, "NewProtocol");
        if (action == "GetExternalIPAddress")
            return ok(action,
                      "<NewExternalIPAddress>" + externalAddress + "</NewExternalIPAddress>");
        if (action == "GetStatusInfo")
            return ok(action, "<NewConnectionStatus>Connected</NewConnectionStatus>"
                              "<NewLastConnectionError>ERROR_NONE</NewLastConnectionError>"
                              "<NewUptime>42</NewUptime>");
        if (action == "AddPortMapping") {
            const QByteArray lease = Arg(body, "NewLeaseDuration");
            table[key] = {Arg(body, "NewInternalClient"), Arg(body, "NewInternalPort"),
                          Arg(body, "NewPortMappingDescription"),
                          version == 2 && lease == "0" ? "604800" : lease};
            return ok(action);
        }
        if (action == "DeletePortMapping") {
            table.remove(key);
            return ok(action);
        }
        if (action == "GetSpecificPortMappingEntry") {
            if (!table.contains(key))
                return HttpAnswer(FaultBody(714), "500 Internal Server Error");
            return ok(action, entryOut(key, table[key], false));
        }
        if (action == "GetGenericPortMappingEntry") {
            const int index = Arg(body, "NewPortMappingIndex").toInt();
            if (index >= table.size())
                return HttpAnswer(FaultBody(713), "500 Internal Server Error");
            const QByteArray k = table.keys().at(index);
            return ok(action, entryOut(k, table[k], true));
        }
        if (action == "GetListOfPortMappings" && version == 2) {
            QByteArray list = "<p:PortMappingList xmlns:p=\"urn:schemas-upnp-org:gw:"
                              "WANIPConnection\">";
            for (auto it = table.cbegin(); it != table.cend(); ++it) {
                if (!it.key().endsWith('/' + Arg(body, "NewProtocol")))
                    continue;
                list += "<p:PortMappingEntry>" +
                        entryOut(it.key(), it.value(), true)
                            .replace("<New", "<p:New")
                            .replace("</New", "</p:New")
                            .replace("PortMappingDescription", "Description")
                            .replace("LeaseDuration", "LeaseTime") +
                        "</p:PortMappingEntry>";
            }
            return ok(action, "<NewPortListing><![CDATA[" + list +
                                  "</p:PortMappingList>]]></NewPortListing>");
        }
        return HttpAnswer(FaultBody(401), "500 Internal Server Error");
    }

    QTcpServer http_;
    QUdpSocket ssdp_;
    QUdpSocket otherPort_;
    QUdpSocket otherAddress_;
};
