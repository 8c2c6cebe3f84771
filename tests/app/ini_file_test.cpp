// The settings file layer: number parsing, tolerant reading, in-place writing with CR LF lines,
// and refusal to lose data when the file cannot be read or written.

#include "app/ini_file.h"
#include "platform/core/error.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#ifndef _WIN32
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace {

QByteArray read_bytes(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return QByteArray("<unreadable>");
    return f.readAll();
}

void write_bytes(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(f.write(bytes), bytes.size());
}

QString write_error(const QString& path) {
    return QStringLiteral("Impossible d'écrire dans ") + path;
}

// The eight keys as the configuration window stores them, all at their defaults.
void store_defaults(IniFile& ini) {
    ini.write_bool("Options", "jpg", false);
    ini.write_bool("Options", "bmp", false);
    ini.write_bool("Options", "png_8", false);
    ini.write_bool("Options", "png_256", true);
    ini.write_integer("options", "jpg_compression", 100);
    ini.write_integer("Options", "size_stylet", 3);
    ini.write_integer("Options", "size_surligneur", 16);
    ini.write_integer("Options", "largeur_px", 400);
}

class IniFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        path_ = dir_.filePath("Kaptorama.ini");
    }
    QStringList dir_entries() const {
        return QDir(dir_.path())
            .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    }
    QTemporaryDir dir_;
    QString path_;
};

TEST(IniParseInteger, DecimalHexAndRejects) {
    const struct {
        const char* text;
        std::optional<int> want;
    } cases[] = {
        {"0x1F4", 500},
        {"0X1f4", 500},
        {"$1F4", 500},
        {"0x0", 0},
        {"0x7FFFFFFF", 2147483647},
        {"42", 42},
        {"007", 7},
        {"+12", 12},
        {"-5", -5},
        {"0", 0},
        {"2147483647", 2147483647},
        {"-2147483648", -2147483647 - 1},
        // Not whole numbers.
        {"0x", std::nullopt}, // two characters: not hexadecimal, and not decimal either
        {"$", std::nullopt},
        {"", std::nullopt},
        {"+", std::nullopt},
        {"-", std::nullopt},
        {"abc", std::nullopt},
        {"12abc", std::nullopt},
        {"1.5", std::nullopt},
        {"-0x10", std::nullopt},
        {"$-1", std::nullopt},
        {"0xG1", std::nullopt},
        // Out of range.
        {"2147483648", std::nullopt},
        {"-2147483649", std::nullopt},
        {"99999999999999999999999", std::nullopt},
        {"0x80000000", std::nullopt},
        {"$FFFFFFFFFFFFFFFFFF", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IniFile::parse_integer(QString::fromUtf8(c.text)), c.want) << c.text;
    // Digits of other scripts are not decimal digits here.
    EXPECT_EQ(IniFile::parse_integer(QStringLiteral("\uFF11\uFF12")), std::nullopt);
}

TEST_F(IniFileTest, MissingFileSectionOrKeyGivesDefaults) {
    IniFile none(path_);
    EXPECT_EQ(none.read_integer("Options", "largeur_px", 400), 400);
    EXPECT_TRUE(none.read_bool("Options", "png_256", true));
    EXPECT_FALSE(none.read_bool("Options", "jpg", false));
    EXPECT_EQ(none.read_string("Options", "x", "dflt"), "dflt");
    EXPECT_FALSE(QFileInfo::exists(path_)) << "reading must not create the file";

    write_bytes(path_, "[Autre]\r\nlargeur_px=7\r\n[Options]\r\njpg=1\r\n");
    IniFile ini(path_);
    EXPECT_EQ(ini.read_integer("Options", "largeur_px", 400), 400);
    EXPECT_EQ(ini.read_integer("Absent", "jpg", 9), 9);
    EXPECT_EQ(ini.read_integer("Autre", "largeur_px", 400), 7);
}

TEST_F(IniFileTest, ReadsValuesTolerantly) {
    write_bytes(path_, "\xEF\xBB\xBF"
                       "top=1\n"
                       "; comment=5\n"
                       "  [ OPTIONS ]  ; trailing\n"
                       "  Largeur_PX  =  0x1F4  \n"
                       "jpg_compression = abc\n"
                       "size_stylet=$A\n"
                       "size_surligneur=0x\n"
                       "bmp=-1\n"
                       "png_8=0\n"
                       "empty=\n"
                       "quoted=\"a b\"\n"
                       "noequals\n"
                       "jpg=2\r\n"
                       "jpg=0\r\n"
                       "[Other]\n"
                       "png_256=0\n");
    IniFile ini(path_);
    EXPECT_EQ(ini.read_integer("options", "largeur_px", 400), 500);
    EXPECT_EQ(ini.read_integer("Options", "jpg_compression", 100), 100);
    EXPECT_EQ(ini.read_integer("Options", "size_stylet", 3), 10);
    EXPECT_EQ(ini.read_integer("Options", "size_surligneur", 16), 16);
    EXPECT_TRUE(ini.read_bool("Options", "bmp", false));
    EXPECT_FALSE(ini.read_bool("Options", "png_8", true));
    EXPECT_TRUE(ini.read_bool("Options", "jpg", false)) << "the first of two equal keys counts";
    // png_256 belongs to [Other]; top belongs to no section; the comment is no key.
    EXPECT_TRUE(ini.read_bool("Options", "png_256", true));
    EXPECT_EQ(ini.read_integer("Options", "top", 3), 3);
    EXPECT_EQ(ini.read_integer("Options", "; comment", 3), 3);
    EXPECT_EQ(ini.read_string("Options", "empty", "d"), "");
    EXPECT_EQ(ini.read_integer("Options", "empty", 4), 4);
    EXPECT_EQ(ini.read_string("OPTIONS", "QUOTED", ""), "a b");
    EXPECT_EQ(ini.read_string("Options", "noequals", "d"), "d");
    EXPECT_FALSE(ini.read_bool("other", "PNG_256", true));
}

TEST_F(IniFileTest, DefaultFileIsByteExact) {
    IniFile ini(path_);
    store_defaults(ini);
    EXPECT_EQ(read_bytes(path_),
              QByteArray("[Options]\r\njpg=0\r\nbmp=0\r\npng_8=0\r\npng_256=1\r\n"
                         "jpg_compression=100\r\nsize_stylet=3\r\n"
                         "size_surligneur=16\r\nlargeur_px=400\r\n"));
    // A second store over it changes values in place and adds nothing.
    ini.write_integer("options", "jpg_compression", 37);
    ini.write_bool("OPTIONS", "JPG", true);
    EXPECT_EQ(read_bytes(path_),
              QByteArray("[Options]\r\njpg=1\r\nbmp=0\r\npng_8=0\r\npng_256=1\r\n"
                         "jpg_compression=37\r\nsize_stylet=3\r\n"
                         "size_surligneur=16\r\nlargeur_px=400\r\n"));
    EXPECT_EQ(dir_entries(), QStringList{"Kaptorama.ini"}) << "no working file left behind";
}

TEST_F(IniFileTest, UpdatesInPlaceAndKeepsOtherLines) {
    // Written by another tool: LF-only lines, a BOM, capitals, comments, blank lines, no final
    // line break.
    write_bytes(path_, "\xEF\xBB\xBF"
                       "; made by hand\n"
                       "[General]\n"
                       "lang = fr\n"
                       "\n"
                       "[OPTIONS]\n"
                       "  JPG = 1\n"
                       "# keep me\n"
                       "jpg=5\n"
                       "size_stylet=9\n"
                       "\n"
                       "   \n"
                       "[Other]\n"
                       "largeur_px=1");
    IniFile ini(path_);
    ini.write_bool("Options", "jpg", false);
    ini.write_integer("options", "largeur_px", 640);
    ini.write_integer("Options", "size_surligneur", 20);
    EXPECT_EQ(read_bytes(path_), QByteArray("\xEF\xBB\xBF"
                                            "; made by hand\r\n"
                                            "[General]\r\n"
                                            "lang = fr\r\n"
                                            "\r\n"
                                            "[OPTIONS]\r\n"
                                            "JPG=0\r\n"
                                            "# keep me\r\n"
                                            "jpg=5\r\n"
                                            "size_stylet=9\r\n"
                                            "largeur_px=640\r\n"
                                            "size_surligneur=20\r\n"
                                            "\r\n"
                                            "   \r\n"
                                            "[Other]\r\n"
                                            "largeur_px=1\r\n"));
    // Reads through the same object and through a new one agree with the file.
    EXPECT_EQ(ini.read_integer("Options", "largeur_px", 0), 640);
    EXPECT_EQ(ini.read_integer("Options", "jpg", 9), 0) << "the key that reads see is updated";
    EXPECT_EQ(IniFile(path_).read_integer("OPTIONS", "Size_Surligneur", 0), 20);
    EXPECT_EQ(IniFile(path_).read_integer("Other", "largeur_px", 0), 1);
}

TEST_F(IniFileTest, NewSectionGoesAtTheEnd) {
    write_bytes(path_, "[A]\r\nx=1");
    IniFile ini(path_);
    ini.write_integer("Options", "size_stylet", 5);
    ini.write_integer("A", "y", 2);
    EXPECT_EQ(read_bytes(path_), QByteArray("[A]\r\nx=1\r\ny=2\r\n[Options]\r\nsize_stylet=5\r\n"));
}

TEST_F(IniFileTest, EachWriteStartsFromTheFileOnDisk) {
    IniFile ini(path_);
    EXPECT_EQ(ini.read_integer("Options", "jpg", 0), 0); // takes the snapshot: no file yet
    ini.write_integer("Options", "jpg", 1);
    // Another program adds a section between two writes; the next write keeps it.
    QByteArray bytes = read_bytes(path_);
    write_bytes(path_, bytes + "[Elsewhere]\r\nk=v\r\n");
    ini.write_integer("Options", "bmp", 1);
    EXPECT_EQ(read_bytes(path_),
              QByteArray("[Options]\r\njpg=1\r\nbmp=1\r\n[Elsewhere]\r\nk=v\r\n"));
    EXPECT_EQ(ini.read_string("Elsewhere", "k", ""), "v");
}

TEST_F(IniFileTest, BytesThatAreNotTextAreReadPastAndKept) {
    // A NUL byte, bytes of no encoding, a line without its break at the end: the keys around
    // them are read and updated, and those lines come back as they stood.
    const QByteArray junk("\x00\x01\xFF\xFE\x89PNG", 8);
    const QByteArray nul_value("size_stylet=4\x00"
                               "7",
                               15);
    write_bytes(path_, "[Options]\r\njpg=1\r\n" + junk + "\r\n" + nul_value + "\r\nbmp=0\r\n" +
                           "[Autre]\r\n" + junk);
    IniFile ini(path_);
    EXPECT_TRUE(ini.read_bool("Options", "jpg", false));
    EXPECT_EQ(ini.read_integer("Options", "size_stylet", 3), 3); // not a whole number
    EXPECT_EQ(ini.read_integer("Options", "bmp", 7), 0);
    EXPECT_TRUE(ini.updatable());

    ini.write_all({{"Options", "bmp", "1"}, {"Options", "largeur_px", "640"}});
    EXPECT_EQ(read_bytes(path_), "[Options]\r\njpg=1\r\n" + junk + "\r\n" + nul_value +
                                     "\r\nbmp=1\r\nlargeur_px=640\r\n[Autre]\r\n" + junk + "\r\n");
}

TEST_F(IniFileTest, AFileTooLargeIsRefusedWholeAndNeverReplaced) {
    QByteArray large("[Options]\r\njpg=1\r\n");
    const QByteArray filler = "; " + QByteArray(97, 'x') + "\r\n"; // 101 bytes a line
    while (large.size() <= IniFile::kMaxFileSize)
        large += filler;
    large += "bmp=1\r\n";
    write_bytes(path_, large);

    IniFile ini(path_);
    EXPECT_FALSE(ini.read_bool("Options", "jpg", false));
    EXPECT_FALSE(ini.updatable());
    EXPECT_TRUE(ini.too_large());
    try {
        ini.write_bool("Options", "png_8", true);
        ADD_FAILURE() << "a file too large to rewrite was replaced";
    } catch (const KapError& e) {
        EXPECT_EQ(e.message(), ini.too_large_message());
        EXPECT_TRUE(e.message().contains("dépasse 16 Mo")) << e.message().toStdString();
    }
    EXPECT_EQ(read_bytes(path_), large);
    EXPECT_EQ(dir_entries(), QStringList{"Kaptorama.ini"});

    // At the limit exactly, the file is read and rewritten whole.
    large.truncate(IniFile::kMaxFileSize);
    write_bytes(path_, large);
    IniFile at_limit(path_);
    EXPECT_TRUE(at_limit.updatable());
    at_limit.write_bool("Options", "png_8", true);
    EXPECT_TRUE(at_limit.read_bool("Options", "png_8", false));
    const QByteArray rewritten = read_bytes(path_);
    EXPECT_TRUE(rewritten.startsWith("[Options]\r\njpg=1\r\n; xxx"));
    EXPECT_TRUE(rewritten.endsWith("\r\npng_8=1\r\n"));
}

TEST_F(IniFileTest, AFolderAtThePathReadsAsEmptyAndIsNotReplaced) {
    ASSERT_TRUE(QDir().mkdir(path_));
    IniFile ini(path_);
    EXPECT_EQ(ini.read_integer("Options", "jpg", 7), 7);
    EXPECT_THROW(ini.write_bool("Options", "jpg", true), KapError);
    EXPECT_TRUE(QFileInfo(path_).isDir());
}

TEST_F(IniFileTest, UnwritableLocationThrowsTheExactMessage) {
    // The parent is a regular file: no one, not even root, can create anything under it.
    const QString blocker = dir_.filePath("not_a_dir");
    write_bytes(blocker, "x");
    const QString under_file = blocker + "/Kaptorama.ini";
    try {
        IniFile(under_file).write_bool("Options", "jpg", false);
        ADD_FAILURE() << "write under a regular file succeeded";
    } catch (const KapError& e) {
        EXPECT_EQ(e.message(), write_error(under_file));
    }
    const QString missing = dir_.filePath("missing/Kaptorama.ini");
    try {
        IniFile(missing).write_bool("Options", "jpg", false);
        ADD_FAILURE() << "write into a missing folder succeeded";
    } catch (const KapError& e) {
        EXPECT_EQ(e.message(), write_error(missing));
    }
    EXPECT_EQ(dir_entries(), QStringList{"not_a_dir"});
}

#ifndef _WIN32
// Folder permissions, a child process and symbolic links: POSIX.
TEST_F(IniFileTest, ReadOnlyFolderKeepsEarlierKeysAndWritesNothingElse) {
    const QString folder = dir_.filePath("prog");
    ASSERT_TRUE(QDir().mkdir(folder));
    const QString path = folder + "/Kaptorama.ini";
    IniFile(path).write_bool("Options", "jpg", true); // the first key went through
    const QByteArray before = read_bytes(path);
    ASSERT_EQ(chmod(QFile::encodeName(dir_.path()).constData(), 0755), 0);
    ASSERT_EQ(chmod(QFile::encodeName(folder).constData(), 0555), 0);

    // Root ignores folder permissions: the write runs in a child process that drops them.
    int pipe_fds[2];
    ASSERT_EQ(pipe(pipe_fds), 0);
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        close(pipe_fds[0]);
        if (geteuid() == 0 &&
            (setgroups(0, nullptr) != 0 || setgid(65534) != 0 || setuid(65534) != 0))
            _exit(77);
        QByteArray answer = "no error";
        try {
            IniFile(path).write_bool("Options", "bmp", true);
        } catch (const KapError& e) {
            answer = e.message().toUtf8();
        }
        [[maybe_unused]] ssize_t n = write(pipe_fds[1], answer.constData(), answer.size());
        _exit(0);
    }
    close(pipe_fds[1]);
    QByteArray answer;
    char buf[512];
    for (ssize_t n; (n = read(pipe_fds[0], buf, sizeof buf)) > 0;)
        answer.append(buf, n);
    close(pipe_fds[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    chmod(QFile::encodeName(folder).constData(), 0755);
    if (WIFEXITED(status) && WEXITSTATUS(status) == 77)
        GTEST_SKIP() << "cannot drop root privileges here";
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

    EXPECT_EQ(QString::fromUtf8(answer), write_error(path));
    EXPECT_EQ(read_bytes(path), before);
    EXPECT_EQ(QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{"Kaptorama.ini"});
}

TEST_F(IniFileTest, ASymbolicLinkIsWrittenThroughAndStays) {
    // A chain of two links, the second one relative, as people link their settings into a
    // folder of their own.
    ASSERT_TRUE(QDir(dir_.path()).mkdir("mes-reglages"));
    const QString target = dir_.filePath("mes-reglages/kaptorama.ini");
    write_bytes(target, "[Options]\r\njpg=1\r\n");
    const QString middle = dir_.filePath("mes-reglages/lien.ini");
    ASSERT_EQ(::symlink("kaptorama.ini", QFile::encodeName(middle).constData()), 0);
    ASSERT_TRUE(QFile::link(middle, path_));

    IniFile ini(path_);
    EXPECT_TRUE(ini.read_bool("Options", "jpg", false));
    ini.write_bool("Options", "bmp", true);
    EXPECT_TRUE(QFileInfo(path_).isSymLink());
    EXPECT_TRUE(QFileInfo(middle).isSymLink());
    EXPECT_EQ(read_bytes(target), QByteArray("[Options]\r\njpg=1\r\nbmp=1\r\n"));

    // A link to a file still to be made: the file is made where the link leads.
    const QString path2 = dir_.filePath("second.ini");
    const QString nowhere = dir_.filePath("mes-reglages/nouveau.ini");
    ASSERT_TRUE(QFile::link(nowhere, path2));
    IniFile(path2).write_integer("Options", "size_stylet", 4);
    EXPECT_TRUE(QFileInfo(path2).isSymLink());
    EXPECT_EQ(read_bytes(nowhere), QByteArray("[Options]\r\nsize_stylet=4\r\n"));
}

#endif

TEST_F(IniFileTest, NamesOrValuesThatWouldBreakTheFileAreRefused) {
    IniFile ini(path_);
    store_defaults(ini);
    const QByteArray before = read_bytes(path_);
    EXPECT_THROW(ini.write_string("Options", "a=b", "1"), KapError);
    EXPECT_THROW(ini.write_string("Options", "[x]", "1"), KapError);
    EXPECT_THROW(ini.write_string("Options", "", "1"), KapError);
    EXPECT_THROW(ini.write_string("Opt]ions", "k", "1"), KapError);
    EXPECT_THROW(ini.write_string("Options", "k", "1\r\n[Evil]"), KapError);
    EXPECT_THROW(ini.write_string("Options", "k", QString("1") + QChar(u'\0')), KapError);
    EXPECT_EQ(read_bytes(path_), before);
}

#ifndef _WIN32
TEST(IniSettingsPath, BesideTheExecutable) {
    const QFileInfo exe(QFile::decodeName("/proc/self/exe"));
    const QString expected =
        QFileInfo(exe.symLinkTarget()).absolutePath() + QStringLiteral("/Kaptorama.ini");
    EXPECT_EQ(settings_path(), expected);
}

#endif

} // namespace
