// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

// Every message box of the program has a single OK button; only its icon differs.
enum class MsgIcon { None, Information, Exclamation, Critical };

// Message boxes and the beep. Texts break lines with a single CR, as the router does;
// a graphical implementation shows each CR as a line break.
class Prompts {
public:
    virtual ~Prompts() = default;
    virtual void MsgBox(const QString& text, MsgIcon icon, const QString& title) = 0;
    virtual void Beep() = 0;
    // A question with its own buttons: the index of the one chosen; -1 where none was (the box
    // was closed, or nobody is there to answer).
    virtual int Choose(const QString& text, const QStringList& buttons, const QString& title) = 0;
};
