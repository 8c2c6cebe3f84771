#include "tests/support/app_fixture.h"

#include "app/spin_box.h"
#include "app/status_bar.h"

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>

using ConfigWindowTest = AppTest;

TEST_F(ConfigWindowTest, ControlsSitWhereDesignedWithTheirDefaults) {
    EXPECT_EQ(Form5->GroupBox1->geometry(), QRect(5, 3, 322, 89));
    EXPECT_EQ(Form5->GroupBox1->title(), "Choix du format ");
    EXPECT_EQ(Form5->format_png_256->pos(), QPoint(8, 16));
    EXPECT_EQ(Form5->format_png_256->text(), "png");
    EXPECT_EQ(Form5->Format_png_8->text(), "png 8 bits (maximum 256 couleurs)");
    EXPECT_EQ(Form5->Format_jpg->text(), "jpg - Qualité : 100%");
    EXPECT_EQ(Form5->Format_bmp->text(), "bmp (Taille du fichier importante!)");
    EXPECT_TRUE(Form5->format_png_256->isChecked());
    EXPECT_EQ(Form5->jpg_compression->geometry(), QRect(147, 31, 153, 25));
    EXPECT_EQ(Form5->jpg_compression->value(), 100);
    EXPECT_EQ(Form5->jpg_compression->minimum(), 1);
    EXPECT_EQ(Form5->jpg_compression->singleStep(), 2);
    EXPECT_EQ(Form5->jpg_compression->tickInterval(), 5);

    EXPECT_EQ(Form5->GroupBox3->title(), "Epaisseur des traits  (Pixels) ");
    EXPECT_EQ(Form5->size_stylet->value(), 3);
    EXPECT_EQ(Form5->size_stylet->maximum(), 10);
    EXPECT_EQ(Form5->size_surligneur->value(), 16);
    EXPECT_EQ(Form5->size_surligneur->maximum(), 100);
    EXPECT_EQ(Form5->largeur_px->value(), 400);
    EXPECT_EQ(Form5->largeur_px->maximum(), 10000);
    EXPECT_EQ(Form5->PngSpeedButton1->geometry(), QRect(155, 17, 22, 22));

    EXPECT_EQ(Form5->GroupBox5->geometry(), QRect(5, 200, 322, 98));
    EXPECT_FALSE(Form5->mode_rafale->isChecked());
    EXPECT_EQ(Form5->comfirm_enregistr->text(), "Pas de comfirmation d'enregistrement");
    EXPECT_EQ(Form5->dossier_rafale->geometry(), QRect(11, 44, 89, 25));
    EXPECT_TRUE(Form5->nom_fich_rafale->text().isEmpty());

    EXPECT_EQ(Form5->GroupBox2->title(), "Mémoriser la dernière sélection");
    EXPECT_FALSE(Form5->memo_aera->isEnabled());
    EXPECT_EQ(Form5->Button2->text(), "RAZ");
    EXPECT_EQ(Form5->GroupBox6->title(), " Redimensionner  ");
    EXPECT_EQ(Form5->resize->text(), "Redim. à la volée ");
    EXPECT_EQ(Form5->Button1->geometry(), QRect(250, 424, 75, 25));
    EXPECT_EQ(Form5->Button1->text(), "Ok");
}

TEST_F(ConfigWindowTest, QualitySliderRewritesTheJpegCaption) {
    Form5->jpg_compression->setValue(37);
    EXPECT_EQ(Form5->Format_jpg->text(), "jpg - Qualité :37 %");
    Form5->jpg_compression->setValue(100);
    EXPECT_EQ(Form5->Format_jpg->text(), "jpg - Qualité :100 %");
}

TEST_F(ConfigWindowTest, ShowingTheWindowTakesTheMainWindowOffTheTop) {
    Form1->show();
    Form5->show_non_modal();
    EXPECT_FALSE(Form1->is_stay_on_top());
    Form5->Button1->click();
    EXPECT_FALSE(Form5->isVisible());
    EXPECT_TRUE(Form1->is_stay_on_top());
}

TEST_F(ConfigWindowTest, TickingAutomaticSavingAsksForAFolderAndRestartsTheNumbering) {
    Form5->show_non_modal();
    Form1->commands().save.auto_save_counter = 7;
    Form5->mode_rafale->click(); // the folder dialog is cancelled
    EXPECT_EQ(fake.folder_titles, QStringList{"Choisissez le dossier de sauvegarde"});
    EXPECT_TRUE(Form5->mode_rafale->isChecked());
    EXPECT_EQ(Form1->commands().save.auto_save_counter, 0);
    EXPECT_EQ(Form1->StatusBar1->panel_text(StatusPanel::AutoSave), "Enr/Auto");
    EXPECT_TRUE(Form5->rep_enregitr->text().isEmpty());

    Form5->mode_rafale->click();
    EXPECT_TRUE(Form1->StatusBar1->panel_text(StatusPanel::AutoSave).isEmpty());
}

TEST_F(ConfigWindowTest, FolderChoiceIsRememberedAndForgottenWhenItNoLongerExists) {
    QTemporaryDir dir;
    fake.folder_answers.push_back(dir.path());
    Form5->dossier_rafaleClick();
    EXPECT_EQ(Form5->auto_save_folder, dir.path());
    EXPECT_EQ(Form5->rep_enregitr->text(), dir.path());

    Form5->dossier_rafaleClick(); // cancelled: the folder stays and is preselected
    EXPECT_EQ(fake.folder_preselections.last(), dir.path());
    EXPECT_EQ(Form5->auto_save_folder, dir.path());

    const QString gone = dir.path();
    dir.remove();
    Form5->dossier_rafaleClick();
    EXPECT_TRUE(fake.folder_preselections.last().isEmpty());
    EXPECT_TRUE(Form5->auto_save_folder.isEmpty());
    EXPECT_EQ(Form5->rep_enregitr->text(), gone); // the label still shows it
}

TEST_F(ConfigWindowTest, EnteringTheNameFieldRestartsTheNumbering) {
    Form5->show_non_modal();
    Form5->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(Form5));
    Form5->Button1->setFocus();
    Form1->commands().save.auto_save_counter = 12;
    QTest::mouseClick(Form5->nom_fich_rafale, Qt::LeftButton);
    EXPECT_EQ(Form1->commands().save.auto_save_counter, 0);
}

TEST_F(ConfigWindowTest, ResizeBoxAndWidthFieldWriteTheFirstStatusPanel) {
    Form5->show_non_modal();
    QTest::mouseClick(Form5->resize, Qt::LeftButton);
    QApplication::processEvents();
    EXPECT_TRUE(Form5->resize->isChecked());
    EXPECT_EQ(Form1->StatusBar1->panel_width(StatusPanel::ResizeWidth), 100);
    EXPECT_EQ(Form1->StatusBar1->panel_text(StatusPanel::ResizeWidth), " Largeur =400 px");

    Form5->largeur_px->findChild<QLineEdit*>()->setText("640");
    Form5->largeur_pxExit();
    EXPECT_EQ(Form1->StatusBar1->panel_text(StatusPanel::ResizeWidth), "Largeur =640 px");

    Form5->largeur_px->findChild<QLineEdit*>()->setText("20000");
    Form5->largeur_pxExit();
    EXPECT_EQ(Form5->largeur_px->text_value(), "10000");
    Form5->largeur_px->findChild<QLineEdit*>()->setText("");
    Form5->largeur_pxExit();
    EXPECT_EQ(Form5->largeur_px->text_value(), "0");

    QTest::mouseClick(Form5->resize, Qt::LeftButton);
    QApplication::processEvents();
    EXPECT_TRUE(Form1->StatusBar1->panel_text(StatusPanel::ResizeWidth).isEmpty());
    Form5->largeur_pxExit();
    EXPECT_TRUE(Form1->StatusBar1->panel_text(StatusPanel::ResizeWidth).isEmpty());
}

TEST_F(ConfigWindowTest, RememberedRegionTickAndReset) {
    Form5->x1->setText("10");
    Form5->x2->setText("20");
    Form5->y1->setText("30");
    Form5->y2->setText("40");
    Form5->memo_aera->setEnabled(true);
    Form5->memo_aera->click();
    EXPECT_EQ(Form1->StatusBar1->panel_text(StatusPanel::SameRegion), "Capture la même zone");
    Form5->Button2->click();
    EXPECT_FALSE(Form5->memo_aera->isChecked());
    EXPECT_FALSE(Form5->memo_aera->isEnabled());
    EXPECT_TRUE(Form1->StatusBar1->panel_text(StatusPanel::SameRegion).isEmpty());
    EXPECT_TRUE(Form5->x1->text().isEmpty() && Form5->x2->text().isEmpty() &&
                Form5->y1->text().isEmpty() && Form5->y2->text().isEmpty());
}
