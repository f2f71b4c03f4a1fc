// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/ProgramLauncher.h"

#include "TempHome.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

namespace {

struct SplitCase {
    const char* name;
    QString commandLine;
    QString program;
    QStringList arguments;
};

class SplitCommandLineTest : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitCommandLineTest, ProgramAndOneArgument) {
    const ProcessLauncher::Split split = ProcessLauncher::SplitCommandLine(GetParam().commandLine);
    EXPECT_EQ(split.program, GetParam().program);
    EXPECT_EQ(split.arguments, GetParam().arguments);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, SplitCommandLineTest,
    ::testing::Values(SplitCase{"PathWithSpaces",
                                "mousepad /home/a b/Harborly dir/Harborly.ini",
                                "mousepad",
                                {"/home/a b/Harborly dir/Harborly.ini"}},
                      SplitCase{"NoSpace", "xdg-open", "xdg-open", {}},
                      SplitCase{"TrailingSpaceOnly", "xdg-open ", "xdg-open", {}},
                      SplitCase{"TwoSpacesKeepSecond", "prog  x", "prog", {" x"}},
                      SplitCase{"Empty", "", "", {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ProcessLauncher, MissingProgramReturnsAtOnce) {
    ProcessLauncher launcher;
    EXPECT_FALSE(launcher.RunAndWait(QStringLiteral("harborly-no-such-program /tmp/x y")));
    EXPECT_FALSE(launcher.RunAndWait(QString()));
}

// The script sees the whole path, spaces included, as its one argument, and the launcher
// returns only after the script has finished its last step.
TEST(ProcessLauncher, PassesPathAsOneArgumentAndWaits) {
    TempHome home;
    ASSERT_TRUE(QDir(home.path()).mkpath(QStringLiteral("folder with spaces")));
    const QString script = home.file(QStringLiteral("folder with spaces/mark it.sh"));
    const QString marker = home.file(QStringLiteral("marker"));
    {
        QFile f(script);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("printf 'arg=%s;' \"$0\" > '" + marker.toUtf8() +
                "'\nsleep 0.3\nprintf 'done' >> '" + marker.toUtf8() + "'\n");
    }
    ProcessLauncher launcher;
    EXPECT_TRUE(launcher.RunAndWait(QStringLiteral("/bin/sh ") + script));
    QFile m(marker);
    ASSERT_TRUE(m.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(m.readAll()),
              QStringLiteral("arg=") + script + QStringLiteral(";done"));
}

struct ForkingEditorCase {
    const char* name;
    const char* hand_off; // how the stand-in editor leaves its work to another process
};

class ForkingEditorTest : public ::testing::TestWithParam<ForkingEditorCase> {};

// Editors that hand the file to a process of their own and return at once: the launcher
// waits for that process too, so the main window comes back only when editing is over.
TEST_P(ForkingEditorTest, WaitsForEveryProcessTheEditorLeavesBehind) {
    TempHome home;
    const QString marker = home.file(QStringLiteral("marker"));
    const QByteArray work = "sleep 0.3; printf done >> '" + marker.toUtf8() + "'";
    const QString script = home.file(QStringLiteral("editor.sh"));
    {
        QFile f(script);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("printf started > '" + marker.toUtf8() + "'\n" +
                QByteArray(GetParam().hand_off).replace("WORK", work) + "\nexit 0\n");
    }
    ProcessLauncher launcher;
    EXPECT_TRUE(launcher.RunAndWait(QStringLiteral("/bin/sh ") + script));
    QFile m(marker);
    ASSERT_TRUE(m.open(QIODevice::ReadOnly));
    EXPECT_EQ(m.readAll(), QByteArray("starteddone"));
}

INSTANTIATE_TEST_SUITE_P(
    HandOffs, ForkingEditorTest,
    ::testing::Values(ForkingEditorCase{"Background", "( WORK ) &"},
                      ForkingEditorCase{"NewSession", "setsid sh -c \"WORK\" &"},
                      ForkingEditorCase{"DoubleFork", "sh -c \"( WORK ) &\" &"},
                      ForkingEditorCase{"Detached", "( exec </dev/null >/dev/null 2>&1; WORK ) &"}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
