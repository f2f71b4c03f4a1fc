#include "ConsolePrompts.h"

#include <QTextStream>

void ConsolePrompts::MsgBox(const QString& text, MsgIcon, const QString&) {
    ++boxes_;
    QString lines = text;
    lines.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    err_ << lines << Qt::endl;
}
