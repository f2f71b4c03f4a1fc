// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "config/Settings.h"

#include <QLocale>
#include <QString>

class Clock;
class Prompts;

// The activity log Harborly.log: one time-stamped line per call, appended.
// A new log file is owner-only (0600): the save failures it records can carry the encoded
// router password.
class ActivityLog {
public:
    ActivityLog(const LocalPaths& paths, Prompts& prompts, const Clock& clock,
                QLocale locale = QLocale::system());

    // "[" short date " " long time "]   " sMsg, CR LF, in the locale's formats but with the
    // year in four digits and no time-zone name; a blank line for a message of only spaces. A
    // control character in sMsg is written escaped ("\n"), so one call is one line. Shows
    // "Unable to Open Log File" and returns false when the line is not written.
    bool WriteLog(const QString& sMsg);

private:
    QString timeStamp() const;

    const LocalPaths& paths_;
    Prompts& prompts_;
    const Clock& clock_;
    QLocale locale_;
};
