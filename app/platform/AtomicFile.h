// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

// Replaces the file's content so that a crash leaves either the old or the new content: the
// bytes go to a temporary file in the same folder, are synced, and the temporary file is
// renamed over the old one. The file keeps its permissions and owner (a new one is owner-only)
// and a symbolic link keeps pointing at the file it names. False, with the old file untouched
// and errno saying why, when anything fails.
// With syncFolder false the new content is synced but the rename is not yet: a crash still
// leaves old or new content whole, and SyncFolderOf makes the last rename durable, so a run of
// replacements waits for the folder once.
bool ReplaceFileContents(const QString& path, const QByteArray& bytes, bool syncFolder = true);
bool SyncFolderOf(const QString& path);

// A write killed half-way leaves its temporary file, named after the file with
// ".harborly-tmp." and six letters or digits. Removes the ones of path that were last changed
// before olderThan, are plain files of ours and that no write holds (each write locks its temporary
// file while it runs). Returns how many were removed.
int RemoveStaleReplacements(const QString& path, const QDateTime& olderThan);
// The same at any age, for a caller that holds the lock every write of path is made under.
int RemoveStaleReplacements(const QString& path);
