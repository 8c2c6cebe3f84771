#pragma once
// Writes a file without ever leaving a half-written one where a good one stood.
//
// The bytes go into a new file in the target's folder: an unnamed one (O_TMPFILE) where the file
// system offers it, so that a run killed half-way leaves nothing behind, else a hidden
// ".kaptorama-<random>.tmp" created exclusively, never through a symbolic link. commit() puts it
// in place of the target in one step, which replaces the directory entry itself: a symbolic link
// standing at the target is replaced, not followed; a file of another user in a shared sticky
// directory, a file made read-only, a folder, a pipe or a device is refused rather than
// replaced. A file that is replaced keeps its permission bits (a 0600 file stays 0600), and its
// owner and group where the process may give them. A failure, or destruction without commit,
// removes the new file and leaves the target as it was.
//
// Files the user keeps (saved pictures, the settings file) are flushed to the disk before they
// take the target's place, so that a crash of the machine leaves the old file or the new one,
// never an empty one. Working files in the temporary folder are not: they do not outlive the run.

#include <QByteArray>
#include <QString>
#include <cstddef>
#include <sys/types.h>
#include <vector>

class AtomicFile {
public:
    enum class Flush {
        Auto,   // flushed unless the target lies directly in the temporary folder (temp_dir())
        Always, // flushed
        Never,  // not flushed
    };

    // Throws KapError "Impossible de créer le fichier "<path>". <reason>" when the new file
    // cannot be created or the target may not be replaced.
    explicit AtomicFile(QString path, Flush flush = Flush::Auto);
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // Buffered. A failure (full disk, file-size limit) throws KapError
    // "Impossible de créer le fichier "<path>". <reason>", the message of a save that failed.
    void write(const void* data, std::size_t size);
    // Writes the pieces in order, straight from where they lie (no copy into the buffer): the
    // way to write a large picture row by row. Throws as write() does.
    struct Piece {
        const void* data;
        std::size_t size;
    };
    void write_pieces(const std::vector<Piece>& pieces);
    // Flushes and puts the file in place of the target; throws as write() does.
    void commit();
    // Puts the file in place only if no file (nor link) stands at the target now: false, with
    // the new file removed and the existing one untouched, when one has appeared since. Throws
    // as write() does for any other failure.
    bool commit_if_free();

    const QString& path() const { return path_; }

private:
    // Bytes gathered before they go to the file.
    static constexpr std::size_t kBufferSize = 64 * 1024;

    void finish_writing();
    void flush_buffer();
    void write_through(const unsigned char* data, std::size_t size);
    // Gives the unnamed file a name in the target's folder (temp_path_).
    void name_unnamed_file();
    // commit() for files that are not flushed; false when the file system cannot do it.
    bool replace_aside();
    void sync_folder() noexcept;
    // Once the file stands at the target: lets the descriptor go and flushes the folder.
    void settle_committed();
    [[noreturn]] void fail_create(int error);
    [[noreturn]] void fail_write(int error);
    // A write after a failure, or after the file was put in place.
    [[noreturn]] void fail_closed();
    void discard() noexcept;

    QString path_;
    QByteArray target_;    // path_ in the file system's encoding
    QByteArray folder_;    // the target's folder, "." when the path has none
    QByteArray prefix_;    // the folder and its '/', prepended to bare names
    QByteArray temp_path_; // the new file's name; empty while it is unnamed or once gone
    int fd_ = -1;
    bool unnamed_ = false;
    bool flush_ = true;
    std::vector<unsigned char> buffer_;
    bool committed_ = false;
};
