// Safe file writing with the Windows calls. The new file is created exclusively under a free
// name in the target's folder (CREATE_NEW never opens what stands at a name, a link or junction
// included), written in binary mode, flushed for kept files, then put in place of the target
// with MoveFileExW (replace existing, write through), which replaces the directory entry: a
// symbolic link or junction at the target is replaced, never followed. On any failure the new
// file is deleted and the target stays whole. The temporary folder is the user's own on
// Windows (GetTempPathW), so files written there need no narrower access than it gives.
#include "platform/core/atomic_file.h"

#include "platform/core/error.h"
#include "platform/core/temp_dir.h"
#include "platform/win32/windows_error.h"

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>
#include <cerrno>

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

constexpr int kNameAttempts = 64;
// A file just closed can be held for a moment by a virus scanner or an indexer: the move is
// tried again for that long before it counts as failed.
constexpr int kMoveAttempts = 10;
constexpr DWORD kMoveRetryMs = 30;

QByteArray random_suffix() {
    static const char digits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    QByteArray suffix(12, '0');
    for (char& c : suffix)
        c = digits[QRandomGenerator::global()->bounded(36)];
    return suffix;
}

// Paths travel as UTF-8 in the object's byte members and as UTF-16 to every Windows call.
std::wstring wide(const QByteArray& utf8) {
    return QDir::toNativeSeparators(QString::fromUtf8(utf8)).toStdWString();
}

bool same_file(const std::wstring& a, const std::wstring& b) {
    auto identity = [](const std::wstring& path, BY_HANDLE_FILE_INFORMATION& info) {
        const HANDLE h =
            CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (h == INVALID_HANDLE_VALUE)
            return false;
        const bool ok = GetFileInformationByHandle(h, &info) != 0;
        CloseHandle(h);
        return ok;
    };
    BY_HANDLE_FILE_INFORMATION x{}, y{};
    return identity(a, x) && identity(b, y) && x.dwVolumeSerialNumber == y.dwVolumeSerialNumber &&
           x.nFileIndexHigh == y.nFileIndexHigh && x.nFileIndexLow == y.nFileIndexLow;
}

// What stands at a path, seen without following a link: INVALID_FILE_ATTRIBUTES when nothing.
DWORD attributes(const std::wstring& path) {
    return GetFileAttributesW(path.c_str());
}

// Whether the path names a file on a disk (not a device such as NUL or COM1, not a pipe).
bool is_disk_file(const std::wstring& path) {
    const HANDLE h = CreateFileW(
        path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
        OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return true; // cannot be looked at: the move will say what is wrong
    const bool disk = GetFileType(h) == FILE_TYPE_DISK;
    CloseHandle(h);
    return disk;
}

} // namespace

AtomicFile::AtomicFile(QString path, Flush flush) : path_(std::move(path)) {
    target_ = QDir::fromNativeSeparators(path_).toUtf8();
    if (target_.isEmpty())
        fail_create(ERROR_PATH_NOT_FOUND);
    const qsizetype slash = target_.lastIndexOf('/');
    if (slash < 0) {
        folder_ = QByteArrayLiteral(".");
    } else {
        folder_ = slash == 0 || (slash == 2 && target_.at(1) == ':') ? target_.left(slash + 1)
                                                                     : target_.left(slash);
        prefix_ = target_.left(slash + 1);
    }

    const DWORD folder = attributes(wide(folder_));
    if (folder == INVALID_FILE_ATTRIBUTES)
        fail_create(int(GetLastError()));
    if (!(folder & FILE_ATTRIBUTE_DIRECTORY))
        fail_create(ERROR_DIRECTORY);
    switch (flush) {
    case Flush::Always:
        flush_ = true;
        break;
    case Flush::Never:
        flush_ = false;
        break;
    case Flush::Auto:
        flush_ = !same_file(wide(folder_), QDir::toNativeSeparators(temp_dir()).toStdWString());
        break;
    }

    // Refuse now what the final step would refuse, before all the encoding work.
    const std::wstring target = wide(target_);
    const DWORD existing = attributes(target);
    if (existing != INVALID_FILE_ATTRIBUTES) {
        const bool link = existing & FILE_ATTRIBUTE_REPARSE_POINT;
        if ((existing & FILE_ATTRIBUTE_DIRECTORY) && !link)
            throw KapError(msg_cannot_create(path_, system_error_text(EISDIR)));
        if (!is_disk_file(target))
            throw KapError(msg_cannot_create(path_, QStringLiteral("Ce n'est pas un fichier")));
        // A file the user made read-only stays as it is. (A link is replaced, so what it
        // points to does not matter.)
        if ((existing & FILE_ATTRIBUTE_READONLY) && !link)
            fail_create(ERROR_ACCESS_DENIED);
    } else if (target_.endsWith('/')) {
        throw KapError(msg_cannot_create(path_, system_error_text(EISDIR)));
    }

    for (int attempt = 0; fd_ < 0 && attempt < kNameAttempts; ++attempt) {
        const QByteArray name = prefix_ + ".kaptorama-" + random_suffix() + ".tmp";
        const HANDLE h = CreateFileW(wide(name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                     FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            const DWORD error = GetLastError();
            if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS)
                fail_create(int(error));
            continue;
        }
        temp_path_ = name;
        // Binary mode: the bytes reach the file as they are, no line feed becomes CR LF.
        fd_ = _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_BINARY | _O_WRONLY);
        if (fd_ < 0) {
            CloseHandle(h);
            fail_create(ERROR_TOO_MANY_OPEN_FILES);
        }
    }
    if (fd_ < 0)
        fail_create(ERROR_FILE_EXISTS);
    buffer_.reserve(kBufferSize);
}

void AtomicFile::fail_closed() {
    fail_write(ERROR_INVALID_HANDLE);
}

void AtomicFile::write_pieces(const std::vector<Piece>& pieces) {
    if (fd_ < 0)
        fail_write(ERROR_INVALID_HANDLE);
    flush_buffer();
    // Windows has no gathered write for ordinary files, and a WriteFile per piece (a row of a
    // picture, some kilobytes) costs a system call each: small pieces are gathered into large
    // writes, larger ones go out as they are.
    constexpr std::size_t kGather = std::size_t{1} << 20;
    std::vector<unsigned char> gathered;
    for (const Piece& p : pieces) {
        const auto* data = static_cast<const unsigned char*>(p.data);
        if (p.size >= kGather / 4) {
            write_through(gathered.data(), gathered.size());
            gathered.clear();
            write_through(data, p.size);
            continue;
        }
        if (gathered.size() + p.size > kGather) {
            write_through(gathered.data(), gathered.size());
            gathered.clear();
        }
        if (gathered.capacity() == 0)
            gathered.reserve(kGather);
        gathered.insert(gathered.end(), data, data + p.size);
    }
    write_through(gathered.data(), gathered.size());
}

void AtomicFile::finish_writing() {
    if (fd_ < 0)
        fail_write(ERROR_INVALID_HANDLE);
    flush_buffer();
    if (flush_ && !FlushFileBuffers(reinterpret_cast<HANDLE>(_get_osfhandle(fd_))))
        fail_write(int(GetLastError()));
    // A file cannot be renamed while it is open without shared deletion: closed first.
    const int fd = std::exchange(fd_, -1);
    if (_close(fd) != 0)
        fail_write(ERROR_WRITE_FAULT);
}

void AtomicFile::commit() {
    finish_writing();
    const std::wstring from = wide(temp_path_);
    const std::wstring to = wide(target_);
    const DWORD how = MOVEFILE_REPLACE_EXISTING | (flush_ ? MOVEFILE_WRITE_THROUGH : 0);
    for (int attempt = 0;; ++attempt) {
        if (MoveFileExW(from.c_str(), to.c_str(), how))
            break;
        const DWORD error = GetLastError();
        const bool held = error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION;
        if (!held || attempt + 1 >= kMoveAttempts)
            fail_write(int(error));
        Sleep(kMoveRetryMs);
    }
    temp_path_.clear();
    committed_ = true;
}

bool AtomicFile::commit_if_free() {
    finish_writing();
    // Without MOVEFILE_REPLACE_EXISTING the move fails when anything stands at the name.
    const DWORD how = flush_ ? MOVEFILE_WRITE_THROUGH : 0;
    if (!MoveFileExW(wide(temp_path_).c_str(), wide(target_).c_str(), how)) {
        const DWORD error = GetLastError();
        if (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS) {
            discard();
            return false;
        }
        fail_write(int(error));
    }
    temp_path_.clear();
    committed_ = true;
    return true;
}

void AtomicFile::flush_buffer() {
    if (buffer_.empty())
        return;
    write_through(buffer_.data(), buffer_.size());
    buffer_.clear();
}

void AtomicFile::write_through(const unsigned char* data, std::size_t size) {
    const HANDLE h = reinterpret_cast<HANDLE>(_get_osfhandle(fd_));
    while (size > 0) {
        const DWORD chunk = DWORD(std::min<std::size_t>(size, 1u << 30));
        DWORD written = 0;
        if (!WriteFile(h, data, chunk, &written, nullptr))
            fail_write(int(GetLastError()));
        if (written == 0)
            fail_write(ERROR_DISK_FULL);
        data += written;
        size -= written;
    }
}

void AtomicFile::fail_create(int error) {
    const QString reason = windows_error_text(static_cast<unsigned long>(error));
    discard();
    throw KapError(msg_cannot_create(path_, reason));
}

void AtomicFile::fail_write(int error) {
    // A full disk is a file that could not be created, as far as the user is concerned.
    fail_create(error);
}

void AtomicFile::discard() noexcept {
    if (fd_ >= 0) {
        _close(fd_);
        fd_ = -1;
    }
    if (!temp_path_.isEmpty()) {
        DeleteFileW(wide(temp_path_).c_str());
        temp_path_.clear();
    }
    unnamed_ = false;
    buffer_.clear();
}
