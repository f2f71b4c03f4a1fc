// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Base64.h"

#include <functional>

// The number of the Base64Error the call raises, or 0 when it raises none.
inline int errorOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const Base64Error& e) {
        return e.number();
    }
    return 0;
}
