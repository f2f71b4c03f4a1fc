// SPDX-License-Identifier: GPL-3.0-or-later
// NAT-PMP answers: hostile bytes are read without crashing, and what is accepted holds
// together with the request it answers.
#include "router/pcpnatpmp/PcpNatPmpPackets.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 3)
        return 0;
    // The first byte picks the request, the next two its internal port.
    const quint8 opcode = data[0] % 3;
    const quint16 internalPort = quint16(data[1] << 8 | data[2]);
    const QByteArrayView bytes(reinterpret_cast<const char*>(data + 3), qsizetype(size - 3));

    const auto a = ParseNatPmpAnswer(bytes, opcode, internalPort);
    if (!a)
        return 0;
    if (bytes.size() < 8 || bytes.size() > MaxPcpNatPmpDatagram)
        __builtin_trap();
    if (a->ok()) {
        if (a->opcode != (0x80 | opcode))
            __builtin_trap();
        if (opcode != NatPmpOp::ExternalAddress && a->internalPort != internalPort)
            __builtin_trap();
        if (opcode == NatPmpOp::ExternalAddress && a->externalAddress.isNull())
            __builtin_trap();
    } else if (a->externalPort != 0 || a->lifetime != 0 || !a->externalAddress.isNull()) {
        __builtin_trap();
    }
    if (!DescribeNatPmpResult(a->resultCode).isEmpty() != !a->ok())
        __builtin_trap();
    return 0;
}
