#include "router/leases/LeaseRecord.h"

#include "platform/AtomicFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QMutex>

#include <algorithm>
#include <cerrno>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

const QByteArray kHeader = "# Harborly leases 1";
constexpr int kFields = 10;        // what every record has
constexpr int kAllFields = 13;     // the state, the granted address and the remote host after it
constexpr int kPinholeFields = 15; // a pinhole's address and UniqueID after those

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

// An flock on `path`, created owner-only; -1 when it cannot be had.
int lockFile(const QString& path, int how) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return -1;
    int r;
    do
        r = ::flock(fd, how);
    while (r != 0 && errno == EINTR);
    if (r != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

struct FileLock {
    explicit FileLock(const QString& path, int how) : fd(lockFile(path, how)) {}
    ~FileLock() {
        if (fd >= 0)
            ::close(fd);
    }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    int fd;
};

QString lockPathOf(const QString& record) {
    return record + QStringLiteral(".lock");
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
    if (f.size() != kFields && f.size() != kAllFields && f.size() != kPinholeFields)
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
    if (f.size() == kPinholeFields) {
        e.address = QString::fromUtf8(f[13]);
        const uint id = f[14].toUInt(&ok);
        if (e.address.isEmpty() || !ok || id > 0xFFFF)
            return std::nullopt;
        e.uniqueId = quint16(id);
    }
    return e;
}

} // namespace

QByteArray FormatLeases(const QList<LeaseEntry>& entries) {
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
        if (const auto e = parseLine(line))
            entries << *e;
    }
    return entries;
}

LeaseRecord::Read LeaseRecord::readUnlocked() const {
    Read r;
    QFile file(path_);
    if (!file.exists()) {
        r.ok = true;
        return r;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        r.problem = QStringLiteral("The lease record %1 cannot be read (%2); it is left as it is.")
                        .arg(path_, file.errorString());
        return r;
    }
    // One byte more than allowed tells an over-size record from one at the limit.
    const QByteArray text = file.read(MaxFileBytes + 1);
    if (text.size() > MaxFileBytes) {
        r.problem =
            QStringLiteral("The lease record %1 is over 1 MiB; it is left as it is.").arg(path_);
        return r;
    }
    const auto entries = ParseLeases(text);
    if (!entries && !text.isEmpty()) {
        r.problem = QStringLiteral("%1 is not a lease record; it is left as it is.").arg(path_);
        return r;
    }
    if (entries && entries->size() > MaxEntries) {
        r.problem = QStringLiteral("The lease record %1 lists more than %2 forwards; it is left "
                                   "as it is.")
                        .arg(path_)
                        .arg(MaxEntries);
        return r;
    }
    r.ok = true;
    r.entries = entries.value_or(QList<LeaseEntry>{});
    return r;
}

LeaseRecord::Read LeaseRecord::read() const {
    if (path_.isEmpty())
        return {true, {}, {}};
    const FileLock lock(lockPathOf(path_), LOCK_SH);
    return readUnlocked();
}

bool LeaseRecord::saveUnlocked(const QList<LeaseEntry>& entries) const {
    const QByteArray text = FormatLeases(entries);
    if (entries.size() > MaxEntries || text.size() > MaxFileBytes) {
        problem_ = QStringLiteral("The lease record would list more than it may hold (%1 "
                                  "forwards, 1 MiB); it was not changed.")
                       .arg(MaxEntries);
        return false;
    }
    if (!ReplaceFileContents(path_, text, batches_ == 0)) {
        problem_ = QStringLiteral("The lease record %1 could not be written.").arg(path_);
        return false;
    }
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
    if (path_.isEmpty())
        return false;
    const FileLock lock(lockPathOf(path_), LOCK_EX);
    return saveUnlocked(entries);
}

bool LeaseRecord::update(const std::function<void(QList<LeaseEntry>&)>& change) const {
    if (path_.isEmpty())
        return false;
    const FileLock lock(lockPathOf(path_), LOCK_EX);
    if (lock.fd < 0) {
        problem_ =
            QStringLiteral("The lease record's lock %1 cannot be taken.").arg(lockPathOf(path_));
        return false;
    }
    Read r = readUnlocked();
    if (!r.ok) {
        problem_ = r.problem;
        return false;
    }
    const QList<LeaseEntry> before = r.entries;
    change(r.entries);
    return r.entries == before || saveUnlocked(r.entries);
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

namespace {

struct HeldLock {
    int fd = -1;
    int depth = 0;
};
QMutex changeLocksMutex;
QHash<QString, HeldLock> changeLocks; // per lock file: this process's hold

} // namespace

ForwardChangeLock::ForwardChangeLock(const QString& recordPath) {
    if (recordPath.isEmpty())
        return;
    path_ = recordPath + QStringLiteral(".change-lock");
    const QMutexLocker locker(&changeLocksMutex);
    HeldLock& held = changeLocks[path_];
    if (held.depth++ == 0)
        held.fd = lockFile(path_, LOCK_EX);
}

ForwardChangeLock::~ForwardChangeLock() {
    if (path_.isEmpty())
        return;
    const QMutexLocker locker(&changeLocksMutex);
    HeldLock& held = changeLocks[path_];
    if (--held.depth == 0) {
        if (held.fd >= 0)
            ::close(held.fd);
        changeLocks.remove(path_);
    }
}

RenewerRole::RenewerRole(const QString& recordPath, const QString& router) {
    QString key = router;
    for (QChar& c : key)
        if (!c.isLetterOrNumber() && c != QLatin1Char('.'))
            c = QLatin1Char('_');
    if (!recordPath.isEmpty())
        path_ = recordPath + QStringLiteral(".renewer-") + key;
}

RenewerRole::~RenewerRole() {
    if (fd_ >= 0)
        ::close(fd_);
}

bool RenewerRole::hold() {
    if (fd_ >= 0)
        return true;
    // Without a record there is nobody to share the forwards with.
    if (path_.isEmpty())
        return true;
    fd_ = lockFile(path_, LOCK_EX | LOCK_NB);
    return fd_ >= 0;
}

QString LeasePathFor(const QString& iniPath) {
    if (iniPath.isEmpty())
        return {};
    const QFileInfo ini(iniPath);
    return ini.dir().filePath(ini.completeBaseName() + QStringLiteral(".leases"));
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
