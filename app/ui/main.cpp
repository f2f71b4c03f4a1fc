#include "HarborlyVersion.h"
#include "Module.h"
#include "config/ProgramFolder.h"
#include "config/ProgramLauncher.h"
#include "platform/Clock.h"
#include "router/Router.h"
#include "ui/WidgetPrompts.h"
#include "ui/frmMain.h"
#include "viewer/RouterScreens.h"

#include <QApplication>
#include <QDateTime>
#include <QFileInfo>
#include <QLockFile>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const char* const kUsage =
    "Usage: Harborly [--home DIR] [--screenshot FILE]\n"
    "\n"
    "Forwards the ports of chosen applications on an old DSL/Cable home router to this\n"
    "computer. The program folder (Harborly.ini, Harborly.log) is DIR when given, else the\n"
    "executable's folder when writable, else $XDG_CONFIG_HOME/Harborly/.\n"
    "With --screenshot, the window is saved to FILE (PNG) once the router has answered, and\n"
    "the program ends. See harborly-cli(1) for the same operations from a terminal.\n";

} // namespace

int main(int argc, char** argv) {
    const char* screenshot = nullptr;
    for (int i = 1; i < argc; ++i) {
        // For the demo and the documentation: save the window once the router has answered.
        if (std::strcmp(argv[i], "--screenshot") == 0 && i + 1 < argc)
            screenshot = argv[i + 1];
        if (std::strcmp(argv[i], "--help") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::puts("Harborly " HARBORLY_VERSION_STRING);
            return 0;
        }
    }
    // The router screens use Qt WebEngine, which wants this before the application exists.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Harborly"));
    QApplication::setApplicationVersion(QStringLiteral(HARBORLY_VERSION_STRING));
    QApplication::setDesktopFileName(QStringLiteral("harborly"));

    const QString exeFolder = QCoreApplication::applicationDirPath();
    const ProgramFolder folder = ResolveProgramFolder(QCoreApplication::arguments(), exeFolder);
    const bool firstStart = !QFileInfo::exists(folder.path + QStringLiteral("Harborly.ini"));
    ProvideShippedFiles(folder.path, exeFolder);

    WidgetPrompts prompts;
    QLockFile instance(folder.path + QStringLiteral("Harborly.lock"));
    if (RefuseSecondCopy(instance, prompts))
        return 0;
    RemoveStaleTemporaries(folder.path, QDateTime::currentDateTimeUtc());

    Module module;
    ProcessLauncher launcher;
    SystemClock clock;
    frmMain window(module, prompts, launcher, clock, [&instance] {
        instance.unlock();
        std::fflush(nullptr);
        std::_Exit(0);
    });
    RouterScreens screens(module,
                          [&window](bool dmz) { return window.router().CaptureScreen(dmz); });
    window.showRouterScreen = [&](bool dmz) {
        screens.Show(dmz ? RouterScreens::Screen::Dmz : RouterScreens::Screen::Forward, &window);
    };
    window.firstStart = firstStart;
    if (!window.Form_Load(folder.path))
        return 0;
    window.show();
    QTimer shot;
    if (screenshot) {
        QObject::connect(&shot, &QTimer::timeout, &window, [&] {
            if (module.StatusQueryPending || !window.isEnabled())
                return;
            shot.stop();
            const bool saved = window.grab().save(QString::fromLocal8Bit(screenshot));
            std::fputs(saved ? "" : "Harborly: the screenshot could not be saved\n", stderr);
            window.ExitProgram();
        });
        shot.start(200);
    }
    return QApplication::exec();
}
