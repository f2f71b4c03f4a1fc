// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <memory>

struct IniDocument;

// The program's INI file, read and written the way Windows private-profile files behave.
//
// Reading
// - Section and key names match without regard to case; blanks (spaces, tabs, a stray CR)
//   around names and values are ignored.
// - A value loses one pair of matching surrounding quotes ("..." or '...') after trimming.
// - A value comes back cut to 254 characters (a 255-character buffer); the cut never splits a
//   surrogate pair (readWhole reads it without the cut). A missing file, section or key and an
//   empty value all read as empty text.
// - Lines whose first non-blank character is ';' or '#' are comments. Lines without '=' that
//   are not section headers are ignored, and so are keys before the first section.
// - A section header runs from '[' to the first ']'; text after the ']' is ignored. A header
//   without its ']' still opens a section, named by the rest of the line.
// - When a section name or a key repeats, the first one wins; a repeated section is ignored
//   as a whole (its keys are not merged into the first one).
// - Lines end in LF or CR LF. The file is read as UTF-8 (a leading byte-order mark is
//   skipped); a file that is not valid UTF-8 is read as Windows-1252. A file larger than
//   64 MiB reads as empty.
//
// Writing
// - A write changes exactly one line, or adds the key (after the section's last key) or the
//   section (at the end of the file); every other byte of the file stays as it was.
// - A replaced value keeps its line's text up to the '=' and the blanks after it.
// - New lines use the file's line end (that of its first line end); a new file gets CR LF,
//   UTF-8 and owner-only permissions (0600). An existing file keeps its permissions, owner and
//   encoding; in a Windows-1252 file a character that code page lacks is written as '?'.
//   Through a symbolic link the link's target is written.
// - A value that would read back without its quotes (it starts and ends with a matching
//   quote) is written inside one more pair of double quotes, so it reads back as written.
// - The new content goes to a temporary file in the same folder that is renamed over the
//   old one, so a crash leaves either the old or the new file.
// - A write fails (returns false and leaves the file untouched) when the folder or file cannot
//   be written, the existing file cannot be read, the file is marked read-only (no write
//   permission bit at all, even for root), or a name or value holds a line break; a section
//   name must not hold ']', and a key must not hold '=' or start with '[', ';' or '#'.
//
// Reads use a parsed snapshot that is taken again whenever the file on disk changes, so a
// read after a write (ours or anyone's) sees the new content; writes always re-read the file.
class IniFile {
public:
    static constexpr int BufferSize = 255;

    explicit IniFile(QString path);
    ~IniFile();
    IniFile(IniFile&&) noexcept;
    IniFile& operator=(IniFile&&) noexcept;
    IniFile(const IniFile&) = delete;
    IniFile& operator=(const IniFile&) = delete;

    const QString& path() const { return path_; }

    QString read(const QString& section, const QString& key) const;
    // As read, without the cut: for a value that outgrows the buffer (the selected
    // applications of a large catalogue). Bounded by the file-size limit alone.
    QString readWhole(const QString& section, const QString& key) const;
    bool write(const QString& section, const QString& key, const QString& value);

private:
    const IniDocument& current() const;

    QString path_;
    mutable std::unique_ptr<IniDocument> snapshot_;
};
