// SPDX-License-Identifier: GPL-3.0-or-later
// The kernel's tables are read as text: a socket table, if_inet6 and ipv6_route, whatever
// they hold, parse without harm, and every row read keeps its fields in range.
#include "router/net/Ipv6Address.h"
#include "router/net/SocketTable.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray text(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    for (const bool v6 : {false, true})
        for (const SocketRow& r : ParseSocketTable(text, v6))
            if (r.local.protocol() !=
                (v6 ? QAbstractSocket::IPv6Protocol : QAbstractSocket::IPv4Protocol))
                __builtin_trap();
    for (const Ipv6Entry& e : ParseIfInet6(text))
        if (e.prefixLength < 0 || e.prefixLength > 128 || e.address.isNull())
            __builtin_trap();
    ChoosePinholeAddress(ParseIfInet6(text));
    Ipv6DefaultRouter(text);
    return 0;
}
