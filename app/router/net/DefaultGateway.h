// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QHostAddress>
#include <QString>

// The IPv4 default gateway in a Linux routing table (/proc/net/route format): of the default
// routes that are up and go through a gateway, the one with the lowest metric. Null when
// there is none or the file cannot be read.
QHostAddress ReadDefaultGateway(const QString& routeFile = QStringLiteral("/proc/net/route"));
