// Where the settings file is read and written: beside the executable while its folder can be
// written, per user otherwise, seeded from a read-only file beside the executable.
#include "app/ini_file.h"
#include "platform/core/settings_location.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSet>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

class SettingsFilesTest : public ::testing::Test {
protected:
    QTemporaryDir root_;
    QString program_;
    QString config_;
    QString home_;
    QSet<QString> read_only_; // paths the writability test refuses

    void SetUp() override {
        ASSERT_TRUE(root_.isValid());
        program_ = root_.filePath("usr/bin");
        config_ = root_.filePath("config");
        home_ = root_.filePath("home");
        ASSERT_TRUE(QDir().mkpath(program_));
        ASSERT_TRUE(QDir().mkpath(home_));
    }

    SettingsFiles files(const QString& xdg_config_home) const {
        return settings_files_for(
            program_, xdg_settings_folder(xdg_config_home, home_),
            [this](const QString& path) { return !read_only_.contains(QDir::cleanPath(path)); });
    }
    SettingsFiles files() const { return files(config_); }

    QString beside() const { return program_ + "/Kaptorama.ini"; }
    QString per_user() const { return config_ + "/kaptorama/Kaptorama.ini"; }

    static void touch(const QString& path) {
        ASSERT_TRUE(QDir().mkpath(QFileInfo(path).absolutePath()));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("[Options]\r\n");
    }
};

TEST_F(SettingsFilesTest, WritableProgramFolderKeepsTheFileBesideTheExecutable) {
    EXPECT_EQ(files().write, beside());
    EXPECT_EQ(files().read, beside());
    touch(beside());
    touch(per_user()); // a per-user file does not take over from a usable one beside
    EXPECT_EQ(files().write, beside());
    EXPECT_EQ(files().read, beside());
    // A program folder given with its trailing separator names the same file.
    program_ += "/";
    EXPECT_EQ(files().write, beside().replace("//", "/"));
}

TEST_F(SettingsFilesTest, ReadOnlyProgramFolderUsesThePerUserFile) {
    read_only_.insert(program_);
    EXPECT_EQ(files().write, per_user());
    EXPECT_EQ(files().read, per_user());
    // A read-only file beside the executable gives the starting values of a first run...
    touch(beside());
    EXPECT_EQ(files().write, per_user());
    EXPECT_EQ(files().read, beside());
    // ...until the user has a file of their own.
    touch(per_user());
    EXPECT_EQ(files().write, per_user());
    EXPECT_EQ(files().read, per_user());
}

TEST_F(SettingsFilesTest, ReadOnlyFileInAWritableFolderIsOnlyASeed) {
    touch(beside());
    read_only_.insert(beside());
    EXPECT_EQ(files().write, per_user());
    EXPECT_EQ(files().read, beside());
}

TEST_F(SettingsFilesTest, UnsetOrRelativeConfigHomeMeansDotConfigInTheHomeFolder) {
    read_only_.insert(program_);
    const QString fallback = home_ + "/.config/kaptorama/Kaptorama.ini";
    EXPECT_EQ(files(QString()).write, fallback);
    EXPECT_EQ(files(QStringLiteral("relative/config")).write, fallback);
    EXPECT_EQ(files(QStringLiteral("relative/config")).read, fallback);
}

TEST(SettingsFilesOfThisProgram, BesideTheTestProgramWhoseFolderIsWritable) {
    const QString dir = QCoreApplication::applicationDirPath();
    EXPECT_EQ(settings_files().write, dir + "/Kaptorama.ini");
    EXPECT_EQ(settings_files().read, dir + "/Kaptorama.ini");
    EXPECT_EQ(settings_path(), settings_files().write);
}

TEST(SettingsFilesOfThisProgram, PerUserFolderAndWritability) {
#ifdef _WIN32
    EXPECT_EQ(per_user_settings_folder(),
              QDir::fromNativeSeparators(qEnvironmentVariable("APPDATA")) + "/Kaptorama");
#else
    const QByteArray saved = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", "/etc/xdg-test");
    EXPECT_EQ(per_user_settings_folder(), QStringLiteral("/etc/xdg-test/kaptorama"));
    if (saved.isNull())
        qunsetenv("XDG_CONFIG_HOME");
    else
        qputenv("XDG_CONFIG_HOME", saved);
#endif
    QTemporaryDir dir;
    const QString file = dir.filePath("Kaptorama.ini");
    EXPECT_TRUE(can_write(dir.path()));
    EXPECT_FALSE(can_write(dir.filePath("absent/Kaptorama.ini")));
    QFile(file).open(QIODevice::WriteOnly);
    EXPECT_TRUE(can_write(file));
#ifdef _WIN32 // root may write anything on Linux
    ASSERT_TRUE(QFile::setPermissions(file, QFileDevice::ReadOwner | QFileDevice::ReadUser));
    EXPECT_FALSE(can_write(file));
    QFile::setPermissions(file, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
#endif
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"Kaptorama.ini"})
        << "trying leaves nothing behind";
}

} // namespace
