// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "cli/CliOptions.h"

#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>
#include <optional>

class AppList;
class QEventLoop;
class QTextStream;

// Where a required login password comes from: the terminal, standard input, or a test.
using PasswordSource = std::function<std::optional<QString>()>;

struct CliEnvironment {
    QStringList arguments;    // as the program got them, for --home
    QString executableFolder; // for the program folder and the shipped catalog
    QTextStream& out;
    QTextStream& err;
    PasswordSource password;
    std::chrono::milliseconds passLength = std::chrono::seconds(1);
    // "keep" runs until this loop is told to quit (main: on SIGTERM or Ctrl-C).
    QEventLoop* keepLoop = nullptr;
    std::chrono::milliseconds keepTick = std::chrono::seconds(1);
};

// One command of harborly-cli, run the way the window runs: configuration, login, status
// query, then the command. Returns the exit status.
int RunCliCommand(const CliOptions& options, CliEnvironment& env);

// Selects the named applications, named exactly as the list shows them. False, with a message on
// env.err, at the first name the list does not have.
bool SelectByName(AppList& list, const QStringList& names, CliEnvironment& env);
