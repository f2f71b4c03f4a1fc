// SPDX-License-Identifier: GPL-3.0-or-later
#include "HarborlyVersion.h"
#include "cli/CliOptions.h"
#include "cli/CliSession.h"
#include "cli/PasswordInput.h"
#include "platform/SessionLanguage.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QSocketNotifier>
#include <QTextStream>

#include <csignal>
#include <cstdio>
#include <memory>

#include <unistd.h>

namespace {

int signalPipe[2] = {-1, -1};

void onSignal(int) {
    const char c = 1;
    [[maybe_unused]] const auto n = ::write(signalPipe[1], &c, 1);
}

} // namespace

int main(int argc, char** argv) {
    QTextStream out(stdout);
    QTextStream err(stderr);
    // Made before usage and --help are answered: they are told in the session's language.
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("harborly-cli"));
    InstallTranslations(app);
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const CliParseResult parsed = ParseCliArguments(arguments);
    if (!parsed.options) {
        err << "harborly-cli: " << parsed.error << "\n\n" << CliUsage();
        return CliExit::Usage;
    }
    const CliOptions& options = *parsed.options;
    if (options.help) {
        out << CliUsage();
        return CliExit::Completed;
    }
    if (options.version) {
        out << "harborly-cli " HARBORLY_VERSION_STRING << Qt::endl;
        return CliExit::Completed;
    }

    CliEnvironment env{
        QCoreApplication::arguments(), QCoreApplication::applicationDirPath(), out, err,
        [&options]() -> std::optional<QString> {
            if (options.passwordStdin)
                return ReadPasswordLine(stdin);
            return AskPasswordOnTerminal(
                QCoreApplication::translate("Cli", "Router password: ").toLocal8Bit().constData());
        }};
    // SIGTERM (systemd stopping the unit) and Ctrl-C end "keep" cleanly; every other command
    // keeps the default, which ends it at once.
    QEventLoop keepLoop;
    env.keepLoop = &keepLoop;
    std::unique_ptr<QSocketNotifier> stop;
    if (options.command == CliCommand::Keep && ::pipe(signalPipe) == 0) {
        stop = std::make_unique<QSocketNotifier>(signalPipe[0], QSocketNotifier::Read);
        QObject::connect(stop.get(), &QSocketNotifier::activated, &keepLoop, &QEventLoop::quit);
        std::signal(SIGTERM, onSignal);
        std::signal(SIGINT, onSignal);
    }
    return RunCliCommand(options, env);
}
