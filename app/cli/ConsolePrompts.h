// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/Prompts.h"

class QTextStream;

// Message boxes as lines on the terminal: each CR of a message starts a new line.
class ConsolePrompts final : public Prompts {
public:
    explicit ConsolePrompts(QTextStream& err) : err_(err) {}

    void MsgBox(const QString& text, MsgIcon icon, const QString& title) override;
    void Beep() override {}
    // The command line asks nothing: its configuration answers.
    int Choose(const QString&, const QStringList&, const QString&) override { return -1; }

    int boxes() const { return boxes_; }

private:
    QTextStream& err_;
    int boxes_ = 0;
};
