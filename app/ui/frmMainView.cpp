// SPDX-License-Identifier: GPL-3.0-or-later
// What the router operations show in the main window: the indicators, the locked controls,
// the progress and the outcome of an operation.
#include "ui/frmMain.h"

#include "Module.h"
#include "config/ActivityLog.h"
#include "platform/Clock.h"
#include "platform/RouterSocket.h"
#include "router/Router.h"
#include "ui/WidgetAppList.h"

#include <QCoreApplication>
#include <QLabel>

#include <QListWidget>
#include <QLocale>
#include <QMenu>
#include <QPushButton>
#include <QTimer>

namespace {

// The router names its activities and outcomes in English words, marked for the "Status"
// context where they are written; the window shows them in the user's language.
QString statusText(const QString& word) {
    return QCoreApplication::translate("Status", word.toUtf8().constData());
}

} // namespace

void frmMain::keepIndicatorsReadable() {
    // The locked window is disabled as a whole, and the indicators that show the operation's
    // progress would be drawn in the disabled colours: they get the enabled ones instead.
    for (QLabel* indicator : {lblStatus, SendStatus}) {
        QPalette readable = indicator->parentWidget()->palette();
        for (int role = 0; role < QPalette::NColorRoles; ++role) {
            const auto r = static_cast<QPalette::ColorRole>(role);
            readable.setBrush(QPalette::Disabled, r, readable.brush(QPalette::Active, r));
        }
        indicator->setPalette(readable);
    }
}

void frmMain::setWindowEnabled(bool enabled) {
    setEnabled(enabled);
    // Asked only when no router was found and the program is about to end (or to offer its
    // settings): the wait is over, nothing is left to cancel.
    if (enabled)
        btnCancel->hide();
}

void frmMain::showStatus(const QString& text) {
    ++statusShown_;
    lblStatus->setText(text);
}

void frmMain::setStatusCaption(const QString& caption) {
    showStatus(statusText(caption));
}

void frmMain::showOutcome(Outcome outcome) {
    // A look that failed while the router is gone says so, not a bare "Failed".
    showStatus(!routerGone_.isEmpty() && outcome == Outcome::Failed
                   ? tr("Router not answering")
                   : statusText(StatusWord(outcome)));
}

void frmMain::setSendStatusCaption(const QString& caption) {
    sendWaiting_ = false;
    SendStatus->setText(statusText(caption));
}

void frmMain::showSendState(int state) {
    // PCP and NAT-PMP hold no connection: they send and wait; so does a router that is gone.
    sendWaiting_ = (state == SocketState::Connected && speaksDatagrams()) ||
                   (state == SocketState::Closed && !routerGone_.isEmpty());
    SendStatus->setText(sendWaiting_ ? tr("Waiting for the router")
                                     : statusText(socketStateWord(state)));
}

void frmMain::setWanAddressCaption(const QString& caption) {
    lblWanIpAddress->setText(caption);
}

void frmMain::setLanAddressCaption(const QString& caption) {
    lblLanIpAddress->setText(caption);
}

void frmMain::setStatusBarText(const QString& text) {
    sbFirmware->setText(text);
}

void frmMain::EnableInterface(bool bEnable, bool) {
    bEnable = bEnable && !checking_;
    for (QWidget* w :
         std::initializer_list<QWidget*>{btnPoint, btnViewPoints, btnClearAllPoints, btnSelectAll,
                                         btnDeselectAll, btnCheckResults})
        w->setEnabled(bEnable);
    mnuDMZ->setEnabled(bEnable);
    mnuConfig->setEnabled(bEnable);
    mnuHelp->setEnabled(bEnable);
    mnuAbout->setEnabled(bEnable);
    lbAppsWidget->setEnabled(bEnable);
    if (webKind()) {
        setEnabled(bEnable);
        return;
    }
    // The protocol kinds leave the window enabled, so that Cancel and the close box answer
    // while they wait.
    if (!bEnable && !busy_) {
        cancel_ = false;
        progressTotal_ = -1;
    }
    busy_ = !bEnable;
    btnCancel->setVisible(busy_);
    btnCancel->setEnabled(true);
    setEnabled(true);
    if (!busy_ && closePending_)
        QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection);
}

void frmMain::setTimer1Enabled(bool enabled) {
    if (enabled && !checking_)
        Timer1->start();
    else
        Timer1->stop();
}

void frmMain::setTimer1Interval(int milliseconds) {
    Timer1->setInterval(milliseconds);
}

AppList& frmMain::lbApps() {
    return *list_;
}

void frmMain::showProgress(int done, int total) {
    progressTotal_ = total;
    showStatus(tr("Forward %1 of %2").arg(done).arg(total));
}

void frmMain::tellOutcome(const QString& sentence, const QString& logged) {
    showStatus(sentence);
    const quint64 shown = statusShown_;
    log_->WriteLog(logged.isEmpty() ? sentence : logged);
    QTimer::singleShot(5000, this, [this, shown] {
        if (statusShown_ == shown && !busy_)
            showStatus(statusText(StatusWord(Outcome::Completed)));
    });
}

void frmMain::routerAnswering(bool answering, const QString& sentence) {
    if (answering) {
        routerGone_.clear();
        lblStatus->setToolTip(tr("Activity information"));
        if (sendWaiting_)
            showSendState(SocketState::Closed);
        tellOutcome(sentence.isEmpty() ? tr("Router back") : sentence);
    } else {
        routerGone_ = sentence.isEmpty()
                          ? tr("The router stopped answering at %1")
                                .arg(QLocale::system().toString(clock_.now().toLocalTime().time(),
                                                                QLocale::ShortFormat))
                          : sentence;
        showStatus(tr("Router not answering"));
        lblStatus->setToolTip(routerGone_);
        SendStatus->setText(tr("Waiting for the router"));
        sendWaiting_ = true;
        log_->WriteLog(routerGone_);
    }
    refreshTrayToolTip();
}

void frmMain::showComputerAddress() {
    if (webKind() || !module_.RouterFound)
        return;
    const QString router = module_.settings.LanPrivateIP.isEmpty() ? tr("the default gateway")
                                                                   : module_.settings.LanPrivateIP;
    if (!module_.LocalIpAddress.isEmpty()) {
        setLanAddressCaption(module_.LocalIpAddress);
        lblLanIpAddress->setToolTip(
            tr("This computer's address toward the router at %1").arg(router));
    }
    sbFirmware->setToolTip(tr("The router at %1").arg(router));
}

void frmMain::showApplicationPorts() {
    // The list's texts are the applications' names, which the operations match; the ports go
    // in the tool tips.
    static const char* const protocols[] = {"TCP+UDP", "TCP", "UDP"};
    for (int row = 0; row < list_->ListCount(); ++row) {
        const int i = list_->ItemData(row);
        if (i < 1 || i > module_.catalog.ApplCount())
            continue;
        QStringList ports;
        for (const ApplPortRange& r : module_.catalog.entry(i).Ranges) {
            const QString range = r.PortRangeLow == r.PortRangeHigh
                                      ? r.PortRangeLow
                                      : r.PortRangeLow + QLatin1Char('-') + r.PortRangeHigh;
            ports << range + QLatin1Char(' ') +
                         QLatin1String(
                             protocols[r.Protocol >= 0 && r.Protocol <= 2 ? r.Protocol : 0]);
        }
        if (QListWidgetItem* item = lbAppsWidget->item(row))
            item->setToolTip(ports.isEmpty() ? tr("No ports")
                                             : tr("Ports: ") + ports.join(QStringLiteral(", ")));
    }
}

void frmMain::markWanWarning() {
    const QString warning = module_.RouterFound ? router_->wanWarning() : QString();
    lblWanWarning->setVisible(!warning.isEmpty());
    lblWanWarning->setText(
        tr("Forwards on this router cannot reach this computer from the Internet"));
    lblWanWarning->setToolTip(warning);
    lblWanIpAddress->setStyleSheet(warning.isEmpty() ? QString()
                                                     : QStringLiteral("color: #b00000"));
    lblWanIpAddress->setToolTip(warning.isEmpty() ? tr("Internet side IP") : warning);
}
