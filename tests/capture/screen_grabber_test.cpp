// The screen grabber over a fake screen: rectangle rules, off-screen black, cursor placement,
// blending and clipping, and the fallbacks when the platform gives no window or no cursor.

#include "capture/screen_grabber.h"
#include "platform/core/error.h"
#include "tests/support/fake_screen.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>

namespace {

// A desktop whose every pixel tells where it is, so that any shift shows.
QRgb pattern(int x, int y) {
    return qRgb((x * 7 + y) & 255, (y * 3 + 1) & 255, ((x >> 4) + (y << 2) + 9) & 255);
}

QImage pattern_image(int w, int h) {
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image.setPixel(x, y, pattern(x, y));
    return image;
}

// The raster's pixel as 0xRRGGBB, read from the BGR888 bytes themselves.
QRgb at(const QImage& raster, int x, int y) {
    const uint8_t* p = raster.constScanLine(y) + x * 3;
    return qRgb(p[2], p[1], p[0]);
}

// Every pixel of `raster` must be the fake desktop's pixel at `origin` + (x, y), or black where
// that falls off the desktop picture. Returns the number of mismatches.
int mismatches(const QImage& raster, const FakeScreen& fake, QPoint origin) {
    int bad = 0;
    for (int y = 0; y < raster.height(); ++y)
        for (int x = 0; x < raster.width(); ++x) {
            const QPoint p = origin + QPoint(x, y) - fake.desktop_origin;
            const QRgb want =
                fake.desktop.rect().contains(p) ? pattern(p.x(), p.y()) : qRgb(0, 0, 0);
            if (at(raster, x, y) != want)
                ++bad;
        }
    return bad;
}

// A cursor picture whose opaque pixels each differ from their neighbours.
QImage opaque_cursor(int w, int h) {
    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image.setPixel(x, y, qRgba(200 + x, 10 * y, 255 - x - y, 255));
    return image;
}

class GrabberTest : public ::testing::Test {
protected:
    GrabberTest() : fake(pattern_image(640, 480)) { set_screen(&fake); }
    ~GrabberTest() override { set_screen(nullptr); }

    void put_cursor(QPoint position, QPoint hot_spot, const QImage& pixels, bool visible = true) {
        CursorState state;
        state.visible = visible;
        state.position = position;
        state.image.hot_spot = hot_spot;
        state.image.pixels = pixels;
        fake.cursor_state = state;
    }

    FakeScreen fake;
};

TEST_F(GrabberTest, RectangleIsCopiedExactlyIntoA24BitRaster) {
    QImage raster;
    grab_rect(raster, {10, 20, 113, 71});
    ASSERT_EQ(raster.format(), QImage::Format_BGR888);
    EXPECT_EQ(raster.size(), QSize(103, 51)); // right and bottom exclusive
    EXPECT_EQ(raster.bytesPerLine() % 4, 0);
    EXPECT_EQ(mismatches(raster, fake, {10, 20}), 0);
    ASSERT_EQ(fake.grabs.size(), 1u);
    EXPECT_EQ(fake.grabs[0], (ScreenRect{10, 20, 113, 71}));
}

TEST_F(GrabberTest, PartsOffTheScreenAreBlackAndTheRectangleIsNotClipped) {
    const ScreenRect rects[] = {
        {-7, -5, 30, 20},     // over the top-left corner
        {600, 450, 700, 500}, // over the bottom-right corner
        {-50, 100, 700, 120}, // wider than the screen
        {800, 900, 840, 950}, // wholly off the screen
    };
    for (const ScreenRect& r : rects) {
        QImage raster = grab_rect_cursor(false, r);
        EXPECT_EQ(raster.width(), r.width());
        EXPECT_EQ(raster.height(), r.height());
        EXPECT_EQ(mismatches(raster, fake, {r.left, r.top}), 0) << r.left << "," << r.top;
    }
}

TEST_F(GrabberTest, EmptyRectangleGivesAnEmptyRasterWithoutError) {
    QImage raster(5, 5, QImage::Format_BGR888);
    grab_rect(raster, {100, 100, 100, 300});
    EXPECT_TRUE(raster.isNull());
    EXPECT_EQ(raster.width() * raster.height(), 0);
    EXPECT_TRUE(grab_rect_cursor(true, {100, 100, 300, 100}).isNull());
    EXPECT_TRUE(grab_rect_cursor(false, {5, 5, 4, 9}).isNull()); // reversed: nothing to copy
    EXPECT_TRUE(fake.grabs.empty());
}

TEST_F(GrabberTest, RasterTooLargeToCreateIsAnError) {
    try {
        grab_rect_cursor(false, {INT_MIN, INT_MIN, INT_MAX, INT_MAX});
        FAIL() << "no error";
    } catch (const KapError& e) {
        EXPECT_TRUE(e.message().startsWith(QStringLiteral("Mémoire insuffisante")));
    }
    EXPECT_TRUE(fake.grabs.empty());
}

TEST_F(GrabberTest, ScreenIsThePrimaryDisplayOnly) {
    // A second display of 300 pixels left of the primary one, which is 640 x 400.
    FakeScreen two(pattern_image(940, 480), QPoint(-300, 0), QSize(640, 400));
    set_screen(&two);
    const QImage raster = grab_screen(false);
    EXPECT_EQ(raster.size(), QSize(640, 400));
    EXPECT_EQ(mismatches(raster, two, {0, 0}), 0);
    EXPECT_EQ(at(raster, 0, 0), pattern(300, 0));
}

TEST_F(GrabberTest, ActiveWindowIsGrabbedWithItsFrameBeyondTheScreen) {
    // A maximised window's frame reaches 4 pixels past every edge.
    fake.foreground = ScreenRect{-4, -4, 644, 484};
    const QImage raster = grab_active_window(false);
    EXPECT_EQ(raster.size(), QSize(648, 488));
    EXPECT_EQ(mismatches(raster, fake, {-4, -4}), 0);
    EXPECT_EQ(at(raster, 3, 3), qRgb(0, 0, 0));
    EXPECT_EQ(at(raster, 4, 4), pattern(0, 0));

    fake.foreground = ScreenRect{50, 60, 250, 160};
    const QImage window = grab_active_window(false);
    EXPECT_EQ(window.size(), QSize(200, 100));
    EXPECT_EQ(mismatches(window, fake, {50, 60}), 0);
}

TEST_F(GrabberTest, NoForegroundWindowFallsBackToTheWholeScreen) {
    fake.primary_size = QSize(600, 400);
    fake.foreground.reset();
    put_cursor({20, 20}, {0, 0}, opaque_cursor(4, 4));
    const QImage raster = grab_active_window(true);
    EXPECT_EQ(raster.size(), QSize(600, 400));
    EXPECT_EQ(at(raster, 20, 20), opaque_cursor(4, 4).pixel(0, 0));
    EXPECT_EQ(at(raster, 30, 30), pattern(30, 30));
}

TEST_F(GrabberTest, CursorLandsAtPositionMinusHotSpotMinusOrigin) {
    // The cursor at (500, 300) with its hot spot at (14, 15), in a rectangle from (100, 50):
    // the picture's top-left corner lands at (386, 235).
    const QImage cursor = opaque_cursor(20, 24);
    put_cursor({500, 300}, {14, 15}, cursor);
    const QImage raster = grab_rect_cursor(true, {100, 50, 600, 400});
    int bad = 0;
    for (int y = 0; y < raster.height(); ++y)
        for (int x = 0; x < raster.width(); ++x) {
            const bool inside = x >= 386 && x < 406 && y >= 235 && y < 259;
            const QRgb want =
                inside ? (cursor.pixel(x - 386, y - 235) | 0xFF000000) : pattern(100 + x, 50 + y);
            if (at(raster, x, y) != want)
                ++bad;
        }
    EXPECT_EQ(bad, 0);

    // Without the flag the same call leaves the screen as it is.
    EXPECT_EQ(mismatches(grab_rect_cursor(false, {100, 50, 600, 400}), fake, {100, 50}), 0);
}

TEST_F(GrabberTest, CursorIsCutAtTheRasterEdges) {
    const QImage cursor = opaque_cursor(20, 24);
    // Hot spot at the rectangle's top-left corner: only the part right of and below the hot
    // spot shows, at the raster's top-left corner.
    put_cursor({200, 100}, {14, 15}, cursor);
    QImage raster = grab_rect_cursor(true, {200, 100, 230, 130});
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 30; ++x) {
            const QRgb want = (x < 6 && y < 9) ? (cursor.pixel(x + 14, y + 15) | 0xFF000000)
                                               : pattern(200 + x, 100 + y);
            ASSERT_EQ(at(raster, x, y), want) << x << "," << y;
        }

    // Past the right and bottom edges: only the top-left 3 x 2 pixels of the picture show.
    put_cursor({227, 128}, {0, 0}, cursor);
    raster = grab_rect_cursor(true, {200, 100, 230, 130});
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 30; ++x) {
            const bool inside = x >= 27 && y >= 28;
            const QRgb want =
                inside ? (cursor.pixel(x - 27, y - 28) | 0xFF000000) : pattern(200 + x, 100 + y);
            ASSERT_EQ(at(raster, x, y), want) << x << "," << y;
        }

    // Far outside, at coordinates whose differences overflow 32 bits: nothing drawn.
    for (QPoint far : {QPoint(INT_MAX, INT_MAX), QPoint(INT_MIN, INT_MIN)}) {
        put_cursor(far, {14, 15}, cursor);
        raster = grab_rect_cursor(true, {-20, -20, 30, 30});
        EXPECT_EQ(mismatches(raster, fake, {-20, -20}), 0);
    }
}

TEST_F(GrabberTest, CursorIsLeftOutWhenHiddenOrUnknown) {
    const QImage cursor = opaque_cursor(8, 8);
    const ScreenRect r{0, 0, 64, 64};

    put_cursor({10, 10}, {0, 0}, cursor, /*visible=*/false);
    EXPECT_EQ(mismatches(grab_rect_cursor(true, r), fake, {0, 0}), 0);

    fake.cursor_state.reset(); // the platform cannot say
    EXPECT_EQ(mismatches(grab_rect_cursor(true, r), fake, {0, 0}), 0);

    put_cursor({10, 10}, {0, 0}, QImage()); // no picture to draw
    EXPECT_EQ(mismatches(grab_rect_cursor(true, r), fake, {0, 0}), 0);

    put_cursor({10, 10}, {0, 0}, cursor); // and the same cursor visible is drawn
    EXPECT_GT(mismatches(grab_rect_cursor(true, r), fake, {0, 0}), 0);
}

TEST_F(GrabberTest, CursorInfoFollowsTheRecordSizeAndVisibility) {
    CursorInfo info;
    info.cbSize = kCursorInfoSize;
    EXPECT_FALSE(get_cursor_info(info)); // no cursor query on this platform

    put_cursor({-30, 45}, {3, 4}, opaque_cursor(5, 6), /*visible=*/false);
    ASSERT_TRUE(get_cursor_info(info));
    EXPECT_EQ(info.flags, 0u);
    EXPECT_EQ(info.ptScreenPos, QPoint(-30, 45));

    put_cursor({-30, 45}, {3, 4}, opaque_cursor(5, 6));
    ASSERT_TRUE(get_cursor_info(info));
    EXPECT_EQ(info.flags, kCursorShowing);
    EXPECT_EQ(info.hCursor.hot_spot, QPoint(3, 4));
    EXPECT_EQ(info.hCursor.pixels.size(), QSize(5, 6));

    CursorInfo unsized;
    EXPECT_FALSE(get_cursor_info(unsized));
    EXPECT_EQ(unsized.flags, 0u);
}

TEST(DrawCursor, BlendsPremultipliedPixelsOverTheRaster) {
    // One row of every background value under cursor pixels of several opacities; the result
    // must be source + background * (255 - alpha) / 255, rounded to nearest.
    QImage raster(256, 1, QImage::Format_BGR888);
    for (int alpha : {0, 1, 64, 127, 128, 200, 254, 255}) {
        for (int x = 0; x < 256; ++x) {
            uint8_t* p = raster.scanLine(0) + x * 3;
            p[0] = uint8_t(x);
            p[1] = uint8_t(255 - x);
            p[2] = uint8_t(x / 2);
        }
        const int r = alpha / 2, g = alpha, b = alpha / 3; // premultiplied: at most alpha
        QImage cursor(256, 1, QImage::Format_ARGB32_Premultiplied);
        cursor.fill(qRgba(r, g, b, alpha));
        draw_cursor(raster, cursor, {0, 0});
        for (int x = 0; x < 256; ++x) {
            const uint8_t* p = raster.constScanLine(0) + x * 3;
            auto over = [&](int src, int dst) {
                return std::lround(src + dst * (255.0 - alpha) / 255.0);
            };
            ASSERT_EQ(p[0], over(b, x)) << "alpha " << alpha << " x " << x;
            ASSERT_EQ(p[1], over(g, 255 - x)) << "alpha " << alpha << " x " << x;
            ASSERT_EQ(p[2], over(r, x / 2)) << "alpha " << alpha << " x " << x;
        }
    }
}

TEST(DrawCursor, AcceptsAStraightAlphaPicture) {
    QImage raster(2, 1, QImage::Format_BGR888);
    raster.fill(Qt::white);
    QImage cursor(2, 1, QImage::Format_ARGB32); // not premultiplied
    cursor.setPixel(0, 0, qRgba(0, 0, 0, 0));
    cursor.setPixel(1, 0, qRgba(255, 0, 0, 128));
    draw_cursor(raster, cursor, {0, 0});
    EXPECT_EQ(at(raster, 0, 0), qRgb(255, 255, 255));
    EXPECT_EQ(at(raster, 1, 0), qRgb(255, 127, 127));
}

} // namespace
