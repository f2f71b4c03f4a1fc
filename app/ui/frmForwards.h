#pragma once

#include "router/Router.h"

#include <QDialog>

class QTableWidget;

// "View Points" for routers that list their forwards: the list as the router gave it,
// read-only, this computer's forwards marked.
class frmForwards : public QDialog {
    Q_OBJECT
public:
    // ownOnly: the protocol tells this computer's forwards alone, not the router's table.
    frmForwards(const QList<ForwardEntry>& rows, const QString& routerName,
                QWidget* parent = nullptr, bool ownOnly = false);

    QTableWidget* tblForwards;
};
