// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/Autostart.h"

#include "TempHome.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

namespace {

QByteArray shippedDesktopFile() {
    QFile f(QStringLiteral(HARBORLY_DATA_DIR "/harborly.desktop"));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QList<QByteArray> linesStarting(const QByteArray& text, const QByteArray& start) {
    QList<QByteArray> found;
    for (const QByteArray& line : text.split('\n'))
        if (line.startsWith(start))
            found << line;
    return found;
}

struct ExecCase {
    QStringList command;
    QString value; // empty: cannot be written
};

TEST(Autostart, ExecValueQuotesAndEscapes) {
    const ExecCase rows[] = {
        {{"Harborly", "--tray"}, "Harborly --tray"},
        {{"/opt/my apps/Harborly", "--tray"}, R"("/opt/my apps/Harborly" --tray)"},
        // Quoting escapes " and $; the string escapes double every backslash after that.
        {{R"(/a"b$c)"}, R"("/a\\"b\\$c")"},
        {{R"(/x\y)"}, R"("/x\\\\y")"},
        {{"/100%", "--home", ""}, R"(/100%% --home "")"},
        {{"/a\nb"}, ""},
        {{"/tab\there"}, ""},
    };
    for (const ExecCase& row : rows)
        EXPECT_EQ(Autostart::ExecValue(row.command), row.value)
            << row.command.join('|').toStdString();
}

TEST(Autostart, EntryIsThePackagedOneStartingInTheTray) {
    const QByteArray model = shippedDesktopFile();
    ASSERT_FALSE(model.isEmpty());
    const QByteArray entry = Autostart::EntryFrom(model, {"Harborly", "--tray"});
    EXPECT_TRUE(entry.startsWith("[Desktop Entry]\n"));
    EXPECT_EQ(linesStarting(entry, "Exec="), QList<QByteArray>{"Exec=Harborly --tray"});
    EXPECT_EQ(linesStarting(entry, "X-GNOME-Autostart-enabled="),
              QList<QByteArray>{"X-GNOME-Autostart-enabled=true"});
    // Everything else the packaged file says is said the same.
    for (const QByteArray& line : model.split('\n')) {
        if (line.contains('=') && !line.startsWith("Exec=")) {
            EXPECT_TRUE(entry.contains(line + '\n')) << line.toStdString();
        }
    }

    const QByteArray other = "[Desktop Entry]\r\nName=H\r\nTryExec=/x\r\nActions=a;\r\nExec=old\r\n"
                             "[Desktop Action a]\r\nExec=other\r\n";
    EXPECT_EQ(
        Autostart::EntryFrom(other, {"H"}),
        "[Desktop Entry]\nName=H\nType=Application\nExec=H\nX-GNOME-Autostart-enabled=true\n");
    EXPECT_EQ(Autostart::EntryFrom({}, {"H"}),
              "[Desktop Entry]\nType=Application\nName=Harborly\nExec=H\n"
              "X-GNOME-Autostart-enabled=true\n");
    EXPECT_TRUE(Autostart::EntryFrom(model, {"/a\nb"}).isEmpty());
}

TEST(Autostart, WrittenAndRemovedInTheFolderGiven) {
    TempHome home;
    const Autostart autostart(home.file(QStringLiteral("config/autostart")));
    EXPECT_EQ(autostart.path(), home.file(QStringLiteral("config/autostart/harborly.desktop")));
    EXPECT_FALSE(autostart.enabled());
    EXPECT_FALSE(autostart.enable(shippedDesktopFile(), {"/a\nb"}));
    EXPECT_FALSE(QFile::exists(autostart.path()));

    ASSERT_TRUE(autostart.enable(shippedDesktopFile(), {"/opt/h b/Harborly", "--tray"}));
    EXPECT_TRUE(autostart.enabled());
    EXPECT_TRUE(home.read(QStringLiteral("config/autostart/harborly.desktop"))
                    .contains("\nExec=\"/opt/h b/Harborly\" --tray\n"));
    // Nothing but the entry is left in the folder (no temporary file).
    EXPECT_EQ(QDir(home.file(QStringLiteral("config/autostart"))).entryList(QDir::Files),
              QStringList{QStringLiteral("harborly.desktop")});

    // A desktop's session settings switch an entry off without removing it.
    for (const QByteArray off : {"Hidden=true", "X-GNOME-Autostart-enabled=false"}) {
        home.write(QStringLiteral("config/autostart/harborly.desktop"),
                   "[Desktop Entry]\nType=Application\nExec=Harborly\n" + off + "\n");
        EXPECT_FALSE(autostart.enabled()) << off.constData();
    }
    EXPECT_TRUE(autostart.disable());
    EXPECT_FALSE(QFile::exists(autostart.path()));
    EXPECT_FALSE(autostart.enabled());
    EXPECT_TRUE(autostart.disable());
}

TEST(Autostart, CommandNamesTheProgramAsThePathFindsIt) {
    TempHome bin;
    bin.write(QStringLiteral("Harborly"), "#!/bin/sh\n");
    QFile::setPermissions(bin.file(QStringLiteral("Harborly")),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    TempHome elsewhere;
    elsewhere.write(QStringLiteral("Harborly"), "#!/bin/sh\n");
    const QByteArray oldPath = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(bin.path()));
    const QStringList onPath = Autostart::CommandFor(bin.file(QStringLiteral("Harborly")), {});
    const QStringList other = Autostart::CommandFor(elsewhere.file(QStringLiteral("Harborly")),
                                                    QStringLiteral("relative/home"));
    qputenv("PATH", oldPath);
    EXPECT_EQ(onPath, (QStringList{"Harborly", "--tray"}));
    EXPECT_EQ(other,
              (QStringList{elsewhere.file(QStringLiteral("Harborly")), "--tray", "--home",
                           QDir::current().absoluteFilePath(QStringLiteral("relative/home"))}));
}

} // namespace
