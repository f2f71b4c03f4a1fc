// SPDX-License-Identifier: GPL-3.0-or-later
#include "router/leases/LeaseText.h"

namespace {

const QByteArray kHeader = "# Harborly leases 1";
constexpr int kFields = 10;        // what every record has
constexpr int kAllFields = 13;     // the state, the granted address and the remote host after it
constexpr int kPinholeFields = 15; // a pinhole's address and UniqueID after those
// The router's identity, where known, ends a line: 14 fields on a forward, 16 on a pinhole.
constexpr int kIdentifiedFields = kAllFields + 1;
constexpr int kIdentifiedPinholeFields = kPinholeFields + 1;

const char* stateName(LeaseEntry::State s) {
    switch (s) {
    case LeaseEntry::State::Unsure:
        return "unsure";
    case LeaseEntry::State::Clearing:
        return "clearing";
    case LeaseEntry::State::Held:
        break;
    }
    return "held";
}

// A kind another version adds must not be renewed or cleared as one of these.
bool knownKind(const QByteArray& kind) {
    return kind == "upnp" || kind == "pcp" || kind == "natpmp" || kind == "pinhole6" ||
           kind == "firewall";
}

// Tabs and line ends would break the line apart.
QByteArray field(const QString& text) {
    QByteArray out = text.toUtf8();
    for (char& c : out)
        if (c == '\t' || c == '\n' || c == '\r')
            c = ' ';
    return out;
}

std::optional<int> port(const QByteArray& text) {
    bool ok = false;
    const int n = text.toInt(&ok);
    return ok && n >= 1 && n <= 65535 ? std::optional<int>(n) : std::nullopt;
}

std::optional<LeaseEntry> parseLine(const QByteArray& line) {
    const QList<QByteArray> f = line.split('\t');
    if (f.size() != kFields && f.size() != kAllFields && f.size() != kPinholeFields &&
        f.size() != kIdentifiedFields && f.size() != kIdentifiedPinholeFields)
        return std::nullopt;
    LeaseEntry e;
    e.router = QString::fromUtf8(f[0]);
    e.kind = QString::fromUtf8(f[1]);
    e.protocol = QString::fromUtf8(f[2]);
    const auto external = port(f[3]);
    const auto internal = port(f[4]);
    if (e.router.isEmpty() || !knownKind(f[1]) || !external || !internal ||
        (e.protocol != QLatin1String("TCP") && e.protocol != QLatin1String("UDP")))
        return std::nullopt;
    e.externalPort = *external;
    e.internalPort = *internal;
    if (f[5] != "permanent") {
        e.leaseEnd = QDateTime::fromString(QString::fromLatin1(f[5]), Qt::ISODate);
        if (!e.leaseEnd.isValid())
            return std::nullopt;
    }
    bool ok = false;
    e.lifetime = f[6].toUInt(&ok);
    if (!ok)
        return std::nullopt;
    e.nonce = QByteArray::fromHex(f[7]);
    e.epoch = f[8].toUInt(&ok);
    if (!ok)
        return std::nullopt;
    e.application = QString::fromUtf8(f[9]);
    if (f.size() >= kAllFields) {
        if (f[10] == "unsure")
            e.state = LeaseEntry::State::Unsure;
        else if (f[10] == "clearing")
            e.state = LeaseEntry::State::Clearing;
        else if (f[10] != "held")
            return std::nullopt;
        e.externalAddress = QString::fromUtf8(f[11]);
        e.remoteHost = QString::fromUtf8(f[12]);
    }
    if (f.size() == kIdentifiedFields || f.size() == kIdentifiedPinholeFields) {
        e.routerId = QString::fromUtf8(f.last());
        if (e.routerId.isEmpty())
            return std::nullopt;
    }
    if (f.size() >= kPinholeFields) {
        e.address = QString::fromUtf8(f[13]);
        const uint id = f[14].toUInt(&ok);
        if (e.address.isEmpty() || !ok || id > 0xFFFF)
            return std::nullopt;
        e.uniqueId = quint16(id);
    }
    return e;
}

} // namespace

QByteArray FormatLeases(const QList<LeaseEntry>& entries, const QList<QByteArray>& unknownLines) {
    QByteArray out = kHeader + '\n';
    out += "# router\tkind\tprotocol\toutside port\tinside port\tlease end (UTC)\tlifetime\t"
           "nonce\tepoch\tapplication\tstate\texternal address\tremote host\n";
    for (const LeaseEntry& e : entries) {
        QList<QByteArray> f = {field(e.router),
                               field(e.kind),
                               field(e.protocol),
                               QByteArray::number(e.externalPort),
                               QByteArray::number(e.internalPort),
                               e.leaseEnd.isValid()
                                   ? e.leaseEnd.toUTC().toString(Qt::ISODate).toLatin1()
                                   : QByteArray("permanent"),
                               QByteArray::number(e.lifetime),
                               e.nonce.toHex(),
                               QByteArray::number(e.epoch),
                               field(e.application),
                               stateName(e.state),
                               field(e.externalAddress),
                               field(e.remoteHost)};
        if (!e.address.isEmpty())
            f << field(e.address) << QByteArray::number(e.uniqueId);
        if (!e.routerId.isEmpty())
            f << field(e.routerId);
        out += f.join('\t') + '\n';
    }
    for (const QByteArray& line : unknownLines)
        out += line + '\n';
    return out;
}

LeaseText ParseLeaseText(const QByteArray& text) {
    LeaseText out;
    // Every write ends every line, the header's too: text that stops inside one was cut short,
    // and what its last line would have said is unknown.
    if ((kHeader + '\n').startsWith(text)) {
        out.shape = LeaseText::Shape::CutOff;
        out.cutLine = 1;
        return out;
    }
    if (!text.startsWith(kHeader)) {
        out.shape = LeaseText::Shape::NotARecord;
        return out;
    }
    const QList<QByteArray> lines = text.split('\n');
    if (!text.endsWith('\n')) {
        out.shape = LeaseText::Shape::CutOff;
        out.cutLine = int(lines.size());
        return out;
    }
    for (const QByteArray& line : lines) {
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        if (const auto e = parseLine(line))
            out.entries << *e;
        else
            out.unknownLines << line;
    }
    return out;
}

std::optional<QList<LeaseEntry>> ParseLeases(const QByteArray& text) {
    LeaseText parsed = ParseLeaseText(text);
    if (parsed.shape != LeaseText::Shape::Whole)
        return std::nullopt;
    return std::move(parsed.entries);
}

std::optional<bool> RecordedPinholeOpen(const QList<LeaseEntry>& pinholes, int port,
                                        const QString& protocol, const QDateTime& now) {
    for (const LeaseEntry& e : pinholes)
        if (e.protocol == protocol && e.internalPort == port) {
            if (e.state == LeaseEntry::State::Unsure)
                return std::nullopt;
            return e.state == LeaseEntry::State::Held && e.leaseEnd > now;
        }
    return std::nullopt;
}
