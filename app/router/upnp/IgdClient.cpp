// SPDX-License-Identifier: GPL-3.0-or-later
// The client itself: one SOAP exchange at a time with the router, and the two status reads.
#include "router/upnp/IgdClient.h"

QString AsciiDescription(const QString& text) {
    QString out;
    for (const QChar c : text)
        if (c.unicode() >= 0x20 && c.unicode() < 0x7f && out.size() < MaxDescriptionLength)
            out += c;
    return out;
}

bool StatusInfoResult::connected() const {
    const QString s = connectionStatus.trimmed();
    // Some routers say "Up".
    return s.compare(QLatin1String("Connected"), Qt::CaseInsensitive) == 0 ||
           s.compare(QLatin1String("Up"), Qt::CaseInsensitive) == 0;
}

IgdClient::IgdClient(Waiter& waiter, UpnpOptions options, QObject* parent)
    : QObject(parent), waiter_(waiter), options_(std::move(options)) {
    connect(&http_, &HttpExchange::finished, this, [this] { waiter_.wake(); });
}

IgdClient::~IgdClient() = default;

HttpResult IgdClient::exchange(const QUrl& url, const QByteArray& request,
                               const HttpLimits& limits) {
    HttpResult result;
    if (busy_) {
        result.outcome = HttpResult::Outcome::Refused;
        return result;
    }
    busy_ = true;
    if (http_.start(router_.gateway, url, request, limits)) {
        // The exchange's own timers end it; the margin only guards against a stuck loop.
        waiter_.waitFor([this] { return !http_.busy(); },
                        limits.total + std::chrono::milliseconds(500));
        if (http_.busy())
            http_.cancel();
    }
    result = http_.result();
    record(request, result);
    busy_ = false;
    return result;
}

void IgdClient::record(const QByteArray& request, const HttpResult& result) {
    exchanges_.append({request, result.status, result.body});
    while (exchanges_.size() > KeptExchanges)
        exchanges_.removeFirst();
}

SoapAnswer IgdClient::call(const QString& action, const SoapArguments& arguments,
                           qsizetype bodyLimit) {
    return call(router_.service, action, arguments, bodyLimit);
}

SoapAnswer IgdClient::call(const IgdService& service, const QString& action,
                           const SoapArguments& arguments, qsizetype bodyLimit) {
    if (busy_)
        return failedAnswer(SoapOutcome::Busy);
    const QByteArray request =
        BuildSoapRequest(service.controlUrl, service.serviceType, action, arguments);
    if (request.isEmpty())
        return failedAnswer(SoapOutcome::Refused);
    const HttpLimits limits{options_.timings.connect, options_.timings.soap, bodyLimit};
    for (int attempt = 0;; ++attempt) {
        const HttpResult r = exchange(service.controlUrl, request, limits);
        switch (r.outcome) {
        case HttpResult::Outcome::Done:
            break;
        case HttpResult::Outcome::Unreachable:
            return failedAnswer(SoapOutcome::Unreachable);
        case HttpResult::Outcome::TimedOut:
            return failedAnswer(SoapOutcome::TimedOut);
        case HttpResult::Outcome::TooLarge:
            return failedAnswer(SoapOutcome::TooLarge);
        case HttpResult::Outcome::Malformed:
            return failedAnswer(SoapOutcome::Malformed);
        case HttpResult::Outcome::Refused:
            return failedAnswer(busy_ ? SoapOutcome::Busy : SoapOutcome::Refused);
        }
        // A busy router gets one more try a moment later.
        if (r.status == 503 && attempt == 0) {
            waiter_.waitFor([] { return false; }, options_.timings.busyRetry);
            continue;
        }
        return ParseSoapAnswer(r.status, r.body, action);
    }
}

ExternalAddressResult IgdClient::getExternalIPAddress() {
    ExternalAddressResult result;
    result.answer = call(QStringLiteral("GetExternalIPAddress"), {});
    if (result.ok())
        result.address = DisplayText(result.answer.value(u"NewExternalIPAddress"));
    return result;
}

StatusInfoResult IgdClient::getStatusInfo() {
    StatusInfoResult result;
    result.answer = call(QStringLiteral("GetStatusInfo"), {});
    if (result.ok()) {
        result.connectionStatus = DisplayText(result.answer.value(u"NewConnectionStatus"));
        result.lastConnectionError = DisplayText(result.answer.value(u"NewLastConnectionError"));
        result.uptime = result.answer.value(u"NewUptime").trimmed().toUInt();
    }
    return result;
}

SoapAnswer IgdClient::failedAnswer(SoapOutcome outcome) {
    SoapAnswer answer;
    answer.outcome = outcome;
    return answer;
}
