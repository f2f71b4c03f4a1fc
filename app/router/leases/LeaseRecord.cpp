#include "router/leases/LeaseRecord.h"

#include "platform/AtomicFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

const QByteArray kHeader = "# Harborly leases 1";
constexpr int kFields = 10;

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
    if (f.size() != kFields && f.size() != kFields + 2)
        return std::nullopt;
    LeaseEntry e;
    e.router = QString::fromUtf8(f[0]);
    e.kind = QString::fromUtf8(f[1]);
    e.protocol = QString::fromUtf8(f[2]);
    const auto external = port(f[3]);
    const auto internal = port(f[4]);
    if (e.router.isEmpty() || e.kind.isEmpty() || !external || !internal ||
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
    if (f.size() > kFields) {
        e.address = QString::fromUtf8(f[10]);
        const uint id = f[11].toUInt(&ok);
        if (!ok || id > 0xFFFF)
            return std::nullopt;
        e.uniqueId = quint16(id);
    }
    return e;
}

} // namespace

QByteArray FormatLeases(const QList<LeaseEntry>& entries) {
    QByteArray out = kHeader + '\n';
    out += "# router\tkind\tprotocol\toutside port\tinside port\tlease end (UTC)\tlifetime\t"
           "nonce\tepoch\tapplication\n";
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
                               field(e.application)};
        if (!e.address.isEmpty())
            f << field(e.address) << QByteArray::number(e.uniqueId);
        out += f.join('\t') + '\n';
    }
    return out;
}

std::optional<QList<LeaseEntry>> ParseLeases(const QByteArray& text) {
    if (!text.startsWith(kHeader))
        return std::nullopt;
    QList<LeaseEntry> entries;
    for (const QByteArray& line : text.split('\n')) {
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        if (const auto e = parseLine(line); e && entries.size() < LeaseRecord::MaxEntries)
            entries << *e;
    }
    return entries;
}

QList<LeaseEntry> LeaseRecord::load() const {
    QFile file(path_);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray text = file.read(MaxFileBytes);
    return ParseLeases(text).value_or(QList<LeaseEntry>{});
}

bool LeaseRecord::save(const QList<LeaseEntry>& entries) const {
    return !path_.isEmpty() && ReplaceFileContents(path_, FormatLeases(entries));
}

bool LeaseRecord::put(const LeaseEntry& entry) const {
    QList<LeaseEntry> entries = load();
    entries.removeIf([&](const LeaseEntry& e) { return e.sameForward(entry); });
    entries << entry;
    return save(entries);
}

bool LeaseRecord::remove(const LeaseEntry& entry) const {
    QList<LeaseEntry> entries = load();
    if (entries.removeIf([&](const LeaseEntry& e) { return e.sameForward(entry); }) == 0)
        return true;
    return save(entries);
}

QString LeasePathFor(const QString& iniPath) {
    if (iniPath.isEmpty())
        return {};
    const QFileInfo ini(iniPath);
    return ini.dir().filePath(ini.completeBaseName() + QStringLiteral(".leases"));
}
