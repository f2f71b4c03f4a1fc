// SPDX-License-Identifier: GPL-3.0-or-later
// The simulated Internet's view of the router: the outside checker's answer, and the forwards
// the router lists while carrying nothing for them.
#include "UpnpSimulator.h"

#include "UpnpSimulatorAnswers.h"

#include <QTcpSocket>
#include <QUrlQuery>

using UpnpSimAnswer::httpAnswer;
using UpnpSimAnswer::httpError;

namespace {

QString keyOf(const QString& protocol, quint16 externalPort) {
    return protocol + QLatin1Char(' ') + QString::number(externalPort);
}

} // namespace

void UpnpSimulator::forwardMade(const QString& protocol, quint16 externalPort) {
    const QString key = keyOf(protocol, externalPort);
    if (options_.deadForwards == DeadForwards::Always ||
        (options_.deadForwards == DeadForwards::UntilRemade && !deleted_.contains(key)))
        dead_.insert(key);
}

void UpnpSimulator::forwardDeleted(const QString& protocol, quint16 externalPort) {
    const QString key = keyOf(protocol, externalPort);
    dead_.remove(key);
    deleted_.insert(key);
}

QByteArray UpnpSimulator::outsideCheck(const QByteArray& target) {
    const QUrlQuery query(QString::fromLatin1(target.mid(target.indexOf('?') + 1)));
    bool ok = false;
    const uint port = query.queryItemValue(QStringLiteral("port")).toUInt(&ok);
    const QString protocol = query.queryItemValue(QStringLiteral("protocol")).toUpper();
    if (!ok || port == 0 || port > 65535 ||
        (protocol != QLatin1String("TCP") && protocol != QLatin1String("UDP")))
        return httpError("400 Bad Request");
    const auto answer = [](const QByteArray& word) {
        return httpAnswer("200 OK", "text/plain", word + '\n');
    };
    if (protocol == QLatin1String("UDP"))
        return answer("UDP is not checked here");
    table_.expire(now());
    const qsizetype i = table_.find(protocol, quint16(port));
    if (i < 0 || !table_.at(i).enabled || dead_.contains(keyOf(protocol, quint16(port))))
        return answer("closed");
    // The forward carries: a program must take the connection at its end. The router's
    // clients are on loopback, so this waits for the kernel alone.
    const UpnpMapping& m = table_.at(i);
    const QHostAddress client(m.internalClient);
    if (!client.isLoopback())
        return answer("closed");
    QTcpSocket probe;
    probe.connectToHost(client, m.internalPort);
    const bool taken = probe.waitForConnected(1000);
    probe.abort();
    return answer(taken ? "open" : "closed");
}
