#include "HarborlyVersion.h"
#include "cli/CliOptions.h"
#include "cli/CliSession.h"
#include "cli/PasswordInput.h"

#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("harborly-cli"));
    QTextStream out(stdout);
    QTextStream err(stderr);

    const CliParseResult parsed = ParseCliArguments(QCoreApplication::arguments());
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

    CliEnvironment env{QCoreApplication::arguments(), QCoreApplication::applicationDirPath(), out,
                       err, [&options]() -> std::optional<QString> {
                           if (options.passwordStdin)
                               return ReadPasswordLine(stdin);
                           return AskPasswordOnTerminal("Router password: ");
                       }};
    return RunCliCommand(options, env);
}
