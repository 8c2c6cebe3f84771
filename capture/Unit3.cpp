#include "capture/Unit3.h"

#include "edit/picture_view.h"

#include <QGuiApplication>
#include <QScreen>
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
    Image1->resize(size());
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
    setGeometry(desktop.to_qrect().translated(origin));
    setCursor(Qt::CrossCursor);
    Image1->setCursor(Qt::CrossCursor);
    Image1->set_picture(captured_bitmap);
    Image1->resize(size());
    Image1->picture_changed();
    show();
    raise();
    activateWindow();
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

void TForm3::invert_outline(QPoint a, QPoint b) {
    QImage& shown = Image1->picture_for_drawing();
    if (shown.isNull())
        return;
    const int left = std::min(a.x(), b.x()), right = std::max(a.x(), b.x());
    const int top = std::min(a.y(), b.y()), bottom = std::max(a.y(), b.y());
    if (right - left < 1 || bottom - top < 1)
        return;
    const int w = shown.width(), h = shown.height();
    auto invert = [&](int x, int y) {
        if (x < 0 || y < 0 || x >= w || y >= h)
            return;
        uchar* p = shown.scanLine(y) + x * 3;
        p[0] = uchar(~p[0]);
        p[1] = uchar(~p[1]);
        p[2] = uchar(~p[2]);
    };
    // The outline covers the columns left..right-1 and the rows top..bottom-1, each pixel once.
    for (int x = left; x < right; ++x) {
        invert(x, top);
        if (bottom - 1 != top)
            invert(x, bottom - 1);
    }
    for (int y = top + 1; y < bottom - 1; ++y) {
        invert(left, y);
        if (right - 1 != left)
            invert(right - 1, y);
    }
    const QRect dirty = QRect(QPoint(left, top), QPoint(right - 1, bottom - 1));
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
        invert_outline(press_point, band_corner); // takes the last band away
    band_corner = QPoint(x, y);
    invert_outline(press_point, band_corner);
    band_shown = true;
}

void TForm3::Image1MouseUp(Qt::MouseButton, Qt::KeyboardModifiers, int x, int y) {
    release_point = QPoint(x, y);
    if (on_release)
        on_release(press_point, release_point);
}
