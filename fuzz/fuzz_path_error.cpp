// SPDX-License-Identifier: GPL-3.0-or-later
// The path probe's error-queue records: hostile control data is read without crashing, and an
// answer read names an IPv4 sender.
#include "router/net/PathProbe.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray control(reinterpret_cast<const char*>(data), qsizetype(size));
    const std::optional<HopAnswer> a = ReadHopAnswer(control);
    if (a && a->from.protocol() != QAbstractSocket::IPv4Protocol)
        __builtin_trap();
    return 0;
}
