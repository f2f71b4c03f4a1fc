// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "QtPrint.h"
#include "router/AppList.h"
#include "router/MainView.h"

#include <QStringList>

// A main window without widgets: keeps every caption, the lock and timer state, and the
// history of the status label so tests can see the words an operation went through.
class RecordingView final : public MainView {
public:
    void setStatusCaption(const QString& caption) override {
        status = caption;
        statusHistory.append(caption);
    }
    void setSendStatusCaption(const QString& caption) override { sendStatus = caption; }
    void setWanAddressCaption(const QString& caption) override { wanAddress = caption; }
    void setLanAddressCaption(const QString& caption) override { lanAddress = caption; }
    void setStatusBarText(const QString& text) override { statusBar = text; }
    void EnableInterface(bool bEnable, bool) override {
        controlsEnabled = bEnable;
        windowEnabled = bEnable;
        enableCalls.append(bEnable);
    }
    void setWindowEnabled(bool enabled) override { windowEnabled = enabled; }
    void setTimer1Enabled(bool enabled) override {
        timerEnabled = enabled;
        timerHistory.append(enabled);
    }
    void setTimer1Interval(int milliseconds) override { timerInterval = milliseconds; }
    AppList& lbApps() override { return list; }
    void ExitProgram() override { ++exits; }
    void showProgress(int done, int) override { progress.append(done); }
    bool cancelRequested() override { return cancelAt >= 0 && progress.size() >= cancelAt; }
    void routerAnswering(bool answering, const QString& sentence) override {
        answeringHistory.append({answering, sentence});
    }

    QString status = QStringLiteral("Unknown");
    QStringList statusHistory;
    QString sendStatus = QStringLiteral("Unknown");
    QString wanAddress = QStringLiteral("Unknown");
    QString lanAddress = QStringLiteral("Unknown");
    QString statusBar;
    bool controlsEnabled = true;
    bool windowEnabled = true;
    QList<bool> enableCalls;
    bool timerEnabled = false;
    QList<bool> timerHistory;
    int timerInterval = 500;
    MemoryAppList list;
    int exits = 0;
    QList<int> progress;
    int cancelAt = -1; // cancel once this many progress steps were shown
    QList<std::pair<bool, QString>> answeringHistory;
};
