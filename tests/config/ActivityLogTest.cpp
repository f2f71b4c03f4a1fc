// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/ActivityLog.h"

#include "FileMode.h"
#include "RecordingPrompts.h"
#include "TempHome.h"
#include "platform/Clock.h"

#include <QDir>
#include <QFile>
#include <QTimeZone>

#include <gtest/gtest.h>

namespace {

// Starts at 6 Dec 2026 15:21:07 UTC and moves one second on at every reading.
class SteppingClock final : public Clock {
public:
    QDateTime now() const override {
        return QDateTime(QDate(2026, 12, 6), QTime(15, 21, 7), QTimeZone::utc())
            .addSecs(readings_++);
    }

private:
    mutable int readings_ = 0;
};

class ActivityLogTest : public ::testing::Test {
protected:
    QByteArray logBytes() const { return home.read(QStringLiteral("Harborly.log")); }

    TempHome home;
    LocalPaths paths = LocalPaths::inFolder(home.path());
    RecordingPrompts prompts;
    SteppingClock clock;
    ActivityLog log{paths, prompts, clock, QLocale(QLocale::English, QLocale::UnitedStates)};
};

TEST_F(ActivityLogTest, AppendsTimeStampedLines) {
    home.write(QStringLiteral("Harborly.log"), "earlier line\r\n");
    EXPECT_TRUE(log.WriteLog(QStringLiteral("HARBORLY.INI entries not written")));
    EXPECT_TRUE(log.WriteLog(QStringLiteral("  Writing to /x y/Harborly.ini ")));
    EXPECT_EQ(logBytes(),
              QByteArray("earlier line\r\n"
                         "[12/6/2026 3:21:07 PM]   HARBORLY.INI entries not written\r\n"
                         "[12/6/2026 3:21:08 PM]     Writing to /x y/Harborly.ini \r\n"));
    EXPECT_TRUE(prompts.boxes.isEmpty());
}

// A router's words in a message are one line of the log, whatever they hold.
TEST_F(ActivityLogTest, AMessageCannotForgeALine) {
    EXPECT_TRUE(log.WriteLog(QStringLiteral("Renewed (tv\r\n[1/1/2000 1:00:00 AM]   x\x1B[2J)")));
    EXPECT_EQ(logBytes(), QByteArray("[12/6/2026 3:21:07 PM]   Renewed (tv\\r\\n[1/1/2000 1:00:00 "
                                     "AM]   x\\x1B[2J)\r\n"));
}

TEST_F(ActivityLogTest, BlankMessageWritesEmptyLine) {
    EXPECT_TRUE(log.WriteLog(QStringLiteral("   ")));
    EXPECT_TRUE(log.WriteLog(QString()));
    EXPECT_EQ(logBytes(), QByteArray("\r\n\r\n"));
}

TEST_F(ActivityLogTest, NewLogIsOwnerOnlyAndExistingKeepsPermissions) {
    ASSERT_TRUE(log.WriteLog(QStringLiteral("x")));
    EXPECT_EQ(fileMode(paths.LogPath), 0600u);
    QFile::setPermissions(paths.LogPath, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther);
    ASSERT_TRUE(log.WriteLog(QStringLiteral("y")));
    EXPECT_EQ(fileMode(paths.LogPath), 0604u);
}

TEST_F(ActivityLogTest, UnwritableLogShowsOneMessage) {
    for (const QString& where : {home.file(QStringLiteral("missing folder")), home.path()}) {
        // A missing folder, and a log path that is a folder.
        SCOPED_TRACE(where.toStdString());
        prompts.boxes.clear();
        QDir(home.path()).mkdir(QStringLiteral("Harborly.log"));
        const LocalPaths bad = LocalPaths::inFolder(where);
        SteppingClock freshClock;
        ActivityLog badLog(bad, prompts, freshClock,
                           QLocale(QLocale::English, QLocale::UnitedStates));
        EXPECT_FALSE(badLog.WriteLog(QStringLiteral("HARBORLY.INI entries not written")));
        ASSERT_EQ(prompts.boxes.size(), 1);
        // The box takes the time afresh: one second after the line's time stamp.
        EXPECT_EQ(prompts.boxes[0].text,
                  QStringLiteral("[12/6/2026 3:21:08 PM]   Unable to Open Log File\r") +
                      bad.LogPath);
        EXPECT_EQ(prompts.boxes[0].icon, MsgIcon::Exclamation);
        EXPECT_EQ(prompts.boxes[0].title, QStringLiteral("Harborly"));
    }
}

TEST_F(ActivityLogTest, SystemLocaleFormatsByDefault) {
    SteppingClock otherClock;
    ActivityLog systemLog(paths, prompts, clock);
    ActivityLog explicitLog(paths, prompts, otherClock, QLocale::system());
    ASSERT_TRUE(systemLog.WriteLog(QStringLiteral("m")));
    ASSERT_TRUE(explicitLog.WriteLog(QStringLiteral("m")));
    const QList<QByteArray> lines = logBytes().split('\n');
    ASSERT_EQ(lines.size(), 3);
    EXPECT_EQ(lines[0], lines[1]);
}

struct StampCase {
    QLocale::Language language;
    QLocale::Territory territory;
    const char* line;
};

class TimeStampTest : public testing::TestWithParam<StampCase> {};

// The locale's short date with the year in four digits, its long time without a zone name.
TEST_P(TimeStampTest, FourDigitYearAndNoZone) {
    TempHome home;
    const LocalPaths paths = LocalPaths::inFolder(home.path());
    RecordingPrompts prompts;
    SteppingClock clock;
    ActivityLog log(paths, prompts, clock, QLocale(GetParam().language, GetParam().territory));
    ASSERT_TRUE(log.WriteLog(QStringLiteral("m")));
    EXPECT_EQ(QString::fromUtf8(home.read(QStringLiteral("Harborly.log"))),
              QString::fromUtf8(GetParam().line) + QStringLiteral("]   m\r\n"));
}

INSTANTIATE_TEST_SUITE_P(
    Locales, TimeStampTest,
    testing::Values(StampCase{QLocale::English, QLocale::UnitedStates, "[12/6/2026 3:21:07 PM"},
                    StampCase{QLocale::English, QLocale::UnitedKingdom, "[06/12/2026 15:21:07"},
                    StampCase{QLocale::German, QLocale::Germany, "[06.12.2026 15:21:07"},
                    StampCase{QLocale::French, QLocale::France, "[06/12/2026 15:21:07"},
                    StampCase{QLocale::Japanese, QLocale::Japan, "[2026/12/06 15時21分07秒"}));

} // namespace
