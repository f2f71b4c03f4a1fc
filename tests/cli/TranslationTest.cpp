// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/CliOptions.h"
#include "cli/CliSession.h"
#include "platform/SessionLanguage.h"
#include "router/keep/Outcome.h"
#include "router/upnp/UpnpErrors.h"

#include "QtPrint.h"
#include "TempHome.h"

#include <QCoreApplication>
#include <QHash>
#include <QTextStream>
#include <QTranslator>

#include <gtest/gtest.h>

namespace {

TEST(SessionLanguageTest, ReadsTheSessionAsGettextDoes) {
    struct Case {
        QHash<QByteArray, QByteArray> environment;
        QStringList languages;
    };
    const QList<Case> cases = {
        {{}, {}},
        {{{"LANG", "de_DE.UTF-8"}}, {QStringLiteral("de_DE")}},
        {{{"LANG", "C"}, {"LANGUAGE", "de"}}, {}},
        {{{"LC_ALL", "C.UTF-8"}, {"LANG", "de_DE.UTF-8"}}, {}},
        {{{"LANG", "POSIX"}}, {}},
        {{{"LC_MESSAGES", "de_AT.UTF-8@euro"}, {"LANG", "en_GB.UTF-8"}}, {QStringLiteral("de_AT")}},
        {{{"LANG", "de_DE.UTF-8"}, {"LANGUAGE", "fr:de::de"}},
         {QStringLiteral("fr"), QStringLiteral("de")}},
        {{{"LANG", "en_US.UTF-8"}, {"LANGUAGE", "en:de"}},
         {QStringLiteral("en"), QStringLiteral("de")}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(SessionLanguages([&](const char* name) { return c.environment.value(name); }),
                  c.languages)
            << c.environment.value("LANG").toStdString();
}

// The session's language installed as the programs install it, for one test.
class SessionIn {
public:
    SessionIn(const char* lang, const char* language) {
        qputenv("LANG", lang);
        qputenv("LANGUAGE", language);
        qunsetenv("LC_ALL");
        qunsetenv("LC_MESSAGES");
        InstallTranslations(*QCoreApplication::instance());
    }
    ~SessionIn() {
        for (QTranslator* t : QCoreApplication::instance()->findChildren<QTranslator*>()) {
            QCoreApplication::removeTranslator(t);
            delete t;
        }
    }
    SessionIn(const SessionIn&) = delete;
    SessionIn& operator=(const SessionIn&) = delete;
};

QString parseError(const QStringList& words) {
    return ParseCliArguments(QStringList{QStringLiteral("harborly-cli")} + words).error;
}

// What the user reads, from the window's, the command line's and the router's texts.
QStringList representativeTexts() {
    return {CliUsage().section(QLatin1Char('\n'), 0, 0),
            parseError({QStringLiteral("frobnicate")}),
            DescribeUpnpError(718, 8096),
            QCoreApplication::translate("frmMain", "&Point To Me"),
            QCoreApplication::translate("Status", StatusWord(Outcome::Completed).toUtf8()),
            QCoreApplication::translate("QPlatformTheme", "Cancel")};
}

TEST(TranslationTest, GermanSessionReadsGermanAndKeepsMachineWords) {
    const QStringList english = representativeTexts();
    {
        const SessionIn german("de_DE.UTF-8", "");
        const QStringList texts = representativeTexts();
        EXPECT_EQ(texts.value(0),
                  QStringLiteral("Aufruf: harborly-cli [--home ORDNER] [--password-stdin] BEFEHL"));
        EXPECT_EQ(texts.value(1), QStringLiteral("unbekannter Befehl „frobnicate“"));
        EXPECT_EQ(texts.value(2),
                  QStringLiteral("Port 8096 wird bereits an ein anderes Gerät weitergeleitet."));
        EXPECT_EQ(texts.value(3), QStringLiteral("&Zu mir weiterleiten"));
        EXPECT_EQ(texts.value(4), QStringLiteral("Erledigt"));
        EXPECT_EQ(texts.value(5), QStringLiteral("Abbrechen")); // Qt's own, for standard buttons
        // What scripts read stays as it is: the status word, the exit status.
        EXPECT_EQ(StatusWord(Outcome::Completed), QStringLiteral("Completed"));
        TempHome home;
        QString out, err;
        QTextStream o(&out), e(&err);
        const QStringList args = {QStringLiteral("harborly-cli"), QStringLiteral("--home"),
                                  home.path(), QStringLiteral("status")};
        CliEnvironment env{args, home.path(), o, e, [] { return std::nullopt; }};
        EXPECT_EQ(RunCliCommand(*ParseCliArguments(args).options, env), CliExit::Refused);
        o.flush();
        e.flush();
        EXPECT_TRUE(err.startsWith(QStringLiteral("In "))) << err.toStdString();
        EXPECT_TRUE(err.contains(QStringLiteral("gibt es noch keine Konfiguration")));
    }
    EXPECT_EQ(representativeTexts(), english);
    {
        // LANG=C is English whatever LANGUAGE asks, as for every other program of the session.
        const SessionIn plain("C", "de");
        EXPECT_EQ(representativeTexts(), english);
    }
    {
        const SessionIn preferringEnglish("de_DE.UTF-8", "en:de");
        EXPECT_EQ(representativeTexts(), english);
    }
}

} // namespace
