// SPDX-License-Identifier: GPL-3.0-or-later
#include "FirmwareSwitches.h"

#include "UpnpSimulator.h"

#include <QFile>
#include <QRegularExpression>

namespace {

// The file's bytes, or an error message.
QString readFile(const QString& path, QByteArray& bytes) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("cannot read %1").arg(path);
    bytes = file.read(MaxSimDescriptionBytes + 1);
    if (bytes.size() > MaxSimDescriptionBytes)
        return QStringLiteral("%1 is larger than %2 bytes").arg(path).arg(MaxSimDescriptionBytes);
    return {};
}

bool isPrefix(const QString& name) {
    static const QRegularExpression xmlName(QStringLiteral("^[A-Za-z_][A-Za-z0-9_.-]{0,31}$"));
    return xmlName.match(name).hasMatch();
}

} // namespace

QString FirmwareSwitches::read(const QCommandLineParser& parser, UpnpSimOptions& u) const {
    if (parser.isSet(description)) {
        if (const QString why = readFile(parser.value(description), u.description); !why.isEmpty())
            return why;
        if (!ReadSimDescription(u.description))
            return QStringLiteral("%1 offers no WANIPConnection or WANPPPConnection service")
                .arg(parser.value(description));
    }
    if (parser.isSet(ssdpReply)) {
        if (const QString why = readFile(parser.value(ssdpReply), u.ssdpReply); !why.isEmpty())
            return why;
        if (u.ssdpReply.size() > 8 * 1024)
            return QStringLiteral("--ssdp-reply wants a datagram of at most 8 KiB");
    }
    for (const auto& [option, field] : {std::pair{&envelopePrefix, &u.style.envelopePrefix},
                                        std::pair{&responsePrefix, &u.style.responsePrefix}}) {
        if (!parser.isSet(*option))
            continue;
        if (!isPrefix(parser.value(*option)))
            return QStringLiteral("--%1 wants an XML name").arg(option->names().constFirst());
        *field = parser.value(*option).toLatin1();
    }
    if (parser.isSet(faultNames)) {
        const QString names = parser.value(faultNames);
        if (names == QLatin1String("camel"))
            u.style.faultNames = SimSoap::Style::FaultNames::Camel;
        else if (names == QLatin1String("lower"))
            u.style.faultNames = SimSoap::Style::FaultNames::Lower;
        else
            return QStringLiteral("--fault-names wants camel or lower");
    }
    u.style.http10 = parser.isSet(http10);
    return {};
}
