#include "tests/support/capture_fixture.h"

#include "app/status_bar.h"
#include "codec/bmp.h"
#include "output/save_command.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QRadioButton>
#include <QSlider>
#include <sys/stat.h>

namespace {
QByteArray head(const QString& path, int bytes) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.read(bytes);
}
bool is_png(const QString& path) {
    return head(path, 8) == QByteArray("\x89PNG\r\n\x1a\n", 8);
}
bool is_jpeg(const QString& path) {
    return head(path, 3) == QByteArray("\xFF\xD8\xFF", 3);
}
bool is_bmp(const QString& path) {
    return head(path, 2) == "BM";
}
QString status() {
    return Form1->StatusBar1->panel_text(StatusPanel::Notice);
}
} // namespace

class SaveTest : public CaptureTest {
protected:
    QTemporaryDir out;
    void SetUp() override {
        CaptureTest::SetUp();
        Form1->Image1->set_picture(position_pattern(QSize(64, 48)));
    }
    void automatic(std::optional<ImageFormat> format, const QString& base = "a") {
        Form5->auto_save_folder = out.path();
        Form5->rep_enregitr->setText(out.path());
        Form5->nom_fich_rafale->setText(base);
        Form5->mode_rafale->setChecked(true);
        select(format);
    }
    void select(std::optional<ImageFormat> format) {
        QRadioButton* buttons[] = {Form5->format_png_256, Form5->Format_png_8, Form5->Format_jpg,
                                   Form5->Format_bmp};
        for (QRadioButton* b : buttons)
            Form5->set_format_selected(b, false);
        if (format == ImageFormat::Png)
            Form5->set_format_selected(Form5->format_png_256, true);
        if (format == ImageFormat::Png8)
            Form5->set_format_selected(Form5->Format_png_8, true);
        if (format == ImageFormat::Jpeg)
            Form5->set_format_selected(Form5->Format_jpg, true);
        if (format == ImageFormat::Bmp)
            Form5->set_format_selected(Form5->Format_bmp, true);
    }
    QString file(const QString& name) { return out.path() + "/" + name; }
};

TEST_F(SaveTest, AutomaticSavesNumberTheFilesAndSkipTakenNames) {
    automatic(ImageFormat::Jpeg);
    Form1->commands().save.auto_save_counter = 0;
    Form1->save_Click();
    EXPECT_TRUE(is_jpeg(file("a_001.jpg")));
    QFile taken(file("a_002.jpg"));
    ASSERT_TRUE(taken.open(QIODevice::WriteOnly));
    taken.write("keep");
    taken.close();
    Form1->save_Click();
    Form1->save_Click();
    EXPECT_TRUE(is_jpeg(file("a_003.jpg")));
    EXPECT_TRUE(is_jpeg(file("a_004.jpg")));
    EXPECT_EQ(head(file("a_002.jpg"), 10), "keep");
    EXPECT_EQ(Form1->commands().save.auto_save_counter, 4);
    ASSERT_EQ(fake.messages.size(), 3);
    EXPECT_EQ(fake.messages[2], "Capture enregistrée sous :\n\r" + file("a_004.jpg"));
    EXPECT_EQ(status(), "Enr/S:\n\r" + file("a_004.jpg"));
    // The panel is one line high: it shows the line break as a space.
    EXPECT_EQ(Form1->StatusBar1->shown_text(StatusPanel::Notice), "Enr/S: " + file("a_004.jpg"));

    // Switching the format keeps the numbering; every format skips taken names.
    select(ImageFormat::Bmp);
    QFile::copy(file("a_001.jpg"), file("a_005.bmp"));
    Form1->save_Click();
    EXPECT_TRUE(is_bmp(file("a_006.bmp")));
    EXPECT_EQ(status(), "Enr/sous :\n\r" + file("a_006.bmp"));
    EXPECT_EQ(read_bmp(file("a_006.bmp")), picture());
}

TEST_F(SaveTest, AutomaticNamesHaveAtLeastThreeDigits) {
    SaveSettings s;
    s.folder = "/d";
    s.base_name = "ecran";
    s.format = ImageFormat::Jpeg;
    EXPECT_EQ(SaveCommand::automatic_name(s, 7), "/d/ecran_007.jpg");
    s.format = ImageFormat::Png8;
    EXPECT_EQ(SaveCommand::automatic_name(s, 42), "/d/ecran_042.png");
    s.format = ImageFormat::Bmp;
    EXPECT_EQ(SaveCommand::automatic_name(s, 1000), "/d/ecran_1000.bmp");
}

TEST_F(SaveTest, NoConfirmationAndTheEightBitPngLeaveTheirMarks) {
    automatic(ImageFormat::Png8);
    Form5->comfirm_enregistr->setChecked(true);
    Form1->commands().save.auto_save_counter = 0;
    const QImage before = picture();
    Form1->save_Click();
    EXPECT_TRUE(is_png(file("a_001.png")));
    EXPECT_TRUE(fake.messages.isEmpty());
    EXPECT_TRUE(status().isEmpty()); // the 8-bit PNG leaves the panel empty
    EXPECT_EQ(picture(), before);    // full colours kept
    EXPECT_EQ(QImage(file("a_001.png")).format(), QImage::Format_Indexed8);

    select(ImageFormat::Png);
    Form1->save_Click();
    EXPECT_EQ(status(), "Enr/sous :\n\r" + file("a_002.png"));
    EXPECT_EQ(QImage(file("a_002.png")).convertToFormat(QImage::Format_BGR888), before);
}

TEST_F(SaveTest, NoFormatOrNoPictureWritesNothing) {
    automatic(std::nullopt);
    Form1->commands().save.auto_save_counter = 0;
    Form1->StatusBar1->set_panel_text(StatusPanel::Notice, "avant");
    Form1->save_Click();
    EXPECT_EQ(Form1->commands().save.auto_save_counter, 1);
    EXPECT_TRUE(QDir(out.path()).isEmpty());
    EXPECT_TRUE(status().isEmpty());
    EXPECT_TRUE(fake.messages.isEmpty());

    Form1->Image1->set_picture(QImage());
    Form1->save_Click();
    EXPECT_EQ(fake.messages, QStringList{"Pas de capture à sauvegarder!"});
    EXPECT_EQ(Form1->commands().save.auto_save_counter, 1);
}

TEST_F(SaveTest, TheDialogOffersTheConfiguredFormatAndActsOnTheChosenOne) {
    select(ImageFormat::Jpeg);
    fake.save_answers.push_back(SaveFileAnswer{file("x.JPG"), 3});
    Form1->save_Click();
    ASSERT_EQ(fake.save_requests.size(), 1u);
    const SaveFileRequest& r = fake.save_requests[0];
    EXPECT_EQ(r.title, "Enregistrer la capture d'écran");
    EXPECT_EQ(r.filter_index, 3);
    EXPECT_EQ(r.default_suffix, "png");
    EXPECT_EQ(r.filters.size(), 4);
    EXPECT_EQ(r.filters[1], "Portable Network Graphics 8 bits(*.png)");
    EXPECT_TRUE(r.file_name.isEmpty());
    EXPECT_TRUE(is_bmp(file("x.JPG"))); // only ".jpg" exactly gets a JPEG
    EXPECT_EQ(status(), "Enr/S:\n\r" + file("x.JPG"));

    fake.save_answers.push_back(SaveFileAnswer{file("y.jpg"), 4});
    Form1->save_Click();
    EXPECT_EQ(fake.save_requests[1].file_name, file("x.JPG")); // the last name is proposed
    EXPECT_TRUE(is_jpeg(file("y.jpg")));

    fake.save_answers.push_back(SaveFileAnswer{file("z.png"), 2});
    Form1->save_Click();
    EXPECT_EQ(QImage(file("z.png")).format(), QImage::Format_Indexed8);

    select(std::nullopt);
    Form1->save_Click(); // cancelled
    EXPECT_EQ(fake.save_requests.back().filter_index, 1);
    EXPECT_EQ(status(), "Enr/S:\n\r" + file("z.png"));
    EXPECT_TRUE(fake.messages.isEmpty());
}

TEST_F(SaveTest, CancellingTheFirstDialogShowsOnlyTheLabel) {
    Form1->save_Click();
    EXPECT_EQ(status(), "Enr/S:\n\r");
}

TEST_F(SaveTest, AFileThatCannotBeCreatedIsReportedAndNothingElseHappens) {
    fake.save_answers.push_back(SaveFileAnswer{out.path() + "/missing/x.png", 1});
    QTest::mouseClick(Form1->save_, Qt::LeftButton);
    ASSERT_EQ(fake.errors.size(), 1);
    EXPECT_TRUE(fake.errors[0].startsWith("Impossible de créer le fichier \"" + out.path() +
                                          "/missing/x.png\"."))
        << fake.errors[0].toStdString();
    EXPECT_TRUE(status().isEmpty());
}

TEST_F(SaveTest, SavingOverAFileKeepsItsPermissionBits) {
    const QString path = file("prive.png");
    QFile old(path);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("ancien");
    old.close();
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0600), 0);
    for (const int filter : {1, 4}) {
        fake.save_answers.push_back(SaveFileAnswer{path, filter});
        Form1->save_Click();
        struct stat st {};
        ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0600u) << filter;
    }
    EXPECT_TRUE(is_bmp(path));
    EXPECT_TRUE(fake.errors.isEmpty());
    EXPECT_EQ(QDir(out.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList{"prive.png"});
}
