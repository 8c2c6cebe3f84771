// The screen grabber on a real X server (Xvfb with openbox): windows of known pixels, a cursor
// of known shape and hot spot, the active window's frame, and a Qt window hidden just before a
// grab. The test draws on the server through a connection of its own.

#include "capture/screen_grabber.h"
#include "platform/core/error.h"
#include "platform/x11/x11_screen.h"
#include "tests/support/xvfb_server.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QThread>
#include <QWidget>
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>
#include <xcb/xcb.h>

#include "tests/support/x_desktop.h"

namespace {

uint32_t pattern(int x, int y) {
    return uint32_t(((x * 37 + y * 11) & 255) << 16 | (((x ^ y) * 5) & 255) << 8 |
                    ((y * 29 + x) & 255));
}

QRgb at(const QImage& raster, int x, int y) {
    const uint8_t* p = raster.constScanLine(y) + x * 3;
    return uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
}

// A window's picture that shows pattern(x, y) at its pixel (x, y).
QImage pattern_picture(int w, int h) {
    QImage picture(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            picture.setPixel(x, y, 0xFF000000u | pattern(x, y));
    return picture;
}

bool wait_for(const std::function<bool()>& done, int ms = 5000) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > ms)
            return false;
        QThread::msleep(20);
    }
    return true;
}

class X11GrabberTest : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override {
        ASSERT_TRUE(x.ok()) << "no X server";
        screen_.set_shared_memory_allowed(GetParam());
        set_screen(&screen_);
    }
    void TearDown() override { set_screen(nullptr); }

    // Number of pixels of `raster` (placed at `origin` on the screen) that differ from
    // `expected`(screen x, screen y), where `expected` gives a value.
    template <class F> int mismatches(const QImage& raster, QPoint origin, F expected) {
        int bad = 0;
        for (int y = 0; y < raster.height(); ++y)
            for (int x = 0; x < raster.width(); ++x)
                if (auto want = expected(origin.x() + x, origin.y() + y))
                    bad += at(raster, x, y) != *want;
        return bad;
    }

    XDesktop x;
    X11Screen screen_;
};

TEST_P(X11GrabberTest, ScreenIsTheRootWindowWhenNoDisplayIsPrimary) {
    const QSize root = x.root_size();
    EXPECT_EQ(screen_.primary_display(), (ScreenRect{0, 0, root.width(), root.height()}));
    EXPECT_EQ(screen_.virtual_desktop(), (ScreenRect{0, 0, root.width(), root.height()}));
    const ScreenRect work = screen_.work_area();
    EXPECT_GE(work.left, 0);
    EXPECT_LE(work.right, root.width());
    EXPECT_FALSE(work.empty());
    const QImage raster = grab_screen(false);
    EXPECT_EQ(raster.size(), root);
    EXPECT_EQ(raster.format(), QImage::Format_BGR888);
}

TEST_P(X11GrabberTest, WindowOfKnownPixelsIsGrabbedExactly) {
    const QSize root = x.root_size();
    const xcb_window_t middle = x.picture_window(QPoint(123, 77), pattern_picture(211, 97), true);
    const xcb_window_t corner = x.picture_window(QPoint(0, 0), pattern_picture(64, 48), true);
    const xcb_window_t far = x.picture_window(QPoint(root.width() - 64, root.height() - 48),
                                              pattern_picture(64, 48), true);
    for (xcb_window_t w : {middle, corner, far}) {
        x.map(w);
        ASSERT_TRUE(wait_for([&] { return x.viewable(w); }));
    }

    QImage raster = grab_rect_cursor(false, {123, 77, 334, 174});
    ASSERT_EQ(raster.size(), QSize(211, 97));
    EXPECT_EQ(mismatches(raster, {123, 77},
                         [](int sx, int sy) { return std::optional(pattern(sx - 123, sy - 77)); }),
              0);
    EXPECT_EQ(screen_.last_grab_used_shared_memory(), GetParam());

    // Over the top-left corner: black off the screen, the window's pixels on it.
    raster = QImage(64, 48, QImage::Format_BGR888);
    raster.fill(QColor(0xAB, 0xCD, 0xEF));
    screen_.grab(raster, {-20, -10, 44, 38});
    EXPECT_EQ(mismatches(raster, {-20, -10},
                         [](int sx, int sy) {
                             return std::optional(sx < 0 || sy < 0 ? 0u : pattern(sx, sy));
                         }),
              0);

    // Over the bottom-right corner, into a raster full of garbage: every pixel is written.
    const int l = root.width() - 64, t = root.height() - 48;
    raster = QImage(60, 40, QImage::Format_BGR888);
    raster.fill(QColor(0xAB, 0xCD, 0xEF));
    screen_.grab(raster, {l + 34, t + 28, l + 94, t + 68});
    EXPECT_EQ(mismatches(raster, {l + 34, t + 28},
                         [&](int sx, int sy) {
                             const bool off = sx >= root.width() || sy >= root.height();
                             return std::optional(off ? 0u : pattern(sx - l, sy - t));
                         }),
              0);

    // Wholly off the screen: all black, nothing asked of the server.
    raster.fill(QColor(0xAB, 0xCD, 0xEF));
    screen_.grab(raster, {-100, 50, -40, 90});
    EXPECT_EQ(mismatches(raster, {0, 0}, [](int, int) { return std::optional(0u); }), 0);
}

// A 20 x 24 cursor, red where the source bit is set and blue elsewhere, transparent in a
// 2-pixel left column and in a 4 x 4 bottom-right corner.
bool cursor_source(int cx, int cy) {
    return (cx / 4 + cy / 4) % 2 == 0;
}
bool cursor_mask(int cx, int cy) {
    return cx >= 2 && !(cx >= 16 && cy >= 20);
}

TEST_P(X11GrabberTest, CursorIsDrawnWhereTheFormulaPutsIt) {
    constexpr uint32_t kBackground = 0x336699;
    const xcb_window_t win = x.plain_window(QRect(200, 100, 400, 300), kBackground);
    x.map(win);
    ASSERT_TRUE(wait_for([&] { return x.viewable(win); }));
    x.set_cursor(win, x.make_cursor(QSize(20, 24), QPoint(14, 15), cursor_source, cursor_mask));
    x.warp(QPoint(500, 300));

    CursorInfo info;
    info.cbSize = kCursorInfoSize;
    ASSERT_TRUE(get_cursor_info(info));
    EXPECT_EQ(info.flags, kCursorShowing);
    EXPECT_EQ(info.ptScreenPos, QPoint(500, 300));
    EXPECT_EQ(info.hCursor.hot_spot, QPoint(14, 15));

    // Expected screen pixel near the cursor whose picture's top-left is at (486, 285).
    auto expected = [&](int sx, int sy) -> std::optional<uint32_t> {
        if (sx < 300 || sx >= 600 || sy < 200 || sy >= 400)
            return std::nullopt; // outside the flat window: not checked
        const int cx = sx - 486, cy = sy - 285;
        if (cx < 0 || cy < 0 || cx >= 20 || cy >= 24 || !cursor_mask(cx, cy))
            return kBackground;
        return cursor_source(cx, cy) ? 0xFF0000u : 0x0000FFu;
    };

    // Rectangle from (100, 50): the picture's top-left corner lands at (386, 235).
    QImage raster = grab_rect_cursor(true, {100, 50, 700, 450});
    EXPECT_EQ(at(raster, 386 + 2, 235), 0xFF0000u);
    EXPECT_EQ(at(raster, 386 + 4, 235), 0x0000FFu);
    EXPECT_EQ(at(raster, 386 + 1, 235), kBackground);
    EXPECT_EQ(mismatches(raster, {100, 50}, expected), 0);

    // Hot spot at the rectangle's top-left corner: cut at the raster's top and left edges.
    raster = grab_rect_cursor(true, {500, 300, 560, 340});
    EXPECT_EQ(mismatches(raster, {500, 300}, expected), 0);

    // Without the flag the cursor stays out.
    raster = grab_rect_cursor(false, {480, 280, 520, 320});
    EXPECT_EQ(mismatches(raster, {480, 280},
                         [&](int, int) { return std::optional<uint32_t>(kBackground); }),
              0);
}

TEST_P(X11GrabberTest, EmptyCursorCountsAsHidden) {
    constexpr uint32_t kBackground = 0x102030;
    const xcb_window_t win = x.plain_window(QRect(40, 40, 200, 200), kBackground);
    x.map(win);
    ASSERT_TRUE(wait_for([&] { return x.viewable(win); }));
    x.set_cursor(win, x.make_cursor(QSize(16, 16), QPoint(0, 0), cursor_source,
                                    [](int, int) { return false; }));
    x.warp(QPoint(100, 100));
    CursorInfo info;
    info.cbSize = kCursorInfoSize;
    ASSERT_TRUE(get_cursor_info(info));
    EXPECT_EQ(info.flags, 0u);
    const QImage raster = grab_rect_cursor(true, {90, 90, 130, 130});
    EXPECT_EQ(mismatches(raster, {90, 90},
                         [&](int, int) { return std::optional<uint32_t>(kBackground); }),
              0);
}

TEST_P(X11GrabberTest, ActiveWindowIsItsFrameOuterRectangle) {
    const xcb_window_t win = x.picture_window(QPoint(300, 200), pattern_picture(300, 180), false);
    x.map(win);
    ASSERT_TRUE(wait_for([&] { return x.viewable(win); }));
    const bool framed = wait_for([&] {
        if (x.active_window() != win)
            x.request_activation(win);
        return x.active_window() == win && x.has_frame_extents(win);
    });
    ASSERT_TRUE(framed) << "openbox did not activate and frame the window";
    const QRect frame = x.frame_of(win);
    ASSERT_GT(frame.width(), 300) << "no frame around the window";
    ASSERT_GT(frame.height(), 180);

    const std::optional<ScreenRect> outer = screen_.foreground_window();
    ASSERT_TRUE(outer);
    EXPECT_EQ(*outer, ScreenRect::from_qrect(frame));

    const QImage raster = grab_active_window(false);
    ASSERT_EQ(raster.size(), frame.size());
    // The window's own pixels sit inside the frame where the server placed them.
    const QPoint client = x.root_position(win);
    EXPECT_EQ(mismatches(raster, frame.topLeft(),
                         [&](int sx, int sy) -> std::optional<uint32_t> {
                             const QPoint p = QPoint(sx, sy) - client;
                             if (p.x() < 0 || p.y() < 0 || p.x() >= 300 || p.y() >= 180)
                                 return std::nullopt;
                             return pattern(p.x(), p.y());
                         }),
              0);

    // Once the window is gone, openbox leaves its number in _NET_ACTIVE_WINDOW: a window that
    // no longer exists has no rectangle, and the whole screen is grabbed.
    x.destroy_windows();
    EXPECT_FALSE(screen_.foreground_window());
    EXPECT_EQ(grab_active_window(false).size(), x.root_size());
}

TEST_P(X11GrabberTest, WindowHiddenJustBeforeTheGrabIsAbsent) {
    QWidget widget(nullptr, Qt::X11BypassWindowManagerHint | Qt::FramelessWindowHint);
    widget.setAutoFillBackground(true);
    QPalette palette = widget.palette();
    palette.setColor(QPalette::Window, QColor(0xEE, 0x11, 0x22));
    widget.setPalette(palette);
    widget.setGeometry(700, 600, 200, 150);
    const ScreenRect probe{780, 660, 781, 661};
    // Several rounds: without the round trip the grab sometimes overtakes the unmapping.
    for (int round = 0; round < 5; ++round) {
        widget.show();
        ASSERT_TRUE(wait_for([&] {
            QApplication::processEvents();
            return at(grab_rect_cursor(false, probe), 0, 0) == 0xEE1122u;
        })) << "the window never appeared";

        widget.hide();
        screen_.sync(); // no event processing, no wait: the grab follows at once
        EXPECT_NE(at(grab_rect_cursor(false, probe), 0, 0), 0xEE1122u) << "round " << round;
    }
}

INSTANTIATE_TEST_SUITE_P(SharedAndPlain, X11GrabberTest, ::testing::Values(true, false),
                         [](const auto& info) {
                             return std::string(info.param ? "SharedMemory" : "PlainRequests");
                         });

TEST(X11Screen, SixteenBitScreenIsRefusedWithAMessage) {
    XvfbServer server("320x240x16");
    ASSERT_FALSE(server.name.empty()) << "Xvfb did not start";
    X11Screen sixteen(QByteArray::fromStdString(server.name));
    EXPECT_EQ(sixteen.primary_display(), (ScreenRect{0, 0, 320, 240}));
    QImage raster(10, 10, QImage::Format_BGR888);
    try {
        sixteen.grab(raster, {0, 0, 10, 10});
        FAIL() << "no error";
    } catch (const KapError& e) {
        EXPECT_TRUE(e.message().contains(QStringLiteral("16 bits"))) << e.what();
    }
}

TEST(X11Screen, MissingDisplayIsAnError) {
    X11Screen nowhere(":9999");
    QImage raster(1, 1, QImage::Format_BGR888);
    EXPECT_THROW(nowhere.grab(raster, {0, 0, 1, 1}), KapError);
    EXPECT_THROW(nowhere.primary_display(), KapError);
}

} // namespace
