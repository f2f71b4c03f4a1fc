// SPDX-License-Identifier: GPL-3.0-or-later
#include "router/RouterMemory.h"

#include "platform/AtomicFile.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

constexpr qint64 kMaxBytes = 64 * 1024;
constexpr qint64 kStaleSeconds = 10 * 60; // a write takes milliseconds
const QString kTarget = QStringLiteral("target");

// Every line of the file as "kind.key" -> value.
QMap<QString, QString> readAll(const QString& path) {
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly) || file.size() > kMaxBytes)
        return {};
    QMap<QString, QString> all;
    for (const QByteArray& line : file.readAll().split('\n')) {
        const qsizetype eq = line.indexOf('=');
        if (eq > 0)
            all.insert(QString::fromUtf8(line.left(eq)), QString::fromUtf8(line.mid(eq + 1)));
    }
    return all;
}

bool writeAll(const QString& path, const QMap<QString, QString>& all) {
    // Nothing keeps two writers of this file apart, so only a temporary too old to belong to a
    // write under way is one a killed write left.
    RemoveStaleReplacements(path, QDateTime::currentDateTimeUtc().addSecs(-kStaleSeconds));
    if (all.isEmpty())
        return QFile::remove(path) || !QFile::exists(path);
    QByteArray text;
    for (auto i = all.cbegin(); i != all.cend(); ++i) {
        // One line per value: a line break in what a router sent cannot make another key.
        QString value = i.value();
        value.remove(QLatin1Char('\n')).remove(QLatin1Char('\r'));
        text += i.key().toUtf8() + '=' + value.toUtf8() + '\n';
    }
    return ReplaceFileContents(path, text);
}

void dropKind(QMap<QString, QString>& all, const QString& prefix) {
    for (auto i = all.begin(); i != all.end();)
        i = i.key().startsWith(prefix) ? all.erase(i) : std::next(i);
}

} // namespace

QString RouterMemory::pathFor(const QString& iniPath) {
    if (iniPath.isEmpty())
        return {};
    const QFileInfo ini(iniPath);
    return ini.dir().filePath(ini.completeBaseName() + QStringLiteral(".router"));
}

RouterMemory::Values RouterMemory::load(const QString& kind, const QString& target) const {
    const QString prefix = kind + QLatin1Char('.');
    Values values;
    const QMap<QString, QString> all = readAll(path_);
    for (auto i = all.cbegin(); i != all.cend(); ++i)
        if (i.key().startsWith(prefix))
            values.insert(i.key().mid(prefix.size()), i.value());
    // Made for another router address: of no use here.
    if (values.value(kTarget) != target)
        return {};
    values.remove(kTarget);
    return values;
}

bool RouterMemory::save(const QString& kind, const QString& target, const Values& values) const {
    if (path_.isEmpty())
        return false;
    if (load(kind, target) == values && QFile::exists(path_))
        return true; // unchanged: no write on every run
    QMap<QString, QString> all = readAll(path_);
    const QString prefix = kind + QLatin1Char('.');
    dropKind(all, prefix);
    for (auto i = values.cbegin(); i != values.cend(); ++i)
        all.insert(prefix + i.key(), i.value());
    all.insert(prefix + kTarget, target);
    return writeAll(path_, all);
}

void RouterMemory::forget(const QString& kind) const {
    QMap<QString, QString> all = readAll(path_);
    const qsizetype before = all.size();
    dropKind(all, kind + QLatin1Char('.'));
    if (all.size() != before)
        writeAll(path_, all);
}
