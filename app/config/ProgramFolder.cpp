// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/ProgramFolder.h"

#include "platform/AtomicFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

QString withSlash(QString folder) {
    if (!folder.endsWith(u'/'))
        folder += u'/';
    return folder;
}

// A folder we make holds the router password: owner-only.
ProgramFolder ensureFolder(const QString& folder) {
    const QString absolute = QDir(folder).absolutePath();
    ProgramFolder result{withSlash(absolute), false};
    if (QFileInfo(absolute).isDir())
        return result;
    const QFileInfo info(absolute);
    QDir().mkpath(info.absolutePath());
    result.created = QDir().mkdir(absolute, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    return result;
}

} // namespace

QString HomeOption(const QStringList& arguments) {
    static const QString option = QStringLiteral("--home");
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& a = arguments.at(i);
        if (a == option)
            return i + 1 < arguments.size() ? arguments.at(i + 1) : QString();
        if (a.startsWith(option + u'='))
            return a.mid(option.size() + 1);
    }
    return QString();
}

QString XdgConfigHome() {
    QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (base.isEmpty() || QDir::isRelativePath(base))
        base = QDir::homePath() + QStringLiteral("/.config");
    return withSlash(base);
}

QString UserConfigFolder() {
    return XdgConfigHome() + QStringLiteral("Harborly/");
}

ProgramFolder ResolveProgramFolder(const QStringList& arguments, const QString& executableFolder) {
    const QString home = HomeOption(arguments);
    if (!home.isEmpty())
        return ensureFolder(home);
    const QFileInfo exe(executableFolder);
    // An installation's bin folder (the catalog in ../share/harborly) holds programs, not a
    // user's settings, even where root may write into it.
    const bool installed =
        QFileInfo(exe.absoluteFilePath() + QStringLiteral("/../share/harborly/Harborly.ini"))
            .isFile();
    if (!executableFolder.isEmpty() && exe.isDir() && exe.isWritable() && !installed)
        return ProgramFolder{withSlash(exe.absoluteFilePath()), false};
    return ensureFolder(UserConfigFolder());
}

QString DefaultCatalogPath(const QString& executableFolder) {
    const QDir exe(executableFolder);
    for (const QString& candidate :
         {exe.filePath(QStringLiteral("Harborly.ini")),
          exe.filePath(QStringLiteral("../share/harborly/Harborly.ini"))}) {
        if (QFileInfo(candidate).isFile())
            return QFileInfo(candidate).absoluteFilePath();
    }
    return {};
}

namespace {

bool copyIfMissing(const QString& source, const QString& target) {
    if (QFileInfo::exists(target))
        return true;
    QFile in(source);
    return !source.isEmpty() && in.open(QIODevice::ReadOnly) &&
           ReplaceFileContents(target, in.readAll());
}

} // namespace

bool ProvideShippedFiles(const QString& folder, const QString& executableFolder) {
    const QString catalog = DefaultCatalogPath(executableFolder);
    const QDir target(folder);
    copyIfMissing(catalog.isEmpty()
                      ? QString()
                      : QFileInfo(catalog).absolutePath() + QStringLiteral("/Harborly.hlp"),
                  target.filePath(QStringLiteral("Harborly.hlp")));
    return copyIfMissing(catalog, target.filePath(QStringLiteral("Harborly.ini")));
}

int RemoveStaleTemporaries(const QString& folder, const QDateTime& now) {
    // A write takes milliseconds; one this old was killed.
    const QDateTime olderThan = now.addSecs(-10 * 60);
    const QDir dir(folder);
    int removed = 0;
    for (const char* name : {"Harborly.ini", "Harborly.htm", "Harborly.hlp"})
        removed += RemoveStaleReplacements(dir.filePath(QString::fromLatin1(name)), olderThan);
    return removed;
}
