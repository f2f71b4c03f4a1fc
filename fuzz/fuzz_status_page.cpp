// SPDX-License-Identifier: GPL-3.0-or-later
// The scanners read whatever a device on the router's address sends, without crashing.
#include "router/web/PageCapture.h"
#include "router/web/PortForwarding.h"
#include "router/web/StatusQuery.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray page(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    (void)ExtractAddress(page);
    (void)LeadingNumber(ExtractVersion(page));
    SlotTable table;
    if (ScanUsedSlots(page, table) > SlotTable::SlotCount)
        __builtin_trap();
    QByteArray copy = page;
    NeutralisePage(copy);
    return 0;
}
