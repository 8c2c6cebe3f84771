// The annotation tools through the main window's real handlers, driven by mouse events that go
// through Qt's whole delivery (so the platform's idea of the buttons held follows them).

#include "tests/support/capture_fixture.h"

#include "app/main_window_commands.h"
#include "app/status_bar.h"
#include "edit/Unit4.h"
#include "edit/history.h"
#include "edit/history_commands.h"
#include "edit/raster.h"

#include <QLineEdit>
#include <QMenu>
#include <QScrollArea>
#include <QScrollBar>
#include <QWindow>
#include <QtTest/qtestmouse.h>

namespace {
constexpr unsigned kWhite = 0x00FFFFFF;
constexpr unsigned kGrey = 0x00808080;
constexpr unsigned kRed = 0x000000FF;

unsigned pixel(const QImage& image, int x, int y) {
    const uchar* p = image.constScanLine(y) + x * 3;
    return unsigned(p[2]) | unsigned(p[1]) << 8 | unsigned(p[0]) << 16;
}

// White, with a grey block at columns 600..799.
QImage white_and_grey(QSize size) {
    QImage image(size, QImage::Format_BGR888);
    image.fill(Qt::white);
    for (int y = 0; y < size.height(); ++y)
        std::memset(image.scanLine(y) + 600 * 3, 0x80, 200 * 3);
    return image;
}
} // namespace

class AnnotationTest : public CaptureTest {
protected:
    int timestamp = 1000;

    void SetUp() override {
        fake_screen.desktop = white_and_grey(QSize(1280, 1024));
        CaptureTest::SetUp();
        Form1->Capture_bureauClick();
        ASSERT_EQ(picture().size(), QSize(1280, 1024));
    }

    // A mouse event at a point of the picture, delivered through the window as the platform
    // would. `held` is the buttons down after the event.
    void mouse(QEvent::Type type, Qt::MouseButton button, Qt::MouseButtons held, QPoint at,
               Qt::KeyboardModifiers modifiers = {}, int after_ms = 1000) {
        timestamp += after_ms;
        QWindow* window = Form1->windowHandle();
        const QPoint local = Form1->Image1->mapTo(Form1, at);
        qt_handleMouseEvent(window, local, window->mapToGlobal(local), held, button, type,
                            modifiers, timestamp);
    }
    void press(QPoint at, Qt::MouseButton button = Qt::LeftButton,
               Qt::KeyboardModifiers modifiers = {}) {
        mouse(QEvent::MouseButtonPress, button, button, at, modifiers);
    }
    void move(QPoint at, Qt::MouseButtons held = Qt::LeftButton,
              Qt::KeyboardModifiers modifiers = {}) {
        mouse(QEvent::MouseMove, Qt::NoButton, held, at, modifiers);
    }
    void release(QPoint at, Qt::MouseButton button = Qt::LeftButton,
                 Qt::KeyboardModifiers modifiers = {}) {
        mouse(QEvent::MouseButtonRelease, button, Qt::NoButton, at, modifiers);
    }
    void drag(std::initializer_list<QPoint> points, Qt::MouseButton button = Qt::LeftButton,
              Qt::KeyboardModifiers modifiers = {}) {
        const QPoint* p = points.begin();
        press(*p, button, modifiers);
        for (++p; p != points.end(); ++p)
            move(*p, button, modifiers);
        release(*(points.end() - 1), button, modifiers);
    }
    static DrawingSurface pen(int width, unsigned colour) {
        DrawingSurface surface;
        surface.pen_width = width;
        surface.pen_colour = colour;
        return surface;
    }
};

TEST_F(AnnotationTest, HighlighterAndsItsColourAboveAndRightOfThePreviousPosition) {
    const QImage before = picture();
    drag({{100, 200}, {140, 200}, {141, 260}, {620, 300}, {700, 300}});
    const QImage& after = picture();
    // The first stamp covers the 40 pixels moved: columns 100..139, rows 184..199, above the
    // press row.
    EXPECT_EQ(pixel(after, 100, 184), 0x0000FFFFu);
    EXPECT_EQ(pixel(after, 139, 199), 0x0000FFFFu);
    EXPECT_EQ(pixel(after, 99, 190), kWhite);
    EXPECT_EQ(pixel(after, 100, 200), kWhite); // the press point's own row is left
    EXPECT_EQ(pixel(after, 100, 183), kWhite);
    // The stamp from (620, 300) lies on grey: 0x808080 AND yellow.
    EXPECT_EQ(pixel(after, 625, 290), 0x00008080u);
    // The last move stamps at the previous position only.
    EXPECT_EQ(pixel(after, 700, 290), kGrey);
    EXPECT_EQ(Form1->commands().history.history().count(), 2);
    EXPECT_EQ(Form1->commands().history.history_index(), 1);
    EXPECT_EQ(Form1->commands().history.history().at(1), after);
    EXPECT_EQ(Form1->surface().copy_mode, CopyMode::And);
    EXPECT_FALSE(Form1->commands().tools.state().stroke_active);
    EXPECT_NE(after, before);
}

TEST_F(AnnotationTest, AVerticalHighlighterStrokeLeavesNothingAndRecordsNothing) {
    const QImage before = picture();
    Form1->set_status_text(StatusPanel::Notice, "saved");
    drag({{300, 300}, {300, 320}, {300, 400}});
    EXPECT_EQ(picture(), before);
    EXPECT_EQ(Form1->commands().history.history().count(), 1);
    EXPECT_EQ(Form1->StatusBar1->panel_text(StatusPanel::Notice), "saved");
}

TEST_F(AnnotationTest, AHighlighterStrokeOutsideThePictureStampsOnReentryFromTheLastInside) {
    drag({{1200, 500}, {1270, 500}, {1350, 500}, {1279, 520}});
    // Stamps from 1200 and from 1270; the move outside is ignored and the re-entry stamps
    // from 1270 again (its width, 9, does not matter: the square is 16 wide).
    EXPECT_EQ(pixel(picture(), 1200, 490), 0x0000FFFFu);
    EXPECT_EQ(pixel(picture(), 1279, 490), 0x0000FFFFu);
}

TEST_F(AnnotationTest, AClickWithTheArrowDrawsAHeadAlonePointingRight) {
    Form1->Fleche_Click();
    const QImage before = picture();
    drag({{400, 400}});
    QImage expected = before;
    DrawingSurface surface = pen(3, kRed);
    draw_arrow(expected, surface, {400, 400}, {400, 400}, 3, kRed);
    EXPECT_EQ(picture(), expected);
    EXPECT_EQ(pixel(picture(), 390, 400), kRed);
    EXPECT_EQ(pixel(picture(), 405, 400), kWhite);
    EXPECT_EQ(Form1->commands().history.history().count(), 2);
}

TEST_F(AnnotationTest, ArrowPreviewsLeaveNoTraceAndTheReleaseDrawsTheArrow) {
    Form1->Fleche_Click();
    Form1->Bleu2->setChecked(true);
    Form5->size_stylet->setValue(4);
    const QImage before = picture();
    press({100, 100});
    move({300, 150});
    QImage preview = before;
    DrawingSurface band = pen(4, 0x00FF0000);
    band.pen_mode = PenMode::NotXor;
    draw_line(preview, band, {100, 100}, {300, 150});
    EXPECT_EQ(picture(), preview);
    move({650, 300}); // over the grey
    move({700, 500});
    EXPECT_EQ(Form1->commands().history.history().count(), 1);
    release({700, 500});
    QImage expected = before;
    DrawingSurface surface = pen(4, 0x00FF0000);
    draw_arrow(expected, surface, {100, 100}, {700, 500}, 4, 0x00FF0000);
    EXPECT_EQ(picture(), expected);
    EXPECT_EQ(Form1->commands().history.history().count(), 2);
}

TEST_F(AnnotationTest, TheStylusDrawsWithTheLeftButtonAloneAndInsideThePicture) {
    Form1->Stylet1Click();
    const QImage before = picture();
    drag({{50, 50}, {120, 80}, {200, 60}}, Qt::LeftButton, Qt::ShiftModifier);
    drag({{50, 50}, {120, 80}, {200, 60}}, Qt::LeftButton, Qt::ControlModifier);
    press({50, 50}, Qt::LeftButton, Qt::ShiftModifier); // Shift let go during the drag
    move({120, 80});
    release({120, 80});
    drag({{50, 50}, {120, 80}}, Qt::RightButton);
    Form1->PopupMenu1->close(); // the right click opened the menu, which chose the highlighter
    EXPECT_EQ(picture(), before);
    EXPECT_EQ(Form1->commands().history.history().count(), 1);
    Form1->Stylet1Click();

    Form1->Noir1->setChecked(true);
    Form5->size_stylet->setValue(5);
    drag({{50, 50}, {120, 80}, {1300, 90}, {200, 60}});
    QImage expected = before;
    DrawingSurface surface = pen(5, 0);
    surface.current_position = {50, 50};
    line_to(expected, surface, {120, 80});
    line_to(expected, surface, {200, 60}); // the move outside was ignored
    EXPECT_EQ(picture(), expected);
    EXPECT_EQ(Form1->commands().history.history().count(), 2);
}

TEST_F(AnnotationTest, ARightDragRectangleIsDrawnRecordedAndThenOpensTheMenu) {
    Form1->Rectangle1Click();
    Form1->Vert2->setChecked(true);
    const QImage before = picture();
    press({30, 30}, Qt::RightButton);
    EXPECT_FALSE(Form1->PopupMenu1->isVisible());
    move({80, 60}, Qt::RightButton);
    move({650, 90}, Qt::RightButton);
    QImage band = before;
    DrawingSurface xor_pen = pen(3, 0x0000FF00);
    xor_pen.pen_mode = PenMode::NotXor;
    draw_rectangle_outline(band, xor_pen, {30, 30}, {650, 90});
    EXPECT_EQ(picture(), band);
    release({650, 90}, Qt::RightButton);

    QImage expected = before;
    draw_rectangle_outline(expected, pen(3, 0x0000FF00), {30, 30}, {650, 90});
    EXPECT_EQ(picture(), expected);
    EXPECT_EQ(Form1->commands().history.history().count(), 2);
    EXPECT_TRUE(Form1->PopupMenu1->isVisible());
    EXPECT_TRUE(Form1->commands().tools.state().mode_highlighter);
    Form1->PopupMenu1->close();
    // A right click alone only opens the menu: no step.
    Form1->Rectangle1Click();
    press({300, 300}, Qt::RightButton);
    release({300, 300}, Qt::RightButton);
    Form1->PopupMenu1->close();
    EXPECT_EQ(Form1->commands().history.history().count(), 2);
}

TEST_F(AnnotationTest, TheNegativeEffectIsAStepAndItsOwnInverse) {
    QImage& drawn = Form1->picture_for_drawing();
    drawn.scanLine(5)[30] = 18;
    drawn.scanLine(5)[31] = 52;
    drawn.scanLine(5)[32] = 86;
    Form1->commands().history.push_snapshot();
    const QImage before = picture().copy();
    Form1->set_status_text(StatusPanel::Notice, "saved");
    Form1->Effetngatif1Click();
    EXPECT_EQ(picture().constScanLine(5)[30], 237);
    EXPECT_EQ(picture().constScanLine(5)[31], 203);
    EXPECT_EQ(picture().constScanLine(5)[32], 169);
    EXPECT_EQ(pixel(picture(), 0, 0), 0u);
    const QImage negated = picture().copy();
    EXPECT_EQ(Form1->commands().history.history().count(), 3);
    EXPECT_EQ(Form1->StatusBar1->panel_text(StatusPanel::Notice), "saved");
    Form1->Dfaire1Click(); // the effect alone goes
    EXPECT_EQ(picture(), before);
    Form1->Rfaire1Click();
    EXPECT_EQ(picture(), negated);
    Form1->Effetngatif1Click();
    EXPECT_EQ(picture(), before);
    EXPECT_EQ(Form1->commands().history.history().count(), 4);
}

TEST_F(AnnotationTest, HistoryAcrossToolsUndoRedoNegativeAndReset) {
    const QImage capture = picture();
    drag({{100, 200}, {160, 200}}); // A: highlighter
    const QImage a = picture();
    Form1->Fleche_Click();
    drag({{300, 300}, {500, 350}}); // B: arrow
    const QImage b = picture();
    Form1->Effetngatif1Click();
    EXPECT_EQ(Form1->commands().history.history().count(), 4);

    Form1->Dfaire1Click();
    EXPECT_EQ(picture(), b);
    Form1->Dfaire1Click();
    EXPECT_EQ(picture(), a);
    Form1->Rfaire1Click();
    EXPECT_EQ(picture(), b);
    Form1->Dfaire1Click();
    Form1->Dfaire1Click();
    EXPECT_EQ(picture(), capture);

    Form1->Rectangle1Click();
    drag({{10, 10}, {90, 90}}); // C in place of the steps undone
    EXPECT_EQ(Form1->commands().history.history().count(), 2);
    EXPECT_EQ(Form1->commands().history.history_index(), 1);
    Form1->Dfaire1Click();
    EXPECT_EQ(picture(), capture);

    Form1->Rfaire1Click();
    Form1->reload_Click();
    EXPECT_EQ(picture(), capture);
    EXPECT_EQ(Form1->commands().history.history().count(), 1);
}

TEST_F(AnnotationTest, ACaptureGivesTheViewTheCursorOfTheActiveTool) {
    Form1->Rectangle1Click();
    Form1->Image1->setCursor(Qt::IBeamCursor);
    Form1->Capture_bureauClick();
    EXPECT_EQ(Form1->Image1->cursor().shape(), Qt::CrossCursor);
    Form1->Fleche_Click();
    Form1->Image1->setCursor(Qt::IBeamCursor);
    Form1->Capture_bureauClick();
    EXPECT_EQ(Form1->Image1->cursor().shape(), Qt::ArrowCursor);
}

// --- Text -----------------------------------------------------------------------------------

TEST_F(AnnotationTest, EnterInTheTextDialogPlacesTheLabelNearThePointer) {
    Form1->Texte1Click();
    EXPECT_TRUE(Form4->isVisible());
    EXPECT_TRUE(Form1->commands().tools.state().mode_text);
    Form4->Edit1->setText("Bonjour");
    QCursor::setPos(Form1->mapToGlobal(QPoint(200, 150)));
    QTest::keyClick(Form4->Edit1, Qt::Key_Return);
    EXPECT_FALSE(Form4->isVisible());
    EXPECT_TRUE(Form1->Texte->isVisible());
    EXPECT_EQ(Form1->Texte->text(), "Bonjour");
    EXPECT_EQ(Form1->Texte->pos(), QPoint(194, 95));
    EXPECT_EQ(Form1->Texte->cursor().shape(), Qt::SizeAllCursor);
}

TEST_F(AnnotationTest, ADoubleClickDrawsTheLabelsTextWhereTheLabelShowsIt) {
    FontChoice style;
    style.font = QFont("DejaVu Sans");
    style.font.setPixelSize(20);
    style.font.setUnderline(true);
    style.colour = 0x00FF00FF;
    fake.font_answers.push_back(style);
    Form1->Texte1Click();
    Form4->Style_texteClick();
    // The field shows the face at the dialog's size, readable.
    EXPECT_EQ(Form4->Edit1->font().family(), "DejaVu Sans");
    EXPECT_EQ(Form4->Edit1->font().pixelSize(), 11);
    Form4->Edit1->setText("Premier");
    QCursor::setPos(Form1->mapToGlobal(QPoint(300, 200)));
    Form4->OKClick();
    // The dialog reopened and the text edited without OK: the label's text goes in.
    Form4->Edit1->setText("Second");
    Form1->ScrollBox1->resize(400, 300);
    Form1->ScrollBox1->horizontalScrollBar()->setValue(100);
    Form1->ScrollBox1->verticalScrollBar()->setValue(50);
    const QPoint at = Form1->Texte->pos() + Form1->Texte->text_origin() + QPoint(100, 50);
    QImage expected = picture().copy();
    draw_text(expected, at, "Premier", style.font, style.colour);

    Form1->set_status_text(StatusPanel::Notice, "saved");
    Form1->TexteDblClick();
    EXPECT_EQ(picture(), expected);
    EXPECT_NE(picture(), fake_screen.desktop);
    EXPECT_FALSE(Form1->Texte->isVisible());
    EXPECT_EQ(Form1->commands().history.history().count(), 2);
    EXPECT_TRUE(Form1->StatusBar1->panel_text(StatusPanel::Notice).isEmpty());
    EXPECT_TRUE(Form1->commands().tools.state().mode_text);
}

TEST_F(AnnotationTest, CancellingTheStyleDialogStillGivesTheLabelTheDialogsFont) {
    const QFont edit_font = Form4->Edit1->font();
    Form1->Texte->setFont(QFont("DejaVu Serif", 30));
    Form4->Style_texteClick(); // cancelled
    EXPECT_EQ(Form4->Edit1->font(), edit_font);
    EXPECT_EQ(Form1->Texte->font().pixelSize(), 11);
    ASSERT_EQ(fake.font_requests.size(), 1u);
    EXPECT_EQ(fake.font_requests[0].font.pixelSize(), 11);
    EXPECT_EQ(fake.parents.back(), Form4);
}

TEST_F(AnnotationTest, TheLabelIsDraggedThroughItsMouseEventsAndKeptInsideTheArea) {
    Form1->Texte1Click();
    Form4->Edit1->setText("Glisser");
    QCursor::setPos(Form1->mapToGlobal(QPoint(200, 150)));
    Form4->OKClick();
    QLabel* label = Form1->Texte;
    ASSERT_EQ(label->pos(), QPoint(194, 95));
    QWindow* window = Form1->windowHandle();
    auto send = [&](QEvent::Type type, Qt::MouseButton button, Qt::MouseButtons held,
                    QPoint in_label) {
        timestamp += 1000;
        const QPoint local = label->mapTo(Form1, in_label);
        qt_handleMouseEvent(window, local, window->mapToGlobal(local), held, button, type, {},
                            timestamp);
    };
    send(QEvent::MouseButtonPress, Qt::LeftButton, Qt::LeftButton, {4, 4});
    EXPECT_TRUE(Form1->commands().text.label_dragging());
    send(QEvent::MouseMove, Qt::NoButton, Qt::LeftButton, {34, 24});
    EXPECT_EQ(label->pos(), QPoint(224, 115));
    // Far up and left: the label stops 3 pixels inside the area, the pointer is put back.
    send(QEvent::MouseMove, Qt::NoButton, Qt::LeftButton, {-600, -600});
    EXPECT_EQ(label->pos(), QPoint(3, 3));
    EXPECT_EQ(QCursor::pos(), label->mapToGlobal(QPoint(4, 4)));
    send(QEvent::MouseButtonRelease, Qt::LeftButton, Qt::NoButton, {4, 4});
    EXPECT_FALSE(Form1->commands().text.label_dragging());
}
