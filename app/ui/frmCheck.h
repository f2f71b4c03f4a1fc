// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "router/check/PortCheck.h"

#include <QDialog>

class QTableWidget;
class WayInView;

// "Check Points": for each forwarded port of the chosen applications, in words, whether a
// connection from outside can arrive; the ports with something to fix are marked, and the
// selected port's way in is drawn below.
class frmCheck : public QDialog {
    Q_OBJECT
public:
    frmCheck(const QList<PortCheck>& checks, const QString& routerName, QWidget* parent = nullptr);

    QTableWidget* tblChecks;
    WayInView* wayIn;

private:
    void showWayIn(int row);

    QList<PortCheck> checks_;
};
