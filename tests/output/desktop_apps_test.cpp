// Opening the picture with the desktop's programs, through GIO and the XDG MIME associations of a
// desktop made for the test: two stub applications for BMP pictures that record the arguments
// they were given.
#include "codec/bmp.h"
#include "edit/working_files.h"
#include "output/share_commands.h"
#include "platform/xdg/gio_apps.h"
#include "platform/xdg/open_with_dialog.h"
#include "tests/support/fake_dialogs.h"
#include "tests/support/fake_main_window.h"
#include "tests/support/files.h"
#include "tests/support/test_pictures.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

// GIO reads the XDG folders once, at its first use: the test desktop is put in place before
// anything runs.
struct TestDesktop {
    QTemporaryDir root;
    QString data_home, config_home, records;
    TestDesktop() {
        data_home = root.path() + "/data";
        config_home = root.path() + "/config";
        records = root.path() + "/records";
        QDir().mkpath(data_home + "/applications");
        QDir().mkpath(config_home);
        QDir().mkpath(records);
        qputenv("XDG_DATA_HOME", data_home.toLocal8Bit());
        qputenv("XDG_CONFIG_HOME", config_home.toLocal8Bit());
        const QString stub = root.path() + "/stub.sh";
        write_bytes(stub, "#!/bin/sh\n"
                          "who=\"$1\"; shift\n"
                          "printf '%s\\n' \"$#\" \"$@\" > \"" +
                              records.toLocal8Bit() +
                              "/$who.tmp\"\n"
                              "mv \"" +
                              records.toLocal8Bit() + "/$who.tmp\" \"" + records.toLocal8Bit() +
                              "/$who\"\n");
        QFile::setPermissions(stub, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        entry("kaptest-viewer", "Visionneuse de test", stub + " viewer %f");
        entry("kaptest-editor", "Éditeur de test", stub + " editor %f");
        // GIO finds the applications of a type in the index a desktop keeps beside its entries.
        QProcess::execute("update-desktop-database", {data_home + "/applications"});
        write_bytes(config_home + "/mimeapps.list",
                    "[Default Applications]\nimage/bmp=kaptest-viewer.desktop\n");
    }
    void entry(const QString& id, const QString& name, const QString& exec) {
        write_bytes(data_home + "/applications/" + id + ".desktop",
                    ("[Desktop Entry]\nType=Application\nName=" + name + "\nExec=" + exec +
                     "\nMimeType=image/bmp;\nIcon=image-x-generic\n")
                        .toUtf8());
    }
    // What the stub called `who` recorded: its arguments; empty if it did not run in 10 s.
    QStringList record(const QString& who) const {
        QElapsedTimer timer;
        timer.start();
        const QString path = records + "/" + who;
        while (!QFileInfo::exists(path) && timer.elapsed() < 10000)
            QTest::qWait(20);
        QStringList lines = QString::fromUtf8(file_bytes(path)).split('\n');
        if (!lines.isEmpty() && lines.last().isEmpty())
            lines.removeLast();
        return lines;
    }
};
TestDesktop& desktop() {
    static TestDesktop instance;
    return instance;
}
const bool desktop_ready = (desktop(), true);

class DesktopAppsTest : public ::testing::Test {
protected:
    QTemporaryDir tmp;
    QString weird; // a folder whose name a shell would mangle
    QByteArray old_tmpdir;
    FakeDialogs dialogs_;

    void SetUp() override {
        ASSERT_TRUE(desktop_ready);
        for (const QString& name : QDir(desktop().records).entryList(QDir::Files))
            QFile::remove(desktop().records + "/" + name);
        weird = tmp.path() + "/a b $HOME 'q' \"d\" `id` ;-x";
        ASSERT_TRUE(QDir().mkpath(weird));
        old_tmpdir = qgetenv("TMPDIR");
        qputenv("TMPDIR", weird.toLocal8Bit());
        set_dialogs(&dialogs_);
    }
    void TearDown() override {
        set_dialogs(nullptr);
        if (old_tmpdir.isNull())
            qunsetenv("TMPDIR");
        else
            qputenv("TMPDIR", old_tmpdir);
    }
    static QString mimeapps() {
        return QString::fromUtf8(file_bytes(desktop().config_home + "/mimeapps.list"));
    }
};

TEST_F(DesktopAppsTest, TheDefaultApplicationComesFirstAndOpensTheFileAsOneArgument) {
    const std::vector<DesktopApp> apps = apps_for_type(kBmpMimeType);
    ASSERT_GE(apps.size(), 2u);
    EXPECT_EQ(apps[0].id, "kaptest-viewer.desktop");
    EXPECT_EQ(apps[0].name, "Visionneuse de test");
    EXPECT_EQ(apps[0].icon, "image-x-generic");
    EXPECT_TRUE(apps[0].is_default);
    bool editor = false;
    for (std::size_t i = 1; i < apps.size(); ++i) {
        EXPECT_FALSE(apps[i].is_default);
        editor = editor || apps[i].id == "kaptest-editor.desktop";
    }
    EXPECT_TRUE(editor);

    const QString path = weird + "/-kaptorama.bmp";
    write_bytes(path, "BM");
    ASSERT_TRUE(launch_default_for_type(kBmpMimeType, path));
    EXPECT_EQ(desktop().record("viewer"), QStringList({"1", path}));
}

TEST_F(DesktopAppsTest, ExternalProgramCommandOpensTheCurrentPictureWithTheDefault) {
    FakeMainWindow window;
    window.picture_ = position_pattern(QSize(8, 6));
    ShareCommands share(window, window, window);
    share.open_in_external_program();
    EXPECT_EQ(desktop().record("viewer"), QStringList({"1", current_picture_file()}));
    EXPECT_TRUE(current_picture_file().startsWith(weird));
    EXPECT_EQ(read_bmp(current_picture_file()), window.picture_);
    EXPECT_TRUE(window.minimised);
}

TEST_F(DesktopAppsTest, ChooserListsTheApplicationsAndMakesTheChoiceTheDefault) {
    FakeMainWindow window;
    window.picture_ = position_pattern(QSize(8, 6));
    ShareCommands share(window, window, window);
    QWidget parent;
    bool listed_default_first = false;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        auto* chooser = dynamic_cast<OpenWithDialog*>(dialog);
        if (!chooser)
            return;
        listed_default_first =
            chooser->list()->item(0)->text() == "Visionneuse de test (programme par défaut)";
        for (int row = 0; row < chooser->list()->count(); ++row)
            if (chooser->list()->item(row)->text() == "Éditeur de test")
                chooser->list()->setCurrentRow(row);
        chooser->default_box()->setChecked(true);
        chooser->open_button()->click();
    });
    share.choose_program(&parent);
    EXPECT_TRUE(listed_default_first);
    EXPECT_EQ(desktop().record("editor"), QStringList({"1", current_picture_file()}));
    EXPECT_TRUE(mimeapps().contains("image/bmp=kaptest-editor.desktop"));
    EXPECT_TRUE(window.minimised);

    // Cancelled: nothing opens, nothing changes, the window stays.
    FakeMainWindow other;
    other.picture_ = window.picture_;
    ShareCommands share_other(other, other, other);
    QTimer::singleShot(0, [] {
        if (QWidget* dialog = QApplication::activeModalWidget())
            qobject_cast<QDialog*>(dialog)->reject();
    });
    share_other.choose_program(&parent);
    EXPECT_FALSE(other.minimised);

    // Put the viewer back for the other cases.
    DesktopApp viewer;
    viewer.id = "kaptest-viewer.desktop";
    set_default_app(viewer, kBmpMimeType);
}

TEST_F(DesktopAppsTest, ABrowsedProgramGetsTheFileAndCanBecomeTheDefault) {
    const QString program = desktop().root.path() + "/my tool $1.sh";
    write_bytes(program, "#!/bin/sh\nprintf '%s\\n' \"$#\" \"$@\" > \"" +
                             desktop().records.toLocal8Bit() + "/browsed.tmp\"\nmv \"" +
                             desktop().records.toLocal8Bit() + "/browsed.tmp\" \"" +
                             desktop().records.toLocal8Bit() + "/browsed\"\n");
    QFile::setPermissions(program, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QString path = weird + "/100% kaptorama.bmp";
    write_bytes(path, "BM");

    QWidget parent;
    OpenWithDialog dialog(&parent, path);
    dialog.add_program(program);
    const std::optional<DesktopApp> chosen = dialog.chosen();
    ASSERT_TRUE(chosen);
    EXPECT_EQ(chosen->command, program);
    set_default_app(*chosen, kBmpMimeType);
    ASSERT_TRUE(launch_app(*chosen, path));
    EXPECT_EQ(desktop().record("browsed"), QStringList({"1", path}));
    const QStringList made =
        QDir(desktop().data_home + "/applications").entryList({"userapp-*.desktop"});
    ASSERT_EQ(made.size(), 1);
    EXPECT_TRUE(mimeapps().contains("image/bmp=" + made[0]));

    // The default applications now open the file with the browsed program.
    QFile::remove(desktop().records + "/browsed");
    ASSERT_TRUE(launch_default_for_type(kBmpMimeType, path));
    EXPECT_EQ(desktop().record("browsed"), QStringList({"1", path}));

    DesktopApp viewer;
    viewer.id = "kaptest-viewer.desktop";
    set_default_app(viewer, kBmpMimeType);
    QFile::remove(desktop().data_home + "/applications/" + made[0]);
}

} // namespace
