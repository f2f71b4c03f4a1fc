// SPDX-License-Identifier: GPL-3.0-or-later
#include "router/check/PortCheck.h"

#include "config/IniFile.h"
#include "router/Router.h"
#include "router/check/RouterOnLoopback.h"
#include "router/firewall/LocalFirewall.h"
#include "router/net/ExternalAddress.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QNetworkProxy>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>
#include <QUrlQuery>

#include <algorithm>
#include <functional>
#include <memory>
#include <vector>

namespace {

// Runs the event loop until `done` or the time is up; the window keeps painting meanwhile.
bool runUntil(const std::function<bool()>& done, std::chrono::milliseconds wait) {
    const QDeadlineTimer deadline(wait);
    QEventLoop loop;
    QTimer wake;
    QObject::connect(&wake, &QTimer::timeout, &loop, &QEventLoop::quit);
    wake.start(10);
    while (!done() && !deadline.hasExpired())
        loop.exec();
    return done();
}

QString programsText(const QList<Listener>& listeners) {
    QStringList names;
    for (const Listener& l : listeners)
        if (!l.program.isEmpty() && !names.contains(l.program))
            names << l.program;
    return names.isEmpty() ? QCoreApplication::translate("Router", "a program")
                           : names.join(QStringLiteral(", "));
}

bool takesOutsideTraffic(const QList<Listener>& listeners) {
    for (const Listener& l : listeners)
        if (!l.loopbackOnly())
            return true;
    return false;
}

// Whether a program takes the port from outside over IPv6 (true) or IPv4 (false).
bool takesFamily(const QList<Listener>& listeners, bool ipv6) {
    return std::any_of(listeners.begin(), listeners.end(), [ipv6](const Listener& l) {
        return !l.loopbackOnly() && (ipv6 ? l.takesIpv6() : l.takesIpv4());
    });
}

// Whether `c` can be tried at all: why not goes to its note.
bool hairpinCandidate(PortCheck& c, const QString& wan, const CheckOptions& o) {
    // Over IPv6 alone there is no IPv4 way back in to try.
    if (c.ipv6Only || c.forwarded == false || !takesOutsideTraffic(c.listeners))
        return false;
    if (c.mapping.protocol != QLatin1String("TCP")) {
        c.hairpinNote = QCoreApplication::translate(
            "Router", "whether it arrives from outside cannot be told from inside "
                      "for UDP");
        return false;
    }
    const QHostAddress outside(wan);
    if (outside.isNull()) {
        c.hairpinNote =
            QCoreApplication::translate("Router", "the router told no outside address to try");
        return false;
    }
    // A router on loopback is simulated: its outside address is made up and may be anyone's.
    if (o.routerOnLoopback && !outside.isLoopback()) {
        c.hairpinNote = QCoreApplication::translate(
            "Router", "cannot tell from inside: the router on this computer's "
                      "loopback has no real outside address to try");
        return false;
    }
    // A loopback outside address is a router simulated on this computer.
    if (ClassifyExternalAddress(wan) != ExternalAddressKind::Public && !outside.isLoopback()) {
        c.hairpinNote = QCoreApplication::translate(
                            "Router", "cannot tell from inside: the router's outside address %1 "
                                      "is not on the Internet")
                            .arg(outside.toString());
        return false;
    }
    return true;
}

// Whether a connection to the router's outside address comes back in, and to this computer:
// all ports at once, so a router that drops them costs one wait, not one per port.
void checkHairpins(QList<PortCheck>& checks, const QString& wan, const CheckOptions& o) {
    struct Attempt {
        PortCheck* check;
        std::unique_ptr<QTcpSocket> socket;
        bool ended = false;
    };
    std::vector<Attempt> attempts;
    for (PortCheck& c : checks)
        if (hairpinCandidate(c, wan, o))
            attempts.push_back({&c, std::make_unique<QTcpSocket>()});
    if (attempts.empty())
        return;
    for (Attempt& a : attempts) {
        a.socket->setProxy(QNetworkProxy::NoProxy);
        QObject::connect(a.socket.get(), &QTcpSocket::errorOccurred, [&a] { a.ended = true; });
        a.socket->connectToHost(QHostAddress(wan), quint16(a.check->mapping.port));
    }
    runUntil(
        [&] {
            return std::all_of(attempts.begin(), attempts.end(), [](const Attempt& a) {
                return a.ended || a.socket->state() == QAbstractSocket::ConnectedState;
            });
        },
        o.hairpinWait);
    for (Attempt& a : attempts) {
        PortCheck& c = *a.check;
        if (a.socket->state() != QAbstractSocket::ConnectedState) {
            c.hairpin = Hairpin::CannotTell;
            c.hairpinNote = QHostAddress(wan).toString(); // as read, not as the router wrote it
        } else {
            c.hairpin =
                ConnectionArrived(quint16(c.mapping.port), a.socket->localPort(), o.procRoot)
                    ? Hairpin::Reached
                    : Hairpin::ReachedOther;
        }
        a.socket->abort();
    }
}

// Some routers keep listing and renewing a forward that no longer forwards; deleting and making
// it once more is what helps. Tried only where nothing on this computer stands in the way.
bool worthRemaking(const PortCheck& c) {
    return c.outside == Outside::Closed && c.forwarded == true &&
           takesOutsideTraffic(c.listeners) &&
           (!c.firewall || c.firewall->state != HopState::Blocked);
}

void remakeDeadForwards(Router& router, QList<PortCheck>& checks, const CheckOptions& o) {
    for (PortCheck& c : checks) {
        if (!worthRemaking(c))
            continue;
        if (!router.RemakeForward(c.mapping)) {
            c.remade = Remade::Failed;
            c.remadeNote = router.lastProblems().join(QLatin1Char(' '));
            if (c.remadeNote.isEmpty())
                c.remadeNote = QCoreApplication::translate(
                    "PortCheck", "this kind of router cannot be asked to make it again");
            continue;
        }
        const Outside again = AskOutsideChecker(o.checkUrl, c.mapping.port, c.mapping.protocol,
                                                o.checkUrlWait, &c.outsideNote);
        c.remade = again == Outside::Open ? Remade::Arrives : Remade::StillNothing;
        if (again == Outside::Open)
            c.outside = Outside::Open;
    }
}

QList<PortCheck> checkPorts(Router& router, const QList<PlannedMapping>& mappings,
                            const CheckOptions& options, bool askRouter) {
    QList<PortCheck> out;
    for (const PlannedMapping& m : mappings) {
        PortCheck c;
        c.mapping = m;
        c.listeners = ListenersOn(quint16(m.port), m.protocol, options.procRoot);
        c.ipv6Only = router.ipv6Only();
        // Right after Point To Me the router has just granted each forward.
        if (!c.ipv6Only)
            c.forwarded = askRouter ? router.HoldsForward(m) : std::optional<bool>(true);
        c.pinhole = router.HoldsPinhole(m);
        if (!c.ipv6Only)
            c.outer = router.OuterFor(m);
        out << c;
    }
    LookAtFirewall(router, out);
    checkHairpins(out, router.wanAddress(), options);
    if (!options.checkUrl.isEmpty())
        for (PortCheck& c : out)
            c.outside = AskOutsideChecker(options.checkUrl, c.mapping.port, c.mapping.protocol,
                                          options.checkUrlWait, &c.outsideNote);
    // Right after Point To Me the forwards are new: making them again would tell nothing.
    if (askRouter)
        remakeDeadForwards(router, out, options);
    return out;
}

} // namespace

void LookAtFirewall(Router& router, QList<PortCheck>& checks) {
    LocalFirewall* fw = router.localFirewall();
    if (!fw)
        return;
    for (PortCheck& c : checks)
        c.firewall = fw->read(c.mapping.port, c.mapping.protocol);
}

bool PortCheck::good() const {
    const bool blocked = firewall && firewall->state == HopState::Blocked;
    return !blocked &&
           (ipv6Only ? pinhole == true && takesFamily(listeners, true) : forwarded != false) &&
           takesOutsideTraffic(listeners) && hairpin != Hairpin::ReachedOther &&
           outside != Outside::Closed;
}

QString PortCheck::sentence() const {
    QStringList parts;
    if (ipv6Only) {
        if (!pinhole)
            parts << QCoreApplication::translate("Router",
                                                 "no IPv6 pinhole open — press Point To Me");
    } else if (!forwarded)
        parts << QCoreApplication::translate(
            "Router", "the router cannot be asked whether it holds the forward");
    else if (*forwarded)
        parts << QCoreApplication::translate("Router", "forwarded");

    else
        parts << QCoreApplication::translate("Router",
                                             "not forwarded on the router — press Point To Me");
    if (pinhole)
        parts << (*pinhole ? QCoreApplication::translate("Router", "IPv6 pinhole open")
                           : QCoreApplication::translate("Router", "the IPv6 pinhole has lapsed"));

    const QString port = QString::number(mapping.port);
    if (listeners.isEmpty())
        parts << QCoreApplication::translate("Router",
                                             "nothing on this computer listens on %1 — start %2")
                     .arg(port, mapping.application);
    else if (!takesOutsideTraffic(listeners))
        parts << QCoreApplication::translate(
                     "Router", "%1 listens on %2 only for this computer (%3) — let it listen on "
                               "all addresses")
                     .arg(programsText(listeners), port, listeners.first().address.toString());
    else if (pinhole == true && !takesFamily(listeners, true))
        parts << QCoreApplication::translate("PortCheck", "%1 listens on %2 over IPv4 only — "
                                                          "nothing answers through the IPv6 "
                                                          "pinhole")
                     .arg(programsText(listeners), port);
    else if (!ipv6Only && forwarded == true && !takesFamily(listeners, false))
        parts << QCoreApplication::translate("PortCheck", "%1 listens on %2 over IPv6 only — "
                                                          "nothing answers through the IPv4 "
                                                          "forward")
                     .arg(programsText(listeners), port);
    else
        parts << QCoreApplication::translate("Router", "%1 listens on %2")
                     .arg(programsText(listeners), port);
    if (firewall && !firewall->words.isEmpty())
        parts << firewall->words;

    switch (hairpin) {
    case Hairpin::Reached:
        parts << QCoreApplication::translate(
            "Router", "a connection to the router's outside address came back to this "
                      "computer");
        break;
    case Hairpin::ReachedOther:
        parts << QCoreApplication::translate(
            "Router", "a connection to the router's outside address was taken by "
                      "another computer");
        break;
    case Hairpin::CannotTell:
        parts << QCoreApplication::translate(
                     "Router", "cannot tell from inside whether it arrives from outside (the "
                               "router does not bring connections to %1 back in)")
                     .arg(hairpinNote);
        break;
    case Hairpin::NotTried:
        if (!hairpinNote.isEmpty())
            parts << hairpinNote;
        break;
    }

    if (remade != Remade::NotTried) {
        parts << remadeSentence();
        return parts.join(QStringLiteral(", "));
    }
    switch (outside) {
    case Outside::Open:
        parts << QCoreApplication::translate("Router", "the outside checker reached it");
        break;
    case Outside::Closed:
        parts << QCoreApplication::translate("Router", "the outside checker could not reach it");
        break;
    case Outside::Unknown:
        parts << QCoreApplication::translate("Router", "the outside checker could not tell (%1)")
                     .arg(outsideNote);
        break;
    case Outside::NotAsked:
        break;
    }
    return parts.join(QStringLiteral(", "));
}

QString PortCheck::remadeSentence() const {
    switch (remade) {
    case Remade::Arrives:
        return QCoreApplication::translate("PortCheck", "the router held the forward but nothing "
                                                        "arrived; it was made again and now "
                                                        "arrives");
    case Remade::StillNothing:
        return QCoreApplication::translate("PortCheck", "the router held the forward but nothing "
                                                        "arrived; it was made again, still "
                                                        "nothing arrives");
    case Remade::Failed:
        return QCoreApplication::translate("PortCheck", "the router held the forward but nothing "
                                                        "arrived; making it again failed (%1)")
            .arg(remadeNote);
    case Remade::NotTried:
        break;
    }
    return {};
}

CheckOptions CheckOptionsFor(const QString& iniPath) {
    CheckOptions o;
    const IniFile ini(iniPath);
    o.checkUrl = ini.read(QStringLiteral("Misc"), QStringLiteral("CheckUrl"));
    o.routerOnLoopback =
        NamesLoopback(ini.read(QStringLiteral("Misc"), QStringLiteral("LanPrivateIP")));
    return o;
}

QList<PortCheck> CheckPoints(Router& router, const QList<PlannedMapping>& mappings,
                             const CheckOptions& options) {
    return checkPorts(router, mappings, options, true);
}

QList<PortCheck> CheckAfterPoint(Router& router, const QList<PlannedMapping>& mappings,
                                 const CheckOptions& options) {
    return checkPorts(router, mappings, options, false);
}

QStringList ProblemLines(const QList<PortCheck>& checks) {
    QList<PortCheck> bad;
    std::copy_if(checks.begin(), checks.end(), std::back_inserter(bad),
                 [](const PortCheck& c) { return !c.good(); });
    return CheckLines(bad);
}

QStringList CheckLines(const QList<PortCheck>& checks) {
    QStringList lines;
    for (const PortCheck& c : checks)
        lines << QStringLiteral("%1 %2/%3: %4")
                     .arg(c.mapping.application)
                     .arg(c.mapping.port)
                     .arg(c.mapping.protocol, c.sentence());
    return lines;
}

Outside ParseCheckerAnswer(const QByteArray& body, QString* note) {
    const QByteArray first = body.left(body.indexOf('\n')).trimmed();
    const QByteArray word = first.toLower();
    if (word == "open")
        return Outside::Open;
    if (word == "closed")
        return Outside::Closed;
    if (note) {
        QString text = QString::fromUtf8(first.left(120));
        text.removeIf([](QChar ch) { return !ch.isPrint(); });
        *note = text.isEmpty() ? QCoreApplication::translate("Router", "no answer") : text;
    }
    return Outside::Unknown;
}

Outside AskOutsideChecker(const QString& url, int port, const QString& protocol,
                          std::chrono::milliseconds wait, QString* note) {
    constexpr qsizetype maxAnswer = 4096;
    QUrl u(url);
    if (!u.isValid() || u.scheme() != QLatin1String("http") || u.host().isEmpty()) {
        if (note)
            *note = QCoreApplication::translate("Router", "CheckUrl is not an http:// address");
        return Outside::Unknown;
    }
    QUrlQuery query(u);
    query.addQueryItem(QStringLiteral("port"), QString::number(port));
    query.addQueryItem(QStringLiteral("protocol"), protocol.toLower());
    u.setQuery(query);
    const QByteArray host = u.host(QUrl::FullyEncoded).toUtf8();
    const QByteArray request =
        "GET " + u.toEncoded(QUrl::RemoveScheme | QUrl::RemoveAuthority | QUrl::RemoveFragment) +
        " HTTP/1.0\r\nHost: " + (host.contains(':') ? '[' + host + ']' : host) +
        (u.port() > 0 ? ':' + QByteArray::number(u.port()) : QByteArray()) +
        "\r\nUser-Agent: Harborly\r\nConnection: close\r\n\r\n";

    QTcpSocket socket;
    socket.setProxy(QNetworkProxy::NoProxy);
    QByteArray answer;
    bool ended = false;
    QObject::connect(&socket, &QTcpSocket::connected, [&] { socket.write(request); });
    QObject::connect(&socket, &QTcpSocket::readyRead, [&] {
        answer += socket.read(maxAnswer + 1 - answer.size());
        if (answer.size() > maxAnswer)
            ended = true;
    });
    QObject::connect(&socket, &QTcpSocket::disconnected, [&] { ended = true; });
    QObject::connect(&socket, &QTcpSocket::errorOccurred, [&] { ended = true; });
    socket.connectToHost(u.host(), quint16(u.port(80)));
    runUntil([&] { return ended; }, wait);
    socket.abort();
    const qsizetype split = answer.indexOf("\r\n\r\n");
    if (!answer.startsWith("HTTP/1.") || answer.mid(9, 3) != "200" || split < 0 ||
        answer.size() > maxAnswer) {
        if (note)
            *note = ended ? QCoreApplication::translate("Router", "it did not answer as expected")
                          : QCoreApplication::translate("Router", "no answer in time");
        return Outside::Unknown;
    }
    return ParseCheckerAnswer(answer.mid(split + 4), note);
}
