// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/frmLogin.h"

#include "HarborlyVersion.h"
#include "Module.h"
#include "platform/Prompts.h"
#include "router/RouterKinds.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QVBoxLayout>

frmLogin::frmLogin(Module& module, Prompts& prompts, QWidget* parent)
    : QDialog(parent), module_(module), prompts_(prompts) {
    setWindowTitle(tr("Enter Router Password"));
    auto* layout = new QVBoxLayout(this);
    auto* prompt = new QLabel(tr("Please type your user name and password."), this);
    layout->addWidget(prompt);
    QGridLayout* grid = buildFields();
    layout->addLayout(grid);
    layout->addLayout(buildButtons());
    layout->addWidget(buildStatusBar());

    // The password box comes first, so it has the focus; the user name box is last.
    setTabOrder(txtPassword, cmdOK);
    setTabOrder(cmdOK, cmdCancel);
    setTabOrder(cmdCancel, txtUserName);
    txtPassword->setFocus();

    // The protocol kinds send no password to the router: this one guards Harborly alone.
    if (RouterKindOf(module_.settings.RouterKind) != QLatin1String("web"))
        askOwnPassword(prompt, grid);

    connect(cmdOK, &QPushButton::clicked, this, &frmLogin::cmdOK_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmLogin::cmdCancel_Click);
}

QGridLayout* frmLogin::buildFields() {
    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(tr("Site:"), this), SiteRow, 0);
    lblLanIpAddress = new QLabel(module_.settings.LanPrivateIP, this);
    lblLanIpAddress->setToolTip(tr("LAN side IP address"));
    grid->addWidget(lblLanIpAddress, SiteRow, 1);
    grid->addWidget(new QLabel(tr("Realm"), this), RealmRow, 0);
    grid->addWidget(new QLabel(tr("Linksys DSL/Cable Routers"), this), RealmRow, 1);

    txtUserName = new QLineEdit(this);
    txtUserName->setToolTip(tr("Generally not used"));
    auto* userLabel = new QLabel(tr("&User Name:"), this);
    userLabel->setBuddy(txtUserName);
    grid->addWidget(userLabel, UserRow, 0);
    grid->addWidget(txtUserName, UserRow, 1);

    txtPassword = new QLineEdit(this);
    txtPassword->setEchoMode(QLineEdit::Password);
    txtPassword->setToolTip(tr("Enter password of router"));
    auto* passwordLabel = new QLabel(tr("&Password:"), this);
    passwordLabel->setBuddy(txtPassword);
    grid->addWidget(passwordLabel, PasswordRow, 0);
    grid->addWidget(txtPassword, PasswordRow, 1);
    return grid;
}

QHBoxLayout* frmLogin::buildButtons() {
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    cmdOK = new QPushButton(tr("OK"), this);
    cmdOK->setToolTip(tr("Password entered, continue"));
    cmdOK->setDefault(true);
    cmdCancel = new QPushButton(tr("Cancel"), this);
    cmdCancel->setToolTip(tr("Abort program"));
    buttons->addWidget(cmdOK);
    buttons->addWidget(cmdCancel);
    return buttons;
}

QStatusBar* frmLogin::buildStatusBar() {
    sbStatusBar = new QStatusBar(this);
    sbStatusBar->setSizeGripEnabled(false);
    sbStatusBar->setToolTip(tr("Version of Harborly utility"));
    const QString version =
        tr("HARBORLY DSL/Cable Router Utility [beta] ") + QStringLiteral(HARBORLY_VERSION_STRING);
    sbStatusBar->showMessage(version);
    // Wide enough for the whole version text.
    setMinimumWidth(fontMetrics().horizontalAdvance(version) + 48);
    return sbStatusBar;
}

void frmLogin::askOwnPassword(QLabel* prompt, QGridLayout* grid) {
    ownPassword_ = true;
    setWindowTitle(tr("Harborly Password"));
    prompt->setText(tr("Type the password that guards Harborly."));
    lblLanIpAddress->setToolTip(tr("The router's address"));
    for (const int row : {SiteRow, RealmRow, UserRow})
        for (const int column : {0, 1})
            grid->itemAtPosition(row, column)->widget()->hide();
    txtPassword->setToolTip(tr("The password set in Edit Router Settings"));
    sbStatusBar->showMessage(QStringLiteral("Harborly ") + QStringLiteral(HARBORLY_VERSION_STRING));
}

void frmLogin::cmdOK_Click() {
    if (txtPassword->text() != module_.settings.Password) {
        prompts_.Beep();
        prompts_.MsgBox(ownPassword_ ? tr("Wrong password.\r"
                                          "Check your Caps Lock key and try again.")
                                     : tr("Invalid user name or password.\r"
                                          "Check your Caps Lock key and try again."),
                        MsgIcon::Critical, tr("Error"));
        txtPassword->setFocus();
        txtPassword->selectAll();
        return;
    }
    module_.LoginAccepted = true;
    accept();
}

void frmLogin::cmdCancel_Click() {
    module_.LoginAccepted = false;
    reject();
}
