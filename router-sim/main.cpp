// harborly-router-sim: one simulated router of the kind asked for on a loopback address, until
// SIGINT or SIGTERM.
#include "PxpSimulator.h"
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

    QList<QCommandLineOption> all() const {
        return {ssdpPort,      igd,      permanentOnly, conflict,           lowPortsRefused,
                allowLowPorts, insecure, externalIp,    ssdpSilent,         ssdpBareLf,
                locationHost,  bootId,   friendlyName,  deleteMissingFault, listEmpty,
                leaseMax,      ipv6,     firewallOff,   noInbound,          pinholesMax};
    }
};

// What the PCP and NAT-PMP kinds add.
struct PxpSwitches {
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

bool readNumber(const QString& text, uint max, uint& value) {
    bool ok = false;
    value = text.toUInt(&ok);
    return ok && value <= max;
}

int usage(const QString& message) {
    std::fprintf(stderr, "harborly-router-sim: %s\n", qPrintable(message));
    return 64;
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
    const QCommandLineOption kindOpt(
        QStringLiteral("kind"),
        QStringLiteral("The router to simulate: web (default), upnp, pcp or natpmp."),
        QStringLiteral("kind"), QStringLiteral("web"));
    const QCommandLineOption listenOpt(
        QStringLiteral("listen"),
        QStringLiteral("Loopback address and port; port 0 picks a free one."),
        QStringLiteral("host:port"), QStringLiteral("127.0.0.1:8080"));
    const QCommandLineOption portOpt(
        QStringLiteral("port"), QStringLiteral("Port on 127.0.0.1 (same as --listen 127.0.0.1:N)."),
        QStringLiteral("n"));
    const QCommandLineOption passwordOpt(QStringLiteral("password"),
                                         QStringLiteral("The router password (default admin)."),
                                         QStringLiteral("pw"), QStringLiteral("admin"));
    const QCommandLineOption keepOpenOpt(QStringLiteral("keep-open"),
                                         QStringLiteral("Answer but never close the connection."));
    const QCommandLineOption delayOpt(QStringLiteral("delay-ms"),
                                      QStringLiteral("Wait this long before answering."),
                                      QStringLiteral("ms"), QStringLiteral("0"));
    const QCommandLineOption silentOpt(
        QStringLiteral("silent"),
        QStringLiteral("web: accept connections but never answer; pcp, natpmp: never answer."));
    const QCommandLineOption quotedOpt(
        QStringLiteral("quoted-fields"),
        QStringLiteral("Write the form's attribute values in quotes."));
    const QCommandLineOption logOpt(QStringLiteral("log"),
                                    QStringLiteral("Append every request received to this file."),
                                    QStringLiteral("file"));
    const UpnpSwitches upnp;
    const PxpSwitches pxp;
    parser.addOptions({kindOpt, listenOpt, portOpt, passwordOpt, keepOpenOpt, delayOpt, silentOpt,
                       quotedOpt, logOpt});
    parser.addOptions(upnp.all());
    parser.addOptions(pxp.all());
    parser.process(app);

    const QString kind = parser.value(kindOpt);
    const bool isUpnp = kind == QLatin1String("upnp");
    const bool isPxp = kind == QLatin1String("pcp") || kind == QLatin1String("natpmp");
    if (kind != QLatin1String("web") && !isUpnp && !isPxp)
        return usage(
            QStringLiteral("unknown router kind \"%1\" (web, upnp, pcp or natpmp)").arg(kind));
    QList<QCommandLineOption> foreign;
    if (isUpnp) {
        foreign = {passwordOpt, keepOpenOpt, delayOpt, silentOpt, quotedOpt};
        foreign << pxp.all();
    } else if (isPxp) {
        foreign = {passwordOpt, keepOpenOpt, delayOpt, quotedOpt};
        for (const QCommandLineOption& o : upnp.all()) {
            if (o.names() != upnp.externalIp.names() &&
                (kind != QLatin1String("pcp") || o.names() != upnp.ipv6.names()))
                foreign << o;
        }
        if (kind == QLatin1String("natpmp"))
            foreign << pxp.pcpVersion1;
    } else {
        foreign = upnp.all() + pxp.all();
    }
    for (const QCommandLineOption& o : foreign) {
        if (parser.isSet(o))
            return usage(QStringLiteral("--%1 does not apply to --kind %2")
                             .arg(o.names().constFirst(), kind));
    }

    QHostAddress address;
    quint16 port = 0;
    // miniupnpd's HTTP port is the UPnP kind's default; 5351 is NAT-PMP's and PCP's own.
    const QString defaultListen = isUpnp  ? QStringLiteral("127.0.0.1:5000")
                                  : isPxp ? QStringLiteral("127.0.0.1:5351")
                                          : parser.value(listenOpt);
    const QString listen = parser.isSet(portOpt)
                               ? QStringLiteral("127.0.0.1:") + parser.value(portOpt)
                           : parser.isSet(listenOpt) ? parser.value(listenOpt)
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

    SimOptions options;
    options.password = parser.value(passwordOpt);
    options.keepOpen = parser.isSet(keepOpenOpt);
    options.delayMs = parser.value(delayOpt).toInt();
    options.silent = parser.isSet(silentOpt);
    options.quotedFields = parser.isSet(quotedOpt);
    options.logPath = parser.value(logOpt);

    std::unique_ptr<RouterSimulator> router;
    std::unique_ptr<UpnpSimulator> igd;
    std::unique_ptr<PxpSimulator> pxpRouter;
    QStringList ready;
    if (isPxp) {
        if (address.protocol() != QAbstractSocket::IPv4Protocol)
            return usage(QStringLiteral("the PCP and NAT-PMP router listens on 127.0.0.0/8 only"));
        PxpSimOptions p;
        p.pcp = kind == QLatin1String("pcp");
        uint n = 0;
        if (parser.isSet(upnp.externalIp))
            p.externalIp = parser.value(upnp.externalIp);
        if (parser.isSet(pxp.lifetimeMax)) {
            if (!readNumber(parser.value(pxp.lifetimeMax), 0xFFFFFFFF, n) || n == 0)
                return usage(QStringLiteral("--lifetime-max wants a number of seconds above 0"));
            p.lifetimeMax = n;
        }
        if (parser.isSet(pxp.refusePort)) {
            if (!readNumber(parser.value(pxp.refusePort), 65535, n) || n == 0)
                return usage(QStringLiteral("--refuse-port wants a port number"));
            p.refusePort = static_cast<quint16>(n);
        }
        if (parser.isSet(pxp.restartAfter)) {
            if (!readNumber(parser.value(pxp.restartAfter), 1'000'000, n) || n == 0)
                return usage(QStringLiteral("--restart-after-s wants 1 to 1000000 seconds"));
            p.restartAfterS = n;
        }
        p.silent = parser.isSet(silentOpt);
        p.pcpVersion1 = parser.isSet(pxp.pcpVersion1);
        p.logPath = parser.value(logOpt);
        p.ipv6 = p.pcp && parser.isSet(upnp.ipv6);

        pxpRouter = std::make_unique<PxpSimulator>(p);
        if (!pxpRouter->listen(address, port)) {
            std::fprintf(stderr, "harborly-router-sim: cannot listen on UDP %s\n",
                         qPrintable(listen));
            return 1;
        }
        QObject::connect(pxpRouter.get(), &PxpSimulator::restarted, [] {
            std::printf("restarted\n");
            std::fflush(stdout);
        });
        ready << QStringLiteral("listening on %1:%2")
                     .arg(pxpRouter->address().toString())
                     .arg(pxpRouter->port());
    } else if (isUpnp) {
        if (address.protocol() != QAbstractSocket::IPv4Protocol)
            return usage(QStringLiteral("the UPnP router listens on 127.0.0.0/8 only"));
        UpnpSimOptions u;
        uint n = 0;
        uint ssdpPort = 1900;
        if (parser.isSet(upnp.ssdpPort) &&
            !readNumber(parser.value(upnp.ssdpPort), 65535, ssdpPort))
            return usage(QStringLiteral("--ssdp-port wants a port number"));
        if (parser.isSet(upnp.igd)) {
            if (!readNumber(parser.value(upnp.igd), 2, n) || n < 1)
                return usage(QStringLiteral("--igd wants 1 or 2"));
            u.igdVersion = static_cast<int>(n);
        }
        u.permanentOnly = parser.isSet(upnp.permanentOnly);
        if (parser.isSet(upnp.conflict)) {
            if (!readNumber(parser.value(upnp.conflict), 65535, n) || n == 0)
                return usage(QStringLiteral("--conflict wants a port number"));
            u.conflictPort = static_cast<quint16>(n);
        }
        if (parser.isSet(upnp.allowLowPorts) && parser.isSet(upnp.lowPortsRefused))
            return usage(
                QStringLiteral("--allow-low-ports and --low-ports-refused exclude each other"));
        u.lowPortsRefused = !parser.isSet(upnp.allowLowPorts);
        u.secureMode = !parser.isSet(upnp.insecure);
        if (parser.isSet(upnp.externalIp))
            u.externalIp = parser.value(upnp.externalIp);
        u.ssdpSilent = parser.isSet(upnp.ssdpSilent);
        u.ssdpBareLf = parser.isSet(upnp.ssdpBareLf);
        u.locationHost = parser.value(upnp.locationHost);
        if (parser.isSet(upnp.bootId)) {
            if (!readNumber(parser.value(upnp.bootId), 0x7FFFFFFF, n))
                return usage(QStringLiteral("--boot-id wants a number"));
            u.bootId = n;
        }
        if (parser.isSet(upnp.friendlyName))
            u.friendlyName = parser.value(upnp.friendlyName);
        u.deleteMissingFaults = parser.isSet(upnp.deleteMissingFault);
        u.listEmptyAtStart = parser.isSet(upnp.listEmpty);
        if (parser.isSet(upnp.leaseMax)) {
            if (!readNumber(parser.value(upnp.leaseMax), 604800, n) || n == 0)
                return usage(QStringLiteral("--lease-max wants 1 to 604800 seconds"));
            u.leaseMax = n;
        }
        u.logPath = parser.value(logOpt);
        u.ipv6 = parser.isSet(upnp.ipv6);
        u.firewall.firewallEnabled = !parser.isSet(upnp.firewallOff);
        u.firewall.inboundAllowed = !parser.isSet(upnp.noInbound);
        if (parser.isSet(upnp.pinholesMax)) {
            if (!readNumber(parser.value(upnp.pinholesMax), 65535, n))
                return usage(QStringLiteral("--pinholes-max wants a number"));
            u.firewall.maxPinholes = static_cast<int>(n);
        }

        igd = std::make_unique<UpnpSimulator>(u);
        if (!igd->listen(address, port, static_cast<quint16>(ssdpPort))) {
            std::fprintf(stderr, "harborly-router-sim: cannot listen on %s and UDP port %u\n",
                         qPrintable(listen), ssdpPort);
            return 1;
        }
        const QString host = igd->address().toString();
        ready << QStringLiteral("listening on %1:%2").arg(host).arg(igd->httpPort())
              << QStringLiteral("ssdp on %1:%2").arg(host).arg(igd->ssdpPort());
        if (u.ipv6)
            ready << QStringLiteral("ipv6 firewall control on [::1]:%1").arg(igd->httpPort())
                  << QStringLiteral("ssdp on [::1]:%1").arg(igd->ssdp6Port());
    } else {
        router = std::make_unique<RouterSimulator>(options);
        if (!router->listen(address, port)) {
            std::fprintf(stderr, "harborly-router-sim: cannot listen on %s\n", qPrintable(listen));
            return 1;
        }
        ready << QStringLiteral("listening on ") + router->hostAndPort();
    }

    if (::pipe(signalPipe) != 0)
        return 1;
    QSocketNotifier notifier(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, &app, [&pxpRouter, &igd] {
        char c = 0;
        if (::read(signalPipe[0], &c, 1) != 1 || c == 1)
            return QCoreApplication::quit();
        if (c == 2 && pxpRouter)
            pxpRouter->restart();
        if (c == 2 && igd) {
            igd->restart();
            std::printf("restarted\n");
        }
        if (c == 3) {
            // The live table, for tests that hold it against what a client recorded.
            std::printf("table\n");
            if (pxpRouter)
                for (const PxpMapping& m : pxpRouter->mappings())
                    std::printf("%s %u %u %s\n", m.protocol == 6 ? "TCP" : "UDP",
                                unsigned(m.externalPort), unsigned(m.internalPort),
                                qPrintable(m.client.toString()));
            if (igd)
                for (const UpnpMapping& m : igd->mappings())
                    std::printf("%s %u %u %s\n", qPrintable(m.protocol), unsigned(m.externalPort),
                                unsigned(m.internalPort), qPrintable(m.internalClient));
            std::printf("end\n");
        }
        std::fflush(stdout);
    });
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    if (pxpRouter || igd) {
        std::signal(SIGUSR1, onSignal);
        std::signal(SIGUSR2, onSignal);
    }

    for (const QString& line : ready)
        std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
    return app.exec();
}
