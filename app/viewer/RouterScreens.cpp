// SPDX-License-Identifier: GPL-3.0-or-later
#include "viewer/RouterScreens.h"

#include "Module.h"

#include <QBoxLayout>
#include <QCoreApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QLibrary>
#include <QShortcut>
#include <QTextBrowser>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

namespace {

// Stands in for the web view: rich text without scripts, and nothing loaded but the file.
class PlainBrowser : public QDialog {
public:
    PlainBrowser(const QString& htmPath, QWidget* parent) : QDialog(parent) {
        resize(760, 560);
        setWindowTitle(QCoreApplication::translate("Browser", "Working..."));
        auto* layout = new QVBoxLayout(this);
        auto* view = new QTextBrowser(this);
        view->setToolTip(
            QCoreApplication::translate("Browser", "Read-only port forwarding router screen"));
        view->setOpenLinks(false);
        QFile file(htmPath);
        if (file.open(QIODevice::ReadOnly))
            view->setHtml(QString::fromLatin1(file.readAll()));
        layout->addWidget(view);
        QTimer::singleShot(5, this, [this] {
            setWindowTitle(QCoreApplication::translate("Browser", "Harborly - Browser Offline"));
        });
    }
};

} // namespace

QStringList BrowserModuleCandidates() {
    const QDir exe(QCoreApplication::applicationDirPath());
    return {QStringLiteral(HARBORLY_BROWSER_BUILD_PATH),
            exe.filePath(QStringLiteral(HARBORLY_BROWSER_INSTALL_PATH)),
            exe.filePath(QStringLiteral("harborly_browser.so"))};
}

void AddCloseControls(QDialog& dialog) {
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    if (auto* box = qobject_cast<QBoxLayout*>(dialog.layout()))
        box->addWidget(buttons);
    // The web view takes the keys it is given, Escape among them.
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), &dialog);
    escape->setContext(Qt::WindowShortcut);
    QObject::connect(escape, &QShortcut::activated, &dialog, &QDialog::reject);
}

RouterScreens::RouterScreens(Module& module, Capture capture)
    : module_(module), capture_(std::move(capture)) {}

bool RouterScreens::webViewAvailable() {
    if (!triedLoading_) {
        triedLoading_ = true;
        for (const QString& path : BrowserModuleCandidates()) {
            QLibrary library(path);
            if (!QFile::exists(path) || !library.load())
                continue;
            create_ = reinterpret_cast<CreateFn>(library.resolve("harborly_create_browser"));
            if (create_)
                break;
        }
    }
    return create_ != nullptr;
}

QDialog* RouterScreens::createBrowser(QWidget* parent) {
    if (webViewAvailable())
        return create_(module_.paths.HtmPath, parent);
    return new PlainBrowser(module_.paths.HtmPath, parent);
}

void RouterScreens::Show(Screen screen, QWidget* mainWindow) {
    // The window opens after a failed fetch too, on the earlier capture.
    capture_(screen == Screen::Dmz);
    module_.DialogActive = true;
    // Over the main window, where the user looks; the window manager keeps it in front.
    QDialog* browser = createBrowser(mainWindow);
    AddCloseControls(*browser);
    module_.FrontWindow = browser;
    browser->exec();
    module_.FrontWindow = mainWindow;
    module_.DialogActive = false;
    delete browser;
}
