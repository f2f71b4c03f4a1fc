// SPDX-License-Identifier: GPL-3.0-or-later
// Whatever arrives on the discovery socket is read without crashing, and only a usable reply
// comes out.
#include "router/upnp/Ssdp.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray datagram(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const std::optional<SsdpReply> reply = ParseSsdpReply(datagram);
    if (!reply)
        return 0;
    if (reply->location.isEmpty() || datagram.size() > MaxSsdpDatagram)
        __builtin_trap();
    const int version = reply->igdVersion();
    if (version != 1 && version != 2)
        __builtin_trap();
    (void)reply->isGateway();
    return 0;
}
