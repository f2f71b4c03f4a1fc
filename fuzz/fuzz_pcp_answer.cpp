// SPDX-License-Identifier: GPL-3.0-or-later
// PCP answers: hostile bytes are read without crashing; an answer counts only when it matches
// the outstanding request, whatever else it says.
#include "router/pcpnatpmp/PcpNatPmpPackets.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1)
        return 0;
    // The first byte picks the request: ANNOUNCE, or a MAP of the nonce and port the
    // seeds use.
    const bool map = data[0] & 1;
    PcpExpected expected;
    if (map)
        expected = {.opcode = PcpOp::Map,
                    .nonce = QByteArray::fromHex("0102030405060708090a0b0c"),
                    .protocol = quint8(data[0] & 2 ? 17 : 6),
                    .internalPort = 7000};
    const QByteArrayView bytes(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));

    const PcpParsed p = ParsePcpAnswer(bytes, expected);
    if (p.verdict == PcpVerdict::Drop || p.verdict == PcpVerdict::NatPmpServer)
        return 0;
    if (bytes.size() < 24 || bytes.size() > MaxPcpNatPmpDatagram || bytes.size() % 4 != 0)
        __builtin_trap();
    if (p.verdict == PcpVerdict::OtherVersion) {
        if (p.answer.resultCode != PcpResult::UnsuppVersion)
            __builtin_trap();
        return 0;
    }
    const PcpAnswer& a = p.answer;
    if (a.version != 2 || a.opcode != expected.opcode)
        __builtin_trap();
    if (map && (a.nonce != expected.nonce || a.protocol != expected.protocol ||
                a.internalPort != expected.internalPort || bytes.size() < 60))
        __builtin_trap();
    DescribePcpResult(a.resultCode);
    return 0;
}
