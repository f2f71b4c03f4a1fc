// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/Prompts.h"

#include <QList>

#include <functional>

// Records every message box and beep; an optional hook runs when a box is shown, so a test
// can act "while the box is open".
class RecordingPrompts final : public Prompts {
public:
    struct Box {
        QString text;
        MsgIcon icon;
        QString title;
    };

    void MsgBox(const QString& text, MsgIcon icon, const QString& title) override {
        boxes.append(Box{text, icon, title});
        if (onBox)
            onBox(boxes.back());
    }
    void Beep() override { ++beeps; }
    int Choose(const QString& text, const QStringList& buttons, const QString& title) override {
        questions.append(
            Box{text + QLatin1Char('\r') + buttons.join(QLatin1Char('|')), MsgIcon::None, title});
        return answer;
    }

    QList<Box> boxes;
    QList<Box> questions; // each question's text, then its buttons joined by '|'
    int answer = -1;      // the button Choose answers
    int beeps = 0;
    std::function<void(const Box&)> onBox;
};
