// SPDX-License-Identifier: GPL-3.0-or-later
// A port's way in, hop by hop: which hop stops it, and what to do there. Each case is a check
// as the port check leaves it; the hops are read as one mark each, left to right.
#include "router/check/WayIn.h"

#include "QtPrint.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

Listener listener(const char* address, const char* program) {
    return {QHostAddress(QString::fromLatin1(address)), QStringLiteral("TCP"), 1,
            QString::fromLatin1(program)};
}

FirewallView firewall(HopState state, const char* todo = "") {
    return {state, QStringLiteral("firewalld"), QStringLiteral("public"), QStringLiteral("said"),
            QString::fromUtf8(todo)};
}

// o open, x blocked, ? cannot tell.
QString marks(const WayIn& way) {
    QString out;
    for (const Hop& h : way.hops)
        out += h.state == HopState::Open      ? QLatin1Char('o')
               : h.state == HopState::Blocked ? QLatin1Char('x')
                                              : QLatin1Char('?');
    return out;
}

struct Case {
    const char* what;
    std::function<void(PortCheck&)> set;
    const char* marks;
    const char* todo;
};

class WayInTest : public testing::TestWithParam<Case> {};

TEST_P(WayInTest, MarksEachHopAndSaysWhatToDo) {
    PortCheck c;
    c.mapping = {6660, QStringLiteral("TCP"), QStringLiteral("One"), QStringLiteral("One")};
    c.forwarded = true;
    c.listeners = {listener("0.0.0.0", "python3")};
    GetParam().set(c);
    const WayIn way = WayInOf(c);
    EXPECT_EQ(marks(way), QString::fromLatin1(GetParam().marks));
    EXPECT_EQ(way.todo, QString::fromUtf8(GetParam().todo));
}

INSTANTIATE_TEST_SUITE_P(
    Ports, WayInTest,
    testing::Values(
        Case{"reached from outside: the firewall not looked at lets it in",
             [](PortCheck& c) { c.outside = Outside::Open; }, "oooo", ""},
        Case{"nothing asked from outside", [](PortCheck&) {}, "?o?o", ""},
        Case{"not forwarded, nothing listens",
             [](PortCheck& c) {
                 c.forwarded = false;
                 c.listeners.clear();
             },
             "?x?x", "press Point To Me"},
        Case{"the router cannot be asked, nothing listens",
             [](PortCheck& c) {
                 c.forwarded.reset();
                 c.listeners.clear();
             },
             "???x", "start One"},
        Case{"listening for this computer alone",
             [](PortCheck& c) { c.listeners = {listener("127.0.0.1", "python3")}; }, "?o?x",
             "let python3 listen on all addresses"},
        Case{"the firewall blocks before the program is reached",
             [](PortCheck& c) {
                 c.firewall = firewall(HopState::Blocked, "sudo firewall-cmd --add-port=6660/tcp");
                 c.listeners = {listener("127.0.0.1", "")};
             },
             "?oxx", "sudo firewall-cmd --add-port=6660/tcp"},
        Case{"the checker is closed and nothing here blocks: the Internet",
             [](PortCheck& c) {
                 c.outside = Outside::Closed;
                 c.firewall = firewall(HopState::Open);
             },
             "xooo",
             "ask the provider whether it lets 6660/TCP in, and whether the router's outside "
             "address is its own (not shared)"},
        Case{"the checker is closed and a firewall that may block says how",
             [](PortCheck& c) {
                 c.outside = Outside::Closed;
                 c.firewall = firewall(HopState::CannotTell, "sudo ufw allow 6660/tcp");
             },
             "xo?o", "sudo ufw allow 6660/tcp"},
        Case{"the checker is closed because nothing listens",
             [](PortCheck& c) {
                 c.outside = Outside::Closed;
                 c.listeners.clear();
             },
             "?o?x", "start One"},
        Case{"made again, still nothing arrives",
             [](PortCheck& c) {
                 c.outside = Outside::Closed;
                 c.remade = Remade::StillNothing;
             },
             "xo?o",
             "restart the router, then check again; if nothing arrives still, ask the provider "
             "whether it lets 6660/TCP in"},
        Case{"the router in front does not forward",
             [](PortCheck& c) {
                 c.outer = OuterView{QStringLiteral("10.0.0.1"), false, {}};
             },
             "?xo?o", "forward 6660/TCP on the router in front to this router"},
        Case{"the router in front forwards",
             [](PortCheck& c) {
                 c.outer = OuterView{QStringLiteral("10.0.0.1"), true, {}};
             },
             "?oo?o", ""},
        Case{"a hairpin taken by another computer",
             [](PortCheck& c) { c.hairpin = Hairpin::ReachedOther; }, "?x?o",
             "look in View Points for another forward of 6660/TCP, then press Point To Me"},
        Case{"over IPv6 alone without a pinhole",
             [](PortCheck& c) {
                 c.ipv6Only = true;
                 c.forwarded.reset();
             },
             "?x?o", "press Point To Me"},
        Case{"over IPv6 alone with the pinhole open",
             [](PortCheck& c) {
                 c.ipv6Only = true;
                 c.pinhole = true;
             },
             "?o?o", ""}));

TEST(WayIn, NamesAndWordsOfEachHop) {
    PortCheck c;
    c.mapping = {6660, QStringLiteral("TCP"), QStringLiteral("One"), QStringLiteral("One")};
    c.forwarded = true;
    c.listeners = {listener("127.0.0.1", "python3")};
    c.firewall = firewall(HopState::Blocked, "sudo firewall-cmd --add-port=6660/tcp");
    c.outside = Outside::Closed;
    c.remade = Remade::Failed;
    c.remadeNote = QStringLiteral("no answer");
    EXPECT_EQ(WayInLines(WayInOf(c)),
              QStringList({QStringLiteral("Internet: cannot tell — the router held the forward "
                                          "but nothing arrived; making it again failed (no "
                                          "answer)"),
                           QStringLiteral("Router: open — forwarded"),
                           QStringLiteral("This computer's firewall (firewalld, zone public): "
                                          "blocked — said"),
                           QStringLiteral("python3: blocked — listens on 6660 only for this "
                                          "computer (127.0.0.1)"),
                           QStringLiteral("To do: sudo firewall-cmd --add-port=6660/tcp")}));
}

} // namespace
