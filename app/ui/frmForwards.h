// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "router/Router.h"

#include <QDialog>

#include <functional>

class QPushButton;
class QTableWidget;

// "View Points" for routers that list their forwards: the list as the router gave it,
// this computer's forwards marked; one of them may be removed, after a confirmation.
class frmForwards : public QDialog {
    Q_OBJECT
public:
    // ownOnly: the protocol tells this computer's forwards alone, not the router's table.
    frmForwards(const QList<ForwardEntry>& rows, const QString& routerName,
                QWidget* parent = nullptr, bool ownOnly = false);

    QTableWidget* tblForwards;
    QPushButton* btnRemove;

    // Set by the window: removes the forward, true when it is gone. Without it, no Remove.
    std::function<bool(const ForwardEntry&)> removeForward;
    // Asks the user; replaced by tests.
    std::function<bool(const QString& question)> confirm;

    void btnRemove_Click();

private:
    QList<ForwardEntry> rows_;
};
