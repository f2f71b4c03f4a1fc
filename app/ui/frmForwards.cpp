// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/frmForwards.h"

#include "platform/ShownText.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

QString headingFor(qsizetype count, const QString& routerName, bool ownOnly) {
    QString heading =
        count == 0 ? frmForwards::tr("The router forwards no ports.")
        : count == 1
            ? frmForwards::tr("The router forwards 1 port; yours are marked.")
            : frmForwards::tr("The router forwards %1 ports; yours are marked.").arg(count);
    if (ownOnly)
        heading =
            count == 1
                ? frmForwards::tr("This computer holds 1 forward on the router.")
                : frmForwards::tr("This computer holds %1 forwards on the router.").arg(count);
    return routerName.isEmpty() ? heading : ShownText(routerName) + QStringLiteral(": ") + heading;
}

// The router's words as the table shows them: text, never lines of their own.
QStringList cellsOf(const ForwardEntry& e) {
    const QString client = ShownText(e.internalClient);
    return {PortsText(e),
            ShownText(e.protocol),
            e.thisComputer ? client + frmForwards::tr(" (this computer)") : client,
            QString::number(e.internalPort),
            ShownText(e.description),
            TimeLeftText(e.secondsLeft)};
}

} // namespace

frmForwards::frmForwards(const QList<ForwardEntry>& rows, const QString& routerName,
                         QWidget* parent, bool ownOnly)
    : QDialog(parent), rows_(rows) {
    setWindowTitle(tr("Harborly - Port Forwards"));
    resize(720, 360);
    auto* layout = new QVBoxLayout(this);
    auto* title = new QLabel(headingFor(rows.size(), routerName, ownOnly), this);
    title->setTextFormat(Qt::PlainText); // the router's name is text, never markup
    layout->addWidget(title);

    const QStringList headers = {tr("Outside port"), tr("Protocol"),    tr("Computer"),
                                 tr("Inside port"),  tr("Description"), tr("Lapses in")};
    tblForwards =
        new QTableWidget(static_cast<int>(rows.size()), static_cast<int>(headers.size()), this);
    tblForwards->setHorizontalHeaderLabels(headers);
    tblForwards->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tblForwards->setSelectionBehavior(QAbstractItemView::SelectRows);
    tblForwards->verticalHeader()->hide();
    tblForwards->horizontalHeader()->setStretchLastSection(true);
    tblForwards->setToolTip(tr("The router's port forwards, read-only"));
    tblForwards->setAccessibleName(tr("Port forwards"));
    for (int r = 0; r < rows.size(); ++r) {
        const ForwardEntry& e = rows[r];
        const QStringList cells = cellsOf(e);
        for (int c = 0; c < cells.size(); ++c) {
            auto* item = new QTableWidgetItem(cells[c]);
            if (e.thisComputer) {
                QFont f = item->font();
                f.setBold(true);
                item->setFont(f);
            }
            tblForwards->setItem(r, c, item);
        }
    }
    tblForwards->resizeColumnsToContents();
    layout->addWidget(tblForwards, 1);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    btnRemove = buttons->addButton(tr("&Remove"), QDialogButtonBox::ActionRole);
    btnRemove->setToolTip(tr("Remove the selected forward of this computer"));
    btnRemove->setEnabled(false);
    connect(tblForwards, &QTableWidget::itemSelectionChanged, this, [this] {
        const int row = tblForwards->currentRow();
        btnRemove->setEnabled(removeForward && row >= 0 && row < rows_.size() &&
                              rows_[row].thisComputer);
    });
    connect(btnRemove, &QPushButton::clicked, this, &frmForwards::btnRemove_Click);
    confirm = [this](const QString& question) {
        QMessageBox box(QMessageBox::Question, windowTitle(), question,
                        QMessageBox::Yes | QMessageBox::No, this);
        box.setTextFormat(Qt::PlainText); // the question quotes the router
        return box.exec() == QMessageBox::Yes;
    };
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

void frmForwards::btnRemove_Click() {
    const int row = tblForwards->currentRow();
    if (!removeForward || row < 0 || row >= rows_.size() || !rows_[row].thisComputer)
        return;
    const ForwardEntry e = rows_[row];
    const QString program =
        e.description.isEmpty() ? tr("a program without a description") : ShownText(e.description);
    if (!confirm(tr("Remove the forward of port %1/%2 to this computer, made for "
                    "%3? That program may stop being reachable from the Internet.")
                     .arg(PortsText(e), e.protocol, program)))
        return;
    if (!removeForward(e))
        return;
    rows_.removeAt(row);
    tblForwards->removeRow(row);
}
