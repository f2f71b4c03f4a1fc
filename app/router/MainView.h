// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/RouterSocket.h"
#include "router/keep/Outcome.h"

#include <QString>

class AppList;

// What the router operations may do to the main window. The window implements it; the
// command line and the tests have their own implementations.
class MainView {
public:
    virtual ~MainView() = default;

    virtual void setStatusCaption(const QString& caption) = 0;     // lblStatus
    virtual void setSendStatusCaption(const QString& caption) = 0; // SendStatus
    // How an operation ended, for lblStatus; a view that rewords nothing shows its word.
    virtual void showOutcome(Outcome outcome) { setStatusCaption(StatusWord(outcome)); }
    // The router link's SocketState, for SendStatus.
    virtual void showSendState(int state) { setSendStatusCaption(socketStateWord(state)); }
    virtual void setWanAddressCaption(const QString& caption) = 0; // lblWanIpAddress
    virtual void setLanAddressCaption(const QString& caption) = 0; // lblLanIpAddress
    virtual void setStatusBarText(const QString& text) = 0;        // sbStatusBar

    // Locks (false) or unlocks (true) the user's controls and, last, the window itself.
    // bLogon has no effect.
    virtual void EnableInterface(bool bEnable, bool bLogon) = 0;
    // The window alone, leaving its controls as they are.
    virtual void setWindowEnabled(bool enabled) = 0;

    virtual void setTimer1Enabled(bool enabled) = 0;
    virtual void setTimer1Interval(int milliseconds) = 0;

    virtual AppList& lbApps() = 0;

    // Protocol kinds, while an operation runs: forward `done` of `total` is being made or
    // removed. The window shows it beside a Cancel.
    virtual void showProgress(int done, int total) {
        (void)done;
        (void)total;
    }
    // Looked at between two exchanges of an operation: true ends it there, the record and
    // the router left consistent.
    virtual bool cancelRequested() { return false; }
    // The router stopped answering (false) or answers again (true); `sentence` says what
    // happened in a line for the status, the tray's tool tip and the activity log ("Router
    // back; 3 forwards made again").
    virtual void routerAnswering(bool answering, const QString& sentence) {
        (void)answering;
        (void)sentence;
    }

    // The one way out: close the socket, release the codec, remove the tray icon, end.
    // Implementations used by tests record the call and return.
    virtual void ExitProgram() = 0;
};
