// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

struct Module;
class Prompts;
class QGridLayout;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QStatusBar;

// "Enter Router Password": only the stored router password lets the program go on.
class frmLogin : public QDialog {
    Q_OBJECT
public:
    frmLogin(Module& module, Prompts& prompts, QWidget* parent = nullptr);

    void cmdOK_Click();
    void cmdCancel_Click();

    QLabel* lblLanIpAddress;
    QLineEdit* txtUserName;
    QLineEdit* txtPassword;
    QPushButton* cmdOK;
    QPushButton* cmdCancel;
    QStatusBar* sbStatusBar;

private:
    enum FieldRow { SiteRow, RealmRow, UserRow, PasswordRow };

    QGridLayout* buildFields();
    QHBoxLayout* buildButtons();
    QStatusBar* buildStatusBar();
    // For the protocol kinds: only the password that guards Harborly is asked for.
    void askOwnPassword(QLabel* prompt, QGridLayout* grid);

    Module& module_;
    Prompts& prompts_;
    bool ownPassword_ = false;
};
