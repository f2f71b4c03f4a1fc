// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

// Windows-1252, the code page of the INI file and of everything sent to the router. The five
// bytes the code page leaves undefined (81, 8D, 8F, 90, 9D) stand for the control character of
// the same number, so every byte survives a decode and an encode.

QString FromWindows1252(QByteArrayView bytes);

// A character the code page lacks becomes one '?' (a surrogate pair counts as one character).
QByteArray ToWindows1252(QStringView text);

// The first character of text that the code page lacks (both halves of a surrogate pair), or
// empty text when all of it can be encoded.
QString FirstCharacterNotInWindows1252(QStringView text);
