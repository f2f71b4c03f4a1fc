#include "RouterSimulator.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>

#include <unistd.h>

namespace {

int signalPipe[2] = {-1, -1};

void onSignal(int) {
    const char c = 1;
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

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("harborly-router-sim"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "A simulated home router on a loopback address, for trying and testing Harborly.\n"
        "Prints \"listening on HOST:PORT\" once ready; runs until SIGINT or SIGTERM."));
    parser.addHelpOption();
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
    const QCommandLineOption silentOpt(QStringLiteral("silent"),
                                       QStringLiteral("Accept connections but never answer."));
    const QCommandLineOption quotedOpt(
        QStringLiteral("quoted-fields"),
        QStringLiteral("Write the form's attribute values in quotes."));
    const QCommandLineOption logOpt(QStringLiteral("log"),
                                    QStringLiteral("Append every request received to this file."),
                                    QStringLiteral("file"));
    parser.addOptions(
        {listenOpt, portOpt, passwordOpt, keepOpenOpt, delayOpt, silentOpt, quotedOpt, logOpt});
    parser.process(app);

    QHostAddress address;
    quint16 port = 0;
    const QString listen = parser.isSet(portOpt)
                               ? QStringLiteral("127.0.0.1:") + parser.value(portOpt)
                               : parser.value(listenOpt);
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

    RouterSimulator router(options);
    if (!router.listen(address, port)) {
        std::fprintf(stderr, "harborly-router-sim: cannot listen on %s\n", qPrintable(listen));
        return 1;
    }

    if (::pipe(signalPipe) != 0)
        return 1;
    QSocketNotifier notifier(signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, &app, &QCoreApplication::quit);
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);

    std::printf("listening on %s\n", qPrintable(router.hostAndPort()));
    std::fflush(stdout);
    return app.exec();
}
