// SPDX-License-Identifier: GPL-3.0-or-later
#include "router/upnp/UpnpErrors.h"

#include "router/upnp/Soap.h"

#include <QCoreApplication>

QString DescribeUpnpError(int code, quint16 port, const QString& otherClient, UpnpAction action) {
    const QString n = QString::number(port);
    const QString verb = action == UpnpAction::Remove
                             ? QCoreApplication::translate("Router", "remove the forward of")
                         : action == UpnpAction::Renew
                             ? QCoreApplication::translate("Router", "keep open")
                             : QCoreApplication::translate("Router", "open");

    const bool alike = action == UpnpAction::OpenAlike;
    if (alike && (code == UpnpError::Conflict || code == UpnpError::ConflictWithOtherMechanisms))
        return {};
    switch (code) {
    case UpnpError::InvalidArgs:
        return QCoreApplication::translate("Router",
                                           "The router did not accept the request's settings.");
    case UpnpError::ActionFailed:
        if (action == UpnpAction::Remove)
            return QCoreApplication::translate(
                       "Router", "The router could not remove the forward of port %1.")
                .arg(n);
        return QCoreApplication::translate(
            "Router", "The router could not open the port. It may not have its own public internet "
                      "address.");
    case UpnpError::NotAuthorized:
        return QCoreApplication::translate(
                   "Router", "The router does not allow this computer to %1 %2. %3The "
                             "router's settings may need to allow port sharing for this device.")
            .arg(verb,
                 alike ? QCoreApplication::translate("Router", "these ports")
                       : QCoreApplication::translate("Router", "port %1").arg(n),
                 port < 1024
                     ? QCoreApplication::translate("Router", "Ports below 1024 are often refused. ")
                     : QString());
    case UpnpError::WildCardInSrcIp:
        return QCoreApplication::translate(
            "Router", "This router only forwards ports for one specific remote address, "
                      "which Harborly does not support.");
    case UpnpError::WildCardInExtPort:
        return QCoreApplication::translate(
            "Router", "This router does not allow forwarding all ports (DMZ) through UPnP.");
    case UpnpError::Conflict:
        if (otherClient.isEmpty())
            return QCoreApplication::translate("Router",
                                               "Port %1 is already forwarded to another device.")
                .arg(n);
        return QCoreApplication::translate("Router",
                                           "Port %1 is already forwarded to another device (%2).")
            .arg(n, otherClient);
    case UpnpError::SamePortValuesRequired:
        return QCoreApplication::translate(
            "Router", "This router requires the outside and inside port numbers to be the same.");
    case UpnpError::OnlyPermanentLeases:
        return QCoreApplication::translate(
            "Router", "This router only keeps port forwards permanently; Harborly will "
                      "remove this one when you turn it off.");
    case UpnpError::ExternalPortOnlyWildcard:
        return QCoreApplication::translate(
            "Router",
            "This router can only forward all ports at once, which Harborly does not do.");
    case UpnpError::NoPortMapsAvailable:
        return QCoreApplication::translate("Router",
                                           "The router's table of port forwards is full.");
    case UpnpError::ConflictWithOtherMechanisms:
        return QCoreApplication::translate(
                   "Router",
                   "Port %1 is already used by a forwarding rule set up in the router itself.")
            .arg(n);
    default:
        return {};
    }
}
