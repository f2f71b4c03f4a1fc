#include "router/keep/Outcome.h"

QString StatusWord(Outcome o) {
    switch (o) {
    case Outcome::Completed:
        return QStringLiteral("Completed");
    case Outcome::Error:
        return QStringLiteral("Error");
    case Outcome::Failed:
        return QStringLiteral("Failed");
    case Outcome::Cancelled:
        return QStringLiteral("Cancelled");
    }
    return QStringLiteral("Error");
}
