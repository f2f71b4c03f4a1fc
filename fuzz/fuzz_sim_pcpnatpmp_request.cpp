// SPDX-License-Identifier: GPL-3.0-or-later
// The simulated PCP / NAT-PMP router reads whatever a client sends without crashing, answers
// only in the protocols' shapes and keeps its table bounded. The input is a few records, each a
// selector byte (which peer, which kind of router), a 2-byte length and that many bytes of
// datagram, all offered to one router so that later datagrams meet the mappings earlier made.
#include "PcpNatPmpSimulator.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray input(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    PcpNatPmpSimOptions options;
    options.maxMappings = 4;
    options.refusePort = 2000;
    options.lifetimeMax = 3600;
    PcpNatPmpSimulator sim(options);
    qint64 clock = 0;
    sim.setClock([&clock] { return clock; });
    qsizetype at = 0;
    for (int datagrams = 0; datagrams < 8 && input.size() - at >= 3; ++datagrams) {
        const auto selector = static_cast<quint8>(input[at]);
        const qsizetype length =
            (static_cast<quint8>(input[at + 1]) << 8) | static_cast<quint8>(input[at + 2]);
        const QByteArray datagram = input.mid(at + 3, length);
        at += 3 + length;
        options.pcp = (selector & 1) == 0;
        options.pcpVersion1 = (selector & 2) != 0;
        sim.setOptions(options);
        const QHostAddress peer((selector & 4) != 0 ? 0x7F000002u : 0x7F000001u);
        const QByteArray reply = sim.respond(datagram, peer);
        if (reply.isEmpty())
            continue;
        const auto version = static_cast<quint8>(reply[0]);
        const bool natPmpShape =
            version == 0 && (reply.size() == 8 || reply.size() == 12 || reply.size() == 16);
        const bool pcpShape = version != 0 && reply.size() >= 24 && reply.size() % 4 == 0 &&
                              reply.size() <= PcpNatPmpSimulator::MaxDatagramBytes;
        if ((!natPmpShape && !pcpShape) || (static_cast<quint8>(reply[1]) & 0x80) == 0)
            __builtin_trap();
        if (sim.mappings().size() > 4)
            __builtin_trap();
        clock += 1800;
    }
    return 0;
}
