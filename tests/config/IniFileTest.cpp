// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/IniFile.h"

#include "FileMode.h"
#include "TempHome.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool runningAsRoot() {
    return ::geteuid() == 0;
}

QStringList folderEntries(const TempHome& home) {
    return QDir(home.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
}

struct ReadCase {
    const char* name;
    QByteArray file;
    const char* section;
    const char* key;
    QString expected;
};

class IniReadTest : public ::testing::TestWithParam<ReadCase> {};

TEST_P(IniReadTest, ReadsValue) {
    const ReadCase& c = GetParam();
    TempHome home;
    home.write(QStringLiteral("Harborly.ini"), c.file);
    const IniFile ini(home.file(QStringLiteral("Harborly.ini")));
    EXPECT_EQ(ini.read(QString::fromLatin1(c.section), QString::fromLatin1(c.key)), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, IniReadTest,
    ::testing::Values(
        ReadCase{"NamesIgnoreCase", "[misc]\r\nlanprivateip=10.0.0.1\r\n", "MISC", "LanPrivateIP",
                 "10.0.0.1"},
        ReadCase{"SpacesAroundNamesAndEquals", "  [ Misc ]  \n  Key   =   v a l  \n", "Misc", "Key",
                 "v a l"},
        ReadCase{"TabsAroundValue", "[Misc]\nKey=\tvalue\t\n", "Misc", "Key", "value"},
        ReadCase{"ValueKeepsLaterEquals", "[Misc]\nKey=a=b=\n", "Misc", "Key", "a=b="},
        ReadCase{"DoubleQuotesStripped", "[Misc]\nKey=\" two words \"\n", "Misc", "Key",
                 " two words "},
        ReadCase{"SingleQuotesStripped", "[Misc]\nKey='x'\n", "Misc", "Key", "x"},
        ReadCase{"OnlyOnePairStripped", "[Misc]\nKey=\"\"x\"\"\n", "Misc", "Key", "\"x\""},
        ReadCase{"UnmatchedQuotesKept", "[Misc]\nKey=\"x'\n", "Misc", "Key", "\"x'"},
        ReadCase{"LoneQuoteKept", "[Misc]\nKey=\"\n", "Misc", "Key", "\""},
        ReadCase{"SemicolonComment", "[Misc]\n;Key=commented\nKey=real\n", "Misc", "Key", "real"},
        ReadCase{"HashComment", "[Misc]\n  # Key=commented\n", "Misc", "Key", ""},
        ReadCase{"CommentedHeaderOpensNothing", "[Misc]\nA=1\n;[Other]\nB=2\n", "Misc", "B", "2"},
        ReadCase{"DuplicateKeyFirstWins", "[Misc]\nKey=first\nkey=second\n", "Misc", "Key",
                 "first"},
        ReadCase{"DuplicateSectionFirstWins", "[Misc]\nKey=first\n[MISC]\nKey=second\n", "Misc",
                 "Key", "first"},
        ReadCase{"DuplicateSectionNotMerged", "[Misc]\nA=1\n[Misc]\nKey=second\n", "Misc", "Key",
                 ""},
        ReadCase{"HeaderWithoutBracket", "[Misc\nKey=v\n", "Misc", "Key", "v"},
        ReadCase{"TextAfterBracketIgnored", "[Misc] ; note\nKey=v\n", "Misc", "Key", "v"},
        ReadCase{"KeysBeforeAnySectionUnreachable", "Key=v\n[Misc]\n", "Misc", "Key", ""},
        ReadCase{"LineWithoutEqualsIgnored", "[Misc]\nKey\nKey=v\n", "Misc", "Key", "v"},
        ReadCase{"KeyEndsAtNextSection", "[Misc]\n[Other]\nKey=v\n", "Misc", "Key", ""},
        ReadCase{"EmptyValue", "[Misc]\nKey=   \n", "Misc", "Key", ""},
        ReadCase{"MissingKey", "[Misc]\nOther=1\n", "Misc", "Key", ""},
        ReadCase{"MissingSection", "[Other]\nKey=1\n", "Misc", "Key", ""},
        ReadCase{"NoNewlineAtEnd", "[Misc]\nKey=last", "Misc", "Key", "last"},
        ReadCase{"ByteOrderMark", "\xEF\xBB\xBF[Misc]\r\nKey=v\r\n", "Misc", "Key", "v"},
        ReadCase{"NulBytesInOtherLines", QByteArray("[Misc]\nA=\0\0\nKey=v\n", 18), "Misc", "Key",
                 "v"},
        ReadCase{"Utf8Value", "[Misc]\nKey=Caf\xC3\xA9\n", "Misc", "Key", QStringLiteral("Café")},
        ReadCase{"Windows1252Value", "[Misc]\nKey=Caf\xE9 \x80\n", "Misc", "Key",
                 QStringLiteral("Café €")},
        // Not UTF-8, so the whole file is Windows-1252: an overlong form, an encoded
        // surrogate, a sequence cut off at the end of the file.
        ReadCase{"OverlongIsWindows1252", "[Misc]\nKey=\xC0\xAF\n", "Misc", "Key",
                 QStringLiteral("À¯")},
        ReadCase{"SurrogateIsWindows1252", "[Misc]\nKey=\xED\xA0\x80\n", "Misc", "Key",
                 QStringLiteral("í\u00A0€")},
        ReadCase{"CutSequenceIsWindows1252", "[Misc]\nKey=\xC3", "Misc", "Key",
                 QStringLiteral("Ã")}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(IniFile, MissingFileReadsEmpty) {
    TempHome home;
    const IniFile ini(home.file(QStringLiteral("Harborly.ini")));
    EXPECT_TRUE(ini.read(QStringLiteral("Misc"), QStringLiteral("Selected")).isEmpty());
    EXPECT_FALSE(home.exists(QStringLiteral("Harborly.ini")));
}

TEST(IniFile, LongValueCutTo254CharactersUnlessReadWhole) {
    TempHome home;
    const QByteArray value(300, 'n');
    home.write(QStringLiteral("Harborly.ini"),
               "[A]\nName=" + value + "\nSelected=\"" + value + "\"\n");
    const IniFile ini(home.file(QStringLiteral("Harborly.ini")));
    EXPECT_EQ(ini.read(QStringLiteral("A"), QStringLiteral("Name")), QString(254, u'n'));
    EXPECT_EQ(ini.readWhole(QStringLiteral("A"), QStringLiteral("Selected")), QString(300, u'n'));
    EXPECT_EQ(ini.read(QStringLiteral("A"), QStringLiteral("Selected")), QString(254, u'n'));
}

TEST(IniFile, CutNeverSplitsSurrogatePair) {
    TempHome home;
    // 253 letters and a character outside the BMP that straddles the cut.
    const QString value = QString(253, u'a') + QStringLiteral("\U0001F600") + QStringLiteral("b");
    home.write(QStringLiteral("Harborly.ini"), "[A]\nName=" + value.toUtf8() + "\n");
    const IniFile ini(home.file(QStringLiteral("Harborly.ini")));
    EXPECT_EQ(ini.read(QStringLiteral("A"), QStringLiteral("Name")), QString(253, u'a'));
}

TEST(IniFile, ReadSeesChangesMadeOnDisk) {
    TempHome home;
    const IniFile ini(home.file(QStringLiteral("Harborly.ini")));
    EXPECT_EQ(ini.read(QStringLiteral("Misc"), QStringLiteral("Key")), QString());
    home.write(QStringLiteral("Harborly.ini"), "[Misc]\nKey=one\n");
    EXPECT_EQ(ini.read(QStringLiteral("Misc"), QStringLiteral("Key")), QStringLiteral("one"));
    home.write(QStringLiteral("Harborly.ini"), "[Misc]\nKey=two\n");
    EXPECT_EQ(ini.read(QStringLiteral("Misc"), QStringLiteral("Key")), QStringLiteral("two"));
    QFile::remove(home.file(QStringLiteral("Harborly.ini")));
    EXPECT_EQ(ini.read(QStringLiteral("Misc"), QStringLiteral("Key")), QString());
}

class IniWriteTest : public ::testing::Test {
protected:
    QString path() const { return home.file(QStringLiteral("Harborly.ini")); }
    QByteArray bytes() const { return home.read(QStringLiteral("Harborly.ini")); }
    void put(const QByteArray& content) const {
        home.write(QStringLiteral("Harborly.ini"), content);
    }
    bool write(const char* section, const char* key, const QString& value) {
        return ini.write(QString::fromLatin1(section), QString::fromLatin1(key), value);
    }
    QString read(const char* section, const char* key) const {
        return ini.read(QString::fromLatin1(section), QString::fromLatin1(key));
    }

    TempHome home;
    IniFile ini{home.file(QStringLiteral("Harborly.ini"))};
};

TEST_F(IniWriteTest, NewFileIsOwnerOnlyWithCrLf) {
    ASSERT_TRUE(write("Misc", "Selected", QStringLiteral("Game Host,")));
    EXPECT_EQ(bytes(), QByteArray("[Misc]\r\nSelected=Game Host,\r\n"));
    EXPECT_EQ(fileMode(path()), 0600u);
    EXPECT_EQ(read("Misc", "Selected"), QStringLiteral("Game Host,"));
    EXPECT_EQ(folderEntries(home), QStringList{QStringLiteral("Harborly.ini")});
}

TEST_F(IniWriteTest, ReplacesInPlaceAndKeepsEveryOtherByte) {
    const QByteArray before = "; Harborly settings\r\n"
                              "\r\n"
                              "[Application1]\r\n"
                              "Name=Web Server\r\n"
                              "Unknown=kept\r\n"
                              "\r\n"
                              "[Misc]\r\n"
                              "  LanPrivateIP = 192.168.1.1   \r\n"
                              "# trailing comment\r\n"
                              "Extra=1\r\n";
    put(before);
    ASSERT_TRUE(write("misc", "lanprivateip", QStringLiteral("10.0.0.2")));
    QByteArray expected = before;
    expected.replace("  LanPrivateIP = 192.168.1.1   \r\n", "  LanPrivateIP = 10.0.0.2\r\n");
    EXPECT_EQ(bytes(), expected);
    EXPECT_EQ(read("Misc", "LanPrivateIP"), QStringLiteral("10.0.0.2"));

    // The same value again replaces nothing: the file is the one written before.
    struct stat first {
    }, second{};
    ASSERT_EQ(::stat(path().toLocal8Bit().constData(), &first), 0);
    ASSERT_TRUE(write("Misc", "LanPrivateIP", QStringLiteral("10.0.0.2")));
    ASSERT_EQ(::stat(path().toLocal8Bit().constData(), &second), 0);
    EXPECT_EQ(first.st_ino, second.st_ino);
    EXPECT_EQ(bytes(), expected);
}

TEST_F(IniWriteTest, NewKeyGoesAfterTheSectionsLastKey) {
    put("[Misc]\r\nA=1\r\n\r\n; about the next section\r\n[Other]\r\nB=2\r\n");
    ASSERT_TRUE(write("Misc", "Password", QStringLiteral("c2VjcmV0")));
    EXPECT_EQ(bytes(), QByteArray("[Misc]\r\nA=1\r\nPassword=c2VjcmV0\r\n\r\n"
                                  "; about the next section\r\n[Other]\r\nB=2\r\n"));
}

TEST_F(IniWriteTest, NewKeyInSectionWithoutKeysFollowsHeader) {
    put("[Misc]\n[Other]\nB=2");
    ASSERT_TRUE(write("Misc", "Key", QStringLiteral("v")));
    EXPECT_EQ(bytes(), QByteArray("[Misc]\nKey=v\n[Other]\nB=2"));
}

TEST_F(IniWriteTest, NewSectionAppendedAndLfKept) {
    put("[Application1]\nName=X");
    ASSERT_TRUE(write("Misc", "Selected", QStringLiteral("X,")));
    EXPECT_EQ(bytes(), QByteArray("[Application1]\nName=X\n\n[Misc]\nSelected=X,\n"));
    EXPECT_EQ(read("Application1", "Name"), QStringLiteral("X"));
}

TEST_F(IniWriteTest, DuplicateKeyReplacesTheFirst) {
    put("[Misc]\nKey=first\nKey=second\n");
    ASSERT_TRUE(write("Misc", "Key", QStringLiteral("new")));
    EXPECT_EQ(bytes(), QByteArray("[Misc]\nKey=new\nKey=second\n"));
}

TEST_F(IniWriteTest, DuplicateSectionOnlyFirstIsWritten) {
    put("[Misc]\nA=1\n[Misc]\nKey=old\n");
    ASSERT_TRUE(write("Misc", "Key", QStringLiteral("new")));
    EXPECT_EQ(bytes(), QByteArray("[Misc]\nA=1\nKey=new\n[Misc]\nKey=old\n"));
    EXPECT_EQ(read("Misc", "Key"), QStringLiteral("new"));
}

TEST_F(IniWriteTest, QuotedValueReadsBackAsWritten) {
    const QString quoted = QStringLiteral("\"Game Host\"");
    ASSERT_TRUE(write("Misc", "Selected", quoted));
    EXPECT_EQ(read("Misc", "Selected"), quoted);
}

TEST_F(IniWriteTest, ExistingPermissionsKept) {
    put("[Misc]\nKey=old\n");
    QFile::setPermissions(path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup);
    ASSERT_TRUE(write("Misc", "Key", QStringLiteral("new")));
    EXPECT_EQ(fileMode(path()), 0640u);
}

TEST_F(IniWriteTest, Windows1252FileStaysWindows1252) {
    const QByteArray before = "[Application1]\r\nName=Caf\xE9\r\n[Misc]\r\nSelected=x\r\n";
    put(before);
    ASSERT_TRUE(write("Misc", "Selected", QStringLiteral("Café,€,ł")));
    QByteArray expected = before;
    expected.replace("Selected=x", "Selected=Caf\xE9,\x80,?");
    EXPECT_EQ(bytes(), expected);
    EXPECT_EQ(read("Misc", "Selected"), QStringLiteral("Café,€,?"));
    EXPECT_EQ(read("Application1", "Name"), QStringLiteral("Café"));
}

TEST_F(IniWriteTest, Utf8FileGetsUtf8) {
    put("[Misc]\nA=\xC3\xA9\n");
    ASSERT_TRUE(write("Misc", "B", QStringLiteral("ł")));
    EXPECT_EQ(bytes(), QByteArray("[Misc]\nA=\xC3\xA9\nB=\xC5\x82\n"));
}

TEST_F(IniWriteTest, RefusesLineBreaksAndBadNames) {
    put("[Misc]\nKey=old\n");
    EXPECT_FALSE(write("Misc", "Key", QStringLiteral("a\r\n[Application1]")));
    EXPECT_FALSE(write("Misc", "Key", QStringLiteral("a\nb")));
    EXPECT_FALSE(write("Mi]sc", "Key", QStringLiteral("v")));
    EXPECT_FALSE(write("", "Key", QStringLiteral("v")));
    EXPECT_FALSE(write("Misc", "", QStringLiteral("v")));
    EXPECT_FALSE(write("Misc", "K=y", QStringLiteral("v")));
    EXPECT_FALSE(write("Misc", ";Key", QStringLiteral("v")));
    EXPECT_FALSE(write("Misc", "[Key", QStringLiteral("v")));
    EXPECT_EQ(bytes(), QByteArray("[Misc]\nKey=old\n"));
}

TEST_F(IniWriteTest, ReadOnlyFileIsReportedAndKept) {
    put("[Misc]\nKey=old\n");
    QFile::setPermissions(path(), QFile::ReadOwner | QFile::ReadGroup);
    EXPECT_FALSE(write("Misc", "Key", QStringLiteral("new")));
    QFile::setPermissions(path(), QFile::ReadOwner | QFile::WriteOwner);
    EXPECT_EQ(bytes(), QByteArray("[Misc]\nKey=old\n"));
    EXPECT_EQ(folderEntries(home), QStringList{QStringLiteral("Harborly.ini")});
}

TEST_F(IniWriteTest, ReadOnlyFolderIsReportedAndFileKept) {
    if (runningAsRoot())
        GTEST_SKIP() << "root may write into a read-only folder";
    put("[Misc]\nKey=old\n");
    QFile::setPermissions(home.path(), QFile::ReadOwner | QFile::ExeOwner);
    const bool written = write("Misc", "Key", QStringLiteral("new"));
    QFile::setPermissions(home.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    EXPECT_FALSE(written);
    EXPECT_EQ(bytes(), QByteArray("[Misc]\nKey=old\n"));
}

TEST_F(IniWriteTest, UnreadableFileIsNotOverwritten) {
    if (runningAsRoot())
        GTEST_SKIP() << "root may read any file";
    put("[Misc]\nKey=old\n");
    QFile::setPermissions(path(), QFile::WriteOwner);
    const bool written = write("Misc", "Other", QStringLiteral("new"));
    QFile::setPermissions(path(), QFile::ReadOwner | QFile::WriteOwner);
    EXPECT_FALSE(written);
    EXPECT_EQ(bytes(), QByteArray("[Misc]\nKey=old\n"));
}

TEST_F(IniWriteTest, SymbolicLinkStaysAndItsTargetIsWritten) {
    home.write(QStringLiteral("real.ini"), "[Misc]\nKey=old\n");
    ASSERT_TRUE(QFile::link(home.file(QStringLiteral("real.ini")), path()));
    ASSERT_TRUE(write("Misc", "Key", QStringLiteral("new")));
    EXPECT_TRUE(QFileInfo(path()).isSymLink());
    EXPECT_EQ(home.read(QStringLiteral("real.ini")), QByteArray("[Misc]\nKey=new\n"));
}

TEST_F(IniWriteTest, OwnerKeptWhenRootWritesAUsersFile) {
    if (!runningAsRoot())
        GTEST_SKIP() << "only root can own a file for someone else";
    put("[Misc]\nKey=old\n");
    ASSERT_EQ(::chown(QFile::encodeName(path()).constData(), 65534, 65534), 0);
    ASSERT_TRUE(write("Misc", "Key", QStringLiteral("new")));
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(path()).constData(), &st), 0);
    EXPECT_EQ(st.st_uid, 65534u);
    EXPECT_EQ(st.st_gid, 65534u);
}

TEST(IniFile, MissingFolderOrDirectoryInTheWayIsReported) {
    TempHome home;
    IniFile inMissingFolder(home.file(QStringLiteral("gone/Harborly.ini")));
    EXPECT_FALSE(
        inMissingFolder.write(QStringLiteral("Misc"), QStringLiteral("Key"), QStringLiteral("v")));
    QDir(home.path()).mkdir(QStringLiteral("Harborly.ini"));
    home.write(QStringLiteral("Harborly.ini/inside"), "kept");
    IniFile directory(home.file(QStringLiteral("Harborly.ini")));
    EXPECT_FALSE(
        directory.write(QStringLiteral("Misc"), QStringLiteral("Key"), QStringLiteral("v")));
    EXPECT_EQ(directory.read(QStringLiteral("Misc"), QStringLiteral("Key")), QString());
    EXPECT_EQ(home.read(QStringLiteral("Harborly.ini/inside")), QByteArray("kept"));
    EXPECT_EQ(folderEntries(home), QStringList{QStringLiteral("Harborly.ini")});
}

// A write that the file system cuts short (here: the file size limit) must leave the old file
// whole and no temporary file behind.
TEST_F(IniWriteTest, FailedWriteLeavesOldFileAndNoTemporary) {
    QByteArray before = "[Misc]\nKey=old\n";
    before += "; " + QByteArray(8000, 'x') + "\n";
    put(before);

    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit oldLimit{};
    ::getrlimit(RLIMIT_FSIZE, &oldLimit);
    rlimit small = oldLimit;
    small.rlim_cur = 4096;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const bool written = write("Misc", "Key", QStringLiteral("new"));
    ::setrlimit(RLIMIT_FSIZE, &oldLimit);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_FALSE(written);
    EXPECT_EQ(bytes(), before);
    EXPECT_EQ(folderEntries(home), QStringList{QStringLiteral("Harborly.ini")});
    EXPECT_EQ(read("Misc", "Key"), QStringLiteral("old"));
}

TEST_F(IniWriteTest, ManyWritesLeaveNoTemporaries) {
    for (int i = 0; i < 20; ++i)
        ASSERT_TRUE(write("Misc", "Key", QString::number(i)));
    EXPECT_EQ(read("Misc", "Key"), QStringLiteral("19"));
    EXPECT_EQ(folderEntries(home), QStringList{QStringLiteral("Harborly.ini")});
}

// Hostile files: reading never crashes, and a write adds its section after every byte that
// was there.
struct HostileCase {
    const char* name;
    QByteArray (*make)();
};

QByteArray binaryGarbage() {
    QRandomGenerator random(20261206);
    QByteArray bytes(64 * 1024, Qt::Uninitialized);
    for (char& b : bytes)
        b = static_cast<char>(random.bounded(256));
    return bytes;
}

class IniHostileTest : public ::testing::TestWithParam<HostileCase> {};

TEST_P(IniHostileTest, NothingCrashesAndNoLineIsLost) {
    TempHome home;
    const QByteArray before = GetParam().make();
    home.write(QStringLiteral("Harborly.ini"), before);
    IniFile ini(home.file(QStringLiteral("Harborly.ini")));
    for (const char* key : {"Name", "PortRangeLow1", "Protocol1", "Selected", "Password"})
        (void)ini.read(QStringLiteral("Application1"), QString::fromLatin1(key));

    ASSERT_TRUE(
        ini.write(QStringLiteral("HarborlyProbe"), QStringLiteral("Key"), QStringLiteral("v")));
    const QByteArray after = home.read(QStringLiteral("Harborly.ini"));
    EXPECT_TRUE(after.startsWith(before));
    EXPECT_EQ(ini.read(QStringLiteral("HarborlyProbe"), QStringLiteral("Key")),
              QStringLiteral("v"));
}

INSTANTIATE_TEST_SUITE_P(
    Files, IniHostileTest,
    ::testing::Values(
        HostileCase{"BinaryGarbage", binaryGarbage},
        HostileCase{"NulBytes", [] { return QByteArray(4096, '\0'); }},
        HostileCase{"TenMegabyteLine",
                    [] { return "[Application1]\nName=" + QByteArray(10 * 1024 * 1024, 'n'); }},
        HostileCase{"NoNewlineAtEnd", [] { return QByteArray("[Application1]\r\nName=X"); }},
        HostileCase{"HeaderWithoutBracket", [] { return QByteArray("[Application1\nName=X\n["); }},
        HostileCase{"OnlyLineEnds", [] { return QByteArray("\r\n\n\r\r\n"); }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(IniFile, TenMegabyteValueReadsCut) {
    TempHome home;
    home.write(QStringLiteral("Harborly.ini"), "[A]\nName=" + QByteArray(10 * 1024 * 1024, 'n'));
    IniFile ini(home.file(QStringLiteral("Harborly.ini")));
    EXPECT_EQ(ini.read(QStringLiteral("A"), QStringLiteral("Name")), QString(254, u'n'));
    ASSERT_TRUE(ini.write(QStringLiteral("A"), QStringLiteral("Name"), QStringLiteral("short")));
    EXPECT_EQ(home.read(QStringLiteral("Harborly.ini")), QByteArray("[A]\nName=short"));
}

} // namespace
