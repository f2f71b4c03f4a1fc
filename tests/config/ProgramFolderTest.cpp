#include "config/ProgramFolder.h"

#include "FileMode.h"
#include "TempHome.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <optional>
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

} // namespace
