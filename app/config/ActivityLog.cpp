#include "config/ActivityLog.h"

#include "platform/Clock.h"
#include "platform/Prompts.h"

#include <QFile>

ActivityLog::ActivityLog(const LocalPaths& paths, Prompts& prompts, const Clock& clock,
                         QLocale locale)
    : paths_(paths), prompts_(prompts), clock_(clock), locale_(std::move(locale)) {}

QString ActivityLog::timeStamp() const {
    const QDateTime now = clock_.now();
    // The time is formatted with its date so that the zone shown is the clock's own.
    return u'[' + locale_.toString(now.date(), QLocale::ShortFormat) + u' ' +
           locale_.toString(now, locale_.timeFormat(QLocale::LongFormat)) + QStringLiteral("]   ");
}

bool ActivityLog::WriteLog(const QString& sMsg) {
    const bool blank = sMsg.count(u' ') == sMsg.size();
    const QByteArray line = (blank ? QString() : timeStamp() + sMsg).toUtf8() + "\r\n";

    // An append, not a rewrite: a crash can at worst leave a partial last line, and every
    // earlier line stays intact, which is all an append-only log needs.
    QFile file(paths_.LogPath);
    bool written = !paths_.LogPath.isEmpty() &&
                   file.open(QIODevice::WriteOnly | QIODevice::Append,
                             QFileDevice::ReadOwner | QFileDevice::WriteOwner) &&
                   file.write(line) == line.size();
    if (file.isOpen()) {
        written = file.flush() && written;
        file.close();
    }
    if (written)
        return true;
    prompts_.MsgBox(timeStamp() + QStringLiteral("Unable to Open Log File") + u'\r' +
                        paths_.LogPath,
                    MsgIcon::Exclamation, QStringLiteral("Harborly"));
    return false;
}
