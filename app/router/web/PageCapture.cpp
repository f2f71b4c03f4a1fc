// SPDX-License-Identifier: GPL-3.0-or-later
#include "router/web/PageCapture.h"

#include "Module.h"
#include "platform/AtomicFile.h"
#include "router/MainView.h"
#include "router/web/RouterLink.h"

namespace {

// One pass: every occurrence of pattern, searching on from one character after the last
// change, so an occurrence right behind a deleted one survives.
void replaceAll(QByteArray& s, const QByteArray& pattern, const QByteArray& replacement) {
    qsizetype p = s.indexOf(pattern);
    while (p >= 0) {
        s.replace(p, pattern.size(), replacement);
        p = s.indexOf(pattern, p + 1);
    }
}

} // namespace

QByteArray& NeutralisePage(QByteArray& sPage) {
    replaceAll(sPage, "button", "hidden");
    replaceAll(sPage, "submit", "hidden");
    replaceAll(sPage, "reset", "hidden");
    replaceAll(sPage, "href=", "name=");
    replaceAll(sPage, "onChange=PortCheck(this)", "");
    replaceAll(sPage, "onChange=IPCheck(this)", "");
    return sPage;
}

bool CaptureRouterPage(const QString& htmPath, const QByteArray& sPage) {
    QByteArray copy = sPage;
    return ReplaceFileContents(htmPath, NeutralisePage(copy) + "\r\n");
}

ScreenCapture::ScreenCapture(Module& module, MainView& view, RouterLink& link)
    : module_(module), view_(view), link_(link) {}

bool ScreenCapture::GetForwardPortsScreen() {
    return fetch(QStringLiteral("GET /Forward.htm HTTP/1.1"),
                 QStringLiteral(QT_TRANSLATE_NOOP("Status", "Query Points")));
}

bool ScreenCapture::GetDMZScreen() {
    return fetch(QStringLiteral("GET /DMZ.htm HTTP/1.1"),
                 QStringLiteral(QT_TRANSLATE_NOOP("Status", "Query DMZ")));
}

bool ScreenCapture::fetch(const QString& requestLine, const QString& activity) {
    return link_.RunOperation(requestLine, activity, true, [this] {
        // A file that cannot be written is not reported: the viewer shows the earlier capture.
        CaptureRouterPage(module_.paths.HtmPath, link_.RouterResponse);
        return Outcome::Completed;
    });
}
