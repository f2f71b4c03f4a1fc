// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/IniFile.h"

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdint>
#include <cstdlib>

namespace {

QList<QByteArray> linesOf(const QByteArray& bytes) {
    QList<QByteArray> lines = bytes.split('\n');
    for (QByteArray& line : lines)
        while (line.endsWith('\r'))
            line.chop(1);
    return lines;
}

// A write changes the file in one place: the lines before it and after it stay, and at most
// one old line (the replaced value) is gone.
bool noLineLost(const QByteArray& before, const QByteArray& after) {
    const QList<QByteArray> old = linesOf(before);
    const QList<QByteArray> now = linesOf(after);
    const qsizetype most = std::min(old.size(), now.size());
    qsizetype prefix = 0;
    while (prefix < most && old[prefix] == now[prefix])
        ++prefix;
    qsizetype suffix = 0;
    while (prefix + suffix < most && old[old.size() - 1 - suffix] == now[now.size() - 1 - suffix])
        ++suffix;
    return old.size() - prefix - suffix <= 1;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("Harborly.ini"));
    const QByteArray before(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    {
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
            std::abort();
        f.write(before);
    }

    IniFile ini(path);
    for (const char* key : {"Name", "PortRangeLow1", "PortRangeHigh1", "Protocol1"})
        if (ini.read(QStringLiteral("Application1"), QString::fromLatin1(key)).size() > 254)
            std::abort();
    (void)ini.read(QStringLiteral("Misc"), QStringLiteral("Selected"));

    if (!ini.write(QStringLiteral("Misc"), QStringLiteral("Selected"), QStringLiteral("A b,")))
        std::abort();
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        std::abort();
    const QByteArray after = f.readAll();
    if (!noLineLost(before, after) ||
        ini.read(QStringLiteral("misc"), QStringLiteral("SELECTED")) != QStringLiteral("A b,"))
        std::abort();
    return 0;
}
