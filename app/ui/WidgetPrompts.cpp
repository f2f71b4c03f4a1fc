// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/WidgetPrompts.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

void WidgetPrompts::MsgBox(const QString& text, MsgIcon icon, const QString& title) {
    static constexpr QMessageBox::Icon icons[] = {QMessageBox::NoIcon, QMessageBox::Information,
                                                  QMessageBox::Warning, QMessageBox::Critical};
    QString lines = text;
    lines.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    QMessageBox box(icons[static_cast<int>(icon)], title, lines, QMessageBox::Ok, parent_);
    box.exec();
}

void WidgetPrompts::Beep() {
    QApplication::beep();
}

int WidgetPrompts::Choose(const QString& text, const QStringList& buttons, const QString& title) {
    QString lines = text;
    lines.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    QMessageBox box(QMessageBox::Question, title, lines, QMessageBox::NoButton, parent_);
    QList<QAbstractButton*> made;
    for (qsizetype i = 0; i < buttons.size(); ++i)
        made << box.addButton(buttons[i],
                              i == 0 ? QMessageBox::AcceptRole : QMessageBox::RejectRole);
    box.exec();
    return int(made.indexOf(box.clickedButton()));
}
