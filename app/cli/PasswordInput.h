// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <cstdio>
#include <optional>

// One line from the stream, without its line end; empty when the stream has ended.
// Nothing else is trimmed: the login compares the password exactly.
std::optional<QString> ReadPasswordLine(std::FILE* in);

// Asks on the controlling terminal with echo off. Empty when there is no terminal.
std::optional<QString> AskPasswordOnTerminal(const char* prompt);
