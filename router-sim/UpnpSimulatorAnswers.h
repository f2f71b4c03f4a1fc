// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// What the UPnP simulator's answers share: the SERVER it names and the HTTP answers it sends,
// every one closing the connection.

#include <QByteArray>

namespace UpnpSimAnswer {

inline constexpr char ServerString[] = "Linux/6.1 UPnP/1.1 HarborlySim/1.0";

QByteArray httpAnswer(const QByteArray& status, const QByteArray& contentType,
                      const QByteArray& body);
QByteArray httpError(const QByteArray& status);
QByteArray fault(int code);
QByteArray success(const QByteArray& action, const QByteArray& serviceType, const QByteArray& out);

} // namespace UpnpSimAnswer
