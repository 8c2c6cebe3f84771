#include "tests/support/app_fixture.h"

#include "app/spin_box.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSlider>

namespace {
// Creates the windows after a settings file with the given text has been put in place.
class SettingsLoad : public AppTest {
protected:
    QByteArray content;
    void before_windows() override {
        if (!content.isNull())
            write_ini(content);
    }
    void load(const QByteArray& text) {
        TearDown();
        content = text;
        SetUp();
    }
};

const QByteArray default_file = "[Options]\r\njpg=0\r\nbmp=0\r\npng_8=0\r\npng_256=1\r\n"
                                "jpg_compression=100\r\nsize_stylet=3\r\nsize_surligneur=16\r\n"
                                "largeur_px=400\r\n";
} // namespace

TEST_F(SettingsLoad, NoFileGivesTheDefaultsAndCreatesNoFile) {
    EXPECT_TRUE(Form5->format_png_256->isChecked());
    EXPECT_EQ(Form5->jpg_compression->value(), 100);
    EXPECT_EQ(Form5->size_stylet->value(), 3);
    EXPECT_EQ(Form5->size_surligneur->value(), 16);
    EXPECT_EQ(Form5->largeur_px->value(), 400);
    EXPECT_EQ(Form5->Format_jpg->text(), "jpg - Qualité : 100%");
    EXPECT_FALSE(QFileInfo::exists(ini_path()));
}

TEST_F(SettingsLoad, TheLastSelectedFormatWinsAndNoneMayBeSelected) {
    load("[Options]\r\npng_256=1\r\njpg=1\r\n");
    EXPECT_TRUE(Form5->Format_jpg->isChecked());
    EXPECT_FALSE(Form5->format_png_256->isChecked());

    load("[options]\r\npng_256=0\r\njpg=0\r\nbmp=0\r\npng_8=0\r\n");
    EXPECT_FALSE(Form5->format_png_256->isChecked() || Form5->Format_jpg->isChecked() ||
                 Form5->Format_bmp->isChecked() || Form5->Format_png_8->isChecked());

    load("[OPTIONS]\r\nPNG_256=0\r\nBmp=1\r\npng_8=1\r\n");
    EXPECT_TRUE(Form5->Format_png_8->isChecked());
    EXPECT_FALSE(Form5->Format_bmp->isChecked());
}

TEST_F(SettingsLoad, ValuesOutsideTheRangesAreClamped) {
    load("[Options]\r\njpg_compression=0\r\nsize_stylet=50\r\nsize_surligneur=0\r\n"
         "largeur_px=-5\r\n");
    EXPECT_EQ(Form5->jpg_compression->value(), 1);
    EXPECT_EQ(Form5->Format_jpg->text(), "jpg - Qualité :1 %");
    EXPECT_EQ(Form5->size_stylet->value(), 10);
    EXPECT_EQ(Form5->size_surligneur->value(), 1);
    EXPECT_EQ(Form5->largeur_px->value(), 0);

    load("[Options]\r\njpg_compression=250\r\nlargeur_px=0x1F4\r\n");
    EXPECT_EQ(Form5->jpg_compression->value(), 100);
    EXPECT_EQ(Form5->largeur_px->value(), 500);

    load("[Options]\r\nlargeur_px=abc\r\nsize_stylet=$A\r\n");
    EXPECT_EQ(Form5->largeur_px->value(), 400);
    EXPECT_EQ(Form5->size_stylet->value(), 10);
}

TEST_F(SettingsLoad, AHighlighterOfOneHundredLoadsAndIsWrittenBackWhole) {
    load("[Options]\r\nsize_surligneur=100\r\n");
    EXPECT_EQ(Form5->size_surligneur->value(), 100);
    EXPECT_EQ(Form5->size_surligneur->text_value(), "100");
    Form5->show_non_modal();
    ASSERT_TRUE(Form5->close_window());
    EXPECT_TRUE(read_ini().contains("\r\nsize_surligneur=100\r\n"));
}

using SettingsStore = AppTest;

TEST_F(SettingsStore, ClosingTheWindowWritesTheFileInItsOrder) {
    Form5->show_non_modal();
    ASSERT_TRUE(Form5->close_window());
    EXPECT_EQ(read_ini(), default_file);
}

TEST_F(SettingsStore, ChangedValuesAreWrittenIntoAnExistingSectionInPlace) {
    write_ini("; réglages\r\n[OPTIONS]\r\nlargeur_px=10\r\n\r\n[Autre]\r\nx=1\r\n");
    Form5->set_format_selected(Form5->Format_bmp, true);
    Form5->jpg_compression->setValue(55);
    Form5->size_stylet->findChild<QLineEdit*>()->setText("x"); // not a number: the minimum
    Form5->show_non_modal();
    ASSERT_TRUE(Form5->close_window());
    EXPECT_EQ(read_ini(), "; réglages\r\n[OPTIONS]\r\nlargeur_px=400\r\njpg=0\r\nbmp=1\r\n"
                          "png_8=0\r\npng_256=0\r\njpg_compression=55\r\nsize_stylet=1\r\n"
                          "size_surligneur=16\r\n\r\n[Autre]\r\nx=1\r\n");
}

TEST_F(SettingsStore, AutomaticSavingWithoutNameOrFolderKeepsTheWindowOpen) {
    Form5->show_non_modal();
    Form5->mode_rafale->setChecked(true);
    EXPECT_FALSE(Form5->close_window());
    EXPECT_TRUE(Form5->isVisible());
    ASSERT_EQ(fake.messages.size(), 2);
    EXPECT_EQ(fake.messages[0], "Vous avez choisi le mode \"Enregistrement automatique\"\n\r"
                                "Veuillez choisir un nom de fichier");
    EXPECT_EQ(fake.messages[1], "Vous avez choisi le mode \"Enregistrement automatique\"\n\r"
                                "Veuillez choisir un répertoire d'enregistrement!");
    EXPECT_EQ(read_ini(), default_file); // written all the same

    Form5->nom_fich_rafale->setText("capture");
    EXPECT_FALSE(Form5->close_window());
    EXPECT_EQ(fake.messages.size(), 3);
    Form5->rep_enregitr->setText("/tmp");
    EXPECT_TRUE(Form5->close_window());
    EXPECT_FALSE(Form5->isVisible());
}

TEST_F(SettingsStore, AnUnwritableFileIsReportedAndTheWindowStaysOpen) {
    // A folder standing where the file should be cannot be written, not even by root.
    ASSERT_TRUE(QDir().mkdir(ini_path()));
    Form5->show_non_modal();
    Form5->mode_rafale->setChecked(true);
    QWidget* form = Form5;
    QMetaObject::invokeMethod(
        form, [form] { form->close(); }, Qt::QueuedConnection);
    QCoreApplication::processEvents();
    EXPECT_TRUE(Form5->isVisible());
    ASSERT_EQ(fake.errors.size(), 1);
    EXPECT_EQ(fake.errors[0], "Impossible d'écrire dans " + ini_path() + ".");
    EXPECT_TRUE(fake.messages.isEmpty()); // the check did not run

    // The user is never trapped: a close that follows a failed one closes.
    EXPECT_TRUE(Form5->close_window());
    EXPECT_FALSE(Form5->isVisible());
    EXPECT_EQ(fake.errors.size(), 2);
    EXPECT_TRUE(fake.messages.isEmpty());

    // Once the file can be written again, a failure keeps the window open once more.
    QDir().rmdir(ini_path());
    Form5->show_non_modal();
    Form5->mode_rafale->setChecked(false);
    EXPECT_TRUE(Form5->close_window());
    EXPECT_EQ(read_ini(), default_file);
    ASSERT_TRUE(QFile::remove(ini_path()));
    ASSERT_TRUE(QDir().mkdir(ini_path()));
    Form5->show_non_modal();
    EXPECT_FALSE(Form5->close_window());
    EXPECT_EQ(fake.errors.size(), 3);
    QDir().rmdir(ini_path());
}

namespace {
class SettingsFileOddities : public SettingsLoad {};
} // namespace

TEST_F(SettingsFileOddities, AFileWithANulByteIsReadAndUpdatedKeepingEveryLine) {
    const QByteArray binary("\x00\x01\xFF", 3);
    const QByteArray text = "[Options]\r\nsize_stylet=7\r\n" + binary + "\r\n[Autre]\r\nx=1\r\n";
    load(text);
    EXPECT_EQ(Form5->size_stylet->value(), 7);
    Form5->show_non_modal();
    EXPECT_TRUE(Form5->close_window());
    EXPECT_TRUE(fake.errors.isEmpty());
    EXPECT_EQ(read_ini(), "[Options]\r\nsize_stylet=7\r\n" + binary +
                              "\r\njpg=0\r\nbmp=0\r\npng_8=0\r\npng_256=1\r\n"
                              "jpg_compression=100\r\nsize_surligneur=16\r\nlargeur_px=400\r\n"
                              "[Autre]\r\nx=1\r\n");
}

TEST_F(SettingsFileOddities, ALargeFileIsReadAndUpdated) {
    QByteArray text = "[Options]\r\nlargeur_px=640\r\n[Notes]\r\n";
    while (text.size() < 3 * 1024 * 1024)
        text += "; " + QByteArray(60, 'n') + "\r\n";
    load(text);
    EXPECT_EQ(Form5->largeur_px->value(), 640);
    Form5->jpg_compression->setValue(50);
    Form5->show_non_modal();
    EXPECT_TRUE(Form5->close_window());
    EXPECT_TRUE(fake.errors.isEmpty());
    const QByteArray written = read_ini();
    EXPECT_TRUE(written.startsWith("[Options]\r\nlargeur_px=640\r\njpg=0\r\n"));
    EXPECT_TRUE(written.contains("\r\njpg_compression=50\r\n"));
    EXPECT_TRUE(written.endsWith(text.mid(text.indexOf("[Notes]"))));
}

TEST_F(SettingsFileOddities, AFileTooLargeIsRefusedAtStartAndAtEveryCloseAndNeverLocked) {
    QByteArray text = "[Options]\r\nsize_surligneur=40\r\n";
    while (text.size() <= IniFile::kMaxFileSize)
        text += "; " + QByteArray(98, 'n') + "\r\n";
    load(text);
    QCoreApplication::processEvents();              // the start-up report waits for the event loop
    EXPECT_EQ(Form5->size_surligneur->value(), 16); // nothing read from it
    for (int round = 0; round < 2; ++round) {
        Form5->show_non_modal();
        EXPECT_TRUE(Form5->close_window());
        EXPECT_FALSE(Form5->isVisible());
    }
    const QString why = "Le fichier de réglages \"" + ini_path() +
                        "\" dépasse 16 Mo : Kaptorama ne le lit pas et n'y enregistre rien. "
                        "Réduisez-le ou supprimez-le.";
    EXPECT_EQ(fake.errors, QStringList(3, why));
    EXPECT_EQ(read_ini(), text); // nothing of it lost
}
