#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

#include <functional>
#include <optional>

// One forward Harborly made and answers for: it renews it while it runs and removes it on
// "Clear All Points", so none is left behind forgotten.
struct LeaseEntry {
    // What Harborly knows of the forward on the router.
    enum class State {
        Held,     // made, and kept alive
        Unsure,   // asked for, but the router went silent: looked up at the next check
        Clearing, // the user cleared it, but the router did not confirm: removed when it answers
    };

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
    State state = State::Held;
    QString externalAddress{}; // PCP: the address granted, suggested again on renewal
    QString remoteHost{};      // UPnP: the remote host the mapping is keyed on; empty: any
    // Kind "pinhole6" (an IPv6 pinhole): the address it lets in and the gateway's UniqueID.
    // Written after the other fields on pinhole lines only, so older records read as before.
    QString address{};
    quint16 uniqueId = 0;

    // Held, and half its lease gone: time to renew it.
    bool halfLeaseGone(const QDateTime& now) const {
        return state == State::Held && now.secsTo(leaseEnd) <= qint64(lifetime / 2);
    }
    bool sameForward(const LeaseEntry& o) const {
        return router == o.router && kind == o.kind && protocol == o.protocol &&
               internalPort == o.internalPort;
    }
    bool operator==(const LeaseEntry&) const = default;
};

// Whether the pinhole of `port`/`protocol` among `pinholes` is open now, by its record (a
// router cannot be asked about a pinhole beyond its lease); nullopt when none was opened or
// the router did not say (the next check settles it).
std::optional<bool> RecordedPinholeOpen(const QList<LeaseEntry>& pinholes, int port,
                                        const QString& protocol, const QDateTime& now);

// `Harborly.leases`: one forward per line, tab-separated, after a version line. Text so a
// person can read what Harborly holds; written whole and crash-safe, owner-only.
QByteArray FormatLeases(const QList<LeaseEntry>& entries);
// Nothing when the text is not a lease record; lines that do not parse are skipped.
std::optional<QList<LeaseEntry>> ParseLeases(const QByteArray& text);

// The record every process of this program folder shares. Every read-modify-write holds an
// exclusive flock on a lock file beside the record, which the kernel drops when a process dies,
// so writers at once lose nothing and a killed one blocks nobody.
class LeaseRecord {
public:
    static constexpr qsizetype MaxFileBytes = 1 << 20;
    static constexpr int MaxEntries = 4096;

    struct Read {
        bool ok = false;
        QList<LeaseEntry> entries;
        QString problem; // why not, in a sentence
    };

    explicit LeaseRecord(QString path) : path_(std::move(path)) {}
    const QString& path() const { return path_; }

    // A missing file reads as empty. One that cannot be read, is no lease record or is over
    // the limits is not ok: nothing may be saved over it.
    Read read() const;
    // The entries, or none when the record cannot be read.
    QList<LeaseEntry> load() const { return read().entries; }
    bool save(const QList<LeaseEntry>& entries) const;

    // Reads, changes and saves under the lock. False, with problem(), when the record could
    // not be read (it is left as it is), would go over the limits, or could not be written.
    bool update(const std::function<void(QList<LeaseEntry>&)>& change) const;
    // Adds or replaces the entry for the same forward.
    bool put(const LeaseEntry& entry) const;
    // A clear the router confirmed (or a lease that lapsed): the forward's line marked
    // Clearing goes; a line made again meanwhile stays.
    bool dropCleared(const LeaseEntry& forward) const;
    // A clear that did not happen (cancelled or refused): the lines still marked Clearing are
    // held again, so the keep-alive goes on answering for them.
    bool keepUncleared(const QList<LeaseEntry>& forwards) const;
    bool remove(const LeaseEntry& entry) const;
    // The last failure of update, put, remove or save.
    const QString& problem() const { return problem_; }

    // Held around one command's run of changes (a Point To Me of many forwards): each change
    // is written and synced as always, and the folder, which makes the renames durable, once
    // when the last batch ends, before the command reports.
    class Batch {
    public:
        explicit Batch(const LeaseRecord& record);
        ~Batch();
        Batch(const Batch&) = delete;
        Batch& operator=(const Batch&) = delete;

    private:
        const LeaseRecord& record_;
    };

private:
    Read readUnlocked() const;
    bool saveUnlocked(const QList<LeaseEntry>& entries) const;

    QString path_;
    mutable QString problem_;
    mutable int batches_ = 0;
    mutable bool unsyncedRename_ = false;
};

// Held around one change on the router and the record's line for it (a forward made and
// recorded, removed and struck out), so that no other process of this program folder changes the
// same forward between the two. Taken again by the same process it only counts.
class ForwardChangeLock {
public:
    explicit ForwardChangeLock(const QString& recordPath);
    ~ForwardChangeLock();
    ForwardChangeLock(const ForwardChangeLock&) = delete;
    ForwardChangeLock& operator=(const ForwardChangeLock&) = delete;

private:
    QString path_;
};

// Held by the one process that renews a router's forwards; the others watch the record. An
// flock on a file beside the record: it passes on when the holder ends or dies.
class RenewerRole {
public:
    RenewerRole(const QString& recordPath, const QString& router);
    ~RenewerRole();
    RenewerRole(const RenewerRole&) = delete;
    RenewerRole& operator=(const RenewerRole&) = delete;

    // True when this process holds the role, taking it when it is free.
    bool hold();
    bool held() const { return fd_ >= 0; }

private:
    QString path_;
    int fd_ = -1;
};

// The record beside the INI file; empty (no record) without one.
QString LeasePathFor(const QString& iniPath);
