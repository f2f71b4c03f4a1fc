// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A UPnP router's refusals in words a user can act on.

#include <QString>

// What was refused: the words say whether a forward was being opened, renewed or removed.
// OpenAlike: the words for every port refused alike, naming none; empty where they must.
enum class UpnpAction { Open, Renew, Remove, OpenAlike };

// What the user reads about a refusal of the router. Empty for codes that are handled
// without bothering the user (end of a list, "no such entry", ...). `otherClient` is the
// address a conflicting forward points at, when known.
QString DescribeUpnpError(int code, quint16 port, const QString& otherClient = {},
                          UpnpAction action = UpnpAction::Open);
