// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/Configuration.h"

#include "Module.h"
#include "TempHome.h"
#include "config/IniFile.h"

#include <gtest/gtest.h>

namespace {

class ConfigurationTest : public ::testing::Test {
protected:
    void load(const QByteArray& ini) {
        home.write(QStringLiteral("Harborly.ini"), ini);
        LoadConfiguration(module, home.path());
    }
    const ApplEntry& entry(int i) const { return module.catalog.entry(i); }

    TempHome home;
    Module module;
};

struct Range {
    qint16 protocol;
    QString low;
    QString high;
};

void expectRanges(const ApplEntry& e, const QList<Range>& expected) {
    ASSERT_EQ(e.RangeCount(), expected.size()) << e.Name.toStdString();
    for (int i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(i + 1);
        EXPECT_EQ(e.Ranges[i].Protocol, expected[i].protocol);
        EXPECT_EQ(e.Ranges[i].PortRangeLow, expected[i].low);
        EXPECT_EQ(e.Ranges[i].PortRangeHigh, expected[i].high);
        EXPECT_TRUE(e.Ranges[i].Slot.isEmpty());
    }
}

TEST_F(ConfigurationTest, NoIniFileGivesDefaults) {
    LoadConfiguration(module, home.path().chopped(1)); // no trailing slash
    EXPECT_EQ(module.catalog.ApplCount(), 0);
    EXPECT_EQ(module.settings.LanPrivateIP, QStringLiteral("192.168.1.1"));
    EXPECT_TRUE(module.settings.RequireLogin);
    EXPECT_FALSE(module.settings.PasswordStored);
    EXPECT_EQ(module.paths.AppPath, home.path());
    EXPECT_EQ(module.paths.IniPath, home.file(QStringLiteral("Harborly.ini")));
    EXPECT_EQ(module.paths.LogPath, home.file(QStringLiteral("Harborly.log")));
    EXPECT_EQ(module.paths.HtmPath, home.file(QStringLiteral("Harborly.htm")));
    EXPECT_EQ(module.paths.HlpPath, home.file(QStringLiteral("Harborly.hlp")));
    EXPECT_FALSE(home.exists(QStringLiteral("Harborly.ini")));
}

TEST_F(ConfigurationTest, SampleFile) {
    load("[Application1]\r\n"
         "Name=Web Server\r\n"
         "PortRangeLow1=80\r\n"
         "PortRangeHigh1=80\r\n"
         "Protocol1=tcp\r\n"
         "PortRangeLow2=443\r\n"
         "PortRangeHigh2=443\r\n"
         "Protocol2=TCP\r\n"
         "\r\n"
         "[Application2]\r\n"
         "Name=Game Host\r\n"
         "PortRangeLow1=27015\r\n"
         "PortRangeHigh1=27030\r\n"
         "Protocol1=both\r\n"
         "PortRangeLow3=4380\r\n"
         "PortRangeHigh3=4380\r\n"
         "Protocol3=udp\r\n"
         "\r\n"
         "[Misc]\r\n"
         "LanPrivateIP=192.168.1.1\r\n"
         "RequireLogin=bm8=\r\n"
         "Selected=Game Host,\r\n");
    ASSERT_EQ(module.catalog.ApplCount(), 2);
    EXPECT_EQ(entry(1).Name, QStringLiteral("Web Server"));
    expectRanges(entry(1), {{ProtocolTcp, "80", "80"}, {ProtocolTcp, "443", "443"}});
    EXPECT_EQ(entry(2).Name, QStringLiteral("Game Host"));
    expectRanges(entry(2), {{ProtocolBoth, "27015", "27030"}, {ProtocolUdp, "4380", "4380"}});
    EXPECT_EQ(module.settings.LanPrivateIP, QStringLiteral("192.168.1.1"));
    EXPECT_FALSE(module.settings.RequireLogin);
    EXPECT_FALSE(module.settings.PasswordStored);
    EXPECT_EQ(ReadSelected(module.paths), QStringLiteral("Game Host,"));
}

TEST_F(ConfigurationTest, CatalogEndsAtFirstMissingSection) {
    load("[Application1]\nName=One\n[Application2]\nName=Two\n[Application4]\nName=Four\n");
    ASSERT_EQ(module.catalog.ApplCount(), 2);
    EXPECT_EQ(entry(2).Name, QStringLiteral("Two"));
}

TEST_F(ConfigurationTest, SectionTwentyOneNeverRead) {
    QByteArray ini;
    for (int i = 21; i >= 1; --i) // order in the file does not matter
        ini +=
            "[Application" + QByteArray::number(i) + "]\nName=App " + QByteArray::number(i) + "\n";
    load(ini);
    ASSERT_EQ(module.catalog.ApplCount(), 20);
    EXPECT_EQ(entry(1).Name, QStringLiteral("App 1"));
    EXPECT_EQ(entry(20).Name, QStringLiteral("App 20"));
    // Not without a word.
    EXPECT_EQ(module.catalog.leftOutText(),
              QStringLiteral("Harborly.ini names 21 applications; the list holds 20, so "
                             "[Application21] and after are left out."));
    load("[Application1]\nName=One\n[Application21]\nName=Far\n");
    EXPECT_TRUE(module.catalog.leftOutText().isEmpty());
}

TEST_F(ConfigurationTest, NameOfOnlySpacesEndsCatalog) {
    load("[Application1]\nName=    \n[Application2]\nName=Two\n");
    EXPECT_EQ(module.catalog.ApplCount(), 0);
}

TEST_F(ConfigurationTest, NameTrimmedAndCutTo254) {
    load("[Application1]\nName=  Inner  Spaces  \n[Application2]\nName=" + QByteArray(300, 'x') +
         "\n");
    ASSERT_EQ(module.catalog.ApplCount(), 2);
    EXPECT_EQ(entry(1).Name, QStringLiteral("Inner  Spaces"));
    EXPECT_EQ(entry(2).Name, QString(254, u'x'));
}

TEST_F(ConfigurationTest, RangesPackedSkippingInvalidOnes) {
    load("[Application1]\nName=Mixed\n"
         "PortRangeLow1=1\nPortRangeHigh1=2\nProtocol1=UDP\n"
         // 2: a high port without a low port
         "PortRangeHigh2=3\nProtocol2=tcp\n"
         // 3: a low port without a high port
         "PortRangeLow3=5\nProtocol3=tcp\n"
         "PortRangeLow4=7\nPortRangeHigh4=8\nProtocol4=Both\n"
         // 5: a protocol that is not one word
         "PortRangeLow5=9\nPortRangeHigh5=9\nProtocol5=tcp/udp\n"
         // 6: no protocol
         "PortRangeLow6=10\nPortRangeHigh6=10\n"
         // 7: an empty low port
         "PortRangeLow7=\nPortRangeHigh7=11\nProtocol7=tcp\n"
         "PortRangeLow10= abc \nPortRangeHigh10=1-2\nProtocol10= tCp \n"
         // 11 is beyond the ten ranges
         "PortRangeLow11=12\nPortRangeHigh11=12\nProtocol11=tcp\n");
    ASSERT_EQ(module.catalog.ApplCount(), 1);
    expectRanges(entry(1),
                 {{ProtocolUdp, "1", "2"}, {ProtocolBoth, "7", "8"}, {ProtocolTcp, "abc", "1-2"}});
}

TEST_F(ConfigurationTest, ApplicationWithoutValidRangesStillLoaded) {
    load("[Application1]\nName=Empty\nPortRangeLow1=1\nProtocol1=tcp\n"
         "[Application2]\nName=Next\nPortRangeLow1=5\nPortRangeHigh1=6\nProtocol1=udp\n");
    ASSERT_EQ(module.catalog.ApplCount(), 2);
    EXPECT_EQ(entry(1).RangeCount(), 0);
    expectRanges(entry(2), {{ProtocolUdp, "5", "6"}});
}

TEST_F(ConfigurationTest, LoadingAgainReplacesCatalog) {
    load("[Application1]\nName=One\n[Application2]\nName=Two\n");
    load("[Application1]\nName=Only\n");
    ASSERT_EQ(module.catalog.ApplCount(), 1);
    EXPECT_EQ(entry(1).Name, QStringLiteral("Only"));
}

TEST_F(ConfigurationTest, LanAddressAsRead) {
    load("[Misc]\nLanPrivateIP=  127.0.0.1:8080  \n");
    EXPECT_EQ(module.settings.LanPrivateIP, QStringLiteral("127.0.0.1:8080"));
    module.settings.LanPrivateIP = QStringLiteral("192.168.1.1");
    load("[Misc]\nLanPrivateIP=\n");
    EXPECT_EQ(module.settings.LanPrivateIP, QStringLiteral("192.168.1.1"));
}

TEST_F(ConfigurationTest, Ipv6AddressAsReadAndGoneWithItsKey) {
    load("[Misc]\nIpv6Address= 2001:db8:1::100 \n");
    EXPECT_EQ(module.settings.Ipv6Address, QStringLiteral("2001:db8:1::100"));
    load("[Misc]\nRouterKind=upnp\n");
    EXPECT_TRUE(module.settings.Ipv6Address.isEmpty());
}

struct LoginCase {
    const char* name;
    QByteArray line; // the [Misc] line, or empty for none
    bool requireLogin;
};

class RequireLoginTest : public ::testing::TestWithParam<LoginCase> {};

TEST_P(RequireLoginTest, Decoded) {
    TempHome home;
    home.write(QStringLiteral("Harborly.ini"), "[Misc]\n" + GetParam().line + "\n");
    Module module;
    module.settings.RequireLogin = !GetParam().requireLogin;
    LoadConfiguration(module, home.path());
    EXPECT_EQ(module.settings.RequireLogin, GetParam().requireLogin);
}

INSTANTIATE_TEST_SUITE_P(
    Values, RequireLoginTest,
    ::testing::Values(LoginCase{"Missing", "", true}, LoginCase{"Empty", "RequireLogin=", true},
                      LoginCase{"EncodedNo", "RequireLogin=bm8=", false},
                      LoginCase{"EncodedNoCapitals", "RequireLogin=Tk8=", false},
                      LoginCase{"EncodedZero", "RequireLogin=MA==", false},
                      LoginCase{"EncodedYes", "RequireLogin=eWVz", true},
                      LoginCase{"EncodedNoWithSpace", "RequireLogin=bm8g", true},
                      LoginCase{"HandTypedNo", "RequireLogin=no", true},
                      LoginCase{"RejectedByDecoder", "RequireLogin=x", true},
                      LoginCase{"OnlyPadding", "RequireLogin===", true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ConfigurationTest, PasswordDecodedUnchanged) {
    load("[Misc]\nPassword=" + EncodeSetting(*module.codec, QStringLiteral(" Se cret ")).toUtf8() +
         "\n");
    EXPECT_TRUE(module.settings.PasswordStored);
    EXPECT_EQ(module.settings.Password, QStringLiteral(" Se cret "));
}

TEST_F(ConfigurationTest, PasswordMissingEmptyOrRejectedNotStored) {
    for (const QByteArray& ini :
         {QByteArray("[Misc]\n"), QByteArray("[Misc]\nPassword=\n"),
          QByteArray("[Misc]\nPassword=  \n"), QByteArray("[Misc]\nPassword=x\n")}) {
        SCOPED_TRACE(ini.toStdString());
        module.settings.Password = QStringLiteral("typed earlier");
        module.settings.PasswordStored = true;
        load(ini);
        EXPECT_FALSE(module.settings.PasswordStored);
        EXPECT_EQ(module.settings.Password, QStringLiteral("typed earlier"));
    }
}

TEST_F(ConfigurationTest, LongPasswordStoredOnOneLineAndReadBack) {
    for (int length : {1, 57, 58, 83, 189}) { // the box takes 83; 189 is the most 254 holds
        SCOPED_TRACE(length);
        QString password;
        for (int i = 0; i < length; ++i)
            password += QChar(u'!' + i % 90);
        const QString encoded = EncodeSetting(*module.codec, password);
        EXPECT_FALSE(encoded.contains(u'\r') || encoded.contains(u'\n'));
        EXPECT_EQ(encoded.size(), (length + 2) / 3 * 4);
        if (length <= 57) {
            EXPECT_LE(encoded.size(), 76);
        }

        IniFile ini(home.file(QStringLiteral("Harborly.ini")));
        ASSERT_TRUE(ini.write(QStringLiteral("Misc"), QStringLiteral("Password"), encoded));
        module.settings.PasswordStored = false;
        LoadConfiguration(module, home.path());
        EXPECT_TRUE(module.settings.PasswordStored);
        EXPECT_EQ(module.settings.Password, password);
    }
}

TEST(EncodeSetting, RejectedTextGivesEmpty) {
    Base64 codec;
    EXPECT_TRUE(EncodeSetting(codec, QString()).isEmpty());
    EXPECT_EQ(EncodeSetting(codec, QStringLiteral("no")), QStringLiteral("bm8="));
    EXPECT_EQ(EncodeSetting(codec, QStringLiteral("yes")), QStringLiteral("eWVz"));
}

TEST_F(ConfigurationTest, SelectedWrittenAndReadBackWhole) {
    LoadConfiguration(module, home.path());
    ASSERT_TRUE(WriteSelected(module.paths, QStringLiteral("Game Host,Web Server,")));
    EXPECT_EQ(ReadSelected(module.paths), QStringLiteral("Game Host,Web Server,"));
    EXPECT_EQ(home.read(QStringLiteral("Harborly.ini")),
              QByteArray("[Misc]\r\nSelected=Game Host,Web Server,\r\n"));

    QString many;
    while (many.size() < 300)
        many += QStringLiteral("Application,");
    // A Select All of a large catalogue comes back whole; its last application stays selected.
    ASSERT_TRUE(WriteSelected(module.paths, many));
    EXPECT_EQ(ReadSelected(module.paths), many);
}

TEST(WriteSelected, FailureReported) {
    TempHome home;
    const LocalPaths paths = LocalPaths::inFolder(home.file(QStringLiteral("missing")));
    EXPECT_FALSE(WriteSelected(paths, QStringLiteral("A,")));
    EXPECT_TRUE(ReadSelected(paths).isEmpty());
}

TEST(LocalPaths, EmptyFolderIsNotTheRootFolder) {
    EXPECT_EQ(LocalPaths::inFolder(QString()).IniPath, QStringLiteral("./Harborly.ini"));
}

} // namespace
