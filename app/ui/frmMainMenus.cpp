// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's Edit Applications, Help and About: programs and pages beside the router.
#include "ui/frmMain.h"

#include "Module.h"
#include "config/ProgramLauncher.h"
#include "platform/Prompts.h"
#include "ui/HelpWindow.h"
#include "ui/frmAbout.h"

#include <QStandardPaths>
#include <QUrl>

void frmMain::runWithMainHidden(const std::function<void()>& run, bool clearBeforeShow) {
    module_.DialogActive = true;
    module_.FrontWindow = this;
    hide();
    run();
    if (clearBeforeShow)
        module_.DialogActive = false;
    show();
    module_.DialogActive = false;
}

void frmMain::mnuEditApps_Click() {
    bool editorStarted = true;
    runWithMainHidden(
        [this, &editorStarted] {
            const QStringList editor = TextEditorCommand();
            editorStarted = launcher_.Run(editor.front(), editor.mid(1) << module_.paths.IniPath);
        },
        false);
    if (!editorStarted)
        prompts_.MsgBox(
            tr("No text editor was found to open %1.\rHarborly looked for: "
               "%2.\rInstall one of them, or open the file in an editor "
               "of your own; changes count at the next start.")
                .arg(module_.paths.IniPath, TextEditorsLookedFor().join(QStringLiteral(", "))),
            MsgIcon::Exclamation, QStringLiteral("Harborly"));
}

void frmMain::mnuHelp_Click() {
    if (!webKind()) {
        // Beside the window, not over it: the help is read while the window is used.
        if (!help_) {
            help_ = new HelpWindow(module_.paths.HlpPath, this);
            help_->setAttribute(Qt::WA_DeleteOnClose);
        }
        help_->show();
        help_->raise();
        help_->activateWindow();
        return;
    }
    runWithMainHidden(
        [this] {
            if (!QStandardPaths::findExecutable(QStringLiteral("winhlp32")).isEmpty()) {
                launcher_.RunAndWait(QStringLiteral("winhlp32 ") + module_.paths.HlpPath);
                return;
            }
            HelpWindow help(module_.paths.HlpPath);
            module_.FrontWindow = &help;
            help.exec();
            module_.FrontWindow = this;
        },
        true);
}

void frmMain::mnuAbout_Click() {
    frmAbout about(prompts_, QUrl::fromLocalFile(module_.paths.HlpPath), this, webKind());
    about.setWindowIcon(windowIcon());
    runDialog(about, false);
}
