// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/Autostart.h"

#include "platform/AtomicFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <algorithm>

namespace {

constexpr qint64 kMaxEntryBytes = 64 * 1024;
const QByteArray kGroup = QByteArrayLiteral("[Desktop Entry]");

// Keys the entry sets itself, or that make no sense for a start at login.
bool replaced(const QByteArray& key) {
    static const QList<QByteArray> keys = {
        "Exec", "TryExec", "Hidden", "DBusActivatable", "Actions", "X-GNOME-Autostart-enabled"};
    return keys.contains(key);
}

// The [Desktop Entry] group's lines as key and value, in order.
QList<std::pair<QByteArray, QByteArray>> entryLines(const QByteArray& text) {
    QList<std::pair<QByteArray, QByteArray>> lines;
    bool inEntry = false;
    for (QByteArray line : text.split('\n')) {
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.startsWith('[')) {
            inEntry = line == kGroup;
            continue;
        }
        const qsizetype eq = line.indexOf('=');
        if (inEntry && eq > 0 && !line.startsWith('#'))
            lines.append({line.left(eq).trimmed(), line.mid(eq + 1).trimmed()});
    }
    return lines;
}

QString quoted(const QString& argument) {
    static const QString reserved = QStringLiteral(" \t\"'\\><~|&;$*?#()`");
    const bool plain =
        !argument.isEmpty() && std::none_of(argument.begin(), argument.end(),
                                            [](QChar c) { return reserved.contains(c); });
    if (plain)
        return argument;
    QString out = QStringLiteral("\"");
    for (const QChar c : argument) {
        if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
            out += u'\\';
        out += c;
    }
    return out + u'"';
}

} // namespace

Autostart::Autostart(QString folder) : folder_(std::move(folder)) {}

QString Autostart::path() const {
    return QDir(folder_).filePath(QStringLiteral("harborly.desktop"));
}

bool Autostart::enabled() const {
    QFile file(path());
    if (!file.open(QIODevice::ReadOnly))
        return false;
    for (const auto& [key, value] : entryLines(file.read(kMaxEntryBytes))) {
        if ((key == "Hidden" && value == "true") ||
            (key == "X-GNOME-Autostart-enabled" && value == "false"))
            return false;
    }
    return true;
}

bool Autostart::enable(const QByteArray& model, const QStringList& command) const {
    const QByteArray entry = EntryFrom(model, command);
    return !entry.isEmpty() && QDir().mkpath(folder_) && ReplaceFileContents(path(), entry);
}

bool Autostart::disable() const {
    return QFile::remove(path()) || !QFileInfo::exists(path());
}

QByteArray Autostart::EntryFrom(const QByteArray& model, const QStringList& command) {
    const QString exec = ExecValue(command);
    if (exec.isEmpty())
        return {};
    QByteArray out = kGroup + '\n';
    bool typed = false;
    bool named = false;
    for (const auto& [key, value] : entryLines(model)) {
        if (replaced(key))
            continue;
        typed = typed || key == "Type";
        named = named || key == "Name";
        out += key + '=' + value + '\n';
    }
    if (!typed)
        out += "Type=Application\n";
    if (!named)
        out += "Name=Harborly\n";
    return out + "Exec=" + exec.toUtf8() + "\nX-GNOME-Autostart-enabled=true\n";
}

QString Autostart::ExecValue(const QStringList& command) {
    QStringList arguments;
    for (const QString& argument : command) {
        if (std::any_of(argument.begin(), argument.end(),
                        [](QChar c) { return c.unicode() < 0x20 || c.unicode() == 0x7f; }))
            return {};
        arguments << quoted(argument);
    }
    QString value = arguments.join(u' ');
    // A literal percent sign is doubled, and the string escapes come on top of the quoting.
    value.replace(u'%', QStringLiteral("%%"));
    value.replace(u'\\', QStringLiteral("\\\\"));
    return value;
}

QStringList Autostart::CommandFor(const QString& executable, const QString& home) {
    const QFileInfo program(executable);
    const QString onPath = QStandardPaths::findExecutable(program.fileName());
    const bool found =
        !onPath.isEmpty() && QFileInfo(onPath).canonicalFilePath() == program.canonicalFilePath();
    QStringList command = {found ? program.fileName() : program.absoluteFilePath(),
                           QStringLiteral("--tray")};
    if (!home.isEmpty())
        command << QStringLiteral("--home") << QFileInfo(home).absoluteFilePath();
    return command;
}
