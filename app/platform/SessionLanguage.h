// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QStringList>

#include <functional>

class QCoreApplication;

// The languages the desktop session asks for, most wanted first, read as gettext reads them:
// LANGUAGE's list unless the messages locale (LC_ALL, LC_MESSAGES, LANG) is C or POSIX, which
// means the program's own English. Empty for English.
QStringList SessionLanguages(const std::function<QByteArray(const char*)>& environment);

// Loads Harborly's translation and Qt's own (standard buttons, dialogs) for the first of the
// session's languages that Harborly has; nothing for English or a language it lacks. The
// translators live as long as the application.
void InstallTranslations(QCoreApplication& app);
