// The screen grabber on a real X server (Xvfb with openbox): windows of known pixels, a cursor
// of known shape and hot spot, the active window's frame, and a Qt window hidden just before a
// grab. The test draws on the server through a connection of its own.

#include "capture/screen_grabber.h"
#include "platform/error.h"
#include "platform/x11_screen.h"
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

namespace {

uint32_t pattern(int x, int y) {
    return uint32_t(((x * 37 + y * 11) & 255) << 16 | (((x ^ y) * 5) & 255) << 8 |
                    ((y * 29 + x) & 255));
}

QRgb at(const QImage& raster, int x, int y) {
    const uint8_t* p = raster.constScanLine(y) + x * 3;
    return uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
}

template <class T> struct Freed {
    T* p;
    ~Freed() { std::free(p); }
    T* operator->() const { return p; }
    explicit operator bool() const { return p != nullptr; }
};

// A client of the test's own, which makes windows and moves the pointer.
class XClient {
public:
    XClient() {
        c = xcb_connect(nullptr, nullptr);
        if (xcb_connection_has_error(c))
            return;
        s = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
        root = s->root;
        active_atom = atom("_NET_ACTIVE_WINDOW");
        extents_atom = atom("_NET_FRAME_EXTENTS");
    }
    ~XClient() {
        for (xcb_window_t w : windows)
            xcb_destroy_window(c, w);
        sync();
        xcb_disconnect(c);
    }
    bool ok() const { return !xcb_connection_has_error(c) && s; }

    xcb_atom_t atom(const char* name) {
        Freed<xcb_intern_atom_reply_t> r{
            xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(strlen(name)), name), nullptr)};
        return r ? r->atom : xcb_atom_t(XCB_ATOM_NONE);
    }
    void sync() { std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr)); }
    QSize root_size() {
        Freed<xcb_get_geometry_reply_t> g{
            xcb_get_geometry_reply(c, xcb_get_geometry(c, root), nullptr)};
        return QSize(g->width, g->height);
    }

    // A window whose background shows pattern(x, y) at its pixel (x, y). Override-redirect
    // windows stay exactly where they are put; others get openbox's frame.
    xcb_window_t pattern_window(int x, int y, int w, int h, bool override_redirect) {
        xcb_pixmap_t pixmap = xcb_generate_id(c);
        xcb_create_pixmap(c, s->root_depth, pixmap, root, uint16_t(w), uint16_t(h));
        xcb_gcontext_t gc = xcb_generate_id(c);
        xcb_create_gc(c, gc, pixmap, 0, nullptr);
        std::vector<uint32_t> row(static_cast<size_t>(w));
        for (int py = 0; py < h; ++py) {
            for (int px = 0; px < w; ++px)
                row[size_t(px)] = pattern(px, py);
            xcb_put_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, pixmap, gc, uint16_t(w), 1, 0, int16_t(py),
                          0, s->root_depth, uint32_t(w * 4),
                          reinterpret_cast<const uint8_t*>(row.data()));
        }
        xcb_free_gc(c, gc);
        const uint32_t values[] = {pixmap, override_redirect ? 1u : 0u};
        xcb_window_t win =
            make_window(x, y, w, h, XCB_CW_BACK_PIXMAP | XCB_CW_OVERRIDE_REDIRECT, values);
        xcb_free_pixmap(c, pixmap);
        return win;
    }

    xcb_window_t plain_window(int x, int y, int w, int h, uint32_t pixel) {
        const uint32_t values[] = {pixel, 1u};
        return make_window(x, y, w, h, XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT, values);
    }

    void map_and_wait(xcb_window_t win) {
        xcb_map_window(c, win);
        wait_for([&] {
            Freed<xcb_get_window_attributes_reply_t> a{
                xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, win), nullptr)};
            return a && a->map_state == XCB_MAP_STATE_VIEWABLE;
        });
    }

    // A core cursor from two bitmaps given as predicates, in red on blue.
    xcb_cursor_t make_cursor(int w, int h, int hot_x, int hot_y,
                             const std::function<bool(int, int)>& source,
                             const std::function<bool(int, int)>& mask) {
        xcb_pixmap_t bitmaps[2];
        for (int i = 0; i < 2; ++i) {
            bitmaps[i] = xcb_generate_id(c);
            xcb_create_pixmap(c, 1, bitmaps[i], root, uint16_t(w), uint16_t(h));
            xcb_gcontext_t gc = xcb_generate_id(c);
            uint32_t zero = 0;
            xcb_create_gc(c, gc, bitmaps[i], XCB_GC_FOREGROUND, &zero);
            xcb_rectangle_t all{0, 0, uint16_t(w), uint16_t(h)};
            xcb_poly_fill_rectangle(c, bitmaps[i], gc, 1, &all);
            uint32_t one = 1;
            xcb_change_gc(c, gc, XCB_GC_FOREGROUND, &one);
            std::vector<xcb_point_t> points;
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x)
                    if ((i == 0 ? source : mask)(x, y))
                        points.push_back({int16_t(x), int16_t(y)});
            if (!points.empty())
                xcb_poly_point(c, XCB_COORD_MODE_ORIGIN, bitmaps[i], gc, uint32_t(points.size()),
                               points.data());
            xcb_free_gc(c, gc);
        }
        xcb_cursor_t cursor = xcb_generate_id(c);
        xcb_create_cursor(c, cursor, bitmaps[0], bitmaps[1], 0xFFFF, 0, 0, 0, 0, 0xFFFF,
                          uint16_t(hot_x), uint16_t(hot_y));
        xcb_free_pixmap(c, bitmaps[0]);
        xcb_free_pixmap(c, bitmaps[1]);
        return cursor;
    }

    void set_cursor(xcb_window_t win, xcb_cursor_t cursor) {
        xcb_change_window_attributes(c, win, XCB_CW_CURSOR, &cursor);
        sync();
    }

    void warp(int x, int y) {
        xcb_warp_pointer(c, XCB_NONE, root, 0, 0, 0, 0, int16_t(x), int16_t(y));
        sync();
    }

    std::vector<uint32_t> property(xcb_window_t win, xcb_atom_t name, xcb_atom_t type) {
        Freed<xcb_get_property_reply_t> r{
            xcb_get_property_reply(c, xcb_get_property(c, 0, win, name, type, 0, 16), nullptr)};
        if (!r || r->type != type || r->format != 32)
            return {};
        auto* v = static_cast<uint32_t*>(xcb_get_property_value(r.p));
        return std::vector<uint32_t>(v, v + xcb_get_property_value_length(r.p) / 4);
    }
    xcb_window_t active_window() {
        auto v = property(root, active_atom, XCB_ATOM_WINDOW);
        return v.empty() ? XCB_NONE : v[0];
    }
    void request_activation(xcb_window_t win) {
        xcb_client_message_event_t e{};
        e.response_type = XCB_CLIENT_MESSAGE;
        e.format = 32;
        e.window = win;
        e.type = active_atom;
        e.data.data32[0] = 2; // from a pager: honoured at once
        xcb_send_event(c, 0, root,
                       XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                       reinterpret_cast<const char*>(&e));
        sync();
    }

    // The outer rectangle of the window manager's frame around `win`, border included, from
    // the frame window's own geometry.
    QRect frame_of(xcb_window_t win) {
        xcb_window_t top = win;
        for (;;) {
            Freed<xcb_query_tree_reply_t> t{
                xcb_query_tree_reply(c, xcb_query_tree(c, top), nullptr)};
            if (!t || t->parent == root || t->parent == XCB_NONE)
                break;
            top = t->parent;
        }
        Freed<xcb_get_geometry_reply_t> g{
            xcb_get_geometry_reply(c, xcb_get_geometry(c, top), nullptr)};
        return QRect(g->x, g->y, g->width + 2 * g->border_width, g->height + 2 * g->border_width);
    }
    QPoint root_position(xcb_window_t win) {
        Freed<xcb_translate_coordinates_reply_t> t{xcb_translate_coordinates_reply(
            c, xcb_translate_coordinates(c, win, root, 0, 0), nullptr)};
        return QPoint(t->dst_x, t->dst_y);
    }

    static bool wait_for(const std::function<bool()>& done, int ms = 5000) {
        QElapsedTimer timer;
        timer.start();
        while (!done()) {
            if (timer.elapsed() > ms)
                return false;
            QThread::msleep(20);
        }
        return true;
    }

    xcb_connection_t* c = nullptr;
    xcb_screen_t* s = nullptr;
    xcb_window_t root = 0;
    xcb_atom_t active_atom = XCB_ATOM_NONE;
    xcb_atom_t extents_atom = XCB_ATOM_NONE;
    std::vector<xcb_window_t> windows;

private:
    xcb_window_t make_window(int x, int y, int w, int h, uint32_t mask, const uint32_t* values) {
        xcb_window_t win = xcb_generate_id(c);
        xcb_create_window(c, XCB_COPY_FROM_PARENT, win, root, int16_t(x), int16_t(y), uint16_t(w),
                          uint16_t(h), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT, s->root_visual, mask,
                          values);
        windows.push_back(win);
        return win;
    }
};

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

    XClient x;
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
    const xcb_window_t middle = x.pattern_window(123, 77, 211, 97, true);
    const xcb_window_t corner = x.pattern_window(0, 0, 64, 48, true);
    const xcb_window_t far = x.pattern_window(root.width() - 64, root.height() - 48, 64, 48, true);
    for (xcb_window_t w : {middle, corner, far})
        x.map_and_wait(w);

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
    constexpr uint32_t background = 0x336699;
    const xcb_window_t win = x.plain_window(200, 100, 400, 300, background);
    x.map_and_wait(win);
    x.set_cursor(win, x.make_cursor(20, 24, 14, 15, cursor_source, cursor_mask));
    x.warp(500, 300);

    CursorInfo info;
    info.cbSize = cursor_info_size;
    ASSERT_TRUE(get_cursor_info(info));
    EXPECT_EQ(info.flags, cursor_showing);
    EXPECT_EQ(info.ptScreenPos, QPoint(500, 300));
    EXPECT_EQ(info.hCursor.hot_spot, QPoint(14, 15));

    // Expected screen pixel near the cursor whose picture's top-left is at (486, 285).
    auto expected = [&](int sx, int sy) -> std::optional<uint32_t> {
        if (sx < 300 || sx >= 600 || sy < 200 || sy >= 400)
            return std::nullopt; // outside the flat window: not checked
        const int cx = sx - 486, cy = sy - 285;
        if (cx < 0 || cy < 0 || cx >= 20 || cy >= 24 || !cursor_mask(cx, cy))
            return background;
        return cursor_source(cx, cy) ? 0xFF0000u : 0x0000FFu;
    };

    // Rectangle from (100, 50): the picture's top-left corner lands at (386, 235).
    QImage raster = grab_rect_cursor(true, {100, 50, 700, 450});
    EXPECT_EQ(at(raster, 386 + 2, 235), 0xFF0000u);
    EXPECT_EQ(at(raster, 386 + 4, 235), 0x0000FFu);
    EXPECT_EQ(at(raster, 386 + 1, 235), background);
    EXPECT_EQ(mismatches(raster, {100, 50}, expected), 0);

    // Hot spot at the rectangle's top-left corner: cut at the raster's top and left edges.
    raster = grab_rect_cursor(true, {500, 300, 560, 340});
    EXPECT_EQ(mismatches(raster, {500, 300}, expected), 0);

    // Without the flag the cursor stays out.
    raster = grab_rect_cursor(false, {480, 280, 520, 320});
    EXPECT_EQ(mismatches(raster, {480, 280},
                         [&](int, int) { return std::optional<uint32_t>(background); }),
              0);
}

TEST_P(X11GrabberTest, EmptyCursorCountsAsHidden) {
    constexpr uint32_t background = 0x102030;
    const xcb_window_t win = x.plain_window(40, 40, 200, 200, background);
    x.map_and_wait(win);
    x.set_cursor(win, x.make_cursor(16, 16, 0, 0, cursor_source, [](int, int) { return false; }));
    x.warp(100, 100);
    CursorInfo info;
    info.cbSize = cursor_info_size;
    ASSERT_TRUE(get_cursor_info(info));
    EXPECT_EQ(info.flags, 0u);
    const QImage raster = grab_rect_cursor(true, {90, 90, 130, 130});
    EXPECT_EQ(
        mismatches(raster, {90, 90}, [&](int, int) { return std::optional<uint32_t>(background); }),
        0);
}

TEST_P(X11GrabberTest, ActiveWindowIsItsFrameOuterRectangle) {
    const xcb_window_t win = x.pattern_window(300, 200, 300, 180, false);
    x.map_and_wait(win);
    const bool framed = XClient::wait_for([&] {
        if (x.active_window() != win)
            x.request_activation(win);
        return x.active_window() == win &&
               x.property(win, x.extents_atom, XCB_ATOM_CARDINAL).size() == 4;
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
    xcb_destroy_window(x.c, win);
    x.windows.clear();
    x.sync();
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
        ASSERT_TRUE(XClient::wait_for([&] {
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
