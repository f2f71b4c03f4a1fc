// SPDX-License-Identifier: GPL-3.0-or-later
#include "router/upnp/Soap.h"

#include "router/upnp/Ssdp.h"

#include <QXmlStreamReader>

#include <algorithm>

namespace {

bool same(QStringView a, QStringView b) {
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// Printable ASCII without quotes: safe between the quotes of SOAPAction and in an attribute.
bool isHeaderSafe(const QString& text, bool nameOnly) {
    if (text.isEmpty())
        return false;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (nameOnly) {
            if (!((u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || (u >= '0' && u <= '9') ||
                  u == '_'))
                return false;
        } else if (u <= 0x20 || u >= 0x7f || u == '"' || u == '<' || u == '>' || u == '&' ||
                   u == '\\') {
            return false;
        }
    }
    return true;
}

std::optional<quint32> parseUnsigned(const QString& text, quint32 max) {
    bool ok = false;
    const qulonglong n = text.trimmed().toULongLong(&ok, 10);
    if (!ok || n > max)
        return std::nullopt;
    return quint32(n);
}

std::optional<int> parseErrorCode(QStringView text) {
    const QString digits = text.trimmed().toString();
    if (digits.isEmpty() || digits.size() > 5)
        return std::nullopt;
    for (const QChar c : digits)
        if (!c.isDigit() || c.unicode() > '9')
            return std::nullopt;
    return digits.toInt();
}

// For answers whose XML does not parse: a router once sent garbage inside errorDescription.
// The element may carry a prefix and any case; its text runs to the next tag.
std::optional<int> searchErrorCode(const QByteArray& body) {
    const QByteArray lower = body.toLower();
    const QByteArray name = "errorcode>";
    for (qsizetype at = lower.indexOf(name); at > 0; at = lower.indexOf(name, at + 1)) {
        qsizetype open = at - 1;
        if (lower.at(open) == ':') {
            // Back over the prefix, at most as long as any seen.
            const qsizetype stop = std::max<qsizetype>(open - 32, 0);
            while (open > stop && lower.at(open - 1) != '<' && lower.at(open - 1) != '/' &&
                   lower.at(open - 1) != ' ')
                --open;
            --open;
        }
        if (open < 0 || lower.at(open) != '<')
            continue;
        const qsizetype from = at + name.size();
        const qsizetype end = lower.indexOf('<', from);
        if (end < 0)
            return std::nullopt;
        return parseErrorCode(QString::fromLatin1(body.mid(from, end - from)));
    }
    return std::nullopt;
}

// What the XML of an answer holds besides its values, before the HTTP status is weighed.
struct SoapReading {
    bool sawResponse = false;
    std::optional<int> code;
};

// Reads the out-arguments and the error into answer. XML that does not parse yields no values
// and at most an error code found by search.
SoapReading readSoapBody(const QByteArray& body, const QString& responseName, SoapAnswer& answer) {
    QXmlStreamReader reader(body);
    int depth = 0;
    int bodyDepth = 0;     // depth of the open Body element, 0 when none
    int responseDepth = 0; // depth of the open <action>Response element
    SoapReading reading;
    bool wellFormed = true;
    while (!reader.atEnd()) {
        const QXmlStreamReader::TokenType token = reader.readNext();
        if (token == QXmlStreamReader::DTD) {
            wellFormed = false;
            break;
        }
        if (token == QXmlStreamReader::EndElement) {
            if (depth == responseDepth)
                responseDepth = 0;
            if (depth == bodyDepth)
                bodyDepth = 0;
            --depth;
            continue;
        }
        if (token != QXmlStreamReader::StartElement)
            continue;
        if (++depth > 32) {
            wellFormed = false;
            break;
        }
        const QStringView name = reader.name();
        if (same(name, u"Body") && bodyDepth == 0) {
            bodyDepth = depth;
        } else if (bodyDepth > 0 && responseDepth == 0 && !reading.sawResponse &&
                   same(name, responseName)) {
            responseDepth = depth;
            reading.sawResponse = true;
        } else if (responseDepth > 0 && depth == responseDepth + 1) {
            const QString key = name.toString();
            answer.values.append(
                {key, reader.readElementText(QXmlStreamReader::SkipChildElements)});
            --depth;
        } else if (same(name, u"errorCode")) {
            const QString text = reader.readElementText(QXmlStreamReader::SkipChildElements);
            --depth;
            if (!reading.code)
                reading.code = parseErrorCode(text);
        } else if (same(name, u"errorDescription")) {
            answer.errorDescription =
                reader.readElementText(QXmlStreamReader::SkipChildElements).trimmed().left(256);
            --depth;
        }
    }
    if (wellFormed && !reader.hasError())
        return reading;
    answer.values.clear();
    answer.errorDescription.clear();
    return {false, searchErrorCode(body)};
}

} // namespace

QByteArray XmlEscape(const QString& text) {
    QByteArray out;
    out.reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u < 0x20 && u != '\t' && u != '\n' && u != '\r')
            continue;
        if (c.isSurrogate() || u == 0xfffe || u == 0xffff)
            continue;
        switch (u) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            out += QString(c).toUtf8();
        }
    }
    return out;
}

QByteArray HostHeader(const QUrl& url) {
    QByteArray host = url.host(QUrl::FullyEncoded).toLatin1();
    if (host.contains(':')) {
        const qsizetype zone = host.indexOf('%');
        host = '[' + (zone < 0 ? host : host.left(zone)) + ']';
    }
    return host + ':' + QByteArray::number(url.port(80));
}

QByteArray BuildSoapRequest(const QUrl& controlUrl, const QString& serviceType,
                            const QString& action, const SoapArguments& arguments) {
    if (!isHeaderSafe(serviceType, false) || !isHeaderSafe(action, true) || !controlUrl.isValid() ||
        controlUrl.host().isEmpty())
        return {};
    const QByteArray type = serviceType.toLatin1();
    const QByteArray name = action.toLatin1();

    // No whitespace between elements: some routers refuse pretty-printed requests.
    QByteArray body = "<?xml version=\"1.0\"?>\r\n"
                      "<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\" "
                      "s:encodingStyle=\"http://schemas.xmlsoap.org/soap/encoding/\"><s:Body><u:";
    body += name + " xmlns:u=\"" + type + "\">";
    for (const auto& [argument, value] : arguments)
        body += '<' + argument + '>' + XmlEscape(value) + "</" + argument + '>';
    body += "</u:" + name + "></s:Body></s:Envelope>";

    QByteArray target = controlUrl.path(QUrl::FullyEncoded).toLatin1();
    if (target.isEmpty())
        target = "/";
    if (controlUrl.hasQuery())
        target += '?' + controlUrl.query(QUrl::FullyEncoded).toLatin1();
    // Host carries the port even when it is 80: a router refused requests without it.
    QByteArray request = "POST " + target + " HTTP/1.1\r\n";
    request += "Host: " + HostHeader(controlUrl) + "\r\n";
    request += "Content-Type: text/xml; charset=\"utf-8\"\r\n";
    request += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    request += "SOAPAction: \"" + type + '#' + name + "\"\r\n";
    request += "Connection: close\r\n";
    request += QByteArray("User-Agent: ") + UpnpUserAgent + "\r\n\r\n";
    return request + body;
}

QString SoapAnswer::value(QStringView name) const {
    for (const auto& [key, text] : values)
        if (same(key, name))
            return text;
    return {};
}

SoapAnswer ParseSoapAnswer(int httpStatus, const QByteArray& body, const QString& action) {
    SoapAnswer answer;
    answer.httpStatus = httpStatus;
    const SoapReading reading = readSoapBody(body, action + QStringLiteral("Response"), answer);
    if (httpStatus != 200 && httpStatus != 500) {
        answer.outcome = SoapOutcome::HttpError;
        answer.values.clear();
    } else if (reading.code) {
        answer.outcome = SoapOutcome::Fault;
        answer.errorCode = *reading.code;
        answer.values.clear();
    } else if (httpStatus == 500) {
        answer.outcome = SoapOutcome::UnknownFault;
        answer.values.clear();
    } else {
        answer.outcome = reading.sawResponse ? SoapOutcome::Ok : SoapOutcome::BadAnswer;
    }
    return answer;
}

bool ParseUpnpBoolean(const QString& text) {
    const QString t = text.trimmed();
    return t == QLatin1String("1") || same(t, u"true") || same(t, u"yes");
}

std::optional<PortMappingEntry> EntryFromAnswer(const SoapAnswer& answer) {
    const auto external = parseUnsigned(answer.value(u"NewExternalPort"), 65535);
    const auto internal = parseUnsigned(answer.value(u"NewInternalPort"), 65535);
    const QString protocol = answer.value(u"NewProtocol").trimmed().toUpper();
    if (!external || *external == 0 || !internal ||
        (protocol != QLatin1String("TCP") && protocol != QLatin1String("UDP")))
        return std::nullopt;
    PortMappingEntry entry;
    entry.remoteHost = answer.value(u"NewRemoteHost").trimmed();
    entry.externalPort = quint16(*external);
    entry.protocol = protocol;
    entry.internalPort = quint16(*internal);
    entry.internalClient = answer.value(u"NewInternalClient").trimmed();
    const QString enabled = answer.value(u"NewEnabled");
    entry.enabled = enabled.trimmed().isEmpty() || ParseUpnpBoolean(enabled);
    entry.description = answer.value(u"NewPortMappingDescription");
    entry.leaseDuration = parseUnsigned(answer.value(u"NewLeaseDuration"), 0xffffffffu).value_or(0);
    return entry;
}

std::optional<QList<PortMappingEntry>> ParsePortListing(const QByteArray& listing) {
    if (listing.size() > MaxListingBytes)
        return std::nullopt;
    QList<PortMappingEntry> entries;
    QXmlStreamReader reader(listing);
    int depth = 0;
    int entryDepth = 0;
    SoapAnswer fields; // the entry's children, read as an answer's out-arguments would be
    while (!reader.atEnd()) {
        const QXmlStreamReader::TokenType token = reader.readNext();
        if (token == QXmlStreamReader::DTD)
            return std::nullopt;
        if (token == QXmlStreamReader::EndElement) {
            if (depth == entryDepth) {
                entryDepth = 0;
                // The listing names these two differently from the per-entry actions.
                fields.values.append(
                    {QStringLiteral("NewPortMappingDescription"), fields.value(u"NewDescription")});
                fields.values.append(
                    {QStringLiteral("NewLeaseDuration"), fields.value(u"NewLeaseTime")});
                if (const auto entry = EntryFromAnswer(fields);
                    entry && entries.size() < MaxListedMappings)
                    entries.append(*entry);
            }
            --depth;
            continue;
        }
        if (token != QXmlStreamReader::StartElement)
            continue;
        if (++depth > 32)
            return std::nullopt;
        if (entryDepth == 0 && same(reader.name(), u"PortMappingEntry")) {
            entryDepth = depth;
            fields.values.clear();
        } else if (entryDepth > 0 && depth == entryDepth + 1) {
            const QString key = reader.name().toString();
            const QString text = reader.readElementText(QXmlStreamReader::SkipChildElements);
            if (fields.values.size() < 32)
                fields.values.append({key, text});
            --depth;
        }
    }
    if (reader.hasError())
        return std::nullopt;
    return entries;
}
