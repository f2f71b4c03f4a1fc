// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QUrl>

// Limits on a description, which comes from whatever answers on the router's address.
inline constexpr qsizetype MaxDescriptionBytes = 128 * 1024;
inline constexpr int MaxXmlDepth = 32;
inline constexpr int MaxDevices = 32;
inline constexpr int MaxServices = 64;
inline constexpr int MaxDeviceNesting = 8;
// Display fields are cut to this many characters.
inline constexpr qsizetype MaxDisplayLength = 64;

// The root device as the status bar shows it: control characters removed, each field capped.
struct UpnpDeviceInfo {
    QString friendlyName; // modelName when the device gives no friendlyName
    QString manufacturer;
    QString modelName;
    QString modelNumber;
    QString udn;
};

// A WAN connection service that can carry port mappings.
struct IgdService {
    QString serviceType; // copied verbatim: the SOAP namespace and SOAPAction prefix
    QString serviceId;
    QUrl controlUrl; // resolved, http, on the router
    int version = 1; // 2 for WANIPConnection:2 and later, and WANPPPConnection:2 and later on
                     // an IGD:2 root: lease 0 means a week there
    int rank = 0;    // place in the order of preference, 0 best
};

struct DeviceDescriptionResult {
    bool ok = false;
    QString error; // why the document was refused
    UpnpDeviceInfo device;
    int igdVersion = 1; // from the root device type
    // Every usable connection service, best first; services of equal rank in document order.
    QList<IgdService> services;
    // WANIPv6FirewallControl (IGD:2), for IPv6 pinholes; serviceType empty when not offered.
    IgdService firewall;
};

// True for urn:schemas-upnp-org:service:WANIPv6FirewallControl:N, N >= 1.
bool IsFirewallServiceType(const QString& serviceType);

// Parses a root description fetched from `baseUrl` (the LOCATION, already pointing at the
// router); a document whose markup is broken is read by its tags and kept only when it offers
// a connection service. Control URLs resolve against URLBase when it is absolute, else against
// baseUrl; an absolute URL naming another host is moved onto `routerHost` when the description came
// from the router, and refused otherwise, as is any scheme but http.
DeviceDescriptionResult ParseDeviceDescription(const QByteArray& xml, const QUrl& baseUrl,
                                               const QString& routerHost);

// The rank of a connection service type, or -1 when it is none Harborly can use:
// WANIPConnection:2 and later, :1, WANPPPConnection of any version, then the DSL forum's.
int ConnectionServiceRank(const QString& serviceType);

// One resolved control URL, or an invalid QUrl when it must not be used.
QUrl ResolveControlUrl(const QUrl& base, const QString& controlUrl, const QString& routerHost,
                       bool rewriteToRouter);

// Removes control characters and caps the text for display.
QString DisplayText(const QString& text);
