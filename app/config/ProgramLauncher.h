// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

// Starts another program and blocks until it has ended. The forms call it through this
// interface so that their tests can put a recorder in its place.
class ProgramLauncher {
public:
    virtual ~ProgramLauncher() = default;
    // Returns false when the program could not be started; callers may ignore it.
    virtual bool Run(const QString& program, const QStringList& arguments) = 0;

    // The command line is a program name, one space and an unquoted path that may itself
    // hold spaces: everything after the first space is the one argument.
    bool RunAndWait(const QString& sCommandLine);

    struct Split {
        QString program;
        QStringList arguments;
    };
    static Split SplitCommandLine(const QString& sCommandLine);
};

// The real launcher. The wait has no time limit and runs no events, as a blocking call would,
// and it lasts until every process the program left behind has ended too: an editor that
// forks and returns at once is still being waited for.
class ProcessLauncher final : public ProgramLauncher {
public:
    bool Run(const QString& program, const QStringList& arguments) override;
};

// The text editor for the catalog, with the option that makes it stay until the file is
// closed where it has one (editors that hand the file to a running copy would return at
// once): notepad where it exists; $VISUAL or $EDITOR when Harborly runs in a terminal, whose
// editor then runs in it; else the desktop's own editor; xdg-open last.
QStringList TextEditorCommand();

// Every editor TextEditorCommand looks for, in its order, for the message when none is found.
QStringList TextEditorsLookedFor();
