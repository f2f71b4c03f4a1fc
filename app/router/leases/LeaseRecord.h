// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "router/leases/LeaseLocks.h"
#include "router/leases/LeaseText.h"

#include <QList>
#include <QString>

#include <functional>

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

    // A missing file reads as empty. One that cannot be read, is no lease record, is cut off
    // (a write that did not finish) or is over the limits is not ok: nothing may be saved over
    // it. Lines of a format this version does not know are kept aside, never offered.
    Read read() const;
    // The entries, or none when the record cannot be read.
    QList<LeaseEntry> load() const { return read().entries; }
    // Replaces the entries; like update, it keeps the lines it does not know.
    bool save(const QList<LeaseEntry>& entries) const;

    // Reads, changes and saves under the lock. False, with problem(), when the record could
    // not be read (it is left as it is), would go over the limits, could not be written, or
    // another process wrote it while its lock file was missing. Temporary copies that killed
    // writes left beside it go on the way.
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
    struct Contents;
    Contents readUnlocked() const;
    bool saveUnlocked(const QList<LeaseEntry>& entries, const QList<QByteArray>& unknown) const;
    bool fail(const QString& problem) const;

    QString path_;
    mutable QString problem_;
    mutable int batches_ = 0;
    mutable bool unsyncedRename_ = false;
};

// The record beside the INI file; empty (no record) without one.
QString LeasePathFor(const QString& iniPath);
