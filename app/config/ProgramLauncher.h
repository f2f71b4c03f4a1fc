#pragma once

#include <QString>
#include <QStringList>

// Starts another program and blocks until it has ended. The forms call it through this
// interface so that their tests can put a recorder in its place.
class ProgramLauncher {
public:
    virtual ~ProgramLauncher() = default;
    // Returns false when the program could not be started; callers may ignore it.
    virtual bool RunAndWait(const QString& sCommandLine) = 0;
};

// The real launcher over QProcess. The command line is a program name, one space and an
// unquoted path that may itself hold spaces: everything after the first space is the one
// argument. The wait has no time limit and runs no events, as a blocking call would.
class ProcessLauncher final : public ProgramLauncher {
public:
    bool RunAndWait(const QString& sCommandLine) override;

    struct Split {
        QString program;
        QStringList arguments;
    };
    static Split SplitCommandLine(const QString& sCommandLine);
};
