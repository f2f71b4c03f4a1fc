// SPDX-License-Identifier: GPL-3.0-or-later
// When the automatic kind takes an answer: UPnP preferred, the kind the last run found at once
// when its protocol answers and no UPnP router has. Times are given, never waited for.
#include "router/AutoKindChoice.h"

#include "QtPrint.h"

#include <gtest/gtest.h>

namespace {

using ms = std::chrono::milliseconds;
using Heard = AutoKindChoice::Heard;

struct ChoiceCase {
    const char* name;
    const char* remembered;
    Heard heard;
    // When the PCP / NAT-PMP answer was first seen (asked once then), and when asked again.
    std::optional<ms> otherSeenAt;
    ms now;
    std::optional<QString> kind; // nothing: still waiting
};

Heard heardOf(bool upnpDone, bool upnpFound, bool upnpHeard, bool otherDone,
              const char* otherFound = "") {
    Heard h;
    h.upnpDone = upnpDone;
    h.upnpFound = upnpFound;
    h.upnpHeard = upnpHeard;
    h.otherDone = otherDone;
    h.otherFound = QString::fromLatin1(otherFound);
    return h;
}
Heard upnpFound() {
    return heardOf(true, true, true, false);
}
Heard other(const char* kind, bool upnpHeard = false, bool upnpDone = false) {
    return heardOf(upnpDone, false, upnpHeard, true, kind);
}

const ChoiceCase kCases[] = {
    {"UpnpWinsOverAnyMemory", "pcp", upnpFound(), {}, ms(40), QStringLiteral("upnp")},
    {"NothingYet", "", {}, {}, ms(5000), std::nullopt},
    {"NeitherFound", "pcp", heardOf(true, false, false, true), {}, ms(90), QString()},
    {"UpnpFailedOtherStillAsking",
     "",
     heardOf(true, false, false, false),
     {},
     ms(90),
     std::nullopt},
    {"UpnpFailedOtherFound",
     "",
     other("natpmp", false, true),
     {},
     ms(30),
     QStringLiteral("natpmp")},
    // Without memory UPnP has its discovery time...
    {"PcpWaitsForUpnpsTime", "", other("pcp"), {}, ms(10), std::nullopt},
    {"PcpAfterUpnpsTime", "", other("pcp"), ms(10), ms(250), QStringLiteral("pcp")},
    // ...with it the answer is taken at once.
    {"RememberedPcpAtOnce", "pcp", other("pcp"), {}, ms(10), QStringLiteral("pcp")},
    {"RememberedNatPmpAtOnce", "natpmp", other("natpmp"), {}, ms(12), QStringLiteral("natpmp")},
    {"RememberedAnotherProtocol", "pcp", other("natpmp"), {}, ms(10), std::nullopt},
    {"RememberedUpnp", "upnp", other("pcp"), {}, ms(10), std::nullopt},
    // A UPnP router that answered the search is waited for, memory or not, up to the grace.
    {"UpnpHeardOutweighsMemory", "pcp", other("pcp", true), ms(10), ms(900), std::nullopt},
    {"UpnpHeardPastGrace", "pcp", other("pcp", true), ms(10), ms(1010), QStringLiteral("pcp")},
};

void PrintTo(const ChoiceCase& c, std::ostream* os) {
    *os << c.name;
}

class AutoKindChoiceTest : public testing::TestWithParam<ChoiceCase> {};

TEST_P(AutoKindChoiceTest, Decides) {
    const ChoiceCase& c = GetParam();
    AutoKindChoice choice(QString::fromLatin1(c.remembered), ms(0));
    if (c.otherSeenAt) {
        EXPECT_EQ(choice.decide(c.heard, *c.otherSeenAt), std::nullopt);
    }
    EXPECT_EQ(choice.decide(c.heard, c.now), c.kind);
}

INSTANTIATE_TEST_SUITE_P(Searches, AutoKindChoiceTest, testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
