// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>

// Descriptions and answers shaped like the routers' own, for the parser and client tests.

// An IGD tree with the given service elements inside its WANConnectionDevice.
inline QByteArray Description(const QByteArray& services, const QByteArray& urlBase = {},
                              const QByteArray& igdType = "2") {
    return "<?xml version=\"1.0\"?>\r\n<root xmlns=\"urn:schemas-upnp-org:device-1-0\">"
           "<specVersion><major>1</major><minor>1</minor></specVersion>" +
           (urlBase.isEmpty() ? QByteArray() : "<URLBase>" + urlBase + "</URLBase>") +
           "<device><deviceType>urn:schemas-upnp-org:device:InternetGatewayDevice:" + igdType +
           "</deviceType><friendlyName>Home Router</friendlyName><manufacturer>Acme</manufacturer>"
           "<modelName>AR-1</modelName><modelNumber>7</modelNumber><UDN>uuid:r</UDN>"
           "<serviceList><service><serviceType>urn:schemas-upnp-org:service:Layer3Forwarding:1"
           "</serviceType><serviceId>urn:upnp-org:serviceId:L3F</serviceId><controlURL>/ctl/L3F"
           "</controlURL></service></serviceList><deviceList><device><deviceType>"
           "urn:schemas-upnp-org:device:WANDevice:1</deviceType><friendlyName>WAN</friendlyName>"
           "<deviceList><device><deviceType>urn:schemas-upnp-org:device:WANConnectionDevice:1"
           "</deviceType><serviceList>" +
           services + "</serviceList></device></deviceList></device></deviceList></device></root>";
}

inline QByteArray Service(const QByteArray& type, const QByteArray& controlUrl) {
    return "<service><serviceType>" + type +
           "</serviceType><serviceId>urn:upnp-org:serviceId:x"
           "</serviceId><controlURL>" +
           controlUrl +
           "</controlURL><eventSubURL>/evt"
           "</eventSubURL><SCPDURL>/scpd.xml</SCPDURL></service>";
}

inline constexpr char WanIp1[] = "urn:schemas-upnp-org:service:WANIPConnection:1";
inline constexpr char WanIp2[] = "urn:schemas-upnp-org:service:WANIPConnection:2";
inline constexpr char WanPpp1[] = "urn:schemas-upnp-org:service:WANPPPConnection:1";

inline QByteArray Envelope(const QByteArray& inner) {
    return "<?xml version=\"1.0\"?>\r\n<s:Envelope "
           "xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\" "
           "s:encodingStyle=\"http://schemas.xmlsoap.org/soap/encoding/\"><s:Body>" +
           inner + "</s:Body></s:Envelope>";
}

inline QByteArray ResponseBody(const QByteArray& action, const QByteArray& out,
                               const QByteArray& type = WanIp2) {
    return Envelope("<u:" + action + "Response xmlns:u=\"" + type + "\">" + out + "</u:" + action +
                    "Response>");
}

inline QByteArray FaultBody(int code, const QByteArray& description = "Error") {
    return Envelope("<s:Fault><faultcode>s:Client</faultcode><faultstring>UPnPError"
                    "</faultstring><detail><UPnPError xmlns=\"urn:schemas-upnp-org:control-1-0\">"
                    "<errorCode>" +
                    QByteArray::number(code) + "</errorCode><errorDescription>" + description +
                    "</errorDescription></UPnPError></detail></s:Fault>");
}

inline QByteArray HttpAnswer(const QByteArray& body, const QByteArray& status = "200 OK") {
    return "HTTP/1.1 " + status +
           "\r\nContent-Type: text/xml; charset=\"utf-8\"\r\nConnection: close\r\n"
           "Content-Length: " +
           QByteArray::number(body.size()) + "\r\n\r\n" + body;
}
