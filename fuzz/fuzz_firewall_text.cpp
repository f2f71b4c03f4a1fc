// SPDX-License-Identifier: GPL-3.0-or-later
// What the firewalls hand Harborly as text: ufw's configuration file and firewalld's ports and
// port ranges ("6660", "6000-7000"), whatever they hold, are read without harm.
#include "router/firewall/Firewalld.h"
#include "router/firewall/Ufw.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray text(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    UfwEnabled(text);
    const QString range = QString::fromUtf8(text);
    // Port 0 is held only where the text names it.
    if (PortRangeHolds(range, 0) && !range.contains(QLatin1Char('0')))
        __builtin_trap();
    for (const int port : {1, 6660, 65535})
        PortRangeHolds(range, port);
    return 0;
}
