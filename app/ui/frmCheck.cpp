// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/frmCheck.h"

#include "platform/ShownText.h"
#include "router/check/WayIn.h"
#include "ui/WayInView.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>

frmCheck::frmCheck(const QList<PortCheck>& checks, const QString& routerName, QWidget* parent)
    : QDialog(parent), checks_(checks) {
    setWindowTitle(tr("Harborly - Check Points"));
    resize(820, 500);
    auto* layout = new QVBoxLayout(this);
    const auto toFix =
        std::count_if(checks.begin(), checks.end(), [](const PortCheck& c) { return !c.good(); });
    QString heading =
        toFix == 0
            ? tr("Every port is forwarded and taken here.")
            : tr("%1 of %2 ports need something; they are marked.").arg(toFix).arg(checks.size());
    if (!routerName.isEmpty())
        heading = ShownText(routerName) + QStringLiteral(": ") + heading;
    auto* title = new QLabel(heading, this);
    title->setTextFormat(Qt::PlainText); // the router's name is text, never markup
    layout->addWidget(title);

    const QStringList headers = {tr("Application"), tr("Port"), tr("What was found")};
    tblChecks =
        new QTableWidget(static_cast<int>(checks.size()), static_cast<int>(headers.size()), this);
    tblChecks->setHorizontalHeaderLabels(headers);
    tblChecks->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tblChecks->setAccessibleName(tr("Check results"));
    tblChecks->setSelectionBehavior(QAbstractItemView::SelectRows);
    tblChecks->setSelectionMode(QAbstractItemView::SingleSelection);
    tblChecks->setWordWrap(true);
    tblChecks->setAccessibleName(tr("Ports checked"));
    tblChecks->setAccessibleDescription(
        tr("One row per port; the selected port's way in is drawn below the table."));
    tblChecks->verticalHeader()->hide();
    tblChecks->horizontalHeader()->setStretchLastSection(true);
    for (int r = 0; r < checks.size(); ++r) {
        const PortCheck& c = checks[r];
        const QStringList cells = {
            c.mapping.application,
            QStringLiteral("%1/%2").arg(c.mapping.port).arg(c.mapping.protocol), c.sentence()};
        for (int col = 0; col < cells.size(); ++col) {
            auto* item = new QTableWidgetItem(cells[col]);
            item->setToolTip(cells[2]);
            if (!c.good()) {
                QFont f = item->font();
                f.setBold(true);
                item->setFont(f);
            }
            tblChecks->setItem(r, col, item);
        }
    }
    tblChecks->resizeColumnsToContents();
    tblChecks->setColumnWidth(2, 560);
    tblChecks->resizeRowsToContents();
    layout->addWidget(tblChecks, 1);

    wayIn = new WayInView(this);
    layout->addWidget(wayIn);
    connect(tblChecks, &QTableWidget::currentCellChanged, this,
            [this](int row) { showWayIn(row); });
    // The first port that needs something, else the first.
    const auto first =
        std::find_if(checks.begin(), checks.end(), [](const PortCheck& c) { return !c.good(); });
    if (!checks.isEmpty())
        tblChecks->setCurrentCell(first == checks.end() ? 0 : int(first - checks.begin()), 0);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    tblChecks->setFocus();
}

void frmCheck::showWayIn(int row) {
    if (row < 0 || row >= checks_.size())
        return;
    const PortCheck& c = checks_[row];
    wayIn->setWay(WayInOf(c), QStringLiteral("%1/%2").arg(c.mapping.port).arg(c.mapping.protocol));
}
