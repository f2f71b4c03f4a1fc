// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>
#include <QUrl>

class QTimer;
class QWebEngineView;
class QWebEngineProfile;

// The router screen window: the captured page shown by Qt WebEngine with scripts off and
// every request refused except the captured file itself.
class frmBrowser : public QDialog {
    Q_OBJECT
public:
    explicit frmBrowser(const QString& htmPath, QWidget* parent = nullptr);
    ~frmBrowser() override;

    void timTimer_Timer();
    bool Busy() const { return busy_; }

    QWebEngineView* brwWebBrowser;
    QTimer* timTimer;

private:
    QWebEngineProfile* profile_;
    bool busy_ = true;
};
