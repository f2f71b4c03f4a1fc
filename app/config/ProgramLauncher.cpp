#include "config/ProgramLauncher.h"

#include <QCoreApplication>
#include <QProcess>

ProcessLauncher::Split ProcessLauncher::SplitCommandLine(const QString& sCommandLine) {
    const qsizetype space = sCommandLine.indexOf(u' ');
    if (space < 0)
        return {sCommandLine, {}};
    const QString rest = sCommandLine.mid(space + 1);
    return {sCommandLine.left(space), rest.isEmpty() ? QStringList() : QStringList{rest}};
}

bool ProcessLauncher::RunAndWait(const QString& sCommandLine) {
    const Split split = SplitCommandLine(sCommandLine);
    if (split.program.isEmpty())
        return false;
    QProcess process;
    // Like an inherited console: the program shares our input and output.
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.setInputChannelMode(QProcess::ForwardedInputChannel);
    process.start(split.program, split.arguments);
    QCoreApplication::processEvents();
    if (!process.waitForStarted(-1))
        return false;
    process.waitForFinished(-1);
    return true;
}
