// SPDX-License-Identifier: GPL-3.0-or-later
#include "router/AutoKindChoice.h"

std::optional<QString> AutoKindChoice::decide(const Heard& heard, ms now) {
    if (heard.upnpDone && heard.upnpFound)
        return QStringLiteral("upnp");
    if (heard.otherFound.isEmpty())
        return heard.upnpDone && heard.otherDone ? std::optional<QString>(QString()) : std::nullopt;
    if (!otherFoundAt_)
        otherFoundAt_ = now;
    if (heard.upnpDone)
        return heard.otherFound;
    if (!heard.upnpHeard && heard.otherFound == remembered_)
        return heard.otherFound;
    if (now - *otherFoundAt_ >= UpnpGrace ||
        (!heard.upnpHeard && now - start_ >= UpnpDiscoveryTime))
        return heard.otherFound;
    return std::nullopt;
}
