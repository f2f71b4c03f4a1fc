// SPDX-License-Identifier: GPL-3.0-or-later
#include "router/upnp/DeviceDescription.h"

#include "router/upnp/DescriptionParts.h"

#include <QHostAddress>
#include <QRegularExpression>
#include <QXmlStreamReader>

#include <algorithm>
#include <optional>

namespace {

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

// The N of a connection service type of the UPnP forum, WANIPConnection:N or
// WANPPPConnection:N, or 0 for another type.
int connectionVersion(const QString& serviceType, bool ppp) {
    static const QRegularExpression ip(
        QStringLiteral("^urn:schemas-upnp-org:service:WANIPConnection:([1-9][0-9]{0,2})$"));
    static const QRegularExpression pppType(
        QStringLiteral("^urn:schemas-upnp-org:service:WANPPPConnection:([1-9][0-9]{0,2})$"));
    const QRegularExpressionMatch m = (ppp ? pppType : ip).match(serviceType);
    return m.hasMatch() ? m.captured(1).toInt() : 0;
}

// 2 for the connection services that carry the IGD:2 actions and lease rules, else 1. No
// WANPPPConnection beyond :1 was ever published; Livebox IGD:2 firmware offers its IGD:2
// connection service as :2, and on an IGD:1 root nothing says it is more than :1.
int connectionServiceVersion(const QString& serviceType, int igdVersion) {
    if (connectionVersion(serviceType, false) >= 2)
        return 2;
    return connectionVersion(serviceType, true) >= 2 && igdVersion >= 2 ? 2 : 1;
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
    if (const int v = connectionVersion(serviceType, false); v > 0)
        return v >= 2 ? 0 : 1;
    if (connectionVersion(serviceType, true) > 0)
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

namespace {

// One pass over the document: URLBase, the root device's own fields and every service entry,
// within the limits on size and nesting.
class DescriptionReader {
public:
    explicit DescriptionReader(const QByteArray& xml) : reader_(xml) {}

    // Empty when the document was read to its end, else why it is refused.
    QString read();
    // The markup itself is broken or cut short, not over a limit.
    bool malformed() const {
        return reader_.error() == QXmlStreamReader::NotWellFormedError ||
               reader_.error() == QXmlStreamReader::PrematureEndOfDocumentError;
    }

    DescriptionParts parts;

private:
    QString startElement();
    QString openDevice(const QString& parent);
    void endElement();
    QString* rootField(const QString& name);
    // The text of the element just opened, which it closes.
    QString takeText();

    QXmlStreamReader reader_;
    QList<QString> path_; // local names of the open elements
    int devices_ = 0;
    int deviceDepth_ = 0;
    int rootDeviceDepth_ = -1;
    bool rootDeviceDone_ = false;
    std::optional<ServiceDraft> open_;
};

QString DescriptionReader::read() {
    while (!reader_.atEnd()) {
        const QXmlStreamReader::TokenType token = reader_.readNext();
        if (token == QXmlStreamReader::DTD)
            return QStringLiteral("document type declarations are not accepted");
        if (token == QXmlStreamReader::StartElement) {
            if (const QString why = startElement(); !why.isEmpty())
                return why;
        } else if (token == QXmlStreamReader::EndElement) {
            endElement();
        }
    }
    if (reader_.hasError())
        return QStringLiteral("description is not well-formed XML: ") + reader_.errorString();
    if (!rootDeviceDone_)
        return QStringLiteral("description has no root device");
    return {};
}

QString DescriptionReader::startElement() {
    const QString name = reader_.name().toString();
    path_.append(name);
    if (path_.size() > MaxXmlDepth)
        return QStringLiteral("description nested too deeply");
    const QString parent = path_.size() >= 2 ? path_.at(path_.size() - 2) : QString();
    if (is(name, "device"))
        return openDevice(parent);
    if (is(name, "service") && is(parent, "serviceList")) {
        if (parts.drafts.size() + 1 > MaxServices)
            return QStringLiteral("too many services");
        open_ = ServiceDraft{};
    } else if (open_ && is(parent, "service")) {
        const QString text = Compacted(takeText());
        if (is(name, "serviceType"))
            open_->serviceType = text;
        else if (is(name, "serviceId"))
            open_->serviceId = text;
        else if (is(name, "controlURL"))
            open_->controlUrl = text;
    } else if (is(parent, "root") && is(name, "URLBase")) {
        parts.urlBase = Compacted(takeText());
    } else if (rootDeviceDepth_ == int(path_.size()) - 1 && is(parent, "device")) {
        if (QString* field = rootField(name))
            *field = takeText();
    }
    return {};
}

QString DescriptionReader::openDevice(const QString& parent) {
    if (++devices_ > MaxDevices)
        return QStringLiteral("too many devices");
    if (++deviceDepth_ > MaxDeviceNesting)
        return QStringLiteral("devices nested too deeply");
    if (rootDeviceDepth_ < 0 && !rootDeviceDone_ && is(parent, "root"))
        rootDeviceDepth_ = int(path_.size());
    return {};
}

void DescriptionReader::endElement() {
    const QString name = path_.isEmpty() ? QString() : path_.takeLast();
    if (is(name, "device")) {
        if (rootDeviceDepth_ == int(path_.size()) + 1) {
            rootDeviceDepth_ = -1;
            rootDeviceDone_ = true;
        }
        --deviceDepth_;
    } else if (is(name, "service") && open_) {
        parts.drafts.append(*open_);
        open_.reset();
    }
}

QString* DescriptionReader::rootField(const QString& name) {
    if (is(name, "deviceType"))
        return &parts.rootType;
    if (is(name, "friendlyName"))
        return &parts.root.friendlyName;
    if (is(name, "manufacturer"))
        return &parts.root.manufacturer;
    if (is(name, "modelName"))
        return &parts.root.modelName;
    if (is(name, "modelNumber"))
        return &parts.root.modelNumber;
    if (is(name, "UDN"))
        return &parts.root.udn;
    return nullptr;
}

QString DescriptionReader::takeText() {
    const QString text = reader_.readElementText(QXmlStreamReader::SkipChildElements);
    path_.removeLast();
    return text;
}

// The firewall service and the usable connection services of the drafts, best first.
void resolveServices(const QList<ServiceDraft>& drafts, const QUrl& base, const QString& routerHost,
                     bool rewrite, DeviceDescriptionResult& result) {
    // result.igdVersion is already known: it decides what some service types mean.
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
        service.version = connectionServiceVersion(d.serviceType, result.igdVersion);
        result.services.append(service);
    }
    std::stable_sort(result.services.begin(), result.services.end(),
                     [](const IgdService& a, const IgdService& b) { return a.rank < b.rank; });
}

int igdVersionOf(const QString& rootType) {
    static const QRegularExpression igd(
        QStringLiteral(":device:InternetGatewayDevice:([0-9]{1,3})$"));
    const QRegularExpressionMatch m = igd.match(Compacted(rootType));
    return m.hasMatch() && m.captured(1).toInt() >= 2 ? 2 : 1;
}

UpnpDeviceInfo displayed(const UpnpDeviceInfo& root) {
    UpnpDeviceInfo device;
    device.friendlyName = DisplayText(root.friendlyName);
    device.manufacturer = DisplayText(root.manufacturer);
    device.modelName = DisplayText(root.modelName);
    device.modelNumber = DisplayText(root.modelNumber);
    device.udn = DisplayText(Compacted(root.udn));
    if (device.friendlyName.isEmpty())
        device.friendlyName = device.modelName;
    return device;
}

DeviceDescriptionResult refused(const QString& why) {
    DeviceDescriptionResult result;
    result.error = why;
    return result;
}

} // namespace

DeviceDescriptionResult ParseDeviceDescription(const QByteArray& xml, const QUrl& baseUrl,
                                               const QString& routerHost) {
    if (xml.size() > MaxDescriptionBytes)
        return refused(QStringLiteral("description too large"));
    DescriptionReader reader(xml);
    const QString why = reader.read();
    std::optional<DescriptionParts> parts;
    if (why.isEmpty())
        parts = reader.parts;
    else if (reader.malformed())
        // Strict reading first; broken markup is then read by its tags alone.
        parts = ScanDescriptionTags(xml);
    if (!parts)
        return refused(why);

    QUrl base = baseUrl;
    const QUrl declared(parts->urlBase);
    if (!parts->urlBase.isEmpty() && declared.isValid() && !declared.isRelative())
        base = declared;
    DeviceDescriptionResult result;
    result.igdVersion = igdVersionOf(parts->rootType);
    resolveServices(parts->drafts, base, routerHost, sameHost(baseUrl.host(), routerHost), result);
    // A broken document earns its acceptance only by what it was fetched for.
    if (!why.isEmpty() && result.services.isEmpty())
        return refused(why);
    result.device = displayed(parts->root);
    result.ok = true;
    return result;
}
