// SPDX-License-Identifier: GPL-3.0-or-later
#include "router/firewall/Ufw.h"

#include "platform/ShownText.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>

namespace {

constexpr qint64 kMaxConf = 64 * 1024;
// The user types a password meanwhile.
constexpr int kElevationMs = 120 * 1000;

} // namespace

std::optional<bool> UfwEnabled(const QByteArray& conf) {
    std::optional<bool> out;
    for (const QByteArray& raw : conf.split('\n')) {
        const QByteArray line = raw.trimmed();
        if (!line.startsWith("ENABLED="))
            continue;
        QByteArray value = line.mid(8).trimmed();
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
            value.back() == value.front())
            value = value.mid(1, value.size() - 2);
        value = value.toLower();
        if (value == "yes")
            out = true;
        else if (value == "no")
            out = false;
    }
    return out;
}

std::optional<bool> Ufw::enabled() const {
    QFile f(places_.ufwConf);
    if (!f.open(QIODevice::ReadOnly))
        return std::nullopt;
    return UfwEnabled(f.read(kMaxConf));
}

FirewallView Ufw::read(int port, const QString& protocol) {
    FirewallView v;
    v.firewall = name();
    const std::optional<bool> on = enabled();
    if (on == false) {
        v.state = HopState::Open; // switched off: nothing to say
        return v;
    }
    const QString what = QStringLiteral("%1/%2").arg(port).arg(protocol);
    v.todo = UfwAllowCommand(port, protocol);
    if (!on) {
        v.words = QCoreApplication::translate(
                      "Ufw", "cannot tell whether this computer's firewall (ufw) lets %1 in: its "
                             "settings cannot be read")
                      .arg(what);
        return v;
    }
    v.words =
        QCoreApplication::translate(
            "Ufw", "this computer's firewall (ufw) is on and may block %1 — let it in with: %2")
            .arg(what, v.todo);
    return v;
}

QString Ufw::place() {
    return enabled() == true ? name() : QString();
}

FirewallAnswer Ufw::elevated(const QStringList& rule, const QString& command) {
    if (!places_.mayElevate)
        return {FirewallAnswer::Result::Refused,
                QCoreApplication::translate(
                    "Ufw", "Harborly does not change ufw from the command line; run: %1")
                    .arg(command)};
    QProcess p;
    p.start(QStringLiteral("pkexec"), QStringList{QStringLiteral("ufw")} + rule);
    const bool ended = p.waitForFinished(kElevationMs);
    if (ended && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0)
        return {FirewallAnswer::Result::Done, {}};
    if (!ended)
        p.kill();
    // pkexec's own codes: 126 the user dismissed the password dialog, 127 not authorised.
    const int code = ended ? p.exitCode() : -1;
    const QString why =
        code == 126 || code == 127
            ? QCoreApplication::translate(
                  "Ufw", "ufw was not changed: the password was not given or not accepted")
        : p.error() == QProcess::FailedToStart
            ? QCoreApplication::translate("Ufw", "ufw was not changed: pkexec is not installed")
            : QCoreApplication::translate("Ufw", "ufw was not changed (%1)")
                  .arg(ShownText(QString::fromUtf8(p.readAllStandardError().left(200))).trimmed());
    return {FirewallAnswer::Result::Refused,
            why + QCoreApplication::translate("Ufw", "; to do it by hand: %1").arg(command)};
}

FirewallAnswer Ufw::open(const QString&, int port, const QString& protocol) {
    const QString rule = QStringLiteral("%1/%2").arg(port).arg(protocol.toLower());
    return elevated({QStringLiteral("allow"), rule}, UfwAllowCommand(port, protocol));
}

FirewallAnswer Ufw::close(const QString&, int port, const QString& protocol) {
    const QString rule = QStringLiteral("%1/%2").arg(port).arg(protocol.toLower());
    return elevated({QStringLiteral("delete"), QStringLiteral("allow"), rule},
                    QStringLiteral("sudo ufw delete allow ") + rule);
}

QString UfwAllowCommand(int port, const QString& protocol) {
    return QStringLiteral("sudo ufw allow %1/%2").arg(port).arg(protocol.toLower());
}
