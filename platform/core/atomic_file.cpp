#include "platform/core/atomic_file.h"

#include "platform/core/error.h"
#include "platform/core/temp_dir.h"

#include <QFile>
#include <QRandomGenerator>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

namespace {

constexpr int kNameAttempts = 64;

QByteArray random_suffix() {
    static const char digits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    QByteArray suffix(12, '0');
    for (char& c : suffix)
        c = digits[QRandomGenerator::global()->bounded(36)];
    return suffix;
}

bool same_folder(const struct stat& a, const QByteArray& other) {
    struct stat b {};
    return ::stat(other.constData(), &b) == 0 && a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Opens an unnamed file in `folder`, -1 when the file system does not offer them.
int open_unnamed(const QByteArray& folder, mode_t mode) {
#ifdef O_TMPFILE
    // The file is given its name through /proc/self/fd later: without /proc, a named one.
    static const bool can_name = ::access("/proc/self/fd", X_OK) == 0;
    if (!can_name)
        return -1;
    const int fd = ::open(folder.constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
    if (fd >= 0)
        return fd;
#else
    (void)folder;
    (void)mode;
#endif
    return -1;
}

QByteArray descriptor_path(int fd) {
    return QByteArrayLiteral("/proc/self/fd/") + QByteArray::number(fd);
}

} // namespace

AtomicFile::AtomicFile(QString path, Flush flush) : path_(std::move(path)) {
    target_ = QFile::encodeName(path_);
    if (target_.isEmpty())
        fail_create(ENOENT);
    const qsizetype slash = target_.lastIndexOf('/');
    if (slash < 0) {
        folder_ = QByteArrayLiteral(".");
    } else {
        folder_ = slash == 0 ? QByteArrayLiteral("/") : target_.left(slash);
        prefix_ = target_.left(slash + 1);
    }

    struct stat folder {};
    if (::stat(folder_.constData(), &folder) != 0)
        fail_create(errno);
    if (!S_ISDIR(folder.st_mode))
        fail_create(ENOTDIR);
    const bool shared_folder = (folder.st_mode & S_ISVTX) && (folder.st_mode & S_IWOTH);
    switch (flush) {
    case Flush::Always:
        flush_ = true;
        break;
    case Flush::Never:
        flush_ = false;
        break;
    case Flush::Auto:
        flush_ = !same_folder(folder, QFile::encodeName(temp_dir()));
        break;
    }

    // Refuse now what the final step would refuse, before all the encoding work.
    mode_t kept_mode = 0;
    bool keep_mode = false;
    uid_t kept_owner = 0;
    gid_t kept_group = 0;
    struct stat existing {};
    if (::lstat(target_.constData(), &existing) == 0) {
        if (S_ISDIR(existing.st_mode))
            fail_create(EISDIR);
        // A pipe, a device or a socket is not a file to replace with a picture.
        if (!S_ISREG(existing.st_mode) && !S_ISLNK(existing.st_mode))
            throw KapError(msg_cannot_create(path_, QStringLiteral("Ce n'est pas un fichier")));
        // A file the user made read-only stays as it is, as it would if it were opened for
        // writing. (A symbolic link is replaced, so what it points to does not matter.)
        if (S_ISREG(existing.st_mode) && ::access(target_.constData(), W_OK) != 0)
            fail_create(errno);
        const uid_t me = ::geteuid();
        if ((folder.st_mode & S_ISVTX) && me != 0 && existing.st_uid != me && folder.st_uid != me)
            fail_create(EPERM);
        if (S_ISREG(existing.st_mode)) {
            keep_mode = true;
            kept_mode = existing.st_mode & 0777;
            kept_owner = existing.st_uid;
            kept_group = existing.st_gid;
        }
    } else if (target_.endsWith('/')) {
        fail_create(EISDIR);
    }

    // In a folder every user may write to (/tmp), a new file is for our eyes only.
    const mode_t mode = shared_folder ? 0600 : 0666;
    fd_ = open_unnamed(folder_, mode);
    unnamed_ = fd_ >= 0;
    for (int attempt = 0; fd_ < 0 && attempt < kNameAttempts; ++attempt) {
        const QByteArray name = prefix_ + ".kaptorama-" + random_suffix() + ".tmp";
        const int fd =
            ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (fd >= 0) {
            fd_ = fd;
            temp_path_ = name;
        } else if (errno != EEXIST && errno != EINTR) {
            fail_create(errno);
        }
    }
    if (fd_ < 0)
        fail_create(EEXIST);
    if (keep_mode) {
        // The file keeps its owner and group where this process may give them (root, or a
        // group the user belongs to); otherwise the new file is the user's, as any file they
        // write. The permission bits go last: changing the owner may clear set-id bits.
        if (::fchown(fd_, kept_owner, kept_group) != 0)
            (void)::fchown(fd_, static_cast<uid_t>(-1), kept_group);
        if (::fchmod(fd_, kept_mode) != 0)
            fail_create(errno);
    }
    buffer_.reserve(kBufferSize);
}

void AtomicFile::fail_closed() {
    fail_write(EBADF);
}

void AtomicFile::write_pieces(const std::vector<Piece>& pieces) {
    if (fd_ < 0)
        fail_write(EBADF);
    flush_buffer();
    std::vector<iovec> left;
    left.reserve(pieces.size());
    for (const Piece& p : pieces)
        if (p.size > 0)
            left.push_back({const_cast<void*>(p.data), p.size});
    std::size_t first = 0;
    const std::size_t max_count = std::size_t(IOV_MAX);
    while (first < left.size()) {
        const int count = int(std::min(max_count, left.size() - first));
        ssize_t written = ::writev(fd_, left.data() + first, count);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            fail_write(errno);
        }
        if (written == 0)
            fail_write(ENOSPC);
        // Skip what went out; a piece written in part continues where it stopped.
        while (written > 0) {
            iovec& v = left[first];
            if (std::size_t(written) >= v.iov_len) {
                written -= ssize_t(v.iov_len);
                ++first;
            } else {
                v.iov_base = static_cast<char*>(v.iov_base) + written;
                v.iov_len -= std::size_t(written);
                written = 0;
            }
        }
    }
}

void AtomicFile::finish_writing() {
    if (fd_ < 0)
        fail_write(EBADF);
    flush_buffer();
    if (flush_ && ::fsync(fd_) != 0)
        fail_write(errno);
}

void AtomicFile::name_unnamed_file() {
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        const QByteArray name = prefix_ + ".kaptorama-" + random_suffix() + ".tmp";
        if (::linkat(AT_FDCWD, descriptor_path(fd_).constData(), AT_FDCWD, name.constData(),
                     AT_SYMLINK_FOLLOW) == 0) {
            temp_path_ = name;
            unnamed_ = false;
            return;
        }
        if (errno != EEXIST)
            fail_write(errno);
    }
    fail_write(EEXIST);
}

void AtomicFile::commit() {
    finish_writing();
    if (!flush_ && replace_aside()) {
        committed_ = true;
        return;
    }
    // The new file gets a name only for the instant of the rename, which replaces the target
    // in one step (link() cannot replace).
    if (unnamed_)
        name_unnamed_file();
    if (::rename(temp_path_.constData(), target_.constData()) != 0)
        fail_write(errno);
    temp_path_.clear();
    settle_committed();
}

void AtomicFile::settle_committed() {
    const int fd = fd_;
    fd_ = -1;
    committed_ = true;
    // On Linux the descriptor is released even when close() reports an error; the bytes were
    // written (and, for kept files, flushed) before.
    ::close(fd);
    if (flush_)
        sync_folder();
}

bool AtomicFile::replace_aside() {
    // Some file systems (ext4) start writing a file out to the disk at once when a rename
    // replaces another file with it, so that a crash cannot leave an empty file; that costs more
    // than the write itself. A working file needs no such care: the old file is moved aside to
    // a free name, the new one takes the target's name, and the old one is removed. Should the
    // new name fail, the old file goes back.
    const QByteArray aside = prefix_ + ".kaptorama-" + random_suffix() + ".tmp";
    bool moved = false;
    struct stat existing {};
    if (::lstat(target_.constData(), &existing) == 0) {
        if (::renameat2(AT_FDCWD, target_.constData(), AT_FDCWD, aside.constData(),
                        RENAME_NOREPLACE) != 0)
            return false; // not offered here: the plain rename does it
        moved = true;
    }
    int result = 0;
    if (unnamed_)
        result = ::linkat(AT_FDCWD, descriptor_path(fd_).constData(), AT_FDCWD, target_.constData(),
                          AT_SYMLINK_FOLLOW);
    else
        result = ::renameat2(AT_FDCWD, temp_path_.constData(), AT_FDCWD, target_.constData(),
                             RENAME_NOREPLACE);
    if (result != 0) {
        const int error = errno;
        if (moved)
            ::renameat2(AT_FDCWD, aside.constData(), AT_FDCWD, target_.constData(),
                        RENAME_NOREPLACE);
        fail_write(error);
    }
    if (moved)
        ::unlink(aside.constData());
    temp_path_.clear();
    ::close(fd_);
    fd_ = -1;
    return true;
}

bool AtomicFile::commit_if_free() {
    finish_writing();
    int result = 0;
    if (unnamed_) {
        // link() never replaces: it fails with EEXIST when anything stands at the name.
        result = ::linkat(AT_FDCWD, descriptor_path(fd_).constData(), AT_FDCWD, target_.constData(),
                          AT_SYMLINK_FOLLOW);
    } else {
        result = ::renameat2(AT_FDCWD, temp_path_.constData(), AT_FDCWD, target_.constData(),
                             RENAME_NOREPLACE);
        if (result != 0 && errno == EINVAL) {
            // A file system without RENAME_NOREPLACE: link the name, then drop the temporary.
            result = ::link(temp_path_.constData(), target_.constData());
            if (result == 0)
                ::unlink(temp_path_.constData());
        }
        if (result == 0)
            temp_path_.clear();
    }
    if (result != 0) {
        if (errno == EEXIST) {
            discard();
            return false;
        }
        fail_write(errno);
    }
    settle_committed();
    return true;
}

void AtomicFile::sync_folder() noexcept {
    // The new directory entry reaches the disk too; a failure here changes nothing for the user.
    const int fd = ::open(folder_.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

void AtomicFile::flush_buffer() {
    if (buffer_.empty())
        return;
    write_through(buffer_.data(), buffer_.size());
    buffer_.clear();
}

void AtomicFile::write_through(const unsigned char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(fd_, data, size);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            fail_write(errno);
        }
        if (written == 0)
            fail_write(ENOSPC);
        data += written;
        size -= std::size_t(written);
    }
}

void AtomicFile::fail_create(int error) {
    const QString reason = system_error_text(error);
    discard();
    throw KapError(msg_cannot_create(path_, reason));
}

void AtomicFile::fail_write(int error) {
    // A full disk is a file that could not be created, as far as the user is concerned.
    fail_create(error);
}

void AtomicFile::discard() noexcept {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!temp_path_.isEmpty()) {
        ::unlink(temp_path_.constData());
        temp_path_.clear();
    }
    unnamed_ = false;
    buffer_.clear();
}
