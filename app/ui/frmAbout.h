// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>
#include <QStringList>
#include <QUrl>

class Prompts;
class QLabel;
class QPushButton;

// The About box: title, version, description, and a way to the program's documentation.
class frmAbout : public QDialog {
    Q_OBJECT
public:
    // documentation: what the website button opens with the desktop's opener. The web kind
    // keeps the words of the router family it was made for.
    frmAbout(Prompts& prompts, QUrl documentation, QWidget* parent = nullptr, bool webKind = true);

    void btnWebsite_Click();
    void cmdSysInfo_Click() { StartSysInfo(); }
    void StartSysInfo();

    // The system information tools tried in turn; tests replace the list.
    QStringList sysInfoTools = {QStringLiteral("hardinfo2"), QStringLiteral("hardinfo"),
                                QStringLiteral("kinfocenter"),
                                QStringLiteral("gnome-system-monitor")};

    QLabel* lblVersion;
    QPushButton* btnWebsite;
    QPushButton* cmdOK;
    QPushButton* cmdSysInfo;

private:
    Prompts& prompts_;
    QUrl documentation_;
    bool webKind_;
};
