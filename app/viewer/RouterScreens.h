// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <functional>

struct Module;
class QDialog;
class QWidget;

// "View Points" and "View Point": fetch the screen, then show the captured file read-only in
// a fresh modal window. The web view lives in a module loaded on first use, so the program
// starts without Qt WebEngine; without the module a plain text view stands in.
class RouterScreens {
public:
    enum class Screen { Forward, Dmz };

    // capture fetches the router's forwarding (false) or DMZ (true) screen into the captured
    // page file.
    using Capture = std::function<bool(bool dmz)>;
    RouterScreens(Module& module, Capture capture);

    void Show(Screen screen, QWidget* mainWindow);

    // A fresh window on the captured file: the web view when it can be loaded.
    QDialog* createBrowser(QWidget* parent);
    bool webViewAvailable();

private:
    Module& module_;
    Capture capture_;
    using CreateFn = QDialog* (*)(const QString&, QWidget*);
    CreateFn create_ = nullptr;
    bool triedLoading_ = false;
};

// A Close button under the screen and Escape that closes it.
void AddCloseControls(QDialog& dialog);

// Where the web view module is looked for: beside the build's own copy, then installed.
QStringList BrowserModuleCandidates();
