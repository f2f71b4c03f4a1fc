#include "ui/frmCheck.h"

#include "platform/ShownText.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>

frmCheck::frmCheck(const QList<PortCheck>& checks, const QString& routerName, QWidget* parent)
    : QDialog(parent) {
    setWindowTitle(QStringLiteral("Harborly - Check Points"));
    resize(820, 320);
    auto* layout = new QVBoxLayout(this);
    const auto toFix =
        std::count_if(checks.begin(), checks.end(), [](const PortCheck& c) { return !c.good(); });
    QString heading = toFix == 0 ? QStringLiteral("Every port is forwarded and taken here.")
                                 : QStringLiteral("%1 of %2 ports need something; they are marked.")
                                       .arg(toFix)
                                       .arg(checks.size());
    if (!routerName.isEmpty())
        heading = ShownText(routerName) + QStringLiteral(": ") + heading;
    auto* title = new QLabel(heading, this);
    title->setTextFormat(Qt::PlainText); // the router's name is text, never markup
    layout->addWidget(title);

    const QStringList headers = {QStringLiteral("Application"), QStringLiteral("Port"),
                                 QStringLiteral("What was found")};
    tblChecks =
        new QTableWidget(static_cast<int>(checks.size()), static_cast<int>(headers.size()), this);
    tblChecks->setHorizontalHeaderLabels(headers);
    tblChecks->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tblChecks->setAccessibleName(tr("Check results"));
    tblChecks->setSelectionBehavior(QAbstractItemView::SelectRows);
    tblChecks->setWordWrap(true);
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

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}
