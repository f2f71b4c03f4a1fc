// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

class QTextBrowser;

// The help viewer: the HTML help file, links inside it followed, nothing fetched from outside.
class HelpWindow : public QDialog {
    Q_OBJECT
public:
    explicit HelpWindow(const QString& helpPath, QWidget* parent = nullptr);
    QTextBrowser* browser;
};
