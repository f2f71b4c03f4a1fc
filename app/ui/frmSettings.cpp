#include "ui/frmSettings.h"

#include "Module.h"
#include "config/ActivityLog.h"
#include "config/Configuration.h"
#include "config/IniFile.h"
#include "platform/Prompts.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QHBoxLayout>
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
    const QString p = txtPW1->text().trimmed();
    // A password of spaces alone trims to nothing, which can be neither encoded nor used.
    if (txtPW1->text().isEmpty() || txtPW2->text().isEmpty() || p.isEmpty()) {
        prompts_.Beep();
        prompts_.MsgBox(QStringLiteral("This program requires your router password"),
                        MsgIcon::Critical, QStringLiteral("Error"));
        return;
    }
    if (p != txtPW2->text().trimmed()) {
        prompts_.Beep();
        prompts_.MsgBox(QStringLiteral("Password don't match!"), MsgIcon::Critical,
                        QStringLiteral("Error"));
        txtPW1->setFocus();
        txtPW1->selectAll();
        return;
    }

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

void frmSettings::reportFailure(const QString& detail) {
    log_.WriteLog(QStringLiteral("HARBORLY.INI entries not written"));
    log_.WriteLog(QStringLiteral("Can't write ") + detail);
    log_.WriteLog(QStringLiteral("Writing to ") + module_.paths.IniPath);
    prompts_.MsgBox(QStringLiteral("HARBORLY.INI entries not written\r") + detail, MsgIcon::None,
                    QStringLiteral("Harborly"));
}
