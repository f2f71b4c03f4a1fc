// The simulated UPnP router reads whatever a client sends, without crashing or growing without
// bound. Input is split at NUL pairs into a few requests, each offered as HTTP and as a discovery
// datagram to one router, so later requests meet the mappings earlier ones made.
#include "UpnpSimulator.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray input(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    UpnpSimOptions options;
    options.maxMappings = 4;
    UpnpSimulator sim(options);
    qint64 clock = 0;
    sim.setClock([&clock] { return clock; });
    const QHostAddress peer(QStringLiteral("127.0.0.1"));
    int requests = 0;
    for (const QByteArray& request : input.split('\0')) {
        if (request.isEmpty() || ++requests > 8)
            continue;
        const QByteArray reply = sim.respondHttp(request, peer);
        if (!reply.startsWith("HTTP/1.1 ") || !reply.contains("\r\nConnection: close\r\n"))
            __builtin_trap();
        if (sim.respondSsdp(request).size() > 4 || sim.mappings().size() > 4)
            __builtin_trap();
        clock += 1800;
    }
    return 0;
}
