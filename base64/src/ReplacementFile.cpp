// SPDX-License-Identifier: MIT
// DecodeToFile's writing: a synced temporary file renamed over the target, or the target
// written in place where a rename could not keep it what it is.
#include "ReplacementFile.h"

#include <cerrno>
#include <filesystem>
#include <random>

#include <fcntl.h>
#include <sys/stat.h>

namespace base64_detail {

namespace {

// The file a chain of symbolic links ends at, so that the link survives the replacement.
std::string followLinks(const std::string& path) {
    std::filesystem::path p(path);
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (::lstat(p.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            break;
        std::error_code ec;
        const std::filesystem::path next = std::filesystem::read_symlink(p, ec);
        if (ec)
            break;
        p = next.is_absolute() ? next : p.parent_path() / next;
    }
    return p.string();
}

// A name beside the target: the target's own name and a random suffix, the name cut short (at
// a character boundary) where the folder's limit on names would refuse the whole.
std::string tempName(const std::string& target) {
    static constexpr char kHex[] = "0123456789abcdef";
    static constexpr std::size_t kSuffix = 18;
    const std::size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : target.substr(0, slash + 1);
    std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    const long limit = ::pathconf(folder.empty() ? "." : folder.c_str(), _PC_NAME_MAX);
    const std::size_t maxName = limit > 0 ? static_cast<std::size_t>(limit) : 255;
    if (name.size() + kSuffix > maxName) {
        std::size_t cut = maxName > kSuffix ? maxName - kSuffix : 0;
        while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80)
            --cut;
        name.resize(cut);
    }
    std::random_device random;
    name += ".~";
    for (int i = 0; i < 4; ++i) {
        const unsigned v = random();
        for (int k = 0; k < 4; ++k)
            name.push_back(kHex[(v >> (4 * k)) & 0xF]);
    }
    return folder + name;
}

} // namespace

ReplacementFile::ReplacementFile(const std::string& path)
    : path_(path), target_(followLinks(path)) {
    struct stat old {};
    const bool existed = ::stat(target_.c_str(), &old) == 0;
    // A link loop, a folder that may not be searched, a file taken for a folder: whatever is
    // there cannot be opened, so nothing may change.
    if (!existed && errno != ENOENT)
        return;
    if (existed && S_ISDIR(old.st_mode))
        return;
    if (existed && !S_ISREG(old.st_mode)) {
        fd_.reset(::open(target_.c_str(), O_WRONLY | O_CLOEXEC));
        return;
    }
    ordinary_ = true;
    // A rename would replace a read-only file too; opening it for writing would not.
    if (existed && ((old.st_mode & 0222) == 0 || ::access(target_.c_str(), W_OK) != 0))
        return;
    // A file with other names keeps them only when written where it is.
    if (existed && old.st_nlink > 1) {
        fd_.reset(::open(target_.c_str(), O_WRONLY | O_CLOEXEC));
        return;
    }

    for (int attempt = 0; attempt < 16 && !fd_.valid(); ++attempt) {
        temp_ = tempName(target_);
        fd_.reset(::open(temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
        if (!fd_.valid() && errno != EEXIST)
            break;
    }
    // A file that a new one could not stand in for, owner and group alike, is not ours to
    // replace (another user's file in /tmp may not even be renamed over): write it in place.
    if (fd_.valid() && existed && !keepsOwner(old)) {
        fd_.close();
        ::unlink(temp_.c_str());
    }
    if (!fd_.valid()) {
        // No temporary file beside it: the file itself may still be written, or made.
        temp_.clear();
        fd_.reset(::open(target_.c_str(), O_WRONLY | O_CLOEXEC | (existed ? 0 : O_CREAT), 0666));
        return;
    }
    if (existed)
        ::fchmod(fd_.get(), old.st_mode & 07777);
}

bool ReplacementFile::keepsOwner(const struct stat& old) {
    struct stat mine {};
    if (::fstat(fd_.get(), &mine) != 0)
        return false;
    if (mine.st_uid == old.st_uid && mine.st_gid == old.st_gid)
        return true;
    return ::fchown(fd_.get(), old.st_uid, old.st_gid) == 0;
}

ReplacementFile::~ReplacementFile() {
    if (!temp_.empty()) {
        fd_.close();
        ::unlink(temp_.c_str());
    }
}

void ReplacementFile::write(const std::uint8_t* bytes, std::size_t n) {
    std::size_t done = 0;
    while (done < n) {
        const ssize_t w = ::write(fd_.get(), bytes + done, n - done);
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0)
            throwErrno(w < 0 ? errno : EIO, "cannot write", path_);
        done += static_cast<std::size_t>(w);
    }
    written_ += n;
}

void ReplacementFile::commit() {
    if (ordinary_ && temp_.empty() && ::ftruncate(fd_.get(), off_t(written_)) != 0)
        throwErrno(errno, "cannot write", path_);
    if (ordinary_ && ::fsync(fd_.get()) != 0)
        throwErrno(errno, "cannot write", path_);
    if (!fd_.close())
        throwErrno(errno, "cannot write", path_);
    if (temp_.empty())
        return;
    if (::rename(temp_.c_str(), target_.c_str()) != 0)
        throwErrno(errno, "cannot replace", path_);
    temp_.clear();
    const std::string folder = std::filesystem::path(target_).parent_path().string();
    Descriptor dir(
        ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.valid())
        ::fsync(dir.get()); // makes the rename itself durable; the content is safe either way
}

} // namespace base64_detail
