// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/TrayIcon.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QDBusReply>
#include <QDBusVariant>

TrayKind DetectTrayKind(const QDBusConnection& sessionBus) {
    const QString watcher = QStringLiteral("org.kde.StatusNotifierWatcher");
    if (!sessionBus.isConnected() || !sessionBus.interface() ||
        !sessionBus.interface()->isServiceRegistered(watcher).value())
        return TrayKind::XEmbed;
    QDBusInterface props(watcher, QStringLiteral("/StatusNotifierWatcher"),
                         QStringLiteral("org.freedesktop.DBus.Properties"), sessionBus);
    props.setTimeout(5000); // a hung watcher must not hold start-up for the default 25 s
    const QDBusReply<QDBusVariant> host = props.call(
        QStringLiteral("Get"), watcher, QStringLiteral("IsStatusNotifierHostRegistered"));
    return host.isValid() && host.value().variant().toBool() ? TrayKind::StatusNotifierItem
                                                             : TrayKind::XEmbed;
}

bool TrayBringsForward(TrayKind kind, QSystemTrayIcon::ActivationReason reason) {
    return reason == QSystemTrayIcon::DoubleClick ||
           (kind == TrayKind::StatusNotifierItem && reason == QSystemTrayIcon::Trigger);
}
