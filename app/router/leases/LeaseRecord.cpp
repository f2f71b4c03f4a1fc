// SPDX-License-Identifier: GPL-3.0-or-later
#include "router/leases/LeaseRecord.h"

#include "platform/AtomicFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <system_error>

#include <sys/file.h>
#include <unistd.h>

namespace {

QString lockPathOf(const QString& record) {
    return record + QStringLiteral(".lock");
}

QString reason(int error) {
    return QString::fromStdString(std::system_category().message(error));
}

struct FileLock {
    FileLock(QString at, int how) : path(std::move(at)) { take(how); }
    ~FileLock() { release(); }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    void take(int how) {
        release();
        fd = LockFileAt(path, how);
        error = fd < 0 ? errno : 0;
    }
    void release() {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
    QString problem(const QString& record) const {
        return QCoreApplication::translate(
                   "Router", "The lease record %1 cannot be written: its lock %2 cannot be "
                             "taken (%3); it was not changed.")
            .arg(record, path, reason(error));
    }

    QString path;
    int fd = -1;
    int error = 0;
};

} // namespace

struct LeaseRecord::Contents {
    Read read;
    QList<QByteArray> unknown; // lines of a newer format, written back as they are
};

bool LeaseRecord::fail(const QString& problem) const {
    problem_ = problem;
    return false;
}

LeaseRecord::Contents LeaseRecord::readUnlocked() const {
    Contents c;
    Read& r = c.read;
    const QFileInfo info(path_);
    if (!info.exists()) {
        r.ok = true;
        return c;
    }
    if (info.isDir()) {
        r.problem = QCoreApplication::translate(
                        "Router", "The lease record %1 is a folder, not a file; it is left as "
                                  "it is.")
                        .arg(path_);
        return c;
    }
    QFile file(path_);
    if (!file.open(QIODevice::ReadOnly)) {
        r.problem = QCoreApplication::translate(
                        "Router", "The lease record %1 cannot be read (%2); it is left as it is.")
                        .arg(path_, file.errorString());
        return c;
    }
    // One byte more than allowed tells an over-size record from one at the limit.
    const QByteArray text = file.read(MaxFileBytes + 1);
    if (text.size() > MaxFileBytes) {
        r.problem = QCoreApplication::translate(
                        "Router", "The lease record %1 is over 1 MiB; it is left as it is.")
                        .arg(path_);
        return c;
    }
    LeaseText parsed = ParseLeaseText(text);
    if (parsed.shape == LeaseText::Shape::NotARecord) {
        r.problem =
            QCoreApplication::translate("Router", "%1 is not a lease record; it is left as it is.")
                .arg(path_);
        return c;
    }
    if (parsed.shape == LeaseText::Shape::CutOff) {
        const QString where =
            text.isEmpty() ? QCoreApplication::translate("Router", "it is empty")
                           : QCoreApplication::translate("Router", "it is cut off in line %1")
                                 .arg(parsed.cutLine);
        r.problem = QCoreApplication::translate(
                        "Router", "The lease record %1 is damaged: %2, as a write that did not "
                                  "finish leaves it; it is left as it is.")
                        .arg(path_, where);
        return c;
    }
    if (parsed.entries.size() + parsed.unknownLines.size() > MaxEntries) {
        r.problem = QCoreApplication::translate(
                        "Router", "The lease record %1 lists more than %2 forwards; it is left "
                                  "as it is.")
                        .arg(path_)
                        .arg(MaxEntries);
        return c;
    }
    r.ok = true;
    r.entries = std::move(parsed.entries);
    c.unknown = std::move(parsed.unknownLines);
    return c;
}

LeaseRecord::Read LeaseRecord::read() const {
    if (path_.isEmpty())
        return {true, {}, {}};
    // Unlocked when the lock cannot be had (a read-only folder): a record is only ever
    // replaced whole, so a read sees one whole version.
    const FileLock lock(lockPathOf(path_), LOCK_SH);
    return readUnlocked().read;
}

bool LeaseRecord::saveUnlocked(const QList<LeaseEntry>& entries,
                               const QList<QByteArray>& unknown) const {
    const QByteArray text = FormatLeases(entries, unknown);
    if (entries.size() + unknown.size() > MaxEntries || text.size() > MaxFileBytes)
        return fail(QCoreApplication::translate(
                        "Router", "The lease record %1 would list more than it may hold (%2 "
                                  "lines, 1 MiB); it was not changed.")
                        .arg(path_)
                        .arg(MaxEntries));
    const QByteArray name = QFile::encodeName(path_);
    // Replacing goes by the folder's permissions; a file made read-only is meant to stay.
    if (::access(name.constData(), W_OK) != 0 && errno == EACCES)
        return fail(QCoreApplication::translate(
                        "Router", "The lease record %1 cannot be written: it is read-only; it "
                                  "was not changed.")
                        .arg(path_));
    // Under the lock no write of the record is under way: what is left was killed.
    RemoveStaleReplacements(path_);
    if (!ReplaceFileContents(path_, text, batches_ == 0))
        return fail(QCoreApplication::translate(
                        "Router", "The lease record %1 cannot be written (%2); it was not "
                                  "changed.")
                        .arg(path_, reason(errno)));
    if (batches_ > 0)
        unsyncedRename_ = true;
    return true;
}

LeaseRecord::Batch::Batch(const LeaseRecord& record) : record_(record) {
    ++record_.batches_;
}

LeaseRecord::Batch::~Batch() {
    if (--record_.batches_ == 0 && record_.unsyncedRename_) {
        record_.unsyncedRename_ = false;
        SyncFolderOf(record_.path_);
    }
}

bool LeaseRecord::save(const QList<LeaseEntry>& entries) const {
    return update([&](QList<LeaseEntry>& all) { all = entries; });
}

bool LeaseRecord::update(const std::function<void(QList<LeaseEntry>&)>& change) const {
    if (path_.isEmpty())
        return false;
    FileLock lock(lockPathOf(path_), LOCK_EX);
    if (lock.fd < 0)
        return fail(lock.problem(path_));
    const Contents before = readUnlocked();
    if (!before.read.ok)
        return fail(before.read.problem);
    QList<LeaseEntry> entries = before.read.entries;
    change(entries);
    if (entries == before.read.entries)
        return true;
    if (!LockIsAt(lock.fd, lock.path)) {
        // The lock file was removed meanwhile, so another writer may have come in on a new
        // one: this change stands only if nobody did.
        lock.take(LOCK_EX);
        if (lock.fd < 0)
            return fail(lock.problem(path_));
        const Contents now = readUnlocked();
        if (!now.read.ok || now.read.entries != before.read.entries ||
            now.unknown != before.unknown)
            return fail(QCoreApplication::translate(
                            "Router", "The lease record %1 was changed by another process "
                                      "while its lock file was missing; this change was not "
                                      "saved.")
                            .arg(path_));
    }
    return saveUnlocked(entries, before.unknown);
}

bool LeaseRecord::put(const LeaseEntry& entry) const {
    return update([&](QList<LeaseEntry>& entries) {
        entries.removeIf([&](const LeaseEntry& e) { return e.sameForward(entry); });
        entries << entry;
    });
}

bool LeaseRecord::dropCleared(const LeaseEntry& forward) const {
    return update([&](QList<LeaseEntry>& entries) {
        entries.removeIf([&](const LeaseEntry& e) {
            return e.sameForward(forward) && e.state == LeaseEntry::State::Clearing;
        });
    });
}

bool LeaseRecord::keepUncleared(const QList<LeaseEntry>& forwards) const {
    return update([&](QList<LeaseEntry>& entries) {
        for (LeaseEntry& e : entries)
            if (e.state == LeaseEntry::State::Clearing &&
                std::any_of(forwards.begin(), forwards.end(),
                            [&](const LeaseEntry& f) { return e.sameForward(f); }))
                e.state = LeaseEntry::State::Held;
    });
}

bool LeaseRecord::remove(const LeaseEntry& entry) const {
    return update([&](QList<LeaseEntry>& entries) {
        entries.removeIf([&](const LeaseEntry& e) { return e.sameForward(entry); });
    });
}

QString LeasePathFor(const QString& iniPath) {
    if (iniPath.isEmpty())
        return {};
    const QFileInfo ini(iniPath);
    return ini.dir().filePath(ini.completeBaseName() + QStringLiteral(".leases"));
}
