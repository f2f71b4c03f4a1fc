// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

#include <optional>

enum class CliCommand {
    Status,
    List,
    Slots,
    Point,
    Clear,
    DmzSet,
    DmzClear,
    ShowForward,
    ShowDmz,
    Keep,
    Remove,
    Check
};

// Exit statuses of harborly-cli; scripts rely on them.
namespace CliExit {
constexpr int Completed = 0;
constexpr int Failed = 1;
constexpr int Error = 2;
constexpr int Refused = 3; // a shortage of slots, nothing or an unknown name chosen
constexpr int Usage = 64;
} // namespace CliExit

struct CliOptions {
    CliCommand command = CliCommand::Status;
    QStringList names;      // the applications of "point" and "check", as the list shows them
    int removePort = 0;     // "remove PORT/PROTO"
    QString removeProtocol; // "TCP" or "UDP"
    QString home;           // --home DIR, empty when not given
    bool passwordStdin = false;
    bool help = false;
    bool version = false;
};

struct CliParseResult {
    std::optional<CliOptions> options; // empty on a usage error
    QString error;                     // what was wrong, for the usage message
};

// Arguments as QCoreApplication::arguments() gives them, program name first.
CliParseResult ParseCliArguments(const QStringList& arguments);

QString CliUsage();
