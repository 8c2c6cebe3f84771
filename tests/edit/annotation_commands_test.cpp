// The annotation and text commands on a main window without widgets: what each step draws,
// repaints and records.

#include "edit/annotation_commands.h"
#include "edit/history.h"
#include "edit/raster.h"
#include "edit/text_commands.h"
#include "tests/support/fake_main_window.h"

#include <gtest/gtest.h>

namespace {
unsigned pixel(const QImage& image, int x, int y) {
    const uchar* p = image.constScanLine(y) + x * 3;
    return unsigned(p[2]) | unsigned(p[1]) << 8 | unsigned(p[0]) << 16;
}

class AnnotationCommandsTest : public ::testing::Test, protected FakeEditing {
protected:
    AnnotationCommands tools{state, history, window, window, window, window};

    void SetUp() override {
        QImage white(300, 200, QImage::Format_BGR888);
        white.fill(Qt::white);
        window.set_picture(white);
        history.history().append(white);
    }
    void press(QPoint at, Qt::MouseButton button = Qt::LeftButton,
               Qt::KeyboardModifiers modifiers = {}, bool double_click = false) {
        window.left_held = button == Qt::LeftButton;
        tools.press(button, modifiers, button, double_click, at);
    }
    void move(QPoint at, Qt::MouseButtons held = Qt::LeftButton,
              Qt::KeyboardModifiers modifiers = {}) {
        tools.move(modifiers, held, at);
    }
    void release(QPoint at, Qt::MouseButton button = Qt::LeftButton) {
        window.left_held = false;
        tools.release(button, at);
    }
};
} // namespace

TEST_F(AnnotationCommandsTest, APressOnAnEmptyPictureDoesNothing) {
    window.set_picture(QImage());
    press({10, 10});
    EXPECT_FALSE(window.context_menu_enabled);
    EXPECT_FALSE(state.stroke_active);
    release({10, 10});
    EXPECT_EQ(history.history().count(), 1);
}

TEST_F(AnnotationCommandsTest, HighlighterMovesRepaintOnlyTheirStampAndKeepOneTip) {
    window.snapshot.size_surligneur = 10;
    window.colours.highlighter = 0x0000FF00;
    history.push_snapshot();
    history.undo(); // the next undo keeps the picture object
    window.repainted.clear();
    press({50, 100});
    EXPECT_TRUE(window.context_menu_enabled);
    EXPECT_FALSE(history.undo_picture_reset()); // after a highlighter press it renews it
    EXPECT_EQ(state.marker_top, 90);
    move({80, 100}); // a brisk move covers the 30 pixels moved
    ASSERT_EQ(window.repainted.size(), 1u);
    EXPECT_EQ(window.repainted[0], QRect(50, 90, 30, 10));
    EXPECT_EQ(pixel(window.picture(), 55, 95), 0x0000FF00u);
    ASSERT_NE(tools.marker(), nullptr);
    EXPECT_EQ(tools.marker()->width(), 30);
    EXPECT_EQ(tools.marker()->height(), 10);
    // The thickness is read at the press: a change during the stroke waits for the next one.
    window.snapshot.size_surligneur = 4;
    move({80, 150}); // no horizontal movement: no stamp, but the position follows
    EXPECT_EQ(window.repainted.size(), 1u);
    EXPECT_EQ(state.marker_top, 140);
    move({40, 150}); // brisk, leftwards: from the square's right edge back to the new square's
    EXPECT_EQ(window.repainted.back(), QRect(50, 140, 40, 10));
    move({-5, 150}); // outside: ignored
    EXPECT_EQ(state.marker_x, 40);
    release({-5, 150});
    EXPECT_EQ(history.history().count(), 2);
    EXPECT_FALSE(state.snapshot_pending);
}

TEST_F(AnnotationCommandsTest, UndoAndRedoRepaintOnlyTheStrokeUnlessThePictureWasDrawnOn) {
    window.snapshot.size_surligneur = 10;
    press({50, 100});
    move({120, 100});
    release({120, 100});
    const QImage stroked = window.picture();
    window.repainted.clear();
    history.undo();
    ASSERT_EQ(window.repainted.size(), 1u);
    EXPECT_EQ(window.repainted[0], QRect(50, 90, 70, 10));
    EXPECT_EQ(pixel(window.picture(), 60, 95), 0x00FFFFFFu);
    history.redo();
    ASSERT_EQ(window.repainted.size(), 2u);
    EXPECT_EQ(window.repainted[1], QRect(50, 90, 70, 10));
    EXPECT_EQ(window.picture(), stroked);
    // Pixels changed outside the history: the screen may differ anywhere from the entry.
    stamp_and(window.picture_for_drawing(), 200, 10, 5, 5, 0);
    history.undo();
    EXPECT_EQ(window.repainted.back(), QRect()); // the whole picture
    EXPECT_EQ(pixel(window.picture(), 202, 12), 0x00FFFFFFu);
}

TEST_F(AnnotationCommandsTest, ArrowPreviewNeedsTheButtonPhysicallyHeld) {
    state.mode_highlighter = false;
    state.mode_arrow = true;
    press({20, 20});
    window.left_held = false; // released elsewhere, the event still says left
    move({120, 60});
    EXPECT_EQ(state.arrow_end, QPoint(20, 20));
    EXPECT_TRUE(window.repainted.empty());
    window.left_held = true;
    move({120, 60});
    EXPECT_EQ(state.arrow_end, QPoint(120, 60));
    EXPECT_EQ(window.surface().pen_mode, PenMode::Copy);
    // The preview only touched the shaft's rectangle.
    ASSERT_EQ(window.repainted.size(), 1u);
    EXPECT_TRUE(QRect(18, 18, 106, 46).contains(window.repainted[0]));
}

TEST_F(AnnotationCommandsTest, ASecondPressOfADoubleClickGivesTheStylusNoStart) {
    state.mode_highlighter = false;
    state.mode_stylus = true;
    press({10, 10}, Qt::LeftButton, {}, true);
    EXPECT_FALSE(state.snapshot_pending);
    press({10, 10}, Qt::LeftButton, Qt::AltModifier);
    EXPECT_FALSE(state.snapshot_pending);
    press({10, 10});
    EXPECT_TRUE(state.snapshot_pending);
    EXPECT_EQ(window.surface().current_position, QPoint(10, 10));
    move({40, 10}, Qt::LeftButton | Qt::RightButton); // another button too: nothing
    EXPECT_EQ(pixel(window.picture(), 20, 10), 0x00FFFFFFu);
    window.colours.stylus = 0x00FF0000; // a colour chosen during a stroke waits for the next
    move({40, 10});
    EXPECT_EQ(pixel(window.picture(), 20, 10), 0x000000FFu);
}

TEST_F(AnnotationCommandsTest, TheNegativeEffectRenewsTheSurfaceWithoutCopyingAndIsRecorded) {
    window.surface().copy_mode = CopyMode::And;
    history.history().clear();
    const uchar* pixels = window.picture().constBits();
    tools.negative_effect();
    EXPECT_EQ(window.picture().constBits(), pixels); // negated where it lay
    EXPECT_EQ(pixel(window.picture(), 3, 3), 0u);
    EXPECT_EQ(window.surface().copy_mode, CopyMode::Plain);
    EXPECT_EQ(history.history().count(), 1);
    window.set_picture(QImage());
    tools.negative_effect(); // an empty picture: nothing
    EXPECT_TRUE(window.picture().isNull());
}

// --- The text label ---------------------------------------------------------------------------

class TextCommandsTest : public ::testing::Test, protected FakeEditing {
protected:
    TextCommands text{state, history, window, window, window};

    void SetUp() override {
        state.mode_highlighter = false;
        state.mode_text = true;
        window.label = QRect(50, 40, 40, 13);
    }
};

TEST_F(TextCommandsTest, OkPlacesTheLabelSixLeftAnd55AboveThePointer) {
    window.client_origin = {500, 300};
    window.pointer = {700, 450};
    window.dialog_text = "Salut";
    text.place_label();
    EXPECT_TRUE(window.label_visible);
    EXPECT_EQ(window.label_caption, "Salut");
    EXPECT_EQ(window.label.topLeft(), QPoint(194, 95));
}

TEST_F(TextCommandsTest, ALabelThatWouldShowOutsideThePictureAreaIsBroughtInside) {
    // Scroll area 419 x 314, label 40 x 13: a drag reaches left 3..378 and top 3..300.
    window.client_origin = {0, 0};
    window.pointer = {900, 700}; // on the dialog, beside a small main window
    text.place_label();
    EXPECT_TRUE(window.label_visible);
    EXPECT_EQ(window.label.topLeft(), QPoint(378, 300));
    window.pointer = {2, 20}; // on the toolbar, with Enter pressed
    text.place_label();
    EXPECT_EQ(window.label.topLeft(), QPoint(3, 3));
    window.pointer = {200, 70}; // over the picture but near its top: only the top is moved
    text.place_label();
    EXPECT_EQ(window.label.topLeft(), QPoint(194, 15));
    window.pointer = {200, 56};
    text.place_label();
    EXPECT_EQ(window.label.topLeft(), QPoint(194, 3));
}

TEST_F(TextCommandsTest, TheLabelIsDraggedNoFurtherThanTheScrollAreaAllows) {
    // Scroll area at (100, 200), 419 x 314 on the screen.
    text.label_pressed({5, 5});
    ASSERT_TRUE(text.pointer_confinement());
    EXPECT_EQ(*text.pointer_confinement(), QRect(108, 208, 376, 298));
    EXPECT_EQ(window.confined, text.pointer_confinement()) << "the platform is asked too";
    text.label_moved({15, 8});
    EXPECT_EQ(window.label.topLeft(), QPoint(60, 43));
    EXPECT_TRUE(window.pointer_moves.empty());
    text.label_moved({-200, -200}); // far up and left: held 3 pixels inside
    EXPECT_EQ(window.label.topLeft(), QPoint(3, 3));
    EXPECT_EQ(window.pointer_moves, std::vector<QPoint>{QPoint(108, 208)});
    text.label_moved({1000, 1000}); // far down and right: the edges stay inside
    EXPECT_EQ(window.label.right(), 417);
    EXPECT_EQ(window.label.bottom(), 312);
    text.label_released();
    EXPECT_FALSE(text.pointer_confinement());
    EXPECT_FALSE(window.confined) << "the platform's confinement is released";
    EXPECT_FALSE(text.label_dragging());
    text.label_moved({30, 30}); // not pressed: nothing moves
    EXPECT_EQ(window.label.right(), 417);
}

TEST_F(TextCommandsTest, APressWithAnotherToolConfinesThePointerButDoesNotDrag) {
    state.mode_text = false;
    state.mode_arrow = true;
    text.label_pressed({5, 5});
    EXPECT_TRUE(text.pointer_confinement());
    text.label_moved({-200, 20});
    EXPECT_EQ(window.label.topLeft(), QPoint(50, 40));
    EXPECT_EQ(window.pointer_moves.size(), 1u);
    text.label_released();
    EXPECT_FALSE(text.pointer_confinement());
}

TEST_F(TextCommandsTest, AnEmptyTextIsStillRecorded) {
    QImage white(300, 200, QImage::Format_BGR888);
    white.fill(Qt::white);
    window.set_picture(white);
    window.label_visible = true;
    window.status[3] = "saved";
    text.label_double_clicked();
    EXPECT_EQ(window.picture(), white);
    EXPECT_FALSE(window.label_visible);
    EXPECT_EQ(window.label_cursor, "arrow");
    EXPECT_EQ(history.history().count(), 1);
    EXPECT_TRUE(window.status[3].isEmpty());
}

TEST_F(AnnotationCommandsTest, ARubberBandRepaintsItsSidesNotItsInside) {
    state.mode_highlighter = false;
    state.mode_rectangle = true;
    press({10, 10}, Qt::RightButton);
    move({250, 150}, Qt::RightButton);
    move({260, 170}, Qt::RightButton);
    ASSERT_EQ(window.repainted_regions.size(), 2u);
    const QRegion& last = window.repainted_regions[1];
    EXPECT_FALSE(last.contains(QPoint(130, 90)));
    // Every pixel the two bands changed is in the repainted area.
    QImage white(300, 200, QImage::Format_BGR888);
    white.fill(Qt::white);
    for (int y = 0; y < 200; ++y) {
        for (int x = 0; x < 300; ++x) {
            const bool touched = pixel(window.picture(), x, y) != pixel(white, x, y) ||
                                 (x == 249 && y >= 10 && y < 150); // the first band's side
            if (touched) {
                EXPECT_TRUE(last.contains(QPoint(x, y)) ||
                            window.repainted_regions[0].contains(QPoint(x, y)))
                    << x << "," << y;
            }
        }
    }
    release({260, 170}, Qt::RightButton);
    EXPECT_EQ(history.history().count(), 2);
    EXPECT_FALSE(state.rect_dragging);
}

TEST_F(AnnotationCommandsTest, ALongArrowPreviewRepaintsAStripAlongItsShaft) {
    state.mode_highlighter = false;
    state.mode_arrow = true;
    window.snapshot.size_stylet = 7;
    press({5, 5});
    move({290, 190});
    ASSERT_EQ(window.repainted_regions.size(), 1u);
    const QRegion& strip = window.repainted_regions[0];
    EXPECT_FALSE(strip.contains(QPoint(250, 30))); // far from the shaft
    int changed = 0;
    for (int y = 0; y < 200; ++y) {
        for (int x = 0; x < 300; ++x) {
            if (pixel(window.picture(), x, y) != 0x00FFFFFFu) {
                ++changed;
                EXPECT_TRUE(strip.contains(QPoint(x, y))) << x << "," << y;
            }
        }
    }
    EXPECT_GT(changed, 1500);
}
