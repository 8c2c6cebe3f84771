#pragma once
// Writes a file without ever leaving a half-written one where a good one stood.
//
// The bytes go into a new file created beside the target (created exclusively, never through a
// symbolic link). commit() renames it over the target, which replaces the directory entry itself:
// a symbolic link standing at the target is replaced, not followed, and a file of another user in
// a shared sticky directory, or a file made read-only, is refused rather than overwritten. A
// failure, or destruction without commit(), removes the new file and leaves the target as it was.

#include <QByteArray>
#include <QString>
#include <cstddef>
#include <vector>

class AtomicFile {
public:
    // Throws KapError "Impossible de créer le fichier "<path>". <reason>" when the new file
    // cannot be created.
    explicit AtomicFile(QString path);
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // Buffered; throws KapError "Impossible d'écrire dans <path>" (with the reason) on failure.
    void write(const void* data, std::size_t size);
    // Flushes, closes and renames over the target; throws as write() does.
    void commit();

    const QString& path() const { return path_; }

private:
    void flush_buffer();
    void write_through(const unsigned char* data, std::size_t size);
    [[noreturn]] void fail_create(int error);
    [[noreturn]] void fail_write(int error);
    void discard() noexcept;

    QString path_;
    QByteArray temp_path_; // the new file's name in the file system's encoding; empty once gone
    int fd_ = -1;
    std::vector<unsigned char> buffer_;
    bool committed_ = false;
};
