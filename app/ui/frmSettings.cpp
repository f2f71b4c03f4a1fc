// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/frmSettings.h"

#include "Module.h"
#include "config/ActivityLog.h"
#include "config/Autostart.h"
#include "config/Configuration.h"
#include "config/IniFile.h"
#include "platform/Prompts.h"
#include "router/RouterKinds.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QFile>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <utility>

namespace {

const QString kMisc = QStringLiteral("Misc");

QLineEdit* passwordBox(QWidget* parent, int maxLength) {
    auto* box = new QLineEdit(parent);
    box->setEchoMode(QLineEdit::Password);
    box->setMaxLength(maxLength);
    box->setToolTip(frmSettings::tr("A password is required to communicate with your router"));
    return box;
}

} // namespace

frmSettings::frmSettings(Module& module, Prompts& prompts, ActivityLog& log,
                         std::function<void(const QString&)> onLanAddress, QWidget* parent)
    : QDialog(parent), module_(module), prompts_(prompts), log_(log),
      onLanAddress_(std::move(onLanAddress)) {
    setWindowTitle(tr("Edit Router Configuration"));
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;

    txtPW1 = passwordBox(this, 83);
    txtPW2 = passwordBox(this, 63);
    txtLanIpAddress = new QLineEdit(this);
    txtLanIpAddress->setMaxLength(15);
    txtLanIpAddress->setToolTip(tr("Enter your router's LAN side IP address"));
    auto* lanLabel = new QLabel(tr("LAN Private IP Address"), this);
    lanLabel->setToolTip(tr("Enter your router's LAN side IP address"));
    cboRouterKind = new QComboBox(this);
    cboRouterKind->setToolTip(tr("How Harborly talks to your router"));
    for (const RouterKindInfo& k : KnownRouterKinds())
        cboRouterKind->addItem(
            QCoreApplication::translate("RouterKind", k.label.toUtf8().constData()), k.id);
    auto* kindLabel = new QLabel(tr("Router kind"), this);
    lblPW1 = new QLabel(tr("Enter your router's password"), this);
    auto* confirmLabel = new QLabel(tr("Re-enter to confirm"), this);
    // Each box is named by its label, for screen readers, and the name follows the label's
    // text when the kind changes it.
    for (const auto& [label, field] : {std::pair<QLabel*, QWidget*>{kindLabel, cboRouterKind},
                                       {lblPW1, txtPW1},
                                       {confirmLabel, txtPW2},
                                       {lanLabel, txtLanIpAddress}}) {
        label->setBuddy(field);
        form->addRow(label, field);
    }
    layout->addLayout(form);

    chkRequireLogin = new QCheckBox(tr("Require user to log in?"), this);
    layout->addWidget(chkRequireLogin);
    chkStartAtLogin = new QCheckBox(tr("Start Harborly when I &log in"), this);
    chkStartAtLogin->setToolTip(
        tr("Starts Harborly in the tray when you log in, so that it keeps its forwards alive"));
    layout->addWidget(chkStartAtLogin);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    btnSave = new QPushButton(tr("&Save"), this);
    btnSave->setToolTip(tr("Writes your password to disk"));
    btnCancel = new QPushButton(tr("&Cancel"), this);
    btnCancel->setToolTip(tr("Aborts configuring your password"));
    // Neither button answers Enter.
    btnSave->setAutoDefault(false);
    btnCancel->setAutoDefault(false);
    buttons->addWidget(btnSave);
    buttons->addWidget(btnCancel);
    layout->addLayout(buttons);

    setTabOrder(cboRouterKind, txtPW1);
    setTabOrder(txtPW1, txtPW2);
    setTabOrder(txtPW2, txtLanIpAddress);
    setTabOrder(txtLanIpAddress, chkRequireLogin);
    setTabOrder(chkRequireLogin, chkStartAtLogin);
    setTabOrder(chkStartAtLogin, btnSave);
    setTabOrder(btnSave, btnCancel);

    txtLanIpAddress->setText(module_.settings.LanPrivateIP);
    txtPW1->setText(module_.settings.Password);
    txtPW2->setText(module_.settings.Password);
    chkRequireLogin->setChecked(module_.settings.RequireLogin);
    chkStartAtLogin->setChecked(autostart_.enabled());
    const int kindIndex = cboRouterKind->findData(RouterKindOf(module_.settings.RouterKind));
    cboRouterKind->setCurrentIndex(kindIndex >= 0 ? kindIndex : 0);
    cboRouterKind_Click();
    // The title matches the menu entry that opened it, whatever kind is picked meanwhile; the
    // web kind keeps its own.
    setWindowTitle(RouterKindOf(module_.settings.RouterKind) == QLatin1String("web")
                       ? tr("Edit Router Configuration")
                       : tr("Edit Router Settings"));
    txtPW1->setFocus();

    connect(cboRouterKind, &QComboBox::currentIndexChanged, this,
            &frmSettings::cboRouterKind_Click);
    connect(chkRequireLogin, &QCheckBox::clicked, this, &frmSettings::chkRequireLogin_Click);
    connect(btnSave, &QPushButton::clicked, this, &frmSettings::btnSave_Click);
    connect(btnCancel, &QPushButton::clicked, this, &frmSettings::btnCancel_Click);
}

void frmSettings::chkRequireLogin_Click() {
    module_.settings.RequireLogin = chkRequireLogin->isChecked();
}

QString frmSettings::chosenKind() const {
    return cboRouterKind->currentData().toString();
}

void frmSettings::cboRouterKind_Click() {
    // The web kind keeps its address box as it always was; the others also take a URL.
    txtLanIpAddress->setMaxLength(chosenKind() == QLatin1String("web") ? 15 : 255);
    const QString hint = chosenKind() == QLatin1String("web")
                             ? tr("A password is required to communicate with your router")
                             : tr("Optional: a password that guards Harborly's own login");
    txtPW1->setToolTip(hint);
    txtPW2->setToolTip(hint);
    txtLanIpAddress->setToolTip(
        chosenKind() == QLatin1String("web")
            ? tr("Enter your router's LAN side IP address")
            : tr("The router's address (host, host:port or [IPv6]:port); empty: "
                 "the default gateway, IPv4 or else IPv6"));
    lblPW1->setText(chosenKind() == QLatin1String("web") ? tr("Enter your router's password")
                                                         : tr("Login password (optional)"));
}

void frmSettings::btnSave_Click() {
    const QString kind = chosenKind();
    // Routers of the other kinds take no password; one typed guards the login alone.
    const bool passwordNeeded =
        kind == QLatin1String("web") || !txtPW1->text().isEmpty() || !txtPW2->text().isEmpty();
    if (passwordNeeded && (txtPW1->text().isEmpty() || txtPW2->text().isEmpty()))
        return refuse(tr("This program requires your router password"));
    const QString p = TrimSpaces(txtPW1->text());
    if (p != TrimSpaces(txtPW2->text())) {
        refuse(tr("Password don't match!"));
        txtPW1->setFocus();
        txtPW1->selectAll();
        return;
    }
    // Matching boxes of spaces alone trim to nothing, which can be neither encoded nor used.
    if (passwordNeeded && p.isEmpty())
        return refuse(tr("This program requires your router password"));

    if (!applyStartAtLogin())
        return;

    const QString lan = txtLanIpAddress->text();
    module_.settings.LanPrivateIP = lan;
    if (onLanAddress_)
        onLanAddress_(lan);

    IniFile ini(module_.paths.IniPath);
    // A file without the key means the web kind: it stays without it for that kind.
    const QString key = QStringLiteral("RouterKind");
    if ((kind != QLatin1String("web") || !ini.read(kMisc, key).isEmpty()) &&
        !ini.write(kMisc, key, kind))
        return reportFailure(QStringLiteral("Key = Misc, Value = ") + kind);
    module_.settings.RouterKind = kind;
    if (!ini.write(kMisc, QStringLiteral("LanPrivateIP"), lan))
        return reportFailure(QStringLiteral("Key = Misc, Value = ") + lan);
    const QString require =
        module_.settings.RequireLogin ? QStringLiteral("yes") : QStringLiteral("no");
    if (!ini.write(kMisc, QStringLiteral("RequireLogin"), EncodeSetting(*module_.codec, require)))
        return reportFailure(QStringLiteral("Key = Misc, Value = yes|no"));
    if (!passwordNeeded) {
        // Both boxes emptied: no login password any more.
        if (module_.settings.PasswordStored &&
            !ini.write(kMisc, QStringLiteral("Password"), QString()))
            return reportFailure(QStringLiteral("Key = Misc, Value = "));
        module_.settings.Password.clear();
        module_.settings.PasswordStored = false;
        accept();
        return;
    }
    const QString encoded = EncodeSetting(*module_.codec, p);
    if (encoded.isEmpty() || !ini.write(kMisc, QStringLiteral("Password"), encoded))
        return reportFailure(QStringLiteral("Key = Misc, Value = ") + encoded);

    module_.settings.Password = p;
    module_.settings.PasswordStored = true;
    accept();
}

void frmSettings::setAutostart(Autostart autostart) {
    autostart_ = std::move(autostart);
    chkStartAtLogin->setChecked(autostart_.enabled());
}

bool frmSettings::applyStartAtLogin() {
    const bool wanted = chkStartAtLogin->isChecked();
    if (wanted == autostart_.enabled())
        return true;
    QFile model(QStringLiteral(":/harborly.desktop"));
    const bool done = wanted ? model.open(QIODevice::ReadOnly) &&
                                   autostart_.enable(model.readAll(),
                                                     Autostart::CommandFor(
                                                         QCoreApplication::applicationFilePath(),
                                                         HomeOption(QCoreApplication::arguments())))
                             : autostart_.disable();
    if (done)
        return true;
    const QString message = wanted ? tr("The login start could not be written to %1.")
                                   : tr("The login start %1 could not be removed.");
    log_.WriteLog(message.arg(autostart_.path()));
    prompts_.MsgBox(message.arg(autostart_.path()), MsgIcon::Exclamation,
                    QStringLiteral("Harborly"));
    return false;
}

void frmSettings::refuse(const QString& message) {
    prompts_.Beep();
    prompts_.MsgBox(message, MsgIcon::Critical, tr("Error"));
}

void frmSettings::keyPressEvent(QKeyEvent* event) {
    // Neither button is bound to Enter or Esc, so Esc leaves the dialog open; Enter presses
    // a button only when that button has the focus.
    switch (event->key()) {
    case Qt::Key_Escape:
        event->accept();
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (auto* focused = qobject_cast<QPushButton*>(focusWidget());
            focused && (focused == btnSave || focused == btnCancel)) {
            focused->click();
        }
        event->accept();
        return;
    default:
        QDialog::keyPressEvent(event);
    }
}

QString TrimSpaces(const QString& text) {
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text[begin] == u' ')
        ++begin;
    while (end > begin && text[end - 1] == u' ')
        --end;
    return text.mid(begin, end - begin);
}

void frmSettings::reportFailure(const QString& detail) {
    log_.WriteLog(QStringLiteral("HARBORLY.INI entries not written"));
    log_.WriteLog(QStringLiteral("Can't write ") + detail);
    log_.WriteLog(QStringLiteral("Writing to ") + module_.paths.IniPath);
    prompts_.MsgBox(tr("HARBORLY.INI entries not written\r") + detail, MsgIcon::None,
                    QStringLiteral("Harborly"));
}
