#include "platform/atomic_file.h"

#include "platform/error.h"

#include <QFile>
#include <QRandomGenerator>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr std::size_t kBufferSize = 64 * 1024;
constexpr int kNameAttempts = 64;

// Where the new file goes: the target's own folder, so that rename() stays on one file system.
struct TargetParts {
    QByteArray folder; // for stat(): "." when the path has no folder part
    QByteArray prefix; // prepended to the new file's bare name: the folder and its '/'
};

TargetParts split_target(const QByteArray& target) {
    const qsizetype slash = target.lastIndexOf('/');
    if (slash < 0)
        return {QByteArrayLiteral("."), QByteArray()};
    return {slash == 0 ? QByteArrayLiteral("/") : target.left(slash), target.left(slash + 1)};
}

QByteArray random_suffix() {
    static const char digits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    QByteArray suffix(12, '0');
    for (char& c : suffix)
        c = digits[QRandomGenerator::global()->bounded(36)];
    return suffix;
}

} // namespace

AtomicFile::AtomicFile(QString path) : path_(std::move(path)) {
    const QByteArray target = QFile::encodeName(path_);
    if (target.isEmpty())
        fail_create(ENOENT);
    const TargetParts parts = split_target(target);

    struct stat folder {};
    if (::stat(parts.folder.constData(), &folder) != 0)
        fail_create(errno);
    if (!S_ISDIR(folder.st_mode))
        fail_create(ENOTDIR);
    const bool shared_folder = (folder.st_mode & S_ISVTX) && (folder.st_mode & S_IWOTH);

    // Refuse now what rename() would refuse at the end, after all the encoding work.
    struct stat existing {};
    if (::lstat(target.constData(), &existing) == 0) {
        if (S_ISDIR(existing.st_mode))
            fail_create(EISDIR);
        // A file the user made read-only stays as it is, as it would if it were opened for
        // writing. (A symbolic link is replaced, so what it points to does not matter.)
        if (S_ISREG(existing.st_mode) && ::access(target.constData(), W_OK) != 0)
            fail_create(errno);
        const uid_t me = ::geteuid();
        if ((folder.st_mode & S_ISVTX) && me != 0 && existing.st_uid != me && folder.st_uid != me)
            fail_create(EPERM);
    } else if (target.endsWith('/')) {
        fail_create(EISDIR);
    }

    // In a folder every user may write to (/tmp), the file is for our eyes only.
    const mode_t mode = shared_folder ? 0600 : 0666;
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        const QByteArray name = parts.prefix + ".kaptorama-" + random_suffix() + ".tmp";
        const int fd =
            ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (fd >= 0) {
            fd_ = fd;
            temp_path_ = name;
            buffer_.reserve(kBufferSize);
            return;
        }
        if (errno != EEXIST && errno != EINTR)
            fail_create(errno);
    }
    fail_create(EEXIST);
}

AtomicFile::~AtomicFile() {
    if (!committed_)
        discard();
}

void AtomicFile::write(const void* data, std::size_t size) {
    if (fd_ < 0)
        fail_write(EBADF);
    const auto* bytes = static_cast<const unsigned char*>(data);
    if (size <= kBufferSize - buffer_.size()) {
        buffer_.insert(buffer_.end(), bytes, bytes + size);
        return;
    }
    flush_buffer();
    if (size >= kBufferSize)
        write_through(bytes, size);
    else
        buffer_.insert(buffer_.end(), bytes, bytes + size);
}

void AtomicFile::commit() {
    if (fd_ < 0)
        fail_write(EBADF);
    flush_buffer();
    const int fd = fd_;
    fd_ = -1;
    // On Linux the descriptor is released even when close() reports EINTR; any other error
    // means the bytes may not have reached the file.
    if (::close(fd) != 0 && errno != EINTR)
        fail_write(errno);
    if (::rename(temp_path_.constData(), QFile::encodeName(path_).constData()) != 0)
        fail_write(errno);
    temp_path_.clear();
    committed_ = true;
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
    const QString reason = qt_error_string(error);
    discard();
    throw KapError(msg_cannot_create(path_, reason));
}

void AtomicFile::fail_write(int error) {
    const QString reason = qt_error_string(error);
    discard();
    throw KapError(msg_cannot_write(path_) + QStringLiteral(". ") + reason);
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
    buffer_.clear();
}
