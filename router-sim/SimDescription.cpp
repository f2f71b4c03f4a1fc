// SPDX-License-Identifier: GPL-3.0-or-later
// Reads a description by its tags with regular expressions, apart from the client's own
// reading on purpose: the simulator checks the client independently.
#include "SimDescription.h"

#include <QRegularExpression>

namespace {

// The first text of the element, whitespace removed (firmware breaks lines inside values).
QString firstText(const QString& xml, const char* name, qsizetype from = 0) {
    const QRegularExpression element(QStringLiteral("<%1>([^<]*)<").arg(QLatin1String(name)),
                                     QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = element.match(xml, from);
    if (!m.hasMatch())
        return {};
    QString text = m.captured(1);
    text.remove(QRegularExpression(QStringLiteral("\\s")));
    return text.replace(QLatin1String("&amp;"), QLatin1String("&"));
}

} // namespace

QByteArray HttpBodyOf(const QByteArray& bytes) {
    if (!bytes.startsWith("HTTP/"))
        return bytes;
    for (const char* blank : {"\r\n\r\n", "\n\n"}) {
        const qsizetype at = bytes.indexOf(blank);
        if (at >= 0)
            return bytes.mid(at + qsizetype(qstrlen(blank)));
    }
    return {};
}

int SimDescription::igdVersion() const {
    return deviceType.endsWith(QLatin1String(":1")) ? 1 : 2;
}

QList<SimControl> SimDescription::controls(const QUrl& location) const {
    const QUrl base = urlBase.isEmpty() ? location : QUrl(urlBase);
    QList<SimControl> out;
    for (const auto& [type, control] : connections)
        out.append({type, base.resolved(QUrl(control))});
    return out;
}

std::optional<SimDescription> ReadSimDescription(const QByteArray& bytes) {
    if (bytes.size() > MaxSimDescriptionBytes)
        return std::nullopt;
    SimDescription d;
    d.document = HttpBodyOf(bytes);
    const QString xml = QString::fromUtf8(d.document);
    d.deviceType = firstText(xml, "deviceType");
    d.udn = firstText(xml, "UDN");
    d.urlBase = firstText(xml, "URLBase");
    static const QRegularExpression service(QStringLiteral("<service>(.*?)</service>"),
                                            QRegularExpression::CaseInsensitiveOption |
                                                QRegularExpression::DotMatchesEverythingOption);
    static const QRegularExpression connection(
        QStringLiteral(":service:WAN(IP|PPP)Connection:[0-9]+$"));
    for (const QRegularExpressionMatch& m : service.globalMatch(xml)) {
        const QString inner = m.captured(1);
        const QString type = firstText(inner, "serviceType");
        if (connection.match(type).hasMatch())
            d.connections.append({type, firstText(inner, "controlURL")});
    }
    if (d.connections.isEmpty())
        return std::nullopt;
    return d;
}
