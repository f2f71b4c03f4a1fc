// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <array>

struct SlotEntry {
    QString Name; // as the router page shows it, spaces removed
    bool Used = false;
};

// The program's copy of the router's ten forwarding slots "A" to "J".
struct SlotTable {
    static constexpr int SlotCount = 10;

    std::array<SlotEntry, SlotCount> entries;

    static QString letter(int i) { return QString(QChar(char16_t(u'A' + i))); }
};
