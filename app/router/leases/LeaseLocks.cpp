// SPDX-License-Identifier: GPL-3.0-or-later
#include "router/leases/LeaseLocks.h"

#include <QFile>
#include <QHash>
#include <QMutex>

#include <cerrno>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Enough for any honest race; a file removed in a loop on purpose makes the lock fail.
constexpr int kLockAttempts = 16;

int flockRetrying(int fd, int how) {
    int r;
    do
        r = ::flock(fd, how);
    while (r != 0 && errno == EINTR);
    return r;
}

void closeKeepingErrno(int fd) {
    const int saved = errno;
    ::close(fd);
    errno = saved;
}

} // namespace

bool LockIsAt(int fd, const QString& path) {
    struct stat held {};
    struct stat there {};
    return fd >= 0 && ::fstat(fd, &held) == 0 &&
           ::stat(QFile::encodeName(path).constData(), &there) == 0 &&
           held.st_dev == there.st_dev && held.st_ino == there.st_ino;
}

int LockFileAt(const QString& path, int how) {
    const QByteArray name = QFile::encodeName(path);
    for (int attempt = 0; attempt < kLockAttempts; ++attempt) {
        const int fd = ::open(name.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (fd < 0)
            return -1;
        if (flockRetrying(fd, how) != 0) {
            closeKeepingErrno(fd);
            return -1;
        }
        if (LockIsAt(fd, path))
            return fd;
        ::close(fd); // removed or replaced while we waited for it
    }
    errno = EAGAIN;
    return -1;
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
        held.fd = LockFileAt(path_, LOCK_EX);
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
    // Without a record there is nobody to share the forwards with.
    if (path_.isEmpty())
        return true;
    if (fd_ >= 0) {
        if (LockIsAt(fd_, path_))
            return true;
        // Another process may already hold the file now at the path: one renewer only.
        ::close(fd_);
        fd_ = -1;
    }
    fd_ = LockFileAt(path_, LOCK_EX | LOCK_NB);
    return fd_ >= 0;
}
