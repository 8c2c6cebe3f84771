#include "tests/support/app_fixture.h"

#include "edit/Unit4.h"
#include "edit/picture_view.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QContextMenuEvent>
#include <QMenu>
#include <QTest>
#include <QTimer>

using MenuTest = AppTest;

namespace {
QString caption(const QAction* action) {
    return action->text().section('\t', 0, 0);
}
QString shortcut_text(const QAction* action) {
    return action->text().section('\t', 1);
}
} // namespace

TEST_F(MenuTest, ItemsCaptionsGroupsTicksAndShortcutsAreThoseOfTheDesign) {
    const QList<QAction*> top = Form1->PopupMenu1->actions();
    QStringList captions;
    for (QAction* a : top)
        captions << (a->isSeparator() ? QStringLiteral("-") : caption(a));
    EXPECT_EQ(captions, (QStringList{"Surligneur", "Flèche", "Stylet", "Texte", "Rectangle", "-",
                                     "Redimensionner", "Effet négatif photo", "-", "Défaire",
                                     "Refaire", "-", "Réglages"}));

    struct Sub {
        QMenu* menu;
        QStringList captions;
        QAction* ticked;
    };
    const Sub subs[] = {
        {Form1->Surligneur1, {"Jaune", "Vert", "Bleu", "Fuchsia"}, Form1->Jaune_m},
        {Form1->Fleche_, {"Rouge", "Bleue", "Jaune", "Noire"}, Form1->Rouge2},
        {Form1->Stylet1, {"Rouge", "Bleu", "Jaune", "Noir"}, Form1->Rouge1},
        {Form1->Rectangle1, {"Rouge", "Vert", "Jaune", "Noir"}, Form1->Rouge3},
    };
    for (const Sub& sub : subs) {
        QStringList got;
        for (QAction* a : sub.menu->actions()) {
            got << caption(a);
            EXPECT_TRUE(a->isCheckable());
            EXPECT_EQ(a->isChecked(), a == sub.ticked);
            EXPECT_TRUE(a->actionGroup() && a->actionGroup()->isExclusive());
        }
        EXPECT_EQ(got, sub.captions);
    }
    EXPECT_EQ(shortcut_text(Form1->Jaune_m),
              QKeySequence("Ctrl+S").toString(QKeySequence::NativeText));
    EXPECT_EQ(shortcut_text(Form1->Rouge2),
              QKeySequence("Ctrl+F").toString(QKeySequence::NativeText));
    EXPECT_EQ(shortcut_text(Form1->Rouge1),
              QKeySequence("Ctrl+E").toString(QKeySequence::NativeText));
    EXPECT_EQ(shortcut_text(Form1->Texte1),
              QKeySequence("Ctrl+T").toString(QKeySequence::NativeText));
    EXPECT_EQ(shortcut_text(Form1->Dfaire1),
              QKeySequence("Ctrl+Z").toString(QKeySequence::NativeText));
    EXPECT_EQ(shortcut_text(Form1->Rfaire1),
              QKeySequence("Ctrl+Shift+Z").toString(QKeySequence::NativeText));
    EXPECT_EQ(shortcut_text(Form1->Reglages),
              QKeySequence("Ctrl+R").toString(QKeySequence::NativeText));
    EXPECT_EQ(Form1->shortcut_keys().size(), 7);
}

TEST_F(MenuTest, CheckingAColourUnchecksTheOthersOfItsGroupOnly) {
    Form1->Bleu2->trigger();
    EXPECT_TRUE(Form1->Bleu2->isChecked());
    EXPECT_FALSE(Form1->Rouge2->isChecked());
    EXPECT_TRUE(Form1->Rouge1->isChecked()); // the stylus's red is another group
    EXPECT_EQ(Form1->arrow_colour(), 0x00FF0000u);
    Form1->Rouge_m->trigger();
    EXPECT_EQ(Form1->highlighter_colour(), 0x00FF00FFu);
    EXPECT_EQ(Form1->highlighter_cursor_name(), "feutre_rouge");
}

TEST_F(MenuTest, OpeningASubmenuRunsItsItemsHandler) {
    emit Form1->Fleche_->aboutToShow();
    EXPECT_TRUE(Form1->commands().tools.state().mode_arrow);
    EXPECT_FALSE(Form1->commands().tools.state().mode_highlighter);
    emit Form1->Rectangle1->aboutToShow();
    EXPECT_TRUE(Form1->commands().tools.state().mode_rectangle);
    EXPECT_FALSE(Form1->commands().tools.state().mode_arrow);
    EXPECT_EQ(Form1->Image1->cursor().shape(), Qt::CrossCursor);
    emit Form1->Stylet1->aboutToShow();
    EXPECT_TRUE(Form1->commands().tools.state().mode_stylus);
    EXPECT_EQ(Form1->Image1->cursor().shape(), Qt::BitmapCursor);
}

TEST_F(MenuTest, EveryOpeningOfTheMenuSelectsTheHighlighter) {
    Form1->Rectangle1Click();
    ASSERT_TRUE(Form1->commands().tools.state().mode_rectangle);
    Form1->show();
    Form1->enable_popup();
    QTimer::singleShot(0, Form1->PopupMenu1, [] { Form1->PopupMenu1->close(); });
    Form1->PopupMenu1->exec(Form1->mapToGlobal(QPoint(50, 80)));
    EXPECT_TRUE(Form1->commands().tools.state().mode_highlighter);
    EXPECT_FALSE(Form1->commands().tools.state().mode_rectangle);
    EXPECT_EQ(Form1->Image1->cursor().shape(), Qt::BitmapCursor);
}

TEST_F(MenuTest, AShortcutRunsTheHandlersAboveTheItemFirst) {
    Form1->Jaune2Click(); // the arrow's colour is now yellow
    ASSERT_TRUE(Form1->commands().tools.state().mode_highlighter);
    EXPECT_TRUE(Form1->run_shortcut(QKeySequence("Ctrl+F")));
    EXPECT_TRUE(Form1->commands().tools.state().mode_arrow);
    EXPECT_TRUE(Form1->Rouge2->isChecked());

    Form1->Noir1Click();
    EXPECT_TRUE(Form1->run_shortcut(QKeySequence("Ctrl+E")));
    EXPECT_TRUE(Form1->commands().tools.state().mode_stylus);
    EXPECT_TRUE(Form1->Rouge1->isChecked());

    Form1->Vert1Click();
    EXPECT_TRUE(Form1->run_shortcut(QKeySequence("Ctrl+S")));
    EXPECT_TRUE(Form1->commands().tools.state().mode_highlighter);
    EXPECT_TRUE(Form1->Jaune_m->isChecked());

    EXPECT_FALSE(Form1->run_shortcut(QKeySequence("Ctrl+Q")));
}

TEST_F(MenuTest, ShortcutsWorkFromTheKeyboardWithTheMenuOpenOrClosed) {
    Form1->show();
    Form1->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(Form1));
    QTest::keyClick(Form1, Qt::Key_R, Qt::ControlModifier);
    EXPECT_TRUE(Form5->isVisible());
    Form5->hide();

    // With the menu open the key goes to the menu: the menu closes and the shortcut runs.
    Form1->enable_popup();
    Form1->Noir2Click();
    QMenu* menu = Form1->PopupMenu1;
    QTimer::singleShot(0, menu, [menu] { QTest::keyClick(menu, Qt::Key_F, Qt::ControlModifier); });
    QTimer::singleShot(200, menu, [menu] { menu->close(); });
    Form1->PopupMenu1->exec(Form1->mapToGlobal(QPoint(50, 80)));
    EXPECT_TRUE(Form1->commands().tools.state().mode_arrow);
    EXPECT_TRUE(Form1->Rouge2->isChecked());
}

TEST_F(MenuTest, TheMenuDoesNotOpenBeforeAPressOnAPicture) {
    Form1->show();
    ASSERT_FALSE(Form1->popup_enabled());
    QContextMenuEvent right_click(QContextMenuEvent::Mouse, QPoint(60, 100),
                                  Form1->mapToGlobal(QPoint(60, 100)));
    QApplication::sendEvent(Form1, &right_click);
    EXPECT_FALSE(Form1->PopupMenu1->isVisible());

    // A press on the empty picture does not switch it on either.
    QTest::mousePress(Form1->Image1, Qt::RightButton, {}, QPoint(5, 5));
    EXPECT_FALSE(Form1->popup_enabled());

    QImage picture(20, 10, QImage::Format_BGR888);
    picture.fill(Qt::white);
    Form1->Image1->set_picture(picture);
    QTest::mousePress(Form1->Image1, Qt::RightButton, {}, QPoint(5, 5));
    EXPECT_TRUE(Form1->popup_enabled());
    QApplication::sendEvent(Form1, &right_click);
    EXPECT_TRUE(Form1->PopupMenu1->isVisible());
    Form1->PopupMenu1->close();
}

TEST_F(MenuTest, ToolCommandsKeepExactlyOneToolActive) {
    void (TForm1::*commands[])() = {&TForm1::Fleche_Click, &TForm1::Stylet1Click,
                                    &TForm1::Rectangle1Click, &TForm1::Texte1Click,
                                    &TForm1::Surligneur1Click};
    for (auto command : commands) {
        (Form1->*command)();
        const int active = Form1->commands().tools.state().mode_highlighter +
                           Form1->commands().tools.state().mode_arrow +
                           Form1->commands().tools.state().mode_stylus +
                           Form1->commands().tools.state().mode_rectangle +
                           Form1->commands().tools.state().mode_text;
        EXPECT_EQ(active, 1);
    }
    EXPECT_TRUE(Form1->commands().tools.state().mode_highlighter);
    Form4->hide();
}

TEST_F(MenuTest, ReglagesOpensTheConfigurationWindowOnceAndOnlyBringsItForward) {
    Form1->show();
    Form1->ReglagesClick();
    EXPECT_TRUE(Form5->isVisible());
    EXPECT_FALSE(Form1->is_stay_on_top());
    const QPoint where = Form5->pos();
    Form1->fenetre_reglagesClick();
    EXPECT_TRUE(Form5->isVisible());
    EXPECT_EQ(Form5->pos(), where);
    EXPECT_TRUE(Form5->close_window());
    EXPECT_TRUE(Form1->is_stay_on_top());
}
