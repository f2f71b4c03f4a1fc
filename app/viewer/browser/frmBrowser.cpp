// SPDX-License-Identifier: GPL-3.0-or-later
#include "frmBrowser.h"

#include <QCoreApplication>
#include <QTimer>
#include <QVBoxLayout>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestInterceptor>
#include <QWebEngineView>

#include <unistd.h>

namespace {

// Read-only means nothing on the page may reach the network, the router's own address and
// loopback included: only the captured file itself is loaded.
class OnlyTheFile : public QWebEngineUrlRequestInterceptor {
public:
    OnlyTheFile(QUrl file, QObject* parent)
        : QWebEngineUrlRequestInterceptor(parent), file_(std::move(file)) {}
    void interceptRequest(QWebEngineUrlRequestInfo& info) override {
        if (info.requestUrl().adjusted(QUrl::RemoveFragment) != file_)
            info.block(true);
    }

private:
    QUrl file_;
};

class StayOnTheFile : public QWebEnginePage {
public:
    StayOnTheFile(QUrl file, QWebEngineProfile* profile, QObject* parent)
        : QWebEnginePage(profile, parent), file_(std::move(file)) {}

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType, bool) override {
        return url.adjusted(QUrl::RemoveFragment) == file_;
    }
    QWebEnginePage* createWindow(WebWindowType) override { return nullptr; }

private:
    QUrl file_;
};

} // namespace

frmBrowser::frmBrowser(const QString& htmPath, QWidget* parent) : QDialog(parent) {
    resize(760, 560);
    const QUrl file = QUrl::fromLocalFile(htmPath);
    profile_ = new QWebEngineProfile(this); // off the record: nothing kept on disk
    profile_->setUrlRequestInterceptor(new OnlyTheFile(file, profile_));
    QWebEngineSettings* settings = profile_->settings();
    settings->setAttribute(QWebEngineSettings::JavascriptEnabled, false);
    settings->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, false);
    settings->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, false);
    settings->setAttribute(QWebEngineSettings::AutoLoadImages, false);
    settings->setAttribute(QWebEngineSettings::PluginsEnabled, false);
    settings->setAttribute(QWebEngineSettings::DnsPrefetchEnabled, false);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    brwWebBrowser = new QWebEngineView(this);
    brwWebBrowser->setPage(new StayOnTheFile(file, profile_, brwWebBrowser));
    brwWebBrowser->setToolTip(
        QCoreApplication::translate("Browser", "Read-only port forwarding router screen"));
    brwWebBrowser->setContextMenuPolicy(Qt::NoContextMenu);
    layout->addWidget(brwWebBrowser);
    connect(brwWebBrowser, &QWebEngineView::loadStarted, this, [this] { busy_ = true; });
    connect(brwWebBrowser, &QWebEngineView::loadFinished, this, [this] { busy_ = false; });

    timTimer = new QTimer(this);
    timTimer->setInterval(5);
    connect(timTimer, &QTimer::timeout, this, &frmBrowser::timTimer_Timer);
    timTimer->start();
    brwWebBrowser->load(file);
}

frmBrowser::~frmBrowser() {
    // The page must go before the profile it was made with.
    delete brwWebBrowser;
}

void frmBrowser::timTimer_Timer() {
    if (Busy()) {
        setWindowTitle(QCoreApplication::translate("Browser", "Working..."));
        return;
    }
    timTimer->stop();
    setWindowTitle(QCoreApplication::translate("Browser", "Harborly - Browser Offline"));
}

extern "C" Q_DECL_EXPORT QDialog* harborly_create_browser(const QString& htmPath, QWidget* parent) {
    // Chromium's sandbox refuses to start as root; the page has no scripts and no network.
    if (::geteuid() == 0 && qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    return new frmBrowser(htmPath, parent);
}
