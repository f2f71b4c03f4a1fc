// SPDX-License-Identifier: GPL-3.0-or-later
// SOAP answers, the listing inside them and the HTTP framing around them: hostile bytes are
// read without crashing, and what comes out is bounded and well-formed.
#include "router/upnp/HttpExchange.h"
#include "router/upnp/Soap.h"

#include <cstddef>
#include <cstdint>

namespace {

void checkEntries(const std::optional<QList<PortMappingEntry>>& entries) {
    if (!entries)
        return;
    if (entries->size() > MaxListedMappings)
        __builtin_trap();
    for (const PortMappingEntry& e : *entries)
        if (e.externalPort == 0 ||
            (e.protocol != QLatin1String("TCP") && e.protocol != QLatin1String("UDP")))
            __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    // The first byte picks the HTTP status and how the bytes are cut into reads.
    const int statuses[] = {200, 500, 404, 503};
    const int status = statuses[data[0] % 4];
    const qsizetype piece = 1 + data[0] / 4;
    const QByteArray body(reinterpret_cast<const char*>(data + 1),
                          static_cast<qsizetype>(size - 1));

    const SoapAnswer answer =
        ParseSoapAnswer(status, body, QStringLiteral("GetGenericPortMappingEntry"));
    if (answer.outcome == SoapOutcome::Fault && answer.errorCode < 0)
        __builtin_trap();
    if (answer.outcome != SoapOutcome::Ok && !answer.values.isEmpty())
        __builtin_trap();
    if (const auto entry = EntryFromAnswer(answer); entry && entry->externalPort == 0)
        __builtin_trap();
    checkEntries(ParsePortListing(body));
    checkEntries(ParsePortListing(answer.value(u"NewPortListing").toUtf8()));

    HttpResponseReader reader(4096);
    for (qsizetype at = 0; at < body.size(); at += piece)
        reader.feed(QByteArrayView(body.constData() + at, std::min(piece, body.size() - at)));
    reader.finish();
    if (reader.body().size() > 4096)
        __builtin_trap();
    return 0;
}
