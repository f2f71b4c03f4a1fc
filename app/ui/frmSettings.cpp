#include "ui/frmSettings.h"

#include "Module.h"
#include "config/ActivityLog.h"
#include "config/Configuration.h"
#include "config/IniFile.h"
#include "platform/Prompts.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

const QString kMisc = QStringLiteral("Misc");

QLineEdit* passwordBox(QWidget* parent, int maxLength) {
    auto* box = new QLineEdit(parent);
    box->setEchoMode(QLineEdit::Password);
    box->setMaxLength(maxLength);
    box->setToolTip(QStringLiteral("A password is required to communicate with your router"));
    return box;
}

} // namespace

frmSettings::frmSettings(Module& module, Prompts& prompts, ActivityLog& log,
                         std::function<void(const QString&)> onLanAddress, QWidget* parent)
    : QDialog(parent), module_(module), prompts_(prompts), log_(log),
      onLanAddress_(std::move(onLanAddress)) {
    setWindowTitle(QStringLiteral("Edit Router Configuration"));
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;

    txtPW1 = passwordBox(this, 83);
    txtPW2 = passwordBox(this, 63);
    txtLanIpAddress = new QLineEdit(this);
    txtLanIpAddress->setMaxLength(15);
    txtLanIpAddress->setToolTip(QStringLiteral("Enter your router's LAN side IP address"));
    auto* lanLabel = new QLabel(QStringLiteral("LAN Private IP Address"), this);
    lanLabel->setToolTip(QStringLiteral("Enter your router's LAN side IP address"));
    form->addRow(new QLabel(QStringLiteral("Enter your router's password"), this), txtPW1);
    form->addRow(new QLabel(QStringLiteral("Re-enter to confirm"), this), txtPW2);
    form->addRow(lanLabel, txtLanIpAddress);
    layout->addLayout(form);

    chkRequireLogin = new QCheckBox(QStringLiteral("Require user to log in?"), this);
    layout->addWidget(chkRequireLogin);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    btnSave = new QPushButton(QStringLiteral("&Save"), this);
    btnSave->setToolTip(QStringLiteral("Writes your password to disk"));
    btnCancel = new QPushButton(QStringLiteral("&Cancel"), this);
    btnCancel->setToolTip(QStringLiteral("Aborts configuring your password"));
    // Neither button answers Enter.
    btnSave->setAutoDefault(false);
    btnCancel->setAutoDefault(false);
    buttons->addWidget(btnSave);
    buttons->addWidget(btnCancel);
    layout->addLayout(buttons);

    setTabOrder(txtPW1, txtPW2);
    setTabOrder(txtPW2, txtLanIpAddress);
    setTabOrder(txtLanIpAddress, chkRequireLogin);
    setTabOrder(chkRequireLogin, btnSave);
    setTabOrder(btnSave, btnCancel);

    txtLanIpAddress->setText(module_.settings.LanPrivateIP);
    txtPW1->setText(module_.settings.Password);
    txtPW2->setText(module_.settings.Password);
    chkRequireLogin->setChecked(module_.settings.RequireLogin);
    txtPW1->setFocus();

    connect(chkRequireLogin, &QCheckBox::clicked, this, &frmSettings::chkRequireLogin_Click);
    connect(btnSave, &QPushButton::clicked, this, &frmSettings::btnSave_Click);
    connect(btnCancel, &QPushButton::clicked, this, &frmSettings::btnCancel_Click);
}

void frmSettings::chkRequireLogin_Click() {
    module_.settings.RequireLogin = chkRequireLogin->isChecked();
}

void frmSettings::btnSave_Click() {
    if (txtPW1->text().isEmpty() || txtPW2->text().isEmpty())
        return refuse(QStringLiteral("This program requires your router password"));
    const QString p = TrimSpaces(txtPW1->text());
    if (p != TrimSpaces(txtPW2->text())) {
        refuse(QStringLiteral("Password don't match!"));
        txtPW1->setFocus();
        txtPW1->selectAll();
        return;
    }
    // Matching boxes of spaces alone trim to nothing, which can be neither encoded nor used.
    if (p.isEmpty())
        return refuse(QStringLiteral("This program requires your router password"));

    const QString lan = txtLanIpAddress->text();
    module_.settings.LanPrivateIP = lan;
    if (onLanAddress_)
        onLanAddress_(lan);

    IniFile ini(module_.paths.IniPath);
    if (!ini.write(kMisc, QStringLiteral("LanPrivateIP"), lan))
        return reportFailure(QStringLiteral("Key = Misc, Value = ") + lan);
    const QString require =
        module_.settings.RequireLogin ? QStringLiteral("yes") : QStringLiteral("no");
    if (!ini.write(kMisc, QStringLiteral("RequireLogin"), EncodeSetting(*module_.codec, require)))
        return reportFailure(QStringLiteral("Key = Misc, Value = yes|no"));
    const QString encoded = EncodeSetting(*module_.codec, p);
    if (encoded.isEmpty() || !ini.write(kMisc, QStringLiteral("Password"), encoded))
        return reportFailure(QStringLiteral("Key = Misc, Value = ") + encoded);

    module_.settings.Password = p;
    module_.settings.PasswordStored = true;
    accept();
}

void frmSettings::refuse(const QString& message) {
    prompts_.Beep();
    prompts_.MsgBox(message, MsgIcon::Critical, QStringLiteral("Error"));
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
    prompts_.MsgBox(QStringLiteral("HARBORLY.INI entries not written\r") + detail, MsgIcon::None,
                    QStringLiteral("Harborly"));
}
