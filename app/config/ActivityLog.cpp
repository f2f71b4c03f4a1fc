// SPDX-License-Identifier: GPL-3.0-or-later
#include "config/ActivityLog.h"

#include "platform/Clock.h"
#include "platform/Prompts.h"
#include "platform/ShownText.h"

#include <QCoreApplication>
#include <QFile>

ActivityLog::ActivityLog(const LocalPaths& paths, Prompts& prompts, const Clock& clock,
                         QLocale locale)
    : paths_(paths), prompts_(prompts), clock_(clock), locale_(std::move(locale)) {}

namespace {

// Calls f(start, length) for each run of one pattern letter in a QLocale format, skipping the
// text quoted with '.
template <typename F> void forEachField(const QString& format, F f) {
    for (qsizetype i = 0; i < format.size();) {
        if (format[i] == u'\'') {
            const qsizetype close = format.indexOf(u'\'', i + 1);
            i = close < 0 ? format.size() : close + 1;
            continue;
        }
        qsizetype end = i + 1;
        while (end < format.size() && format[end] == format[i])
            ++end;
        f(i, end - i);
        i = end;
    }
}

// The short date with its year in four digits: "12/6/26" reads as a date of which century?
QString fourDigitYear(const QString& format) {
    QString out;
    qsizetype done = 0;
    forEachField(format, [&](qsizetype start, qsizetype length) {
        if (format[start] == u'y' && length < 4) {
            out += format.mid(done, start - done) + QStringLiteral("yyyy");
            done = start + length;
        }
    });
    return out + format.mid(done);
}

// The long time without its time-zone field and the blank that joins it to the rest.
QString withoutZone(const QString& format) {
    QString out;
    qsizetype done = 0;
    forEachField(format, [&](qsizetype start, qsizetype length) {
        if (format[start] != u't')
            return;
        qsizetype from = start;
        while (from > done && format[from - 1] == u' ')
            --from;
        out += format.mid(done, from - done);
        done = start + length;
        if (from == start) // the zone came first: drop the blank after it instead
            while (done < format.size() && format[done] == u' ')
                ++done;
    });
    return out + format.mid(done);
}

} // namespace

QString ActivityLog::timeStamp() const {
    const QDateTime now = clock_.now();
    return u'[' +
           locale_.toString(now.date(), fourDigitYear(locale_.dateFormat(QLocale::ShortFormat))) +
           u' ' +
           locale_.toString(now.time(), withoutZone(locale_.timeFormat(QLocale::LongFormat))) +
           QStringLiteral("]   ");
}

bool ActivityLog::WriteLog(const QString& sMsg) {
    const bool blank = sMsg.count(u' ') == sMsg.size();
    // Messages quote the router, whose words must not start a log line of their own.
    const QByteArray line = (blank ? QString() : timeStamp() + ShownText(sMsg)).toUtf8() + "\r\n";

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
    prompts_.MsgBox(timeStamp() + QCoreApplication::translate("Config", "Unable to Open Log File") +
                        u'\r' +

                        paths_.LogPath,
                    MsgIcon::Exclamation, QStringLiteral("Harborly"));
    return false;
}
