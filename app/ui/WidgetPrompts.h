// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "platform/Prompts.h"

class QWidget;

// Message boxes, with a single OK button or the question's own; each CR of a text becomes a
// line break.
class WidgetPrompts final : public Prompts {
public:
    explicit WidgetPrompts(QWidget* parent = nullptr) : parent_(parent) {}
    void MsgBox(const QString& text, MsgIcon icon, const QString& title) override;
    void Beep() override;
    int Choose(const QString& text, const QStringList& buttons, const QString& title) override;

private:
    QWidget* parent_;
};
