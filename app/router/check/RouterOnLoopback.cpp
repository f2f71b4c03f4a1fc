// SPDX-License-Identifier: GPL-3.0-or-later
#include "router/check/RouterOnLoopback.h"

#include "router/net/RouterAddress.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QHostInfo>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <chrono>
#include <optional>

namespace {

QString hostOf(const QString& lanPrivateIp) {
    const QString text = lanPrivateIp.trimmed();
    if (text.contains(QLatin1String("://")))
        return QUrl(text).host();
    return ParseRouterAddress(text).host;
}

} // namespace

QList<QHostAddress> ResolveHost(const QString& host) {
    if (const QHostAddress literal(host); !literal.isNull())
        return {literal};
    QObject context; // an answer after the wait has nobody left to tell
    std::optional<QHostInfo> answer;
    const int id = QHostInfo::lookupHost(host, &context, [&](const QHostInfo& i) { answer = i; });
    const QDeadlineTimer deadline(std::chrono::seconds(3));
    QEventLoop loop;
    QTimer wake;
    QObject::connect(&wake, &QTimer::timeout, &loop, &QEventLoop::quit);
    wake.start(10);
    while (!answer && !deadline.hasExpired())
        loop.exec();
    if (!answer) {
        QHostInfo::abortHostLookup(id);
        return {};
    }
    return answer->addresses();
}

bool NamesLoopback(const QString& lanPrivateIp, const HostResolver& resolve) {
    const QString host = hostOf(lanPrivateIp);
    if (host.isEmpty())
        return false;
    const QList<QHostAddress> addresses = resolve(host);
    return std::any_of(addresses.begin(), addresses.end(),
                       [](const QHostAddress& a) { return a.isLoopback(); });
}
