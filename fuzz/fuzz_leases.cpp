// SPDX-License-Identifier: GPL-3.0-or-later
// The lease record is read back at every start; whatever a crash, an editor or a disk left in
// it must parse without harm, and what parses must survive a write and a read.
#include "router/leases/LeaseRecord.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray text(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const auto entries = ParseLeases(text);
    if (!entries)
        return 0;
    const auto again = ParseLeases(FormatLeases(*entries));
    if (!again || again->size() != entries->size())
        __builtin_trap();
    return 0;
}
