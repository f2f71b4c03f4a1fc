// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "config/Autostart.h"

#include <QDialog>

#include <functional>

struct Module;
class ActivityLog;
class Prompts;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QKeyEvent;
class QPushButton;

// The text without the spaces (and only the spaces) at its start and end.
QString TrimSpaces(const QString& text);

// "Edit Router Configuration": the kind of router, its password, its LAN address and the
// login switch.
class frmSettings : public QDialog {
    Q_OBJECT
public:
    // onLanAddress is told each new router address at once, for the main window's label.
    frmSettings(Module& module, Prompts& prompts, ActivityLog& log,
                std::function<void(const QString&)> onLanAddress, QWidget* parent = nullptr);

    void chkRequireLogin_Click();
    void cboRouterKind_Click();
    void btnSave_Click();
    void btnCancel_Click() { reject(); }
    // Where the login start entry goes (the user's autostart folder unless a test says);
    // the box shows whether one is there.
    void setAutostart(Autostart autostart);

    QLineEdit* txtPW1;
    QLineEdit* txtPW2;
    QLineEdit* txtLanIpAddress;
    QLabel* lblPW1;
    QCheckBox* chkRequireLogin;
    QCheckBox* chkStartAtLogin;
    QComboBox* cboRouterKind;
    QPushButton* btnSave;
    QPushButton* btnCancel;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void refuse(const QString& message);
    void reportFailure(const QString& detail);
    QString chosenKind() const;
    // Writes or removes the login start entry when the box changed; false (said) on failure.
    bool applyStartAtLogin();

    Module& module_;
    Prompts& prompts_;
    ActivityLog& log_;
    std::function<void(const QString&)> onLanAddress_;
    Autostart autostart_;
};
