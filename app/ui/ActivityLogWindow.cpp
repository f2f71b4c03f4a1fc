// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/ActivityLogWindow.h"

#include <QDialogButtonBox>
#include <QFile>
#include <QFontDatabase>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QVBoxLayout>

#include <algorithm>

ActivityLogWindow::ActivityLogWindow(const QString& logPath, QWidget* parent) : QDialog(parent) {
    setWindowTitle(tr("Harborly - Activity Log"));
    resize(760, 420);
    auto* layout = new QVBoxLayout(this);
    text = new QPlainTextEdit(this);
    text->setReadOnly(true);
    text->setLineWrapMode(QPlainTextEdit::NoWrap);
    text->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    text->setAccessibleName(tr("Activity log"));
    text->setAccessibleDescription(logPath);
    // Read-only, yet the keyboard moves through it and selects.
    text->setTextInteractionFlags(Qt::TextSelectableByKeyboard | Qt::TextSelectableByMouse);
    layout->addWidget(text, 1);

    QFile file(logPath);
    if (!file.open(QIODevice::ReadOnly)) {
        text->setPlainText(tr("Nothing has been written to %1 yet.").arg(logPath));
    } else {
        const qint64 skipped = std::max<qint64>(0, file.size() - ShownBytes);
        file.seek(skipped);
        QByteArray bytes = file.read(ShownBytes);
        if (skipped > 0) // from the first whole line on
            bytes = bytes.mid(bytes.indexOf('\n') + 1);
        QString shown = QString::fromUtf8(bytes);
        shown.remove(QLatin1Char('\r'));
        if (skipped > 0)
            shown.prepend(tr("(the log's first %1 KiB are not shown)\n")
                              .arg(std::max<qint64>(1, skipped / 1024)));
        text->setPlainText(shown);
    }
    text->moveCursor(QTextCursor::End);
    text->verticalScrollBar()->setValue(text->verticalScrollBar()->maximum());

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    text->setFocus();
}
