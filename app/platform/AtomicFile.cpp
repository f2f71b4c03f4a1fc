#include "platform/AtomicFile.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

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

} // namespace

// Done by hand: QSaveFile of Qt 6.4 reports success for a write that the file system cut short.
bool ReplaceFileContents(const QString& path, const QByteArray& bytes) {
    const QFileInfo info(path);
    const QString real =
        info.isSymLink() && !info.canonicalFilePath().isEmpty() ? info.canonicalFilePath() : path;
    const QByteArray target = QFile::encodeName(real);
    struct stat old {};
    const bool existed = ::stat(target.constData(), &old) == 0;
    const mode_t mode = existed ? (old.st_mode & 07777) : 0600;

    QByteArray temp = target + ".XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0)
        return false;
    if (existed)
        (void)!::fchown(fd, old.st_uid, old.st_gid); // only root can give it away; fine if not
    bool ok = ::fchmod(fd, mode) == 0 && writeAll(fd, bytes) && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    ok = ok && ::rename(temp.constData(), target.constData()) == 0;
    if (!ok) {
        ::unlink(temp.constData());
        return false;
    }
    const QByteArray folder = QFile::encodeName(QFileInfo(real).absolutePath());
    const int dir = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir); // makes the rename itself durable; the data is safe either way
        ::close(dir);
    }
    return true;
}
