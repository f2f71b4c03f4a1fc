// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDateTime>

// The wall clock, handed in so that time stamps can be tested.
class Clock {
public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;
};

class SystemClock final : public Clock {
public:
    QDateTime now() const override { return QDateTime::currentDateTime(); }
};
