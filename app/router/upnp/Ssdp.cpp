// SPDX-License-Identifier: GPL-3.0-or-later
#include "router/upnp/Ssdp.h"

QByteArray BuildMSearch(const QByteArray& searchTarget, const QByteArray& host) {
    // Some devices stay silent without the final empty line or without the quotes on MAN.
    QByteArray datagram = "M-SEARCH * HTTP/1.1\r\nHOST: " + host +
                          "\r\n"
                          "MAN: \"ssdp:discover\"\r\n"
                          "MX: 2\r\n"
                          "ST: ";
    datagram += searchTarget;
    datagram += "\r\nUSER-AGENT: ";
    datagram += UpnpUserAgent;
    datagram += "\r\n\r\n";
    return datagram;
}

namespace {

bool namesGateway(const QString& text) {
    return text.contains(QLatin1String(":device:InternetGatewayDevice:"), Qt::CaseInsensitive) ||
           text.contains(QLatin1String(":service:WANIPConnection:"), Qt::CaseInsensitive) ||
           text.contains(QLatin1String(":service:WANPPPConnection:"), Qt::CaseInsensitive);
}

bool namesVersion2(const QString& text) {
    for (const char* type : {":device:InternetGatewayDevice:", ":service:WANIPConnection:"}) {
        const qsizetype at = text.indexOf(QLatin1String(type), 0, Qt::CaseInsensitive);
        if (at < 0)
            continue;
        bool ok = false;
        const int version =
            text.mid(at + qsizetype(qstrlen(type))).section(QLatin1Char(':'), 0, 0).toInt(&ok);
        if (ok && version >= 2)
            return true;
    }
    return false;
}

bool isOkStatusLine(const QByteArray& line) {
    // "HTTP/1.1 200 OK"; the reason phrase is not checked, only the version and the code.
    if (!line.startsWith("HTTP/1.1 200") && !line.startsWith("HTTP/1.0 200"))
        return false;
    return line.size() == 12 || line.at(12) == ' ' || line.at(12) == '\t';
}

} // namespace

bool SsdpReply::isGateway() const {
    // Only gateways are searched for: an answer that names nothing at all is taken as one, and
    // its description tells.
    if (st.isEmpty() && usn.isEmpty())
        return true;
    return namesGateway(st) || namesGateway(usn);
}

int SsdpReply::igdVersion() const {
    return namesVersion2(st) || namesVersion2(usn) ? 2 : 1;
}

std::optional<HeaderField> SplitHeaderLine(const QByteArray& line) {
    const qsizetype colon = line.indexOf(':');
    if (colon <= 0)
        return std::nullopt;
    return HeaderField{line.left(colon).trimmed().toLower(), line.mid(colon + 1).trimmed()};
}

std::optional<SsdpReply> ParseSsdpReply(const QByteArray& datagram) {
    if (datagram.size() > MaxSsdpDatagram)
        return std::nullopt;
    const QList<QByteArray> lines = datagram.split('\n');
    if (lines.isEmpty() || !isOkStatusLine(lines.front().trimmed()))
        return std::nullopt;

    SsdpReply reply;
    bool haveLocation = false;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        QByteArray line = lines.at(i);
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.isEmpty())
            break;
        // A name belongs at the start of its line; "st:" inside another value is no header.
        const std::optional<HeaderField> header = SplitHeaderLine(line);
        if (!header)
            continue;
        const QByteArray& name = header->name;
        const QString value = QString::fromLatin1(header->value);
        QString* field = nullptr;
        if (name == "location")
            field = &reply.location;
        else if (name == "st")
            field = &reply.st;
        else if (name == "usn")
            field = &reply.usn;
        else if (name == "server")
            field = &reply.server;
        else if (name == "bootid.upnp.org")
            field = &reply.bootId;
        // The first of repeated headers counts.
        if (field == nullptr || !field->isEmpty())
            continue;
        *field = value;
        if (field == &reply.location)
            haveLocation = !value.isEmpty();
    }
    if (!haveLocation)
        return std::nullopt;
    return reply;
}
