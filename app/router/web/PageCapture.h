// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

struct Module;
class MainView;
class RouterLink;

// Rewrites a router page so that nothing on it acts: buttons, submit and reset buttons become
// hidden inputs, links become anchors, the field checks go. Case-sensitive, inside longer words
// too, over the whole text. Changes the text in place and returns it.
QByteArray& NeutralisePage(QByteArray& sPage);

// Writes the neutralised page and one CR LF to htmPath; a crash leaves the old file or the new
// one. False when the file could not be written.
bool CaptureRouterPage(const QString& htmPath, const QByteArray& sPage);

// Fetches the router's forwarding or DMZ screen into the captured page file.
class ScreenCapture {
public:
    ScreenCapture(Module& module, MainView& view, RouterLink& link);

    bool GetForwardPortsScreen();
    bool GetDMZScreen();

private:
    bool fetch(const QString& requestLine, const QString& activity);

    Module& module_;
    MainView& view_;
    RouterLink& link_;
};
