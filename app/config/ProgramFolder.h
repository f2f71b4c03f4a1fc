// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

// The folder that holds the INI file, the log and the captured page.
struct ProgramFolder {
    QString path;         // ends in "/"
    bool created = false; // made just now; a fresh per-user folder is where a default catalog
                          // would be put
};

// The value of "--home DIR" or "--home=DIR" in arguments (program name first, as
// QCoreApplication::arguments() gives them), or empty text when there is none.
QString HomeOption(const QStringList& arguments);

// $XDG_CONFIG_HOME/, or ~/.config/ when that variable is unset or relative.
QString XdgConfigHome();
// XdgConfigHome()'s Harborly/.
QString UserConfigFolder();

// The --home folder when given (created when missing); otherwise the executable's folder when
// we may write there and it is not the bin folder of an installation; otherwise the per-user
// folder. A folder made here is owner-only (0700).
ProgramFolder ResolveProgramFolder(const QStringList& arguments, const QString& executableFolder);

// The catalog shipped with the program: next to the executable in a build, or in
// share/harborly of an installation.
QString DefaultCatalogPath(const QString& executableFolder);

// Puts copies of the shipped catalog and help page into the folder where they are missing, so
// a first start has applications to offer. Each copy appears whole or not at all; the catalog
// is owner-only. True when the folder has a catalog afterwards.
bool ProvideShippedFiles(const QString& folder, const QString& executableFolder);

// Removes what writes killed half-way left in the folder: the temporary files of the
// crash-safe writer beside Harborly.ini, Harborly.htm and Harborly.hlp that are older than a
// few minutes and that no writer holds. Returns how many were removed.
int RemoveStaleTemporaries(const QString& folder, const QDateTime& now);
