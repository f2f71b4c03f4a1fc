// SPDX-License-Identifier: GPL-3.0-or-later
// Whether the ports the firewall blocks are opened after Point To Me: the setting, the user's
// answer through the Prompts seam, and "Never ask" remembered.
#include "router/firewall/FirewallConsent.h"
#include "router/Router.h"
#include "router/firewall/LocalFirewall.h"

#include "QtPrint.h"
#include "RecordingPrompts.h"
#include "TempHome.h"
#include "config/IniFile.h"

#include <gtest/gtest.h>

namespace {

// Blocks every port until the router opens it.
class ShutFirewall final : public LocalFirewall {
public:
    QString name() const override { return QStringLiteral("firewalld"); }
    FirewallView read(int port, const QString& protocol) override {
        const bool open = opened.contains(port);
        return {open ? HopState::Open : HopState::Blocked, name(), QStringLiteral("public"),
                open ? QStringLiteral("lets in") : QStringLiteral("blocks"),
                open ? QString() : FirewalldAddCommand(QStringLiteral("public"), port, protocol)};
    }
    QString place() override { return QStringLiteral("firewalld public"); }
    FirewallAnswer open(const QString&, int, const QString&) override { return {}; }
    FirewallAnswer close(const QString&, int, const QString&) override { return {}; }
    std::optional<bool> holds(const QString&, int, const QString&) override { return {}; }
    QList<int> opened;
};

class OpeningRouter final : public Router {
public:
    QString kindName() const override { return QStringLiteral("pcp"); }
    RouterCapabilities capabilities() const override { return {}; }
    void Timer1_Timer() override {}
    QString wanAddress() const override { return {}; }
    void PointToMe() override {}
    PointOutcome lastPointOutcome() const override { return PointOutcome::Sent; }
    Outcome lastOutcome() const override { return Outcome::Completed; }
    bool ClearAll() override { return true; }
    bool SetDmz(bool) override { return false; }
    std::optional<QList<ForwardEntry>> ReadForwards() override { return std::nullopt; }
    LocalFirewall* localFirewall() override { return &firewall; }
    bool OpenLocalFirewall(const QList<PlannedMapping>& ports) override {
        for (const PlannedMapping& m : ports)
            firewall.opened << m.port;
        return true;
    }
    ShutFirewall firewall;
};

struct Case {
    const char* setting; // [Misc] LocalFirewall; nullptr: none
    bool window;         // the window asks; the command line does not
    int answer;          // the button chosen
    bool asked;
    bool opened;
    const char* after; // the setting afterwards
};

class ConsentTest : public testing::TestWithParam<Case> {};

TEST_P(ConsentTest, OpensOnlyWithConsent) {
    const Case& c = GetParam();
    TempHome home;
    const QString ini = home.file(QStringLiteral("Harborly.ini"));
    home.write(QStringLiteral("Harborly.ini"), "[Misc]\r\nRouterKind=pcp\r\n");
    if (c.setting)
        IniFile(ini).write(QStringLiteral("Misc"), QStringLiteral("LocalFirewall"),
                           QString::fromLatin1(c.setting));
    OpeningRouter router;
    RecordingPrompts prompts;
    prompts.answer = c.answer;
    PortCheck blocked;
    blocked.mapping = {6660, QStringLiteral("TCP"), QStringLiteral("One"), {}};
    PortCheck open = blocked;
    open.mapping.port = 6661;
    router.firewall.opened = {6661}; // the user's own: never offered
    QList<PortCheck> checks{blocked, open};
    LookAtFirewall(router, checks);

    EXPECT_EQ(OfferFirewallOpening(router, checks, ini, c.window ? &prompts : nullptr), c.opened);
    EXPECT_EQ(prompts.questions.size(), c.asked ? 1 : 0);
    if (c.asked) {
        EXPECT_TRUE(prompts.questions.first().text.contains(QStringLiteral("6660/TCP (One) to")));
    }
    EXPECT_EQ(router.firewall.opened, c.opened ? (QList<int>{6661, 6660}) : QList<int>{6661});
    // The checks say what the firewall does now.
    EXPECT_EQ(checks.first().firewall->state, c.opened ? HopState::Open : HopState::Blocked);
    EXPECT_EQ(IniFile(ini).read(QStringLiteral("Misc"), QStringLiteral("LocalFirewall")),
              QString::fromLatin1(c.after));
}

INSTANTIATE_TEST_SUITE_P(
    Settings, ConsentTest,
    testing::Values(Case{nullptr, true, 0, true, true, ""},         // Open them here too
                    Case{nullptr, true, 1, true, false, ""},        // Not now
                    Case{"ask", true, 2, true, false, "leave"},     // Never ask
                    Case{"ask", true, -1, true, false, "ask"},      // the box closed
                    Case{"leave", true, 0, false, false, "leave"},  // never touched
                    Case{"open", true, 1, false, true, "open"},     // opened without asking
                    Case{nullptr, false, 0, false, false, ""},      // the command line asks none
                    Case{"open", false, -1, false, true, "open"})); // unless told to open

} // namespace
