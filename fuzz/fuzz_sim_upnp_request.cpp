// SPDX-License-Identifier: GPL-3.0-or-later
// The simulated UPnP router reads whatever a client sends, without crashing or growing without
// bound. Input is split at NUL pairs into a few requests, each offered as HTTP and as a discovery
// datagram to one router, so later requests meet the mappings earlier ones made. Input that
// starts with byte 1 meets a router serving a description of its own, answering in the style of
// firmware (HTTP/1.0, other prefixes and fault names) and with a captured discovery answer.
#include "UpnpSimulator.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    QByteArray input(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    UpnpSimOptions options;
    options.maxMappings = 4;
    const bool firmware = input.startsWith('\x01');
    if (firmware) {
        input.remove(0, 1);
        options.description =
            "<root><device><deviceType>urn:schemas-upnp-org:device:InternetGatewayDevice:1"
            "</deviceType><UDN>uuid:f</UDN><manufacturerURL><service><serviceType>urn:schemas-"
            "upnp-org:service:WANPPPConnection:1</serviceType><controlURL>?1</controlURL>"
            "</service></device></root>";
        options.ssdpReply = "HTTP/1.1 200 OK\r\nLOCATION:http://10.0.0.1:80/d.xml\r\nST:x\r\n";
        options.style = {"SOAP-ENV", "m", SimSoap::Style::FaultNames::Camel, true};
    }
    UpnpSimulator sim(options);
    qint64 clock = 0;
    sim.setClock([&clock] { return clock; });
    const QHostAddress peer(QStringLiteral("127.0.0.1"));
    int requests = 0;
    for (const QByteArray& request : input.split('\0')) {
        if (request.isEmpty() || ++requests > 8)
            continue;
        const QByteArray reply = sim.respondHttp(request, peer);
        if (!reply.startsWith(firmware ? "HTTP/1.0 " : "HTTP/1.1 ") ||
            !reply.contains("\r\nConnection: close\r\n"))
            __builtin_trap();
        if (sim.respondSsdp(request).size() > 4 || sim.mappings().size() > 4)
            __builtin_trap();
        clock += 1800;
    }
    return 0;
}
