#include "router/upnp/DeviceDescription.h"

#include <QHostAddress>
#include <QRegularExpression>
#include <QXmlStreamReader>

#include <algorithm>
#include <optional>

namespace {

struct ServiceDraft {
    QString serviceType;
    QString serviceId;
    QString controlUrl;
};

bool sameHost(const QString& a, const QString& b) {
    const QHostAddress x(a);
    const QHostAddress y(b);
    if (!x.isNull() && !y.isNull())
        return x.isEqual(y, QHostAddress::TolerantConversion);
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

bool is(QStringView name, const char* expected) {
    return name.compare(QLatin1String(expected), Qt::CaseInsensitive) == 0;
}

} // namespace

QString DisplayText(const QString& text) {
    QString out;
    out.reserve(std::min(text.size(), MaxDisplayLength));
    for (const QChar c : text) {
        if (c.category() == QChar::Other_Control || c.category() == QChar::Other_Format)
            continue;
        out += c;
    }
    out = out.simplified();
    if (out.size() > MaxDisplayLength)
        out.truncate(MaxDisplayLength);
    return out;
}

bool IsFirewallServiceType(const QString& serviceType) {
    static const QRegularExpression fc(
        QStringLiteral("^urn:schemas-upnp-org:service:WANIPv6FirewallControl:([1-9][0-9]{0,2})$"));
    return fc.match(serviceType).hasMatch();
}

int ConnectionServiceRank(const QString& serviceType) {
    static const QRegularExpression wanIp(
        QStringLiteral("^urn:schemas-upnp-org:service:WANIPConnection:([1-9][0-9]{0,2})$"));
    const QRegularExpressionMatch m = wanIp.match(serviceType);
    if (m.hasMatch())
        return m.captured(1).toInt() >= 2 ? 0 : 1;
    if (serviceType == QLatin1String("urn:schemas-upnp-org:service:WANPPPConnection:1"))
        return 2;
    if (serviceType == QLatin1String("urn:dslforum-org:service:WANIPConnection:1"))
        return 3;
    if (serviceType == QLatin1String("urn:dslforum-org:service:WANPPPConnection:1"))
        return 4;
    return -1;
}

QUrl ResolveControlUrl(const QUrl& base, const QString& controlUrl, const QString& routerHost,
                       bool rewriteToRouter) {
    const QString text = controlUrl.trimmed();
    if (text.isEmpty())
        return {};
    const QUrl relative(text, QUrl::StrictMode);
    if (!relative.isValid())
        return {};
    QUrl url = base.resolved(relative);
    if (!url.isValid() || url.scheme() != QLatin1String("http") || url.host().isEmpty())
        return {};
    if (!url.userInfo().isEmpty())
        return {};
    url.setFragment(QString());
    if (!sameHost(url.host(), routerHost)) {
        // A "floating" address in the description: the router is the one that answered.
        if (!rewriteToRouter)
            return {};
        url.setHost(routerHost);
    }
    return url;
}

DeviceDescriptionResult ParseDeviceDescription(const QByteArray& xml, const QUrl& baseUrl,
                                               const QString& routerHost) {
    DeviceDescriptionResult result;
    const auto refuse = [&result](const QString& why) {
        result = DeviceDescriptionResult{};
        result.error = why;
        return result;
    };
    if (xml.size() > MaxDescriptionBytes)
        return refuse(QStringLiteral("description too large"));

    QXmlStreamReader reader(xml);
    QList<QString> path; // local names of the open elements
    int devices = 0;
    int deviceDepth = 0;
    int rootDeviceDepth = -1;
    bool rootDeviceDone = false;
    QString urlBase;
    QString rootType;
    UpnpDeviceInfo root;
    QList<ServiceDraft> drafts;
    std::optional<ServiceDraft> open;

    while (!reader.atEnd()) {
        const QXmlStreamReader::TokenType token = reader.readNext();
        if (token == QXmlStreamReader::DTD)
            return refuse(QStringLiteral("document type declarations are not accepted"));
        if (token == QXmlStreamReader::StartElement) {
            const QString name = reader.name().toString();
            path.append(name);
            if (path.size() > MaxXmlDepth)
                return refuse(QStringLiteral("description nested too deeply"));
            const QString parent = path.size() >= 2 ? path.at(path.size() - 2) : QString();
            if (is(name, "device")) {
                if (++devices > MaxDevices)
                    return refuse(QStringLiteral("too many devices"));
                if (++deviceDepth > MaxDeviceNesting)
                    return refuse(QStringLiteral("devices nested too deeply"));
                if (rootDeviceDepth < 0 && !rootDeviceDone && is(parent, "root"))
                    rootDeviceDepth = int(path.size());
            } else if (is(name, "service") && is(parent, "serviceList")) {
                if (drafts.size() + 1 > MaxServices)
                    return refuse(QStringLiteral("too many services"));
                open = ServiceDraft{};
            } else if (open && is(parent, "service")) {
                const QString text = reader.readElementText(QXmlStreamReader::SkipChildElements);
                path.removeLast();
                if (is(name, "serviceType"))
                    open->serviceType = text.trimmed();
                else if (is(name, "serviceId"))
                    open->serviceId = text.trimmed();
                else if (is(name, "controlURL"))
                    open->controlUrl = text.trimmed();
            } else if (is(parent, "root") && is(name, "URLBase")) {
                urlBase = reader.readElementText(QXmlStreamReader::SkipChildElements).trimmed();
                path.removeLast();
            } else if (rootDeviceDepth == int(path.size()) - 1 && is(parent, "device")) {
                QString* field = nullptr;
                if (is(name, "deviceType"))
                    field = &rootType;
                else if (is(name, "friendlyName"))
                    field = &root.friendlyName;
                else if (is(name, "manufacturer"))
                    field = &root.manufacturer;
                else if (is(name, "modelName"))
                    field = &root.modelName;
                else if (is(name, "modelNumber"))
                    field = &root.modelNumber;
                else if (is(name, "UDN"))
                    field = &root.udn;
                if (field != nullptr) {
                    *field = reader.readElementText(QXmlStreamReader::SkipChildElements);
                    path.removeLast();
                }
            }
        } else if (token == QXmlStreamReader::EndElement) {
            const QString name = path.isEmpty() ? QString() : path.takeLast();
            if (is(name, "device")) {
                if (rootDeviceDepth == int(path.size()) + 1) {
                    rootDeviceDepth = -1;
                    rootDeviceDone = true;
                }
                --deviceDepth;
            } else if (is(name, "service") && open) {
                drafts.append(*open);
                open.reset();
            }
        }
    }
    if (reader.hasError())
        return refuse(QStringLiteral("description is not well-formed XML: ") +
                      reader.errorString());
    if (!rootDeviceDone)
        return refuse(QStringLiteral("description has no root device"));

    QUrl base = baseUrl;
    const QUrl declared(urlBase);
    if (!urlBase.isEmpty() && declared.isValid() && !declared.isRelative())
        base = declared;
    const bool rewrite = sameHost(baseUrl.host(), routerHost);

    for (const ServiceDraft& d : drafts) {
        if (IsFirewallServiceType(d.serviceType) && result.firewall.serviceType.isEmpty()) {
            const QUrl control = ResolveControlUrl(base, d.controlUrl, routerHost, rewrite);
            if (control.isValid())
                result.firewall = {d.serviceType, d.serviceId, control, 1, 0};
            continue;
        }
        const int rank = ConnectionServiceRank(d.serviceType);
        if (rank < 0)
            continue;
        const QUrl control = ResolveControlUrl(base, d.controlUrl, routerHost, rewrite);
        if (!control.isValid())
            continue;
        IgdService service;
        service.serviceType = d.serviceType;
        service.serviceId = d.serviceId;
        service.controlUrl = control;
        service.rank = rank;
        service.version = rank == 0 ? 2 : 1;
        result.services.append(service);
    }
    std::stable_sort(result.services.begin(), result.services.end(),
                     [](const IgdService& a, const IgdService& b) { return a.rank < b.rank; });

    static const QRegularExpression igd(
        QStringLiteral(":device:InternetGatewayDevice:([0-9]{1,3})$"));
    const QRegularExpressionMatch m = igd.match(rootType.trimmed());
    result.igdVersion = m.hasMatch() && m.captured(1).toInt() >= 2 ? 2 : 1;

    result.device.friendlyName = DisplayText(root.friendlyName);
    result.device.manufacturer = DisplayText(root.manufacturer);
    result.device.modelName = DisplayText(root.modelName);
    result.device.modelNumber = DisplayText(root.modelNumber);
    result.device.udn = DisplayText(root.udn);
    if (result.device.friendlyName.isEmpty())
        result.device.friendlyName = result.device.modelName;
    result.ok = true;
    return result;
}
