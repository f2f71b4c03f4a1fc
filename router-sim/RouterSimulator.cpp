// SPDX-License-Identifier: GPL-3.0-or-later
// The web kind's simulated router: its status, forwarding and DMZ pages behind Basic
// authentication, and the Gozila.cgi commands that change its slots and DMZ host.
#include "RouterSimulator.h"

#include "SimHttp.h"

namespace {

char letter(int slot) {
    return static_cast<char>('A' + slot);
}

QByteArray page(const QByteArray& title, const QByteArray& body) {
    return "<html><head><title>" + title +
           "</title>\n"
           "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=iso-8859-1\">\n"
           "</head>\n<body bgcolor=white>\n<h2>" +
           title + "</h2>\n" + body + "</body></html>\n";
}

QByteArray answer(const QByteArray& status, const QByteArray& body,
                  const QByteArray& extraHeaders = {}) {
    const QByteArray head = "HTTP/1.0 " + status +
                            "\r\nServer: Harborly simulated router\r\nContent-Type: text/html\r\n" +
                            extraHeaders;
    return SimHttp::answer(head, "Connection: close\r\n", body);
}

} // namespace

RouterSimulator::RouterSimulator(SimOptions options, QObject* parent)
    : QObject(parent), options_(std::move(options)) {
    http_ = new SimHttpServer(
        {.frame =
             [](const QByteArray& received) { return SimHttp::frameHead(received, 64 * 1024); },
         .respond = [this](const QByteArray& request,
                           const QHostAddress&) { return respond(request); },
         .conduct =
             [this] {
                 return SimConduct{options_.silent, options_.delayMs, options_.keepOpen,
                                   options_.logPath};
             }},
        this);
    connect(http_, &SimHttpServer::requestReceived, this, &RouterSimulator::requestReceived);
}

RouterSimulator::~RouterSimulator() = default;

bool RouterSimulator::listen(const QHostAddress& address, quint16 port) {
    if (!address.isLoopback())
        return false;
    return http_->listen(address, port);
}

quint16 RouterSimulator::port() const {
    return http_->port();
}

QHostAddress RouterSimulator::address() const {
    return http_->address();
}

const QList<QByteArray>& RouterSimulator::requests() const {
    return http_->requests();
}

QString RouterSimulator::hostAndPort() const {
    const QHostAddress a = address();
    const QString host = a.protocol() == QAbstractSocket::IPv6Protocol
                             ? QStringLiteral("[%1]").arg(a.toString())
                             : a.toString();
    return host + QLatin1Char(':') + QString::number(port());
}

bool RouterSimulator::authorised(const QList<QByteArray>& headerLines) const {
    for (const QByteArray& line : headerLines) {
        const qsizetype colon = line.indexOf(':');
        if (colon < 0 || line.left(colon).trimmed().toLower() != "authorization")
            continue;
        const QByteArray value = line.mid(colon + 1).trimmed();
        if (!value.toLower().startsWith("basic "))
            return false;
        const QByteArray decoded = QByteArray::fromBase64(value.mid(6).trimmed());
        const qsizetype sep = decoded.indexOf(':');
        // The router knows no user names: only the password counts.
        return sep >= 0 && decoded.mid(sep + 1) == options_.password.toUtf8();
    }
    return false;
}

QByteArray RouterSimulator::respond(const QByteArray& request) {
    const QList<QByteArray> lines = SimHttp::requestLines(request);
    const QList<QByteArray> words = lines.value(0).split(' ');
    if (words.size() < 2 || words[0] != "GET")
        return answer("400 Bad Request", page("Bad Request", "<p>Only GET is understood.</p>\n"));
    if (!authorised(lines.mid(1)))
        return answer("401 Unauthorized",
                      page("Unauthorized", "<p>Authorization required: the password was not "
                                           "accepted.</p>\n"),
                      "WWW-Authenticate: Basic realm=\"Linksys DSL/Cable Routers\"\r\n");

    const QByteArray target = words[1];
    const qsizetype q = target.indexOf('?');
    const QByteArray path = q < 0 ? target : target.left(q);
    if (path == "/" || path == "/Status.htm" || path == "/index.htm")
        return answer("200 OK", statusPage());
    if (path == "/Forward.htm")
        return answer("200 OK", forwardPage());
    if (path == "/DMZ.htm")
        return answer("200 OK", dmzPage());
    if (path == "/Gozila.cgi") {
        applyCommand(q < 0 ? QByteArray() : target.mid(q));
        return answer("200 OK",
                      page("Settings Saved", "<p>Settings are successful.</p>\n"
                                             "<p><a href=\"/Forward.htm\">Continue</a></p>\n"));
    }
    return answer("404 Not Found", page("Not Found", "<p>No such page.</p>\n"));
}

void RouterSimulator::applyCommand(const QByteArray& query) {
    // Groups open with "?", fields are joined by "&", and nothing is encoded.
    for (const QByteArray& group : query.split('?')) {
        for (const QByteArray& pair : group.split('&')) {
            const qsizetype eq = pair.indexOf('=');
            if (eq < 0)
                continue;
            const QByteArray key = pair.left(eq);
            QByteArray value = pair.mid(eq + 1);
            if (key == "exIP3") {
                dmzHost_ = QString::fromLatin1(value.isEmpty() ? QByteArray("0") : value);
                continue;
            }
            const auto slotOf = [&key](const char* prefix, qsizetype suffix) -> int {
                const QByteArray p(prefix);
                if (!key.startsWith(p) || key.size() != p.size() + 1 + suffix)
                    return -1;
                const int s = key[p.size()] - 'A';
                return s >= 0 && s < SlotCount ? s : -1;
            };
            const QByteArray tail = key.right(1);
            int s = -1;
            if ((s = slotOf("V_name", 0)) >= 0) {
                if (value == "\"\"")
                    value.clear();
                forwards_[s].name = QString::fromLatin1(value);
            } else if ((s = slotOf("V_port", 1)) >= 0 && (tail == "S" || tail == "E")) {
                (tail == "S" ? forwards_[s].from : forwards_[s].to) = value.toInt();
            } else if ((s = slotOf("V_pro", 3)) >= 0 && key.endsWith("TCP")) {
                forwards_[s].tcp = value == "1";
            } else if ((s = slotOf("V_pro", 3)) >= 0 && key.endsWith("UDP")) {
                forwards_[s].udp = value == "1";
            } else if ((s = slotOf("V_ip", 1)) >= 0 && tail == "3") {
                forwards_[s].ip = QString::fromLatin1(value);
            } else if ((s = slotOf("V_valid", 0)) >= 0) {
                forwards_[s].enabled = value == "1";
            }
        }
    }
}

QByteArray RouterSimulator::field(const char* name) const {
    return options_.quotedFields ? "\"" + QByteArray(name) + "\"" : QByteArray(name);
}

QByteArray RouterSimulator::statusPage() const {
    const QByteArray body =
        "<table border=0 cellpadding=3>\n"
        "<tr><th colspan=2 align=left>LAN</th></tr>\n"
        "<tr><td>MAC Address:</td><td>" +
        macAddress().toLatin1() +
        "</td></tr>\n"
        "<tr><td>IP Address:</td><td>" +
        lanAddress().toLatin1() +
        "</td></tr>\n"
        "<tr><td>Subnet Mask:</td><td>255.255.255.0</td></tr>\n"
        "<tr><th colspan=2 align=left>WAN</th></tr>\n"
        "<tr><td>IP Address:</td><td>" +
        wanAddress().toLatin1() +
        "</td></tr>\n"
        "<tr><td>Default Gateway:</td><td>24.61.118.1</td></tr>\n"
        "<tr><td>Firmware Version:</td><td>" +
        firmware().toLatin1() +
        "</td></tr>\n"
        "</table>\n"
        "<form><input type=button value=Refresh onClick=window.location.reload()></form>\n";
    return page("Status", body);
}

QByteArray RouterSimulator::forwardPage() const {
    const QByteArray q = options_.quotedFields ? "\"" : "";
    QByteArray rows;
    for (int s = 0; s < SlotCount; ++s) {
        const SimForward& f = forwards_[s];
        const QByteArray l(1, letter(s));
        const auto box = [&](const QByteArray& name, bool on) {
            return "<input type=checkbox name=" + q + name + q + (on ? " checked" : "") +
                   " value=1>";
        };
        rows +=
            "<tr><td>" + l + "</td><td><input type=text name=" + q + "V_name" + l + q +
            " size=12 maxlength=12 value=" + q + f.name.toLatin1() + q +
            "></td>"
            "<td><input type=text name=" +
            q + "V_port" + l + "S" + q + " size=5 maxlength=5 onChange=PortCheck(this) value=" + q +
            QByteArray::number(f.from) + q +
            "> to "
            "<input type=text name=" +
            q + "V_port" + l + "E" + q + " size=5 maxlength=5 onChange=PortCheck(this) value=" + q +
            QByteArray::number(f.to) + q + "></td><td>" + box("V_pro" + l + "TCP", f.tcp) + "TCP " +
            box("V_pro" + l + "UDP", f.udp) +
            "UDP</td>"
            "<td>192.168.1.<input type=text name=" +
            q + "V_ip" + l + "3" + q + " size=3 maxlength=3 onChange=IPCheck(this) value=" + q +
            (f.ip.isEmpty() ? QByteArray("0") : f.ip.toLatin1()) + q + "></td><td>" +
            box("V_valid" + l, f.enabled) + "</td></tr>\n";
    }
    const QByteArray body =
        "<script language=JavaScript>\n"
        "function PortCheck(I) { if (I.value < 0 || I.value > 65535) { alert('Port out of range'); "
        "I.value = 0; } }\n"
        "function IPCheck(I) { if (I.value < 0 || I.value > 254) { alert('Address out of range'); "
        "I.value = 0; } }\n"
        "</script>\n"
        "<p><a href=\"http://" +
        lanAddress().toLatin1() +
        "/Status.htm\">Status</a> | <a href=\"/DMZ.htm\">DMZ Host</a>"
        " <img src=\"/logo.gif\" alt=\"\"></p>\n"
        "<form name=forward action=Gozila.cgi method=get>\n"
        "<table border=1 cellpadding=2>\n"
        "<tr><th></th><th>Application</th><th>Port Range</th><th>Protocol</th>"
        "<th>IP Address</th><th>Enable</th></tr>\n" +
        rows +
        "</table>\n"
        "<p><input type=submit value=\"Apply\" onClick=\"return confirm('Apply?')\"> "
        "<input type=reset value=\"Cancel\"></p>\n"
        "</form>\n";
    return page("Port Range Forwarding", body);
}

QByteArray RouterSimulator::dmzPage() const {
    const QByteArray body =
        "<form name=dmz action=Gozila.cgi method=get>\n"
        "<p>DMZ Host IP Address: 192.168.1.<input type=text name=" +
        field("exIP3") + " size=3 maxlength=3 onChange=IPCheck(this) value=" +
        (options_.quotedFields ? "\"" + dmzHost_.toLatin1() + "\"" : dmzHost_.toLatin1()) +
        "></p>\n"
        "<p><input type=submit value=\"Apply\"> <input type=reset value=\"Cancel\"></p>\n"
        "</form>\n";
    return page("DMZ Host", body);
}
