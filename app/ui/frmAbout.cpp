// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/frmAbout.h"

#include "HarborlyVersion.h"
#include "platform/Prompts.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QStyle>
#include <QVBoxLayout>

frmAbout::frmAbout(Prompts& prompts, QUrl documentation, QWidget* parent, bool webKind)
    : QDialog(parent), prompts_(prompts), documentation_(std::move(documentation)),
      webKind_(webKind) {
    setWindowTitle(tr("About"));
    setMinimumWidth(500);
    auto* layout = new QVBoxLayout(this);

    auto* head = new QHBoxLayout;
    auto* picIcon = new QLabel(this);
    picIcon->setPixmap(windowIcon().pixmap(48, 48));
    head->addWidget(picIcon);
    auto* titles = new QVBoxLayout;
    auto* lblTitle = new QLabel(QStringLiteral("HARBORLY"), this);
    QFont big = lblTitle->font();
    big.setPointSize(big.pointSize() * 2);
    big.setBold(true);
    lblTitle->setFont(big);
    titles->addWidget(lblTitle);
    lblVersion = new QLabel((webKind ? tr("Version [beta] ") : tr("Version ")) +
                                QStringLiteral(HARBORLY_VERSION_STRING),
                            this);
    titles->addWidget(lblVersion);
    head->addLayout(titles, 1);
    layout->addLayout(head);

    auto* lblDescription = new QLabel(
        webKind ? tr("This application will allow you to easily choose which ports "
                     "your Linksys DSL/Cable Router will forward to your computer.")
                : tr("Harborly forwards the ports of the applications you choose to this computer, "
                     "on a home router that speaks UPnP IGD, PCP or NAT-PMP, and keeps the "
                     "forwards alive while it runs."),
        this);
    lblDescription->setWordWrap(true);
    layout->addWidget(lblDescription);
    auto* lblDisclaimer =
        new QLabel(webKind ? tr("This is a beta product.  The latest and greatest can be found at")
                           : tr("How to use it, router by router, is in its help:"),
                   this);
    lblDisclaimer->setWordWrap(true);
    layout->addWidget(lblDisclaimer);
    btnWebsite = new QPushButton(documentation_.toDisplayString(), this);
    btnWebsite->setAccessibleDescription(tr("Opens Harborly's documentation"));
    layout->addWidget(btnWebsite);

    auto* line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    layout->addWidget(line);
    layout->addWidget(
        new QLabel(tr("Free software: use it, study it, change it and share it."), this));
    auto* lblLicence = new QLabel(
        tr("Licensed under the GNU General Public License, version 3 or (at your option) any "
           "later version (GPL-3.0-or-later); the libBase64 library under the MIT licence. "
           "Harborly comes with no warranty."),
        this);
    lblLicence->setWordWrap(true);
    layout->addWidget(lblLicence);
    layout->addWidget(new QLabel(tr("Written by the Harborly developers."), this));

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    cmdOK = new QPushButton(tr("OK"), this);
    cmdOK->setDefault(true);
    cmdSysInfo = new QPushButton(tr("&System Info..."), this);
    // Enter is OK's, wherever the focus was left.
    cmdSysInfo->setAutoDefault(false);
    btnWebsite->setAutoDefault(false);
    buttons->addWidget(cmdOK);
    buttons->addWidget(cmdSysInfo);
    layout->addLayout(buttons);

    connect(btnWebsite, &QPushButton::clicked, this, &frmAbout::btnWebsite_Click);
    connect(cmdOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(cmdSysInfo, &QPushButton::clicked, this, &frmAbout::cmdSysInfo_Click);
}

void frmAbout::btnWebsite_Click() {
    // Nothing is reported when no opener is at hand.
    QDesktopServices::openUrl(documentation_);
}

void frmAbout::StartSysInfo() {
    for (const QString& tool : sysInfoTools) {
        const QString path = QStandardPaths::findExecutable(tool);
        if (!path.isEmpty() && QProcess::startDetached(path, {}))
            return;
    }
    prompts_.MsgBox(webKind_ ? tr("System Information Is Unavailable At This Time")
                             : tr("No system information program was found (Harborly looked for "
                                  "%1).")
                                   .arg(sysInfoTools.join(QStringLiteral(", "))),
                    MsgIcon::None, QStringLiteral("Harborly"));
    cmdOK->setFocus();
}
