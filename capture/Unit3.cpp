#include "capture/Unit3.h"

#include "edit/picture_view.h"
#include "edit/raster.h"
#include "platform/session.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScreen>
#include <QWindow>
#include <algorithm>

TForm3* Form3 = nullptr;

TForm3::TForm3(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint |
                          Qt::WindowTitleHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowMaximizeButtonHint) {
    setObjectName(QStringLiteral("Form3"));
    setWindowTitle(QStringLiteral("Form3"));
    setAttribute(Qt::WA_OpaquePaintEvent); // the background is not erased before painting
    Image1 = new PictureView(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->move(0, 0);
    Image1->setMouseTracking(false);
    connect(Image1, &PictureView::mouse_down, this, &TForm3::Image1MouseDown);
    connect(Image1, &PictureView::mouse_move, this, &TForm3::Image1MouseMove);
    connect(Image1, &PictureView::mouse_up, this, &TForm3::Image1MouseUp);
}

void TForm3::resizeEvent(QResizeEvent*) {
    Image1->move(picture_origin);
}

QPoint TForm3::overlay_to_picture(QPoint overlay_point) const {
    return overlay_point - picture_origin;
}

void TForm3::paintEvent(QPaintEvent* event) {
    // The displays other than the primary one have no frozen picture: black.
    QPainter painter(this);
    for (const QRect& r : event->region().subtracted(QRegion(Image1->geometry())))
        painter.fillRect(r, Qt::black);
}

// Presses, moves and releases over the other displays, outside the picture control, reach the
// same handlers in picture coordinates.
void TForm3::mousePressEvent(QMouseEvent* event) {
    const QPoint p = overlay_to_picture(event->position().toPoint());
    Image1MouseDown(event->button(), event->modifiers(), event->buttons(), false, p.x(), p.y());
}

void TForm3::mouseMoveEvent(QMouseEvent* event) {
    const QPoint p = overlay_to_picture(event->position().toPoint());
    Image1MouseMove(event->modifiers(), event->buttons(), p.x(), p.y());
}

void TForm3::mouseReleaseEvent(QMouseEvent* event) {
    const QPoint p = overlay_to_picture(event->position().toPoint());
    Image1MouseUp(event->button(), event->modifiers(), p.x(), p.y());
}

void TForm3::keyPressEvent(QKeyEvent* event) {
    if (event->key() != Qt::Key_Escape || !isVisible()) {
        QWidget::keyPressEvent(event);
        return;
    }
    // A release where the press was is the cancel of a selection: the command ends it there.
    dragging = false;
    if (on_release)
        on_release(press_point, press_point);
}

void TForm3::start_selection(QImage frozen, const ScreenRect& desktop) {
    captured_bitmap = std::move(frozen);
    dragging = false;
    band_shown = false;
    // Borderless, over every display. Screen coordinates start at the primary display, the
    // window system's at the top-left of the whole desktop.
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                   Qt::BypassWindowManagerHint);
    QPoint origin;
    if (QScreen* primary = QGuiApplication::primaryScreen())
        origin = primary->geometry().topLeft();
    // A Wayland client cannot place its windows: there the overlay fills the primary display,
    // where the frozen picture belongs.
    const bool place_by_itself = windows_place_themselves();
    if (place_by_itself)
        setGeometry(desktop.to_qrect().translated(origin));
    setCursor(Qt::CrossCursor);
    Image1->setCursor(Qt::CrossCursor);
    Image1->set_picture(captured_bitmap);
    // The frozen picture is the primary display's: shown where that display is, so that what
    // the user drags over is what is cut, and the picture control's coordinates are screen
    // coordinates (the remembered region grabs the same place later).
    picture_origin = place_by_itself ? QPoint(-desktop.left, -desktop.top) : QPoint(0, 0);
    Image1->setGeometry(QRect(picture_origin, captured_bitmap.size()));
    Image1->picture_changed();
    if (!place_by_itself) {
        setWindowState(Qt::WindowFullScreen);
        if (QScreen* primary = QGuiApplication::primaryScreen()) {
            create();
            windowHandle()->setScreen(primary);
        }
    }
    show();
    raise();
    activateWindow();
    // The window manager gives no focus to a window it does not manage: the keyboard is taken
    // while the overlay shows, so that Escape reaches it. Hiding the overlay lets it go.
    grabKeyboard();
}

void TForm3::hideEvent(QHideEvent* event) {
    // Qt keeps a grab past the hiding of its widget: every key typed afterwards, in any window of
    // the program, would go to the hidden overlay.
    releaseKeyboard();
    QWidget::hideEvent(event);
}

void TForm3::end_selection() {
    hide();
    Image1->set_picture(QImage());
    captured_bitmap = QImage();
    dragging = false;
    band_shown = false;
}

QImage TForm3::shown_pixels() const {
    return Image1->picture();
}

void TForm3::invert_band(QPoint a, QPoint b) {
    const QRect dirty = ::invert_outline(Image1->picture_for_drawing(), a, b);
    if (!dirty.isEmpty())
        Image1->repaint(dirty);
}

void TForm3::Image1MouseDown(Qt::MouseButton, Qt::KeyboardModifiers, Qt::MouseButtons, bool, int x,
                             int y) {
    press_point = band_corner = QPoint(x, y);
    dragging = true;
}

void TForm3::Image1MouseMove(Qt::KeyboardModifiers, Qt::MouseButtons held, int x, int y) {
    if (!dragging || !(held & Qt::LeftButton))
        return;
    if (band_shown)
        invert_band(press_point, band_corner); // takes the last band away
    band_corner = QPoint(x, y);
    invert_band(press_point, band_corner);
    band_shown = true;
}

void TForm3::Image1MouseUp(Qt::MouseButton, Qt::KeyboardModifiers, int x, int y) {
    // Only the release of a press on the overlay ends a selection: the button of a press made
    // before Escape gave the selection up is let go with no selection left.
    if (!dragging)
        return;
    release_point = QPoint(x, y);
    if (on_release)
        on_release(press_point, release_point);
}
