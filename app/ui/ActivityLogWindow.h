// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

class QPlainTextEdit;

// Harborly.log as it stands, read-only, its newest lines in view: what the window did and
// what each check found. Only the end of a very long log is read.
class ActivityLogWindow : public QDialog {
    Q_OBJECT
public:
    static constexpr qint64 ShownBytes = 512 * 1024;

    explicit ActivityLogWindow(const QString& logPath, QWidget* parent = nullptr);

    QPlainTextEdit* text;
};
