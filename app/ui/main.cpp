// SPDX-License-Identifier: GPL-3.0-or-later
#include "HarborlyVersion.h"
#include "Module.h"
#include "config/IniFile.h"
#include "config/ProgramFolder.h"
#include "config/ProgramLauncher.h"
#include "platform/Clock.h"
#include "platform/SessionLanguage.h"

#include "router/AutoRouter.h"
#include "router/Router.h"
#include "router/RouterKinds.h"
#include "ui/WidgetPrompts.h"
#include "ui/frmMain.h"
#include "viewer/RouterScreens.h"

#include <QApplication>
#include <QDateTime>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QLabel>
#include <QLockFile>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>

namespace {

const char* const kUsage =
    "Usage: Harborly [--home DIR] [--tray] [--screenshot FILE] [--trace FILE]\n"
    "\n"
    "Forwards the ports of chosen applications to this computer on a home router: through\n"
    "UPnP IGD, PCP or NAT-PMP (found by itself), or the web pages of Linksys-style routers.\n"
    "Forwards that lapse are kept alive while it runs. The program folder (Harborly.ini, "
    "Harborly.log) is DIR when given, else the\n"
    "executable's folder when writable, else $XDG_CONFIG_HOME/Harborly/.\n"
    "With --tray, the window starts hidden in the tray (shown when there is no tray), as the\n"
    "login start of the settings dialog runs it.\n"
    "With --screenshot, the window is saved to FILE (PNG) once the router has answered, and\n"
    "the program ends. With --trace, what the window shows (status, addresses, the open\n"
    "dialog, where its buttons are) is appended to FILE as it changes, for scripted\n"
    "walkthroughs. See harborly-cli(1) for the same operations from a terminal.\n";

QString Geometry(const QWidget* w) {
    if (!w || !w->isVisible())
        return QStringLiteral("hidden");
    const QPoint centre = w->mapToGlobal(w->rect().center());
    return QStringLiteral("%1,%2").arg(centre.x()).arg(centre.y());
}

// What a script driving the window needs to know: texts shown, and where to click.
QList<std::pair<QString, QString>> TraceWindow(frmMain& w) {
    QList<std::pair<QString, QString>> out = {
        {QStringLiteral("status"), w.lblStatus->text()},
        {QStringLiteral("send"), w.SendStatus->text()},
        {QStringLiteral("wan"), w.lblWanIpAddress->text()},
        {QStringLiteral("lan"), w.lblLanIpAddress->text()},
        {QStringLiteral("statusbar"), w.sbFirmware->text()},
        {QStringLiteral("wanWarning"),
         w.lblWanWarning->isVisible() ? w.lblWanWarning->toolTip() : QStringLiteral("none")},
        {QStringLiteral("window"),
         w.isVisible() ? QStringLiteral("shown") : QStringLiteral("hidden")},
        {QStringLiteral("cancel"), Geometry(w.btnCancel)},
        {QStringLiteral("point"), Geometry(w.btnPoint)},
        {QStringLiteral("clear"), Geometry(w.btnClearAllPoints)},
        {QStringLiteral("checkResults"), Geometry(w.btnCheckResults)},
        {QStringLiteral("tray"),
         w.tray ? w.tray->toolTip().replace(QLatin1Char('\n'), QLatin1Char(' '))
                : QStringLiteral("none")},
        {QStringLiteral("trayMessage"), w.trayMessage},
    };
    QString modal = QStringLiteral("none");
    if (QWidget* m = QApplication::activeModalWidget()) {
        modal = m->windowTitle();
        if (auto* box = qobject_cast<QMessageBox*>(m))
            modal += QLatin1Char('|') + box->text().replace(QLatin1Char('\n'), QLatin1Char(' '));
    }
    out.append({QStringLiteral("modal"), modal});
    QString closeButton = QStringLiteral("none");
    if (QWidget* m = QApplication::activeModalWidget())
        if (auto* buttons = m->findChild<QDialogButtonBox*>())
            if (QPushButton* b = buttons->button(QDialogButtonBox::Close))
                closeButton = Geometry(b);
    out.append({QStringLiteral("modalClose"), closeButton});
    const QWidget* focus = QApplication::focusWidget();
    out.append({QStringLiteral("focus"),
                focus ? QString::fromLatin1(focus->metaObject()->className()) : QString()});
    QString menu = QStringLiteral("hidden");
    if (w.trayMenu->isVisible()) {
        menu.clear();
        for (QAction* a : w.trayMenu->actions())
            if (!a->isSeparator()) {
                const QPoint c = w.trayMenu->mapToGlobal(w.trayMenu->actionGeometry(a).center());
                menu += QStringLiteral("%1@%2,%3;").arg(a->text()).arg(c.x()).arg(c.y());
            }
    }
    out.append({QStringLiteral("trayMenu"), menu});
    return out;
}

// Read before the application exists: whether the program folder's configuration names the
// web kind, or a kind not known (which falls back to it).
bool ConfiguredKindHasScreens(int argc, char** argv) {
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const QString exeFolder =
        QFileInfo(QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath()).absolutePath();
    const QString ini =
        ResolveProgramFolder(arguments, exeFolder).path + QStringLiteral("Harborly.ini");
    if (!QFileInfo::exists(ini))
        return false; // a first start: the shipped catalog names the automatic kind
    const QString kind =
        RouterKindOf(IniFile(ini).read(QStringLiteral("Misc"), QStringLiteral("RouterKind")));
    return kind.isEmpty() || kind == QLatin1String("web");
}

// What the command line asks for; exitCode set when it was answered there already.
struct Options {
    const char* screenshot = nullptr;
    const char* tracePath = nullptr;
    bool tray = false;
    std::optional<int> exitCode;
};

Options ParseOptions(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        // For the demo and the documentation: save the window once the router has answered.
        if (std::strcmp(argv[i], "--screenshot") == 0 && i + 1 < argc)
            options.screenshot = argv[i + 1];
        if (std::strcmp(argv[i], "--trace") == 0 && i + 1 < argc)
            options.tracePath = argv[i + 1];
        if (std::strcmp(argv[i], "--tray") == 0)
            options.tray = true;
        if (std::strcmp(argv[i], "--help") == 0) {
            std::fputs(kUsage, stdout);
            options.exitCode = 0;
            return options;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::puts("Harborly " HARBORLY_VERSION_STRING);
            options.exitCode = 0;
            return options;
        }
    }
    return options;
}

// The automatic kind's search goes out now and runs while the window is built.
void StartAutomaticSearch(const QString& folder) {
    const IniFile ini(folder + QStringLiteral("Harborly.ini"));
    if (RouterKindOf(ini.read(QStringLiteral("Misc"), QStringLiteral("RouterKind"))) ==
        QLatin1String("auto"))
        AutoRouter::StartEarly(folder + QStringLiteral("Harborly.ini"),
                               ini.read(QStringLiteral("Misc"), QStringLiteral("LanPrivateIP")));
}

// The questions the window asks, in a message box with the two answers as its buttons.
void AskWithMessageBoxes(frmMain& window) {
    window.ask = [&window](const QString& text, const QString& yes, const QString& no) {
        QMessageBox box(QMessageBox::Question, QStringLiteral("Harborly"), text,
                        QMessageBox::NoButton, window.isVisible() ? &window : nullptr);
        QPushButton* yesButton = box.addButton(yes, QMessageBox::AcceptRole);
        box.addButton(no, QMessageBox::RejectRole);
        box.setDefaultButton(yesButton);
        box.exec();
        return box.clickedButton() == yesButton;
    };
}

// Appends what the window shows to a file whenever it changes (--trace).
class WindowTrace {
public:
    WindowTrace(frmMain& window, const QString& path) : window_(window), file_(path) {
        if (!file_.open(QIODevice::WriteOnly | QIODevice::Append))
            return;
        QObject::connect(&timer_, &QTimer::timeout, &window_, [this] { write(); });
        // Runs in the operations' waits too: they let the event loop run.
        timer_.start(40);
    }

private:
    void write() {
        for (const auto& [key, value] : TraceWindow(window_)) {
            if (traced_.value(key) == value)
                continue;
            traced_.insert(key, value);
            file_.write((key + QLatin1Char('=') + value).toUtf8() + '\n');
        }
        file_.flush();
    }

    frmMain& window_;
    QFile file_;
    QTimer timer_;
    QHash<QString, QString> traced_;
};

// Saves the window to `path` once the router has answered, then ends the program
// (--screenshot).
class WindowShot {
public:
    WindowShot(frmMain& window, const Module& module, const QString& path)
        : window_(window), module_(module), path_(path) {
        QObject::connect(&timer_, &QTimer::timeout, &window_, [this] { take(); });
        timer_.start(10);
    }

private:
    void take() {
        if (module_.StatusQueryPending || !window_.isEnabled() || window_.busy())
            return;
        timer_.stop();
        const bool saved = window_.grab().save(path_);
        std::fputs(saved ? "" : "Harborly: the screenshot could not be saved\n", stderr);
        window_.ExitProgram();
    }

    frmMain& window_;
    const Module& module_;
    QString path_;
    QTimer timer_;
};

} // namespace

int main(int argc, char** argv) {
    const Options options = ParseOptions(argc, argv);
    if (options.exitCode)
        return *options.exitCode;
    // The router screens use Qt WebEngine, which wants this before the application exists.
    // It makes a global OpenGL context at once, a third of a second on a software renderer:
    // only the web kind has router screens.
    if (ConfiguredKindHasScreens(argc, argv))
        QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Harborly"));
    QApplication::setApplicationVersion(QStringLiteral(HARBORLY_VERSION_STRING));
    QApplication::setDesktopFileName(QStringLiteral("harborly"));
    InstallTranslations(app);

    const QString exeFolder = QCoreApplication::applicationDirPath();
    const ProgramFolder folder = ResolveProgramFolder(QCoreApplication::arguments(), exeFolder);
    const bool firstStart = !QFileInfo::exists(folder.path + QStringLiteral("Harborly.ini"));
    ProvideShippedFiles(folder.path, exeFolder);

    WidgetPrompts prompts;
    QLockFile instance(folder.path + QStringLiteral("Harborly.lock"));
    if (RefuseSecondCopy(instance, prompts, ConfiguredKindHasScreens(argc, argv)))
        return 0;
    if (!firstStart)
        StartAutomaticSearch(folder.path);
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
    AskWithMessageBoxes(window);
    std::optional<WindowTrace> trace;
    if (options.tracePath)
        trace.emplace(window, QString::fromLocal8Bit(options.tracePath));
    window.firstStart = firstStart;
    if (!window.Form_Load(folder.path))
        return 0;
    // Hidden only where the tray can bring it back.
    if (!options.tray || !window.tray)
        window.show();
    std::optional<WindowShot> shot;
    if (options.screenshot)
        shot.emplace(window, module, QString::fromLocal8Bit(options.screenshot));
    return QApplication::exec();
}
