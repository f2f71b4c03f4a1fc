// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Which tray the desktop offers and which click on its icon brings the program forward.

#include <QSystemTrayIcon>

class QDBusConnection;

// How the desktop's notification area reports a click on the icon: the old XEmbed tray
// reports a double-click; a StatusNotifierItem host (KDE Plasma, GNOME's AppIndicator
// extension and most others) reports an activation and never a double-click.
enum class TrayKind { XEmbed, StatusNotifierItem };

// The kind the icon gets on this session bus: StatusNotifierItem when a watcher with a host is
// registered (the test by which Qt chooses it), else XEmbed.
TrayKind DetectTrayKind(const QDBusConnection& sessionBus);

// Whether an icon event brings the program forward: the double-click, or where the tray
// reports only activations, the activation that stands for it.
bool TrayBringsForward(TrayKind kind, QSystemTrayIcon::ActivationReason reason);
