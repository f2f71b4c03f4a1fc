#pragma once

#include "router/AppList.h"
#include "router/MainView.h"

#include <QString>

class QTextStream;

// The main window's view for the command line: captions are kept for the command to report,
// and with `verbose` every activity is echoed as it happens.
class ConsoleView final : public MainView {
public:
    ConsoleView(QTextStream& err, bool verbose);

    void setStatusCaption(const QString& caption) override;
    void setSendStatusCaption(const QString& caption) override { sendStatus_ = caption; }
    void setWanAddressCaption(const QString& caption) override { wanAddress_ = caption; }
    void setLanAddressCaption(const QString& caption) override { lanAddress_ = caption; }
    void setStatusBarText(const QString& text) override { statusBar_ = text; }
    void EnableInterface(bool bEnable, bool) override { enabled_ = bEnable; }
    void setWindowEnabled(bool) override {}
    void setTimer1Enabled(bool enabled) override { timer1Enabled_ = enabled; }
    void setTimer1Interval(int) override {}
    AppList& lbApps() override { return list_; }
    void ExitProgram() override { exitRequested_ = true; }

    const QString& status() const { return status_; }
    const QString& wanAddress() const { return wanAddress_; }
    const QString& lanAddress() const { return lanAddress_; }
    const QString& statusBarText() const { return statusBar_; }
    bool exitRequested() const { return exitRequested_; }
    MemoryAppList& list() { return list_; }

private:
    QTextStream& err_;
    bool verbose_;
    QString status_ = QStringLiteral("Unknown");
    QString sendStatus_;
    QString wanAddress_ = QStringLiteral("Unknown");
    QString lanAddress_ = QStringLiteral("Unknown");
    QString statusBar_;
    bool enabled_ = true;
    bool timer1Enabled_ = false;
    bool exitRequested_ = false;
    MemoryAppList list_;
};
