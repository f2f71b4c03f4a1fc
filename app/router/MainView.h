#pragma once

#include <QString>

class AppList;

// What the router operations may do to the main window. The window implements it; the
// command line and the tests have their own implementations.
class MainView {
public:
    virtual ~MainView() = default;

    virtual void setStatusCaption(const QString& caption) = 0;     // lblStatus
    virtual void setSendStatusCaption(const QString& caption) = 0; // SendStatus
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

    // The one way out: close the socket, release the codec, remove the tray icon, end.
    // Implementations used by tests record the call and return.
    virtual void ExitProgram() = 0;
};
