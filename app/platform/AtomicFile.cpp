// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/AtomicFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <optional>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// mkostemp puts six letters or digits in place of the X's. The fixed marker keeps the sweep
// off names a user gives a copy ("Harborly.leases.backup"); the names of older releases,
// TARGET.XXXXXX, cannot be told from such copies and are left alone.
constexpr char kTempMarker[] = ".harborly-tmp.";
constexpr char kTempRandomPattern[] = "XXXXXX";
constexpr int kTempRandom = 6;

bool isTempLetter(QChar c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9');
}

bool writeAll(int fd, const QByteArray& bytes) {
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

// Where the bytes of path live: a symbolic link's file, whose folder holds the temporaries.
QString realPathOf(const QString& path) {
    const QFileInfo info(path);
    return info.isSymLink() && !info.canonicalFilePath().isEmpty() ? info.canonicalFilePath()
                                                                   : path;
}

int removeStale(const QString& path, const std::optional<QDateTime>& olderThan) {
    const QFileInfo info(realPathOf(path));
    const QString prefix = info.fileName() + QLatin1String(kTempMarker);
    const QDir folder = info.absoluteDir();
    int removed = 0;
    for (const QString& name : folder.entryList({prefix + QStringLiteral("*")},
                                                QDir::Files | QDir::Hidden | QDir::System)) {
        if (name.size() != prefix.size() + kTempRandom || !name.startsWith(prefix) ||
            !std::all_of(name.cbegin() + prefix.size(), name.cend(), isTempLetter))
            continue;
        const QByteArray temp = QFile::encodeName(folder.filePath(name));
        struct stat st {};
        if (::lstat(temp.constData(), &st) != 0 || !S_ISREG(st.st_mode) ||
            st.st_uid != ::geteuid() ||
            (olderThan && QDateTime::fromSecsSinceEpoch(st.st_mtim.tv_sec) >= *olderThan))
            continue;
        const int fd = ::open(temp.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0)
            continue;
        // Held by a write under way (a command-line run beside the window, say): left alone.
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0 && ::unlink(temp.constData()) == 0)
            ++removed;
        ::close(fd);
    }
    return removed;
}

} // namespace

// Done by hand: QSaveFile of Qt 6.4 reports success for a write that the file system cut short.
bool ReplaceFileContents(const QString& path, const QByteArray& bytes, bool syncFolder) {
    const QString real = realPathOf(path);
    const QByteArray target = QFile::encodeName(real);
    struct stat old {};
    const bool existed = ::stat(target.constData(), &old) == 0;
    const mode_t mode = existed ? (old.st_mode & 07777) : 0600;

    QByteArray temp = target + kTempMarker + kTempRandomPattern;
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0)
        return false;
    ::flock(fd, LOCK_EX); // tells the start-up clean-up that this one is in use
    if (existed)
        (void)!::fchown(fd, old.st_uid, old.st_gid); // only root can give it away; fine if not
    bool ok = ::fchmod(fd, mode) == 0 && writeAll(fd, bytes) && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    ok = ok && ::rename(temp.constData(), target.constData()) == 0;
    if (!ok) {
        const int why = errno;
        ::unlink(temp.constData());
        errno = why;
        return false;
    }
    if (syncFolder)
        SyncFolderOf(real); // makes the rename itself durable; the data is safe either way
    return true;
}

bool SyncFolderOf(const QString& path) {
    const QByteArray folder = QFile::encodeName(QFileInfo(realPathOf(path)).absolutePath());
    const int dir = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0)
        return false;
    const bool ok = ::fsync(dir) == 0;
    ::close(dir);
    return ok;
}

int RemoveStaleReplacements(const QString& path, const QDateTime& olderThan) {
    return removeStale(path, olderThan);
}

int RemoveStaleReplacements(const QString& path) {
    return removeStale(path, std::nullopt);
}
