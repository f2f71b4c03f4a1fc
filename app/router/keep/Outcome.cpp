// SPDX-License-Identifier: GPL-3.0-or-later
#include "router/keep/Outcome.h"

QString StatusWord(Outcome o) {
    switch (o) {
    case Outcome::Completed:
        return QStringLiteral(QT_TRANSLATE_NOOP("Status", "Completed"));
    case Outcome::Error:
        return QStringLiteral(QT_TRANSLATE_NOOP("Status", "Error"));
    case Outcome::Failed:
        return QStringLiteral(QT_TRANSLATE_NOOP("Status", "Failed"));
    case Outcome::Cancelled:
        return QStringLiteral(QT_TRANSLATE_NOOP("Status", "Cancelled"));
    }
    return QStringLiteral(QT_TRANSLATE_NOOP("Status", "Error"));
}
