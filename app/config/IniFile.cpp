// SPDX-License-Identifier: GPL-3.0-or-later
#include "IniFile.h"

#include "platform/AtomicFile.h"
#include "platform/Windows1252.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QList>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr qint64 kMaxFileSize = 64 * 1024 * 1024;
constexpr qsizetype kMaxValueLength = IniFile::BufferSize - 1;

enum class Encoding { Utf8, Windows1252 };

// Strict UTF-8: no overlong forms, no surrogates, nothing above U+10FFFF.
bool isValidUtf8(const QByteArray& bytes) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.constData());
    const qsizetype n = bytes.size();
    for (qsizetype i = 0; i < n;) {
        const unsigned char c = p[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        int more;
        unsigned char low = 0x80, high = 0xBF; // bounds of the second byte
        if (c >= 0xC2 && c <= 0xDF) {
            more = 1;
        } else if (c >= 0xE0 && c <= 0xEF) {
            more = 2;
            if (c == 0xE0)
                low = 0xA0;
            if (c == 0xED)
                high = 0x9F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            more = 3;
            if (c == 0xF0)
                low = 0x90;
            if (c == 0xF4)
                high = 0x8F;
        } else {
            return false;
        }
        if (i + more >= n)
            return false;
        if (p[i + 1] < low || p[i + 1] > high)
            return false;
        for (int k = 2; k <= more; ++k)
            if (p[i + k] < 0x80 || p[i + k] > 0xBF)
                return false;
        i += more + 1;
    }
    return true;
}

QString decode(QByteArrayView bytes, Encoding encoding) {
    return encoding == Encoding::Utf8 ? QString::fromUtf8(bytes) : FromWindows1252(bytes);
}

QByteArray encode(const QString& text, Encoding encoding) {
    return encoding == Encoding::Utf8 ? text.toUtf8() : ToWindows1252(text);
}

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

// [begin, end) of bytes without surrounding blanks.
std::pair<qsizetype, qsizetype> trimmedRange(const QByteArray& s, qsizetype begin, qsizetype end) {
    while (begin < end && isBlank(s[begin]))
        ++begin;
    while (end > begin && isBlank(s[end - 1]))
        --end;
    return {begin, end};
}

QString foldName(const QString& name) {
    return name.trimmed().toCaseFolded();
}

struct FileStamp {
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};
    timespec changed{};

    static FileStamp of(const QString& path) {
        FileStamp stamp;
        struct stat st {};
        if (::stat(QFile::encodeName(path).constData(), &st) != 0)
            return stamp;
        stamp.exists = true;
        stamp.device = st.st_dev;
        stamp.inode = st.st_ino;
        stamp.size = st.st_size;
        stamp.modified = st.st_mtim;
        stamp.changed = st.st_ctim;
        return stamp;
    }

    bool operator==(const FileStamp& o) const {
        return exists == o.exists && device == o.device && inode == o.inode && size == o.size &&
               modified.tv_sec == o.modified.tv_sec && modified.tv_nsec == o.modified.tv_nsec &&
               changed.tv_sec == o.changed.tv_sec && changed.tv_nsec == o.changed.tv_nsec;
    }
};

} // namespace

struct IniDocument {
    struct Line {
        QByteArray text; // without its line end
        QByteArray end;  // "\r\n", "\n", or empty for a last line without one
    };
    struct KeyLine {
        qsizetype line;
        qsizetype valueBegin; // the replaceable part: after '=' and the blanks that follow
        qsizetype valueEnd;   // end of the value without trailing blanks
    };
    struct Section {
        qsizetype lastLine; // the header, or the section's last key line
        QHash<QString, KeyLine> keys;
    };

    FileStamp stamp;
    QList<Line> lines;
    Encoding encoding = Encoding::Utf8;
    QHash<QString, Section> sections;

    QByteArray newline() const {
        for (const Line& line : lines)
            if (!line.end.isEmpty())
                return line.end;
        return QByteArrayLiteral("\r\n");
    }

    void parse(const QByteArray& bytes) {
        encoding = isValidUtf8(bytes) ? Encoding::Utf8 : Encoding::Windows1252;
        qsizetype pos = 0;
        while (pos < bytes.size()) {
            const qsizetype nl = bytes.indexOf('\n', pos);
            if (nl < 0) {
                lines.append({bytes.mid(pos), {}});
                break;
            }
            const qsizetype textEnd = (nl > pos && bytes[nl - 1] == '\r') ? nl - 1 : nl;
            lines.append({bytes.mid(pos, textEnd - pos), bytes.mid(textEnd, nl + 1 - textEnd)});
            pos = nl + 1;
        }

        Section* current = nullptr;
        for (qsizetype i = 0; i < lines.size(); ++i) {
            const QByteArray& s = lines[i].text;
            qsizetype start = 0;
            if (i == 0 && s.startsWith("\xEF\xBB\xBF"))
                start = 3;
            const auto [b, e] = trimmedRange(s, start, s.size());
            if (b == e || s[b] == ';' || s[b] == '#')
                continue;
            if (s[b] == '[') {
                qsizetype close = s.indexOf(']', b + 1);
                if (close < 0)
                    close = e;
                const auto [nb, ne] = trimmedRange(s, b + 1, close);
                const QString name =
                    foldName(decode(QByteArrayView(s).sliced(nb, ne - nb), encoding));
                if (sections.contains(name)) {
                    current = nullptr;
                } else {
                    current = &sections.insert(name, Section{i, {}}).value();
                }
                continue;
            }
            const qsizetype eq = s.indexOf('=', b);
            if (eq < 0 || eq >= e || current == nullptr)
                continue;
            const auto [kb, ke] = trimmedRange(s, b, eq);
            const QString key = foldName(decode(QByteArrayView(s).sliced(kb, ke - kb), encoding));
            qsizetype vb = eq + 1;
            while (vb < e && isBlank(s[vb]))
                ++vb;
            if (!current->keys.contains(key))
                current->keys.insert(key, KeyLine{i, vb, std::max(vb, e)});
            current->lastLine = i;
        }
    }

    const KeyLine* find(const QString& section, const QString& key) const {
        const auto s = sections.constFind(foldName(section));
        if (s == sections.constEnd())
            return nullptr;
        const auto k = s->keys.constFind(foldName(key));
        return k == s->keys.constEnd() ? nullptr : &k.value();
    }

    QString value(const KeyLine& k, bool cut) const {
        const QByteArray& s = lines[k.line].text;
        QString v =
            decode(QByteArrayView(s).sliced(k.valueBegin, k.valueEnd - k.valueBegin), encoding);
        if (v.size() >= 2 && (v.front() == u'"' || v.front() == u'\'') && v.back() == v.front())
            v = v.mid(1, v.size() - 2);
        if (cut && v.size() > kMaxValueLength) {
            qsizetype at = kMaxValueLength;
            if (v[at - 1].isHighSurrogate() && v[at].isLowSurrogate())
                --at;
            v.truncate(at);
        }
        return v;
    }

    QByteArray serialize() const {
        QByteArray out;
        qsizetype size = 0;
        for (const Line& line : lines)
            size += line.text.size() + line.end.size();
        out.reserve(size);
        for (const Line& line : lines) {
            out += line.text;
            out += line.end;
        }
        return out;
    }
};

namespace {

enum class LoadResult { Loaded, Missing, Failed };

LoadResult load(const QString& path, IniDocument& doc) {
    doc.stamp = FileStamp::of(path);
    if (!doc.stamp.exists)
        return LoadResult::Missing;
    QFile file(path);
    if (doc.stamp.size > kMaxFileSize || !file.open(QIODevice::ReadOnly))
        return LoadResult::Failed;
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError || bytes.size() > kMaxFileSize)
        return LoadResult::Failed;
    doc.parse(bytes);
    return LoadResult::Loaded;
}

bool hasLineBreak(const QString& s) {
    return s.contains(u'\r') || s.contains(u'\n');
}

bool validNames(const QString& section, const QString& key) {
    const QString k = key.trimmed();
    return !section.trimmed().isEmpty() && !k.isEmpty() && !hasLineBreak(section) &&
           !hasLineBreak(key) && !section.contains(u']') && !k.contains(u'=') &&
           !k.startsWith(u'[') && !k.startsWith(u';') && !k.startsWith(u'#');
}

// Whether the file we are about to replace may be replaced: writable for us, and not marked
// read-only. The rename would succeed on a read-only file, so it is checked here.
bool mayReplace(const QString& path) {
    const QByteArray native = QFile::encodeName(path);
    struct stat st {};
    if (::stat(native.constData(), &st) != 0)
        return false;
    return S_ISREG(st.st_mode) && (st.st_mode & 0222) != 0 &&
           ::access(native.constData(), W_OK) == 0;
}

QString storedForm(const QString& value) {
    const QString t = value.trimmed();
    if (t.size() >= 2 && (t.front() == u'"' || t.front() == u'\'') && t.back() == t.front())
        return u'"' + t + u'"';
    return value;
}

} // namespace

IniFile::IniFile(QString path) : path_(std::move(path)) {}
IniFile::~IniFile() = default;
IniFile::IniFile(IniFile&&) noexcept = default;
IniFile& IniFile::operator=(IniFile&&) noexcept = default;

const IniDocument& IniFile::current() const {
    if (!snapshot_ || !(snapshot_->stamp == FileStamp::of(path_))) {
        // A file that cannot be read reads as empty, like a missing one.
        snapshot_ = std::make_unique<IniDocument>();
        load(path_, *snapshot_);
    }
    return *snapshot_;
}

QString IniFile::read(const QString& section, const QString& key) const {
    const IniDocument& doc = current();
    const IniDocument::KeyLine* k = doc.find(section, key);
    return k ? doc.value(*k, true) : QString();
}

QString IniFile::readWhole(const QString& section, const QString& key) const {
    const IniDocument& doc = current();
    const IniDocument::KeyLine* k = doc.find(section, key);
    return k ? doc.value(*k, false) : QString();
}

bool IniFile::write(const QString& section, const QString& key, const QString& value) {
    if (!validNames(section, key) || hasLineBreak(value))
        return false;
    snapshot_.reset();

    IniDocument doc;
    const LoadResult loaded = load(path_, doc);
    if (loaded == LoadResult::Failed || (loaded == LoadResult::Loaded && !mayReplace(path_)))
        return false;
    const QByteArray before = loaded == LoadResult::Loaded ? doc.serialize() : QByteArray();

    const QByteArray stored = encode(storedForm(value), doc.encoding);
    const QByteArray newline = doc.newline();
    auto endLine = [&](qsizetype i) {
        if (doc.lines[i].end.isEmpty())
            doc.lines[i].end = newline;
    };
    const QByteArray keyLine = encode(key.trimmed(), doc.encoding) + '=' + stored;

    if (const IniDocument::KeyLine* k = doc.find(section, key)) {
        QByteArray& text = doc.lines[k->line].text;
        text = text.left(k->valueBegin) + stored;
    } else if (const auto s = doc.sections.constFind(foldName(section));
               s != doc.sections.constEnd()) {
        endLine(s->lastLine);
        doc.lines.insert(s->lastLine + 1, {keyLine, newline});
    } else {
        if (!doc.lines.isEmpty()) {
            endLine(doc.lines.size() - 1);
            const QByteArray& last = doc.lines.back().text;
            if (trimmedRange(last, 0, last.size()).first != last.size())
                doc.lines.append({{}, newline});
        }
        doc.lines.append({'[' + encode(section.trimmed(), doc.encoding) + ']', newline});
        doc.lines.append({keyLine, newline});
    }

    const QByteArray after = doc.serialize();
    // The value it already has (the same choice again): no replace, no sync to wait for.
    if (loaded == LoadResult::Loaded && after == before)
        return true;
    return ReplaceFileContents(path_, after);
}
