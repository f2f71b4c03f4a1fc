// SPDX-License-Identifier: GPL-3.0-or-later
// What Harborly reads of this computer's firewall without privilege, and the words it makes
// of it: ufw's switch from files the test writes, firewalld's port ranges, the setting.
#include "router/check/PortCheck.h"
#include "router/firewall/FirewallConsent.h"
#include "router/firewall/Firewalld.h"
#include "router/firewall/Ufw.h"

#include "QtPrint.h"
#include "TempHome.h"

#include <gtest/gtest.h>

namespace {

struct UfwCase {
    const char* conf;
    std::optional<bool> enabled;
};

class UfwConfTest : public testing::TestWithParam<UfwCase> {};

TEST_P(UfwConfTest, EnabledLine) {
    EXPECT_EQ(UfwEnabled(GetParam().conf), GetParam().enabled) << GetParam().conf;
}

INSTANTIATE_TEST_SUITE_P(
    Files, UfwConfTest,
    testing::Values(UfwCase{"# /etc/ufw/ufw.conf\nENABLED=yes\nLOGLEVEL=low\n", true},
                    UfwCase{"ENABLED=no\n", false}, UfwCase{"ENABLED=\"yes\"\r\n", true},
                    UfwCase{"  ENABLED = 'YES'\n", std::nullopt}, // ufw writes no blanks
                    UfwCase{"#ENABLED=yes\n", std::nullopt},
                    UfwCase{"ENABLED=maybe\n", std::nullopt},
                    UfwCase{"ENABLED=yes\nENABLED=no\n", false}, UfwCase{"", std::nullopt}));

struct UfwReadCase {
    const char* conf; // nullptr: no file
    HopState state;
    const char* words;
};

class UfwReadTest : public testing::TestWithParam<UfwReadCase> {};

TEST_P(UfwReadTest, StateWordsAndCommand) {
    TempHome home;
    FirewallPlaces places;
    places.ufwConf = home.file(QStringLiteral("ufw.conf"));
    if (GetParam().conf)
        home.write(QStringLiteral("ufw.conf"), GetParam().conf);
    Ufw ufw(places);
    const FirewallView v = ufw.read(6660, QStringLiteral("TCP"));
    EXPECT_EQ(v.state, GetParam().state);
    EXPECT_EQ(v.words, QString::fromUtf8(GetParam().words));
    EXPECT_EQ(v.firewall, QStringLiteral("ufw"));
    EXPECT_EQ(v.todo, GetParam().state == HopState::Open
                          ? QString()
                          : QStringLiteral("sudo ufw allow 6660/tcp"));
    // Only a ufw that is on is opened.
    EXPECT_EQ(ufw.place(), GetParam().conf && UfwEnabled(GetParam().conf) == true
                               ? QStringLiteral("ufw")
                               : QString());
}

INSTANTIATE_TEST_SUITE_P(
    Files, UfwReadTest,
    testing::Values(UfwReadCase{"ENABLED=yes\n", HopState::CannotTell,
                                "this computer's firewall (ufw) is on and may block 6660/TCP — let "
                                "it in with: sudo ufw allow 6660/tcp"},
                    UfwReadCase{"ENABLED=no\n", HopState::Open, ""},
                    UfwReadCase{"LOGLEVEL=low\n", HopState::CannotTell,
                                "cannot tell whether this computer's firewall (ufw) lets 6660/TCP "
                                "in: its settings cannot be read"},
                    UfwReadCase{nullptr, HopState::CannotTell,
                                "cannot tell whether this computer's firewall (ufw) lets 6660/TCP "
                                "in: its settings cannot be read"}));

// The command line never asks for privilege: it says the command instead.
TEST(Ufw, CommandLineOpensNothingAndSaysTheCommand) {
    TempHome home;
    home.write(QStringLiteral("ufw.conf"), "ENABLED=yes\n");
    FirewallPlaces places;
    places.ufwConf = home.file(QStringLiteral("ufw.conf"));
    Ufw ufw(places);
    const FirewallAnswer opened = ufw.open(ufw.place(), 51820, QStringLiteral("UDP"));
    EXPECT_EQ(opened.result, FirewallAnswer::Result::Refused);
    EXPECT_TRUE(opened.why.endsWith(QStringLiteral("run: sudo ufw allow 51820/udp")))
        << opened.why.toStdString();
    EXPECT_TRUE(ufw.close(ufw.place(), 51820, QStringLiteral("UDP"))
                    .why.endsWith(QStringLiteral("run: sudo ufw delete allow 51820/udp")));
}

TEST(Firewalld, PortRanges) {
    struct Case {
        const char* range;
        int port;
        bool holds;
    };
    for (const Case& c :
         {Case{"6660", 6660, true}, Case{"6660", 6661, false}, Case{"6000-7000", 6660, true},
          Case{"6000-7000", 7000, true}, Case{"6000-7000", 7001, false},
          Case{"7000-6000", 6660, false}, Case{"", 0, false}, Case{"-", 0, false},
          Case{"6660-", 6660, false}, Case{"x", 0, false}, Case{"1-2-3", 2, false}})
        EXPECT_EQ(PortRangeHolds(QString::fromLatin1(c.range), c.port), c.holds) << c.range;
    EXPECT_EQ(Firewalld::ZoneOf(QStringLiteral("firewalld public")), QStringLiteral("public"));
    EXPECT_EQ(Firewalld::ZoneOf(QStringLiteral("ufw")), QString());
}

TEST(FirewallConsent, Setting) {
    struct Case {
        const char* ini;
        FirewallChoice choice;
    };
    for (const Case& c :
         {Case{"", FirewallChoice::Ask}, Case{"LocalFirewall=open", FirewallChoice::Open},
          Case{"LocalFirewall= Leave ", FirewallChoice::Leave},
          Case{"LocalFirewall=ask", FirewallChoice::Ask},
          Case{"LocalFirewall=yes", FirewallChoice::Ask}}) {
        TempHome home;
        home.write(QStringLiteral("Harborly.ini"), QByteArray("[Misc]\r\n") + c.ini + "\r\n");
        EXPECT_EQ(FirewallChoiceFor(home.file(QStringLiteral("Harborly.ini"))), c.choice) << c.ini;
    }
}

PortCheck forwardedCheck(int port, std::optional<FirewallView> firewall) {
    PortCheck c;
    c.mapping = {port, QStringLiteral("TCP"), QStringLiteral("One"), {}};
    c.forwarded = true;
    Listener l;
    l.address = QHostAddress(QHostAddress::AnyIPv4);
    l.program = QStringLiteral("python3");
    c.listeners = {l};
    c.firewall = std::move(firewall);
    return c;
}

FirewallView firewalld(HopState state, const char* words, const char* todo = "") {
    return {state, QStringLiteral("firewalld"), QStringLiteral("public"), QString::fromUtf8(words),
            QString::fromUtf8(todo)};
}

// The check's line names the firewall; a port it blocks needs something done, and is offered.
TEST(FirewallInTheCheck, LineGoodAndOffered) {
    struct Case {
        std::optional<FirewallView> firewall;
        const char* line;
        bool good;
        bool offered;
    };
    const Case cases[] = {
        {std::nullopt, "One 6660/TCP: forwarded, python3 listens on 6660", true, false},
        {FirewallView{}, "One 6660/TCP: forwarded, python3 listens on 6660", true, false},
        {firewalld(HopState::Blocked,
                   "this computer's firewall (firewalld, zone public) blocks 6660/TCP",
                   "sudo firewall-cmd --zone=public --add-port=6660/tcp"),
         "One 6660/TCP: forwarded, python3 listens on 6660, this computer's firewall (firewalld, "
         "zone public) blocks 6660/TCP",
         false, true},
        {firewalld(HopState::Open,
                   "this computer's firewall (firewalld, zone public) lets 6660/TCP in"),
         "One 6660/TCP: forwarded, python3 listens on 6660, this computer's firewall (firewalld, "
         "zone public) lets 6660/TCP in",
         true, false},
        {firewalld(HopState::CannotTell, "cannot tell whether … : firewalld refused"),
         "One 6660/TCP: forwarded, python3 listens on 6660, cannot tell whether … : firewalld "
         "refused",
         true, false},
        {FirewallView{HopState::CannotTell,
                      QStringLiteral("ufw"),
                      {},
                      QStringLiteral("may block"),
                      QStringLiteral("sudo ufw allow 6660/tcp")},
         "One 6660/TCP: forwarded, python3 listens on 6660, may block", true, true},
    };
    for (const Case& c : cases) {
        const QList<PortCheck> checks{forwardedCheck(6660, c.firewall)};
        EXPECT_EQ(CheckLines(checks), QStringList{QString::fromUtf8(c.line)});
        EXPECT_EQ(checks.first().good(), c.good) << c.line;
        EXPECT_EQ(BlockedHere(checks).size(), c.offered ? 1 : 0) << c.line;
    }
}

TEST(FirewallConsent, QuestionNamesPortsFirewallAndZone) {
    const FirewallView blocked = firewalld(HopState::Blocked, "blocks", "sudo firewall-cmd");
    const QList<PortCheck> checks{forwardedCheck(6660, blocked), forwardedCheck(8096, blocked)};
    EXPECT_EQ(FirewallQuestion(BlockedHere(checks)),
              QStringLiteral("The router now forwards 6660/TCP (One), 8096/TCP (One) to this "
                             "computer, but this computer's own firewall (firewalld, zone public) "
                             "blocks them or may block them.\rOpen them here too? Harborly keeps "
                             "them open with the forwards and closes them again with Clear All "
                             "Points."));
    EXPECT_EQ(FirewallButtons(),
              (QStringList{QStringLiteral("Open them here too"), QStringLiteral("Not now"),
                           QStringLiteral("Never ask")}));
}

} // namespace
