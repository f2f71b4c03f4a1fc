// SPDX-License-Identifier: GPL-3.0-or-later
// harborly-router-sim: one simulated router of the kind asked for on a loopback address, until
// SIGINT or SIGTERM.
#include "FirmwareSwitches.h"
#include "PcpNatPmpSimulator.h"
#include "RouterSimulator.h"
#include "UpnpSimulator.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <memory>

#include <unistd.h>

namespace {

int signalPipe[2] = {-1, -1};

// The byte says which signal came: 1 stop, 2 restart the simulated router, 3 print its table.
void onSignal(int signal) {
    const char c = signal == SIGUSR1 ? 2 : signal == SIGUSR2 ? 3 : 1;
    [[maybe_unused]] const auto n = ::write(signalPipe[1], &c, 1);
}

bool parseListen(const QString& text, QHostAddress& address, quint16& port) {
    const qsizetype colon = text.lastIndexOf(QLatin1Char(':'));
    if (colon < 0)
        return false;
    QString host = text.left(colon);
    if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']')))
        host = host.mid(1, host.size() - 2);
    bool ok = false;
    const uint p = text.mid(colon + 1).toUInt(&ok);
    if (!ok || p > 65535 || !address.setAddress(host))
        return false;
    port = static_cast<quint16>(p);
    return true;
}

// What every kind reads: the kind, where to listen, and the web kind's own options.
struct CommonSwitches {
    QCommandLineOption kind{
        QStringLiteral("kind"),
        QStringLiteral("The router to simulate: web (default), upnp, pcp or natpmp."),
        QStringLiteral("kind"), QStringLiteral("web")};
    QCommandLineOption listen{QStringLiteral("listen"),
                              QStringLiteral("Loopback address and port; port 0 picks a free one."),
                              QStringLiteral("host:port"), QStringLiteral("127.0.0.1:8080")};
    QCommandLineOption port{QStringLiteral("port"),
                            QStringLiteral("Port on 127.0.0.1 (same as --listen 127.0.0.1:N)."),
                            QStringLiteral("n")};
    QCommandLineOption password{QStringLiteral("password"),
                                QStringLiteral("The router password (default admin)."),
                                QStringLiteral("pw"), QStringLiteral("admin")};
    QCommandLineOption keepOpen{QStringLiteral("keep-open"),
                                QStringLiteral("Answer but never close the connection.")};
    QCommandLineOption delay{QStringLiteral("delay-ms"),
                             QStringLiteral("Wait this long before answering."),
                             QStringLiteral("ms"), QStringLiteral("0")};
    QCommandLineOption silent{
        QStringLiteral("silent"),
        QStringLiteral("web: accept connections but never answer; pcp, natpmp: never answer.")};
    QCommandLineOption quoted{QStringLiteral("quoted-fields"),
                              QStringLiteral("Write the form's attribute values in quotes.")};
    QCommandLineOption log{QStringLiteral("log"),
                           QStringLiteral("Append every request received to this file."),
                           QStringLiteral("file")};

    QList<QCommandLineOption> all() const {
        return {kind, listen, port, password, keepOpen, delay, silent, quoted, log};
    }
};

// What the UPnP kind needs beyond the web kind's address options.
struct UpnpSwitches {
    QCommandLineOption ssdpPort{QStringLiteral("ssdp-port"),
                                QStringLiteral("upnp: UDP port for discovery on the same address "
                                               "(default 1900); 0 picks a free one."),
                                QStringLiteral("n")};
    QCommandLineOption igd{QStringLiteral("igd"),
                           QStringLiteral("upnp: IGD version, 1 or 2 (default 2)."),
                           QStringLiteral("1|2")};
    QCommandLineOption permanentOnly{
        QStringLiteral("permanent-only"),
        QStringLiteral("upnp: refuse every lease but 0 (permanent) with fault 725.")};
    QCommandLineOption conflict{
        QStringLiteral("conflict"),
        QStringLiteral("upnp: this external port is mapped to another computer (fault 718)."),
        QStringLiteral("port")};
    QCommandLineOption lowPortsRefused{
        QStringLiteral("low-ports-refused"),
        QStringLiteral("upnp: refuse ports below 1024 with fault 606 (the default).")};
    QCommandLineOption allowLowPorts{QStringLiteral("allow-low-ports"),
                                     QStringLiteral("upnp: map ports below 1024 too.")};
    QCommandLineOption insecure{
        QStringLiteral("insecure"),
        QStringLiteral("upnp: map to any InternalClient, not only to the requester.")};
    QCommandLineOption externalIp{
        QStringLiteral("external-ip"),
        QStringLiteral("upnp, pcp, natpmp: the WAN address reported (default 11.22.33.44; "
                       "may be empty)."),
        QStringLiteral("addr")};
    QCommandLineOption ssdpSilent{QStringLiteral("ssdp-silent"),
                                  QStringLiteral("upnp: never answer discovery.")};
    QCommandLineOption ssdpBareLf{QStringLiteral("ssdp-bare-lf"),
                                  QStringLiteral("upnp: end discovery answer lines in LF alone.")};
    QCommandLineOption locationHost{
        QStringLiteral("location-host"),
        QStringLiteral("upnp: host written into LOCATION instead of the listen address."),
        QStringLiteral("host")};
    QCommandLineOption bootId{QStringLiteral("boot-id"),
                              QStringLiteral("upnp: BOOTID.UPNP.ORG (default 1)."),
                              QStringLiteral("n")};
    QCommandLineOption friendlyName{QStringLiteral("friendly-name"),
                                    QStringLiteral("upnp: the router's friendlyName."),
                                    QStringLiteral("text")};
    QCommandLineOption deleteMissingFault{
        QStringLiteral("delete-missing-fault"),
        QStringLiteral("upnp: answer 714 to deleting a missing mapping (default: success).")};
    QCommandLineOption listEmpty{
        QStringLiteral("list-empty"),
        QStringLiteral("upnp: answer 713 at index 0 although mappings exist.")};
    QCommandLineOption leaseMax{QStringLiteral("lease-max"),
                                QStringLiteral("upnp: grant leases of at most this many seconds "
                                               "(short leases for soak runs)."),
                                QStringLiteral("s")};
    QCommandLineOption ipv6{QStringLiteral("ipv6"),
                            QStringLiteral("upnp (IGD 2): offer WANIPv6FirewallControl, its "
                                           "control also on [::1] at the HTTP port; pcp: also "
                                           "on [::1], a MAP from there opens a pinhole.")};
    QCommandLineOption firewallOff{QStringLiteral("firewall-off"),
                                   QStringLiteral("upnp --ipv6: the IPv6 firewall is off (702).")};
    QCommandLineOption noInbound{
        QStringLiteral("no-inbound-pinholes"),
        QStringLiteral("upnp --ipv6: programs may not open IPv6 ports (703).")};
    QCommandLineOption pinholesMax{
        QStringLiteral("pinholes-max"),
        QStringLiteral("upnp --ipv6: at most N pinholes, then 701 (default 64)."),
        QStringLiteral("n")};
    QCommandLineOption deadForwards{
        QStringLiteral("dead-forwards"),
        QStringLiteral("upnp: list and renew forwards but carry nothing for them (the outside "
                       "checker at /check says closed): until deleted and made again, or always."),
        QStringLiteral("until-remade|always")};

    QList<QCommandLineOption> all() const {
        return {deadForwards,    ssdpPort,      igd,      permanentOnly, conflict,
                lowPortsRefused, allowLowPorts, insecure, externalIp,    ssdpSilent,
                ssdpBareLf,      locationHost,  bootId,   friendlyName,  deleteMissingFault,
                listEmpty,       leaseMax,      ipv6,     firewallOff,   noInbound,
                pinholesMax};
    }
};

// What the PCP and NAT-PMP kinds add.
struct PcpNatPmpSwitches {
    QCommandLineOption lifetimeMax{
        QStringLiteral("lifetime-max"),
        QStringLiteral("pcp, natpmp: grant leases of at most N seconds (shorter than asked)."),
        QStringLiteral("n")};
    QCommandLineOption refusePort{
        QStringLiteral("refuse-port"),
        QStringLiteral("pcp, natpmp: refuse this port (NOT_AUTHORIZED, result 2)."),
        QStringLiteral("port")};
    QCommandLineOption pcpVersion1{
        QStringLiteral("pcp-version1"),
        QStringLiteral("pcp: answer PCP with a version-1 \"unsupported version\" header.")};
    QCommandLineOption restartAfter{
        QStringLiteral("restart-after-s"),
        QStringLiteral("pcp, natpmp: restart once, N seconds after start (epoch 0, mappings "
                       "gone). SIGUSR1 restarts at once."),
        QStringLiteral("n")};

    QList<QCommandLineOption> all() const {
        return {lifetimeMax, refusePort, pcpVersion1, restartAfter};
    }
};

struct Switches {
    CommonSwitches common;
    UpnpSwitches upnp;
    FirmwareSwitches firmware;
    PcpNatPmpSwitches pcpNatPmp;
};

// The simulated router running, and the lines that say where.
struct Running {
    std::unique_ptr<RouterSimulator> router;
    std::unique_ptr<UpnpSimulator> igd;
    std::unique_ptr<PcpNatPmpSimulator> pcpNatPmp;
    QStringList ready;
};

bool readNumber(const QString& text, uint max, uint& value) {
    bool ok = false;
    value = text.toUInt(&ok);
    return ok && value <= max;
}

int usage(const QString& message) {
    std::fprintf(stderr, "harborly-router-sim: %s\n", qPrintable(message));
    return 64;
}

// The options given that the kind has no use for.
QList<QCommandLineOption> foreignSwitches(const QString& kind, const Switches& s) {
    const CommonSwitches& c = s.common;
    QList<QCommandLineOption> foreign;
    if (kind == QLatin1String("upnp")) {
        foreign = {c.password, c.keepOpen, c.delay, c.silent, c.quoted};
        foreign << s.pcpNatPmp.all();
    } else if (kind == QLatin1String("pcp") || kind == QLatin1String("natpmp")) {
        foreign = {c.password, c.keepOpen, c.delay, c.quoted};
        for (const QCommandLineOption& o : s.upnp.all()) {
            if (o.names() != s.upnp.externalIp.names() &&
                (kind != QLatin1String("pcp") || o.names() != s.upnp.ipv6.names()))
                foreign << o;
        }
        if (kind == QLatin1String("natpmp"))
            foreign << s.pcpNatPmp.pcpVersion1;
        foreign << s.firmware.all();
    } else {
        foreign = s.upnp.all() + s.firmware.all() + s.pcpNatPmp.all();
    }
    return foreign;
}

// The PCP and NAT-PMP router's options; an error message when one is out of range.
QString readPcpNatPmpOptions(const QCommandLineParser& parser, const QString& kind,
                             const Switches& s, PcpNatPmpSimOptions& p) {
    p.pcp = kind == QLatin1String("pcp");
    uint n = 0;
    if (parser.isSet(s.upnp.externalIp))
        p.externalIp = parser.value(s.upnp.externalIp);
    if (parser.isSet(s.pcpNatPmp.lifetimeMax)) {
        if (!readNumber(parser.value(s.pcpNatPmp.lifetimeMax), 0xFFFFFFFF, n) || n == 0)
            return QStringLiteral("--lifetime-max wants a number of seconds above 0");
        p.lifetimeMax = n;
    }
    if (parser.isSet(s.pcpNatPmp.refusePort)) {
        if (!readNumber(parser.value(s.pcpNatPmp.refusePort), 65535, n) || n == 0)
            return QStringLiteral("--refuse-port wants a port number");
        p.refusePort = static_cast<quint16>(n);
    }
    if (parser.isSet(s.pcpNatPmp.restartAfter)) {
        if (!readNumber(parser.value(s.pcpNatPmp.restartAfter), 1'000'000, n) || n == 0)
            return QStringLiteral("--restart-after-s wants 1 to 1000000 seconds");
        p.restartAfterS = n;
    }
    p.silent = parser.isSet(s.common.silent);
    p.pcpVersion1 = parser.isSet(s.pcpNatPmp.pcpVersion1);
    p.logPath = parser.value(s.common.log);
    p.ipv6 = p.pcp && parser.isSet(s.upnp.ipv6);
    return {};
}

// The UPnP router's numbered options; an error message when one is out of range.
QString readUpnpNumbers(const QCommandLineParser& parser, const UpnpSwitches& upnp,
                        UpnpSimOptions& u, uint& ssdpPort) {
    uint n = 0;
    if (parser.isSet(upnp.ssdpPort) && !readNumber(parser.value(upnp.ssdpPort), 65535, ssdpPort))
        return QStringLiteral("--ssdp-port wants a port number");
    if (parser.isSet(upnp.igd)) {
        if (!readNumber(parser.value(upnp.igd), 2, n) || n < 1)
            return QStringLiteral("--igd wants 1 or 2");
        u.igdVersion = static_cast<int>(n);
    }
    if (parser.isSet(upnp.conflict)) {
        if (!readNumber(parser.value(upnp.conflict), 65535, n) || n == 0)
            return QStringLiteral("--conflict wants a port number");
        u.conflictPort = static_cast<quint16>(n);
    }
    if (parser.isSet(upnp.allowLowPorts) && parser.isSet(upnp.lowPortsRefused))
        return QStringLiteral("--allow-low-ports and --low-ports-refused exclude each other");
    if (parser.isSet(upnp.bootId)) {
        if (!readNumber(parser.value(upnp.bootId), 0x7FFFFFFF, n))
            return QStringLiteral("--boot-id wants a number");
        u.bootId = n;
    }
    if (parser.isSet(upnp.leaseMax)) {
        if (!readNumber(parser.value(upnp.leaseMax), 604800, n) || n == 0)
            return QStringLiteral("--lease-max wants 1 to 604800 seconds");
        u.leaseMax = n;
    }
    if (parser.isSet(upnp.deadForwards)) {
        const QString dead = parser.value(upnp.deadForwards);
        if (dead != QLatin1String("until-remade") && dead != QLatin1String("always"))
            return QStringLiteral("--dead-forwards wants until-remade or always");
        u.deadForwards =
            dead == QLatin1String("always") ? DeadForwards::Always : DeadForwards::UntilRemade;
    }
    if (parser.isSet(upnp.pinholesMax)) {
        if (!readNumber(parser.value(upnp.pinholesMax), 65535, n))
            return QStringLiteral("--pinholes-max wants a number");
        u.firewall.maxPinholes = static_cast<int>(n);
    }
    return {};
}

// The UPnP router's switches.
void readUpnpSwitches(const QCommandLineParser& parser, const Switches& s, UpnpSimOptions& u) {
    const UpnpSwitches& upnp = s.upnp;
    u.permanentOnly = parser.isSet(upnp.permanentOnly);
    u.lowPortsRefused = !parser.isSet(upnp.allowLowPorts);
    u.secureMode = !parser.isSet(upnp.insecure);
    if (parser.isSet(upnp.externalIp))
        u.externalIp = parser.value(upnp.externalIp);
    u.ssdpSilent = parser.isSet(upnp.ssdpSilent);
    u.ssdpBareLf = parser.isSet(upnp.ssdpBareLf);
    u.locationHost = parser.value(upnp.locationHost);
    if (parser.isSet(upnp.friendlyName))
        u.friendlyName = parser.value(upnp.friendlyName);
    u.deleteMissingFaults = parser.isSet(upnp.deleteMissingFault);
    u.listEmptyAtStart = parser.isSet(upnp.listEmpty);
    u.logPath = parser.value(s.common.log);
    u.ipv6 = parser.isSet(upnp.ipv6);
    u.firewall.firewallEnabled = !parser.isSet(upnp.firewallOff);
    u.firewall.inboundAllowed = !parser.isSet(upnp.noInbound);
}

// Each start returns 0 once listening, else the program's exit code.
int startPcpNatPmp(const QCommandLineParser& parser, const QString& kind, const Switches& s,
                   const QHostAddress& address, quint16 port, const QString& listen, Running& run) {
    if (address.protocol() != QAbstractSocket::IPv4Protocol)
        return usage(QStringLiteral("the PCP and NAT-PMP router listens on 127.0.0.0/8 only"));
    PcpNatPmpSimOptions p;
    if (const QString why = readPcpNatPmpOptions(parser, kind, s, p); !why.isEmpty())
        return usage(why);
    run.pcpNatPmp = std::make_unique<PcpNatPmpSimulator>(p);
    if (!run.pcpNatPmp->listen(address, port)) {
        std::fprintf(stderr, "harborly-router-sim: cannot listen on UDP %s\n", qPrintable(listen));
        return 1;
    }
    QObject::connect(run.pcpNatPmp.get(), &PcpNatPmpSimulator::restarted, [] {
        std::printf("restarted\n");
        std::fflush(stdout);
    });
    run.ready << QStringLiteral("listening on %1:%2")
                     .arg(run.pcpNatPmp->address().toString())
                     .arg(run.pcpNatPmp->port());
    return 0;
}

int startUpnp(const QCommandLineParser& parser, const Switches& s, const QHostAddress& address,
              quint16 port, const QString& listen, Running& run) {
    if (address.protocol() != QAbstractSocket::IPv4Protocol)
        return usage(QStringLiteral("the UPnP router listens on 127.0.0.0/8 only"));
    UpnpSimOptions u;
    uint ssdpPort = 1900;
    if (const QString why = readUpnpNumbers(parser, s.upnp, u, ssdpPort); !why.isEmpty())
        return usage(why);
    readUpnpSwitches(parser, s, u);
    if (const QString why = s.firmware.read(parser, u); !why.isEmpty())
        return usage(why);
    run.igd = std::make_unique<UpnpSimulator>(u);
    if (!run.igd->listen(address, port, static_cast<quint16>(ssdpPort))) {
        std::fprintf(stderr, "harborly-router-sim: cannot listen on %s and UDP port %u\n",
                     qPrintable(listen), ssdpPort);
        return 1;
    }
    const QString host = run.igd->address().toString();
    run.ready << QStringLiteral("listening on %1:%2").arg(host).arg(run.igd->httpPort())
              << QStringLiteral("ssdp on %1:%2").arg(host).arg(run.igd->ssdpPort());
    if (u.ipv6)
        run.ready << QStringLiteral("ipv6 firewall control on [::1]:%1").arg(run.igd->httpPort())
                  << QStringLiteral("ssdp on [::1]:%1").arg(run.igd->ssdp6Port());
    return 0;
}

int startWeb(const QCommandLineParser& parser, const CommonSwitches& c, const QHostAddress& address,
             quint16 port, const QString& listen, Running& run) {
    SimOptions options;
    options.password = parser.value(c.password);
    options.keepOpen = parser.isSet(c.keepOpen);
    options.delayMs = parser.value(c.delay).toInt();
    options.silent = parser.isSet(c.silent);
    options.quotedFields = parser.isSet(c.quoted);
    options.logPath = parser.value(c.log);
    run.router = std::make_unique<RouterSimulator>(options);
    if (!run.router->listen(address, port)) {
        std::fprintf(stderr, "harborly-router-sim: cannot listen on %s\n", qPrintable(listen));
        return 1;
    }
    run.ready << QStringLiteral("listening on ") + run.router->hostAndPort();
    return 0;
}

// The live table, for tests that hold it against what a client recorded.
void printTable(Running& run) {
    std::printf("table\n");
    if (run.pcpNatPmp)
        for (const PcpNatPmpMapping& m : run.pcpNatPmp->mappings())
            std::printf("%s %u %u %s\n", m.protocol == 6 ? "TCP" : "UDP", unsigned(m.externalPort),
                        unsigned(m.internalPort), qPrintable(m.client.toString()));
    if (run.igd)
        for (const UpnpMapping& m : run.igd->mappings())
            std::printf("%s %u %u %s\n", qPrintable(m.protocol), unsigned(m.externalPort),
                        unsigned(m.internalPort), qPrintable(m.internalClient));
    std::printf("end\n");
}

// One byte from the signal pipe.
void onSignalByte(Running& run) {
    char c = 0;
    if (::read(signalPipe[0], &c, 1) != 1 || c == 1)
        return QCoreApplication::quit();
    if (c == 2 && run.pcpNatPmp)
        run.pcpNatPmp->restart();
    if (c == 2 && run.igd) {
        run.igd->restart();
        std::printf("restarted\n");
    }
    if (c == 3)
        printTable(run);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("harborly-router-sim"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "A simulated home router on a loopback address, for trying and testing Harborly.\n"
        "Prints \"listening on HOST:PORT\" once ready; runs until SIGINT or SIGTERM.\n"
        "--kind upnp also prints \"ssdp on HOST:PORT\", its discovery port.\n"
        "--kind pcp and natpmp listen on UDP; SIGUSR1 restarts them, printing \"restarted\"."));
    parser.addHelpOption();
    const Switches s;
    parser.addOptions(s.common.all());
    parser.addOptions(s.upnp.all());
    parser.addOptions(s.firmware.all());
    parser.addOptions(s.pcpNatPmp.all());
    parser.process(app);

    const QString kind = parser.value(s.common.kind);
    const bool isUpnp = kind == QLatin1String("upnp");
    const bool isPcpNatPmp = kind == QLatin1String("pcp") || kind == QLatin1String("natpmp");
    if (kind != QLatin1String("web") && !isUpnp && !isPcpNatPmp)
        return usage(
            QStringLiteral("unknown router kind \"%1\" (web, upnp, pcp or natpmp)").arg(kind));
    for (const QCommandLineOption& o : foreignSwitches(kind, s)) {
        if (parser.isSet(o))
            return usage(QStringLiteral("--%1 does not apply to --kind %2")
                             .arg(o.names().constFirst(), kind));
    }

    QHostAddress address;
    quint16 port = 0;
    // miniupnpd's HTTP port is the UPnP kind's default; 5351 is NAT-PMP's and PCP's own.
    const QString defaultListen = isUpnp        ? QStringLiteral("127.0.0.1:5000")
                                  : isPcpNatPmp ? QStringLiteral("127.0.0.1:5351")
                                                : parser.value(s.common.listen);
    const QString listen = parser.isSet(s.common.port)
                               ? QStringLiteral("127.0.0.1:") + parser.value(s.common.port)
                           : parser.isSet(s.common.listen) ? parser.value(s.common.listen)
                                                           : defaultListen;
    if (!parseListen(listen, address, port)) {
        std::fprintf(stderr, "harborly-router-sim: cannot read the address \"%s\"\n",
                     qPrintable(listen));
        return 64;
    }
    if (!address.isLoopback()) {
        std::fprintf(stderr, "harborly-router-sim: only loopback addresses are served, not %s\n",
                     qPrintable(address.toString()));
        return 64;
    }

    Running run;
    const int started = isPcpNatPmp ? startPcpNatPmp(parser, kind, s, address, port, listen, run)
                        : isUpnp    ? startUpnp(parser, s, address, port, listen, run)
                                    : startWeb(parser, s.common, address, port, listen, run);
    if (started != 0)
        return started;

    if (::pipe(signalPipe) != 0)
        return 1;
    QSocketNotifier notifier(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, &app, [&run] { onSignalByte(run); });
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    if (run.pcpNatPmp || run.igd) {
        std::signal(SIGUSR1, onSignal);
        std::signal(SIGUSR2, onSignal);
    }

    for (const QString& line : run.ready)
        std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
    return app.exec();
}
