// SPDX-License-Identifier: GPL-3.0-or-later
// The firewall's openings as holds of the one keeper: made again when a reload dropped them,
// closed by Clear All Points, and nothing touched that Harborly did not open.
#include "router/firewall/FirewallHolds.h"
#include "router/firewall/LocalFirewall.h"
#include "router/keep/Keeper.h"
#include "router/leases/LeaseRecord.h"

#include "QtPrint.h"
#include "TempHome.h"
#include "platform/Clock.h"

#include <QSet>

#include <gtest/gtest.h>

namespace {

class StillClock final : public Clock {
public:
    QDateTime now() const override { return t; }
    QDateTime t = QDateTime(QDate(2026, 12, 8), QTime(12, 0), Qt::UTC);
};

// firewalld's runtime ports of one zone, in memory.
class ZoneFirewall final : public LocalFirewall {
public:
    QString name() const override { return QStringLiteral("firewalld"); }
    FirewallView read(int, const QString&) override { return {}; }
    QString place() override { return QStringLiteral("firewalld public"); }
    FirewallAnswer open(const QString& place, int port, const QString& protocol) override {
        if (!refusal.isEmpty())
            return {FirewallAnswer::Result::Refused, refusal};
        open_.insert(key(place, port, protocol));
        return {FirewallAnswer::Result::Done, {}};
    }
    FirewallAnswer close(const QString& place, int port, const QString& protocol) override {
        open_.remove(key(place, port, protocol));
        return {FirewallAnswer::Result::Done, {}};
    }
    std::optional<bool> holds(const QString& place, int port, const QString& protocol) override {
        return open_.contains(key(place, port, protocol));
    }
    bool reloadPending() const override { return reloaded; }
    void reloadSeen() override { reloaded = false; }
    static QString key(const QString& place, int port, const QString& protocol) {
        return QStringLiteral("%1 %2/%3").arg(place).arg(port).arg(protocol);
    }
    QSet<QString> open_;
    QString refusal;
    bool reloaded = false;
};

QString userOpening() {
    return ZoneFirewall::key(QStringLiteral("firewalld public"), 22, QStringLiteral("TCP"));
}

struct Rig {
    TempHome home;
    LeaseRecord record{home.file(QStringLiteral("Harborly.leases"))};
    StillClock clock;
    QStringList problems;
    QStringList notes;
    QStringList told;
    ZoneFirewall firewall;
    FirewallHolds holds{[this] { return &firewall; }, [] { return QStringLiteral("192.0.2.1"); }};
    Keeper keeper{record, clock, problems, notes,
                  Keeper::Hooks{[this](const QString& l) { told << l; },
                                [this](const QString& l) { told << l; }, [](const QString&) {},
                                [](const QString&) {}, [] { return false; }, [](int, int) {}}};

    Rig() { keeper.setRouter(QStringLiteral("192.0.2.1"), {&holds}); }

    LeaseEntry wanted(int port) const {
        LeaseEntry e;
        e.router = QStringLiteral("192.0.2.1");
        e.kind = FirewallHolds::Kind;
        e.protocol = QStringLiteral("TCP");
        e.externalPort = e.internalPort = port;
        e.application = QStringLiteral("One");
        e.address = QStringLiteral("firewalld public");
        return e;
    }
};

TEST(FirewallHolds, MadeKeptAfterReloadAndClearedAlone) {
    Rig rig;
    // The user's own opening, there before Harborly looked: never Harborly's.
    rig.firewall.open_.insert(userOpening());
    ASSERT_EQ(rig.keeper.point(rig.holds, {rig.wanted(6660), rig.wanted(8096)}, false),
              Outcome::Completed);
    EXPECT_EQ(rig.firewall.open_.size(), 3);
    const QList<LeaseEntry> lines = rig.record.load();
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(lines.first().state, LeaseEntry::State::Held);
    EXPECT_FALSE(lines.first().leaseEnd.isValid()); // until cleared
    // The line survives the record's text as it was written.
    EXPECT_EQ(ParseLeases(FormatLeases(lines)), std::optional<QList<LeaseEntry>>(lines));

    // A reload drops the runtime openings; the keeper looks at once, not at its next check,
    // and makes Harborly's again.
    rig.firewall.open_ = {userOpening()};
    rig.firewall.reloaded = true;
    EXPECT_EQ(rig.keeper.keep(), Outcome::Completed);
    EXPECT_FALSE(rig.firewall.reloaded);
    EXPECT_EQ(rig.firewall.open_.size(), 3);
    ASSERT_FALSE(rig.told.isEmpty());
    EXPECT_EQ(rig.told.first(),
              QStringLiteral("made again 6660/TCP (One) in this computer's firewall (firewalld, "
                             "zone public) on 192.0.2.1: gone from this computer's firewall (it "
                             "was reloaded)"));

    EXPECT_EQ(rig.keeper.clear(), Outcome::Completed);
    EXPECT_EQ(rig.firewall.open_, QSet<QString>{userOpening()});
    EXPECT_TRUE(rig.record.load().isEmpty());
    EXPECT_TRUE(rig.problems.isEmpty()) << rig.problems.join(QLatin1Char('\n')).toStdString();
}

// A refusal is said in the firewall's words, and nothing is left recorded for it.
TEST(FirewallHolds, RefusalSaidAndNotRecorded) {
    Rig rig;
    rig.firewall.refusal = QStringLiteral("firewalld refused: this user is not allowed to do it");
    EXPECT_EQ(rig.keeper.point(rig.holds, {rig.wanted(6660)}, false), Outcome::Error);
    EXPECT_EQ(rig.problems,
              QStringList{QStringLiteral("6660/TCP (One) in this computer's firewall (firewalld, "
                                         "zone public): firewalld refused: this user is not "
                                         "allowed to do it")});
    EXPECT_TRUE(rig.record.load().isEmpty());
}

// Made in another firewall than runs now: neither opened there nor closed.
TEST(FirewallHolds, OtherFirewallIsNotTouched) {
    Rig rig;
    LeaseEntry ufw = rig.wanted(6660);
    ufw.address = QStringLiteral("ufw");
    EXPECT_EQ(rig.holds.make(ufw).reply, Reply::Refused);
    EXPECT_EQ(rig.holds.remove(ufw).reply, Reply::Refused);
    EXPECT_EQ(rig.holds.lookUp(ufw), Presence::Unknown);
    EXPECT_TRUE(rig.firewall.open_.isEmpty());
}

} // namespace
