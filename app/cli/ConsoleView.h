// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "router/AppList.h"
#include "router/MainView.h"

#include <QString>

// The main window's view for the command line: it keeps what the command reports; the
// window-only parts (locking, the timer, the indicators) have nothing to do here.
class ConsoleView final : public MainView {
public:
    // The command reports the router's lastOutcome(), not the words on the way to it.
    void setStatusCaption(const QString&) override {}
    void setSendStatusCaption(const QString&) override {}
    void setWanAddressCaption(const QString& caption) override { wanAddress_ = caption; }
    void setLanAddressCaption(const QString&) override {}
    void setStatusBarText(const QString& text) override { statusBar_ = text; }
    void EnableInterface(bool, bool) override {}
    void setWindowEnabled(bool) override {}
    void setTimer1Enabled(bool) override {}
    void setTimer1Interval(int) override {}
    AppList& lbApps() override { return list_; }
    void ExitProgram() override { exitRequested_ = true; }

    const QString& wanAddress() const { return wanAddress_; }
    const QString& statusBarText() const { return statusBar_; }
    bool exitRequested() const { return exitRequested_; }

private:
    QString wanAddress_ = QStringLiteral("Unknown");
    QString statusBar_;
    bool exitRequested_ = false;
    MemoryAppList list_;
};
