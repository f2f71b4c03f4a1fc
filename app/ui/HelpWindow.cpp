// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/HelpWindow.h"

#include <QDialogButtonBox>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

HelpWindow::HelpWindow(const QString& helpPath, QWidget* parent) : QDialog(parent) {
    setWindowTitle(tr("Harborly Help"));
    resize(640, 520);
    auto* layout = new QVBoxLayout(this);
    browser = new QTextBrowser(this);
    browser->setOpenExternalLinks(false);
    browser->setAccessibleName(tr("Help"));
    browser->setSource(QUrl::fromLocalFile(helpPath), QTextDocument::HtmlResource);
    if (browser->toPlainText().isEmpty())
        browser->setPlainText(tr("The help file %1 could not be read.").arg(helpPath));
    layout->addWidget(browser);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}
