// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/Configuration.h"

#include "config/IniFile.h"

#include <QCoreApplication>

#include <Base64.h>

#include <optional>

namespace {

const QString kMisc = QStringLiteral("Misc");

std::optional<QString> decodeSetting(Base64* codec, const QString& stored) {
    if (codec == nullptr)
        return std::nullopt;
    try {
        return QString::fromStdU16String(codec->Decode(stored.toStdU16String()));
    } catch (const Base64Error&) {
        return std::nullopt;
    }
}

std::optional<qint16> parseProtocol(const QString& text) {
    const QString p = text.toLower();
    if (p == QLatin1String("both"))
        return ProtocolBoth;
    if (p == QLatin1String("tcp"))
        return ProtocolTcp;
    if (p == QLatin1String("udp"))
        return ProtocolUdp;
    return std::nullopt;
}

ApplEntry loadEntry(const IniFile& ini, const QString& section, const QString& name) {
    ApplEntry entry;
    entry.Name = name;
    for (int j = 1; j <= ApplCatalog::MaxRanges; ++j) {
        const QString n = QString::number(j);
        const QString low = ini.read(section, QStringLiteral("PortRangeLow") + n);
        if (low.isEmpty())
            continue;
        const QString high = ini.read(section, QStringLiteral("PortRangeHigh") + n);
        if (high.isEmpty())
            continue;
        const std::optional<qint16> protocol =
            parseProtocol(ini.read(section, QStringLiteral("Protocol") + n));
        if (!protocol)
            continue;
        entry.Ranges.append(ApplPortRange{*protocol, QString(), low, high});
    }
    return entry;
}

} // namespace

QString ApplCatalog::leftOutText() const {
    if (leftOut == 0)
        return {};
    return QCoreApplication::translate("Configuration",
                                       "Harborly.ini names %1 applications; the list holds %2, so "
                                       "[Application%3] and after are left out.")
        .arg(MaxApplications + leftOut)
        .arg(MaxApplications)
        .arg(MaxApplications + 1);
}

void LoadConfiguration(const QString& appPath, LocalPaths& paths, ApplCatalog& catalog,
                       RouterSettings& settings, Base64* codec) {
    paths = LocalPaths::inFolder(appPath);
    const IniFile ini(paths.IniPath);

    catalog.entries.clear();
    for (int i = 1; i <= ApplCatalog::MaxApplications; ++i) {
        const QString section = QStringLiteral("Application") + QString::number(i);
        const QString name = ini.read(section, QStringLiteral("Name"));
        if (name.isEmpty())
            break;
        catalog.entries.append(loadEntry(ini, section, name));
    }
    // Past the list's room: counted, so that the user hears of them, never read.
    catalog.leftOut = 0;
    if (catalog.ApplCount() == ApplCatalog::MaxApplications)
        while (catalog.leftOut < 1000 &&
               !ini.read(QStringLiteral("Application") +
                             QString::number(ApplCatalog::MaxApplications + catalog.leftOut + 1),
                         QStringLiteral("Name"))
                    .isEmpty())
            ++catalog.leftOut;

    const QString lan = ini.read(kMisc, QStringLiteral("LanPrivateIP"));
    if (!lan.isEmpty())
        settings.LanPrivateIP = lan;

    const QString kind = ini.read(kMisc, QStringLiteral("RouterKind")).toLower();
    settings.RouterKind = kind.isEmpty() ? QStringLiteral("web") : kind;
    // The protocol kinds find the default gateway by themselves where no address is given;
    // the web kind keeps its default address.
    if (lan.isEmpty() && settings.RouterKind != QLatin1String("web"))
        settings.LanPrivateIP.clear();

    settings.Ipv6Address = ini.read(kMisc, QStringLiteral("Ipv6Address")).trimmed();
    settings.OuterRouter = ini.read(kMisc, QStringLiteral("OuterRouter")).trimmed();

    const QString requireLogin = ini.read(kMisc, QStringLiteral("RequireLogin"));
    settings.RequireLogin = true;
    if (!requireLogin.isEmpty()) {
        if (const auto decoded = decodeSetting(codec, requireLogin)) {
            const QString v = decoded->toLower();
            settings.RequireLogin = !(v == QLatin1String("0") || v == QLatin1String("no"));
        }
    }

    const QString password = ini.read(kMisc, QStringLiteral("Password"));
    settings.PasswordStored = false;
    if (!password.isEmpty()) {
        if (const auto decoded = decodeSetting(codec, password)) {
            settings.Password = *decoded;
            settings.PasswordStored = true;
        }
    }
}

QString EncodeSetting(Base64& codec, const QString& text) {
    try {
        QString encoded = QString::fromStdU16String(codec.Encode(text.toStdU16String()));
        encoded.remove(QStringLiteral("\r\n"));
        return encoded;
    } catch (const Base64Error&) {
        return QString();
    }
}

QString ReadSelected(const LocalPaths& paths) {
    // A Select All of the whole catalogue outgrows the buffer the other keys are read with.
    return IniFile(paths.IniPath).readWhole(kMisc, QStringLiteral("Selected"));
}

bool WriteSelected(const LocalPaths& paths, const QString& sSelected) {
    return IniFile(paths.IniPath).write(kMisc, QStringLiteral("Selected"), sSelected);
}
