#include "tests/support/app_fixture.h"

#include "app/spin_box.h"
#include "app/status_bar.h"
#include "capture/Unit3.h"
#include "edit/Unit4.h"
#include "edit/history.h"
#include "edit/picture_view.h"
#include "edit/working_files.h"
#include "platform/core/error.h"
#include "platform/core/temp_dir.h"
#include "platform/qt_translations.h"
#include "resize/Unit2.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollArea>
#include <QTest>
#include <QToolButton>
#include <stdexcept>

using MainWindowTest = AppTest;

TEST_F(MainWindowTest, StartsWithFiveWindowsAndTheDesignedMainWindow) {
    ASSERT_TRUE(Form1 && Form2 && Form3 && Form4 && Form5);
    EXPECT_EQ(QApplication::applicationDisplayName(), "Kaptorama");
    EXPECT_EQ(Form1->windowTitle(), "-=[Kaptorama 2 Beta 58]=-");
    EXPECT_EQ(Form3->windowTitle(), "Form3");
    EXPECT_EQ(Form4->windowTitle(), "Insérer du texte");
    EXPECT_EQ(Form5->windowTitle(), "Configuration");
    EXPECT_EQ(Form5->size(), QSize(333, 459));
    EXPECT_EQ(Form4->size(), QSize(237, 61));
    EXPECT_FALSE(Form2->isVisible() || Form3->isVisible() || Form4->isVisible() ||
                 Form5->isVisible());

    Form1->show();
    QApplication::processEvents();
    EXPECT_EQ(Form1->outer_size(), QSize(442, 423));
    EXPECT_TRUE(Form1->is_stay_on_top());
    EXPECT_TRUE(Form1->windowFlags() & Qt::WindowStaysOnTopHint);

    // The window cannot be made smaller than 442 x 165, frame included.
    Form1->resize(100, 50);
    EXPECT_EQ(Form1->outer_size(), QSize(442, 165));
}

TEST_F(MainWindowTest, ToolbarButtonsSitInOneRowWithTheirHints) {
    const struct {
        QToolButton* button;
        int left;
        const char* hint;
    } expected[] = {
        {Form1->Capture_bureau, 3, "Capturer le bureau"},
        {Form1->Capture_fenetre, 45, "Capturer une fenêtre active"},
        {Form1->Capture_selection, 87, "Capturer une zone à la souris"},
        {Form1->Insere_curseur, 129, "Insérer le curseur"},
        {Form1->copy_clipboard, 171, "Coller la capture dans le presse papier"},
        {Form1->appli_extern, 213, "Ouvrir la capture avec une application externe"},
        {Form1->mail, 255, "Envoyer la capture par email"},
        {Form1->reload_, 297, "Réinitialiser la capture"},
        {Form1->fenetre_reglages, 339, "Réglages"},
        {Form1->save_, 381, "Enregistrer la capture"},
    };
    for (const auto& e : expected) {
        SCOPED_TRACE(e.hint);
        EXPECT_EQ(e.button->geometry(), QRect(e.left, 0, 42, 42));
        EXPECT_EQ(e.button->toolTip(), QString::fromUtf8(e.hint));
        EXPECT_EQ(e.button->focusPolicy(), Qt::NoFocus);
        EXPECT_TRUE(e.button->autoRaise());
        EXPECT_FALSE(e.button->icon().isNull());
        EXPECT_EQ(e.button->isCheckable(), e.button == Form1->Insere_curseur);
    }
    EXPECT_EQ(Form1->reload_->iconSize(), QSize(24, 24));
    EXPECT_EQ(Form1->save_->iconSize(), QSize(32, 32));

    // The cursor toggle is sticky: each click flips it.
    QTest::mouseClick(Form1->Insere_curseur, Qt::LeftButton);
    EXPECT_TRUE(Form1->Insere_curseur->isChecked());
    QTest::mouseClick(Form1->Insere_curseur, Qt::LeftButton);
    EXPECT_FALSE(Form1->Insere_curseur->isChecked());
}

TEST_F(MainWindowTest, PictureAreaDelayPanelAndStatusBarStartAsDesigned) {
    Form1->show();
    QApplication::processEvents();
    EXPECT_EQ(Form1->ScrollBox1->pos(), QPoint(3, 45));
    EXPECT_EQ(Form1->Image1->size(), QSize(400, 252));
    EXPECT_TRUE(Form1->Image1->is_empty());
    EXPECT_FALSE(Form1->Shape1->isVisible());
    EXPECT_FALSE(Form1->Texte->isVisible());
    EXPECT_EQ(Form1->Texte->toolTip(), "Cliquer glisser pour dépalcer,double clic pour insérer'");

    EXPECT_FALSE(Form1->Panel_tempo->isVisible());
    EXPECT_EQ(Form1->Panel_tempo->geometry(), QRect(129, 41, 41, 41));
    EXPECT_EQ(Form1->Panel_tempo->toolTip(), "Délai  avant capture");
    EXPECT_EQ(Form1->tempo->geometry(), QRect(8, 10, 29, 22));
    EXPECT_EQ(Form1->tempo->minimum(), 0);
    EXPECT_EQ(Form1->tempo->maximum(), 20);
    EXPECT_EQ(Form1->tempo->value(), 0);
    EXPECT_EQ(Form1->tempo->toolTip(), "Temporisation en seconde");

    EXPECT_EQ(Form1->StatusBar1->height(), 19);
    EXPECT_EQ(Form1->StatusBar1->panel_width(StatusPanel::ResizeWidth), 78);
    EXPECT_EQ(Form1->StatusBar1->panel_width(StatusPanel::SameRegion), 128);
    EXPECT_EQ(Form1->StatusBar1->panel_width(StatusPanel::AutoSave), 55);
    EXPECT_EQ(Form1->StatusBar1->panel_width(StatusPanel::Notice), 50);
    EXPECT_EQ(Form1->StatusBar1->geometry().bottom(), Form1->height() - 1);

    // The picture area follows the window's size.
    const QSize before = Form1->ScrollBox1->size();
    Form1->resize(Form1->width() + 100, Form1->height() + 60);
    EXPECT_EQ(Form1->ScrollBox1->size(), before + QSize(100, 60));
}

TEST_F(MainWindowTest, StartStateOfTheEditingFields) {
    EXPECT_TRUE(Form1->commands().history.history().empty());
    EXPECT_EQ(Form1->commands().history.history_index(), 0);
    EXPECT_TRUE(Form1->commands().tools.state().mode_highlighter);
    EXPECT_FALSE(Form1->commands().tools.state().mode_arrow ||
                 Form1->commands().tools.state().mode_stylus ||
                 Form1->commands().tools.state().mode_text ||
                 Form1->commands().tools.state().mode_rectangle);
    EXPECT_FALSE(Form1->commands().tools.state().stroke_active ||
                 Form1->commands().tools.state().snapshot_pending ||
                 Form1->commands().history.undo_picture_reset() ||
                 Form1->commands().text.label_dragging() ||
                 Form1->commands().capture.with_cursor() || Form1->commands().resize.resized);
    EXPECT_EQ(Form1->commands().resize.last_resize_width, 0);
}

TEST_F(MainWindowTest, ClosingDeletesTheFiveWorkingFilesAndNothingElse) {
    const QString dir = temp_dir();
    ASSERT_TRUE(dir.endsWith('/'));
    QStringList paths;
    for (const char* name :
         {"kaptorama.bmp", "kaptoramao.bmp", "kaptorama.png", "kaptorama1.bmp", "kaptorama.jpg"})
        paths << dir + QLatin1String(name);
    EXPECT_EQ(working_files_in_deletion_order(), paths);
    const QString other = dir + QStringLiteral("kaptorama-other.bmp");
    for (const QString& path : paths + QStringList{other}) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    Form1->show();
    Form1->close();
    for (const QString& path : paths)
        EXPECT_FALSE(QFile::exists(path)) << path.toStdString();
    EXPECT_TRUE(QFile::exists(other));
    QFile::remove(other);

    // Closing with no working file at all reports nothing.
    Form1->close();
    EXPECT_TRUE(fake.errors.isEmpty());
    EXPECT_TRUE(fake.messages.isEmpty());
}

TEST(TempDir, HonoursTmpdirWithATrailingSeparator) {
    const QByteArray old = qgetenv("TMPDIR");
    qputenv("TMPDIR", "/var/tmp");
    EXPECT_EQ(temp_dir(), "/var/tmp/");
    qputenv("TMPDIR", "/var/tmp/");
    EXPECT_EQ(temp_dir(), "/var/tmp/");
    if (old.isNull())
        qunsetenv("TMPDIR");
    else
        qputenv("TMPDIR", old);
}

// --- The error guard -------------------------------------------------------------------------

TEST(ErrorBox, AddsAFullStopOnlyAfterCharactersThatSortAfterIt) {
    EXPECT_EQ(error_box_text("Erreur JPEG #42"), "Erreur JPEG #42.");
    EXPECT_EQ(error_box_text("Impossible d'écrire dans /x/Kaptorama.ini"),
              "Impossible d'écrire dans /x/Kaptorama.ini.");
    EXPECT_EQ(error_box_text("Déjà fini."), "Déjà fini.");
    EXPECT_EQ(error_box_text("Attention!"), "Attention!");
    EXPECT_EQ(error_box_text("(voir plus haut)"), "(voir plus haut)");
    EXPECT_EQ(error_box_text("100 %"), "100 %");
    EXPECT_EQ(error_box_text("chemin/"), "chemin/.");
    EXPECT_EQ(error_box_text(""), "");
}

TEST_F(MainWindowTest, AnErrorEscapingAHandlerShowsTheErrorBoxAndTheProgramGoesOn) {
    QPushButton button;
    QObject::connect(&button, &QPushButton::clicked, [] {
        throw KapError(QStringLiteral("Impossible de créer le fichier \"x\". Non"));
    });
    QTest::mouseClick(&button, Qt::LeftButton);
    ASSERT_EQ(fake.errors.size(), 1);
    EXPECT_EQ(fake.errors[0], "Impossible de créer le fichier \"x\". Non.");

    QObject::disconnect(&button, nullptr, nullptr, nullptr);
    QObject::connect(&button, &QPushButton::clicked, [] { throw std::runtime_error("boom!"); });
    QTest::mouseClick(&button, Qt::LeftButton);
    ASSERT_EQ(fake.errors.size(), 2);
    EXPECT_EQ(fake.errors[1], "boom!");
}

TEST_F(MainWindowTest, QtsOwnTextsTurnFrenchOnceTheMainWindowShowsOrADialogIsReadied) {
    // The windows made again as at start-up, before Qt's texts are loaded.
    forget_qt_translations();
    destroy_windows();
    create_windows();
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), "Cancel");

    Form1->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(Form1));
    for (int i = 0; i < 100 && !qt_translations_loaded(); ++i)
        QTest::qWait(10);
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), "Annuler");
    EXPECT_EQ(QCoreApplication::translate("QFileDialog", "File &name:"), "&Nom de fichier :");
    // The menu's key names follow.
    EXPECT_EQ(Form1->Rfaire1->text(), "Refaire\tCtrl+Maj+Z");

    forget_qt_translations();
    QMessageBox box;
    stack_over(&box, Form1);
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "Cancel"), "Annuler");
}
