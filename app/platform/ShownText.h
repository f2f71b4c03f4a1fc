// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringView>

// Text another program chose (a router's forward descriptions, names, error words) as it may
// be shown on a line of the terminal, the log or the window: control characters, line and
// paragraph separators and bidirectional controls become visible escapes ("\n", "\x1B",
// "\u{202E}"), so such text cannot start a line, recolour a terminal or reorder what follows.
// Every other character, ordinary Unicode included, stays as it is.
QString ShownText(QStringView text);
