// SPDX-License-Identifier: GPL-3.0-or-later
// A description from the router's address never yields a control URL off the router, and
// display fields stay short.
#include "router/upnp/DeviceDescription.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray xml(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QString router = QStringLiteral("192.168.1.1");
    const DeviceDescriptionResult d = ParseDeviceDescription(
        xml, QUrl(QStringLiteral("http://192.168.1.1:5000/rootDesc.xml")), router);
    if (!d.ok)
        return 0;
    if (d.services.size() > MaxServices)
        __builtin_trap();
    for (const IgdService& s : d.services)
        if (s.controlUrl.scheme() != QLatin1String("http") || s.controlUrl.host() != router ||
            ConnectionServiceRank(s.serviceType) != s.rank)
            __builtin_trap();
    for (const QString* f : {&d.device.friendlyName, &d.device.manufacturer, &d.device.modelName,
                             &d.device.modelNumber})
        if (f->size() > MaxDisplayLength)
            __builtin_trap();
    return 0;
}
