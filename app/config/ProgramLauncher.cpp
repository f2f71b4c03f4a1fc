// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/ProgramLauncher.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>

#include <vector>

#include <cerrno>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

ProgramLauncher::Split ProgramLauncher::SplitCommandLine(const QString& sCommandLine) {
    const qsizetype space = sCommandLine.indexOf(u' ');
    if (space < 0)
        return {sCommandLine, {}};
    const QString rest = sCommandLine.mid(space + 1);
    return {sCommandLine.left(space), rest.isEmpty() ? QStringList() : QStringList{rest}};
}

bool ProgramLauncher::RunAndWait(const QString& sCommandLine) {
    const Split split = SplitCommandLine(sCommandLine);
    return Run(split.program, split.arguments);
}

namespace {

constexpr int kNotStarted = 127;

void waitFor(pid_t pid, int* status) {
    while (::waitpid(pid, status, 0) < 0 && errno == EINTR) {
    }
}

} // namespace

bool ProcessLauncher::Run(const QString& program, const QStringList& arguments) {
    if (program.isEmpty())
        return false;
    const QString path = QStandardPaths::findExecutable(program);
    if (path.isEmpty())
        return false;
    // Everything the child needs is made before the fork: after it, in a threaded program,
    // only system calls are safe.
    std::vector<QByteArray> args{QFile::encodeName(path)};
    for (const QString& a : arguments)
        args.push_back(QFile::encodeName(a));
    std::vector<char*> argv;
    for (QByteArray& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    QCoreApplication::processEvents();
    const pid_t keeper = ::fork();
    if (keeper < 0)
        return false;
    if (keeper == 0) {
        // The keeper: whatever the program forks and leaves behind becomes its child when
        // the program ends, so it can wait for all of it. Shares our standard input and
        // output, like an inherited console, and nothing else of ours.
        ::prctl(PR_SET_CHILD_SUBREAPER, 1);
        ::close_range(3, ~0U, 0);
        const pid_t editor = ::fork();
        if (editor == 0) {
            ::execv(argv[0], argv.data());
            ::_exit(kNotStarted);
        }
        if (editor < 0)
            ::_exit(kNotStarted);
        int code = 0;
        for (;;) {
            int status = 0;
            const pid_t ended = ::waitpid(-1, &status, 0);
            if (ended < 0 && errno == EINTR)
                continue;
            if (ended < 0)
                break; // no child left
            if (ended == editor)
                code = WIFEXITED(status) ? WEXITSTATUS(status) : 0;
        }
        ::_exit(code);
    }
    int status = 0;
    waitFor(keeper, &status);
    return !(WIFEXITED(status) && WEXITSTATUS(status) == kNotStarted);
}

namespace {

struct Editor {
    const char* program;
    const char* stayOption; // keeps a copy of its own until the file is closed
};
constexpr Editor kDesktopEditors[] = {{"gnome-text-editor", "--standalone"},
                                      {"gedit", "--wait"},
                                      {"kate", "--block"},
                                      {"mousepad", "--disable-server"},
                                      {"kwrite", nullptr},
                                      {"xed", nullptr},
                                      {"pluma", nullptr},
                                      {"leafpad", nullptr},
                                      {"featherpad", nullptr}};

} // namespace

QStringList TextEditorsLookedFor() {
    QStringList names{QStringLiteral("notepad"),
                      QCoreApplication::translate("Config", "$VISUAL and $EDITOR (in a terminal)")};

    for (const Editor& e : kDesktopEditors)
        names << QString::fromLatin1(e.program);
    return names << QStringLiteral("xdg-open");
}

QStringList TextEditorCommand() {
    if (!QStandardPaths::findExecutable(QStringLiteral("notepad")).isEmpty())
        return {QStringLiteral("notepad")};
    if (::isatty(STDIN_FILENO) && ::isatty(STDOUT_FILENO)) {
        for (const char* variable : {"VISUAL", "EDITOR"}) {
            const QStringList command = QProcess::splitCommand(qEnvironmentVariable(variable));
            if (!command.isEmpty() && !QStandardPaths::findExecutable(command.front()).isEmpty())
                return command;
        }
    }
    for (const Editor& e : kDesktopEditors) {
        const QString program = QString::fromLatin1(e.program);
        if (QStandardPaths::findExecutable(program).isEmpty())
            continue;
        QStringList command{program};
        if (e.stayOption)
            command << QString::fromLatin1(e.stayOption);
        return command;
    }
    return {QStringLiteral("xdg-open")};
}
