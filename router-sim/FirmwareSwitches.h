// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The UPnP kind's switches that make it answer as a real router's firmware: its description,
// its discovery answer and the way it writes SOAP answers.

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QList>
#include <QString>

struct UpnpSimOptions;

struct FirmwareSwitches {
    QCommandLineOption description{
        QStringLiteral("description"),
        QStringLiteral("upnp: serve this root description (XML, or an HTTP answer carrying it) "
                       "as it is; its connection services' control URLs are answered, on the "
                       "ports they name too."),
        QStringLiteral("file")};
    QCommandLineOption ssdpReply{
        QStringLiteral("ssdp-reply"),
        QStringLiteral("upnp: answer discovery with this captured answer, LOCATION and ST "
                       "filled in; the description is served at its LOCATION's path."),
        QStringLiteral("file")};
    QCommandLineOption envelopePrefix{
        QStringLiteral("envelope-prefix"),
        QStringLiteral("upnp: the SOAP envelope's prefix in answers (default s)."),
        QStringLiteral("name")};
    QCommandLineOption responsePrefix{
        QStringLiteral("response-prefix"),
        QStringLiteral("upnp: the prefix of an action's answer element (default u)."),
        QStringLiteral("name")};
    QCommandLineOption faultNames{
        QStringLiteral("fault-names"),
        QStringLiteral("upnp: write faults' element names as camel (faultCode, faultString) or "
                       "lower (upnperror, errorcode)."),
        QStringLiteral("camel|lower")};
    QCommandLineOption http10{
        QStringLiteral("http10"),
        QStringLiteral("upnp: answer in HTTP/1.0 without Content-Length, ended by closing.")};

    QList<QCommandLineOption> all() const {
        return {description, ssdpReply, envelopePrefix, responsePrefix, faultNames, http10};
    }

    // Reads the files and switches into `u`; an error message when one cannot be used.
    QString read(const QCommandLineParser& parser, UpnpSimOptions& u) const;
};
