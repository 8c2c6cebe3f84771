// The safe file writer: a good file is never replaced by a half-written one.

#include "platform/core/atomic_file.h"
#include "platform/core/error.h"
#include "platform/core/file_checks.h"
#include "tests/support/files.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <algorithm>
#include <csignal>
#include <functional>
#include <gtest/gtest.h>
#include <vector>
#ifndef _WIN32
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

QStringList entries(const QString& folder) {
    return QDir(folder).entryList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
}

void write_all(AtomicFile& file, const QByteArray& bytes) {
    file.write(bytes.constData(), std::size_t(bytes.size()));
}

QString message_of(const std::function<void()>& action) {
    try {
        action();
    } catch (const KapError& e) {
        return e.message();
    }
    return QString();
}

#ifndef _WIN32
mode_t current_umask() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}

#endif

} // namespace

TEST(AtomicFile, WritesTheBytesInOrderAcrossBufferBoundaries) {
    QTemporaryDir dir;
    const QString path = dir.filePath("out.bin");
    QByteArray expected;
    {
        AtomicFile file(path);
        // Small pieces, pieces that straddle the buffer, and pieces larger than it.
        int seed = 1;
        for (const int size : {1, 65535, 2, 70000, 65536, 3, 0, 131073, 5000, 64 * 1024 - 7}) {
            QByteArray piece(size, Qt::Uninitialized);
            for (char& c : piece)
                c = char((seed = seed * 1103515245 + 12345) >> 16);
            write_all(file, piece);
            expected += piece;
        }
        // Then pieces written from where they lie: rows of a picture, more than a megabyte of
        // them, with an empty one and one of 300 000 bytes among them.
        QByteArray rows(2 * 1024 * 1024, Qt::Uninitialized);
        for (char& c : rows)
            c = char((seed = seed * 1103515245 + 12345) >> 16);
        std::vector<AtomicFile::Piece> pieces;
        for (qsizetype at = 0, n = 0; at < rows.size(); ++n) {
            const qsizetype size = std::min(rows.size() - at, qsizetype(n == 7    ? 0
                                                                        : n == 40 ? 300000
                                                                                  : 11520));
            pieces.push_back({rows.constData() + at, std::size_t(size)});
            at += size;
        }
        file.write(rows.constData(), 3); // buffered bytes go out before the pieces
        file.write_pieces(pieces);
        expected += rows.left(3) + rows;
        EXPECT_FALSE(QFile::exists(path)) << "nothing at the target before commit";
        file.commit();
    }
    EXPECT_EQ(file_bytes(path), expected);
    EXPECT_EQ(entries(dir.path()), QStringList{"out.bin"}) << "no leftover";
}

TEST(AtomicFile, ReplacesAnExistingFile) {
    QTemporaryDir dir;
    const QString path = dir.filePath("kaptorama.bmp");
    ASSERT_TRUE(write_bytes(path, QByteArray(1000, 'o')));
    AtomicFile file(path);
    write_all(file, "nouveau");
    EXPECT_EQ(file_bytes(path), QByteArray(1000, 'o')) << "old content until commit";
    file.commit();
    EXPECT_EQ(file_bytes(path), QByteArray("nouveau"));
    EXPECT_EQ(entries(dir.path()), QStringList{"kaptorama.bmp"});
}

#ifndef _WIN32
// Symbolic links, file-size limits, permission bits, fork and pipes are POSIX's; the
// Windows equivalents are tested at the end.
TEST(AtomicFile, SymbolicLinkAtTheTargetIsReplacedNotFollowed) {
    QTemporaryDir dir;
    const QString victim = dir.filePath("victim.txt");
    ASSERT_TRUE(write_bytes(victim, "intact"));
    const QString link = dir.filePath("kaptorama.bmp");
    ASSERT_TRUE(QFile::link(victim, link));
    const QString dangling_target = dir.filePath("created-through-link");
    const QString dangling = dir.filePath("kaptorama1.bmp");
    ASSERT_TRUE(QFile::link(dangling_target, dangling));

    for (const QString& path : {link, dangling}) {
        AtomicFile file(path);
        write_all(file, "capture");
        file.commit();
        EXPECT_FALSE(QFileInfo(path).isSymLink());
        EXPECT_EQ(file_bytes(path), QByteArray("capture"));
    }
    EXPECT_EQ(file_bytes(victim), QByteArray("intact"));
    EXPECT_FALSE(QFile::exists(dangling_target));
}

#endif

TEST(AtomicFile, FailureBeforeCommitLeavesTheOldFileAndNoLeftover) {
    QTemporaryDir dir;
    const QString path = dir.filePath("kaptorama.bmp");
    ASSERT_TRUE(write_bytes(path, "ancien"));
    try {
        AtomicFile file(path);
        write_all(file, QByteArray(200000, 'x')); // past the buffer: bytes already on disk
        throw std::runtime_error("encoder failed");
    } catch (const std::runtime_error&) {
    }
    EXPECT_EQ(file_bytes(path), QByteArray("ancien"));
    EXPECT_EQ(entries(dir.path()), QStringList{"kaptorama.bmp"});
}

#ifndef _WIN32
TEST(AtomicFile, FailedWriteLeavesTheOldFileAndSaysSo) {
    QTemporaryDir dir;
    const QString path = dir.filePath("capture.bmp");
    ASSERT_TRUE(write_bytes(path, "ancien"));

    // A file-size limit makes write() fail with EFBIG, as a full disk would with ENOSPC.
    rlimit old_limit{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old_limit), 0);
    rlimit small = old_limit;
    small.rlim_cur = 100000;
    const auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const QString message = message_of([&] {
        AtomicFile file(path);
        for (int i = 0; i < 30; ++i)
            write_all(file, QByteArray(10000, 'x'));
        file.commit();
    });
    ::setrlimit(RLIMIT_FSIZE, &old_limit);
    std::signal(SIGXFSZ, old_handler);

    // A full disk is reported as a save that failed, the path in quotes, then the reason.
    const QString prefix = "Impossible de créer le fichier \"" + path + "\". ";
    EXPECT_TRUE(message.startsWith(prefix)) << message.toStdString();
    EXPECT_GT(message.size(), prefix.size());
    EXPECT_EQ(file_bytes(path), QByteArray("ancien"));
    EXPECT_EQ(entries(dir.path()), QStringList{"capture.bmp"});
}

#endif

TEST(AtomicFile, FailedRenameLeavesNoLeftover) {
    QTemporaryDir dir;
    const QString path = dir.filePath("cible");
    AtomicFile file(path);
    write_all(file, "donnees");
    // A folder appears at the target meanwhile: rename() cannot replace it.
    ASSERT_TRUE(QDir(dir.path()).mkpath("cible/sous"));
    const QString message = message_of([&] { file.commit(); });
    EXPECT_TRUE(message.startsWith("Impossible de créer le fichier \"" + path + "\". "))
        << message.toStdString();
    EXPECT_TRUE(QFileInfo(path).isDir());
    EXPECT_EQ(entries(dir.path()), QStringList{"cible"});
    EXPECT_FALSE(message_of([&] { write_all(file, "x"); }).isEmpty()) << "dead after failure";
}

TEST(AtomicFile, UncreatableTargetsGiveTheCreationMessage) {
    QTemporaryDir dir;
    ASSERT_TRUE(write_bytes(dir.filePath("fichier"), "x"));
    ASSERT_TRUE(QDir(dir.path()).mkdir("dossier"));
    // The reason is the program's own French, whatever the locale the tests run in.
    const std::pair<QString, QString> cases[] = {
        {dir.filePath("absent/capture.bmp"), "Le fichier ou le dossier n'existe pas"},
        {dir.filePath("fichier/capture.bmp"), "Un élément du chemin n'est pas un dossier"},
        {dir.filePath("dossier"), "C'est un dossier"},
        {QString(), "Le fichier ou le dossier n'existe pas"},
    };
    for (const auto& [path, reason] : cases) {
        SCOPED_TRACE(path.toStdString());
        EXPECT_EQ(message_of([&] { AtomicFile file(path); }),
                  "Impossible de créer le fichier \"" + path + "\". " + reason);
    }
    EXPECT_EQ(entries(dir.path()), (QStringList{"dossier", "fichier"}));
}

#ifndef _WIN32
TEST(AtomicFile, ReadOnlyFolderGivesTheCreationMessage) {
    if (::geteuid() == 0)
        GTEST_SKIP() << "permissions do not apply to root";
    QTemporaryDir dir;
    const QString folder = dir.filePath("lecture-seule");
    ASSERT_TRUE(QDir(dir.path()).mkdir("lecture-seule"));
    ASSERT_EQ(::chmod(QFile::encodeName(folder).constData(), 0555), 0);
    const QString path = folder + "/capture.bmp";
    const QString message = message_of([&] { AtomicFile file(path); });
    ::chmod(QFile::encodeName(folder).constData(), 0755);
    EXPECT_TRUE(message.startsWith("Impossible de créer le fichier \"" + path + "\". "))
        << message.toStdString();
}

TEST(AtomicFile, ReadOnlyFileIsNotReplaced) {
    if (::geteuid() == 0)
        GTEST_SKIP() << "permissions do not apply to root";
    QTemporaryDir dir;
    const QString path = dir.filePath("protege.bmp");
    ASSERT_TRUE(write_bytes(path, "garde"));
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0444), 0);
    const QString message = message_of([&] { AtomicFile file(path); });
    EXPECT_TRUE(message.startsWith("Impossible de créer le fichier \"" + path + "\". "))
        << message.toStdString();
    EXPECT_EQ(file_bytes(path), QByteArray("garde"));
}

TEST(AtomicFile, FilesInASharedFolderAreReadableByTheOwnerOnly) {
    QTemporaryDir dir;
    const QString shared = dir.filePath("partage");
    ASSERT_TRUE(QDir(dir.path()).mkdir("partage"));
    ASSERT_EQ(::chmod(QFile::encodeName(shared).constData(), 01777), 0);
    const QString own = dir.filePath("perso");
    ASSERT_TRUE(QDir(dir.path()).mkdir("perso"));
    ASSERT_EQ(::chmod(QFile::encodeName(own).constData(), 0755), 0);

    auto mode_of_new_file = [](const QString& path) {
        AtomicFile file(path);
        file.write("x", 1);
        file.commit();
        struct stat st {};
        ::stat(QFile::encodeName(path).constData(), &st);
        return st.st_mode & 07777;
    };
    EXPECT_EQ(mode_of_new_file(shared + "/kaptorama.bmp"), 0600u);
    EXPECT_EQ(mode_of_new_file(own + "/capture.bmp"), 0666u & ~current_umask());
}

namespace {
mode_t mode_of(const QString& path) {
    struct stat st {};
    ::lstat(QFile::encodeName(path).constData(), &st);
    return st.st_mode;
}
} // namespace

TEST(AtomicFile, AReplacedFileKeepsItsPermissionBitsOwnerAndGroup) {
    QTemporaryDir dir;
    // Root may give a file to anybody: the replaced file keeps another user's owner and group.
    const bool may_give = ::geteuid() == 0;
    for (const mode_t mode : {0600u, 0640u, 0755u, 0604u}) {
        SCOPED_TRACE(mode);
        const QString path = dir.filePath("capture.png");
        const QByteArray name = QFile::encodeName(path);
        ASSERT_TRUE(write_bytes(path, "ancien"));
        if (may_give) {
            ASSERT_EQ(::chown(name.constData(), 65534, 65534), 0);
        }
        ASSERT_EQ(::chmod(name.constData(), mode), 0);
        struct stat before {};
        ASSERT_EQ(::stat(name.constData(), &before), 0);
        AtomicFile file(path);
        write_all(file, "nouveau");
        file.commit();
        EXPECT_EQ(file_bytes(path), QByteArray("nouveau"));
        struct stat after {};
        ASSERT_EQ(::stat(name.constData(), &after), 0);
        EXPECT_EQ(after.st_mode & 07777, mode);
        EXPECT_EQ(after.st_uid, before.st_uid);
        EXPECT_EQ(after.st_gid, before.st_gid);
    }
}

TEST(AtomicFile, ARunKilledHalfWayLeavesNothingBehind) {
    QTemporaryDir dir;
    const QString path = dir.filePath("capture.bmp");
    ASSERT_TRUE(write_bytes(path, "ancien"));
    const pid_t child = ::fork();
    if (child == 0) {
        AtomicFile file(path);
        write_all(file, QByteArray(300000, 'x'));
        ::_exit(0); // no destructor, no clean-up: as if the program had been killed
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_EQ(entries(dir.path()), QStringList{"capture.bmp"});
    EXPECT_EQ(file_bytes(path), QByteArray("ancien"));
}

#endif

TEST(AtomicFile, CommitIfFreeNeverReplacesWhatAppearedMeanwhile) {
    QTemporaryDir dir;
    const QString path = dir.filePath("a_001.png");
    {
        AtomicFile file(path);
        write_all(file, "premier");
        EXPECT_TRUE(file.commit_if_free());
    }
    EXPECT_EQ(file_bytes(path), QByteArray("premier"));

    // Another program takes the name between the check and the commit: a file, or a link.
    const QString taken = dir.filePath("a_002.png");
    {
        AtomicFile file(taken);
        write_all(file, QByteArray(100000, 'n'));
        ASSERT_TRUE(write_bytes(taken, "autre programme"));
        EXPECT_FALSE(file.commit_if_free());
    }
    EXPECT_EQ(file_bytes(taken), QByteArray("autre programme"));
#ifndef _WIN32
    const QString linked = dir.filePath("a_003.png");
    {
        AtomicFile file(linked);
        write_all(file, "x");
        ASSERT_TRUE(QFile::link(dir.filePath("nulle-part"), linked));
        EXPECT_FALSE(file.commit_if_free());
    }
    EXPECT_TRUE(QFileInfo(linked).isSymLink());
    EXPECT_EQ(entries(dir.path()), (QStringList{"a_001.png", "a_002.png", "a_003.png"}));
#else
    EXPECT_EQ(entries(dir.path()), (QStringList{"a_001.png", "a_002.png"}));
#endif
}

#ifndef _WIN32
TEST(AtomicFile, PipesAndDevicesAreNotReplaced) {
    QTemporaryDir dir;
    const QString pipe = dir.filePath("tube");
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    for (const QString& path : {pipe, QStringLiteral("/dev/null")}) {
        SCOPED_TRACE(path.toStdString());
        const QString message = message_of([&] { AtomicFile file(path); });
        EXPECT_EQ(message,
                  "Impossible de créer le fichier \"" + path + "\". Ce n'est pas un fichier");
    }
    EXPECT_TRUE(S_ISFIFO(mode_of(pipe)));
    EXPECT_TRUE(S_ISCHR(mode_of("/dev/null")));
    EXPECT_EQ(entries(dir.path()), QStringList{"tube"});
}

TEST(AtomicFile, WorkingFilesInTheTemporaryFolderAreReplacedCleanly) {
    QTemporaryDir dir;
    const QByteArray old_tmpdir = qgetenv("TMPDIR");
    qputenv("TMPDIR", QFile::encodeName(dir.path()));
    const QString path = dir.filePath("kaptoramao.bmp");
    ASSERT_TRUE(write_bytes(path, "ancien"));
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0640), 0);
    for (int round = 0; round < 3; ++round) {
        AtomicFile file(path);
        write_all(file, QByteArray(70000 + round, char('a' + round)));
        file.commit();
    }
    // A failure puts nothing in place and leaves the file there as it was.
    const QString message = message_of([&] {
        AtomicFile file(path);
        write_all(file, "x");
        throw KapError("encodeur");
    });
    if (old_tmpdir.isNull())
        qunsetenv("TMPDIR");
    else
        qputenv("TMPDIR", old_tmpdir);
    EXPECT_EQ(message, "encodeur");
    EXPECT_EQ(file_bytes(path), QByteArray(70002, 'c'));
    EXPECT_EQ(mode_of(path) & 07777, 0640u);
    EXPECT_EQ(entries(dir.path()), QStringList{"kaptoramao.bmp"});
}
#endif

TEST(AtomicFile, NamesOutsideTheLocalCodePageAreWrittenAndReplaced) {
    // Every call takes the path as Unicode: no character is lost to a narrow code page.
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("Écrans à part"));
    ASSERT_TRUE(QDir().mkpath(folder));
    const QString name = QStringLiteral("capture_001 Łódź Ωμέγα.png");
    for (const QByteArray& bytes : {QByteArray("\x89PNG\r\n\x1a\n\n1"), QByteArray("2\n\r\n")}) {
        AtomicFile file(folder + '/' + name);
        write_all(file, bytes);
        file.commit();
        EXPECT_EQ(file_bytes(folder + '/' + name), bytes);
    }
    EXPECT_EQ(entries(folder), QStringList{name});
}

TEST(FileChecks, OwnFilesPassAndFoldersAreRefused) {
    QTemporaryDir dir;
    const QString own = dir.filePath(QStringLiteral("kaptorama é.bmp"));
    ASSERT_TRUE(write_bytes(own, "x"));
    EXPECT_EQ(message_of([&] { check_own_regular_file(own); }), QString());
    EXPECT_EQ(message_of([&] { check_own_regular_file(dir.filePath("absent.bmp")); }), QString());
    EXPECT_EQ(message_of([&] { check_own_regular_file(dir.path()); }),
              "Impossible d'ouvrir le fichier \"" + dir.path() +
                  "\". Ce n'est pas un fichier ordinaire");
}

#ifdef _WIN32
TEST(AtomicFile, AFileThatCannotBeReplacedStaysWhole) {
    QTemporaryDir dir;
    const QString path = dir.filePath("capture.bmp");
    ASSERT_TRUE(write_bytes(path, "ancien"));
    const QString prefix = "Impossible de créer le fichier \"" + path + "\". ";
    {
        // Another program holds it open without letting it be deleted.
        QFile holder(path);
        ASSERT_TRUE(holder.open(QIODevice::ReadOnly));
        const QString message = message_of([&] {
            AtomicFile file(path);
            write_all(file, "nouveau");
            file.commit();
        });
        EXPECT_TRUE(message.startsWith(prefix)) << message.toStdString();
    }
    // Made read-only by the user: refused before any writing.
    ASSERT_TRUE(QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::ReadUser));
    EXPECT_TRUE(message_of([&] { AtomicFile file(path); }).startsWith(prefix));
    ASSERT_TRUE(QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner));
    EXPECT_EQ(file_bytes(path), QByteArray("ancien"));
    EXPECT_EQ(entries(dir.path()), QStringList{"capture.bmp"});
}
#endif
