// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// An exclusive or shared flock (`how`, as flock takes it) on the file at `path`, made
// owner-only when missing. A lock belongs to a file, not to its name: once the file is removed
// or replaced, the next taker makes and locks a new one there. So the lock is taken again until
// the locked file is the one at the path. The descriptor, or -1 with errno.
int LockFileAt(const QString& path, int how);
// Whether the file locked through `fd` is still the one at `path`.
bool LockIsAt(int fd, const QString& path);

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

    // True when this process holds the role, taking it when it is free. Called by the holder
    // on every round: when its lock file was removed or replaced it takes the role again on the
    // file now there, or gives it up to the process that holds that one.
    bool hold();
    bool held() const { return fd_ >= 0; }

private:
    QString path_;
    int fd_ = -1;
};
