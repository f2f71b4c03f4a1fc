// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "config/ProgramFolder.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

// "Start Harborly when I log in": an XDG autostart entry, harborly.desktop in the user's
// autostart folder, made from the packaged desktop file with the command that starts this copy
// in the tray. The entry is the setting: nothing else records it, so removing it by hand or in
// the desktop's own settings turns it off here too.
class Autostart {
public:
    explicit Autostart(QString folder = XdgConfigHome() + QStringLiteral("autostart"));

    QString path() const;
    // An entry is there and not switched off (Hidden=true, or X-GNOME-Autostart-enabled=false
    // as a desktop's session settings leave it).
    bool enabled() const;
    // Writes the entry whole or not at all (the folder made when missing); false on failure.
    bool enable(const QByteArray& model, const QStringList& command) const;
    // Removes the entry; true when none is left.
    bool disable() const;

    // The model's [Desktop Entry] group with Exec= running the command and the autostart keys;
    // empty when the command cannot be written as an Exec= value.
    static QByteArray EntryFrom(const QByteArray& model, const QStringList& command);
    // The command as an Exec= value: arguments quoted where the desktop entry format wants it,
    // with its escapes; empty for an argument with a line break or other control character.
    static QString ExecValue(const QStringList& command);
    // The command an entry starts: the program by name when it is the one found on PATH (as
    // the packaged desktop file does), else by its full path; --tray; the --home folder of
    // this run, when one was given.
    static QStringList CommandFor(const QString& executable, const QString& home);

private:
    QString folder_;
};
