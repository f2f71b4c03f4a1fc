// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QString>

// Protocol of a port range, as the catalog names it ("both", "tcp", "udp").
enum Protocol : qint16 { ProtocolBoth = 0, ProtocolTcp = 1, ProtocolUdp = 2 };

struct ApplPortRange {
    qint16 Protocol = ProtocolBoth;
    QString Slot; // router slot letter "A".."J" given by the latest assignment, or empty
    QString PortRangeLow;
    QString PortRangeHigh;
};

struct ApplEntry {
    // The display name as loaded; once the main window has listed it, the application key
    // (the name with every space removed).
    QString Name;
    QList<ApplPortRange> Ranges; // accepted ranges, packed in increasing key number

    int RangeCount() const { return static_cast<int>(Ranges.size()); }
};

// The application catalog, numbered from 1 as the configuration file numbers it.
struct ApplCatalog {
    static constexpr int MaxApplications = 20;
    static constexpr int MaxRanges = 10;

    QList<ApplEntry> entries;
    int leftOut = 0; // named past MaxApplications: not listed

    // Where applications were left out, a sentence saying so; empty otherwise.
    QString leftOutText() const;

    int ApplCount() const { return static_cast<int>(entries.size()); }
    bool contains(int i) const { return i >= 1 && i <= ApplCount(); }
    ApplEntry& entry(int i) { return entries[i - 1]; }
    const ApplEntry& entry(int i) const { return entries[i - 1]; }
};

struct RouterSettings {
    QString LanPrivateIP = QStringLiteral("192.168.1.1"); // "host" or "host:port"
    QString Password;                                     // in clear, in memory only
    bool PasswordStored = false;
    bool RequireLogin = true;
    // `[Misc] RouterKind` in lower case: "web" (also when the key is missing), "upnp", ...
    QString RouterKind = QStringLiteral("web");
    // `[Misc] Ipv6Address`: the address pinholes open for, where this computer has several, or
    // an interface's name (its address, followed when it changes); empty: its stable global
    // address, chosen by itself.
    QString Ipv6Address;
    // `[Misc] OuterRouter`: the router in front of this one (double NAT), as an address,
    // "address:port" or its description's URL; "none": never look; empty: found on the path.
    QString OuterRouter;
};

// The program's local files, all in one folder.
struct LocalPaths {
    QString AppPath; // ends in "/"
    QString IniPath;
    QString LogPath;
    QString HtmPath;
    QString HlpPath;

    static LocalPaths inFolder(QString folder) {
        if (folder.isEmpty())
            folder = QStringLiteral("."); // not the root folder
        if (!folder.endsWith(QLatin1Char('/')))
            folder += QLatin1Char('/');
        return {folder, folder + QStringLiteral("Harborly.ini"),
                folder + QStringLiteral("Harborly.log"), folder + QStringLiteral("Harborly.htm"),
                folder + QStringLiteral("Harborly.hlp")};
    }
};
