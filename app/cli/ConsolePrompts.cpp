// SPDX-License-Identifier: GPL-3.0-or-later
#include "ConsolePrompts.h"

#include "platform/ShownText.h"

#include <QStringList>
#include <QTextStream>

void ConsolePrompts::MsgBox(const QString& text, MsgIcon, const QString&) {
    ++boxes_;
    // A CR is the box's own line break; anything else invisible within a line is the router's.
    QStringList lines = text.split(QLatin1Char('\r'));
    for (QString& line : lines)
        line = ShownText(line);
    err_ << lines.join(QLatin1Char('\n')) << Qt::endl;
}
