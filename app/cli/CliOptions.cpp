// SPDX-License-Identifier: GPL-3.0-or-later
#include "CliOptions.h"

#include <QCoreApplication>

namespace {

std::optional<CliCommand> commandOf(const QStringList& words, QString& error) {
    const QString first = words.value(0);
    const QString second = words.value(1);
    const auto noMore = [&](int count, CliCommand command) -> std::optional<CliCommand> {
        if (words.size() > count) {
            error = QCoreApplication::translate("Cli", "too many arguments for \"%1\"")
                        .arg(words.mid(0, count).join(' '));
            return std::nullopt;
        }
        return command;
    };
    if (first == QLatin1String("status"))
        return noMore(1, CliCommand::Status);
    if (first == QLatin1String("list"))
        return noMore(1, CliCommand::List);
    if (first == QLatin1String("slots"))
        return noMore(1, CliCommand::Slots);
    if (first == QLatin1String("clear"))
        return noMore(1, CliCommand::Clear);
    if (first == QLatin1String("keep"))
        return noMore(1, CliCommand::Keep);
    if (first == QLatin1String("check"))
        return CliCommand::Check;
    if (first == QLatin1String("point")) {
        if (words.size() < 2) {
            error = QCoreApplication::translate(
                "Cli", "\"point\" needs the name of at least one application");
            return std::nullopt;
        }
        return CliCommand::Point;
    }
    if (first == QLatin1String("remove")) {
        if (words.size() != 2) {
            error = QCoreApplication::translate(
                "Cli", "\"remove\" takes one forward, as PORT/PROTO (8096/tcp)");
            return std::nullopt;
        }
        return CliCommand::Remove;
    }
    if (first == QLatin1String("dmz")) {
        if (second == QLatin1String("set"))
            return noMore(2, CliCommand::DmzSet);
        if (second == QLatin1String("clear"))
            return noMore(2, CliCommand::DmzClear);
        error = QCoreApplication::translate("Cli", "\"dmz\" takes \"set\" or \"clear\"");
        return std::nullopt;
    }
    if (first == QLatin1String("show")) {
        if (second == QLatin1String("forward"))
            return noMore(2, CliCommand::ShowForward);
        if (second == QLatin1String("dmz"))
            return noMore(2, CliCommand::ShowDmz);
        error = QCoreApplication::translate("Cli", "\"show\" takes \"forward\" or \"dmz\"");
        return std::nullopt;
    }
    error = first.isEmpty()
                ? QCoreApplication::translate("Cli", "no command given")
                : QCoreApplication::translate("Cli", "unknown command \"%1\"").arg(first);
    return std::nullopt;
}

} // namespace

CliParseResult ParseCliArguments(const QStringList& arguments) {
    CliOptions options;
    QStringList words;
    bool optionsEnded = false;
    for (int i = 1; i < arguments.size(); ++i) {
        const QString& a = arguments[i];
        if (optionsEnded || !a.startsWith(QLatin1String("--"))) {
            words << a;
        } else if (a == QLatin1String("--")) {
            optionsEnded = true;
        } else if (a == QLatin1String("--help")) {
            options.help = true;
        } else if (a == QLatin1String("--version")) {
            options.version = true;
        } else if (a == QLatin1String("--password-stdin")) {
            options.passwordStdin = true;
        } else if (a == QLatin1String("--home") || a.startsWith(QLatin1String("--home="))) {
            options.home = a.size() > 6 ? a.mid(7) : arguments.value(++i);
            if (options.home.isEmpty())
                return {std::nullopt, QCoreApplication::translate("Cli", "--home needs a folder")};
        } else {
            return {std::nullopt,
                    QCoreApplication::translate("Cli", "unknown option \"%1\"").arg(a)};
        }
    }
    if (options.help || options.version)
        return {options, {}};

    QString error;
    const std::optional<CliCommand> command = commandOf(words, error);
    if (!command)
        return {std::nullopt, error};
    options.command = *command;
    if (options.command == CliCommand::Point || options.command == CliCommand::Check)
        options.names = words.mid(1);
    if (options.command == CliCommand::Remove) {
        const QStringList parts = words.at(1).split(QLatin1Char('/'));
        bool ok = false;
        const int port = parts.value(0).toInt(&ok);
        const QString protocol = parts.value(1).toUpper();
        if (parts.size() != 2 || !ok || port < 1 || port > 65535 ||
            (protocol != QLatin1String("TCP") && protocol != QLatin1String("UDP")))
            return {std::nullopt, QCoreApplication::translate(
                                      "Cli", "\"%1\" is no forward; write PORT/PROTO, as 8096/tcp")
                                      .arg(words.at(1))};
        options.removePort = port;
        options.removeProtocol = protocol;
    }
    return {options, {}};
}

QString CliUsage() {
    return QCoreApplication::translate(
        "Cli",
        "Usage: harborly-cli [--home DIR] [--password-stdin] COMMAND\n"
        "\n"
        "Forwards the ports of chosen applications on the home router to this computer.\n"
        "Every command first loads the configuration and queries the router's status.\n"
        "\n"
        "Commands:\n"
        "  status               the router's WAN address and firmware version\n"
        "  list                 the application catalog with its port ranges\n"
        "  slots                the router's forwards (web: its ten slots)\n"
        "  point NAME...        forward the named applications to this computer\n"
        "                       (names as the list shows them, matched exactly)\n"
        "  clear                remove the forwards Harborly made (web: every slot)\n"
        "  remove PORT/PROTO    remove one forward to this computer (8096/tcp), whoever made it\n"
        "  dmz set              make this computer the router's DMZ host\n"
        "  dmz clear            clear the DMZ host\n"
        "  show forward|dmz     save the router's screen to the program folder\n"
        "  keep                 keep the forwards alive until stopped (SIGTERM, Ctrl-C)\n"
        "  check [NAME...]      is it really working? for each forwarded port: a program\n"
        "                       listening here, the router's forward, the way back in\n"
        "                       (the applications last pointed when no NAME is given)\n"
        "\n"
        "Options:\n"
        "  --home DIR           use DIR as the program folder (Harborly.ini, log, page)\n"
        "  --password-stdin     read the login password from standard input\n"
        "  --help               show this text\n"
        "  --version            show the version\n"
        "\n"
        "Exit status: 0 completed, 1 failed, 2 router error, 3 refused, 64 usage error.\n");
}
