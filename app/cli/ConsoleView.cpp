#include "ConsoleView.h"

#include <QTextStream>

ConsoleView::ConsoleView(QTextStream& err, bool verbose) : err_(err), verbose_(verbose) {}

void ConsoleView::setStatusCaption(const QString& caption) {
    status_ = caption;
    if (verbose_)
        err_ << caption << Qt::endl;
}
