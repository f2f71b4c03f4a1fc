#include "ui/WidgetPrompts.h"

#include <QApplication>
#include <QMessageBox>

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
