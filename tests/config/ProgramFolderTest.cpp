// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/ProgramFolder.h"

#include "FileMode.h"
#include "TempHome.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <vector>

#include <sys/file.h>
#include <unistd.h>

namespace {

// Sets an environment variable for one test and puts the old value back.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const QByteArray& value) : name_(name) {
        if (qEnvironmentVariableIsSet(name))
            old_ = qgetenv(name);
        qputenv(name, value);
    }
    ~ScopedEnv() {
        if (old_)
            qputenv(name_, *old_);
        else
            qunsetenv(name_);
    }

private:
    const char* name_;
    std::optional<QByteArray> old_;
};

constexpr auto kOwnerOnly = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;

struct HomeCase {
    const char* name;
    QStringList arguments;
    QString home;
};

class HomeOptionTest : public ::testing::TestWithParam<HomeCase> {};

TEST_P(HomeOptionTest, Found) {
    EXPECT_EQ(HomeOption(GetParam().arguments), GetParam().home);
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, HomeOptionTest,
    ::testing::Values(HomeCase{"Separate", {"Harborly", "--home", "/a b"}, "/a b"},
                      HomeCase{"Joined", {"Harborly", "-x", "--home=/c"}, "/c"},
                      HomeCase{"None", {"Harborly", "--other"}, ""},
                      HomeCase{"WithoutValue", {"Harborly", "--home"}, ""},
                      HomeCase{"ProgramNameIgnored", {"--home", "x"}, ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ProgramFolder, HomeOptionWins) {
    TempHome home;
    const ProgramFolder existing =
        ResolveProgramFolder({"Harborly", "--home", home.path().chopped(1)}, home.path());
    EXPECT_EQ(existing.path, home.path());
    EXPECT_FALSE(existing.created);

    const QString fresh = home.file(QStringLiteral("demo home/inner"));
    const ProgramFolder made = ResolveProgramFolder({"Harborly", "--home", fresh}, home.path());
    EXPECT_EQ(made.path, fresh + u'/');
    EXPECT_TRUE(made.created);
    EXPECT_TRUE(QFileInfo(fresh).isDir());
    EXPECT_EQ(fileMode(fresh), 0700u);
}

TEST(ProgramFolder, WritableExecutableFolder) {
    TempHome exe;
    TempHome config;
    ScopedEnv xdg("XDG_CONFIG_HOME", config.path().toUtf8());
    const ProgramFolder folder = ResolveProgramFolder({"Harborly"}, exe.path().chopped(1));
    EXPECT_EQ(folder.path, exe.path());
    EXPECT_FALSE(folder.created);
    EXPECT_FALSE(QFileInfo::exists(config.file(QStringLiteral("Harborly"))));
}

void expectPerUserFolder(const QString& executableFolder) {
    TempHome config;
    ScopedEnv xdg("XDG_CONFIG_HOME", config.path().toUtf8());
    const QString expected = config.file(QStringLiteral("Harborly/"));

    const ProgramFolder first = ResolveProgramFolder({"Harborly"}, executableFolder);
    EXPECT_EQ(first.path, expected);
    EXPECT_TRUE(first.created);
    EXPECT_TRUE(QFileInfo(expected).isDir());
    EXPECT_EQ(fileMode(expected), 0700u);

    const ProgramFolder second = ResolveProgramFolder({"Harborly"}, executableFolder);
    EXPECT_EQ(second.path, expected);
    EXPECT_FALSE(second.created);
}

TEST(ProgramFolder, MissingExecutableFolderUsesPerUserFolder) {
    TempHome exe;
    expectPerUserFolder(exe.file(QStringLiteral("not there")));
}

TEST(ProgramFolder, ReadOnlyExecutableFolderUsesPerUserFolder) {
    if (::geteuid() == 0)
        GTEST_SKIP() << "root may write into a read-only folder";
    TempHome exe;
    QFile::setPermissions(exe.path(), QFile::ReadOwner | QFile::ExeOwner);
    expectPerUserFolder(exe.path());
    QFile::setPermissions(exe.path(), kOwnerOnly);
}

// An installation's bin folder is no place for the INI file, even for root, who may write there.
TEST(ProgramFolder, InstalledExecutableFolderUsesPerUserFolder) {
    TempHome prefix;
    ASSERT_TRUE(QDir(prefix.path()).mkpath(QStringLiteral("bin")));
    ASSERT_TRUE(QDir(prefix.path()).mkpath(QStringLiteral("share/harborly")));
    prefix.write(QStringLiteral("share/harborly/Harborly.ini"), "[Application1]\r\nName=x\r\n");
    expectPerUserFolder(prefix.file(QStringLiteral("bin")));
}

TEST(ProgramFolder, UserConfigFolderFallsBackToHome) {
    TempHome home;
    ScopedEnv homeVar("HOME", home.path().chopped(1).toUtf8());
    {
        ScopedEnv xdg("XDG_CONFIG_HOME", "relative/path");
        EXPECT_EQ(UserConfigFolder(), home.file(QStringLiteral(".config/Harborly/")));
    }
    ScopedEnv xdg("XDG_CONFIG_HOME", "");
    EXPECT_EQ(UserConfigFolder(), home.file(QStringLiteral(".config/Harborly/")));
    TempHome other;
    ScopedEnv xdgSet("XDG_CONFIG_HOME", other.path().toUtf8());
    EXPECT_EQ(UserConfigFolder(), other.file(QStringLiteral("Harborly/")));
}

enum class Kind { File, Folder, Link };

struct LitterCase {
    const char* name;
    Kind kind;
    bool recent; // modified within the last minutes
    bool locked; // a writer holds it at this moment
    bool removed;
};

// Only the temporaries that the atomic writer names after our own files, and only those that
// were abandoned: old, plain files that no writer holds.
TEST(StaleTemporaries, OnlyOurOwnOldUnheldTemporariesGo) {
    const std::vector<LitterCase> cases = {
        {"Harborly.ini.harborly-tmp.Ab3xYz", Kind::File, false, false, true},
        {"Harborly.htm.harborly-tmp.q1W2e3", Kind::File, false, false, true},
        {"Harborly.hlp.harborly-tmp.ZZZZZZ", Kind::File, false, false, true},
        {"Harborly.ini", Kind::File, false, false, false},
        {"Harborly.ini.Ab3xYz", Kind::File, false, false, false}, // a user's copy, perhaps
        {"Harborly.ini.backup", Kind::File, false, false, false},
        {"Harborly.ini.harborly-tmp.Ab3xY", Kind::File, false, false, false},
        {"Harborly.ini.harborly-tmp.Ab3xYz7", Kind::File, false, false, false},
        {"Harborly.ini.harborly-tmp.Ab-xYz", Kind::File, false, false, false},
        {"Harborly.ini.HARBORLY-TMP.Ab3xYz", Kind::File, false, false, false},
        {"harborly.ini.harborly-tmp.Ab3xYz", Kind::File, false, false, false},
        {"Harborly.log.harborly-tmp.Ab3xYz", Kind::File, false, false, false},
        {"Other.ini.harborly-tmp.Ab3xYz", Kind::File, false, false, false},
        {"Harborly.ini.harborly-tmp.New123", Kind::File, true, false, false},
        {"Harborly.ini.harborly-tmp.Held12", Kind::File, false, true, false},
        {"Harborly.ini.harborly-tmp.Dir123", Kind::Folder, false, false, false},
        {"Harborly.ini.harborly-tmp.Link12", Kind::Link, false, false, false},
    };
    TempHome home;
    home.write(QStringLiteral("target"), "x");
    // "Now" lies a day ahead, so every file made here is old unless its time is set to then.
    const QDateTime now = QDateTime::currentDateTimeUtc().addDays(1);
    std::vector<std::unique_ptr<QFile>> held;
    for (const LitterCase& c : cases) {
        const QString path = home.file(QString::fromLatin1(c.name));
        if (c.kind == Kind::Folder) {
            ASSERT_TRUE(QDir().mkdir(path));
            continue;
        }
        if (c.kind == Kind::Link) {
            ASSERT_TRUE(QFile::link(home.file(QStringLiteral("target")), path));
            continue;
        }
        auto f = std::make_unique<QFile>(path);
        ASSERT_TRUE(f->open(QIODevice::ReadWrite));
        if (c.recent) {
            ASSERT_TRUE(f->setFileTime(now, QFileDevice::FileModificationTime));
        }
        if (c.locked) {
            ASSERT_EQ(::flock(f->handle(), LOCK_EX), 0);
            held.push_back(std::move(f));
        }
    }
    EXPECT_EQ(RemoveStaleTemporaries(home.path(), now), 3);
    for (const LitterCase& c : cases) {
        const QFileInfo left(home.file(QString::fromLatin1(c.name)));
        EXPECT_EQ(left.exists() || left.isSymLink(), !c.removed) << c.name;
    }
}

} // namespace
