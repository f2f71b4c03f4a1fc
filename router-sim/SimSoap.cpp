// SPDX-License-Identifier: GPL-3.0-or-later
// The simulated IGD's SOAP, read and written here apart from the client's in app/router/upnp on
// purpose: the simulator checks the client independently.
#include "SimSoap.h"

#include <QXmlStreamReader>

namespace {

constexpr char SoapEnvelopeNs[] = "http://schemas.xmlsoap.org/soap/envelope/";
constexpr char EnvelopeOpen[] =
    "<s:Envelope xmlns:s=\"http://schemas.xmlsoap.org/soap/envelope/\" "
    "s:encodingStyle=\"http://schemas.xmlsoap.org/soap/encoding/\"><s:Body>";
constexpr char EnvelopeClose[] = "</s:Body></s:Envelope>";
constexpr int MaxXmlDepth = 32;

QByteArray errorName(int code) {
    switch (code) {
    case 401:
        return "Invalid Action";
    case 402:
        return "Invalid Args";
    case 501:
        return "Action Failed";
    case 606:
        return "Action not authorized";
    case 701:
        return "PinholeSpaceExhausted";
    case 702:
        return "FirewallDisabled";
    case 703:
        return "InboundPinholeNotAllowed";
    case 704:
        return "NoSuchEntry";
    case 705:
        return "ProtocolNotSupported";
    case 706:
        return "InternalPortWildcardingNotAllowed";
    case 707:
        return "ProtocolWildcardingNotAllowed";
    case 708:
        return "WildCardNotPermittedInSrcIP";
    case 709:
        return "NoTrafficReceived";
    case 713:
        return "SpecifiedArrayIndexInvalid";
    case 714:
        return "NoSuchEntryInArray";
    case 716:
        return "WildCardNotPermittedInExtPort";
    case 718:
        return "ConflictInMappingEntry";
    case 725:
        return "OnlyPermanentLeasesSupported";
    case 726:
        return "RemoteHostOnlySupportsWildcard";
    case 728:
        return "NoPortMapsAvailable";
    case 730:
        return "PortMappingNotFound";
    case 732:
        return "WildCardNotPermittedInIntPort";
    case 733:
        return "InconsistentParameters";
    default:
        return "Error";
    }
}

} // namespace

namespace SimSoap {

bool Call::expect(std::initializer_list<const char*> names) const {
    if (args.size() != static_cast<qsizetype>(names.size()))
        return false;
    qsizetype i = 0;
    for (const char* n : names) {
        if (args[i++].first != n)
            return false;
    }
    return true;
}

QString Call::text(const char* name) const {
    for (const auto& [n, v] : args) {
        if (n == name)
            return v;
    }
    return {};
}

qint64 Call::number(const char* name, qint64 max) {
    bool ok = false;
    const QString t = text(name);
    const qint64 v = t.toLongLong(&ok);
    if (!ok || v < 0 || v > max || t.startsWith(QLatin1Char('+'))) {
        bad = 402;
        return 0;
    }
    return v;
}

bool Call::boolean(const char* name) {
    const QString t = text(name).toLower();
    if (t == QLatin1String("1") || t == QLatin1String("true") || t == QLatin1String("yes"))
        return true;
    if (!(t == QLatin1String("0") || t == QLatin1String("false") || t == QLatin1String("no")))
        bad = 402;
    return false;
}

QString Call::protocol(const char* name) {
    const QString t = text(name);
    if (t != QLatin1String("TCP") && t != QLatin1String("UDP"))
        bad = 402;
    return t;
}

int read(const QByteArray& soapAction, const QByteArray& body, const QString& serviceType,
         Call& call) {
    // The action is named twice: in the quoted SOAPAction and in the body. Both must agree.
    const QByteArray prefix = "\"" + serviceType.toLatin1() + "#";
    if (!soapAction.startsWith(prefix) || !soapAction.endsWith('"') ||
        soapAction.size() <= prefix.size() + 1)
        return 401;
    call.action = soapAction.mid(prefix.size(), soapAction.size() - prefix.size() - 1);

    QXmlStreamReader xml(body);
    int depth = 0;
    bool inEnvelope = false;
    bool inBody = false;
    bool inAction = false;
    bool sawAction = false;
    while (!xml.atEnd()) {
        const QXmlStreamReader::TokenType token = xml.readNext();
        if (token == QXmlStreamReader::DTD || token == QXmlStreamReader::EntityReference)
            return Malformed;
        if (token == QXmlStreamReader::EndElement) {
            --depth;
            if (inAction && depth == 2)
                inAction = false;
            continue;
        }
        if (token != QXmlStreamReader::StartElement)
            continue;
        if (++depth > MaxXmlDepth)
            return Malformed;
        const auto name = xml.name();
        const auto ns = xml.namespaceUri();
        if (depth == 1) {
            inEnvelope = name == QLatin1String("Envelope") && ns == QLatin1String(SoapEnvelopeNs);
            if (!inEnvelope)
                return Malformed;
        } else if (depth == 2) {
            inBody = name == QLatin1String("Body") && ns == QLatin1String(SoapEnvelopeNs);
        } else if (depth == 3 && inBody) {
            if (sawAction || name != QString::fromLatin1(call.action) || ns != serviceType)
                return 401;
            sawAction = inAction = true;
        } else if (depth == 4 && inAction) {
            const QByteArray argName = name.toLatin1();
            const QString value = xml.readElementText(QXmlStreamReader::ErrorOnUnexpectedElement);
            --depth;
            if (xml.hasError())
                return 402;
            call.args.append({argName, value});
        }
    }
    if (xml.hasError() || !sawAction)
        return Malformed;
    return 0;
}

QByteArray xmlEscape(const QString& text) {
    return text.toHtmlEscaped().toUtf8();
}

QByteArray argument(const char* name, const QByteArray& value) {
    return "<" + QByteArray(name) + ">" + value + "</" + QByteArray(name) + ">";
}

QByteArray argument(const char* name, qint64 value) {
    return argument(name, QByteArray::number(value));
}

QByteArray fault(int code) {
    return QByteArray(EnvelopeOpen) +
           "<s:Fault><faultcode>s:Client</faultcode><faultstring>UPnPError</"
           "faultstring><detail><UPnPError "
           "xmlns=\"urn:schemas-upnp-org:control-1-0\"><errorCode>" +
           QByteArray::number(code) + "</errorCode><errorDescription>" + errorName(code) +
           "</errorDescription></UPnPError></detail></s:Fault>" + EnvelopeClose;
}

QByteArray success(const QByteArray& action, const QByteArray& serviceType, const QByteArray& out) {
    const QByteArray open = "<u:" + action + "Response xmlns:u=\"" + serviceType + "\"";
    return "<?xml version=\"1.0\"?>\r\n" + QByteArray(EnvelopeOpen) +
           (out.isEmpty() ? open + "/>" : open + ">" + out + "</u:" + action + "Response>") +
           EnvelopeClose;
}

QByteArray restyled(const QByteArray& answer, const Style& style) {
    if (style.plain())
        return answer;
    const qsizetype headEnd = answer.indexOf("\r\n\r\n");
    if (headEnd < 0)
        return answer;
    QByteArray body = answer.mid(headEnd + 4);
    const auto prefix = [&body](const QByteArray& from, const QByteArray& to) {
        if (from == to)
            return;
        for (const char* at : {"<", "</", "xmlns:", " "})
            body.replace(at + from + ':', at + to + ':');
        body.replace("xmlns:" + from + '=', "xmlns:" + to + '=');
        body.replace('>' + from + ":Client<", '>' + to + ":Client<");
    };
    prefix("s", style.envelopePrefix);
    prefix("u", style.responsePrefix);
    const auto rename = [&body](const char* from, const char* to) {
        for (const char* open : {"<", "</"})
            for (const char* end : {">", " "})
                body.replace(open + QByteArray(from) + end, open + QByteArray(to) + end);
    };
    if (style.faultNames == Style::FaultNames::Camel) {
        rename("faultcode", "faultCode");
        rename("faultstring", "faultString");
    } else if (style.faultNames == Style::FaultNames::Lower) {
        rename("UPnPError", "upnperror");
        rename("errorCode", "errorcode");
        rename("errorDescription", "errordescription");
    }
    QByteArray head;
    const QList<QByteArray> lines = answer.left(headEnd).split('\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        QByteArray line = lines.at(i).trimmed();
        if (line.toLower().startsWith("content-length:")) {
            if (style.http10)
                continue;
            line = "Content-Length: " + QByteArray::number(body.size());
        } else if (i == 0 && style.http10) {
            line.replace("HTTP/1.1 ", "HTTP/1.0 ");
        }
        head += line + "\r\n";
    }
    return head + "\r\n" + body;
}

} // namespace SimSoap
