// SPDX-License-Identifier: GPL-3.0-or-later
#include "PasswordInput.h"

#include <string>

#include <termios.h>
#include <unistd.h>

std::optional<QString> ReadPasswordLine(std::FILE* in) {
    std::string line;
    int c = 0;
    bool any = false;
    while ((c = std::fgetc(in)) != EOF) {
        any = true;
        if (c == '\n')
            break;
        line.push_back(static_cast<char>(c));
    }
    if (!any)
        return std::nullopt;
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return QString::fromStdString(line);
}

std::optional<QString> AskPasswordOnTerminal(const char* prompt) {
    std::FILE* tty = std::fopen("/dev/tty", "r+");
    if (!tty)
        return std::nullopt;
    const int fd = fileno(tty);
    termios saved{};
    const bool canHide = tcgetattr(fd, &saved) == 0;
    if (canHide) {
        termios quiet = saved;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        quiet.c_lflag |= ECHONL;
        tcsetattr(fd, TCSAFLUSH, &quiet);
    }
    std::fputs(prompt, tty);
    std::fflush(tty);
    std::optional<QString> password = ReadPasswordLine(tty);
    if (canHide)
        tcsetattr(fd, TCSAFLUSH, &saved);
    std::fclose(tty);
    return password;
}
