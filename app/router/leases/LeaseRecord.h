#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

// One forward Harborly made and answers for: it renews it while it runs and removes it on
// "Clear All Points", so none is left behind forgotten.
struct LeaseEntry {
    QString router;   // the router's address as Harborly reached it
    QString kind;     // "upnp", "pcp", "natpmp"
    QString protocol; // "TCP" or "UDP"
    int externalPort = 0;
    int internalPort = 0;
    QDateTime leaseEnd;   // UTC; invalid when the forward stays until removed
    quint32 lifetime = 0; // granted seconds; 0 when permanent
    QByteArray nonce;     // PCP's 12 bytes; empty otherwise
    quint32 epoch = 0;    // the router's epoch when granted (PCP, NAT-PMP)
    QString application;  // as the list shows it
    // Kind "pinhole6" (an IPv6 pinhole): the address it lets in and the gateway's UniqueID.
    // Written after the other fields, so records without them read as before.
    QString address{};
    quint16 uniqueId = 0;

    bool sameForward(const LeaseEntry& o) const {
        return router == o.router && kind == o.kind && protocol == o.protocol &&
               internalPort == o.internalPort;
    }
    bool operator==(const LeaseEntry&) const = default;
};

// `Harborly.leases`: one forward per line, tab-separated, after a version line. Text so a
// person can read what Harborly holds; written whole and crash-safe, owner-only.
QByteArray FormatLeases(const QList<LeaseEntry>& entries);
// Nothing when the text is not a lease record; lines that do not parse are skipped.
std::optional<QList<LeaseEntry>> ParseLeases(const QByteArray& text);

class LeaseRecord {
public:
    static constexpr qsizetype MaxFileBytes = 1 << 20;
    static constexpr int MaxEntries = 4096;

    explicit LeaseRecord(QString path) : path_(std::move(path)) {}
    const QString& path() const { return path_; }

    // Missing file: empty. A file that cannot be read or is no lease record: empty too, and
    // it is left as it is (the next save replaces it).
    QList<LeaseEntry> load() const;
    bool save(const QList<LeaseEntry>& entries) const;

    // Adds or replaces the entry for the same forward.
    bool put(const LeaseEntry& entry) const;
    bool remove(const LeaseEntry& entry) const;

private:
    QString path_;
};

// The record beside the INI file; empty (no record) without one.
QString LeasePathFor(const QString& iniPath);
