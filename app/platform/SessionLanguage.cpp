// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/SessionLanguage.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace {

// "de_DE.UTF-8@euro" names the language "de_DE".
QString languageOf(const QString& locale) {
    QString name = locale.section(QLatin1Char('@'), 0, 0).section(QLatin1Char('.'), 0, 0);
    return name.replace(QLatin1Char('-'), QLatin1Char('_'));
}

bool isPlainC(const QString& locale) {
    const QString name = languageOf(locale);
    return name == QLatin1String("C") || name == QLatin1String("POSIX");
}

} // namespace

QStringList SessionLanguages(const std::function<QByteArray(const char*)>& environment) {
    QString messages;
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        messages = QString::fromLocal8Bit(environment(name));
        if (!messages.isEmpty())
            break;
    }
    if (messages.isEmpty() || isPlainC(messages))
        return {};
    const QString wanted = QString::fromLocal8Bit(environment("LANGUAGE"));
    QStringList languages;
    for (const QString& entry :
         wanted.isEmpty() ? QStringList{messages} : wanted.split(QLatin1Char(':'))) {
        const QString language = languageOf(entry);
        if (!language.isEmpty() && !isPlainC(language) && !languages.contains(language))
            languages << language;
    }
    return languages;
}

void InstallTranslations(QCoreApplication& app) {
    const QStringList languages = SessionLanguages([](const char* name) { return qgetenv(name); });
    for (const QString& language : languages) {
        // English is the program's own text: a session preferring it over German gets it.
        if (language.startsWith(QLatin1String("en")))
            return;
        auto* harborly = new QTranslator(&app);
        if (!harborly->load(QStringLiteral("harborly_") + language, QStringLiteral(":/i18n"))) {
            delete harborly;
            continue;
        }
        QCoreApplication::installTranslator(harborly);
        auto* qt = new QTranslator(&app);
        if (qt->load(QStringLiteral("qtbase_") + language,
                     QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
            QCoreApplication::installTranslator(qt);
        else
            delete qt;
        return;
    }
}
